// The engine's in-process HTTP proxy on its own, driven the way Chromium
// drives it (absolute-form requests, CONNECT tunnels, TLS ended in the proxy),
// against real local servers: what reaches the server and what comes back,
// byte for byte. Another process's view of the proxy comes from this test run
// again as a plain client (--send).
#include "httpserver.h"
#include "tunnelproxy.h"

#include "webview/engine/proxy/httpwire.h"
#include "webview/engine/proxy/netproxy.h"
#include "webview/engine/proxy/tlscerts.h"
#include "webview/engine/proxy/tlscontext.h"

#include <QCoreApplication>
#include <QNetworkProxy>
#include <QProcess>
#include <QSignalSpy>
#include <QSslCipher>
#include <QSslSocket>
#include <QTest>

#include <zlib.h>


#include <optional>

using namespace events_test;
using engine::NetProxy;
using engine::ProxyRequest;
using engine::ProxyResponse;
using engine::RequestDecision;

namespace {

// Records what the proxy hands over and answers with the decision set.
class Owner : public engine::ProxyOwner {
public:
    NetProxy* proxy = nullptr;
    std::function<RequestDecision(const ProxyRequest&)> decideFor;
    std::function<std::optional<ProxyResponse>(const ProxyResponse&)> deliverFor;
    QList<QByteArray> tags;
    QList<ProxyRequest> requests;
    QList<ProxyResponse> responses;
    QList<quint64> ended;

    void requestArrived(quint64 exchange, const QByteArray& tag, const ProxyRequest& request) override
    {
        tags << tag;
        requests << request;
        RequestDecision decision;
        decision.request = request;
        if (decideFor)
            decision = decideFor(request);
        proxy->decide(exchange, decision);
    }
    void responseArrived(quint64 exchange, const ProxyResponse& response) override
    {
        responses << response;
        proxy->deliver(exchange, deliverFor ? deliverFor(response) : std::optional<ProxyResponse>(response));
    }
    void exchangeEnded(quint64 exchange) override { ended << exchange; }
};

// Sends raw bytes to the proxy and reads until it closes the connection;
// closed (when given) tells whether it did within the time allowed.
QByteArray exchange(quint16 proxyPort, const QByteArray& request, bool* closed = nullptr)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, proxyPort);
    if (!socket.waitForConnected(5000))
        return "no connection";
    socket.write(request);
    QByteArray received;
    const bool ended = QTest::qWaitFor(
        [&] {
            received += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        10000);
    if (closed)
        *closed = ended;
    return received + socket.readAll();
}

struct Reply {
    engine::http::ResponseHead head;
    QByteArray rest;
};

Reply splitReply(const QByteArray& bytes)
{
    Reply reply;
    const qsizetype end = engine::http::headEnd(bytes);
    if (end > 0) {
        engine::http::parseResponseHead(bytes.left(end), &reply.head);
        reply.rest = bytes.mid(end);
    }
    return reply;
}

// The bodies of the whole responses (each with a Content-Length) at the
// start of bytes, in order.
QList<QByteArray> bodiesOf(QByteArray bytes)
{
    QList<QByteArray> bodies;
    for (;;) {
        const Reply reply = splitReply(bytes);
        const qint64 length = engine::http::header(reply.head.headers, "Content-Length").toLongLong();
        if (reply.head.status == 0 || reply.rest.size() < length)
            return bodies;
        bodies << reply.rest.left(length);
        bytes = reply.rest.mid(length);
    }
}

// What another process gets for request: this test run again as a client
// that sends it and prints what comes back until the proxy closes.
QByteArray exchangeFromAnotherProcess(quint16 proxyPort, const QByteArray& request, bool* closed)
{
    QProcess client;
    client.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--send"), QString::number(proxyPort), QString::fromLatin1(request.toHex())});
    if (!client.waitForFinished(20000))
        return "client did not finish";
    *closed = client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
    return client.readAllStandardOutput();
}

// The client side of --send: exit code 0 when the proxy closed in time.
int sendAsAnotherProcess(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bool closed = false;
    const QByteArray received =
        exchange(quint16(QByteArray(argv[2]).toUInt()), QByteArray::fromHex(argv[3]), &closed);
    fwrite(received.constData(), 1, size_t(received.size()), stdout);
    return closed ? 0 : 3;
}

constexpr char kProxyAuthorityName[] = "Tolvane interception authority";

