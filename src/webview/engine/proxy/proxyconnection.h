#pragma once
// Inside the engine's proxy: the listening server, one connection from the
// engine and how it routes. For the proxy's own sources (netproxy.cpp: the
// connection and its HTTP handling; proxytls.cpp: the TLS it ends).
#include "engine/proxy/proxyexchange.h"
#include "engine/proxy/proxyroutes.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QMutex>
#include <QNetworkProxy>
#include <QPointer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

namespace engine {
namespace tls {
class Termination;
}
namespace proxy {

inline constexpr qsizetype kMaxHeadBytes = 256 * 1024;
// A body a hook must see whole is held in memory up to this size; a larger
// one fails instead of exhausting memory.
inline constexpr qint64 kMaxHeldBodyBytes = qint64(1) << 30;
// A compressed held body is undone for a hook up to this size; a larger one
// reaches the hook as it came.
inline constexpr qint64 kMaxDecodedBodyBytes = qint64(128) << 20;
// A relay stops reading its source while this much is still unsent to its sink.
inline constexpr qint64 kRelayHighWater = 4 << 20;
inline constexpr qint64 kRelayChunk = 256 * 1024;
inline constexpr qint64 kSocketReadBuffer = 1 << 20;
// A plain tunnel quiet for this long that starts a new exchange to a host
// whose TLS is now ended here is closed instead: the engine sends that
// request again on a new connection (it does so for a kept connection that
// closes before any answer), which the proxy can then see into.
inline constexpr qint64 kIdleTunnelMs = 500;

// Where a connection to host:port goes: straight there, to an HTTP proxy that
// takes absolute-form requests, or through a proxy Qt's socket speaks itself
// (SOCKS5, or CONNECT through an HTTP proxy). Loopback hosts never chain.
struct Route {
    QNetworkProxy socketProxy{QNetworkProxy::NoProxy};
    QString host;
    quint16 port = 0;
    bool viaHttpProxy = false;
    QByteArray proxyAuthorization;
};

Route routeFor(const QString& host, quint16 port, bool tunnel, const QNetworkProxy& chained);

// The tag header's value for tag under key, and the tag a value carries
// (null when its mark is not key's).
QByteArray markTag(const QByteArray& key, const QByteArray& tag);
QByteArray markedTag(const QByteArray& key, const QByteArray& value);

}  // namespace proxy

struct UpstreamSetting {
    QMutex mutex;
    std::optional<QNetworkProxy> proxy;

    QNetworkProxy current()
    {
        QMutexLocker lock(&mutex);
        return proxy ? *proxy : QNetworkProxy::applicationProxy();
    }
};

class ProxyConnection;

// The listening socket and the live connections; lives in the proxy's thread.
class ProxyServer : public QTcpServer {
public:
    std::function<void(std::function<void(ProxyOwner*)>)> toOwner;
    std::shared_ptr<RouteTable> routes;
    std::shared_ptr<UpstreamSetting> upstream;
    std::shared_ptr<tls::Termination> tls;
    QByteArray tagKey;

