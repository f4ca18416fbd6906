#include "engine/proxy/tlscerts.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QRegularExpression>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace engine::tls {
namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
    void operator()(X509* cert) const { X509_free(cert); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertPtr = std::unique_ptr<X509, CertFree>;

KeyPtr newKey()
{
    return KeyPtr(EVP_EC_gen("P-256"));
}

template <typename Write>
QByteArray toPem(Write write)
{
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio)
        return {};
    QByteArray out;
    if (write(bio)) {
        char* data = nullptr;
        const long size = BIO_get_mem_data(bio, &data);
        out = QByteArray(data, int(size));
    }
    BIO_free(bio);
    return out;
}

QSslCertificate toQt(X509* cert)
{
    return QSslCertificate(toPem([cert](BIO* bio) { return PEM_write_bio_X509(bio, cert) == 1; }), QSsl::Pem);
}

QSslKey toQt(EVP_PKEY* key)
{
    return QSslKey(toPem([key](BIO* bio) {
                       return PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
                   }),
                   QSsl::Ec, QSsl::Pem);
}

bool addExtension(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        return false;
    const bool added = X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

// A certificate with a random serial, the subject commonName and the
// validity given; issuer and signature are set by the caller.
CertPtr newCertificate(EVP_PKEY* key, const QString& commonName, const QDateTime& notBefore,
                       const QDateTime& notAfter)
{
    CertPtr cert(X509_new());
    if (!cert || X509_set_version(cert.get(), 2) != 1)
        return {};
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        return {};
    serial[0] &= 0x7f;  // positive
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool serialSet = number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get()));
    BN_free(number);
    if (!serialSet)
        return {};
    if (!ASN1_TIME_set(X509_getm_notBefore(cert.get()), time_t(notBefore.toSecsSinceEpoch())) ||
        !ASN1_TIME_set(X509_getm_notAfter(cert.get()), time_t(notAfter.toSecsSinceEpoch())))
        return {};
    const QByteArray cn = commonName.toUtf8().left(64);
    X509_NAME* name = X509_get_subject_name(cert.get());
    if (X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(cn.constData()),
                                   int(cn.size()), -1, 0) != 1)
        return {};
    if (X509_set_pubkey(cert.get(), key) != 1)
        return {};
    return cert;
}

}  // namespace

struct Authority::Keys {
    KeyPtr key;
    CertPtr cert;
};

Authority::Authority(std::unique_ptr<Keys> keys) : m_keys(std::move(keys)), m_certificate(toQt(m_keys->cert.get())) {}

Authority::~Authority() = default;

std::unique_ptr<Authority> Authority::create(const QString& commonName)
{
    auto keys = std::make_unique<Keys>();
    keys->key = newKey();
    if (!keys->key)
        return nullptr;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    keys->cert = newCertificate(keys->key.get(), commonName, now.addDays(-1), now.addYears(2));
    X509* cert = keys->cert.get();
    if (!cert || X509_set_issuer_name(cert, X509_get_subject_name(cert)) != 1 ||
        !addExtension(cert, cert, NID_basic_constraints, "critical,CA:TRUE,pathlen:0") ||
        !addExtension(cert, cert, NID_key_usage, "critical,keyCertSign,cRLSign") ||
        !addExtension(cert, cert, NID_subject_key_identifier, "hash") ||
        X509_sign(cert, keys->key.get(), EVP_sha256()) <= 0)
        return nullptr;
    return std::unique_ptr<Authority>(new Authority(std::move(keys)));
}

QByteArray Authority::publicKeyHash() const
{
    unsigned char* der = nullptr;
    const int size = i2d_PUBKEY(m_keys->key.get(), &der);
    if (size <= 0)
        return {};
    const QByteArray hash =
        QCryptographicHash::hash(QByteArrayView(der, size), QCryptographicHash::Sha256).toBase64();
    OPENSSL_free(der);
    return hash;
}

Identity Authority::issue(const QString& host) const
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return issue(host, now.addDays(-1), now.addYears(1));
}

Identity Authority::issue(const QString& host, const QDateTime& notBefore, const QDateTime& notAfter) const
{
    // The host goes into OpenSSL's extension text: names and addresses only.
    static const QRegularExpression plainHost(QStringLiteral("^[A-Za-z0-9._:-]{1,253}$"));
    if (!plainHost.match(host).hasMatch())
        return Identity();
    KeyPtr key = newKey();
    if (!key)
        return Identity();
    CertPtr cert = newCertificate(key.get(), host, notBefore, notAfter);
    X509* issuer = m_keys->cert.get();
    const QByteArray altName =
        (QHostAddress(host).isNull() ? "DNS:" : "IP:") + host.toUtf8();
    if (!cert || X509_set_issuer_name(cert.get(), X509_get_subject_name(issuer)) != 1 ||
        !addExtension(cert.get(), issuer, NID_basic_constraints, "critical,CA:FALSE") ||
        !addExtension(cert.get(), issuer, NID_key_usage, "critical,digitalSignature") ||
        !addExtension(cert.get(), issuer, NID_ext_key_usage, "serverAuth") ||
        !addExtension(cert.get(), issuer, NID_authority_key_identifier, "keyid:always") ||
        !addExtension(cert.get(), issuer, NID_subject_alt_name, altName.constData()) ||
        X509_sign(cert.get(), m_keys->key.get(), EVP_sha256()) <= 0)
        return Identity();
    return {toQt(cert.get()), toQt(key.get())};
}

}  // namespace engine::tls