QSslConfiguration serverTls(const engine::tls::Authority& authority, const QString& host,
                            const QString& onlyCipher = {})
{
    const engine::tls::Identity identity = authority.issue(host);
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain({identity.certificate, authority.certificate()});
    config.setPrivateKey(identity.key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    if (!onlyCipher.isEmpty()) {
        config.setProtocol(QSsl::TlsV1_2);
        config.setCiphers({QSslCipher(onlyCipher)});
    }
    return config;
}

// A connection to the proxy as the engine makes one for https: a CONNECT,
// then TLS through it, taking whatever certificate the far end shows (the
// tests look at who issued it).
struct TlsClient {
    QSslSocket socket;
    QByteArray received;

    bool open(quint16 proxyPort, const QByteArray& target, const QString& host)
    {
        socket.connectToHost(QHostAddress::LocalHost, proxyPort);
        if (!socket.waitForConnected(5000))
            return false;
        socket.write("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n");
        QByteArray head;
        if (!QTest::qWaitFor([&] {
                head += socket.readAll();
                return head.contains("\r\n\r\n") || socket.state() != QAbstractSocket::ConnectedState;
            }, 10000) || !head.startsWith("HTTP/1.1 200"))
            return false;
        QSslConfiguration config = socket.sslConfiguration();
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket.setSslConfiguration(config);
        socket.setPeerVerifyName(host);
        socket.startClientEncryption();
        return QTest::qWaitFor([&] { return socket.isEncrypted(); }, 10000);
    }
    QString issuer() const { return socket.peerCertificate().issuerInfo(QSslCertificate::CommonName).value(0); }
    // Reads until done says so or the proxy closes; false after 10 s.
    bool readUntil(const std::function<bool()>& done)
    {
        return QTest::qWaitFor([&] {
            received += socket.readAll();
            return done() || socket.state() == QAbstractSocket::UnconnectedState;
        }, 10000);
    }
    bool closed() const { return socket.state() == QAbstractSocket::UnconnectedState; }
};

}  // namespace

class TestNetProxy : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void passThroughKeepsTheRequest();
    void passThroughRelaysChunkedResponses();
    void connectTunnelsBytesUntouched();
    void taggedRequestAnsweredByOwner();
    void taggedRequestForwardedAndHeld_data();
    void taggedRequestForwardedAndHeld();
    void taggedRequestFailedByOwner();
    void chainsToApplicationHttpProxy();
    void unreachableServerFailsTheRequest();
    void hostileChunkSizeInHeldResponse_data();
    void hostileChunkSizeInHeldResponse();
    void hostileChunkSizeInTaggedRequestBody_data();
    void hostileChunkSizeInTaggedRequestBody();
    void longConnectionListInHugeHead_data();
    void longConnectionListInHugeHead();
    void headArrivingByteByByte();
    void anotherProcessIsRefused_data();
    void anotherProcessIsRefused();
    void tagWithoutOurMarkTagsNothing_data();
    void tagWithoutOurMarkTagsNothing();
    void interimHeadsBeforeTheResponse_data();
    void interimHeadsBeforeTheResponse();
    void cutHeldResponseFails_data();
    void cutHeldResponseFails();
    void untilCloseResponseEndsInsideEndedTls_data();
    void untilCloseResponseEndsInsideEndedTls();
    void requestsWrittenAtOnceAreServedInTurn_data();
    void requestsWrittenAtOnceAreServedInTurn();
    void tunnelStaysPlainWhereTheProxyCannotEnd_data();
    void tunnelStaysPlainWhereTheProxyCannotEnd();
    void compressedBombReachesTheHookAsItCame();

private:
    // Restarts the proxy with TLS, trusting the servers of m_authority.
    void startEndingTls();
    // The proxy ends the TLS of CONNECTs to host:port, as for a hooked view.
    void endTlsFor(const QString& host, quint16 port) { m_proxy->routes().claimHost(host, port, 1); }
    QByteArray tagged(const QByteArray& tag) const
    {
        return NetProxy::kTagHeader + QByteArray(": ") + m_proxy->tagValue(tag) + "\r\n";
    }

    std::unique_ptr<NetProxy> m_proxy;
    Owner m_owner;
    std::unique_ptr<engine::tls::Authority> m_authority;  // the test servers'
};

void TestNetProxy::startEndingTls()
{
    if (!m_authority)
        m_authority = engine::tls::Authority::create(QStringLiteral("test servers' authority"));
    QVERIFY(m_authority);
    m_proxy.reset();
    m_proxy = std::make_unique<NetProxy>();
    m_owner.proxy = m_proxy.get();
    const std::shared_ptr<engine::tls::Context> tls = engine::tls::Context::create();
    QVERIFY(tls);
    tls->addUpstreamAuthority(m_authority->certificate());
    m_proxy->setTls(tls);
    QVERIFY(m_proxy->start(&m_owner));
}

void TestNetProxy::init()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    m_owner = Owner();
    m_proxy = std::make_unique<NetProxy>();
    m_owner.proxy = m_proxy.get();
    QVERIFY(m_proxy->start(&m_owner));
    QVERIFY(m_proxy->port() != 0);
}

