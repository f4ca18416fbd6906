// Cookie functions of the engine interface. Cookies live in the cookie store
// of the view's profile. Qt's store reports the cookies set while it runs but
// not those Chromium restores from disk, so the cookies of a page are read
// from the page itself (document.cookie) and completed with the HttpOnly
// ones the store reported.
#include "engine/cookies.h"

#include "engine/enginepage.h"
#include "engine/events.h"

#include <QEventLoop>
#include <QNetworkCookie>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <atomic>
#include <map>
#include <memory>

namespace engine {
namespace {

// How long wkeSetCookie waits for the store to confirm a cookie, so that a
// page loaded next is sure to be sent it.
constexpr int kSetConfirmMs = 1000;
constexpr int kPageReadMs = 3000;

struct CookieAccount {
    // Read by the store's filter, which Qt may call off the UI thread.
    std::shared_ptr<std::atomic<bool>> enabled = std::make_shared<std::atomic<bool>>(true);
    QList<QNetworkCookie> cookies;  // reported by the store since start-up
    int added = 0;                  // count of cookieAdded reports
};

std::map<QWebEngineProfile*, std::unique_ptr<CookieAccount>>& accounts()
{
    static auto* a = new std::map<QWebEngineProfile*, std::unique_ptr<CookieAccount>>;
    return *a;
}

CookieAccount* accountFor(QWebEngineProfile* profile)
{
    if (!profile)
        return nullptr;
    auto& all = accounts();
    const auto found = all.find(profile);
    if (found != all.end())
        return found->second.get();
    auto account = std::make_unique<CookieAccount>();
    CookieAccount* a = account.get();
    all[profile] = std::move(account);
    QWebEngineCookieStore* store = profile->cookieStore();
    QObject::connect(profile, &QObject::destroyed, [profile] { accounts().erase(profile); });
    QObject::connect(store, &QWebEngineCookieStore::cookieAdded, store, [a](const QNetworkCookie& cookie) {
        a->cookies.removeIf([&](const QNetworkCookie& c) { return c.hasSameIdentifier(cookie); });
        a->cookies.append(cookie);
        ++a->added;
    });
    QObject::connect(store, &QWebEngineCookieStore::cookieRemoved, store, [a](const QNetworkCookie& cookie) {
        a->cookies.removeIf([&](const QNetworkCookie& c) { return c.hasSameIdentifier(cookie); });
    });
    // Qt consults the filter when scripts use cookies; the proxy keeps them
    // off plain http requests (network.cpp).
    store->setCookieFilter([enabled = a->enabled](const QWebEngineCookieStore::FilterRequest&) {
        return enabled->load();
    });
    // The cookies restored from disk are reported too, so that the account
    // knows every cookie of the profile.
    store->loadAllCookies();
    return a;
}

bool domainMatches(const QString& host, const QString& cookieDomain)
{
    if (cookieDomain.isEmpty())
        return false;
    QString domain = cookieDomain;
    if (domain.startsWith(QLatin1Char('.')))
        domain.remove(0, 1);
    return host.compare(domain, Qt::CaseInsensitive) == 0 ||
           host.endsWith(QLatin1Char('.') + domain, Qt::CaseInsensitive);
}

bool pathMatches(const QString& path, const QString& cookiePath)
{
    if (cookiePath.isEmpty() || cookiePath == QLatin1String("/"))
        return true;
    if (!path.startsWith(cookiePath))
        return false;
    return path.size() == cookiePath.size() || cookiePath.endsWith(QLatin1Char('/')) ||
           path.at(cookiePath.size()) == QLatin1Char('/');
}

// The account's cookies that a request to url would carry (only the HttpOnly
// ones when httpOnlyOnly).
QList<QNetworkCookie> cookiesFor(const CookieAccount& account, const QUrl& url, bool httpOnlyOnly)
{
    QList<QNetworkCookie> found;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString path = url.path().isEmpty() ? QStringLiteral("/") : url.path();
    for (const QNetworkCookie& c : account.cookies) {
        if ((httpOnlyOnly && !c.isHttpOnly()) || !domainMatches(url.host(), c.domain()) || !pathMatches(path, c.path()))
            continue;
        if (c.isSecure() && url.scheme() != QLatin1String("https"))
            continue;
        if (!c.isSessionCookie() && c.expirationDate() <= now)
            continue;
        found << c;
    }
    return found;
}

struct CookieText {
    std::u16string text;
};

}  // namespace

void copyCookies(QWebEngineProfile* from, QWebEngineProfile* to)
{
    const CookieAccount* account = accountFor(from);
    if (!account || !to)
        return;
    accountFor(to);
    for (const QNetworkCookie& c : account->cookies) {
        QString host = c.domain();
        if (host.startsWith(QLatin1Char('.')))
            host.remove(0, 1);
        QUrl origin;
        origin.setScheme(c.isSecure() ? QStringLiteral("https") : QStringLiteral("http"));
        origin.setHost(host);
        to->cookieStore()->setCookie(c, origin);
    }
}

void watchCookies(QWebEngineProfile* profile)
{
    accountFor(profile);
}

bool cookiesEnabled(QWebEngineProfile* profile)
{
    CookieAccount* account = accountFor(profile);
    return !account || account->enabled->load();
}

bool setCookiesEnabled(QWebEngineProfile* profile, bool enable)
{
    CookieAccount* account = accountFor(profile);
    if (!account)
        return false;
    account->enabled->store(enable);
    return true;
}

}  // namespace engine

