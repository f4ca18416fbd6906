// The exact engine calls and bytes of the event, cookie, network-job and
// capture operations, recorded by a stand-in engine bound through the
// loader's binding table; the bitmap image and the bridge script as bytes.
// (What the real engine does with them is tested in test_events.)
#include "../webview/testenv.h"

#include "runtime/textcodec.h"
#include "webview/capturebitmap.h"
#include "webview/engineloader.h"
#include "webview/engineview_p.h"
#include "webview/fillbridge/fillbridge.h"
#include "webview/webview.h"

#include <QApplication>
#include <QTest>

#include <climits>
#include <cstring>
#include <map>

namespace {

struct Recorder {
    QStringList calls;
    QByteArray data;  // bytes of the last wkeNetSetData
    int dataLength = -1;
    const char* postBody = nullptr;
    int contentWidth = 0;
    int contentHeight = 0;
};

Recorder& rec()
{
    static Recorder r;
    return r;
}

QString handle(const void* p)
{
    return p ? QStringLiteral("%1").arg(quintptr(p), 0, 16) : QStringLiteral("null");
}

QString wide(const char16_t* text)
{
    return text ? QString::fromUtf16(text) : QStringLiteral("null");
}

// The stand-in engine functions.
extern "C" {
void fakeSetCookie(wkeWebView, const char* url, const char* cookie)
{
    rec().calls << QStringLiteral("wkeSetCookie(%1,%2)").arg(QString::fromUtf8(url), QString::fromUtf8(cookie));
}
void fakeNetSetData(wkeNetJob job, const void* data, int length)
{
    rec().calls << QStringLiteral("wkeNetSetData(%1,%2)").arg(handle(job)).arg(length);
    rec().data = data ? QByteArray(static_cast<const char*>(data), length) : QByteArray();
    rec().dataLength = length;
}
void fakeNetSetHeader(wkeNetJob job, const char16_t* name, const char16_t* value, bool response)
{
    rec().calls << QStringLiteral("wkeNetSetHTTPHeaderField(%1,%2,%3,%4)")
                       .arg(handle(job), wide(name), wide(value), response ? "true" : "false");
}
const char* fakeNetGetPostBody(wkeNetJob)
{
    return rec().postBody;
}
void fakeOnTitleChanged(wkeWebView view, wkeTitleChangedCallback callback, void* param)
{
    rec().calls << QStringLiteral("wkeOnTitleChanged(%1,%2,%3)")
                       .arg(handle(view), handle(reinterpret_cast<void*>(callback)), handle(param));
}
void fakeNetOnResponse(wkeWebView view, wkeNetResponseCallback callback, void*)
{
    rec().calls << QStringLiteral("wkeNetOnResponse(%1,%2)").arg(handle(view), handle(reinterpret_cast<void*>(callback)));
}
void fakeOnWillRelease(wkeWebView view, wkeWillReleaseScriptContextCallback callback, void*)
{
    rec().calls << QStringLiteral("wkeOnWillReleaseScriptContext(%1,%2)")
                       .arg(handle(view), handle(reinterpret_cast<void*>(callback)));
}
jsValue fakeRunJS(wkeWebView, const char* script)
{
    rec().calls << QStringLiteral("wkeRunJS(%1)").arg(QString::fromUtf8(script));
    return 1;
}
int fakeContentWidth(wkeWebView) { return rec().contentWidth; }
int fakeContentHeight(wkeWebView) { return rec().contentHeight; }
bool fakeCaptureContent(wkeWebView, void* bits, int width, int height)
{
    rec().calls << QStringLiteral("wkeCaptureContent(%1,%2)").arg(width).arg(height);
    // Pixel i holds the bytes i, i+1, i+2, i+3 (mod 256).
    auto* out = static_cast<unsigned char*>(bits);
    for (qsizetype i = 0; i < qsizetype(width) * height * 4; ++i)
        out[i] = static_cast<unsigned char>(i);
    return true;
}
}

void* recordedFunction(const char* name)
{
    static const std::map<std::string, void*> functions = {
        {"wkeSetCookie", reinterpret_cast<void*>(&fakeSetCookie)},
        {"wkeNetSetData", reinterpret_cast<void*>(&fakeNetSetData)},
        {"wkeNetSetHTTPHeaderField", reinterpret_cast<void*>(&fakeNetSetHeader)},
        {"wkeNetGetPostBody", reinterpret_cast<void*>(&fakeNetGetPostBody)},
        {"wkeOnTitleChanged", reinterpret_cast<void*>(&fakeOnTitleChanged)},
        {"wkeNetOnResponse", reinterpret_cast<void*>(&fakeNetOnResponse)},
        {"wkeOnWillReleaseScriptContext", reinterpret_cast<void*>(&fakeOnWillRelease)},
        {"wkeRunJS", reinterpret_cast<void*>(&fakeRunJS)},
        {"wkeGetContentWidth", reinterpret_cast<void*>(&fakeContentWidth)},
        {"wkeGetContentHeight", reinterpret_cast<void*>(&fakeContentHeight)},
        {"wkeCaptureContent", reinterpret_cast<void*>(&fakeCaptureContent)},
    };
    const auto found = functions.find(name);
    return found == functions.end() ? nullptr : found->second;
}

wkeNetJob fakeJob()
{
    static char job;
    return reinterpret_cast<wkeNetJob>(&job);
}

// An EngineView on a stand-in view handle; the handle is dropped again
// before the EngineView goes, so no teardown call is made.
struct FakeView {
    char tag = 0;
    std::shared_ptr<webview::EngineView::Shared> shared = std::make_shared<webview::EngineView::Shared>();
    webview::EngineView engine = webview::EngineView::onShared(shared);
    FakeView() { shared->view = reinterpret_cast<wkeWebView>(&tag); }
    ~FakeView() { shared->view = nullptr; }
};

void titleHandlerA(wkeWebView, void*, const wkeString) {}
void titleHandlerB(wkeWebView, void*, const wkeString) {}
bool responseHandler(wkeWebView, void*, const char*, wkeNetJob) { return false; }
void releaseHandler(wkeWebView, void*, wkeWebFrameHandle, void*, int) {}

quint32 le32(const QByteArray& bytes, int at)
{
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

quint16 le16(const QByteArray& bytes, int at)
{
    return quint16(static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

}  // namespace

class TestEventsCalls : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void replaceInResponse_data();
    void replaceInResponse();
    void prependAndResponseText();
    void redirectAnswersWithScript();
    void requestHeadersAndPostBody();
    void setCookiesSplitsTheList_data();
    void setCookiesSplitsTheList();
    void registrationsUseTheirSlots();
    void captureWithoutViewMakesNoCall();
    void captureBuildsTheBitmapFile();
    void bitmapSizeLimits();
    void bridgeScriptSubstitution();
};

void TestEventsCalls::init()
{
    rec() = Recorder();
    webview::setEngineResolver(recordedFunction);
    webview::setEngineFailureHandler([](const QString& message) {
        qFatal("unexpected engine function: %s", qPrintable(message));
    });
}

void TestEventsCalls::cleanup()
{
    webview::setEngineResolver({});
    webview::setEngineFailureHandler({});
}

void TestEventsCalls::replaceInResponse_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("abcab") << QByteArray("abcab") << QByteArray("ab") << QByteArray("x") << QByteArray("xcx");
    QTest::newRow("longer replacement") << QByteArray("a-a") << QByteArray("a") << QByteArray("[aa]")
                                        << QByteArray("[aa]-[aa]");
    QTest::newRow("no overlap re-scan") << QByteArray("aaa") << QByteArray("aa") << QByteArray("a")
                                        << QByteArray("aa");
    QTest::newRow("no match") << QByteArray("hello") << QByteArray("zz") << QByteArray("y") << QByteArray("hello");
    QTest::newRow("empty find") << QByteArray("hello") << QByteArray() << QByteArray("y") << QByteArray("hello");
    QTest::newRow("zero bytes kept") << QByteArray("a\0b\0a", 5) << QByteArray("a") << QByteArray("")
                                     << QByteArray("\0b\0", 3);
    QTest::newRow("double-byte text") << QByteArray(rt::gb("价格：100元").c_str())
                                      << QByteArray(rt::gb("100").c_str()) << QByteArray(rt::gb("九十").c_str())
                                      << QByteArray(rt::gb("价格：九十元").c_str());
}

void TestEventsCalls::replaceInResponse()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, find);
    QFETCH(QByteArray, replacement);
    QFETCH(QByteArray, expected);
    webview::WebView web;
    int length = int(body.size());
    web.netReplaceInResponse(fakeJob(), body.constData(), length, find.toStdString(), replacement.toStdString());
    QCOMPARE(length, int(expected.size()));
    QCOMPARE(rec().data, expected);
    QCOMPARE(rec().dataLength, int(expected.size()));
}