void TestNetProxy::cleanup()
{
    m_proxy.reset();
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void TestNetProxy::passThroughKeepsTheRequest()
{
    HttpServer server;
    server.route("/form", HttpServer::response("done", "text/plain", {"Set-Cookie: a=1", "Set-Cookie: b=2",
                                                                     "Connection: keep-alive"}));
    const QByteArray body = QByteArray("name=\xD6\xD0\x00&x=1", 12);
    const QByteArray request = "POST " + server.url("/form?q=%20x") + " HTTP/1.1\r\n" +
                               "Host: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n" +
                               "Proxy-Connection: keep-alive\r\n" + "Cookie: s=1\r\n" +
                               "X-Custom: value\r\n" + "Content-Length: 12\r\n\r\n" + body;
    const Reply reply = splitReply(exchange(m_proxy->port(), request));

    QCOMPARE(server.requests().size(), 1);
    const RecordedRequest& got = server.requests()[0];
    QCOMPARE(got.method, QByteArray("POST"));
    QCOMPARE(got.target, QByteArray("/form?q=%20x"));
    QCOMPARE(got.header("Cookie"), QByteArray("s=1"));
    QCOMPARE(got.header("X-Custom"), QByteArray("value"));
    QCOMPARE(got.body, body);
    QVERIFY(!got.hasHeader("Proxy-Connection"));
    QCOMPARE(got.header("Connection"), QByteArray("close"));

    QCOMPARE(reply.head.status, 200);
    QCOMPARE(reply.rest, QByteArray("done"));
    int cookies = 0;
    for (const auto& field : reply.head.headers)
        cookies += field.first == "Set-Cookie";
    QCOMPARE(cookies, 2);
    QCOMPARE(engine::http::header(reply.head.headers, "Connection"), QByteArray("close"));
    QVERIFY(m_owner.requests.isEmpty());
}

void TestNetProxy::passThroughRelaysChunkedResponses()
{
    HttpServer server;
    server.route("/c", HttpServer::chunkedResponse({"hello ", "chunked ", "world"}));
    const Reply reply = splitReply(exchange(m_proxy->port(), "GET " + server.url("/c") + " HTTP/1.1\r\n\r\n"));
    QCOMPARE(reply.head.status, 200);
    QVERIFY(engine::http::headerListsToken(reply.head.headers, "Transfer-Encoding", "chunked"));
    QByteArray body;
    QVERIFY(engine::http::decodeChunked(reply.rest, &body) > 0);
    QCOMPARE(body, QByteArray("hello chunked world"));
}

void TestNetProxy::connectTunnelsBytesUntouched()
{
    // An echo server stands in for a TLS or WebSocket peer.
    QTcpServer echo;
    QVERIFY(echo.listen(QHostAddress::LocalHost, 0));
    connect(&echo, &QTcpServer::newConnection, this, [&] {
        QTcpSocket* peer = echo.nextPendingConnection();
        connect(peer, &QTcpSocket::readyRead, peer, [peer] { peer->write(peer->readAll()); });
    });
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_proxy->port());
    QVERIFY(socket.waitForConnected(5000));
    const QByteArray target = "127.0.0.1:" + QByteArray::number(echo.serverPort());
    // The first tunnel bytes travel in the same packet as the CONNECT head.
    const QByteArray binary("\x16\x03\x01\x00\xff\r\n\r\nGET", 12);
    socket.write("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n" + binary);
    QByteArray received;
    const QByteArray established = "HTTP/1.1 200 Connection established\r\n\r\n";
    QVERIFY(QTest::qWaitFor([&] {
        received += socket.readAll();
        return received.size() >= established.size() + binary.size();
    }, 5000));
    QCOMPARE(received, established + binary);
    socket.write(QByteArray(200000, 'z'));
    received.clear();
    QVERIFY(QTest::qWaitFor([&] {
        received += socket.readAll();
        return received.size() >= 200000;
    }, 10000));
    QCOMPARE(received, QByteArray(200000, 'z'));
}

void TestNetProxy::taggedRequestAnsweredByOwner()
{
    HttpServer server;
    m_owner.decideFor = [](const ProxyRequest&) {
        RequestDecision decision;
        decision.action = RequestDecision::Answer;
        decision.answer.head.status = 200;
        decision.answer.head.headers = {{"Content-Type", "text/plain"}};
        decision.answer.body = "from the owner";
        return decision;
    };
    const QByteArray request = "POST " + server.url("/x") + " HTTP/1.1\r\n" + tagged("view-7") +
                               "Transfer-Encoding: chunked\r\n\r\n" +
                               "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n";
    const Reply reply = splitReply(exchange(m_proxy->port(), request));
    QCOMPARE(reply.head.status, 200);
    QCOMPARE(reply.rest, QByteArray("from the owner"));
    QCOMPARE(engine::http::header(reply.head.headers, "Content-Length"), QByteArray("14"));
    QVERIFY(server.requests().isEmpty());

    QCOMPARE(m_owner.tags, QList<QByteArray>{"view-7"});
    QCOMPARE(m_owner.requests.size(), 1);
    const ProxyRequest& seen = m_owner.requests[0];
    QCOMPARE(seen.head.method, QByteArray("POST"));
    QCOMPARE(seen.head.target, server.url("/x"));
    QCOMPARE(seen.body, QByteArray("abcde"));
    QVERIFY(!engine::http::hasHeader(seen.head.headers, NetProxy::kTagHeader));
    QTRY_COMPARE(m_owner.ended.size(), 1);
}

void TestNetProxy::taggedRequestForwardedAndHeld_data()
{
    QTest::addColumn<QByteArray>("serverResponse");
    QTest::newRow("content-length") << HttpServer::response("abcab", "text/javascript");
    QTest::newRow("chunked") << HttpServer::chunkedResponse({"ab", "cab"}, "text/javascript");
    QTest::newRow("until close") << QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/javascript\r\n\r\nabcab");
    // Compressed bodies reach the owner plain, whatever the request asked.
    QTest::newRow("gzip") << HttpServer::response(
        QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\x4b\x4c\x4a\x4e\x4c\x02\x00\x83\xb9\x94\x66\x05\x00"
                   "\x00\x00", 25),
        "text/javascript", {"Content-Encoding: gzip"});
    QTest::newRow("deflate") << HttpServer::response(QByteArray("\x78\x9c\x4b\x4c\x4a\x4e\x4c\x02\x00\x05\xbf\x01\xea", 13),
                                                     "text/javascript", {"Content-Encoding: deflate"});
}