using engine::liveView;

extern "C" {

WKE_API void wkeSetCookie(wkeWebView handle, const char* url, const char* cookie)
{
    wkeViewState* view = liveView(handle);
    engine::CookieAccount* account = view ? engine::accountFor(view->profile) : nullptr;
    if (!account || !url || !cookie)
        return;
    const QUrl origin(QString::fromUtf8(url));
    const QList<QNetworkCookie> parsed = QNetworkCookie::parseCookies(QByteArray(cookie));
    if (parsed.isEmpty())
        return;
    const int before = account->added;
    for (const QNetworkCookie& c : parsed)
        view->profile->cookieStore()->setCookie(c, origin);
    // The store confirms asynchronously; wait for it unless inside an engine
    // callback, where Chromium cannot answer.
    if (engine::events::insideInlineCall())
        return;
    QEventLoop loop;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (account->added - before >= parsed.size())
            loop.quit();
    });
    QTimer::singleShot(engine::kSetConfirmMs, &loop, &QEventLoop::quit);
    timer.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

WKE_API const char16_t* wkeGetCookieW(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    if (!view || !view->page)
        return nullptr;
    const QUrl url = view->page->url();
    QStringList pairs;
    QStringList names;
    // Inside a handler the page waits for, the page cannot be asked: the
    // store's own record gives every cookie then.
    const bool pageAnswers = !engine::events::insideInlineCall();
    if (pageAnswers) {
        const std::optional<QVariant> page = engine::events::evaluate(
            view->page, QStringLiteral("(function(){try{return document.cookie;}catch(e){return '';}})()"),
            engine::kPageReadMs);
        view = liveView(handle);
        if (!view || !view->page)
            return nullptr;
        if (page) {
            for (const QString& piece : page->toString().split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                const QString pair = piece.trimmed();
                pairs << pair;
                names << pair.section(QLatin1Char('='), 0, 0);
            }
        }
    }
    if (engine::CookieAccount* account = engine::accountFor(view->profile)) {
        for (const QNetworkCookie& c : engine::cookiesFor(*account, url, pageAnswers)) {
            const QString name = QString::fromUtf8(c.name());
            if (!names.contains(name)) {
                pairs << name + QLatin1Char('=') + QString::fromUtf8(c.value());
                names << name;
            }
        }
    }
    auto& kept = view->extension<engine::CookieText>();
    kept.text = pairs.join(QStringLiteral("; ")).toStdU16String();
    return kept.text.c_str();
}

WKE_API void wkePerformCookieCommand(wkeWebView handle, int command)
{
    wkeViewState* view = liveView(handle);
    engine::CookieAccount* account = view ? engine::accountFor(view->profile) : nullptr;
    if (!account)
        return;
    QWebEngineCookieStore* store = view->profile->cookieStore();
    switch (command) {
    case wkeCookieCommandClearAllCookies:
        store->deleteAllCookies();
        account->cookies.clear();
        break;
    case wkeCookieCommandClearSessionCookies:
        store->deleteSessionCookies();
        account->cookies.removeIf([](const QNetworkCookie& c) { return c.isSessionCookie(); });
        break;
    case wkeCookieCommandReloadCookiesFromFile:
        store->loadAllCookies();
        break;
    default:  // flushing: Chromium writes its cookie file itself
        break;
    }
}

}  // extern "C"
