// The exact engine calls of WebView, EngineView and hosting, recorded by a
// stand-in for the engine library bound through the loader's binding table.
// (What the real engine does with them is tested in the other web view tests.)
#include "testenv.h"

#include "runtime/paths.h"
#include "runtime/textcodec.h"
#include "webview/engineloader.h"
#include "webview/webview.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVariant>
#include <QWheelEvent>

#include <cstring>
#include <map>
#include <memory>

// ---- The recording engine ------------------------------------------------

namespace {

struct Recorder {
    QStringList calls;
    bool initialized = false;
    int viewsMade = 0;
    bool failCreate = false;
    std::map<const void*, QString> names;
    std::map<const void*, QPointer<QWidget>> frames;  // the engine's widget per view
    QByteArray proxyRecord;
    std::u16string title;
    bool hasTitle = false;
    std::string url;
    char handles[16] = {};
    QString dataBase;

    QString name(const void* p) const
    {
        if (!p)
            return QStringLiteral("null");
        auto it = names.find(p);
        return it == names.end() ? QStringLiteral("?") : it->second;
    }
    QString text(const char16_t* s) const
    {
        QString t = s ? QString::fromUtf16(s) : QStringLiteral("null");
        if (!dataBase.isEmpty())
            t.replace(dataBase, QStringLiteral("<data>/"));
        return t;
    }
    void add(const QString& call) { calls << call; }
};

Recorder& rec()
{
    static Recorder r;
    return r;
}

QString b(bool v)
{
    return v ? QStringLiteral("true") : QStringLiteral("false");
}

}  // namespace