void TestNetProxy::taggedRequestForwardedAndHeld()
{
    QFETCH(QByteArray, serverResponse);
    HttpServer server;
    server.route("/s.js", serverResponse);
    m_owner.decideFor = [](const ProxyRequest& request) {
        RequestDecision decision;
        decision.request = request;
        engine::http::setHeader(decision.request.head.headers, "X-Added", "1");
        decision.holdResponse = true;
        return decision;
    };
    m_owner.deliverFor = [](const ProxyResponse& response) {
        ProxyResponse changed = response;
        changed.body.replace("ab", "x");
        return std::optional<ProxyResponse>(changed);
    };
    const QByteArray request = "GET " + server.url("/s.js") + " HTTP/1.1\r\n" + tagged("v") +
                               "Accept: */*\r\n\r\n";
    const Reply reply = splitReply(exchange(m_proxy->port(), request));

    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(server.requests()[0].header("X-Added"), QByteArray("1"));
    QVERIFY(!server.requests()[0].hasHeader(NetProxy::kTagHeader));
    QCOMPARE(m_owner.responses.size(), 1);
    QCOMPARE(m_owner.responses[0].body, QByteArray("abcab"));
    QCOMPARE(reply.head.status, 200);
    QCOMPARE(reply.rest, QByteArray("xcx"));
    QCOMPARE(engine::http::header(reply.head.headers, "Content-Length"), QByteArray("3"));
    QVERIFY(!engine::http::hasHeader(reply.head.headers, "Transfer-Encoding"));
    QVERIFY(!engine::http::hasHeader(reply.head.headers, "Content-Encoding"));
    QCOMPARE(engine::http::header(reply.head.headers, "Content-Type"), QByteArray("text/javascript"));
}

void TestNetProxy::taggedRequestFailedByOwner()
{
    HttpServer server;
    m_owner.decideFor = [](const ProxyRequest&) {
        RequestDecision decision;
        decision.action = RequestDecision::Fail;
        return decision;
    };
    bool closed = false;
    const QByteArray bytes =
        exchange(m_proxy->port(), "GET " + server.url("/") + " HTTP/1.1\r\n" + tagged("v") + "\r\n", &closed);
    QVERIFY(closed);
    QVERIFY(bytes.isEmpty());
    QVERIFY(server.requests().isEmpty());
}

void TestNetProxy::chainsToApplicationHttpProxy()
{
    // The chained proxy is a plain server recording what it is sent.
    HttpServer upstream;
    upstream.setHandler([](const RecordedRequest&) { return HttpServer::response("via upstream"); });
    QNetworkProxy::setApplicationProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), upstream.port(),
                      QStringLiteral("user"), QStringLiteral("secret")));
    const Reply reply = splitReply(
        exchange(m_proxy->port(), "GET http://example.invalid/page?a=1 HTTP/1.1\r\nHost: example.invalid\r\n\r\n"));
    QCOMPARE(reply.rest, QByteArray("via upstream"));
    QCOMPARE(upstream.requests().size(), 1);
    QCOMPARE(upstream.requests()[0].target, QByteArray("http://example.invalid/page?a=1"));
    QCOMPARE(upstream.requests()[0].header("Proxy-Authorization"),
             "Basic " + QByteArray("user:secret").toBase64());
    QCOMPARE(upstream.requests()[0].header("Host"), QByteArray("example.invalid"));

    // Loopback hosts never go through the chained proxy.
    HttpServer local;
    local.route("/", HttpServer::response("local"));
    QCOMPARE(splitReply(exchange(m_proxy->port(), "GET " + local.url("/") + " HTTP/1.1\r\n\r\n")).rest,
             QByteArray("local"));
    QCOMPARE(upstream.requests().size(), 1);
}

void TestNetProxy::unreachableServerFailsTheRequest()
{
    quint16 closedPort;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    // The browser sees the connection end without an answer, not a page.
    bool closed = false;
    QCOMPARE(exchange(m_proxy->port(),
                      "GET http://127.0.0.1:" + QByteArray::number(closedPort) + "/ HTTP/1.1\r\n\r\n", &closed),
             QByteArray());
    QVERIFY(closed);
    // A tunnel that cannot be opened is refused.
    const Reply tunnel = splitReply(exchange(
        m_proxy->port(), "CONNECT 127.0.0.1:" + QByteArray::number(closedPort) + " HTTP/1.1\r\n\r\n"));
    QCOMPARE(tunnel.head.status, 502);
}

namespace {

// Hold every tagged request's response, as a response hook does.
RequestDecision holdIt(const ProxyRequest& request)
{
    RequestDecision decision;
    decision.request = request;
    decision.holdResponse = true;
    return decision;
}

QByteArray taggedGet(const NetProxy& proxy, const QByteArray& url)
{
    return "GET " + url + " HTTP/1.1\r\n" + NetProxy::kTagHeader + ": " + proxy.tagValue("v") + "\r\n\r\n";
}

}  // namespace

