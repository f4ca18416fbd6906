// Network hooks on https pages, plain tunnels for views without hooks, the
// proxy's checks of upstream certificates, WebSocket and cookies through
// intercepted connections, and per-view proxies, against the real engine
// offscreen. The https servers on 127.0.0.1 carry certificates from an
// authority this test makes; only the engine's proxy is told to trust it.
#include "../webview/testenv.h"

#include "../webview_events/httpserver.h"
#include "../webview_events/tunnelproxy.h"

#include "engine/proxy/tlscerts.h"
#include "runtime/textcodec.h"
#include "webview/engineloader.h"
#include "webview/webview.h"

#include <QApplication>
#include <QSslConfiguration>
#include <QTest>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWebSocket>
#include <QWebSocketServer>
#include <QWidget>

#include <memory>

using events_test::HttpServer;
using events_test::RecordedRequest;
using events_test::TunnelProxy;

namespace {

constexpr int kTimeoutMs = 20000;
constexpr char kTagHeader[] = "X-Tolvane-View";

bool waitFor(const std::function<bool()>& condition, int timeoutMs = kTimeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

QByteArray page(const QByteArray& title, const QByteArray& body = {}, const QList<QByteArray>& fields = {})
{
    return HttpServer::response("<!doctype html><html><head><meta charset='utf-8'><title>" + title +
                                    "</title></head><body>" + body + "</body></html>",
                                "text/html", fields);
}

QSslConfiguration serverTls(const engine::tls::Identity& identity, const QSslCertificate& authority)
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain({identity.certificate, authority});
    config.setPrivateKey(identity.key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    return config;
}

// What the handlers of a view do and saw. A rule applies to the requests
// whose path is its path.
struct Rules {
    Rules() = default;
    Rules(QString a, QByteArray p, QByteArray f = {}, QByteArray s = {})
        : action(std::move(a)), path(std::move(p)), first(std::move(f)), second(std::move(s))
    {
    }

    webview::WebView* web = nullptr;
    QString action;  // "hook", "answer", "redirect", "type", "field", "respond"
    QByteArray path;
    QByteArray first;
    QByteArray second;
    QStringList begun;  // paths the request handler saw
    QByteArray endBody; // the body the end handler saw
    int method = -1;
    QByteArray postBody;
};

Rules* rules(void* p)
{
    return static_cast<Rules*>(p);
}

QByteArray pathOf(const char* url)
{
    return QUrl(QString::fromUtf8(url)).path().toUtf8();
}

void installRules(webview::WebView& web, Rules& r)
{
    r.web = &web;
    web.onLoadUrlBegin(
        [](wkeWebView, void* p, const char* url, wkeNetJob job) {
            Rules& r = *rules(p);
            const QByteArray path = pathOf(url);
            r.begun << QString::fromUtf8(path);
            if (path != r.path)
                return false;
            r.method = r.web->netGetRequestMethod(job);
            r.postBody = QByteArray::fromStdString(r.web->netGetPostBody(job));
            if (r.action == QLatin1String("hook") || r.action == QLatin1String("respond"))
                r.web->netHookRequest(job);
            else if (r.action == QLatin1String("answer"))
                r.web->netSetData(job, r.first.toStdString());
            else if (r.action == QLatin1String("redirect"))
                r.web->netRedirect(job, r.first.toStdString());
            else if (r.action == QLatin1String("type"))
                r.web->netSetMimeType(job, r.first.toStdString());
            else if (r.action == QLatin1String("field"))
                r.web->netSetHeaderField(job, r.first.toStdString(), r.second.toStdString(), true);
            return false;
        },
        &r);
    web.onLoadUrlEnd(
        [](wkeWebView, void* p, const char* url, wkeNetJob job, void* buffer, int length) {
            Rules& r = *rules(p);
            if (pathOf(url) != r.path)
                return;
            r.endBody = QByteArray(static_cast<const char*>(buffer), length);
            if (r.action == QLatin1String("hook")) {
                int newLength = length;
                r.web->netReplaceInResponse(job, buffer, newLength, r.first.toStdString(), r.second.toStdString());
            }
        },
        &r);
}

// A shown host with a web view on a profile; loads url when given.
struct View {
    QWidget host;
    webview::WebView web;
    int finished = 0;
    int failed = 0;

    explicit View(const std::string& profile = "net")
    {
        host.resize(640, 480);
        host.show();
        web.create(&host, profile, "about:blank", "");
        web.onLoadingFinish(
            [](wkeWebView, void* p, const wkeString, wkeLoadingResult result, const wkeString) {
                auto* v = static_cast<View*>(p);
                ++v->finished;
                v->failed += result == WKE_LOADING_FAILED ? 1 : 0;
            },
            this);
    }
    // Loads url with the handlers of r.
    void loadWithRules(Rules& r, const QByteArray& url)
    {
        installRules(web, r);
        web.loadUrl(url.toStdString());
    }
    QWebEnginePage* enginePage() { return host.findChild<QWebEngineView*>()->page(); }
    QString title() const { return rt::gbToQString(web.engine().getTitle()); }
    bool titleBecomes(const QString& expected, int timeoutMs = kTimeoutMs)
    {
        return waitFor([&] { return title() == expected; }, timeoutMs);
    }
    QString value(const QString& expression)
    {
        return rt::gbToQString(web.runScriptText(rt::qstringToGb("text = String(" + expression + ");")));
    }
    // Loads url and waits for the load to end; true when it failed.
    bool loadFails(const QByteArray& url)
    {
        const int before = finished;
        const int failedBefore = failed;
        web.loadUrl(url.toStdString());
        if (!waitFor([&] { return finished > before; }))
            return false;
        return failed > failedBefore;
    }
};

}  // namespace

class TestHttpsHooks : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void hooksWorkOnHttps_data();
    void hooksWorkOnHttps();
    void postBodyReadOnHttps();
    void viewWithoutHandlersMeetsTheServerItself();
    void badServerCertificatesFailAsWithoutTheProxy_data();
    void badServerCertificatesFailAsWithoutTheProxy();
    void webSocketPassesThroughAnInterceptedConnection();
    void cookiesFromAnInterceptedResponseReachTheProfile();
    void eventStreamPassesAsItComes();
    void interceptedConnectionServesRequestsInTurn();
    void pageCannotChooseAnotherViewsHandlers_data();
    void pageCannotChooseAnotherViewsHandlers();
    void twoViewsUseTwoProxiesAtOnce();
    void twoViewsReachOneHttpsHostThroughTwoProxies();

private:
    std::unique_ptr<engine::tls::Authority> m_authority;
    std::unique_ptr<HttpServer> m_https;
    std::unique_ptr<HttpServer> m_expired;
    std::unique_ptr<HttpServer> m_wrongHost;
    std::unique_ptr<QWebSocketServer> m_echo;
};