extern "C" {

bool wkeIsInitialize(void)
{
    rec().add(QStringLiteral("wkeIsInitialize()"));
    return rec().initialized;
}

void wkeInitialize(void)
{
    rec().add(QStringLiteral("wkeInitialize()"));
    rec().initialized = true;
}

wkeWebView wkeCreateWebView(void)
{
    rec().add(QStringLiteral("wkeCreateWebView()"));
    if (rec().failCreate)
        return nullptr;
    const int n = ++rec().viewsMade;
    auto view = reinterpret_cast<wkeWebView>(&rec().handles[n]);
    rec().names[view] = QStringLiteral("V%1").arg(n);
    rec().frames[view] = new QWidget;
    return view;
}

void wkeSetHandle(wkeWebView view, wkeWindow host)
{
    rec().add(QStringLiteral("wkeSetHandle(%1,%2)").arg(rec().name(view), rec().name(host)));
    if (QWidget* frame = rec().frames[view])
        frame->setParent(host);
}

void wkeSetTransparent(wkeWebView view, bool on)
{
    rec().add(QStringLiteral("wkeSetTransparent(%1,%2)").arg(rec().name(view), b(on)));
}

void wkeResize(wkeWebView view, int w, int h)
{
    rec().add(QStringLiteral("wkeResize(%1,%2,%3)").arg(rec().name(view)).arg(w).arg(h));
}

wkeWindow wkeGetWindowHandle(wkeWebView view)
{
    rec().add(QStringLiteral("wkeGetWindowHandle(%1)").arg(rec().name(view)));
    return rec().frames[view];
}

void wkeDestroyWebView(wkeWebView view)
{
    rec().add(QStringLiteral("wkeDestroyWebView(%1)").arg(rec().name(view)));
    delete rec().frames[view].data();
}

void wkeRepaintIfNeeded(wkeWebView view)
{
    rec().add(QStringLiteral("wkeRepaintIfNeeded(%1)").arg(rec().name(view)));
}

void wkeSetCookieJarPath(wkeWebView view, const char16_t* path)
{
    rec().add(QStringLiteral("wkeSetCookieJarPath(%1,%2)").arg(rec().name(view), rec().text(path)));
}

void wkeSetLocalStorageFullPath(wkeWebView view, const char16_t* path)
{
    rec().add(QStringLiteral("wkeSetLocalStorageFullPath(%1,%2)").arg(rec().name(view), rec().text(path)));
}

void wkeSetUserAgentW(wkeWebView view, const char16_t* ua)
{
    rec().add(QStringLiteral("wkeSetUserAgentW(%1,%2)").arg(rec().name(view), rec().text(ua)));
}

void wkeSetNavigationToNewWindowEnable(wkeWebView view, bool on)
{
    rec().add(QStringLiteral("wkeSetNavigationToNewWindowEnable(%1,%2)").arg(rec().name(view), b(on)));
}

void wkeSetCspCheckEnable(wkeWebView view, bool on)
{
    rec().add(QStringLiteral("wkeSetCspCheckEnable(%1,%2)").arg(rec().name(view), b(on)));
}

void wkeSetMemoryCacheEnable(wkeWebView view, bool on)
{
    rec().add(QStringLiteral("wkeSetMemoryCacheEnable(%1,%2)").arg(rec().name(view), b(on)));
}

void wkeSetNpapiPluginsEnabled(wkeWebView view, bool on)
{
    rec().add(QStringLiteral("wkeSetNpapiPluginsEnabled(%1,%2)").arg(rec().name(view), b(on)));
}

void wkeLoadURLW(wkeWebView view, const char16_t* url)
{
    rec().add(QStringLiteral("wkeLoadURLW(%1,%2)").arg(rec().name(view), rec().text(url)));
}

void wkeSetViewProxy(wkeWebView view, const wkeProxy* proxy)
{
    rec().add(QStringLiteral("wkeSetViewProxy(%1)").arg(rec().name(view)));
    rec().proxyRecord = QByteArray(reinterpret_cast<const char*>(proxy), sizeof(wkeProxy));
}

const char16_t* wkeGetTitleW(wkeWebView)
{
    return rec().hasTitle ? rec().title.c_str() : nullptr;
}

const char* wkeGetURL(wkeWebView)
{
    return rec().url.empty() ? nullptr : rec().url.c_str();
}

bool wkeFireMouseEvent(wkeWebView view, unsigned message, int x, int y, unsigned flags)
{
    rec().add(QStringLiteral("wkeFireMouseEvent(%1,0x%2,%3,%4,0x%5)")
                  .arg(rec().name(view))
                  .arg(message, 0, 16)
                  .arg(x)
                  .arg(y)
                  .arg(flags, 0, 16));
    return true;
}

bool wkeFireMouseWheelEvent(wkeWebView view, int x, int y, int delta, unsigned flags)
{
    rec().add(QStringLiteral("wkeFireMouseWheelEvent(%1,%2,%3,%4,0x%5)")
                  .arg(rec().name(view))
                  .arg(x)
                  .arg(y)
                  .arg(delta)
                  .arg(flags, 0, 16));
    return true;
}

bool wkeFireContextMenuEvent(wkeWebView view, int x, int y, unsigned flags)
{
    rec().add(QStringLiteral("wkeFireContextMenuEvent(%1,%2,%3,0x%4)")
                  .arg(rec().name(view))
                  .arg(x)
                  .arg(y)
                  .arg(flags, 0, 16));
    return true;
}

static bool recordKey(const char* fn, wkeWebView view, unsigned code, unsigned flags, bool system)
{
    rec().add(QStringLiteral("%1(%2,0x%3,0x%4,%5)")
                  .arg(QLatin1String(fn), rec().name(view))
                  .arg(code, 0, 16)
                  .arg(flags, 0, 16)
                  .arg(b(system)));
    return true;
}

bool wkeFireKeyDownEvent(wkeWebView view, unsigned code, unsigned flags, bool system)
{
    return recordKey("wkeFireKeyDownEvent", view, code, flags, system);
}

bool wkeFireKeyUpEvent(wkeWebView view, unsigned code, unsigned flags, bool system)
{
    return recordKey("wkeFireKeyUpEvent", view, code, flags, system);
}

bool wkeFireKeyPressEvent(wkeWebView view, unsigned code, unsigned flags, bool system)
{
    return recordKey("wkeFireKeyPressEvent", view, code, flags, system);
}

void wkeSetFocus(wkeWebView view)
{
    rec().add(QStringLiteral("wkeSetFocus(%1)").arg(rec().name(view)));
}

void wkeKillFocus(wkeWebView view)
{
    rec().add(QStringLiteral("wkeKillFocus(%1)").arg(rec().name(view)));
}

}  // extern "C"