void TestNetProxy::hostileChunkSizeInHeldResponse_data()
{
    QTest::addColumn<QByteArray>("sizeLine");
    QTest::newRow("2^63-1") << QByteArray("7fffffffffffffff");
    QTest::newRow("2^63-2") << QByteArray("7ffffffffffffffe");
    QTest::newRow("2^63-1 with extension") << QByteArray("7fffffffffffffff;x=1");
    QTest::newRow("beyond 64 bits") << QByteArray("10000000000000000");
    QTest::newRow("negative") << QByteArray("-5");
    QTest::newRow("endless size line") << QByteArray(64 * 1024, '0');
}

void TestNetProxy::hostileChunkSizeInHeldResponse()
{
    QFETCH(QByteArray, sizeLine);
    HttpServer server;
    server.route("/h", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + sizeLine + "\r\nabc");
    server.route("/ok", HttpServer::response("fine"));
    m_owner.decideFor = holdIt;
    // The page sees a failed request; the program goes on.
    QCOMPARE(splitReply(exchange(m_proxy->port(), taggedGet(*m_proxy, server.url("/h")))).head.status, 502);
    QVERIFY(m_owner.responses.isEmpty());
    QCOMPARE(splitReply(exchange(m_proxy->port(), taggedGet(*m_proxy, server.url("/ok")))).rest, QByteArray("fine"));
}

void TestNetProxy::hostileChunkSizeInTaggedRequestBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");  // 0: no answer while the body is incomplete
    QTest::newRow("2^63-1, then data") << "7fffffffffffffff\r\n" + QByteArray(100000, 'x') << 0;
    QTest::newRow("2^63-2, then data") << "7ffffffffffffffe\r\n" + QByteArray(100000, 'x') << 0;
    QTest::newRow("beyond 64 bits") << QByteArray("10000000000000000\r\nabc") << 400;
    QTest::newRow("endless size line") << QByteArray(64 * 1024, 'f') << 400;
}

void TestNetProxy::hostileChunkSizeInTaggedRequestBody()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    HttpServer server;
    server.route("/ok", HttpServer::response("fine"));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_proxy->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write("POST " + server.url("/x") + " HTTP/1.1\r\n" + tagged("v") + "Transfer-Encoding: chunked\r\n\r\n" +
                 body);
    QVERIFY(socket.waitForBytesWritten(5000));
    if (status) {
        QByteArray received;
        QVERIFY(QTest::qWaitFor([&] {
            received += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        }, 5000));
        QCOMPARE(splitReply(received).head.status, status);
    } else {
        QTest::qWait(200);
        QCOMPARE(socket.bytesAvailable(), qint64(0));
        socket.abort();
    }
    QVERIFY(m_owner.requests.isEmpty());
    QVERIFY(server.requests().isEmpty());
    QCOMPARE(splitReply(exchange(m_proxy->port(), "GET " + server.url("/ok") + " HTTP/1.1\r\n\r\n")).rest,
             QByteArray("fine"));
}

void TestNetProxy::longConnectionListInHugeHead_data()
{
    QTest::addColumn<bool>("held");
    QTest::newRow("relayed") << false;
    QTest::newRow("held for a hook") << true;
}

void TestNetProxy::longConnectionListInHugeHead()
{
    QFETCH(bool, held);
    // About 240 KB of head: 50,000 names in Connection and 12,000 fields,
    // every tenth of them named there.
    QByteArray connection;
    for (int i = 0; i < 50000; ++i)
        connection += i % 10 == 0 ? "h" + QByteArray::number(i / 10 * 10) + ',' : QByteArray("a,");
    QByteArray fields;
    for (int i = 0; i < 12000; ++i)
        fields += "h" + QByteArray::number(i) + ": v\r\n";
    HttpServer server;
    server.route("/big", "HTTP/1.1 200 OK\r\nConnection: " + connection + "\r\n" + fields +
                             "Keep-Alive: 5\r\nKept: yes\r\nContent-Length: 2\r\n\r\nok");
    if (held)
        m_owner.decideFor = holdIt;
    const QByteArray request = held ? taggedGet(*m_proxy, server.url("/big"))
                                    : "GET " + server.url("/big") + " HTTP/1.1\r\n\r\n";
    const Reply reply = splitReply(exchange(m_proxy->port(), request));
    QCOMPARE(reply.head.status, 200);
    QCOMPARE(reply.rest, QByteArray("ok"));
    int kept = 0;
    for (const auto& [name, value] : reply.head.headers) {
        if (name.startsWith('h')) {
            ++kept;
            QVERIFY2(name.mid(1).toInt() % 10 != 0, name.constData());
        }
    }
    QCOMPARE(kept, 12000 - 1200);
    QCOMPARE(engine::http::header(reply.head.headers, "Kept"), QByteArray("yes"));
    QVERIFY(!engine::http::hasHeader(reply.head.headers, "Keep-Alive"));
    QCOMPARE(engine::http::header(reply.head.headers, "Connection"), QByteArray("close"));
}