void TestHttpsHooks::initTestCase()
{
    m_authority = engine::tls::Authority::create(QStringLiteral("Tolvane test authority"));
    QVERIFY(m_authority);
    const QSslCertificate authority = m_authority->certificate();
    const engine::tls::Identity good = m_authority->issue(QStringLiteral("127.0.0.1"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const engine::tls::Identity expired =
        m_authority->issue(QStringLiteral("127.0.0.1"), now.addDays(-30), now.addDays(-1));
    const engine::tls::Identity wrongHost = m_authority->issue(QStringLiteral("other.example"));
    QVERIFY(!good.isNull() && !expired.isNull() && !wrongHost.isNull());

    m_https = std::make_unique<HttpServer>(serverTls(good, authority));
    m_expired = std::make_unique<HttpServer>(serverTls(expired, authority));
    m_wrongHost = std::make_unique<HttpServer>(serverTls(wrongHost, authority));
    m_expired->route("/page.html", page("expired page"));
    m_wrongHost->route("/page.html", page("wrong host page"));

    m_https->route("/blank.html", page("blank"));
    m_https->route("/page.html", page("page", "<p id=t>served</p>"));
    m_https->route("/script.html", HttpServer::response("<!doctype html><title>before</title>"
                                                        "<link rel=stylesheet href='/style.css'>"
                                                        "<script src='/s.js'></script><body>x</body>"));
    m_https->route("/s.js", HttpServer::response("document.title = 'abcab';", "text/javascript"));
    // The same script compressed, sent so whatever the request asked for.
    m_https->route("/sz.js", HttpServer::response(QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\x4b\xc9\x4f\x2e\xcd\x4d\xcd\x2b\xd1\x2b\xc9\x2c\xc9\x49\x55\xb0\x55\x50\x4f\x4c\x4a\x4e\x4c\x52\xb7\x06\x00\x01\xcb\x10\xf9\x19\x00\x00\x00", 45), "text/javascript",
                                                  {"Content-Encoding: gzip"}));
    m_https->route("/scriptz.html", HttpServer::response("<!doctype html><title>before</title>"
                                                         "<script src='/sz.js'></script><body>x</body>"));
    m_https->route("/style.css", HttpServer::response("body { color: rgb(1, 2, 3); }", "text/css"));
    m_https->route("/api.json", HttpServer::response("{\"v\":42}", "application/json", {"X-Api: 1"}));
    m_https->route("/fetch.html",
                   page("fetching", "<script>fetch('/api.json').then(function (r) {"
                                    " return r.text().then(function (t) {"
                                    "  document.title = r.headers.get('content-type') + '|' +"
                                    "   r.headers.get('x-api') + '|' + t; }); });</script>"));
    m_https->route("/form.html", page("form", "<form method='post' action='/submit'>"
                                              "<input name='a' value='1'><input name='b' value='x y'></form>"));
    m_https->route("/submit", page("submitted"));
    m_https->route("/cookie.html", page("cookie set", {}, {"Set-Cookie: hidden=h1; HttpOnly; Secure; Path=/",
                                                           "Set-Cookie: shown=s1; Secure; Path=/"}));

    // The WebSocket server answers each text with "echo:" and the text.
    m_echo = std::make_unique<QWebSocketServer>(QStringLiteral("echo"), QWebSocketServer::SecureMode);
    m_echo->setSslConfiguration(serverTls(good, authority));
    QVERIFY(m_echo->listen(QHostAddress::LocalHost, 0));
    connect(m_echo.get(), &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket* socket = m_echo->nextPendingConnection()) {
            connect(socket, &QWebSocket::textMessageReceived, socket,
                    [socket](const QString& message) { socket->sendTextMessage("echo:" + message); });
            connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
        }
    });

    // Only the engine's proxy learns of the test authority, through the
    // engine library's function that exists for tests.
    webview::BoundFunction binding;
    auto trust = reinterpret_cast<void (*)(const char*, int)>(
        webview::engineFunction("tolvaneTestingTrustUpstreamAuthority", binding));
    QVERIFY(trust);
    const QByteArray pem = authority.toPem();
    trust(pem.constData(), int(pem.size()));
}