void TestEventsCalls::prependAndResponseText()
{
    webview::WebView web;
    const QByteArray body("0123456789");
    int length = 10;
    web.netPrependToResponse(fakeJob(), body.constData(), length, "abc");
    QCOMPARE(length, 13);
    QCOMPARE(rec().data, QByteArray("abc0123456789"));

    int textLength = -1;
    char unused[4];
    web.netSetResponseText(fakeJob(), unused, textLength, rt::gb("答复"));
    QCOMPARE(textLength, 4);
    QCOMPARE(rec().data, QByteArray(rt::gb("答复").c_str()));
}

void TestEventsCalls::redirectAnswersWithScript()
{
    webview::WebView web;
    web.netRedirect(fakeJob(), "http://example.com/next");
    QCOMPARE(rec().data, QByteArray("<script>window.location.href='http://example.com/next'</script>"));
}

void TestEventsCalls::requestHeadersAndPostBody()
{
    webview::WebView web;
    web.netSetRequestHeader(fakeJob(), "X-Name", rt::gb("值"));
    web.netSetHeaderField(fakeJob(), "Content-Type", "text/plain", true);
    const QString job = handle(fakeJob());
    QCOMPARE(rec().calls, QStringList({"wkeNetSetHTTPHeaderField(" + job + ",X-Name,值,false)",
                                       "wkeNetSetHTTPHeaderField(" + job + ",Content-Type,text/plain,true)"}));

    static const char body[] = "a=1&b=2\0hidden";
    rec().postBody = body;
    QCOMPARE(web.netGetPostBody(fakeJob()), std::string("a=1&b=2"));
    rec().postBody = nullptr;
    QCOMPARE(web.netGetPostBody(fakeJob()), std::string());
}

