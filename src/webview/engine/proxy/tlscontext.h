#pragma once
// The TLS side of the engine's proxy: the leaf certificates the engine is
// shown for connections the proxy ends (signed by this run's authority,
// made once per host), and the trust upstream servers are checked against
// (the engine's own, see enginetrust.h).
#include "engine/proxy/tlscerts.h"

#include <QList>
#include <QMutex>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

#include <map>
#include <memory>

class QObject;
class QSslSocket;

namespace engine::tls {

// How a proxy connection ends TLS: the one part of TLS its exchanges call.
class Termination {
public:
    virtual ~Termination() = default;
    // The engine's side of a tunnel to host: writes answer in clear (the
    // CONNECT's reply), then starts the handshake as a server showing a leaf
    // for host signed by this run's authority. False, nothing written, when
    // host cannot have a leaf.
    virtual bool serveEngine(QSslSocket* client, const QString& host, const QByteArray& answer) = 0;
    // A socket, not connected yet, that reaches host over TLS checked as the
    // engine checks a server: the engine's authorities, host's name, the
    // engine's suites and versions only, HTTP/1.1.
    virtual QSslSocket* reachServer(const QString& host, QObject* parent) = 0;
};

class Context : public Termination {
public:
    // Null when no authority could be made (interception stays off).
    static std::shared_ptr<Context> create();

    // Base64 SHA-256 of the authority's public key, for the engine's trust.
    QByteArray authorityKeyHash() const { return m_authority->publicKeyHash(); }
    QSslCertificate authorityCertificate() const { return m_authority->certificate(); }

    bool serveEngine(QSslSocket* client, const QString& host, const QByteArray& answer) override;
    QSslSocket* reachServer(const QString& host, QObject* parent) override;
    // Adds an authority upstream servers may be signed by. Tests only.
    void addUpstreamAuthority(const QSslCertificate& authority);

private:
    explicit Context(std::unique_ptr<Authority> authority) : m_authority(std::move(authority)) {}
    // The configuration the engine's side ends TLS with for host (HTTP/1.1
    // only); null when host cannot have a leaf.
    QSslConfiguration serverConfiguration(const QString& host);
    // The configuration servers are reached with.
    QSslConfiguration upstreamConfiguration() const;

    std::unique_ptr<Authority> m_authority;
    mutable QMutex m_mutex;
    std::map<QString, Identity> m_leaves;  // by lower-case host
    QList<QSslCertificate> m_extraTrust;
};

}  // namespace engine::tls