// Each hook of a view, on an https page: the rule, the page loaded and the
// title the page ends with.
void TestHttpsHooks::hooksWorkOnHttps_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QByteArray>("load");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QByteArray>("endBody");

    QTest::newRow("script rewritten before it runs")
        << "hook" << QByteArray("/s.js") << QByteArray("ab") << QByteArray("x") << QByteArray("/script.html")
        << "xcx" << QByteArray("document.title = 'abcab';");
    QTest::newRow("compressed script rewritten before it runs")
        << "hook" << QByteArray("/sz.js") << QByteArray("ab") << QByteArray("x") << QByteArray("/scriptz.html")
        << "xcx" << QByteArray("document.title = 'abcab';");
    QTest::newRow("page answered without the network")
        << "answer" << QByteArray("/nowhere.html") << QByteArray("<title>answered</title>") << QByteArray()
        << QByteArray("/nowhere.html") << "answered" << QByteArray();
    QTest::newRow("redirect")
        << "redirect" << QByteArray("/old.html") << QByteArray("/page.html") << QByteArray()
        << QByteArray("/old.html") << "page" << QByteArray();
    QTest::newRow("type of the JSON API set")
        << "type" << QByteArray("/api.json") << QByteArray("application/x-test") << QByteArray()
        << QByteArray("/fetch.html") << "application/x-test|1|{\"v\":42}" << QByteArray();
    QTest::newRow("field of the JSON API set")
        << "field" << QByteArray("/api.json") << QByteArray("X-Api") << QByteArray("2")
        << QByteArray("/fetch.html") << "application/json|2|{\"v\":42}" << QByteArray();
    // The script waits for the style sheet, so the title follows both.
    QTest::newRow("style sheet body seen at its end")
        << "respond" << QByteArray("/style.css") << QByteArray() << QByteArray() << QByteArray("/script.html")
        << "abcab" << QByteArray("body { color: rgb(1, 2, 3); }");
}

