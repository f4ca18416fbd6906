// Network jobs of the engine interface.
//
// Chromium sends all its traffic through the engine's in-process proxy
// (engine/proxy/netproxy.h). A view with network handlers gets a request
// interceptor that tags its plain http requests with the view's id; the proxy
// hands tagged requests here whole, where wkeOnLoadUrlBegin's handler sees
// and steers them, and their responses come back here before the page gets
// them when a response handler wants them. For https the interceptor also
// claims the host before the engine connects, so that the proxy ends that
// connection's TLS and sees the requests inside as it sees http ones; hosts
// no such view asks for keep plain tunnels. Requests the proxy cannot read
// (other schemes) meet the handler in the interceptor itself. A view's own
// proxy (wkeSetViewProxy) rides on the same path: its requests go through
// the job runner, which names the proxy in its decision.
#include "engine/network.h"

#include "engine/cookies.h"
#include "engine/enginepage.h"
#include "engine/events.h"
#include "engine/proxy/enginetrust.h"
#include "engine/proxy/netproxy.h"
#include "engine/proxy/tlscontext.h"
#include "engine/registry.h"

#include <QCoreApplication>
#include <QMimeDatabase>
#include <QNetworkInterface>
#include <QPointer>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>

#include <map>
#include <memory>
#include <set>

using engine::events::InlineCall;
using engine::events::Registration;
using engine::events::registration;

struct wkeNetJobTag {
    quint64 viewId = 0;
    quint64 exchange = 0;  // 0: a request seen only by the interceptor
    QByteArray url;        // UTF-8
    QByteArray method;
    engine::ProxyRequest request;
    QWebEngineUrlRequestInfo* info = nullptr;  // interceptor jobs, during the call

    bool hooked = false;
    bool hasData = false;
    QByteArray data;
    QByteArray mimeType;
    engine::http::HeaderList requestFields;
    engine::http::HeaderList responseFields;
    engine::ProxyResponse response;
};

namespace engine::net {
namespace {

// A tag value "<view id>;nc": the interceptor added "Pragma: no-cache" so
// that Chromium's HTTP cache lets every request reach the proxy; the field is
// taken off again before the request goes on.
constexpr char kNoCacheFlag[] = ";nc";

class Interceptor;

struct NetState {
    quint64 id = 0;  // the view's
    QString netInterface;
    std::unique_ptr<Interceptor> interceptor;
    QPointer<QWebEnginePage> interceptedPage;
    bool toldResponseFieldsLimit = false;
    std::optional<QNetworkProxy> proxy;  // the view's own upstream proxy

    ~NetState();
};

// Runs the requests the proxy hands over as network jobs through the views'
// handlers, and gives the proxy their decisions and responses.
class NetJobRunner : public ProxyOwner {
public:
    void requestArrived(quint64 exchange, const QByteArray& tag, const ProxyRequest& request) override;
    void responseArrived(quint64 exchange, const ProxyResponse& response) override;
    void exchangeEnded(quint64 exchange) override;

    void respond(quint64 exchange);

