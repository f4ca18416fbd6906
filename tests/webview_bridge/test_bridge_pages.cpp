// Element operations on pages as they come: pages with globals of their own,
// forms inside open shadow roots, editable elements and file inputs.
#include "bridgetest.h"

#include <QTemporaryDir>

using namespace bridge_test;

namespace {

QString q(const std::string& s) { return rt::gbToQString(s); }

// The dialogs the engine answered for the view: kind and message.
QStringList answered;
void noteAnswered(wkeWebView, void*, int kind, const char16_t* message)
{
    answered << QString::number(kind) + ":" + QString::fromUtf16(message);
}

bool refuseConfirm(wkeWebView, void*, const wkeString) { return false; }

}  // namespace

class TestBridgePages : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void pageGlobalsStayThePages_data();
    void pageGlobalsStayThePages();
    void shadowRoots_data();
    void shadowRoots();
    void shadowLeavesCountingAlone();
    void editableElements_data();
    void editableElements();
    void uploads_data();
    void uploads();
    void uploadErrors();
    void answeredDialogs_data();
    void answeredDialogs();

private:
    bridge_test::HostedView m_view;
    QTemporaryDir m_files;
};

void TestBridgePages::initTestCase()
{
    QVERIFY(m_view.start(800, 600));
    QVERIFY(m_files.isValid());
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(m_files.filePath(QString::fromUtf8(name)));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    };
    write("a.txt", "alpha");
    write("报表.csv", "1,2,3\n");
}

void TestBridgePages::pageGlobalsStayThePages_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<std::string>("ownNames");  // what the page's own names hold afterwards
    QTest::newRow("const text, let find") << "own_globals.html"
                                          << std::string("the page's own text|the page's own find|the page's own check");
    QTest::newRow("var text") << "own_text_var.html" << std::string("the page's own var|function|undefined");
}

// Every command works on a page that declares `text` (even as a const) or
// the library's helper names itself, and leaves those names as they were;
// a script that assigns no `text` still gets the previous run's value.
void TestBridgePages::pageGlobalsStayThePages()
{
    QFETCH(QString, page);
    QFETCH(std::string, ownNames);
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open(page.toUtf8().constData()));
    QCOMPARE(q(web.setValue("input", "kw", "written")), QString("success"));
    QCOMPARE(q(web.getValue("input", "kw")), QString("written"));
    QCOMPARE(q(web.runScriptText("var nothing = 1;")), QString("written"));
    QCOMPARE(web.listElements("input", "", false), 1);
    const std::string probe =
        "return [String(text), typeof find == 'string' ? find : typeof find,"
        " typeof check == 'function' && check.length == 0 ? check() : typeof check].join('|');";
    QCOMPARE(valueText(web, web.runScript(probe)), q(ownNames));
}

void TestBridgePages::shadowRoots_data()
{
    QTest::addColumn<std::string>("tag");
    QTest::addColumn<std::string>("key");
    QTest::addColumn<int>("skip");
    QTest::addColumn<std::string>("attribute");
    QTest::addColumn<QString>("value");
    QTest::newRow("id inside a shadow root") << std::string("input") << std::string("inner") << 0 << std::string()
                                             << "first shadow";
    QTest::newRow("by attribute") << std::string("input") << std::string("user") << 0 << std::string("name")
                                  << "first shadow";
    QTest::newRow("light DOM wins") << std::string("input") << std::string("both") << 0 << std::string()
                                    << "light value";
    QTest::newRow("skip runs across roots") << std::string("input") << std::string("twin") << 1 << std::string()
                                            << "twin 2";
    QTest::newRow("nested root") << std::string("textarea") << std::string("deep") << 0 << std::string()
                                 << "deep text";
    QTest::newRow("upper-case tag") << std::string("TEXTAREA") << std::string("deep") << 0 << std::string()
                                    << "deep text";
    QTest::newRow("a framework's web component") << std::string("input") << std::string("vue-name") << 0
                                                 << std::string() << "vue value";
    QTest::newRow("closed root stays closed") << std::string("input") << std::string("secret") << 0
                                              << std::string() << "undefined";
    QTest::newRow("past the last") << std::string("input") << std::string("twin") << 2 << std::string()
                                   << "undefined";
}