namespace {

#define RECORDED(fn) {#fn, reinterpret_cast<void*>(&fn)}
const std::map<std::string, void*> kRecordedFunctions = {
    RECORDED(wkeIsInitialize), RECORDED(wkeInitialize), RECORDED(wkeCreateWebView),
    RECORDED(wkeSetHandle), RECORDED(wkeSetTransparent), RECORDED(wkeResize),
    RECORDED(wkeGetWindowHandle), RECORDED(wkeDestroyWebView), RECORDED(wkeRepaintIfNeeded),
    RECORDED(wkeSetCookieJarPath), RECORDED(wkeSetLocalStorageFullPath), RECORDED(wkeSetUserAgentW),
    RECORDED(wkeSetNavigationToNewWindowEnable), RECORDED(wkeSetCspCheckEnable),
    RECORDED(wkeSetMemoryCacheEnable), RECORDED(wkeSetNpapiPluginsEnabled), RECORDED(wkeLoadURLW),
    RECORDED(wkeSetViewProxy), RECORDED(wkeGetTitleW), RECORDED(wkeGetURL),
    RECORDED(wkeFireMouseEvent), RECORDED(wkeFireMouseWheelEvent), RECORDED(wkeFireContextMenuEvent),
    RECORDED(wkeFireKeyDownEvent), RECORDED(wkeFireKeyUpEvent), RECORDED(wkeFireKeyPressEvent),
    RECORDED(wkeSetFocus), RECORDED(wkeKillFocus),
};
#undef RECORDED

void* recordedFunction(const char* name)
{
    auto it = kRecordedFunctions.find(name);
    return it == kRecordedFunctions.end() ? nullptr : it->second;
}

QByteArray zeros(int n)
{
    return QByteArray(n, '\0');
}

// The 208-byte record with the fields given, zero elsewhere.
QByteArray proxyRecord(int type, const QByteArray& host, int port, const QByteArray& user,
                       const QByteArray& password)
{
    QByteArray r = zeros(208);
    const int32_t t = type;
    std::memcpy(r.data(), &t, 4);
    std::memcpy(r.data() + 4, host.constData(), size_t(host.size()));
    r[104] = char(port & 0xFF);
    r[105] = char((port >> 8) & 0xFF);
    std::memcpy(r.data() + 106, user.constData(), size_t(user.size()));
    std::memcpy(r.data() + 156, password.constData(), size_t(password.size()));
    return r;
}

}  // namespace

// ---- Tests ---------------------------------------------------------------

class TestWebViewCalls : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void createCallOrder_data();
    void createCallOrder();
    void secondCreateOnLiveViewMakesNoSecondView();
    void createMakesProfileFolders_data();
    void createMakesProfileFolders();
    void storagePathHelpers();
    void failedViewCreationKeepsGoing();
    void proxyRecordBytes_data();
    void proxyRecordBytes();
    void titleAndUrlConversions();
    void missingFunctionMessage();
    void missingFunctionEndsProgram();

    void hostResizeAndInputReachEngine();
    void keyboardContextMenuHasNoPoint();
    void hostDestructionTearsDown();
    void hostIsTakenOnce();
    void lastSharerTearsDownAndRestoresHost();
    void hitTestBorders_data();
    void hitTestBorders();
    void pressInResizeBandIsNotPageInput();
    void maximizedRect();
    void callbackAdaptersPerSlot();

private:
    std::unique_ptr<QTemporaryDir> m_data;
};

void TestWebViewCalls::init()
{
    m_data = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", m_data->path().toLocal8Bit());
    Recorder& r = rec();
    r.calls.clear();
    for (auto& [view, frame] : r.frames)
        delete frame.data();
    r.frames.clear();
    r.names.clear();
    r.viewsMade = 0;
    r.initialized = false;
    r.failCreate = false;
    r.hasTitle = false;
    r.url.clear();
    r.proxyRecord.clear();
    r.dataBase = rt::userDataBase();
    webview::setEngineResolver(recordedFunction);
    webview::setEngineFailureHandler([](const QString& message) {
        qFatal("unexpected engine function: %s", qPrintable(message));
    });
}

void TestWebViewCalls::cleanup()
{
    webview::setEngineResolver({});
    webview::setEngineFailureHandler({});
}

void TestWebViewCalls::createCallOrder_data()
{
    QTest::addColumn<QString>("userAgent");
    QTest::newRow("no user agent") << QString();
    QTest::newRow("user agent") << QStringLiteral("Tolvane/1.0 测试");
}

void TestWebViewCalls::createCallOrder()
{
    QFETCH(QString, userAgent);
    QWidget host;
    host.resize(320, 240);
    rec().names[&host] = QStringLiteral("host");
    webview::WebView web;
    web.create(&host, "p1", rt::gb("/tmp/页面.html"), rt::qstringToGb(userAgent));

    QStringList expected = {
        "wkeIsInitialize()",
        "wkeInitialize()",
        // Storage paths (and the user agent) before the view exists.
        "wkeSetCookieJarPath(null,<data>/vireloc/cookie/p1/)",
        "wkeSetLocalStorageFullPath(null,<data>/vireloc/LocalStorage/p1/)",
    };
    if (!userAgent.isEmpty())
        expected << "wkeSetUserAgentW(null," + userAgent + ")";
    expected << "wkeIsInitialize()"
             << "wkeCreateWebView()"
             << "wkeSetHandle(V1,host)"
             << "wkeSetTransparent(V1,false)"
             << "wkeGetWindowHandle(V1)"
             << "wkeResize(V1,320,240)"
             << "wkeSetNavigationToNewWindowEnable(V1,false)"
             << "wkeSetCspCheckEnable(V1,false)"
             << "wkeSetMemoryCacheEnable(V1,false)"
             << "wkeSetNpapiPluginsEnabled(V1,true)"
             << QStringLiteral("wkeLoadURLW(V1,/tmp/页面.html)");
    QCOMPARE(rec().calls, expected);
    QCOMPARE(web.profileName(), "p1");
}

