// The form-fill bridge and the page script bridge on pages whose
// Content-Security-Policy forbids eval and every connection (in a response
// header, and in a meta tag): the bridge still reaches a real local
// WebSocket server and answers its requests with the page's globals and
// library; the values' texts; the element operations; scripts in frames.
#include "../webview/enginetest.h"

#include "fillserver.h"
#include "httpserver.h"

#include "runtime/textcodec.h"
#include "webview/engine/qtfeatures.h"
#include "webview/webview.h"

#include <QApplication>
#include <QTest>
#include <QUrl>
#include <QWidget>

using events_test::Connection;
using events_test::FillServer;
using events_test::HttpServer;
using webview_test::waitUntil;

namespace {

constexpr int kTimeoutMs = 20000;
const QByteArray kPolicy = "script-src 'self'; connect-src 'none'";

// The page's own script (allowed by script-src 'self'): a global, a small
// library, and listeners that write what they saw into the title.
const QByteArray kLibrary = R"(
var pageGlobal = "g";
window.pageLib = { twice: function (x) { return 2 * x; } };
window.seen = [];
document.addEventListener("DOMContentLoaded", function () {
    var input = document.getElementById("name");
    ["click", "change", "keyup"].forEach(function (type) {
        input.addEventListener(type, function () { seen.push(type); document.title = seen.join(","); });
    });
});
)";

QByteArray page(const QByteArray& head, const QByteArray& body = {})
{
    return "<!doctype html><html><head><meta charset='utf-8'>" + head +
           "<script src='/lib.js'></script><title>ready</title></head><body>"
           "<input id='name' name='user' value='初始'>" + body + "</body></html>";
}

QByteArray metaPolicy(const QByteArray& policy)
{
    return "<meta http-equiv='Content-Security-Policy' content=\"" + policy + "\">";
}

QString gb(const std::string& text) { return rt::gbToQString(text); }

QString encoded(const QString& script) { return QString::fromLatin1(QUrl::toPercentEncoding(script)); }

}  // namespace

class TestFillBridgePolicy : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void bridgeReachesServer_data();
    void bridgeReachesServer();
    void requestValues_data();
    void requestValues();
    void elementOperations_data();
    void elementOperations();
    void frameScripts_data();
    void frameScripts();
    void closedViewClosesConnection();

private:
    HttpServer m_pages;
    QWidget m_host;
    webview::WebView m_web;
    FillServer m_server;
    Connection* m_valuesConnection = nullptr;
    int m_mark = 0;

    void load(const QByteArray& path);
    Connection* inject(const QByteArray& path);
    QStringList answersTo(Connection* c, const QString& request);
};

void TestFillBridgePolicy::initTestCase()
{
    m_pages.route("/lib.js", HttpServer::response(kLibrary, "text/javascript"));
    m_pages.route("/header.html",
                  HttpServer::response(page({}), "text/html", {"Content-Security-Policy: " + kPolicy}));
    m_pages.route("/meta.html", HttpServer::response(page(metaPolicy(kPolicy))));
    m_pages.route("/trusted.html", HttpServer::response(page({}), "text/html",
                                                        {"Content-Security-Policy: " + kPolicy +
                                                         "; require-trusted-types-for 'script'; trusted-types 'none'"}));
    m_pages.route("/plain.html", HttpServer::response(page({})));
    const QByteArray frame = "<iframe id='f' src='/frame.html'></iframe>";
    m_pages.route("/frame.html", HttpServer::response("<!doctype html><title>frame</title><body>"
                                                      "<script src='/lib.js'></script>in frame</body>"));
    m_pages.route("/framePolicy.html",
                  HttpServer::response("<!doctype html><title>frame</title><body>"
                                       "<script src='/lib.js'></script>in frame</body>",
                                       "text/html", {"Content-Security-Policy: " + kPolicy}));
    m_pages.route("/policyWithFrame.html",
                  HttpServer::response(page({}, frame), "text/html", {"Content-Security-Policy: " + kPolicy}));
    m_pages.route("/plainWithPolicyFrame.html",
                  HttpServer::response(page({}, "<iframe id='f' src='/framePolicy.html'></iframe>")));
    m_host.resize(640, 480);
    m_host.show();
    m_web.create(&m_host, "policy", m_pages.url("/plain.html").toStdString(), "");
    QVERIFY(webview_test::titleBecomes(m_web, "ready"));
}