    std::map<quint64, std::unique_ptr<wkeNetJobTag>> jobs;  // by exchange
};

struct Globals {
    NetProxy proxy;
    std::shared_ptr<tls::Context> tls;
    NetJobRunner jobRunner;
    bool started = false;  // start-up has asked for the proxy
    std::set<wkeNetJobTag*> liveJobs;
};

Globals& globals()
{
    static auto* g = new Globals;  // leaked like every engine global
    return *g;
}

NetState& stateOf(wkeViewState* view)
{
    NetState& state = view->extension<NetState>();
    state.id = view->id;
    return state;
}

wkeNetJobTag* liveJob(wkeNetJob job)
{
    return globals().liveJobs.count(job) ? job : nullptr;
}

// Keeps a job known to the wkeNet... functions for as long as it lives.
struct JobRegistration {
    wkeNetJobTag* job;
    explicit JobRegistration(wkeNetJobTag* j) : job(j) { globals().liveJobs.insert(j); }
    ~JobRegistration() { globals().liveJobs.erase(job); }
};

bool wantsInterception(wkeViewState* view)
{
    using namespace engine::events;
    return registration(view, LoadUrlBegin) || registration(view, NetResponse) ||
           registration(view, LoadUrlEnd) || !stateOf(view).netInterface.isEmpty() ||
           stateOf(view).proxy || !cookiesEnabled(view->profile);
}

QHostAddress interfaceAddress(const QString& name)
{
    if (name.isEmpty())
        return {};
    const QNetworkInterface interface = QNetworkInterface::interfaceFromName(name);
    QHostAddress any;
    for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
        if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
            return entry.ip();
        if (any.isNull())
            any = entry.ip();
    }
    return any;
}

int methodCode(const QByteArray& method)
{
    static const std::map<QByteArray, int> codes = {
        {"GET", WKE_HTTP_METHOD_GET},       {"POST", WKE_HTTP_METHOD_POST},
        {"PUT", WKE_HTTP_METHOD_PUT},       {"DELETE", WKE_HTTP_METHOD_DELETE},
        {"HEAD", WKE_HTTP_METHOD_HEAD},     {"OPTIONS", WKE_HTTP_METHOD_OPTIONS},
        {"PATCH", WKE_HTTP_METHOD_PATCH}};
    const auto found = codes.find(method.toUpper());
    return found == codes.end() ? WKE_HTTP_METHOD_OTHER : found->second;
}

// Content type of an answer made without the network: the one set, or one
// guessed from the URL's file name (HTML when it names none).
QByteArray answerType(const wkeNetJobTag& job)
{
    if (!job.mimeType.isEmpty())
        return job.mimeType;
    const QString path = QUrl(QString::fromUtf8(job.url)).path();
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (path.endsWith(QLatin1Char('/')) || type.isDefault())
        return "text/html";
    return type.name().toUtf8();
}

void applyFields(http::HeaderList& headers, const http::HeaderList& fields)
{
    for (const auto& [name, value] : fields)
        http::setHeader(headers, name, value);
}

// Navigations and same-origin requests: no CORS check applies to them.
bool mayCarryFields(const QWebEngineUrlRequestInfo& info)
{
    const auto type = info.resourceType();
    if (type == QWebEngineUrlRequestInfo::ResourceTypeMainFrame ||
        type == QWebEngineUrlRequestInfo::ResourceTypeSubFrame)
        return true;
    const QUrl initiator = info.initiator();
    const QUrl url = info.requestUrl();
    if (initiator.isEmpty())
        return true;  // asked for by the program, not by a page
    return initiator.scheme() == url.scheme() && initiator.host() == url.host() &&
           initiator.port(80) == url.port(80);
}

RouteTable& routes()
{
    return globals().proxy.routes();
}

void claimHost(const QUrl& url, quint64 viewId)
{
    routes().claimHost(url.host(), quint16(url.port(443)), viewId);
}

class Interceptor : public QWebEngineUrlRequestInterceptor {
public:
    explicit Interceptor(wkeViewState* view) : m_view(view) {}

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl url = info.requestUrl();
        NetState& state = stateOf(m_view);
        const bool secure = url.scheme() == QLatin1String("https") && globals().tls;
        // The view's WebSockets take the same route as its https requests
        // (its own proxy, the proxy's server check); their bytes pass raw
        // once upgraded.
        if (url.scheme() == QLatin1String("wss") && globals().tls && globals().proxy.isRunning())
            claimHost(url, state.id);
        if ((url.scheme() == QLatin1String("http") || secure) && globals().proxy.isRunning()) {
            if (secure)
                claimHost(url, state.id);
            // The proxy reads it whole and hands it to the job runner. Fields added
            // here would make a cross-origin request need a CORS preflight, so
            // only requests that never have one carry the tag (and get past
            // the HTTP cache); the others are announced by method and URL.
            if (mayCarryFields(info)) {
                info.setHttpHeader(NetProxy::kTagHeader,
                                   globals().proxy.tagValue(QByteArray::number(state.id) + kNoCacheFlag));
                info.setHttpHeader("Pragma", "no-cache");
            } else {
                routes().announceTag(info.requestMethod(), url, QByteArray::number(state.id));
            }
            return;
        }
        const Registration r = registration(m_view, events::LoadUrlBegin);
        if (!r)
            return;
        wkeNetJobTag job;
        job.viewId = state.id;
        job.url = url.toString().toUtf8();
        job.method = info.requestMethod();
        job.info = &info;
        bool cancel;
        {
            JobRegistration known(&job);
            InlineCall inlineCall;
            cancel = reinterpret_cast<wkeLoadUrlBeginCallback>(r.callback)(m_view, r.param, job.url.constData(),
                                                                           &job);
        }
        if (cancel)
            info.block(true);
        else if ((!job.mimeType.isEmpty() || !job.responseFields.isEmpty()) && !state.toldResponseFieldsLimit &&
                 m_view->page && m_view->page->hooks.console) {
            // Only responses that pass through the engine's proxy can be
            // changed; this one does not (https, or another scheme).
            state.toldResponseFieldsLimit = true;
            m_view->page->hooks.console(
                QWebEnginePage::WarningMessageLevel,
                QStringLiteral("engine: a response type or response field set in a request handler applies to "
                               "http responses only; %1 keeps its own").arg(url.toString()),
                0, QString());
        }
    }

private:
    wkeViewState* m_view;
};