void TestWebViewCalls::secondCreateOnLiveViewMakesNoSecondView()
{
    QWidget host;
    host.resize(100, 80);
    rec().names[&host] = QStringLiteral("host");
    webview::WebView web;
    web.create(&host, "p1", "/a.html", "");
    const QString first = rec().names[web.engine().getViewHandle()];
    rec().calls.clear();

    web.create(&host, "p2", "/b.html", "UA");
    const QStringList expected = {
        "wkeIsInitialize()",
        "wkeSetCookieJarPath(" + first + ",<data>/vireloc/cookie/p2/)",
        "wkeSetLocalStorageFullPath(" + first + ",<data>/vireloc/LocalStorage/p2/)",
        "wkeSetUserAgentW(" + first + ",UA)",
        "wkeIsInitialize()",
        "wkeSetNavigationToNewWindowEnable(" + first + ",false)",
        "wkeSetCspCheckEnable(" + first + ",false)",
        "wkeSetMemoryCacheEnable(" + first + ",false)",
        "wkeSetNpapiPluginsEnabled(" + first + ",true)",
        "wkeLoadURLW(" + first + ",/b.html)",
    };
    QCOMPARE(rec().calls, expected);
    QCOMPARE(web.profileName(), "p2");
}

void TestWebViewCalls::createMakesProfileFolders_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<bool>("plain");
    QTest::newRow("plain") << QStringLiteral("p1") << true;
    QTest::newRow("chinese") << QStringLiteral("用户一") << true;
    QTest::newRow("parent") << QStringLiteral("..") << false;
    QTest::newRow("current") << QStringLiteral(".") << false;
    QTest::newRow("climbs out") << QStringLiteral("../../evil") << false;
    QTest::newRow("absolute") << QStringLiteral("/tmp/cache/") << false;
    QTest::newRow("nested") << QStringLiteral("a/b") << false;
    QTest::newRow("backslash") << QStringLiteral("a\\b") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestWebViewCalls::createMakesProfileFolders()
{
    QFETCH(QString, profile);
    QFETCH(bool, plain);
    QWidget host;
    webview::WebView web;
    web.create(&host, rt::qstringToGb(profile), "", "");

    const QString base = rt::userDataBase();
    const QStringList folders = {"vireloc", "vireloc/cookie", "vireloc/cookie/" + profile,
                                 "vireloc/LocalStorage", "vireloc/LocalStorage/" + profile};
    if (plain) {
        // Made one level at a time: a wrong order leaves one out.
        for (const QString& folder : folders)
            QVERIFY2(QDir(base + folder).exists(), qPrintable(folder));
        QVERIFY(rec().calls.contains("wkeSetCookieJarPath(null,<data>/vireloc/cookie/" + profile + "/)"));
    } else {
        // Nothing is made anywhere, and the engine gets private storage.
        QCOMPARE(QDir(base).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        QVERIFY(!QDir(QStringLiteral("/tmp/evil")).exists());
        QVERIFY(rec().calls.contains("wkeSetCookieJarPath(null,)"));
        QVERIFY(rec().calls.contains("wkeSetLocalStorageFullPath(null,)"));
    }
}

void TestWebViewCalls::storagePathHelpers()
{
    const std::string base = rt::qstringToGb(rt::userDataBase());
    QWidget host;
    webview::WebView web;
    QCOMPARE(web.cookieFilePath(""), std::string());  // no profile yet
    web.create(&host, "p1", "", "");
    QCOMPARE(web.cookieFilePath(""), base + "vireloc/cookie/p1/cookies.dat");
    QCOMPARE(web.cookieFilePath("p2"), base + "vireloc/cookie/p2/cookies.dat");
    QCOMPARE(web.localStoragePath("p2"), base + "vireloc/LocalStorage/p2");
    QCOMPARE(web.localStoragePath(""), base + "vireloc/LocalStorage/p1");
    QCOMPARE(web.cookieFilePath("../x"), std::string());
    QCOMPARE(web.localStoragePath("a/b"), std::string());
}

void TestWebViewCalls::failedViewCreationKeepsGoing()
{
    rec().failCreate = true;
    QWidget host;
    rec().names[&host] = QStringLiteral("host");
    webview::WebView web;
    web.create(&host, "p1", "/a.html", "");
    QVERIFY(!web.engine().getViewHandle());
    QCOMPARE(web.engine().hostWindow(), &host);
    QVERIFY(!host.property("wkeEThis").isValid());
    // The settings and the load still go out, with the empty view handle.
    QCOMPARE(rec().calls.mid(rec().calls.indexOf("wkeCreateWebView()") + 1),
             QStringList({"wkeSetNavigationToNewWindowEnable(null,false)",
                          "wkeSetCspCheckEnable(null,false)", "wkeSetMemoryCacheEnable(null,false)",
                          "wkeSetNpapiPluginsEnabled(null,true)", "wkeLoadURLW(null,/a.html)"}));
}

void TestWebViewCalls::proxyRecordBytes_data()
{
    QTest::addColumn<bool>("socks");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("record");

    const QString longHost = QString(120, QLatin1Char('h'));
    const QString password30 = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123");
    QTest::newRow("http, long host cut to 99, no user")
        << false << longHost << 8080 << QString() << password30
        << proxyRecord(1, QByteArray(99, 'h'), 8080, {}, password30.toUtf8());
    QTest::newRow("socks5 with user")
        << true << QStringLiteral("127.0.0.1") << 1080 << QStringLiteral("me") << QStringLiteral("pw")
        << proxyRecord(4, "127.0.0.1", 1080, "me", "pw");
    QTest::newRow("port keeps its low 16 bits")
        << false << QStringLiteral("p") << 70000 << QString() << QString()
        << proxyRecord(1, "p", 70000 & 0xFFFF, {}, {});
    // 17 three-byte characters are 51 bytes: 16 whole ones fit in 49.
    QTest::newRow("utf-8 user cut at a character")
        << false << QStringLiteral("p") << 80 << QString(17, QChar(0x4E2D)) << QString()
        << proxyRecord(1, "p", 80, QString(16, QChar(0x4E2D)).toUtf8(), {});
    QTest::newRow("49-byte password whole")
        << true << QStringLiteral("p") << 80 << QString() << QString(49, QLatin1Char('x'))
        << proxyRecord(4, "p", 80, {}, QByteArray(49, 'x'));
}

void TestWebViewCalls::proxyRecordBytes()
{
    QFETCH(bool, socks);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QByteArray, record);
    webview::WebView web;
    if (socks)
        web.setSocks5Proxy(rt::qstringToGb(host), port, rt::qstringToGb(user), rt::qstringToGb(password));
    else
        web.setHttpProxy(rt::qstringToGb(host), port, rt::qstringToGb(user), rt::qstringToGb(password));
    QCOMPARE(rec().calls, QStringList({"wkeSetViewProxy(null)"}));
    QCOMPARE(rec().proxyRecord.size(), 208);
    QCOMPARE(rec().proxyRecord, record);
}