void TestNetProxy::headArrivingByteByByte()
{
    // A server that dribbles its head: every piece is searched once.
    QTcpServer slow;
    QVERIFY(slow.listen(QHostAddress::LocalHost, 0));
    const QByteArray answer = "HTTP/1.1 200 OK\r\nX-Pad: " + QByteArray(3000, 'p') +
                              "\r\nContent-Length: 4\r\n\r\ndone";
    connect(&slow, &QTcpServer::newConnection, this, [&] {
        QTcpSocket* peer = slow.nextPendingConnection();
        peer->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(peer, &QTcpSocket::readyRead, peer, [peer, &answer] {
            peer->readAll();
            for (qsizetype i = 0; i < answer.size(); i += 7) {
                peer->write(answer.mid(i, 7));
                peer->flush();
            }
            peer->disconnectFromHost();
        });
    });
    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(slow.serverPort()) + "/";
    const Reply relayed = splitReply(exchange(m_proxy->port(), "GET " + url + " HTTP/1.1\r\n\r\n"));
    QCOMPARE(relayed.rest, QByteArray("done"));
    QCOMPARE(engine::http::header(relayed.head.headers, "X-Pad").size(), 3000);
    m_owner.decideFor = holdIt;
    QCOMPARE(splitReply(exchange(m_proxy->port(), taggedGet(*m_proxy, url))).rest, QByteArray("done"));
}

void TestNetProxy::anotherProcessIsRefused_data()
{
    QTest::addColumn<QByteArray>("request");  // "%1": the test server's port
    QTest::newRow("plain request") << QByteArray("GET http://127.0.0.1:%1/ok HTTP/1.1\r\n\r\n");
    QTest::newRow("request through the chained proxy")
        << QByteArray("GET http://example.invalid/ok HTTP/1.1\r\nHost: example.invalid\r\n\r\n");
    // A host whose TLS the proxy ends for the engine: no certificate of the
    // engine's authority is shown to anyone else.
    QTest::newRow("CONNECT to an intercepted host") << QByteArray("CONNECT 127.0.0.1:%1 HTTP/1.1\r\n\r\n");
    QTest::newRow("tagged request") << QByteArray("GET http://127.0.0.1:%1/ok HTTP/1.1\r\n%2\r\n\r\n");
}

void TestNetProxy::anotherProcessIsRefused()
{
    QFETCH(QByteArray, request);
    startEndingTls();
    HttpServer server;
    server.route("/ok", HttpServer::response("relayed"));
    // The chained proxy holds credentials the views were given.
    HttpServer chained;
    chained.setHandler([](const RecordedRequest&) { return HttpServer::response("via the chained proxy"); });
    m_proxy->setUpstream(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), chained.port(),
                                       QStringLiteral("user"), QStringLiteral("secret")));
    request.replace("%1", QByteArray::number(server.port())).replace("%2", tagged("v").trimmed());
    endTlsFor(QStringLiteral("127.0.0.1"), server.port());

    bool closed = false;
    QCOMPARE(exchangeFromAnotherProcess(m_proxy->port(), request, &closed), QByteArray());
    QVERIFY(closed);
    QTest::qWait(100);
    QVERIFY(server.requests().isEmpty());
    QVERIFY(chained.requests().isEmpty());
    QVERIFY(m_owner.requests.isEmpty());

    // The same bytes from this process, as from the engine, are served.
    if (!request.startsWith("CONNECT")) {
        QVERIFY(!exchange(m_proxy->port(), request).isEmpty());
        QCOMPARE(server.requests().size() + chained.requests().size(), 1);
    }
}

void TestNetProxy::tagWithoutOurMarkTagsNothing_data()
{
    QTest::addColumn<QByteArray>("fields");
    QTest::newRow("bare view number") << QByteArray("X-Tolvane-View: 1;nc\r\n");
    QTest::newRow("mark of another proxy") << "X-Tolvane-View: " + NetProxy().tagValue("1;nc") + "\r\n";
    QTest::newRow("mark cut short") << QByteArray("X-Tolvane-View: 1;nc.AAAA\r\n");
    QTest::newRow("mark of another tag") << QByteArray("X-Tolvane-View: 1;nc.%2\r\n");
    QTest::newRow("two fields, one good") << QByteArray("%1x-tolvane-view: 2\r\n");
}

void TestNetProxy::tagWithoutOurMarkTagsNothing()
{
    QFETCH(QByteArray, fields);
    const QByteArray good = m_proxy->tagValue("7");
    fields.replace("%1", tagged("7")).replace("%2", good.mid(good.indexOf('.') + 1));
    HttpServer server;
    server.route("/x", HttpServer::response("from the server"));
    const Reply reply = splitReply(exchange(m_proxy->port(), "GET " + server.url("/x") + " HTTP/1.1\r\n" + fields + "\r\n"));
    // Relayed untouched by any view's handlers, and the field goes no further.
    QCOMPARE(reply.rest, QByteArray("from the server"));
    QVERIFY(m_owner.requests.isEmpty());
    QCOMPARE(server.requests().size(), 1);
    QVERIFY(!server.requests()[0].hasHeader(NetProxy::kTagHeader));

    // Our own mark tags the request.
    exchange(m_proxy->port(), "GET " + server.url("/x") + " HTTP/1.1\r\n" + tagged("7") + "\r\n");
    QCOMPARE(m_owner.tags, QList<QByteArray>{"7"});
}

void TestNetProxy::interimHeadsBeforeTheResponse_data()
{
    QTest::addColumn<bool>("held");
    QTest::newRow("streamed: passed on") << false;
    QTest::newRow("held for a hook: not part of the answer") << true;
}

