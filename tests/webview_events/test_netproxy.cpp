// The engine's in-process HTTP proxy on its own, driven the way Chromium
// drives it (absolute-form requests, CONNECT tunnels), against a real local
// server: what reaches the server and what comes back, byte for byte.
#include "httpserver.h"

#include "webview/engine/httpwire.h"
#include "webview/engine/netproxy.h"

#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTest>

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

private:
    std::unique_ptr<NetProxy> m_proxy;
    Owner m_owner;
};

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
    const QByteArray request = "POST " + server.url("/x") + " HTTP/1.1\r\n" + NetProxy::kTagHeader +
                               ": view-7\r\nTransfer-Encoding: chunked\r\n\r\n" +
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
    const QByteArray request = "GET " + server.url("/s.js") + " HTTP/1.1\r\n" + NetProxy::kTagHeader +
                               ": v\r\nAccept: */*\r\n\r\n";
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
    const QByteArray bytes = exchange(m_proxy->port(), "GET " + server.url("/") + " HTTP/1.1\r\n" +
                                                           NetProxy::kTagHeader + ": v\r\n\r\n", &closed);
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

QByteArray taggedGet(const QByteArray& url)
{
    return "GET " + url + " HTTP/1.1\r\n" + NetProxy::kTagHeader + ": v\r\n\r\n";
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
    QCOMPARE(splitReply(exchange(m_proxy->port(), taggedGet(server.url("/h")))).head.status, 502);
    QVERIFY(m_owner.responses.isEmpty());
    QCOMPARE(splitReply(exchange(m_proxy->port(), taggedGet(server.url("/ok")))).rest, QByteArray("fine"));
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
    socket.write("POST " + server.url("/x") + " HTTP/1.1\r\n" + NetProxy::kTagHeader +
                 ": v\r\nTransfer-Encoding: chunked\r\n\r\n" + body);
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
    const QByteArray request = held ? taggedGet(server.url("/big"))
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
    QCOMPARE(splitReply(exchange(m_proxy->port(), taggedGet(url))).rest, QByteArray("done"));
}

QTEST_GUILESS_MAIN(TestNetProxy)
#include "test_netproxy.moc"