void TestWebViewCalls::titleAndUrlConversions()
{
    webview::WebView web;
    QCOMPARE(web.engine().getTitleWide(), QByteArray());  // the engine gives none
    QCOMPARE(web.engine().getTitle(), std::string());
    QCOMPARE(web.getUrl(), std::string());

    rec().hasTitle = true;
    rec().title = u"标题";
    const QByteArray wide = web.engine().getTitleWide();
    QCOMPARE(wide.size(), 6);  // two code units and the terminator
    QCOMPARE(wide, QByteArray(reinterpret_cast<const char*>(u"标题"), 6));
    QCOMPARE(web.engine().getTitle(), rt::gb("标题"));
    rec().title = u"";
    QCOMPARE(web.engine().getTitleWide().size(), 2);

    rec().url = "file:///tmp/%E9%A1%B5/页.html";
    QCOMPARE(web.getUrl(), rt::gb("file:///tmp/%E9%A1%B5/页.html"));
    QCOMPARE(web.engine().getUrlUtf8(), rec().url);
}

void TestWebViewCalls::missingFunctionMessage()
{
    QStringList messages;
    webview::setEngineFailureHandler([&](const QString& message) { messages << message; });
    webview::setEngineResolver([](const char* name) {
        return std::string(name) == "wkeResize" ? nullptr : recordedFunction(name);
    });
    webview::BoundFunction binding;
    QCOMPARE(webview::engineFunction("wkeResize", binding), nullptr);
    QCOMPARE(messages, QStringList({QStringLiteral("无法找到指定DLL库文件“libnode.so”中的输出命令“wkeResize”")}));

    // The real library in the program directory: present, without that name.
    messages.clear();
    webview::setEngineResolver({});
    QVERIFY(webview::WebView::isEngineInstalled());
    webview::BoundFunction real;
    QVERIFY(webview::engineFunction("wkeResize", real));
    webview::BoundFunction missing;
    QCOMPARE(webview::engineFunction("wkeNoSuchFunction", missing), nullptr);
    QCOMPARE(messages, QStringList({QStringLiteral("无法找到指定DLL库文件“libnode.so”中的输出命令“wkeNoSuchFunction”")}));
}