void TestFillBridgePolicy::load(const QByteArray& path)
{
    // Until the new document is there, the old one must not pass for it.
    m_web.runScriptText("document.title = 'leaving'; text = '';");
    m_web.loadUrl(m_pages.url(path).toStdString());
    QVERIFY(waitUntil([&] { return m_web.isLoadingCompleted() && m_web.engine().getTitle() == "ready"; }));
}

// Injects the bridge into the page at path and waits for its introduction.
Connection* TestFillBridgePolicy::inject(const QByteArray& path)
{
    load(path);
    const qsizetype before = m_server.connections().size();
    m_web.injectFillBridge(m_server.port(), "form1");
    if (!waitUntil([&] { return m_server.connections().size() > before &&
                                !m_server.connections().last()->messages.isEmpty(); }, kTimeoutMs))
        return nullptr;
    return m_server.connections().last();
}

// Sends request (already URI-encoded) in two pieces, then a marker request,
// and gives the answers that came before the marker's.
QStringList TestFillBridgePolicy::answersTo(Connection* c, const QString& request)
{
    const QString mark = QStringLiteral("mark%1").arg(++m_mark);
    const qsizetype from = c->messages.size();
    c->socket->sendTextMessage(request.left(request.size() / 2));
    c->socket->sendTextMessage(request.mid(request.size() / 2) + QStringLiteral("##"));
    c->socket->sendTextMessage(QStringLiteral("'%1'##").arg(mark));
    const QString markAnswer = QStringLiteral("dat->%1<-dat").arg(mark);
    if (!waitUntil([&] { return c->messages.contains(markAnswer); }, kTimeoutMs))
        return {QStringLiteral("(no answer to the marker)")};
    QStringList answers = c->messages.mid(from);
    answers.removeAll(QStringLiteral("xt"));
    answers.removeAll(markAnswer);
    return answers;
}

// The two ways a page states its policy, and a policy that also demands
// trusted types for every script sink.
static void policyPages()
{
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("policy in a header") << QByteArray("/header.html");
    QTest::newRow("policy in a meta tag") << QByteArray("/meta.html");
    QTest::newRow("policy with trusted types") << QByteArray("/trusted.html");
}

void TestFillBridgePolicy::bridgeReachesServer_data() { policyPages(); }