void TestEventsCalls::setCookiesSplitsTheList_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("cookies");
    const QString tail = QStringLiteral("; domain=example.com; path=/;");
    QTest::newRow("two pairs") << "a=1; b=2" << QStringList{"a=1" + tail, "b=2" + tail};
    QTest::newRow("spaces in value") << "name=John Smith" << QStringList{"name=JohnSmith" + tail};
    QTest::newRow("trailing separator") << "a=1;" << QStringList{"a=1" + tail};
}

void TestEventsCalls::setCookiesSplitsTheList()
{
    QFETCH(QString, list);
    QFETCH(QStringList, cookies);
    FakeView view;
    view.engine.setCookies("http://example.com/", "example.com", rt::qstringToGb(list));
    QStringList expected;
    for (const QString& cookie : cookies)
        expected << "wkeSetCookie(http://example.com/," + cookie + ")";
    QCOMPARE(rec().calls, expected);
}

void TestEventsCalls::registrationsUseTheirSlots()
{
    FakeView view;
    int a = 1, b = 2;
    view.engine.onTitleChanged(titleHandlerA, &a);
    view.engine.onNetResponse(responseHandler, nullptr);
    view.engine.onWillReleaseScriptContext(releaseHandler, nullptr);
    view.engine.onTitleChanged(titleHandlerB, &b);

    const QString v = handle(&view.tag);
    QCOMPARE(rec().calls,
             QStringList({"wkeOnTitleChanged(" + v + "," + handle(reinterpret_cast<void*>(titleHandlerA)) + "," +
                              handle(&a) + ")",
                          "wkeNetOnResponse(" + v + "," + handle(reinterpret_cast<void*>(responseHandler)) + ")",
                          "wkeOnWillReleaseScriptContext(" + v + "," +
                              handle(reinterpret_cast<void*>(releaseHandler)) + ")",
                          "wkeOnTitleChanged(" + v + "," + handle(reinterpret_cast<void*>(titleHandlerB)) + "," +
                              handle(&b) + ")"}));
    // The second title registration replaced the first adapter only.
    const webview::CallbackAdapter* title = view.engine.callbackAdapter(0);
    QVERIFY(title);
    QCOMPARE(title->target, reinterpret_cast<void*>(titleHandlerB));
    QCOMPARE(title->parameter, static_cast<void*>(&b));
    QCOMPARE(title->argumentCount, 3);
    QCOMPARE(view.engine.callbackAdapter(14)->target, reinterpret_cast<void*>(responseHandler));
    QCOMPARE(view.engine.callbackAdapter(14)->argumentCount, 4);
    QCOMPARE(view.engine.callbackAdapter(17)->target, reinterpret_cast<void*>(releaseHandler));
    QCOMPARE(view.engine.callbackAdapter(17)->argumentCount, 5);
    QVERIFY(!view.engine.callbackAdapter(1));

    view.engine.releaseCallbackThunks();
    QVERIFY(!view.engine.callbackAdapter(0));
    QVERIFY(!view.engine.callbackAdapter(14));
}