void TestHttpsHooks::hooksWorkOnHttps()
{
    QFETCH(QString, action);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QByteArray, load);
    QFETCH(QString, title);
    QFETCH(QByteArray, endBody);
    if (first.startsWith('/'))
        first = m_https->url(first);
    View view;
    Rules r(action, path, first, second);
    installRules(view.web, r);
    QVector<QByteArray> responded;
    view.web.onNetResponse(
        [](wkeWebView, void* p, const char* url, wkeNetJob) {
            static_cast<QVector<QByteArray>*>(p)->append(pathOf(url));
            return false;
        },
        &responded);
    const qsizetype before = m_https->requestsFor(path).size();
    view.web.loadUrl(m_https->url(load).toStdString());
    QVERIFY2(view.titleBecomes(title), qPrintable(view.title()));
    QVERIFY(r.begun.contains(QString::fromUtf8(path)));
    QCOMPARE(r.endBody, endBody);
    if (action == QLatin1String("answer") || action == QLatin1String("redirect")) {
        QCOMPARE(m_https->requestsFor(path).size(), before);
    } else {
        // The response event saw the response, and the server got the
        // request without what the engine added to steer it.
        QVERIFY(responded.contains(path));
        QVERIFY(m_https->requestsFor(path).size() > before);
        QVERIFY(!m_https->requestsFor(path).last().hasHeader(kTagHeader));
    }
    if (action == QLatin1String("respond"))
        QCOMPARE(view.value("getComputedStyle(document.body).color"), QStringLiteral("rgb(1, 2, 3)"));
}

void TestHttpsHooks::postBodyReadOnHttps()
{
    View view;
    view.web.loadUrl(m_https->url("/form.html").toStdString());
    Rules r("field", "/submit", "X-Seen", "yes");
    installRules(view.web, r);
    QVERIFY(view.titleBecomes("form"));
    view.web.runScriptText("document.forms[0].submit(); text = 'sent';");
    QVERIFY(view.titleBecomes("submitted"));
    QCOMPARE(r.method, int(WKE_HTTP_METHOD_POST));
    QCOMPARE(r.postBody, QByteArray("a=1&b=x+y"));
    const RecordedRequest got = m_https->requestsFor("/submit").last();
    QCOMPARE(got.body, QByteArray("a=1&b=x+y"));
    QCOMPARE(got.header("Origin"), "https://127.0.0.1:" + QByteArray::number(m_https->port()));
    QVERIFY(!got.hasHeader(kTagHeader));
}

