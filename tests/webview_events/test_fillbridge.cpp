// The form-fill bridge in real pages against a local WebSocket server:
// introduction, requests and answers, heartbeats, reconnecting, and frames
// that take their identifier from their address.
#include "../webview/testenv.h"

#include "fillserver.h"
#include "httpserver.h"

#include "runtime/textcodec.h"
#include "webview/engineloader.h"
#include "webview/fillbridge/fillbridge.h"
#include "webview/fillbridge/fillbridgepeer.h"
#include "webview/webview.h"

#include <QApplication>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QWidget>

#include <cstdio>
#include <grp.h>
#include <unistd.h>

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

// The uid and gid of "nobody": another local user.
constexpr uid_t kOtherUser = 65534;

// Another user's server on a port: started as root, it becomes kOtherUser,
// listens on `address` port 0, prints the port, then prints "connected" and
// every byte that reaches it.
int runSquatter(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (::setgroups(0, nullptr) != 0 || ::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0)
        return 3;
    QTcpServer server;
    if (!server.listen(QHostAddress(QString::fromLatin1(argv[2])), 0))
        return 4;
    std::printf("port %d\n", server.serverPort());
    std::fflush(stdout);
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            std::puts("connected");
            std::fflush(stdout);
            QObject::connect(s, &QTcpSocket::readyRead, [s] {
                const QByteArray bytes = s->readAll();
                std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
                std::puts("bytes");
                std::fflush(stdout);
            });
        }
    });
    return app.exec();
}

// A squatter child process; its port once it listens (0 when it could not).
struct Squatter {
    QProcess process;
    QByteArray out;
    quint16 port = 0;

    explicit Squatter(const QString& address)
    {
        process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--squatter"), address});
        if (!process.waitForStarted())
            return;
        // A squatter that says nothing in time keeps port 0, which callers check.
        (void)QTest::qWaitFor([&] { return (out += process.readAllStandardOutput()).contains('\n') ||
                                           process.state() == QProcess::NotRunning; }, 10000);
        if (out.startsWith("port "))
            port = quint16(out.mid(5, out.indexOf('\n') - 5).toUInt());
    }
    ~Squatter()
    {
        process.kill();
        process.waitForFinished();
    }
    QByteArray seen()
    {
        out += process.readAllStandardOutput();
        return out.mid(out.indexOf('\n') + 1);
    }
};

}  // namespace

class TestFillBridge : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void connectsAnswersAndReconnects();
    void framesConnectOnlyWithTheirMarker();
    void failedFirstConnectionIsNotRetried();
    void ownersOfRealSockets();
    void squatterGetsNothing_data();
    void squatterGetsNothing();
    void requestNeverRunsInTheNextDocument();

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

// The owner checks against real sockets: ours, another user's, nobody's.
void TestFillBridge::ownersOfRealSockets()
{
    if (::geteuid() != 0)
        QSKIP("another user's server needs root to start");
    QTcpServer ours;
    QVERIFY(ours.listen(QHostAddress::LocalHost, 0));
    QCOMPARE(webview::listenerOwner(ours.serverPort()), webview::PortOwner::Us);
    QCOMPARE(webview::listenerOwner(unusedPort()), webview::PortOwner::Nobody);
    Squatter other(QStringLiteral("127.0.0.1"));
    QVERIFY2(other.port, other.out.constData());
    QCOMPARE(webview::listenerOwner(other.port), webview::PortOwner::Foreign);

    for (QTcpServer* server : {&ours, static_cast<QTcpServer*>(nullptr)}) {
        QTcpSocket client;
        const quint16 port = server ? server->serverPort() : other.port;
        client.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(client.waitForConnected(5000));
        if (server)
            QVERIFY(waitFor([&] { return server->hasPendingConnections(); }));
        QCOMPARE(webview::peerIsOurs(client.localPort(), port), server != nullptr);
        // Another connection's port is no proof.
        QVERIFY(!webview::peerIsOurs(quint16(client.localPort() + 1), port));
    }
}