void TestFillBridgePolicy::bridgeReachesServer()
{
    QFETCH(QByteArray, path);
    load(path);
    // The policy is in force: the page's own eval and its own socket fail.
    QCOMPARE(gb(m_web.runScriptText("try { (0, eval)('1'); text = 'ran'; } catch (e) { text = e.name; }")),
             QStringLiteral("EvalError"));
    const qsizetype before = m_server.connections().size();
    m_web.runScriptText(rt::qstringToGb(
        QStringLiteral("try { new WebSocket('ws://127.0.0.1:%1/echo'); } catch (e) {} text = '';").arg(m_server.port())));
    QTest::qWait(500);
    QCOMPARE(m_server.connections().size(), before);

    Connection* c = inject(path);
    QVERIFY(c);
    QCOMPARE(c->path, QStringLiteral("/echo"));
    QCOMPARE(c->origin, QStringLiteral("http://127.0.0.1:%1").arg(m_pages.port()));
    QCOMPARE(c->messages.first(), QStringLiteral("csh->form1"));
    // Requests see the page's globals, its library and the bridge's functions.
    QCOMPARE(answersTo(c, encoded("pageLib.twice(21)")), QStringList{"dat->42<-dat"});
    QCOMPARE(answersTo(c, encoded("pageGlobal + ':' + finds('input==user', 0, '').value")),
             QStringList{"dat->g:初始<-dat"});
    QCOMPARE(answersTo(c, encoded("finds('input==name', 0, '').value = '新值'; 'set'")), QStringList{"dat->set<-dat"});
    QCOMPARE(gb(m_web.getValue("input", "name", 0, "", "", "", false)), QStringLiteral("新值"));
    QVERIFY(waitUntil([&] { return c->messages.contains(QStringLiteral("xt")); }, 8000));

    // The server drops the connection: the bridge connects again.
    c->socket->close();
    QVERIFY(waitUntil([&] { return m_server.connections().last() != c &&
                                   !m_server.connections().last()->messages.isEmpty(); }, kTimeoutMs));
    Connection* again = m_server.connections().last();
    QCOMPARE(again->messages.first(), QStringLiteral("csh->form1"));
    QCOMPARE(answersTo(again, encoded("pageLib.twice(2)")), QStringList{"dat->4<-dat"});

    // The page is replaced: its connection closes, and no new one is made.
    load("/plain.html");
    QVERIFY(waitUntil([&] { return again->closed; }, 5000));
    const qsizetype count = m_server.connections().size();
    QTest::qWait(1500);
    QCOMPARE(m_server.connections().size(), count);
}

void TestFillBridgePolicy::requestValues_data()
{
    QTest::addColumn<QString>("request");  // as sent, URI-encoded
    QTest::addColumn<QStringList>("answers");
    const auto row = [](const char* name, const QString& script, const QStringList& answers) {
        QTest::newRow(name) << encoded(script) << answers;
    };
    const auto answer = [](const QString& text) { return QStringList{"dat->" + text + "<-dat"}; };
    row("number", "6*7", answer("42"));
    row("fraction", "0.1 + 0.2", answer("0.30000000000000004"));
    row("null", "null", answer("null"));
    row("undefined", "undefined", answer("undefined"));
    row("element", "document.getElementById('name')", answer("[object HTMLInputElement]"));
    row("nested array", "[1, [2, null], 'x']", answer("1,2,,x"));
    row("statements", "var a = 5; a + 1;", answer("6"));
    row("semicolon in a string", "'a;b'", answer("a;b"));
    row("semicolon in a closing comment", "var b = 1; b + 1 // not; 3", answer("2"));
    row("block statement last", "if (true) { 'kept' }", answer("kept"));
    row("declaration only", "var c = 3;", answer("undefined"));
    // A request ending in a statement other than an expression answers the
    // value the engine hands over, written as the page would.
    row("block ends in a fraction", "if (true) { 0.1 + 0.2 }", answer("0.30000000000000004"));
    row("block ends in a large number", "if (true) { 1e21 }", answer("1e+21"));
    row("block ends in a small number", "if (true) { -1.5e-7 }", answer("-1.5e-7"));
    row("block ends in an array", "if (true) { [1, null, 'x', true] }", answer("1,,x,true"));
    row("block ends in an object", "if (true) { ({a: 1}) }", answer("[object Object]"));
    row("let is the request's own", "let d = 4; d * 2", answer("8"));
    row("let again", "let d = 5; d * 2", answer("10"));
    row("page text", "'%E5%A1%AB' + 'b'", answer("%E5%A1%AB" "b"));
    row("decoded text", QString::fromUtf8("'填' + 'b'"), answer(QString::fromUtf8("填b")));
    row("throws", "no_such_function()", {});
    row("does not compile", "1 +", {});
    row("unbalanced braces", "1 } { 2", {});
    QTest::newRow("malformed encoding") << QStringLiteral("'%E0%A4%A'") << QStringList{};
}

