#include "engine/proxy/enginetrust.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QMutex>
#include <QThreadPool>

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

// Reading NSS's set takes tens of milliseconds (on a loaded machine), too
// long for every connection on the proxy's one thread: the set is kept and
// read again in the background when it is older than this on use.
constexpr qint64 kRefreshMs = 10000;

struct Cache {
    QMutex reading;  // one reading of NSS at a time
    QMutex mutex;    // guards the fields below
    QList<QSslCertificate> list;
    QByteArray digest;
    QElapsedTimer age;  // invalid until the first reading
    bool refreshing = false;
};

Cache& theCache()
{
    static Cache cache;
    return cache;
}

// Reads the set again; with firstOnly, only when no reading has finished.
void refresh(Cache& cache, bool firstOnly = false)
{
    QMutexLocker one(&cache.reading);
    if (firstOnly) {
        QMutexLocker lock(&cache.mutex);
        if (cache.age.isValid())
            return;
    }
    QList<QByteArray> ders;
    if (CERTCertList* list = PK11_ListCerts(PK11CertListCA, nullptr)) {
        for (CERTCertListNode* node = CERT_LIST_HEAD(list); !CERT_LIST_END(node, list);
             node = CERT_LIST_NEXT(node)) {
            if (trustedForServers(node->cert))
                ders << QByteArray(reinterpret_cast<const char*>(node->cert->derCert.data),
                                   int(node->cert->derCert.len));
        }
        CERT_DestroyCertList(list);
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QByteArray& der : ders) {
        hash.addData(QByteArray::number(der.size()));
        hash.addData(der);
    }
    const QByteArray digest = hash.result();
    QList<QSslCertificate> parsed;
    {
        QMutexLocker lock(&cache.mutex);
        if (digest == cache.digest) {
            cache.age.restart();
            cache.refreshing = false;
            return;
        }
    }
    // Parsed again only when the set changed.
    parsed.reserve(ders.size());
    for (const QByteArray& der : ders) {
        QSslCertificate certificate(der, QSsl::Der);
        if (!certificate.isNull())
            parsed << certificate;
    }
    QMutexLocker lock(&cache.mutex);
    cache.list = std::move(parsed);
    cache.digest = digest;
    cache.age.restart();
    cache.refreshing = false;
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
    // The built-in roots under the name the engine loads them by. The
    // engine's own load of the library then fails (it logs one line) and
    // this module, kept for the process's life, serves it instead.
    char roots[] = "name=\"Root Certs\" library=\"libnssckbi.so\"";
    SECMOD_LoadUserModule(roots, nullptr, PR_FALSE);
    // The first reading, while the engine starts.
    QThreadPool::globalInstance()->start([] { engineAuthorities(); });
}

QList<QSslCertificate> engineAuthorities()
{
    if (!NSS_IsInitialized())
        return {};
    Cache& cache = theCache();
    {
        QMutexLocker lock(&cache.mutex);
        if (cache.age.isValid()) {
            if (cache.age.elapsed() > kRefreshMs && !cache.refreshing) {
                cache.refreshing = true;
                QThreadPool::globalInstance()->start([] { refresh(theCache()); });
            }
            return cache.list;
        }
    }
    refresh(cache, true);  // the first reading is waited for
    QMutexLocker lock(&cache.mutex);
    return cache.list;
}

}  // namespace engine::tls
