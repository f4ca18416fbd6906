#pragma once
// The TLS side of the engine's proxy: the leaf certificates the engine is
// shown for connections the proxy ends (signed by this run's authority,
// made once per host), and the trust upstream servers are checked against.
#include "engine/proxy/tlscerts.h"

#include <QList>
#include <QMutex>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <map>
#include <memory>

namespace engine::tls {

class Context {
public:
    // Null when no authority could be made (interception stays off).
    static std::shared_ptr<Context> create();

    // Base64 SHA-256 of the authority's public key, for the engine's trust.
    QByteArray authorityKeyHash() const { return m_authority->publicKeyHash(); }
    QSslCertificate authorityCertificate() const { return m_authority->certificate(); }

    // The configuration a client-side socket of the proxy ends TLS with for
    // host (HTTP/1.1 only); null identity when host cannot have a leaf.
    QSslConfiguration serverConfiguration(const QString& host);
    // The configuration the proxy reaches a server with: the system's trusted
    // authorities (and those added for tests), peer and host name checked.
    QSslConfiguration upstreamConfiguration() const;
    // Adds an authority upstream servers may be signed by. Tests only.
    void addUpstreamAuthority(const QSslCertificate& authority);

private:
    explicit Context(std::unique_ptr<Authority> authority) : m_authority(std::move(authority)) {}

    std::unique_ptr<Authority> m_authority;
    mutable QMutex m_mutex;
    std::map<QString, Identity> m_leaves;  // by lower-case host
    QList<QSslCertificate> m_extraTrust;
};

}  // namespace engine::tls