void TestEventsCalls::captureWithoutViewMakesNoCall()
{
    webview::EngineView engine;
    QVERIFY(engine.capturePage().isEmpty());
    QVERIFY(rec().calls.isEmpty());
}

void TestEventsCalls::captureBuildsTheBitmapFile()
{
    FakeView view;
    rec().contentWidth = 800;
    rec().contentHeight = 1200;
    const QByteArray file = view.engine.capturePage();
    QCOMPARE(rec().calls, QStringList({"wkeRunJS(document.body.style.overflow='hidden')",
                                       "wkeCaptureContent(800,1200)",
                                       "wkeRunJS(document.body.style.overflow='visible')"}));
    QCOMPARE(file.size(), 3840054);
    QCOMPARE(file.left(2), QByteArray("BM"));
    QCOMPARE(le16(file, 0), quint16(19778));
    QCOMPARE(le32(file, 2), 3840054u);
    QCOMPARE(le32(file, 6), 0u);
    QCOMPARE(le32(file, 10), 54u);
    QCOMPARE(le32(file, 14), 40u);
    QCOMPARE(le32(file, 18), 800u);
    QCOMPARE(qint32(le32(file, 22)), -1200);
    QCOMPARE(le16(file, 26), quint16(1));
    QCOMPARE(le16(file, 28), quint16(32));
    QCOMPARE(le32(file, 30), 0u);
    QCOMPARE(le32(file, 34), 3840000u);
    QCOMPARE(le32(file, 38), 3780u);
    QCOMPARE(le32(file, 42), 3780u);
    QCOMPARE(le32(file, 46), 0u);
    QCOMPARE(le32(file, 50), 0u);
    // The engine painted straight into the image, from offset 54.
    QCOMPARE(static_cast<unsigned char>(file[54]), 0);
    QCOMPARE(static_cast<unsigned char>(file[54 + 300]), 300 % 256);
    QCOMPARE(static_cast<unsigned char>(file[file.size() - 1]), (3840000 - 1) % 256);
}

void TestEventsCalls::bitmapSizeLimits()
{
    QCOMPARE(webview::bitmapFileSize(0, 10), int64_t(-1));
    QCOMPARE(webview::bitmapFileSize(10, -1), int64_t(-1));
    QCOMPARE(webview::bitmapFileSize(1, 1), int64_t(58));
    // The 32-bit size field cannot hold 54 + 4 x 40000 x 30000 bytes.
    QCOMPARE(webview::bitmapFileSize(40000, 30000), int64_t(-1));
    QVERIFY(webview::makeBitmapFile(40000, 30000).isEmpty());
    // The largest image the size field holds, one pixel more, and sides whose
    // byte count overflows 64 bits.
    QCOMPARE(webview::bitmapFileSize(1073741810, 1), int64_t(4294967294));
    QCOMPARE(webview::bitmapFileSize(1073741811, 1), int64_t(-1));
    QCOMPARE(webview::bitmapFileSize(INT_MAX, INT_MAX), int64_t(-1));
    const unsigned char pixel[4] = {1, 2, 3, 4};
    const QByteArray one = webview::bitmapFileFromPixels(pixel, 1, 1);
    QCOMPARE(one.size(), 58);
    QCOMPARE(one.mid(54), QByteArray("\x01\x02\x03\x04", 4));
}

void TestEventsCalls::bridgeScriptSubstitution()
{
    const QString script = rt::gbToQString(webview::fillBridgeScript(8080, "form1"));
    QVERIFY(script.contains(QStringLiteral("\"ws://127.0.0.1:8080/echo\"")));
    QVERIFY(script.contains(QStringLiteral("window.fiddler_form = \"form1\";")));
    QVERIFY(!script.contains(QStringLiteral("标识符")));
    QVERIFY(!script.contains(QStringLiteral("端口号")));
    QVERIFY(script.contains(QStringLiteral("【填表】正在尝试填表连接")));

    // An identifier cannot end the script string it stands in.
    const QString odd = rt::gbToQString(webview::fillBridgeScript(1, rt::gb("表\"+alert(1)+\"\\\n")));
    QVERIFY(odd.contains(QStringLiteral("window.fiddler_form = \"表\\\"+alert(1)+\\\"\\\\\\n\";")));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestEventsCalls test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_events_calls.moc"