// A view with no network handler reaches an https server no view with
// handlers uses through a plain tunnel: the engine meets the server's own
// certificate, from the test's authority it does not trust (accepted here by
// hand). Once the view has handlers, its next load of the same server is
// seen by them, although the engine keeps the first connection (the server
// keeps it open) for reuse.
void TestHttpsHooks::viewWithoutHandlersMeetsTheServerItself()
{
    HttpServer server(serverTls(m_authority->issue(QStringLiteral("127.0.0.1")), m_authority->certificate()));
    server.route("/page.html", page("page"));
    server.setKeepAlive(true);
    View view("plain");
    QStringList issuers;
    connect(view.enginePage(), &QWebEnginePage::certificateError, this,
            [&issuers](const QWebEngineCertificateError& error) {
                for (const QSslCertificate& c : error.certificateChain())
                    issuers << c.issuerInfo(QSslCertificate::CommonName).join(QLatin1Char(' '));
                auto accepted = error;
                accepted.acceptCertificate();
            });
    QVERIFY(!view.loadFails(server.url("/page.html")));
    QCOMPARE(view.title(), QStringLiteral("page"));
    QVERIFY2(issuers.contains(QStringLiteral("Tolvane test authority")), qPrintable(issuers.join('|')));

    Rules r("hook", "/page.html", "<title>page", "<title>hooked page");
    installRules(view.web, r);
    QTest::qWait(800);  // the kept connection has been quiet a while
    view.web.loadUrl(server.url("/page.html").toStdString());
    QVERIFY2(view.titleBecomes("hooked page"), qPrintable(view.title()));
    QVERIFY(r.begun.contains(QStringLiteral("/page.html")));
    QCOMPARE(server.requestsFor("/page.html").size(), 2);
}

// An expired certificate and one for another host fail in a view with
// handlers as in one without: the proxy never accepts them on the page's
// behalf.
void TestHttpsHooks::badServerCertificatesFailAsWithoutTheProxy_data()
{
    QTest::addColumn<bool>("expired");
    QTest::addColumn<bool>("hooked");
    QTest::newRow("expired, handlers") << true << true;
    QTest::newRow("expired, no handlers") << true << false;
    QTest::newRow("wrong host, handlers") << false << true;
    QTest::newRow("wrong host, no handlers") << false << false;
}

void TestHttpsHooks::badServerCertificatesFailAsWithoutTheProxy()
{
    QFETCH(bool, expired);
    QFETCH(bool, hooked);
    HttpServer& server = expired ? *m_expired : *m_wrongHost;
    View view;
    Rules r;
    if (hooked)
        installRules(view.web, r);
    QVERIFY(view.loadFails(server.url("/page.html")));
    QVERIFY(!view.title().endsWith(QLatin1String(" page")));
    QVERIFY(server.requestsFor("/page.html").isEmpty());
}

void TestHttpsHooks::webSocketPassesThroughAnInterceptedConnection()
{
    const QByteArray socketUrl = "wss://127.0.0.1:" + QByteArray::number(m_echo->serverPort()) + "/echo";
    m_https->route("/socket.html",
                   page("socket", "<script>var s = new WebSocket('" + socketUrl + "');"
                                  "s.onopen = function () { s.send('hello'); };"
                                  "s.onmessage = function (e) { document.title = e.data; };"
                                  "s.onerror = function () { document.title = 'socket error'; };</script>"));
    View view;
    Rules r;
    view.loadWithRules(r, m_https->url("/socket.html"));
    QVERIFY2(view.titleBecomes("echo:hello"), qPrintable(view.title()));
}

void TestHttpsHooks::cookiesFromAnInterceptedResponseReachTheProfile()
{
    View view("cookies");
    Rules r("respond", "/cookie.html");
    view.loadWithRules(r, m_https->url("/cookie.html"));
    QVERIFY(view.titleBecomes("cookie set"));
    QVERIFY(r.endBody.contains("cookie set"));
    // HttpOnly stays out of the page's reach, and in the profile's store.
    QCOMPARE(view.value("document.cookie"), QStringLiteral("shown=s1"));
    QVERIFY(waitFor([&] {
        const QString cookies = rt::gbToQString(view.web.getCookie());
        return cookies.contains(QLatin1String("hidden=h1")) && cookies.contains(QLatin1String("shown=s1"));
    }));
}