NetState::~NetState()
{
    routes().forgetView(id);
    if (interceptedPage)
        interceptedPage->setUrlRequestInterceptor(nullptr);
}

void NetJobRunner::requestArrived(quint64 exchange, const QByteArray& tag, const ProxyRequest& request)
{
    RequestDecision decision;
    decision.request = request;
    QByteArray idText = tag;
    if (idText.endsWith(kNoCacheFlag)) {
        idText.chop(int(sizeof(kNoCacheFlag)) - 1);
        http::removeHeader(decision.request.head.headers, "Pragma");
    }
    wkeViewState* view = viewById(idText.toULongLong());
    if (!view) {
        globals().proxy.decide(exchange, decision);
        return;
    }
    auto owned = std::make_unique<wkeNetJobTag>();
    wkeNetJobTag* job = owned.get();
    job->viewId = stateOf(view).id;
    job->exchange = exchange;
    job->url = request.head.target;
    job->method = request.head.method;
    job->request = decision.request;
    globals().liveJobs.insert(job);
    jobs[exchange] = std::move(owned);

    bool cancel = false;
    if (const Registration r = registration(view, events::LoadUrlBegin)) {
        InlineCall inlineCall;
        cancel = reinterpret_cast<wkeLoadUrlBeginCallback>(r.callback)(view, r.param, job->url.constData(), job);
    }
    if (jobs.find(exchange) == jobs.end()) {
        globals().proxy.decide(exchange, decision);  // the page went away meanwhile
        return;
    }
    view = viewById(job->viewId);
    if (job->hasData) {
        decision.action = RequestDecision::Answer;
        ProxyResponse& answer = decision.answer;
        answer.head.status = 200;
        answer.head.headers = {{"Content-Type", answerType(*job)}, {"Cache-Control", "no-store"}};
        applyFields(answer.head.headers, job->responseFields);
        answer.body = job->data;
    } else if (cancel) {
        decision.action = RequestDecision::Fail;
    } else {
        http::HeaderList& headers = decision.request.head.headers;
        applyFields(headers, job->requestFields);
        decision.holdResponse = job->hooked || (view && registration(view, events::NetResponse));
        if (job->hooked) {
            // The hooked body is rewritten as bytes: ask for it whole and plain.
            http::setHeader(headers, "Accept-Encoding", "identity");
            for (const char* name : {"If-None-Match", "If-Modified-Since", "If-Range", "Range"})
                http::removeHeader(headers, name);
        }
        // A type or fields set for the response without a body: on the
        // response as it streams, or kept for the held response below.
        if (!decision.holdResponse) {
            decision.responseFields = job->responseFields;
            if (!job->mimeType.isEmpty())
                http::setHeader(decision.responseFields, "Content-Type", job->mimeType);
        }
        if (view) {
            decision.bindAddress = interfaceAddress(stateOf(view).netInterface);
            decision.upstream = stateOf(view).proxy;
            if (!cookiesEnabled(view->profile)) {
                http::removeHeader(headers, "Cookie");
                decision.withoutCookies = true;
            }
        }
    }
    // The request stage is over: what the job carries now concerns the
    // response. A held response keeps the type and fields set for it.
    job->hasData = false;
    job->data.clear();
    if (!decision.holdResponse || decision.action != RequestDecision::Forward) {
        job->mimeType.clear();
        job->responseFields.clear();
        job->requestFields.clear();
    }
    globals().proxy.decide(exchange, decision);
}

