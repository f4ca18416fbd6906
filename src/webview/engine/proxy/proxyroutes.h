#pragma once
// The engine proxy's one route table: which view an untagged request belongs
// to, which https hosts have their TLS ended and through which proxy, and the
// proxies of single views. The views' side writes it (the UI thread), the
// proxy's thread reads it.
#include <QByteArray>
#include <QMutex>
#include <QNetworkProxy>
#include <QString>

#include <map>
#include <optional>

class QUrl;

namespace engine {

// What to do with a CONNECT tunnel to a host: relay it, or end its TLS here
// (and, when given, reach the server through upstream).
struct ConnectPlan {
    bool terminate = false;
    std::optional<QNetworkProxy> upstream;
};

class RouteTable {
public:
    // How long an announcement or a host's claim lasts.
    static constexpr qint64 kKeptMs = 60000;

    // The view tag of a request that cannot carry the tag field (its field
    // would need a CORS preflight), announced by method and URL.
    void announceTag(const QByteArray& method, const QUrl& url, const QByteArray& tag);
    // The tag of the oldest announcement of method and absolute url, taken;
    // null when none.
    QByteArray takeAnnouncedTag(const QByteArray& method, const QByteArray& url);

    // The view asks for host:port over https: its TLS is ended here for the
    // next minute.
    void claimHost(const QString& host, quint16 port, quint64 viewId);
    ConnectPlan planConnect(const QString& host, quint16 port);

    // The proxy a view's requests go through instead of the process-wide one.
    void setViewProxy(quint64 viewId, const QNetworkProxy& proxy);
    void forgetView(quint64 viewId);

private:
    struct HostClaim {
        qint64 time = 0;
        quint64 viewId = 0;
    };

    QMutex m_mutex;
    std::multimap<QByteArray, std::pair<QByteArray, qint64>> m_announced;  // key -> (tag, time)
    std::map<QString, HostClaim> m_hosts;  // "host:port", host in lower case
    std::map<quint64, QNetworkProxy> m_viewProxies;
};

}  // namespace engine