// Server-sent events through an intercepted connection reach the page as
// the server sends them: the second event goes out only once the page has
// shown the first.
void TestHttpsHooks::eventStreamPassesAsItComes()
{
    m_https->routeOpen("/events", "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"
                                  "Cache-Control: no-store\r\n\r\ndata: one\n\n");
    m_https->route("/stream.html",
                   page("stream", "<script>var e = new EventSource('/events');"
                                  "e.onmessage = function (m) { document.title = m.data; };</script>"));
    View view;
    Rules r;
    view.loadWithRules(r, m_https->url("/stream.html"));
    QVERIFY2(view.titleBecomes("one"), qPrintable(view.title()));
    QVERIFY(r.begun.contains(QStringLiteral("/events")));
    m_https->push("data: two\n\n");
    QVERIFY2(view.titleBecomes("two"), qPrintable(view.title()));
    m_https->closeOpen();
}

// Requests one after another from an intercepted page, held for a hook and
// streamed in turn: each body arrives whole and in order, and the later ones
// come over the engine's kept connection to the proxy (no connect of their own).
void TestHttpsHooks::interceptedConnectionServesRequestsInTurn()
{
    View view;
    Rules r(QStringLiteral("hook"), "/api.json", "42", "43");
    view.loadWithRules(r, m_https->url("/blank.html"));
    QVERIFY(view.titleBecomes("blank"));
    view.web.runScriptText("window.out = ''; (async () => { const parts = [];"
                           " for (const p of ['/api.json?1', '/style.css', '/s.js', '/api.json?2'])"
                           " parts.push(await (await fetch(p)).text());"
                           " window.out = parts.join('|'); })(); text = 'started';");
    QVERIFY(waitFor([&] { return !view.value("window.out").isEmpty(); }));
    QCOMPARE(view.value("window.out"),
             QStringLiteral(R"({"v":43}|body { color: rgb(1, 2, 3); }|document.title = 'abcab';|{"v":43})"));
    QCOMPARE(view.value("performance.getEntriesByType('resource').slice(-3)"
                        ".map(e => e.connectEnd - e.connectStart).join()"),
             QStringLiteral("0,0,0"));
}

// A page that names a view in the tag field (by fetch, trying every number)
// runs no handler of that view; the field reaches no server.
void TestHttpsHooks::pageCannotChooseAnotherViewsHandlers_data()
{
    QTest::addColumn<QByteArray>("scheme");
    QTest::newRow("http") << QByteArray("http");
    QTest::newRow("https") << QByteArray("https");
}

void TestHttpsHooks::pageCannotChooseAnotherViewsHandlers()
{
    QFETCH(QByteArray, scheme);
    HttpServer plain;
    HttpServer& server = scheme == "https" ? *m_https : plain;
    plain.route("/blank.html", page("blank"));
    for (HttpServer* s : {&plain, m_https.get()})
        s->route("/secret", HttpServer::response("from the server", "text/plain"));
    View hooked;
    Rules r(QStringLiteral("answer"), "/secret", "from the handler");
    hooked.loadWithRules(r, server.url("/blank.html"));
    QVERIFY(hooked.titleBecomes("blank"));
    View forger;
    forger.web.loadUrl(server.url("/blank.html").toStdString());
    QVERIFY(forger.titleBecomes("blank"));
    const auto asked = [&server] {
        QList<RecordedRequest> found;
        for (const RecordedRequest& request : server.requests()) {
            if (request.target.startsWith("/secret?"))
                found << request;
        }
        return found;
    };
    forger.web.runScriptText("window.out = ''; (async () => { const seen = new Set();"
                             " for (let n = 1; n <= 12; ++n) for (const t of [n + '', n + ';nc'])"
                             "  seen.add(await (await fetch('/secret?' + t, {cache: 'no-store',"
                             "   headers: {'X-Tolvane-View': t}})).text());"
                             " window.out = [...seen].join('|'); })(); text = 'started';");
    QVERIFY(waitFor([&] { return !forger.value("window.out").isEmpty(); }));
    QCOMPARE(forger.value("window.out"), QStringLiteral("from the server"));
    QVERIFY(!r.begun.contains(QStringLiteral("/secret")));
    QCOMPARE(asked().size(), 24);
    for (const RecordedRequest& request : asked())
        QVERIFY(!request.hasHeader(kTagHeader));
}

