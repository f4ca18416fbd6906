#pragma once
// The engine's in-process HTTP proxy. Chromium sends all its traffic here
// (loopback included): plain http requests arrive whole, with their real URL,
// method, headers and body; https and WebSocket traffic arrives as CONNECT
// tunnels, relayed untouched. Requests go on to the origin, or to the proxy
// set as Qt's application proxy (setProxy), which this proxy chains to.
//
// Untagged requests are relayed as they stream, never buffered. A request
// carrying the tag header (set by the page's request interceptor for views
// with network handlers), or one the owner's lookup tags, is read whole and handed to the owner, which decides
// whether it goes out, is answered at once or fails, and whether its response
// comes back to the owner whole before the page sees it.
//
// The proxy runs on a thread of its own; the owner is called on the thread
// that called start(), and answers through decide and deliver from any thread.
#include "engine/httpwire.h"

#include <QByteArray>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

class QObject;
class QThread;

namespace engine {

struct ProxyRequest {
    http::RequestHead head;  // target: the absolute URL
    QByteArray body;
};

struct ProxyResponse {
    http::ResponseHead head;
    QByteArray body;
};

struct RequestDecision {
    enum Action { Forward, Answer, Fail };
    Action action = Forward;
    // Forward: the request to send. Its body goes out with a Content-Length.
    ProxyRequest request;
    // Forward: the whole response goes to the owner (responseArrived) first.
    bool holdResponse = false;
    // Forward: the local address the connection leaves from (null: any).
    QHostAddress bindAddress;
    // Forward: the response's Set-Cookie fields are dropped (cookies off).
    bool withoutCookies = false;
    // Forward, response not held: fields set on the response's head (each
    // replacing the server's field of that name) before the page gets it.
    http::HeaderList responseFields;
    // Answer: the response the page gets; Content-Length is set from the body.
    ProxyResponse answer;
};

class ProxyOwner {
public:
    virtual ~ProxyOwner() = default;
    // A tagged request arrived whole (tag header removed). Answer with decide.
    virtual void requestArrived(quint64 exchange, const QByteArray& tag, const ProxyRequest& request) = 0;
    // A held response arrived whole (body de-chunked). Answer with deliver.
    virtual void responseArrived(quint64 exchange, const ProxyResponse& response) = 0;
    // The exchange is over: answered, failed, or the page went away. No call
    // about it follows.
    virtual void exchangeEnded(quint64 exchange) = 0;
};

class ProxyServer;
struct UpstreamSetting;

class NetProxy {
public:
    static constexpr char kTagHeader[] = "X-Tolvane-View";

    NetProxy();
    ~NetProxy();
    NetProxy(const NetProxy&) = delete;
    NetProxy& operator=(const NetProxy&) = delete;

    // The tag of an untagged request, looked up by method and absolute URL
    // (null: none). Called on the proxy's thread.
    using TagLookup = std::function<QByteArray(const QByteArray& method, const QByteArray& url)>;

    // Starts listening on 127.0.0.1 (a free port) in the proxy's thread; true
    // when listening. The owner's calls arrive on the calling thread. A
    // request without the tag header is tagged when lookup knows it.
    bool start(ProxyOwner* owner, TagLookup lookup = {});
    void stop();
    bool isRunning() const { return m_port != 0; }
    quint16 port() const { return m_port; }

    // The proxy that connections to other than loopback hosts go on through
    // (HTTP or SOCKS5; NoProxy: straight to the server). Until one is set,
    // Qt's application proxy. Any thread, before or after start.
    void setUpstream(const QNetworkProxy& proxy);

    void decide(quint64 exchange, RequestDecision decision);
    // nullopt: the request fails in the page.
    void deliver(quint64 exchange, std::optional<ProxyResponse> response);

private:
    QThread* m_thread = nullptr;
    ProxyServer* m_server = nullptr;  // lives in m_thread
    QObject* m_ownerContext = nullptr;
    quint16 m_port = 0;
    std::shared_ptr<UpstreamSetting> m_upstream;
};

}  // namespace engine