// Another user listening on the bridge's port first gets no connection and
// no byte, whichever address he took; the page's console says so once.
void TestFillBridge::squatterGetsNothing_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("127.0.0.1") << QStringLiteral("127.0.0.1");
    QTest::newRow("0.0.0.0") << QStringLiteral("0.0.0.0");
    QTest::newRow("::, both families") << QStringLiteral("::");
}

void TestFillBridge::squatterGetsNothing()
{
    if (::geteuid() != 0)
        QSKIP("another user's server needs root to start");
    QFETCH(QString, address);
    load("/page.html", "page");
    Squatter other(address);
    QVERIFY2(other.port, other.out.constData());
    m_console.clear();
    m_web.injectFillBridge(other.port, "form1");
    const QString refusal = QStringLiteral("【填表】端口%1上的填表服务器属于其他用户，已拒绝连接").arg(other.port);
    QVERIFY(waitFor([&] { return m_console.contains(refusal); }));
    QTest::qWait(2500);
    QCOMPARE(other.seen(), QByteArray());
    QCOMPARE(m_console.count(refusal), 1);
    QVERIFY(m_console.filter(QStringLiteral("连接到填表服务器成功")).isEmpty());
}

// A request sent while the page is being replaced by one from another origin
// runs in the page it was sent for or nowhere. Each trial moves the request
// a little against the navigation and sends a burst, so that in some the
// navigation lands between a request's preparation and its run.
void TestFillBridge::requestNeverRunsInTheNextDocument()
{
    HttpServer other;  // another port: another origin
    other.route("/next.html", HttpServer::response("<!doctype html><title>next</title><body>next</body>"));
    FillServer server;
    const QByteArray beacon = m_pages.url("/ran?");
    const QString request = QString::fromLatin1(QUrl::toPercentEncoding(
        "new Image().src='" + beacon + "'+encodeURIComponent(location.href);location.host"));
    int ranInFirst = 0;
    constexpr int kTrials = 18;
    for (int trial = 0; trial < kTrials; ++trial) {
        load("/page.html", "page");
        const qsizetype before = server.connections().size();
        m_web.injectFillBridge(server.port(), "form1");
        QVERIFY(waitFor([&] {
            return server.connections().size() > before && !server.connections().last()->messages.isEmpty();
        }));
        Connection* c = server.connections().last();
        // A burst: the requests run one after another, so the navigation
        // lands between two of them or inside one.
        const int shift = trial % 6 * 4;  // 0 .. 20 ms after the navigation starts
        m_web.loadUrl(other.url("/next.html").toStdString());
        QTest::qWait(shift);
        for (int i = 0; i < 40; ++i)
            c->socket->sendTextMessage(request + "##");
        QVERIFY(waitFor([&] { return rt::gbToQString(m_web.engine().getTitle()) == QLatin1String("next"); }));
        QTest::qWait(150);
        ranInFirst += int(c->messages.filter("dat->").size());
        for (const QString& m : c->messages)
            QVERIFY2(!m.startsWith("dat->") || m == "dat->" + QString::fromLatin1(m_pages.url("").mid(7)) + "<-dat",
                     qPrintable(m));
    }
    QStringList elsewhere;
    for (const events_test::RecordedRequest& r : m_pages.requests())
        if (r.target.startsWith("/ran?") && !QUrl::fromPercentEncoding(r.target.mid(5)).startsWith(QString::fromLatin1(m_pages.url("/page.html"))))
            elsewhere << QUrl::fromPercentEncoding(r.target);
    QVERIFY2(elsewhere.isEmpty(), qPrintable(elsewhere.join(' ')));
    qInfo("%d of %d requests ran in their page, the others nowhere", ranInFirst, kTrials * 40);
}

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--squatter") == 0)
        return runSquatter(argc, argv);
    QApplication app(argc, argv);
    TestFillBridge test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_fillbridge.moc"