// Nothing in the document matches: the open shadow roots are searched with
// the same rules, in document order; writing reaches the element too.
void TestBridgePages::shadowRoots()
{
    QFETCH(std::string, tag);
    QFETCH(std::string, key);
    QFETCH(int, skip);
    QFETCH(std::string, attribute);
    QFETCH(QString, value);
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("shadow.html"));
    // The framework renders its component's root a moment after it connects.
    QVERIFY(waitUntil([&] {
        return m_view.eval("!!document.getElementById('host4').shadowRoot.querySelector('input')") == "true";
    }));
    QCOMPARE(q(web.getValue(tag, key, skip, {}, attribute)), value);
    if (value == "undefined")
        return;
    QCOMPARE(q(web.setValue(tag, key, rt::gb("新值"), skip, {}, attribute)), QString("success"));
    QCOMPARE(q(web.getValue(tag, key, skip, {}, attribute)), QString("新值"));
}

// Counting stays on the document's own elements, and a member step through
// shadowRoot keeps working.
void TestBridgePages::shadowLeavesCountingAlone()
{
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("shadow.html"));
    QCOMPARE(web.listElements("input", "", false), 1);
    QCOMPARE(q(web.runElementScript("x-field", "host1", "shadowRoot.querySelector('#inner').value")),
             QString("first shadow"));
}

void TestBridgePages::editableElements_data()
{
    QTest::addColumn<std::string>("key");
    QTest::addColumn<QString>("shownAfter");  // innerText (or value) after the write
    QTest::newRow("contenteditable") << std::string("editor") << "新的内容\n第二行";
    QTest::newRow("plain div") << std::string("plain") << "plain text";
    QTest::newRow("contenteditable false") << std::string("off") << "not editable";
}

// Writing an editable element sets the text it shows and reading gives it
// back; other elements show nothing new. An event command after it reaches
// the editor as for an input.
void TestBridgePages::editableElements()
{
    QFETCH(std::string, key);
    QFETCH(QString, shownAfter);
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("editable.html"));
    QCOMPARE(q(web.setValue("div", key, rt::gb("新的内容\\n第二行"))), QString("success"));
    QCOMPARE(q(m_view.eval("document.getElementById('" + key + "').innerText")), shownAfter);
    if (key != "editor")
        return;
    QCOMPARE(q(web.getValue("div", key)), shownAfter);
    QCOMPARE(q(web.fireElementEvent("div", key, "input")), QString("success"));
    QCOMPARE(q(m_view.eval("window.model")), shownAfter);
    // Inputs and text areas keep their value.
    QCOMPARE(q(web.setValue("textarea", "area", rt::gb("区域"))), QString("success"));
    QCOMPARE(q(web.getValue("textarea", "area")), QString("区域"));
}

void TestBridgePages::uploads_data()
{
    QTest::addColumn<std::string>("key");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("described");
    QTest::newRow("one file") << std::string("one") << QStringList{"a.txt"} << "a.txt:5:alpha";
    QTest::newRow("Chinese file name") << std::string("one") << QStringList{"报表.csv"} << "报表.csv:6:1,2,3\n";
    QTest::newRow("several into multiple") << std::string("many") << QStringList{"a.txt", "报表.csv"}
                                           << "a.txt:5:alpha|报表.csv:6:1,2,3\n";
    QTest::newRow("hidden input") << std::string("hidden") << QStringList{"a.txt"} << "a.txt:5:alpha";
}

// The engine's own file chooser takes the files: the page sees real File
// objects and its input and change listeners run; a hidden input is put
// back as it was.
void TestBridgePages::uploads()
{
    QFETCH(std::string, key);
    QFETCH(QStringList, files);
    QFETCH(QString, described);
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("upload.html"));
    QStringList paths;
    for (const QString& f : files)
        paths << m_files.filePath(f);
    QCOMPARE(q(web.uploadFile("input", key, rt::qstringToGb(paths.join('|')))), QString("success"));
    web.runScriptText("describe('" + key + "'); text = '';");
    QVERIFY(waitUntil([&] { return m_view.eval("window.described !== undefined") == "true"; }));
    QCOMPARE(q(m_view.eval("window.described")), described);
    QCOMPARE(q(m_view.eval("window.seen.join(',')")), QString::fromStdString("input:" + key + ",change:" + key));
    QCOMPARE(q(m_view.eval("document.getElementById('" + key + "').getAttribute('style')")),
             key == "hidden" ? QString("display:none") : QString("null"));
    // An empty path clears the field, telling the page.
    QCOMPARE(q(web.uploadFile("input", key, "")), QString("success"));
    QCOMPARE(q(m_view.eval("document.getElementById('" + key + "').files.length")), QString("0"));
    QCOMPARE(q(m_view.eval("window.seen.length")), QString("4"));
}