void TestNetProxy::interimHeadsBeforeTheResponse()
{
    QFETCH(bool, held);
    const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\n\r\n";
    HttpServer server;
    server.route("/i", interim + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    if (held)
        m_owner.decideFor = holdIt;
    const QByteArray raw = exchange(m_proxy->port(), held ? taggedGet(*m_proxy, server.url("/i"))
                                                          : "GET " + server.url("/i") + " HTTP/1.1\r\n\r\n");
    QCOMPARE(raw.startsWith(interim), !held);
    const Reply reply = splitReply(held ? raw : raw.mid(interim.size()));
    QCOMPARE(reply.head.status, 200);
    QCOMPARE(reply.rest, QByteArray("ok"));
    QCOMPARE(m_owner.responses.size(), held ? 1 : 0);
    if (held)
        QCOMPARE(m_owner.responses[0].head.status, 200);
}

void TestNetProxy::cutHeldResponseFails_data()
{
    QTest::addColumn<QByteArray>("serverResponse");
    QTest::newRow("length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
    QTest::newRow("chunked") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab");
}

void TestNetProxy::cutHeldResponseFails()
{
    QFETCH(QByteArray, serverResponse);
    HttpServer server;
    server.route("/cut", serverResponse);
    m_owner.decideFor = holdIt;
    const Reply reply = splitReply(exchange(m_proxy->port(), taggedGet(*m_proxy, server.url("/cut"))));
    QCOMPARE(reply.head.status, 502);
    QVERIFY(m_owner.responses.isEmpty());
}

namespace {

// Passes bytes both ways between its clients and a port of 127.0.0.1, but
// keeps a client's connection open when the server closes: a TLS server's
// close_notify arrives without the end of its TCP connection.
class KeepOpenRelay : public QObject {
public:
    explicit KeepOpenRelay(quint16 targetPort)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this, targetPort] {
            while (QTcpSocket* client = m_server.nextPendingConnection()) {
                auto* target = new QTcpSocket(client);
                connect(client, &QTcpSocket::readyRead, target, [client, target] { target->write(client->readAll()); });
                connect(target, &QTcpSocket::readyRead, client, [client, target] { client->write(target->readAll()); });
                connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
                target->connectToHost(QHostAddress::LocalHost, targetPort);
                target->waitForConnected(5000);
                target->write(client->readAll());
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
};

}  // namespace

void TestNetProxy::untilCloseResponseEndsInsideEndedTls_data()
{
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("tcpStaysOpen");
    QTest::newRow("streamed") << false << false;
    QTest::newRow("held for a hook") << true << false;
    QTest::newRow("streamed, close_notify only") << false << true;
    QTest::newRow("held for a hook, close_notify only") << true << true;
}

void TestNetProxy::untilCloseResponseEndsInsideEndedTls()
{
    QFETCH(bool, held);
    QFETCH(bool, tcpStaysOpen);
    startEndingTls();
    HttpServer server(serverTls(*m_authority, QStringLiteral("127.0.0.1")));
    server.route("/u", "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\nto the end");
    KeepOpenRelay relay(server.port());
    endTlsFor(QStringLiteral("127.0.0.1"), tcpStaysOpen ? relay.port() : server.port());
    if (held)
        m_owner.decideFor = holdIt;
    TlsClient client;
    const QByteArray target = "127.0.0.1:" + QByteArray::number(tcpStaysOpen ? relay.port() : server.port());
    QVERIFY(client.open(m_proxy->port(), target, QStringLiteral("127.0.0.1")));
    QCOMPARE(client.issuer(), QString::fromLatin1(kProxyAuthorityName));
    client.socket.write("GET /u HTTP/1.1\r\nHost: " + target + "\r\n" + (held ? tagged("v") : QByteArray()) + "\r\n");
    // Streamed, it ends with the connection; held, it goes out whole with
    // its length.
    const auto whole = [&] {
        return held ? bodiesOf(client.received) == QList<QByteArray>{"to the end"}
                    : client.closed() && client.received.endsWith("to the end");
    };
    QVERIFY(client.readUntil(whole));
    QVERIFY(whole());
    QCOMPARE(m_owner.responses.size(), held ? 1 : 0);
}

void TestNetProxy::requestsWrittenAtOnceAreServedInTurn_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QList<QByteArray>>("bodies");     // what the engine gets
    QTest::addColumn<QList<QByteArray>>("targets");    // what the server was asked
    const QByteArray post = "POST /a HTTP/1.1\r\nContent-Length: 4\r\n";
    QTest::newRow("streamed") << QByteArray("GET /a HTTP/1.1\r\n") << QList<QByteArray>{"first", "second"}
                              << QList<QByteArray>{"/a", "/b"};
    QTest::newRow("held") << QByteArray("GET /a HTTP/1.1\r\n%1") << QList<QByteArray>{"first", "second"}
                          << QList<QByteArray>{"/a", "/b"};
    QTest::newRow("held with a body") << post + "%1" << QList<QByteArray>{"first", "second"}
                                      << QList<QByteArray>{"/a", "/b"};
    // A body streamed to the server: the connection closes after its
    // response, and the next request never reaches that server.
    QTest::newRow("streamed with a body") << post << QList<QByteArray>{"first"} << QList<QByteArray>{"/a"};
}

void TestNetProxy::requestsWrittenAtOnceAreServedInTurn()
{
    QFETCH(QByteArray, first);
    QFETCH(QList<QByteArray>, bodies);
    QFETCH(QList<QByteArray>, targets);
    startEndingTls();
    HttpServer server(serverTls(*m_authority, QStringLiteral("127.0.0.1")));
    server.route("/a", HttpServer::response("first", "text/plain"));
    server.route("/b", HttpServer::response("second", "text/plain"));
    endTlsFor(QStringLiteral("127.0.0.1"), server.port());
    m_owner.decideFor = holdIt;
    TlsClient client;
    const QByteArray target = "127.0.0.1:" + QByteArray::number(server.port());
    QVERIFY(client.open(m_proxy->port(), target, QStringLiteral("127.0.0.1")));
    const QByteArray host = "Host: " + target + "\r\n";
    first.replace("%1", tagged("v"));
    const bool hasBody = first.startsWith("POST");
    client.socket.write(first + host + "\r\n" + (hasBody ? "ping" : "") + "GET /b HTTP/1.1\r\n" + host +
                        (first.contains(NetProxy::kTagHeader) ? tagged("v") : QByteArray()) + "\r\n");
    client.readUntil([&] { return bodiesOf(client.received).size() == bodies.size() && bodies.size() == 2; });
    QCOMPARE(bodiesOf(client.received), bodies);
    QTest::qWait(100);
    QList<QByteArray> asked;
    for (const RecordedRequest& request : server.requests())
        asked << request.target;
    QCOMPARE(asked, targets);
    if (hasBody)
        QCOMPARE(server.requests()[0].body, QByteArray("ping"));
}

void TestNetProxy::tunnelStaysPlainWhereTheProxyCannotEnd_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("onlyCipher");
    QTest::addColumn<bool>("ended");
    QTest::newRow("server the engine accepts") << QStringLiteral("127.0.0.1") << QString() << true;
    // Suites the engine does not offer are not offered by the proxy either.
    QTest::newRow("CBC with SHA-1 only") << QStringLiteral("127.0.0.1") << QStringLiteral("ECDHE-ECDSA-AES128-SHA")
                                         << false;
    QTest::newRow("ECDHE without forward-secret AEAD") << QStringLiteral("127.0.0.1")
                                                       << QStringLiteral("ECDHE-ECDSA-AES256-SHA384") << false;
    // The requests inside could not be read as URLs of this host.
    QTest::newRow("name the URL parser refuses") << QStringLiteral("a-.com") << QString() << false;
}

void TestNetProxy::tunnelStaysPlainWhereTheProxyCannotEnd()
{
    QFETCH(QString, host);
    QFETCH(QString, onlyCipher);
    QFETCH(bool, ended);
    startEndingTls();
    HttpServer server(serverTls(*m_authority, host, onlyCipher));
    server.route("/", HttpServer::response("served", "text/plain"));
    endTlsFor(host, server.port());
    // A name that does not resolve reaches the server through a chained proxy.
    TunnelProxy chained(server.port());
    if (host != QLatin1String("127.0.0.1"))
        m_proxy->setUpstream(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), chained.port()));
    TlsClient client;
    const QByteArray target = host.toLatin1() + ':' + QByteArray::number(server.port());
    QVERIFY(client.open(m_proxy->port(), target, host));
    QCOMPARE(client.issuer() == QLatin1String(kProxyAuthorityName), ended);
    client.socket.write("GET / HTTP/1.1\r\nHost: " + target + "\r\n\r\n");
    QVERIFY(client.readUntil([&] { return bodiesOf(client.received).size() == 1; }));
    QCOMPARE(bodiesOf(client.received), QList<QByteArray>{"served"});
}

