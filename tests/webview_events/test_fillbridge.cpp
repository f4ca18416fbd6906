// The form-fill bridge in real pages against a local WebSocket server:
// introduction, requests and answers, heartbeats, reconnecting, and frames
// that take their identifier from their address.
#include "../webview/testenv.h"

#include "fillserver.h"
#include "httpserver.h"

#include "runtime/textcodec.h"
#include "webview/engineloader.h"
#include "webview/events/fillbridge.h"
#include "webview/webview.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QWidget>

using events_test::Connection;
using events_test::FillServer;
using events_test::HttpServer;

namespace {

constexpr int kTimeoutMs = 20000;

bool waitFor(const std::function<bool()>& condition, int timeoutMs = kTimeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

QString text(const wkeString s)
{
    const char16_t* t = WKE_CALL(wkeGetStringW)(s);
    return t ? QString::fromUtf16(t) : QString();
}

quint16 unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

}  // namespace

class TestFillBridge : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void connectsAnswersAndReconnects();
    void framesConnectOnlyWithTheirMarker();
    void failedFirstConnectionIsNotRetried();

private:
    HttpServer m_pages;
    QWidget m_host;
    webview::WebView m_web;
    QStringList m_console;

    void load(const QByteArray& path, const QString& title);
};

void TestFillBridge::initTestCase()
{
    m_pages.route("/page.html", HttpServer::response("<!doctype html><title>page</title><body>form</body>"));
    m_pages.route("/frames.html",
                  HttpServer::response("<!doctype html><title>frames</title><body>"
                                       "<iframe src='/child.html#fd=frameA#'></iframe>"
                                       "<iframe src='/child.html'></iframe></body>"));
    m_pages.route("/child.html", HttpServer::response("<!doctype html><title>child</title><body>child</body>"));
    m_host.resize(640, 480);
    m_host.show();
    m_web.create(&m_host, "bridge", m_pages.url("/page.html").toStdString(), "");
    m_web.onConsole(
        [](wkeWebView, void* p, wkeConsoleLevel, const wkeString message, const wkeString, unsigned,
           const wkeString) { static_cast<QStringList*>(p)->append(text(message)); },
        &m_console);
}

void TestFillBridge::load(const QByteArray& path, const QString& title)
{
    m_web.loadUrl(m_pages.url(path).toStdString());
    QVERIFY(waitFor([&] { return rt::gbToQString(m_web.engine().getTitle()) == title; }));
}

void TestFillBridge::connectsAnswersAndReconnects()
{
    load("/page.html", "page");
    FillServer server;
    m_console.clear();
    m_web.injectFillBridge(server.port(), "form1");
    QVERIFY(waitFor([&] { return !server.connections().isEmpty() && !server.connections()[0]->messages.isEmpty(); }));
    Connection* first = server.connections()[0];
    QCOMPARE(first->path, QStringLiteral("/echo"));
    QCOMPARE(first->messages[0], QStringLiteral("csh->form1"));

    // A request in pieces: joined, "##" removed, URI-decoded, run in the page.
    first->socket->sendTextMessage(QStringLiteral("document.title%3D'filled'%3B"));
    first->socket->sendTextMessage(QStringLiteral("6*7##"));
    QVERIFY(waitFor([&] { return first->messages.contains("dat->42<-dat"); }));
    QVERIFY(waitFor([&] { return rt::gbToQString(m_web.engine().getTitle()) == QLatin1String("filled"); }));
    // The next request starts afresh.
    first->socket->sendTextMessage(QStringLiteral("'%E5%A1%AB'%2B'b'##"));
    QVERIFY(waitFor([&] { return first->messages.contains("dat->填b<-dat"); }));
    // A request that fails in the page gets no answer; the bridge goes on.
    first->socket->sendTextMessage(QStringLiteral("no_such_function()##"));
    first->socket->sendTextMessage(QStringLiteral("1%2B1##"));
    QVERIFY(waitFor([&] { return first->messages.contains("dat->2<-dat"); }));
    QCOMPARE(first->messages.filter("dat->").size(), 3);

    // Heartbeats every five seconds.
    QVERIFY(waitFor([&] { return first->messages.contains("xt"); }, 8000));
    QVERIFY(m_console.contains(QStringLiteral("【填表】正在尝试填表连接")));
    QVERIFY(m_console.filter(QStringLiteral("【填表】连接到填表服务器成功：")).size() == 1);

    // The server drops the connection: the page connects again.
    first->socket->close();
    QVERIFY(waitFor([&] {
        return server.connections().size() >= 2 && !server.connections().last()->messages.isEmpty();
    }));
    QCOMPARE(server.connections().last()->messages[0], QStringLiteral("csh->form1"));
    QVERIFY(m_console.contains(QStringLiteral("【填表】断开连接，正常重试")));
    // Connected again, it stops retrying.
    const qsizetype count = server.connections().size();
    QTest::qWait(2500);
    QCOMPARE(server.connections().size(), count);
}

void TestFillBridge::framesConnectOnlyWithTheirMarker()
{
    load("/frames.html", "frames");
    QVERIFY(waitFor([&] {
        return rt::gbToQString(m_web.runScriptText(
                   "var f = document.getElementsByTagName('iframe'); text = String(f.length == 2 && "
                   "f[0].contentDocument.readyState == 'complete' && f[1].contentDocument.readyState == "
                   "'complete');")) == QLatin1String("true");
    }));
    FillServer server;
    // The bridge script runs in each frame, as a page that includes it would.
    const QString script = rt::gbToQString(webview::fillBridgeScript(server.port(), "top"));
    const QString literal = QString::fromUtf8(QJsonDocument(QJsonArray{script}).toJson(QJsonDocument::Compact));
    m_web.runScriptText(rt::qstringToGb(
        "var s = " + literal + "[0]; var f = document.getElementsByTagName('iframe');"
        "for (var i = 0; i < f.length; i++) f[i].contentWindow.eval(s); text = 'ok';"));
    QVERIFY(waitFor([&] { return !server.connections().isEmpty() && !server.connections()[0]->messages.isEmpty(); }));
    QCOMPARE(server.connections()[0]->messages[0], QStringLiteral("csh->frameA"));
    // The frame without "#fd=" in its address keeps waiting.
    QTest::qWait(3000);
    QCOMPARE(server.connections().size(), 1);
}

void TestFillBridge::failedFirstConnectionIsNotRetried()
{
    load("/page.html", "page");
    const quint16 port = unusedPort();
    m_console.clear();
    m_web.injectFillBridge(port, "form1");
    QVERIFY(waitFor([&] { return m_console.contains(QStringLiteral("【填表】正在尝试填表连接")); }));
    QTest::qWait(1500);
    FillServer late(port);
    QTest::qWait(3000);
    QVERIFY(late.connections().isEmpty());
    QCOMPARE(m_console.count(QStringLiteral("【填表】正在尝试填表连接")), 1);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestFillBridge test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_fillbridge.moc"
