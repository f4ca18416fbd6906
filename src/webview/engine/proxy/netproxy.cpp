#include "engine/proxy/netproxy.h"

#include "engine/proxy/proxyconnection.h"

#include "engine/proxy/bodycoding.h"
#include "engine/proxy/proxypeer.h"
#include "engine/proxy/tlscontext.h"

#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QThread>
#include <QUrl>

#include <unistd.h>

#include <utility>

namespace engine {
namespace proxy {
namespace {

bool isLoopbackHost(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
        host.endsWith(QLatin1String(".localhost"), Qt::CaseInsensitive))
        return true;
    QHostAddress address;
    return address.setAddress(host) && address.isLoopback();
}

}  // namespace

Route routeFor(const QString& host, quint16 port, bool tunnel, const QNetworkProxy& chained)
{
    Route route;
    route.host = host;
    route.port = port;
    if (isLoopbackHost(host))
        return route;
    switch (chained.type()) {
    case QNetworkProxy::Socks5Proxy:
        route.socketProxy = chained;
        break;
    case QNetworkProxy::HttpProxy:
        if (tunnel) {
            route.socketProxy = chained;
        } else {
            route.host = chained.hostName();
            route.port = chained.port();
            route.viaHttpProxy = true;
            if (!chained.user().isEmpty())
                route.proxyAuthorization =
                    "Basic " + (chained.user() + QLatin1Char(':') + chained.password()).toUtf8().toBase64();
        }
        break;
    default:
        break;
    }
    return route;
}

QByteArray markTag(const QByteArray& key, const QByteArray& tag)
{
    return tag + '.' +
           QMessageAuthenticationCode::hash(tag, key, QCryptographicHash::Sha256)
               .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray markedTag(const QByteArray& key, const QByteArray& value)
{
    const qsizetype dot = value.lastIndexOf('.');
    if (key.isEmpty() || dot <= 0)
        return {};
    const QByteArray tag = value.left(dot);
    const QByteArray expected = markTag(key, tag);
    if (expected.size() != value.size())
        return {};
    // Every byte is compared, so the time taken tells nothing of the mark.
    char differ = 0;
    for (qsizetype i = 0; i < value.size(); ++i)
        differ |= char(expected[i] ^ value[i]);
    return differ ? QByteArray() : tag;
}

}  // namespace proxy

using namespace proxy;

namespace {

void removeCookieFields(http::HeaderList& headers)
{
    http::removeHeader(headers, "Set-Cookie");
    http::removeHeader(headers, "Set-Cookie2");
}

// The target of an absolute http URL in origin form ("/path?query").
QByteArray originForm(const QByteArray& absolute)
{
    const qsizetype scheme = absolute.indexOf("://");
    const qsizetype slash = absolute.indexOf('/', scheme < 0 ? 0 : scheme + 3);
    QByteArray path = slash < 0 ? QByteArray("/") : absolute.mid(slash);
    const qsizetype hash = path.indexOf('#');
    if (hash >= 0)
        path.truncate(hash);
    return path.isEmpty() ? QByteArray("/") : path;
}

// Removes every tag field from headers; the tag of the one field there was
// when its mark is valid, null otherwise.
QByteArray takeTag(http::HeaderList& headers, const QByteArray& key)
{
    QByteArray value;
    int fields = 0;
    for (const auto& [name, fieldValue] : std::as_const(headers)) {
        if (name.compare(NetProxy::kTagHeader, Qt::CaseInsensitive) == 0) {
            value = fieldValue;
            ++fields;
        }
    }
    if (!fields)
        return {};
    http::removeHeader(headers, NetProxy::kTagHeader);
    return fields == 1 ? markedTag(key, value) : QByteArray();
}

QByteArray errorResponse(int status, const QByteArray& text)
{
    http::ResponseHead head;
    head.version = "HTTP/1.1";
    head.status = status;
    head.reason = http::reasonPhrase(status);
    head.headers = {{"Content-Type", "text/plain; charset=utf-8"},
                    {"Content-Length", QByteArray::number(text.size())},
                    {"Connection", "close"}};
    return http::serializeResponseHead(head) + text;
}

}  // namespace


ProxyConnection::ProxyConnection(QSslSocket* client, quint64 exchange, ProxyServer* server)
    : QObject(server), m_client(client), m_exchange(exchange), m_server(server)
{
    m_client->setParent(this);
    m_client->setReadBufferSize(kSocketReadBuffer);
    connect(m_client, &QTcpSocket::readyRead, this, [this] { onClientData(); });
    connect(m_client, &QTcpSocket::bytesWritten, this, [this] {
        if (m_upstream && (m_stage == Stage::Tunnel || (m_stage == Stage::Upstream && m_current.responseHeadDone)))
            relay(m_upstream, m_client);
    });
    connect(m_client, &QTcpSocket::disconnected, this, [this] {
        m_clientGone = true;
        if (m_stage == Stage::Tunnel && m_upstream &&
            m_upstream->state() == QAbstractSocket::ConnectedState) {
            // The browser's last bytes still go out before the tunnel closes.
            while (m_client->bytesAvailable() > 0)
                m_upstream->write(m_client->read(kRelayChunk));
            m_upstream->disconnectFromHost();
            if (m_upstream->state() != QAbstractSocket::UnconnectedState)
                return;  // deleted once the upstream side has closed
        } else if (m_upstream) {
            disconnect(m_upstream, nullptr, this, nullptr);
            m_upstream->abort();
        }
        deleteLater();
    });
}

ProxyConnection::~ProxyConnection()
{
    m_server->forget(m_exchange);
    if (m_current.ownerKnows)
        m_server->toOwner([exchange = m_exchange](ProxyOwner* owner) { owner->exchangeEnded(exchange); });
}

void ProxyConnection::onClientData()
{
    switch (m_stage) {
    case Stage::Head: {
        const qsizetype searched = m_current.headSearched;
        m_in += m_client->readAll();
        m_current.headSearched = m_in.size();
        const qsizetype end = http::headEnd(m_in, searched);
        if (end < 0) {
            if (m_in.size() > kMaxHeadBytes)
                fail(400, "request head too large");
            return;
        }
        const QByteArray head = m_in.left(end);
        m_in.remove(0, end);
        m_current.headSearched = 0;
        onHead(head);
        return;
    }
    case Stage::Body:
        takeRequestBody(m_client->readAll());
        return;
    case Stage::Upstream:
        // The request body streams on as it comes.
        if (!m_upstream || m_upstream->state() != QAbstractSocket::ConnectedState)
            return;  // read once the upstream connection is up
        relay(m_client, m_upstream);
        return;
    case Stage::Tunnel:
        if (reclaimIdleTunnel())
            return;
        if (m_upstream && m_upstream->state() == QAbstractSocket::ConnectedState)
            relay(m_client, m_upstream);
        return;
    case Stage::Verifying:
    case Stage::Handshaking:
        return;  // nothing is expected before the TLS handshake
    case Stage::Closing:
        m_client->readAll();  // nothing more is served
        return;
    default:
        return;  // the engine's next request waits until this exchange is over
    }
}

void ProxyConnection::onHead(const QByteArray& headBytes)
{
    if (!http::parseRequestHead(headBytes, &m_current.request)) {
        fail(400, "malformed request");
        return;
    }
    if (m_current.request.method == "CONNECT") {
        QString host;
        quint16 port = 0;
        if (!http::parseConnectTarget(m_current.request.target, &host, &port) || !m_tlsHost.isEmpty()) {
            fail(400, "malformed CONNECT target");
            return;
        }
        if (beginTermination(host, port))
            return;
        m_stage = Stage::Tunnel;
        m_tunnelHost = host;
        m_tunnelPort = port;
        m_current.toUpstream = m_in;
        m_in.clear();
        startUpstream(host, port, true);
        return;
    }
    const bool secure = !m_tlsHost.isEmpty();
    if (secure) {
        // Inside an ended TLS connection requests name their path only.
        if (http::httpsUrl(m_tlsHost, m_tlsPort, m_current.request.target).isEmpty()) {
            fail(400, "malformed request target");
            return;
        }
        m_current.request.target = http::httpsUrl(m_tlsHost, m_tlsPort, m_current.request.target);
    }
    const QUrl url(QString::fromLatin1(m_current.request.target));
    if (url.scheme() != QLatin1String(secure ? "https" : "http") || url.host().isEmpty()) {
        fail(400, "only absolute http URLs are served");
        return;
    }
    const quint16 port = quint16(url.port(secure ? 443 : 80));
    if (http::hasHeader(m_current.request.headers, "Upgrade")) {
        // A WebSocket handshake: from here on the bytes pass both ways raw.
        http::HeaderList headers = m_current.request.headers;
        http::removeHeader(headers, NetProxy::kTagHeader);
        http::removeHeader(headers, "Proxy-Connection");
        http::removeHeader(headers, "Proxy-Authorization");
        m_current.toUpstream = http::serializeRequestHead(m_current.request.method, originForm(m_current.request.target), m_current.request.version,
                                                  headers) + std::exchange(m_in, {});
        m_upgrade = true;
        m_stage = Stage::Tunnel;
        startUpstream(url.host(), port, false, QHostAddress(), secure);
        return;
    }
    QByteArray tag = takeTag(m_current.request.headers, m_server->tagKey);
    if (tag.isNull())
        tag = m_server->routes->takeAnnouncedTag(m_current.request.method, m_current.request.target);
    if (!tag.isNull()) {
        m_current.tag = tag;
        m_current.requestFraming = http::requestFraming(m_current.request);
        if (m_current.requestFraming.kind == http::BodyFraming::Length && m_current.requestFraming.length > kMaxHeldBodyBytes) {
            fail(413, "request body too large to hold");
            return;
        }
        m_stage = Stage::Body;
        takeRequestBody(std::exchange(m_in, {}));
        return;
    }

    // Relayed as it streams: the head rewritten for this hop, the body raw.
    // Bytes after a body of known length are the engine's next request.
    const http::BodyFraming framing = http::requestFraming(m_current.request);
    m_current.requestBodyless = framing.kind == http::BodyFraming::None;
    m_current.requestLeft = framing.kind == http::BodyFraming::Length ? framing.length : m_current.requestBodyless ? 0 : -1;
    const qsizetype bodyStart = m_current.requestLeft < 0 ? m_in.size() : qsizetype(std::min<qint64>(m_current.requestLeft, m_in.size()));
    if (m_current.requestLeft > 0)
        m_current.requestLeft -= bodyStart;
    const Route route = routeFor(url.host(), port, secure, upstreamProxy());
    http::HeaderList headers = m_current.request.headers;
    const bool chunked = http::headerListsToken(headers, "Transfer-Encoding", "chunked");
    http::removeHopByHop(headers);
    if (chunked)
        http::setHeader(headers, "Transfer-Encoding", "chunked");
    headers.append(qMakePair(QByteArray("Connection"), QByteArray("close")));
    if (!route.proxyAuthorization.isEmpty())
        headers.append(qMakePair(QByteArray("Proxy-Authorization"), QByteArray(route.proxyAuthorization)));
    const QByteArray target = route.viaHttpProxy ? m_current.request.target : originForm(m_current.request.target);
    m_current.toUpstream = http::serializeRequestHead(m_current.request.method, target, m_current.request.version, headers) +
                   m_in.left(bodyStart);
    m_in.remove(0, bodyStart);
    m_stage = Stage::Upstream;
    startUpstream(url.host(), port, false, QHostAddress(), secure);
}

void ProxyConnection::takeRequestBody(const QByteArray& bytes)
{
    QByteArray body;
    switch (m_current.requestFraming.kind) {
    case http::BodyFraming::Length:
        m_in += bytes;
        if (m_in.size() < m_current.requestFraming.length)
            return;
        body = m_in.left(qsizetype(m_current.requestFraming.length));
        m_in.remove(0, body.size());
        break;
    case http::BodyFraming::Chunked: {
        const qint64 consumedBefore = m_current.requestChunks.consumed();
        const auto state = m_current.requestChunks.feed(bytes);
        m_in = bytes.mid(qsizetype(m_current.requestChunks.consumed() - consumedBefore));
        switch (state) {
        case http::ChunkedDecoder::NeedMore:
            if (m_current.requestChunks.body().size() > kMaxHeldBodyBytes)
                fail(413, "request body too large to hold");
            return;
        case http::ChunkedDecoder::Malformed:
            fail(400, "malformed chunked body");
            return;
        case http::ChunkedDecoder::Done:
            body = m_current.requestChunks.takeBody();
            break;
        }
        break;
    }
    default:
        m_in = bytes;  // the engine's next request
        break;
    }
    m_current.requestBodyless = true;  // the body, if any, goes out with the head
    m_stage = Stage::Deciding;
    ProxyRequest request;
    request.head = m_current.request;
    request.body = body;
    m_current.ownerKnows = true;
    m_server->toOwner([exchange = m_exchange, tag = m_current.tag, request](ProxyOwner* owner) {
        owner->requestArrived(exchange, tag, request);
    });
}

void ProxyConnection::decide(RequestDecision decision)
{
    if (m_stage != Stage::Deciding)
        return;
    switch (decision.action) {
    case RequestDecision::Fail:
        m_stage = Stage::Closing;
        m_client->abort();
        return;
    case RequestDecision::Answer:
        writeResponse(std::move(decision.answer));
        return;
    case RequestDecision::Forward:
        break;
    }
    ProxyRequest& request = decision.request;
    const bool secure = !m_tlsHost.isEmpty();
    const QUrl url(QString::fromLatin1(request.head.target));
    if (url.scheme() != QLatin1String(secure ? "https" : "http") || url.host().isEmpty()) {
        fail(400, "only absolute http URLs are served");
        return;
    }
    const quint16 port = quint16(url.port(secure ? 443 : 80));
    m_current.request.method = request.head.method;  // decides whether the response has a body
    if (decision.upstream)
        m_routeProxy = decision.upstream;
    const Route route = routeFor(url.host(), port, secure, upstreamProxy());
    http::HeaderList headers = request.head.headers;
    http::removeHopByHop(headers);
    http::removeHeader(headers, "Transfer-Encoding");
    if (!request.body.isEmpty() || http::hasHeader(headers, "Content-Length"))
        http::setHeader(headers, "Content-Length", QByteArray::number(request.body.size()));
    headers.append(qMakePair(QByteArray("Connection"), QByteArray("close")));
    if (!route.proxyAuthorization.isEmpty())
        headers.append(qMakePair(QByteArray("Proxy-Authorization"), QByteArray(route.proxyAuthorization)));
    const QByteArray target = route.viaHttpProxy ? request.head.target : originForm(request.head.target);
    m_current.toUpstream = http::serializeRequestHead(request.head.method, target, request.head.version, headers) +
                   request.body;
    m_current.holdResponse = decision.holdResponse;
    m_current.withoutCookies = decision.withoutCookies;
    m_current.responseFields = std::move(decision.responseFields);
    m_stage = m_current.holdResponse ? Stage::Holding : Stage::Upstream;
    startUpstream(url.host(), port, false, decision.bindAddress, secure);
}

void ProxyConnection::startUpstream(const QString& host, quint16 port, bool tunnel,
                                    const QHostAddress& bindAddress, bool secure)
{
    const QNetworkProxy proxy = upstreamProxy();
    const Route route = routeFor(host, port, tunnel || secure, proxy);
    QSslSocket* verified = std::exchange(m_verified, nullptr);
    const bool reuse = secure && verified && bindAddress.isNull() && proxy == m_verifiedProxy &&
                       host.compare(m_tlsHost, Qt::CaseInsensitive) == 0 && port == m_tlsPort &&
                       verified->state() == QAbstractSocket::ConnectedState && verified->isEncrypted();
    if (verified && !reuse) {
        verified->abort();
        verified->deleteLater();
    }
    if (reuse) {
        m_upstream = verified;
    } else if (secure) {
        m_upstream = m_server->tls->reachServer(host, this);
    } else {
        m_upstream = new QTcpSocket(this);
    }
    if (!reuse) {
        m_upstream->setProxy(route.socketProxy);
        if (!bindAddress.isNull())
            m_upstream->bind(bindAddress);
        m_upstream->setReadBufferSize(kSocketReadBuffer);
    }
    if (secure)
        connect(static_cast<QSslSocket*>(m_upstream), &QSslSocket::encrypted, this, [this] { onUpstreamConnected(); });
    else
        connect(m_upstream, &QTcpSocket::connected, this, [this] { onUpstreamConnected(); });
    connect(m_upstream, &QTcpSocket::readyRead, this, [this] { onUpstreamData(); });
    connect(m_upstream, &QTcpSocket::bytesWritten, this, [this] {
        if (m_stage == Stage::Tunnel || m_stage == Stage::Upstream)
            relay(m_client, m_upstream);
    });
    connect(m_upstream, &QTcpSocket::disconnected, this, [this] { onUpstreamClosed(); });
    connect(m_upstream, &QTcpSocket::errorOccurred, this, [this] { onUpstreamError(); });
    if (reuse)
        onUpstreamConnected();
    else if (secure)
        static_cast<QSslSocket*>(m_upstream)->connectToHostEncrypted(route.host, route.port);
    else
        m_upstream->connectToHost(route.host, route.port);
}

void ProxyConnection::onUpstreamConnected()
{
    if (m_stage == Stage::Tunnel && !m_upgrade) {
        m_client->write("HTTP/1.1 200 Connection established\r\n\r\n");
        m_current.sentToClient = true;
        m_tunnelActive.start();
    }
    m_upstream->write(m_current.toUpstream);
    m_current.toUpstream.clear();
    if (m_stage == Stage::Tunnel || m_stage == Stage::Upstream)
        relay(m_client, m_upstream);
}

void ProxyConnection::onUpstreamData()
{
    switch (m_stage) {
    case Stage::Tunnel:
        m_tunnelActive.restart();
        relay(m_upstream, m_client);
        return;
    case Stage::Upstream:
        if (!m_current.responseHeadDone && !readResponseHead())
            return;
        relay(m_upstream, m_client);
        return;
    case Stage::Holding:
        holdResponseBytes(m_upstream->readAll(), false);
        return;
    default:
        m_upstream->readAll();
        return;
    }
}

// Adds bytes from the server to the response until its final head is
// complete. Interim (1xx) heads of a streamed response go to the page as
// they are, and a 101 is final there (the connection is switched); a held
// response drops them. The final head, with the bytes after it in bodyStart;
// nullopt while it is incomplete or when the exchange failed.
std::optional<http::ResponseHead> ProxyConnection::takeResponseHead(const QByteArray& bytes, bool upstreamClosed,
                                                                    bool streamed, QByteArray* bodyStart)
{
    qsizetype searched = m_current.response.size();
    m_current.response += bytes;
    for (;;) {
        const qsizetype end = http::headEnd(m_current.response, searched);
        searched = 0;
        if (end < 0) {
            if (upstreamClosed)
                fail(502, "the server closed the connection without a response");
            else if (m_current.response.size() > kMaxHeadBytes)
                fail(502, "response head too large");
            return std::nullopt;
        }
        http::ResponseHead head;
        if (!http::parseResponseHead(m_current.response.left(end), &head)) {
            fail(502, "malformed response from the server");
            return std::nullopt;
        }
        if (head.status >= 100 && head.status < 200 && !(streamed && head.status == 101)) {
            if (streamed) {
                m_client->write(m_current.response.left(end));
                m_current.sentToClient = true;
            }
            m_current.response.remove(0, end);
            continue;
        }
        *bodyStart = m_current.response.mid(end);
        m_current.response.clear();
        return head;
    }
}

// Passes the final head on rewritten so that the browser does not keep the
// connection (unless this one serves its next request); true once done.
bool ProxyConnection::readResponseHead()
{
    QByteArray body;
    std::optional<http::ResponseHead> taken = takeResponseHead(m_upstream->readAll(), false, true, &body);
    if (!taken)
        return false;
    http::ResponseHead head = std::move(*taken);
    http::removeHopByHop(head.headers);
    if (m_current.withoutCookies)
        removeCookieFields(head.headers);
    for (const auto& [name, value] : m_current.responseFields)
        http::setHeader(head.headers, name, value);
    const http::BodyFraming framing = http::responseFraming(head, m_current.request.method);
    if (framing.kind == http::BodyFraming::Chunked)
        http::setHeader(head.headers, "Transfer-Encoding", "chunked");
    m_current.keepClient = mayKeepClient() && head.status != 101 &&
                   (framing.kind == http::BodyFraming::None || framing.kind == http::BodyFraming::Length);
    if (!m_current.keepClient)
        head.headers.append(qMakePair(QByteArray("Connection"), QByteArray("close")));
    m_client->write(http::serializeResponseHead(head));
    m_current.responseHeadDone = true;
    m_current.sentToClient = true;
    if (m_current.keepClient) {
        m_current.responseLeft = framing.kind == http::BodyFraming::Length ? framing.length : 0;
        body.truncate(qsizetype(std::min<qint64>(body.size(), m_current.responseLeft)));
        m_current.responseLeft -= body.size();
    }
    m_client->write(body);
    if (m_current.keepClient && m_current.responseLeft == 0) {
        nextExchange();
        return false;
    }
    return true;
}

// A held response is complete when its framing says so or the server closed.
// Each byte is handled once as it arrives.
void ProxyConnection::holdResponseBytes(const QByteArray& bytes, bool upstreamClosed)
{
    QByteArray body = bytes;
    if (!m_current.holdHeadRead) {
        const std::optional<http::ResponseHead> head = takeResponseHead(bytes, upstreamClosed, false, &body);
        if (!head)
            return;
        m_current.holdHead = *head;
        m_current.holdFraming = http::responseFraming(*head, m_current.request.method);
        m_current.holdHeadRead = true;
    }
    ProxyResponse response;
    response.head = m_current.holdHead;
    bool complete = false;
    switch (m_current.holdFraming.kind) {
    case http::BodyFraming::None:
        complete = true;
        break;
    case http::BodyFraming::Length: {
        const qint64 missing = m_current.holdFraming.length - m_current.holdBody.size();
        m_current.holdBody.append(body.constData(), qsizetype(std::min<qint64>(missing, body.size())));
        complete = m_current.holdBody.size() == m_current.holdFraming.length;
        if (!complete && upstreamClosed) {
            // A cut body must not reach the page as if it were whole.
            fail(502, "the server closed the connection before the whole response");
            return;
        }
        break;
    }
    case http::BodyFraming::Chunked: {
        const auto state = m_current.holdChunks.feed(body);
        if (state == http::ChunkedDecoder::Malformed ||
            (state == http::ChunkedDecoder::NeedMore && upstreamClosed)) {
            fail(502, "malformed chunked response");
            return;
        }
        complete = state == http::ChunkedDecoder::Done;
        if (complete) {
            m_current.holdBody = m_current.holdChunks.takeBody();
            http::removeHeader(response.head.headers, "Transfer-Encoding");
        }
        break;
    }
    case http::BodyFraming::UntilClose:
        m_current.holdBody += body;
        complete = upstreamClosed;
        break;
    }
    if (!complete) {
        if (std::max<qint64>(m_current.holdBody.size(), m_current.holdChunks.body().size()) > kMaxHeldBodyBytes)
            fail(502, "response too large to hold");
        return;
    }
    response.body = std::exchange(m_current.holdBody, {});
    disconnect(m_upstream, nullptr, this, nullptr);
    m_upstream->abort();
    // Hooks get plain bytes: a gzip or deflate body is undone (off this
    // thread, which every view's traffic waits on) and its fields fixed (the
    // length is set again when the response goes out).
    const QByteArray coding = http::header(response.head.headers, "Content-Encoding");
    if (coding.isEmpty()) {
        handOver(std::move(response));
        return;
    }
    m_stage = Stage::Decoding;
    m_server->decode(m_exchange, std::move(response), coding);
}

void ProxyConnection::handOver(ProxyResponse response)
{
    if (m_stage != Stage::Holding && m_stage != Stage::Decoding)
        return;
    m_stage = Stage::Delivering;
    m_server->toOwner([exchange = m_exchange, response = std::move(response)](ProxyOwner* owner) {
        owner->responseArrived(exchange, response);
    });
}

void ProxyConnection::deliver(std::optional<ProxyResponse> response)
{
    if (m_stage != Stage::Delivering)
        return;
    if (!response) {
        m_stage = Stage::Closing;
        m_client->abort();
        return;
    }
    writeResponse(std::move(*response));
}

void ProxyConnection::writeResponse(ProxyResponse response)
{
    http::ResponseHead& head = response.head;
    if (head.version.isEmpty())
        head.version = "HTTP/1.1";
    if (head.status == 0)
        head.status = 200;
    if (head.reason.isEmpty())
        head.reason = http::reasonPhrase(head.status);
    http::removeHopByHop(head.headers);
    if (m_current.withoutCookies)
        removeCookieFields(head.headers);
    http::removeHeader(head.headers, "Transfer-Encoding");
    const bool bodiless = m_current.request.method == "HEAD" || head.status == 204 || head.status == 304 ||
                          (head.status >= 100 && head.status < 200);
    if (!bodiless)
        http::setHeader(head.headers, "Content-Length", QByteArray::number(response.body.size()));
    const bool keep = mayKeepClient();
    if (!keep)
        head.headers.append(qMakePair(QByteArray("Connection"), QByteArray("close")));
    m_client->write(http::serializeResponseHead(head));
    if (!bodiless)
        m_client->write(response.body);
    m_current.sentToClient = true;
    if (keep)
        nextExchange();
    else
        closeClient();
}

// Whether the engine may send its next request on this connection once the
// response is out: TLS ended here, HTTP/1.1, no body streaming to the server.
bool ProxyConnection::mayKeepClient() const
{
    return !m_tlsHost.isEmpty() && !m_upgrade && !m_clientGone && m_current.requestBodyless &&
           m_current.request.version == "HTTP/1.1" && !http::headerListsToken(m_current.request.headers, "Connection", "close");
}

// The response is out whole: the server connection goes, and the engine's
// next request on this connection starts a new exchange.
void ProxyConnection::nextExchange()
{
    if (m_upstream) {
        disconnect(m_upstream, nullptr, this, nullptr);
        m_upstream->abort();
        m_upstream->deleteLater();
        m_upstream = nullptr;
    }
    if (m_current.ownerKnows)
        m_server->toOwner([exchange = m_exchange](ProxyOwner* owner) { owner->exchangeEnded(exchange); });
    m_server->forget(m_exchange);
    m_exchange = m_server->adopt(this);
    m_current = {};
    m_routeProxy = m_connectRoute;
    m_stage = Stage::Head;
    if (!m_in.isEmpty() || m_client->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, [this] { onClientData(); }, Qt::QueuedConnection);
}

void ProxyConnection::onUpstreamClosed()
{
    if (m_clientGone) {
        deleteLater();
        return;
    }
    switch (m_stage) {
    case Stage::Tunnel:
    case Stage::Upstream:
        if (m_stage == Stage::Upstream && !m_current.responseHeadDone) {
            const bool head = m_upstream->bytesAvailable() > 0 && readResponseHead();
            if (m_stage == Stage::Head)
                return;  // the whole response was out; the connection is kept
            if (!head) {
                fail(502, "the server closed the connection without a response");
                return;
            }
            relay(m_upstream, m_client);
            if (m_stage == Stage::Head)
                return;
        }
        // Pass on what is left, then close (or, with a kept connection, go
        // on once the response is out whole).
        while (m_upstream->bytesAvailable() > 0) {
            const qint64 size = m_current.keepClient ? std::min(kRelayChunk, m_current.responseLeft) : kRelayChunk;
            const QByteArray bytes = m_upstream->read(size);
            m_client->write(bytes);
            if (m_current.keepClient && (m_current.responseLeft -= bytes.size()) == 0) {
                nextExchange();
                return;
            }
        }
        closeClient();
        return;
    case Stage::Holding:
        holdResponseBytes(m_upstream->readAll(), true);
        return;
    default:
        return;
    }
}

void ProxyConnection::onUpstreamError()
{
    if (m_upstream->error() == QAbstractSocket::RemoteHostClosedError) {
        // A TLS server's close_notify ends the response even while its TCP
        // connection stays open; a plain close arrives as disconnected.
        if (m_upstream->state() == QAbstractSocket::ConnectedState && qobject_cast<QSslSocket*>(m_upstream))
            onUpstreamClosed();
        return;
    }
    if (m_stage != Stage::Tunnel && m_stage != Stage::Upstream && m_stage != Stage::Holding)
        return;
    if (!m_current.sentToClient && m_stage != Stage::Tunnel) {
        // A server that cannot be reached gets no made-up page: the browser
        // sees the request fail, as it would without the proxy.
        disconnect(m_upstream, nullptr, this, nullptr);
        m_upstream->abort();
        m_stage = Stage::Closing;
        m_client->abort();
        return;
    }
    if (!m_current.sentToClient)
        fail(502, "cannot reach the server");
    else
        closeClient();
}

void ProxyConnection::fail(int status, const QByteArray& text)
{
    if (m_upstream) {
        disconnect(m_upstream, nullptr, this, nullptr);
        m_upstream->abort();
    }
    if (!m_current.sentToClient)
        m_client->write(errorResponse(status, text));
    m_current.sentToClient = true;
    closeClient();
}

void ProxyConnection::closeClient()
{
    m_stage = Stage::Closing;
    // Qt sends what is buffered before it closes.
    m_client->disconnectFromHost();
    if (m_client->state() == QAbstractSocket::UnconnectedState)
        deleteLater();
}

void ProxyConnection::relay(QTcpSocket* from, QTcpSocket* to)
{
    if (m_clientGone && to == m_client)
        return;
    // A request body of known length ends there: later bytes are the next
    // request.
    const bool body = from == m_client && m_stage == Stage::Upstream;
    if (body && m_current.requestLeft == 0)
        return;
    const bool kept = m_current.keepClient && m_stage == Stage::Upstream && from == m_upstream;
    while (from->bytesAvailable() > 0 && to->bytesToWrite() < kRelayHighWater) {
        qint64 size = kept ? std::min(kRelayChunk, m_current.responseLeft) : kRelayChunk;
        if (body && m_current.requestLeft > 0)
            size = std::min(size, m_current.requestLeft);
        const QByteArray bytes = from->read(size);
        if (body && m_current.requestLeft > 0 && (m_current.requestLeft -= bytes.size()) == 0) {
            to->write(bytes);
            return;
        }
        to->write(bytes);
        m_current.sentToClient = m_current.sentToClient || to == m_client;
        if (kept && (m_current.responseLeft -= bytes.size()) == 0) {
            nextExchange();
            return;
        }
    }
}

void ProxyServer::incomingConnection(qintptr descriptor)
{
    // Only the engine may use the proxy: a connection from any other process
    // is closed before a byte of it is read.
    if (!openedByThisProcess(descriptor)) {
        ::close(int(descriptor));
        return;
    }
    // In plain mode until a tunnel's TLS is ended here.
    auto* socket = new QSslSocket;
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const quint64 exchange = m_nextExchange++;
    m_connections[exchange] = new ProxyConnection(socket, exchange, this);
}

quint64 ProxyServer::adopt(ProxyConnection* connection)
{
    const quint64 exchange = m_nextExchange++;
    m_connections[exchange] = connection;
    return exchange;
}

void ProxyServer::decide(quint64 exchange, RequestDecision decision)
{
    const auto found = m_connections.find(exchange);
    if (found != m_connections.end() && found->second)
        found->second->decide(std::move(decision));
}

void ProxyServer::deliver(quint64 exchange, std::optional<ProxyResponse> response)
{
    const auto found = m_connections.find(exchange);
    if (found != m_connections.end() && found->second)
        found->second->deliver(std::move(response));
}

void ProxyServer::decode(quint64 exchange, ProxyResponse response, const QByteArray& coding)
{
    m_decoding.start([this, exchange, response = std::move(response), coding]() mutable {
        if (std::optional<QByteArray> plain = http::decodeBody(coding, response.body, kMaxDecodedBodyBytes)) {
            response.body = std::move(*plain);
            http::removeHeader(response.head.headers, "Content-Encoding");
            http::removeHeader(response.head.headers, "Content-Length");
        }
        // A body that cannot be undone within the limit reaches the hook as it came.
        QMetaObject::invokeMethod(this, [this, exchange, response = std::move(response)]() mutable {
            const auto found = m_connections.find(exchange);
            if (found != m_connections.end() && found->second)
                found->second->handOver(std::move(response));
        }, Qt::QueuedConnection);
    });
}

void ProxyServer::closeAll()
{
    close();
    // A connection forgets itself from the map as it goes, so take the map
    // out of reach before deleting any of them.
    const auto connections = std::exchange(m_connections, {});
    for (const auto& [exchange, connection] : connections)
        delete connection.data();
}

NetProxy::NetProxy()
    : m_upstream(std::make_shared<UpstreamSetting>()), m_routes(std::make_shared<RouteTable>())
{
    // Held in memory only, for this proxy's life.
    m_tagKey.resize(32);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(m_tagKey.data()), 8);
}

