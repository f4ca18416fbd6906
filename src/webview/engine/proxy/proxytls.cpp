// The TLS side of a proxy connection: ending a tunnel's TLS after checking
// the server, falling back to a plain tunnel, and taking back kept tunnels.
#include "engine/proxy/proxyconnection.h"

#include "engine/proxy/tlscontext.h"

#include <QUrl>

namespace engine {

using namespace proxy;

namespace {

// Whether the requests inside a connection to host:port can be read as URLs.
// A name the URL parser refuses keeps a plain tunnel, so that the engine
// decides about it as it would without the proxy.
bool servesHttpsTo(const QString& host, quint16 port)
{
    const QUrl url(QString::fromLatin1(http::httpsUrl(host, port, "/")));
    return url.isValid() && !url.host().isEmpty();
}

}  // namespace

QNetworkProxy ProxyConnection::upstreamProxy() const
{
    return m_routeProxy ? *m_routeProxy : m_server->upstream->current();
}

// Ends the tunnel's TLS here when the connect lookup asks for it: first the
// server is reached and checked, then the engine is answered. False: the
// tunnel stays plain.
bool ProxyConnection::beginTermination(const QString& host, quint16 port)
{
    if (!m_server->tls || !m_in.isEmpty())
        return false;
    const ConnectPlan plan = m_server->routes->planConnect(host, port);
    if (!plan.terminate || !servesHttpsTo(host, port))
        return false;
    m_tlsHost = host;
    m_tlsPort = port;
    m_routeProxy = plan.upstream;
    m_connectRoute = plan.upstream;
    m_stage = Stage::Verifying;
    m_verifiedProxy = upstreamProxy();
    const Route route = routeFor(host, port, true, m_verifiedProxy);
    m_verified = m_server->tls->reachServer(host, this);
    m_verified->setProxy(route.socketProxy);
    m_verified->setReadBufferSize(kSocketReadBuffer);
    connect(m_verified, &QSslSocket::encrypted, this, [this] { onServerVerified(); });
    connect(m_verified, &QSslSocket::errorOccurred, this, [this] { onServerUnverified(); });
    m_verified->connectToHostEncrypted(route.host, route.port);
    return true;
}

void ProxyConnection::onServerVerified()
{
    disconnect(m_verified, nullptr, this, nullptr);
    connect(m_client, &QSslSocket::encrypted, this, [this] {
        m_stage = Stage::Head;
        onClientData();
    });
    m_stage = Stage::Handshaking;
    if (!m_server->tls->serveEngine(m_client, m_tlsHost, "HTTP/1.1 200 Connection established\r\n\r\n")) {
        disconnect(m_client, &QSslSocket::encrypted, this, nullptr);
        onServerUnverified();
    }
}

// The server could not be reached over TLS with a certificate the engine
// trusts for its name: the engine gets a plain tunnel and meets the server's
// own certificate (or the same failure) as without the proxy.
void ProxyConnection::onServerUnverified()
{
    if (m_verified) {
        disconnect(m_verified, nullptr, this, nullptr);
        m_verified->abort();
        m_verified->deleteLater();
        m_verified = nullptr;
    }
    const QString host = std::exchange(m_tlsHost, QString());
    m_stage = Stage::Tunnel;
    m_tunnelHost = host;
    m_tunnelPort = m_tlsPort;
    startUpstream(host, m_tlsPort, true);
}

// A plain tunnel to a host whose TLS is now ended here, starting a new
// exchange after a quiet spell, is closed before it passes anything on.
bool ProxyConnection::reclaimIdleTunnel()
{
    const bool quiet = m_tunnelActive.isValid() && m_tunnelActive.elapsed() > kIdleTunnelMs;
    m_tunnelActive.restart();
    if (!quiet || m_upgrade || m_tunnelHost.isEmpty() || !m_server->tls ||
        !m_server->routes->planConnect(m_tunnelHost, m_tunnelPort).terminate)
        return false;
    m_stage = Stage::Closing;
    if (m_upstream) {
        disconnect(m_upstream, nullptr, this, nullptr);
        m_upstream->abort();
    }
    m_client->abort();
    deleteLater();
    return true;
}

}  // namespace engine