// A child process asks the real library for a missing function with the
// default handling: it must show the message and end.
void TestWebViewCalls::missingFunctionEndsProgram()
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOLVANE_TEST_SHARED_ENV"), QStringLiteral("1"));  // it ends without clean-up
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--call-missing-function")});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 1);
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    QVERIFY2(out.contains(QStringLiteral("box: 无法找到指定DLL库文件“libnode.so”中的输出命令“wkeNoSuchFunction”")),
             qPrintable(out));
    QVERIFY2(!out.contains(QStringLiteral("returned")), qPrintable(out));
}

void TestWebViewCalls::hostResizeAndInputReachEngine()
{
    QWidget host;
    host.resize(200, 100);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    webview::EngineView engine;
    QVERIFY(engine.createView(&host, false));
    rec().calls.clear();

    host.resize(800, 600);
    QCOMPARE(rec().calls, QStringList({"wkeResize(V1,800,600)", "wkeRepaintIfNeeded(V1)"}));

    struct MouseCase {
        QEvent::Type type;
        Qt::MouseButton button;
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers modifiers;
        const char* expected;
    };
    const MouseCase cases[] = {
        {QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, Qt::ControlModifier,
         "wkeFireMouseEvent(V1,0x201,30,40,0x9)"},
        {QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, Qt::NoModifier,
         "wkeFireMouseEvent(V1,0x202,30,40,0x0)"},
        {QEvent::MouseMove, Qt::NoButton, Qt::RightButton, Qt::ShiftModifier,
         "wkeFireMouseEvent(V1,0x200,30,40,0x6)"},
        {QEvent::MouseButtonDblClick, Qt::MiddleButton, Qt::MiddleButton, Qt::NoModifier,
         "wkeFireMouseEvent(V1,0x209,30,40,0x10)"},
        {QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, Qt::NoModifier,
         "wkeFireMouseEvent(V1,0x204,30,40,0x2)"},
    };
    for (const MouseCase& c : cases) {
        rec().calls.clear();
        QMouseEvent event(c.type, QPointF(30, 40), host.mapToGlobal(QPointF(30, 40)), c.button,
                          c.buttons, c.modifiers);
        QCoreApplication::sendEvent(&host, &event);
        QCOMPARE(rec().calls.value(rec().calls.size() - 1), QString::fromLatin1(c.expected));
    }

    rec().calls.clear();
    QWheelEvent wheel(QPointF(10, 20), host.mapToGlobal(QPointF(10, 20)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&host, &wheel);
    QCOMPARE(rec().calls, QStringList({"wkeFireMouseWheelEvent(V1,10,20,-120,0x8)"}));

    rec().calls.clear();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 6), host.mapToGlobal(QPoint(5, 6)));
    QCoreApplication::sendEvent(&host, &menu);
    QCOMPARE(rec().calls, QStringList({"wkeFireContextMenuEvent(V1,5,6,0x0)"}));

    // A key gives its key-down and its characters, then its key-up.
    rec().calls.clear();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier, QString(), true);
    QCoreApplication::sendEvent(&host, &press);
    QCoreApplication::sendEvent(&host, &release);
    QCoreApplication::sendEvent(&host, &repeat);
    QCOMPARE(rec().calls, QStringList({"wkeFireKeyDownEvent(V1,0x41,0x0,false)",
                                       "wkeFireKeyPressEvent(V1,0x61,0x0,false)",
                                       "wkeFireKeyUpEvent(V1,0x41,0x0,false)",
                                       "wkeFireKeyDownEvent(V1,0x25,0x4100,false)"}));
}

