#pragma once
// Certificates made in memory with OpenSSL: a certificate authority made
// fresh for each run (its private key never leaves the process) and the leaf
// certificates it signs for the hosts whose TLS the engine's proxy ends.
#include <QByteArray>
#include <QDateTime>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

#include <memory>

namespace engine::tls {

struct Identity {
    QSslCertificate certificate;
    QSslKey key;
    bool isNull() const { return certificate.isNull() || key.isNull(); }
};

class Authority {
public:
    // A new authority (P-256 key, self-signed) named commonName; a null
    // authority when OpenSSL fails.
    static std::unique_ptr<Authority> create(const QString& commonName);
    ~Authority();
    Authority(const Authority&) = delete;
    Authority& operator=(const Authority&) = delete;

    QSslCertificate certificate() const { return m_certificate; }
    // Base64 of the SHA-256 of the authority's public key (SubjectPublicKeyInfo).
    QByteArray publicKeyHash() const;

    // A leaf for host (a name, or an IP address) valid from notBefore to
    // notAfter, with the host as its subject alternative name. Null on failure.
    Identity issue(const QString& host, const QDateTime& notBefore, const QDateTime& notAfter) const;
    // The same, valid from a day ago for a year.
    Identity issue(const QString& host) const;

private:
    struct Keys;
    explicit Authority(std::unique_ptr<Keys> keys);

    std::unique_ptr<Keys> m_keys;
    QSslCertificate m_certificate;
};

}  // namespace engine::tls