    void decide(quint64 exchange, RequestDecision decision);
    void deliver(quint64 exchange, std::optional<ProxyResponse> response);
    void forget(quint64 exchange) { m_connections.erase(exchange); }
    // A new exchange id for a connection that serves another request.
    quint64 adopt(ProxyConnection* connection);
    // Undoes a held response's content coding on a thread of its own, then
    // hands it to the exchange's connection.
    void decode(quint64 exchange, ProxyResponse response, const QByteArray& coding);
    void closeAll();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    quint64 m_nextExchange = 1;
    std::unordered_map<quint64, QPointer<ProxyConnection>> m_connections;
    // Last, so that it finishes its work before the server stops taking events.
    QThreadPool m_decoding;
};

// What one exchange on a connection (a request and its response) has read,
// decided and passed on. A connection kept for the engine's next request
// starts that exchange from a fresh one.
struct Exchange {
    // The request.
    http::RequestHead request;
    http::BodyFraming requestFraming;
    http::ChunkedDecoder requestChunks;
    qsizetype headSearched = 0;    // bytes of the client input known to hold no head end
    QByteArray tag;                // the view tag of a tagged request
    bool ownerKnows = false;
    bool requestBodyless = false;  // no request bytes stream to the server
    qint64 requestLeft = 0;        // body bytes still to stream (-1: chunked)
    QByteArray toUpstream;         // written once the upstream connection is up
    // What was decided about the response.
    bool holdResponse = false;
    bool withoutCookies = false;
    http::HeaderList responseFields;  // set on a streamed response's head
    // The response.
    QByteArray response;           // upstream bytes not passed on yet
    bool responseHeadDone = false;
    bool holdHeadRead = false;     // held response: head read, body follows
    http::ResponseHead holdHead;
    http::BodyFraming holdFraming;
    QByteArray holdBody;           // held body (Length, UntilClose)
    http::ChunkedDecoder holdChunks;
    bool sentToClient = false;
    bool keepClient = false;       // this response leaves the connection open
    qint64 responseLeft = 0;       // body bytes still to pass when kept
};

// One connection from Chromium. Serves one request (or one tunnel), then
// closes: every response tells the browser so. A connection whose TLS is
// ended here serves further requests when a response's end is known (its
// length, or written here whole) and the request streamed no body.
class ProxyConnection : public QObject {
public:
    ProxyConnection(QSslSocket* client, quint64 exchange, ProxyServer* server);
    ~ProxyConnection() override;

    void decide(RequestDecision decision);
    void deliver(std::optional<ProxyResponse> response);
    // The held response, its coding undone, goes to the owner.
    void handOver(ProxyResponse response);

private:
    enum class Stage { Head, Body, Deciding, Upstream, Tunnel, Holding, Delivering, Closing,
                       Verifying, Handshaking, Decoding };

    void onClientData();
    void onHead(const QByteArray& headBytes);
    void takeRequestBody(const QByteArray& bytes);
    void startUpstream(const QString& host, quint16 port, bool tunnel,
                       const QHostAddress& bindAddress = QHostAddress(), bool secure = false);
    QNetworkProxy upstreamProxy() const;
    bool beginTermination(const QString& host, quint16 port);
    void onServerVerified();
    void onServerUnverified();
    bool reclaimIdleTunnel();
    void onUpstreamConnected();
    void onUpstreamData();
    void onUpstreamClosed();
    void onUpstreamError();
    std::optional<http::ResponseHead> takeResponseHead(const QByteArray& bytes, bool upstreamClosed, bool streamed,
                                                       QByteArray* bodyStart);
    bool readResponseHead();
    void holdResponseBytes(const QByteArray& bytes, bool upstreamClosed);
    void writeResponse(ProxyResponse response);
    void fail(int status, const QByteArray& text);
    void closeClient();
    bool mayKeepClient() const;
    void nextExchange();
    void relay(QTcpSocket* from, QTcpSocket* to);

    QSslSocket* m_client;
    QTcpSocket* m_upstream = nullptr;
    // A connection whose TLS is ended here: its host and port, and the
    // server connection made (and verified) before the engine was answered.
    QString m_tlsHost;
    quint16 m_tlsPort = 0;
    QSslSocket* m_verified = nullptr;
    QNetworkProxy m_verifiedProxy;
    std::optional<QNetworkProxy> m_routeProxy;  // instead of the process-wide one
    bool m_upgrade = false;      // an upgraded request relayed raw (WebSocket)
    QString m_tunnelHost;        // a plain CONNECT tunnel's target
    quint16 m_tunnelPort = 0;
    QElapsedTimer m_tunnelActive;
    quint64 m_exchange;
    ProxyServer* m_server;
    Stage m_stage = Stage::Head;

    QByteArray m_in;         // client bytes not handled yet
    bool m_clientGone = false;
    // Keeping an ended-TLS connection for the engine's next request.
    std::optional<QNetworkProxy> m_connectRoute;  // the CONNECT's route
    Exchange m_current;
};

}  // namespace engine