void TestWebViewCalls::keyboardContextMenuHasNoPoint()
{
    QWidget host;
    webview::EngineView engine;
    QVERIFY(engine.createView(&host, false));
    rec().calls.clear();
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(7, 8), host.mapToGlobal(QPoint(7, 8)));
    QCoreApplication::sendEvent(&host, &menu);
    QCOMPARE(rec().calls, QStringList({"wkeFireContextMenuEvent(V1,-1,-1,0x0)"}));
}

void TestWebViewCalls::hostDestructionTearsDown()
{
    webview::EngineView engine;
    auto* host = new QWidget;
    rec().names[host] = QStringLiteral("host");
    QVERIFY(engine.createView(host, false));
    engine.setCallbackAdapter(0, reinterpret_cast<void*>(&wkeResize), 3, nullptr);
    rec().calls.clear();
    delete host;
    QCOMPARE(rec().calls, QStringList({"wkeSetHandle(V1,null)", "wkeDestroyWebView(V1)"}));
    QVERIFY(!engine.getViewHandle());
    QVERIFY(!engine.hostWindow());
    QVERIFY(!engine.callbackAdapter(0));

    QWidget second;
    rec().names[&second] = QStringLiteral("second");
    rec().calls.clear();
    QVERIFY(engine.createView(&second, false));
    QVERIFY(rec().calls.contains("wkeCreateWebView()"));
    QVERIFY(rec().calls.contains("wkeSetHandle(V2,second)"));
}

void TestWebViewCalls::hostIsTakenOnce()
{
    QWidget host;
    host.show();
    webview::EngineView first;
    webview::EngineView second;
    QVERIFY(first.createView(&host, false));
    rec().calls.clear();
    QVERIFY(!second.createView(&host, false));
    QVERIFY(!rec().calls.contains("wkeCreateWebView()"));
    QVERIFY(!second.hostWindow());
    // The first view still has the host's events.
    host.resize(50, 60);
    QVERIFY(rec().calls.contains("wkeResize(V1,50,60)"));
    // And one EngineView hosts one view.
    QWidget other;
    QVERIFY(!first.createView(&other, false));
}

void TestWebViewCalls::lastSharerTearsDownAndRestoresHost()
{
    QWidget host;
    QWidget* ownProxy = new QWidget(&host);
    host.setFocusProxy(ownProxy);
    host.setAttribute(Qt::WA_TranslucentBackground, false);
    {
        auto web = std::make_unique<webview::WebView>();
        web->engine().createView(&host, true);
        QVERIFY(host.property("wkeEThis").isValid());
        QVERIFY(host.focusProxy() != ownProxy);
        QVERIFY(host.testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(rec().calls.contains("wkeSetTransparent(V1,true)"));

        webview::WebView copy(*web);
        QCOMPARE(copy.engine().getViewHandle(), web->engine().getViewHandle());
        rec().calls.clear();
        web.reset();  // the copy still shares the view
        QCOMPARE(rec().calls, QStringList());
        QVERIFY(copy.engine().getViewHandle());
    }
    QVERIFY(rec().calls.contains("wkeDestroyWebView(V1)"));
    QVERIFY(!host.property("wkeEThis").isValid());
    QCOMPARE(host.focusProxy(), ownProxy);
    QVERIFY(!host.testAttribute(Qt::WA_TranslucentBackground));
    rec().calls.clear();
    host.show();
    host.resize(10, 10);
    QCOMPARE(rec().calls, QStringList());  // no longer filtered
}

void TestWebViewCalls::hitTestBorders_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<int>("code");
    QTest::newRow("left") << QPoint(2, 150) << int(webview::HitLeft);
    QTest::newRow("top") << QPoint(200, 2) << int(webview::HitTop);
    QTest::newRow("top left") << QPoint(2, 2) << int(webview::HitTopLeft);
    QTest::newRow("top right") << QPoint(397, 2) << int(webview::HitTopRight);
    QTest::newRow("right") << QPoint(397, 150) << int(webview::HitRight);
    QTest::newRow("right band stops above the grip") << QPoint(397, 289) << int(webview::HitRight);
    QTest::newRow("bottom") << QPoint(200, 297) << int(webview::HitBottom);
    QTest::newRow("bottom band stops left of the grip") << QPoint(389, 297) << int(webview::HitBottom);
    QTest::newRow("bottom left") << QPoint(2, 297) << int(webview::HitBottomLeft);
    QTest::newRow("bottom right corner") << QPoint(395, 295) << int(webview::HitBottomRight);
    QTest::newRow("inside the grip") << QPoint(392, 292) << int(webview::HitBottomRight);
    QTest::newRow("grip's left edge") << QPoint(390, 290) << int(webview::HitBottomRight);
    QTest::newRow("client") << QPoint(200, 150) << int(webview::HitClient);
    QTest::newRow("just inside the left band") << QPoint(5, 150) << int(webview::HitClient);
    QTest::newRow("right edge is outside") << QPoint(400, 150) << int(webview::HitClient);
}