void TestFillBridgePolicy::requestValues()
{
    QFETCH(QString, request);
    QFETCH(QStringList, answers);
    if (!m_valuesConnection)
        m_valuesConnection = inject("/header.html");
    QVERIFY(m_valuesConnection);
    QCOMPARE(answersTo(m_valuesConnection, request), answers);
}

void TestFillBridgePolicy::elementOperations_data() { policyPages(); }

void TestFillBridgePolicy::elementOperations()
{
    QFETCH(QByteArray, path);
    load(path);
    QCOMPARE(gb(m_web.getValue("input", "name", 0, "", "", "", false)), QStringLiteral("初始"));
    QCOMPARE(gb(m_web.setValue("input", "user", rt::gb("写入"), 0, "", "", "", false)), QStringLiteral("success"));
    QCOMPARE(gb(m_web.getValue("input", "user", 0, "", "", "", false)), QStringLiteral("写入"));
    QCOMPARE(gb(m_web.click("input", "name", 0, "", "", "", false)), QStringLiteral("success"));
    QCOMPARE(gb(m_web.fireChange("input", "name", 0, "", "", "", false)), QStringLiteral("success"));
    QCOMPARE(gb(m_web.fireKeyUp("input", "name", 0, "", "", "", false)), QStringLiteral("success"));
    QCOMPARE(gb(m_web.engine().getTitle()), QStringLiteral("click,change,keyup"));
    // Custom code sees the page's globals and library.
    QCOMPARE(gb(m_web.runScriptText("text = pageGlobal + pageLib.twice(4);")), QStringLiteral("g8"));
    QCOMPARE(gb(m_web.runElementScript("input", "name", "value.length", 0, "", "", "", false)), QStringLiteral("2"));
}

void TestFillBridgePolicy::frameScripts_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("result");
    // A frame's eval obeys the frame's own policy, not the top page's. Where
    // the engine runs scripts in any frame, the code runs in the frame itself
    // and needs no eval.
    QTest::newRow("policy on the top page only") << QByteArray("/policyWithFrame.html") << QStringLiteral("g2");
    QTest::newRow("policy on the frame") << QByteArray("/plainWithPolicyFrame.html")
                                         << (engine::kFrameScripts ? QStringLiteral("g2") : QStringLiteral("error"));
}

void TestFillBridgePolicy::frameScripts()
{
    QFETCH(QByteArray, path);
    QFETCH(QString, result);
    load(path);
    QVERIFY(waitUntil([&] {
        return gb(m_web.runScriptText("var f = document.getElementById('f'); text = String(!!f.contentWindow && "
                                      "f.contentDocument.readyState == 'complete' && "
                                      "typeof f.contentWindow.pageLib == 'object');")) == QLatin1String("true");
    }));
    QCOMPARE(gb(m_web.runFrameScript("f", "text = pageGlobal + pageLib.twice(1)")), result);
}

void TestFillBridgePolicy::closedViewClosesConnection()
{
    auto* host = new QWidget;
    host->resize(320, 240);
    host->show();
    webview::WebView web;
    web.create(host, "closing", m_pages.url("/header.html").toStdString(), "");
    QVERIFY(webview_test::titleBecomes(web, "ready"));
    const qsizetype before = m_server.connections().size();
    web.injectFillBridge(m_server.port(), "closing");
    QVERIFY(waitUntil([&] { return m_server.connections().size() > before &&
                                   !m_server.connections().last()->messages.isEmpty(); }, kTimeoutMs));
    Connection* c = m_server.connections().last();
    QCOMPARE(c->messages.first(), QStringLiteral("csh->closing"));
    delete host;  // tears the view down
    QVERIFY(waitUntil([&] { return c->closed; }, 5000));
    // Nothing connects again.
    QTest::qWait(1500);
    QCOMPARE(m_server.connections().size(), before + 1);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestFillBridgePolicy test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_fillbridge_policy.moc"