// Two views side by side, each with its own upstream proxy (plain servers
// here, answering everything): each view's requests reach its proxy alone.
void TestHttpsHooks::twoViewsUseTwoProxiesAtOnce()
{
    HttpServer proxyA;
    HttpServer proxyB;
    proxyA.setHandler([](const RecordedRequest&) { return page("via A"); });
    proxyB.setHandler([](const RecordedRequest&) { return page("via B"); });
    View a;
    View b;
    a.web.setHttpProxy("127.0.0.1", proxyA.port(), "", "");
    b.web.setHttpProxy("127.0.0.1", proxyB.port(), "userb", "pwb");
    a.web.loadUrl("http://per-view.invalid/a.html");
    b.web.loadUrl("http://per-view.invalid/b.html");
    QVERIFY(a.titleBecomes("via A"));
    QVERIFY(b.titleBecomes("via B"));
    QCOMPARE(proxyA.requestsFor("/b.html").size(), 0);
    QCOMPARE(proxyB.requestsFor("/a.html").size(), 0);
    QCOMPARE(proxyA.requestsFor("/a.html").first().target, QByteArray("http://per-view.invalid/a.html"));
    QVERIFY(!proxyA.requestsFor("/a.html").first().hasHeader("Proxy-Authorization"));
    QCOMPARE(proxyB.requestsFor("/b.html").first().header("Proxy-Authorization"),
             "Basic " + QByteArray("userb:pwb").toBase64());

    // A change applies from the view's next request on.
    a.web.setHttpProxy("127.0.0.1", proxyB.port(), "", "");
    a.web.loadUrl("http://per-view.invalid/a2.html");
    QVERIFY(a.titleBecomes("via B"));
    QCOMPARE(proxyB.requestsFor("/a2.html").size(), 1);
    QCOMPARE(proxyA.requestsFor("/a2.html").size(), 0);
}

// Two views on one https host, each through its own proxy: each proxy leads
// to a server of its own here, so the page a view gets shows which proxy
// its requests took.
void TestHttpsHooks::twoViewsReachOneHttpsHostThroughTwoProxies()
{
    const QString host = QStringLiteral("per-view.test");
    const QSslConfiguration tls = serverTls(m_authority->issue(host), m_authority->certificate());
    HttpServer serverA(tls);
    HttpServer serverB(tls);
    serverA.route("/page.html", page("server A"));
    serverB.route("/page.html", page("server B"));
    TunnelProxy proxyA(serverA.port());
    TunnelProxy proxyB(serverB.port());
    View a;
    View b;
    Rules ra;
    Rules rb;
    installRules(a.web, ra);
    installRules(b.web, rb);
    a.web.setHttpProxy("127.0.0.1", proxyA.port(), "", "");
    b.web.setHttpProxy("127.0.0.1", proxyB.port(), "", "");
    // Both servers listen on their own ports; the URL names server A's, and
    // each proxy leads to its own server whatever port is asked for.
    const QByteArray url = "https://per-view.test:" + QByteArray::number(serverA.port()) + "/page.html";
    for (int round = 0; round < 2; ++round) {
        a.web.loadUrl(url.toStdString());
        b.web.loadUrl(url.toStdString());
        QVERIFY2(a.titleBecomes("server A"), qPrintable(a.title()));
        QVERIFY2(b.titleBecomes("server B"), qPrintable(b.title()));
    }
    QVERIFY(ra.begun.contains(QStringLiteral("/page.html")));
    QVERIFY(rb.begun.contains(QStringLiteral("/page.html")));
    QVERIFY(!serverA.requestsFor("/page.html").isEmpty());
    QVERIFY(!serverB.requestsFor("/page.html").isEmpty());
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestHttpsHooks test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_https_hooks.moc"