void TestWebViewCalls::hitTestBorders()
{
    QFETCH(QPoint, point);
    QFETCH(int, code);
    QWidget host;
    host.setGeometry(100, 50, 400, 300);
    webview::EngineView engine;
    QVERIFY(engine.createView(&host, false));
    engine.setResizeBorders(1);
    QCOMPARE(engine.hitTestBorders(host.mapToGlobal(point)), code);
}

void TestWebViewCalls::pressInResizeBandIsNotPageInput()
{
    QWidget host;
    host.setWindowFlag(Qt::FramelessWindowHint);
    host.setGeometry(100, 50, 400, 300);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    webview::EngineView engine;
    QVERIFY(engine.createView(&host, false));
    const auto press = [&](QPoint at) {
        rec().calls.clear();
        QMouseEvent event(QEvent::MouseButtonPress, at, host.mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&host, &event);
        return rec().calls.filter(QStringLiteral("wkeFireMouseEvent")).size();
    };
    QCOMPARE(press({2, 150}), 1);  // no borders: page input
    engine.setResizeBorders(1);
    QCOMPARE(press({2, 150}), 0);  // a resize band
    QCOMPARE(press({395, 295}), 0);  // the grip
    QCOMPARE(press({200, 150}), 1);
    host.showMaximized();
    QVERIFY(QTest::qWaitFor([&] { return host.isMaximized(); }));
    QCOMPARE(press({2, 150}), 1);  // maximised: no bands
}

// Where the maximised host goes is asked of the window system after it
// maximised the window; the offscreen platform ignores geometry changes of a
// maximised window, so only the answer is checked here.
void TestWebViewCalls::maximizedRect()
{
    webview::EngineView engine;
    QRect geometry(1, 2, 3, 4);
    QVERIFY(!engine.handleMinMaxInfo(&geometry));  // unset: the window system decides
    QCOMPARE(geometry, QRect(1, 2, 3, 4));
    engine.setMaximizedRect(0, 0, 1280, 700);
    QVERIFY(engine.handleMinMaxInfo(&geometry));
    QCOMPARE(geometry, QRect(0, 0, 1280, 700));
    QCOMPARE(engine.maximizedRect(), QRect(0, 0, 1280, 700));
    engine.setMaximizedRect(100, 50, 0, 300);  // empty again
    QVERIFY(!engine.handleMinMaxInfo(&geometry));
}

void TestWebViewCalls::callbackAdaptersPerSlot()
{
    QWidget host;
    webview::EngineView engine;
    QVERIFY(engine.createView(&host, false));
    int parameter = 0;
    void* target = reinterpret_cast<void*>(&wkeResize);
    webview::CallbackAdapter* first = engine.setCallbackAdapter(3, target, 3, &parameter);
    QVERIFY(first);
    QCOMPARE(first->argumentCount, 3);
    QCOMPARE(first->parameter, &parameter);
    webview::CallbackAdapter* other = engine.setCallbackAdapter(12, target, 7, nullptr);
    webview::CallbackAdapter* replaced = engine.setCallbackAdapter(3, target, 4, nullptr);
    QCOMPARE(engine.callbackAdapter(3), replaced);
    QCOMPARE(replaced->argumentCount, 4);
    QCOMPARE(engine.callbackAdapter(12), other);  // other slots untouched
    QVERIFY(!engine.setCallbackAdapter(18, target, 1, nullptr));
    QVERIFY(!engine.setCallbackAdapter(-1, target, 1, nullptr));
    engine.destroyView();
    for (int slot = 0; slot < webview::kCallbackSlotCount; ++slot)
        QVERIFY(!engine.callbackAdapter(slot));
}

// ---- Child process for missingFunctionEndsProgram ------------------------

static int callMissingFunction(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Reads the message box, then closes it; the program must end afterwards.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::printf("box: %s\n", box->text().toUtf8().constData());
            std::fflush(stdout);
            box->accept();
        }
    });
    watch.start(10);
    webview::BoundFunction binding;
    webview::engineFunction("wkeNoSuchFunction", binding);
    std::printf("returned\n");
    return 0;
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--call-missing-function") == 0)
        return callMissingFunction(argc, argv);
    QApplication app(argc, argv);
    TestWebViewCalls test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_webview_calls.moc"
