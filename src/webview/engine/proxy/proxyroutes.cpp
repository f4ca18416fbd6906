#include "engine/proxy/proxyroutes.h"

#include <QDateTime>
#include <QUrl>

namespace engine {
namespace {

QByteArray announcementKey(const QByteArray& method, const QUrl& url)
{
    return method + ' ' + url.adjusted(QUrl::RemoveFragment).toEncoded();
}

QString hostKey(const QString& host, quint16 port)
{
    return host.toLower() + QLatin1Char(':') + QString::number(port);
}

}  // namespace

void RouteTable::announceTag(const QByteArray& method, const QUrl& url, const QByteArray& tag)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QMutexLocker lock(&m_mutex);
    for (auto it = m_announced.begin(); it != m_announced.end();)
        it = now - it->second.second > kKeptMs ? m_announced.erase(it) : std::next(it);
    m_announced.emplace(announcementKey(method, url), std::make_pair(tag, now));
}

QByteArray RouteTable::takeAnnouncedTag(const QByteArray& method, const QByteArray& url)
{
    QMutexLocker lock(&m_mutex);
    if (m_announced.empty())
        return {};
    const auto found = m_announced.find(announcementKey(method, QUrl::fromEncoded(url)));
    if (found == m_announced.end())
        return {};
    const QByteArray tag = found->second.first;
    m_announced.erase(found);
    return tag;
}

void RouteTable::claimHost(const QString& host, quint16 port, quint64 viewId)
{
    QMutexLocker lock(&m_mutex);
    m_hosts[hostKey(host, port)] = {QDateTime::currentMSecsSinceEpoch(), viewId};
}

ConnectPlan RouteTable::planConnect(const QString& host, quint16 port)
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_hosts.find(hostKey(host, port));
    if (found == m_hosts.end())
        return {};
    if (QDateTime::currentMSecsSinceEpoch() - found->second.time > kKeptMs) {
        m_hosts.erase(found);
        return {};
    }
    ConnectPlan plan;
    plan.terminate = true;
    const auto proxy = m_viewProxies.find(found->second.viewId);
    if (proxy != m_viewProxies.end())
        plan.upstream = proxy->second;
    return plan;
}

void RouteTable::setViewProxy(quint64 viewId, const QNetworkProxy& proxy)
{
    QMutexLocker lock(&m_mutex);
    m_viewProxies[viewId] = proxy;
}

void RouteTable::forgetView(quint64 viewId)
{
    QMutexLocker lock(&m_mutex);
    m_viewProxies.erase(viewId);
}

}  // namespace engine