void NetJobRunner::exchangeEnded(quint64 exchange)
{
    const auto found = jobs.find(exchange);
    if (found == jobs.end())
        return;
    globals().liveJobs.erase(found->second.get());
    jobs.erase(found);
}

void NetJobRunner::responseArrived(quint64 exchange, const ProxyResponse& response)
{
    const auto found = jobs.find(exchange);
    if (found == jobs.end()) {
        globals().proxy.deliver(exchange, response);
        return;
    }
    found->second->response = response;
    // Response handlers need no answer at once: they run from the queue, and
    // the proxy waits for them.
    events::postTask([this, exchange] { respond(exchange); });
}

void NetJobRunner::respond(quint64 exchange)
{
    const auto job = [this, exchange]() -> wkeNetJobTag* {
        const auto found = jobs.find(exchange);
        return found == jobs.end() ? nullptr : found->second.get();
    };
    if (!job())
        return;  // the page went away
    const ProxyResponse original = job()->response;
    if (wkeViewState* view = viewById(job()->viewId)) {
        if (const Registration r = registration(view, events::NetResponse)) {
            const QByteArray url = job()->url;
            if (reinterpret_cast<wkeNetResponseCallback>(r.callback)(view, r.param, url.constData(), job())) {
                globals().proxy.deliver(exchange, std::nullopt);
                return;
            }
        }
    }
    if (!job())
        return;
    if (wkeViewState* view = viewById(job()->viewId); view && job()->hooked) {
        if (const Registration r = registration(view, events::LoadUrlEnd)) {
            const QByteArray url = job()->url;
            QByteArray body = original.body;
            body.detach();
            reinterpret_cast<wkeLoadUrlEndCallback>(r.callback)(view, r.param, url.constData(), job(), body.data(),
                                                                int(body.size()));
        }
    }
    if (!job())
        return;
    ProxyResponse response = original;
    http::HeaderList& headers = response.head.headers;
    if (job()->hasData) {
        response.body = job()->data;
        // The new body is plain bytes, and must not be cached as the resource.
        http::removeHeader(headers, "Content-Encoding");
        http::setHeader(headers, "Cache-Control", "no-store");
    }
    if (!job()->mimeType.isEmpty())
        http::setHeader(headers, "Content-Type", job()->mimeType);
    applyFields(headers, job()->responseFields);
    globals().proxy.deliver(exchange, response);
}

void installOnPage(wkeViewState* view)
{
    NetState& state = stateOf(view);
    QWebEnginePage* page = view->page;
    const bool wanted = page && wantsInterception(view);
    if (state.interceptedPage && (!wanted || state.interceptedPage != page)) {
        state.interceptedPage->setUrlRequestInterceptor(nullptr);
        state.interceptedPage = nullptr;
    }
    if (!wanted || state.interceptedPage == page)
        return;
    if (!state.interceptor)
        state.interceptor = std::make_unique<Interceptor>(view);
    page->setUrlRequestInterceptor(state.interceptor.get());
    state.interceptedPage = page;
}

void stopProxy()
{
    globals().proxy.stop();
}

// Whether the program chose Chromium's proxy itself.
bool proxyGivenInFlags()
{
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    return flags.contains("--proxy-server") || flags.contains("--no-proxy-server") ||
           flags.contains("--proxy-pac-url") || flags.contains("--proxy-auto-detect");
}

// The key-hash list Chromium gets: a list the program gave in
// QTWEBENGINE_CHROMIUM_FLAGS, plus this run's authority. Chromium reads only
// the last such switch, so the program's list would otherwise be lost.
QString trustedKeyList(const QByteArray& authorityHash)
{
    static const QString kSwitch = QStringLiteral("--ignore-certificate-errors-spki-list=");
    QStringList hashes;
    const QStringList flags =
        QString::fromLocal8Bit(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& flag : flags) {
        if (flag.startsWith(kSwitch))
            hashes = flag.mid(kSwitch.size()).split(QLatin1Char(','), Qt::SkipEmptyParts);
    }
    hashes.removeAll(QString::fromLatin1(authorityHash));
    hashes << QString::fromLatin1(authorityHash);
    return hashes.join(QLatin1Char(','));
}

}  // namespace

