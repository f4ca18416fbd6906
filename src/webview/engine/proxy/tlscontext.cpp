#include "engine/proxy/tlscontext.h"

#include "engine/proxy/enginetrust.h"

#include <QSslCipher>
#include <QSslSocket>

namespace engine::tls {

std::shared_ptr<Context> Context::create()
{
    if (!QSslSocket::supportsSsl())
        return nullptr;
    auto authority = Authority::create(QStringLiteral("Tolvane interception authority"));
    if (!authority)
        return nullptr;
    return std::shared_ptr<Context>(new Context(std::move(authority)));
}

QSslConfiguration Context::serverConfiguration(const QString& host)
{
    const QString key = host.toLower();
    Identity identity;
    {
        QMutexLocker lock(&m_mutex);
        const auto found = m_leaves.find(key);
        if (found != m_leaves.end())
            identity = found->second;
    }
    if (identity.isNull()) {
        identity = m_authority->issue(key);
        if (identity.isNull())
            return {};
        QMutexLocker lock(&m_mutex);
        m_leaves.emplace(key, identity);
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain({identity.certificate, m_authority->certificate()});
    config.setPrivateKey(identity.key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    config.setAllowedNextProtocols({QByteArray(QSslConfiguration::NextProtocolHttp1_1)});
    return config;
}

namespace {

// What the engine offers a server: TLS 1.3, and TLS 1.2 with forward-secret
// AEAD suites only. A server that offers nothing else fails here as it fails
// in the engine.
QList<QSslCipher> engineCiphers()
{
    QList<QSslCipher> ciphers;
    for (const QSslCipher& cipher : QSslConfiguration::supportedCiphers()) {
        const QString name = cipher.name();
        const bool tls13 = cipher.protocol() == QSsl::TlsV1_3;
        const bool forwardSecretAead =
            cipher.protocol() == QSsl::TlsV1_2 && name.startsWith(QLatin1String("ECDHE-")) &&
            (name.contains(QLatin1String("-GCM-")) || name.contains(QLatin1String("CHACHA20-POLY1305")));
        if (tls13 || forwardSecretAead)
            ciphers << cipher;
    }
    return ciphers;
}

}  // namespace

QSslConfiguration Context::upstreamConfiguration() const
{
    static const QList<QSslCipher> ciphers = engineCiphers();
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setProtocol(QSsl::TlsV1_2OrLater);
    config.setCiphers(ciphers);
    // The engine's authorities in place of the system's store (setting them
    // also stops Qt loading the system's on demand).
    QList<QSslCertificate> authorities = engineAuthorities();
    {
        QMutexLocker lock(&m_mutex);
        authorities << m_extraTrust;
    }
    config.setCaCertificates(authorities);
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    config.setAllowedNextProtocols({QByteArray(QSslConfiguration::NextProtocolHttp1_1)});
    return config;
}

bool Context::serveEngine(QSslSocket* client, const QString& host, const QByteArray& answer)
{
    const QSslConfiguration config = serverConfiguration(host);
    if (config.isNull())
        return false;
    client->write(answer);
    client->setSslConfiguration(config);
    client->startServerEncryption();
    return true;
}

QSslSocket* Context::reachServer(const QString& host, QObject* parent)
{
    auto* socket = new QSslSocket(parent);
    socket->setSslConfiguration(upstreamConfiguration());
    socket->setPeerVerifyName(host);
    return socket;
}

void Context::addUpstreamAuthority(const QSslCertificate& authority)
{
    QMutexLocker lock(&m_mutex);
    m_extraTrust << authority;
}

}  // namespace engine::tls
