#include "engine/proxy/enginetrust.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QMutex>

#include <sys/stat.h>

// NSS names a field "slots", a word Qt's headers define.
#pragma push_macro("slots")
#undef slots
#include <cert.h>
#include <certdb.h>
#include <nss.h>
#include <pk11pub.h>
#include <secmod.h>
#pragma pop_macro("slots")

namespace engine::tls {

namespace {

// A server authority for the engine: its SSL trust names it a trusted CA.
// A terminal record without that flag is a distrust entry.
bool trustedForServers(CERTCertificate* certificate)
{
    CERTCertTrust trust;
    if (CERT_GetCertTrust(certificate, &trust) != SECSuccess)
        return false;
    return (SEC_GET_TRUST_FLAGS(&trust, trustSSL) & CERTDB_TRUSTED_CA) == CERTDB_TRUSTED_CA;
}

}  // namespace

void prepareEngineTrust()
{
    if (NSS_IsInitialized())
        return;
    bool ready = false;
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty()) {
        const QByteArray pki = home + "/.pki";
        const QByteArray database = pki + "/nssdb";
        // Made for the user alone when missing; an existing one is used as it is.
        ::mkdir(pki.constData(), 0700);
        ::mkdir(database.constData(), 0700);
        ready = NSS_InitReadWrite(QByteArray("sql:" + database).constData()) == SECSuccess;
    }
    if (!ready && NSS_NoDB_Init(nullptr) != SECSuccess)
        return;
    // The built-in roots under the name the engine loads them by; NSS hands
    // the engine this module when it loads the same library. Kept for the
    // process's life, as the engine keeps it.
    char roots[] = "name=\"Root Certs\" library=\"libnssckbi.so\"";
    SECMOD_LoadUserModule(roots, nullptr, PR_FALSE);
}

QList<QSslCertificate> engineAuthorities()
{
    // The set is read afresh each time (the user may add to the database
    // while the program runs); parsing is redone only when it changed.
    static QMutex mutex;
    static QByteArray lastDigest;
    static QList<QSslCertificate> last;

    if (!NSS_IsInitialized())
        return {};
    QList<QByteArray> ders;
    CERTCertList* list = PK11_ListCerts(PK11CertListCA, nullptr);
    if (!list)
        return {};
    for (CERTCertListNode* node = CERT_LIST_HEAD(list); !CERT_LIST_END(node, list); node = CERT_LIST_NEXT(node)) {
        if (trustedForServers(node->cert))
            ders << QByteArray(reinterpret_cast<const char*>(node->cert->derCert.data), int(node->cert->derCert.len));
    }
    CERT_DestroyCertList(list);

    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QByteArray& der : ders) {
        hash.addData(QByteArray::number(der.size()));
        hash.addData(der);
    }
    const QByteArray digest = hash.result();
    QMutexLocker lock(&mutex);
    if (digest != lastDigest) {
        QList<QSslCertificate> parsed;
        parsed.reserve(ders.size());
        for (const QByteArray& der : ders) {
            QSslCertificate certificate(der, QSsl::Der);
            if (!certificate.isNull())
                parsed << certificate;
        }
        last = std::move(parsed);
        lastDigest = digest;
    }
    return last;
}

}  // namespace engine::tls