QByteArray NetProxy::tagValue(const QByteArray& tag) const
{
    return markTag(m_tagKey, tag);
}

void NetProxy::setUpstream(const QNetworkProxy& proxy)
{
    QMutexLocker lock(&m_upstream->mutex);
    m_upstream->proxy = proxy;
}

NetProxy::~NetProxy()
{
    stop();
}

bool NetProxy::start(ProxyOwner* owner)
{
    if (m_port)
        return true;
    m_ownerContext = new QObject;
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("engine-proxy"));
    m_server = new ProxyServer;
    m_server->routes = m_routes;
    m_server->tls = m_tls;
    m_server->tagKey = m_tagKey;
    m_server->upstream = m_upstream;
    m_server->moveToThread(m_thread);
    QPointer<QObject> context = m_ownerContext;
    m_server->toOwner = [context, owner](std::function<void(ProxyOwner*)> call) {
        QMetaObject::invokeMethod(
            context.data(),
            [context, owner, call = std::move(call)] {
                if (context)
                    call(owner);
            },
            Qt::QueuedConnection);
    };
    m_thread->start();
    quint16 port = 0;
    QMetaObject::invokeMethod(
        m_server,
        [this, &port] {
            if (m_server->listen(QHostAddress::LocalHost, 0))
                port = m_server->serverPort();
        },
        Qt::BlockingQueuedConnection);
    if (!port) {
        stop();
        return false;
    }
    m_port = port;
    return true;
}

void NetProxy::stop()
{
    if (m_thread) {
        QMetaObject::invokeMethod(
            m_server, [server = m_server] { server->closeAll(); delete server; },
            Qt::BlockingQueuedConnection);
        m_server = nullptr;
        m_thread->quit();
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    delete m_ownerContext;
    m_ownerContext = nullptr;
    m_port = 0;
}

void NetProxy::decide(quint64 exchange, RequestDecision decision)
{
    if (m_server)
        QMetaObject::invokeMethod(m_server, [server = m_server, exchange, decision]() {
            server->decide(exchange, decision);
        }, Qt::QueuedConnection);
}

void NetProxy::deliver(quint64 exchange, std::optional<ProxyResponse> response)
{
    if (m_server)
        QMetaObject::invokeMethod(m_server, [server = m_server, exchange, response]() {
            server->deliver(exchange, response);
        }, Qt::QueuedConnection);
}

}  // namespace engine