QStringList startProxy()
{
    Globals& g = globals();
    g.started = true;
    if (proxyGivenInFlags())
        return QStringList();
    if (!g.tls)
        g.tls = tls::Context::create();
    if (g.tls)
        tls::prepareEngineTrust();
    g.proxy.setTls(g.tls);
    if (!g.proxy.start(&g.jobRunner))
        return QStringList();
    qAddPostRoutine(stopProxy);
    QStringList switches{QStringLiteral("--proxy-server=http://127.0.0.1:%1").arg(g.proxy.port()),
                         QStringLiteral("--proxy-bypass-list=<-loopback>")};
    if (g.tls)
        switches << QStringLiteral("--ignore-certificate-errors-spki-list=") +
                        trustedKeyList(g.tls->authorityKeyHash());
    return switches;
}

void updateInterception(wkeViewState* view)
{
    installOnPage(view);
}

bool chainProxy(const QNetworkProxy& proxy)
{
    if (globals().started ? !globals().proxy.isRunning() : proxyGivenInFlags())
        return false;
    globals().proxy.setUpstream(proxy);
    return true;
}

bool setViewProxy(wkeViewState* view, const QNetworkProxy& proxy)
{
    if (!globals().proxy.isRunning())
        return false;
    NetState& state = stateOf(view);
    state.proxy = proxy;
    routes().setViewProxy(state.id, proxy);
    installOnPage(view);
    return true;
}

void addUpstreamAuthorityForTests(const QSslCertificate& authority)
{
    Globals& g = globals();
    if (!g.tls)
        g.tls = tls::Context::create();
    if (g.tls)
        g.tls->addUpstreamAuthority(authority);
}

void updateInterception(QWebEngineProfile* profile)
{
    for (wkeViewState* view : liveViews()) {
        if (view->profile == profile)
            installOnPage(view);
    }
}

}  // namespace engine::net

using engine::net::liveJob;

extern "C" {

WKE_API void wkeNetHookRequest(wkeNetJob handle)
{
    if (wkeNetJobTag* job = liveJob(handle))
        job->hooked = true;
}

WKE_API void wkeNetSetData(wkeNetJob handle, const void* data, int length)
{
    wkeNetJobTag* job = liveJob(handle);
    if (!job)
        return;
    job->hasData = true;
    job->data = data && length > 0 ? QByteArray(static_cast<const char*>(data), length) : QByteArray();
}

WKE_API void wkeNetSetMIMEType(wkeNetJob handle, const char* type)
{
    if (wkeNetJobTag* job = liveJob(handle))
        job->mimeType = type ? QByteArray(type) : QByteArray();
}

WKE_API void wkeNetSetHTTPHeaderField(wkeNetJob handle, const char16_t* name, const char16_t* value,
                                      bool response)
{
    wkeNetJobTag* job = liveJob(handle);
    if (!job || !name || !*name)
        return;
    const QByteArray n = QString::fromUtf16(name).toUtf8();
    const QByteArray v = value ? QString::fromUtf16(value).toUtf8() : QByteArray("");
    if (response) {
        engine::http::setHeader(job->responseFields, n, v);
        return;
    }
    engine::http::setHeader(job->requestFields, n, v);
    if (job->info)
        job->info->setHttpHeader(n, v);
}

WKE_API int wkeNetGetRequestMethod(wkeNetJob handle)
{
    wkeNetJobTag* job = liveJob(handle);
    return job ? engine::net::methodCode(job->method) : WKE_HTTP_METHOD_OTHER;
}

WKE_API const char* wkeNetGetPostBody(wkeNetJob handle)
{
    wkeNetJobTag* job = liveJob(handle);
    if (!job || job->request.body.isEmpty())
        return nullptr;
    return job->request.body.constData();  // QByteArray keeps a terminator
}

// For tests only: servers signed by the authority in pem pass the proxy's
// upstream check as if the system trusted it. The engine itself is not told.
WKE_API void tolvaneTestingTrustUpstreamAuthority(const char* pem, int length)
{
    if (!pem || length <= 0)
        return;
    const QSslCertificate authority(QByteArray(pem, length), QSsl::Pem);
    if (!authority.isNull())
        engine::net::addUpstreamAuthorityForTests(authority);
}

WKE_API void wkeSetViewNetInterface(wkeWebView handle, const char* netInterface)
{
    wkeViewState* view = engine::liveView(handle);
    if (!view)
        return;
    engine::net::stateOf(view).netInterface = netInterface ? QString::fromUtf8(netInterface) : QString();
    engine::net::installOnPage(view);
}

}  // extern "C"