void TestBridgePages::uploadErrors()
{
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("upload.html"));
    // A missing file: nothing reaches the page.
    QCOMPARE(q(web.uploadFile("input", "one", rt::qstringToGb(m_files.filePath("missing.txt")))), QString("error"));
    QCOMPARE(q(m_view.eval("window.seen.length")), QString("0"));
    QCOMPARE(q(web.uploadFile("input", "nothing", rt::qstringToGb(m_files.filePath("a.txt")))), QString("undefined"));
    // Another element takes the text as its value, as before.
    QCOMPARE(q(web.uploadFile("input", "text", "C:\\\\x.txt")), QString("success"));
    QCOMPARE(q(m_view.eval("document.getElementById('text').value")), QString("C:\\x.txt"));
}

void TestBridgePages::answeredDialogs_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("handler");  // a confirm handler registered for the view
    QTest::addColumn<QString>("title");  // after the attempt to leave
    QTest::addColumn<QString>("confirmed");
    QTest::addColumn<int>("answeredCount");
    QTest::newRow("accept") << int(WKE_DIALOGS_ACCEPT) << false << "keys" << "true" << 2;
    QTest::newRow("dismiss") << int(WKE_DIALOGS_DISMISS) << false << "leave" << "false" << 2;
    // A registered handler decides first, beforeunload included.
    QTest::newRow("handler first") << int(WKE_DIALOGS_ACCEPT) << true << "leave" << "false" << 0;
}

// A view that answers its dialogs answers the question before leaving a
// page as it answers confirm boxes, and reports each one.
void TestBridgePages::answeredDialogs()
{
    QFETCH(int, mode);
    QFETCH(bool, handler);
    QFETCH(QString, title);
    QFETCH(QString, confirmed);
    QFETCH(int, answeredCount);
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("leave.html"));
    answered.clear();
    web.setDialogAnswers(mode, &noteAnswered, nullptr);
    if (handler)
        web.onConfirmBox(&refuseConfirm, nullptr);
    // The page still asks before it is left: leave it answering, then show
    // dialogs again.
    const auto restore = qScopeGuard([&] {
        web.onConfirmBox(nullptr, nullptr);
        web.setDialogAnswers(WKE_DIALOGS_ACCEPT, nullptr, nullptr);
        m_view.open("keys.html");
        web.setDialogAnswers(WKE_DIALOGS_SHOW, nullptr, nullptr);
    });
    QCOMPARE(q(web.click("button", "c")), QString("success"));
    QCOMPARE(q(web.getValue("input", "r")), confirmed);
    // A real click first, repeated until the page takes it.
    QVERIFY(waitUntil([&] {
        web.postMouseMessages(&m_view.host, 50, 60, 0, 0);
        QTest::qWait(100);
        return m_view.eval("r.value") == "clicked";
    }));
    QCOMPARE(q(web.click("a", "go")), QString("success"));
    if (title == "keys")
        QVERIFY(waitUntil([&] { return m_view.eval("document.title") == "keys"; }));
    else
        QTest::qWait(1000);  // long enough for the navigation to have gone through
    QCOMPARE(q(m_view.eval("document.title")), title);
    QCOMPARE(answered.size(), answeredCount);
    if (answeredCount) {
        QCOMPARE(answered[0], QStringLiteral("1:确定吗"));
        QVERIFY2(answered[1].startsWith("3:"), qPrintable(answered[1]));
    }
}

QTEST_MAIN(TestBridgePages)
#include "test_bridge_pages.moc"
