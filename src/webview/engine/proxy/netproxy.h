#pragma once
// The engine's in-process HTTP proxy. Chromium sends all its traffic here
// (loopback included): plain http requests arrive whole, with their real URL,
// method, headers and body; https and WebSocket traffic arrives as CONNECT
// tunnels. It serves connections opened by this process only (Chromium's
// network code runs here); any other is closed unread. A tunnel is relayed
// untouched unless the route table plans its TLS to be ended here: then the
// proxy first reaches the server over TLS itself (checking its certificate
// against the authorities the engine trusts and its host name, offering the
// engine's suites only; a server that fails that check gets a plain tunnel,
// so the engine meets its certificate and decides as it would without the
// proxy), then shows the engine a leaf certificate for the host signed by
// this run's authority,
// and handles the https requests inside as it handles http ones. Requests go
// on to the origin, or to the proxy the owner's decision names, or to the
// process-wide upstream (setUpstream), which this proxy chains to.
//
// Untagged requests are relayed as they stream, never buffered. A request
// carrying the tag header with this proxy's mark (tagValue; set by the
// page's request interceptor for views with network handlers), or one the
// route table has announced, is read whole and handed to the owner, which
// decides whether it goes out, is answered at once or fails, and whether its
// response comes back to the owner whole before the page sees it.
//
// The proxy runs on a thread of its own; the owner is called on the thread
// that called start(), and answers through decide and deliver from any thread.
#include "engine/proxy/proxyexchange.h"
#include "engine/proxy/proxyroutes.h"

#include <QByteArray>
#include <QNetworkProxy>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

class QObject;
class QThread;

namespace engine {

namespace tls {
class Context;
class Termination;
}
class ProxyServer;
struct UpstreamSetting;

class NetProxy {
public:
    static constexpr char kTagHeader[] = "X-Tolvane-View";

    NetProxy();
    ~NetProxy();
    // The value of the tag header that tags a request with tag: the tag and
    // a mark made from it with a key drawn afresh for each proxy, so that no
    // page or other process can make one. The proxy removes the header from
    // every request; one without a valid mark tags nothing. Any thread.
    QByteArray tagValue(const QByteArray& tag) const;

    NetProxy(const NetProxy&) = delete;
    NetProxy& operator=(const NetProxy&) = delete;

    // Starts listening on 127.0.0.1 (a free port) in the proxy's thread; true
    // when listening. The owner's calls arrive on the calling thread. A
    // request without the tag header is tagged when the route table has it
    // announced; tunnels are ended here for the hosts it plans so, given a
    // TLS context (setTls).
    bool start(ProxyOwner* owner);
    // The proxy's route table. Any thread.
    RouteTable& routes() { return *m_routes; }
    // Before start.
    void setTls(std::shared_ptr<tls::Context> context) { m_tls = std::move(context); }
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
    std::shared_ptr<tls::Context> m_tls;
    QByteArray m_tagKey;
    std::shared_ptr<RouteTable> m_routes;
};

}  // namespace engine
