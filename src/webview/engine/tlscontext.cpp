#include "engine/tlscontext.h"

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

QSslConfiguration Context::upstreamConfiguration() const
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    {
        QMutexLocker lock(&m_mutex);
        if (!m_extraTrust.isEmpty())
            config.addCaCertificates(m_extraTrust);
    }
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    config.setAllowedNextProtocols({QByteArray(QSslConfiguration::NextProtocolHttp1_1)});
    return config;
}

void Context::addUpstreamAuthority(const QSslCertificate& authority)
{
    QMutexLocker lock(&m_mutex);
    m_extraTrust << authority;
}

}  // namespace engine::tls