namespace {

// A gzip body of size zero bytes, made a piece at a time.
QByteArray gzipOfZeros(qint64 size)
{
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    const QByteArray zeros(1 << 20, '\0');
    QByteArray out;
    char buffer[64 * 1024];
    for (qint64 left = size; left >= 0; left -= zeros.size()) {
        const bool last = left <= zeros.size();
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.constData()));
        stream.avail_in = uInt(last ? left : zeros.size());
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
        } while (stream.avail_out == 0);
        if (last)
            break;
    }
    deflateEnd(&stream);
    return out;
}

}  // namespace

void TestNetProxy::compressedBombReachesTheHookAsItCame()
{
    // Past the decoded size the proxy undoes for a hook.
    const QByteArray bomb = gzipOfZeros((qint64(128) << 20) + 1);
    HttpServer server;
    server.route("/bomb", HttpServer::response(bomb, "text/plain", {"Content-Encoding: gzip"}));
    server.route("/small", HttpServer::response(gzipOfZeros(1000), "text/plain", {"Content-Encoding: gzip"}));
    m_owner.decideFor = holdIt;
    const Reply reply = splitReply(exchange(m_proxy->port(), taggedGet(*m_proxy, server.url("/bomb"))));
    QCOMPARE(reply.head.status, 200);
    QCOMPARE(reply.rest, bomb);
    QCOMPARE(m_owner.responses.size(), 1);
    QCOMPARE(engine::http::header(m_owner.responses[0].head.headers, "Content-Encoding"), QByteArray("gzip"));
    // Below it the hook gets plain bytes.
    QCOMPARE(splitReply(exchange(m_proxy->port(), taggedGet(*m_proxy, server.url("/small")))).rest,
             QByteArray(1000, '\0'));
}

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--send") == 0)
        return sendAsAnotherProcess(argc, argv);
    QCoreApplication app(argc, argv);
    TestNetProxy test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_netproxy.moc"
