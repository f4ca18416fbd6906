// Engine events, cookies, network hooks and page capture against the real
// engine, offscreen, with pages served by a local HTTP server.
#include "../webview/testenv.h"

#include "httpserver.h"

#include "runtime/textcodec.h"
#include "webview/engineloader.h"
#include "webview/webview.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

using events_test::HttpServer;
using events_test::RecordedRequest;

namespace {

constexpr int kTimeoutMs = 20000;
// The field the engine's interceptor tags requests with; never sent on.
constexpr char NetProxyTag[] = "X-Tolvane-View";

QString text(const wkeString s)
{
    const char16_t* t = WKE_CALL(wkeGetStringW)(s);
    return t ? QString::fromUtf16(t) : QString();
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs = kTimeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

// A shown host with a web view on a profile, loading url.
struct View {
    QWidget host;
    webview::WebView web;

    View(const QByteArray& url, const std::string& profile = "events", QSize size = QSize(640, 480))
    {
        host.resize(size);
        host.show();
        web.create(&host, profile, url.toStdString(), "");
    }
    QString title() const { return rt::gbToQString(web.engine().getTitle()); }
    bool titleBecomes(const QString& expected, int timeoutMs = kTimeoutMs)
    {
        return waitFor([&] { return title() == expected; }, timeoutMs);
    }
    QString value(const QString& expression)
    {
        return rt::gbToQString(web.runScriptText(rt::qstringToGb("text = String(" + expression + ");")));
    }
};

QByteArray page(const QByteArray& title, const QByteArray& body = {})
{
    return HttpServer::response("<!doctype html><html><head><meta charset='utf-8'><title>" + title +
                                "</title></head><body>" + body + "</body></html>");
}

// What the handlers saw; each test's handlers write into one of these.
struct Seen {
    QStringList log;
    bool answer = true;
    QString promptAnswer;
    wkeWebView returnView = nullptr;
    webview::WebView* web = nullptr;
    QString fromScript;
    wkeWindowFeatures features{};
    int method = -1;
    QByteArray postBody;
    int lengthAfter = -1;
};

Seen* seen(void* p)
{
    return static_cast<Seen*>(p);
}

}  // namespace

class TestEvents : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_server.route("/blank.html", page("blank"));
        m_server.route("/script.html", HttpServer::response("<!doctype html><title>before</title>"
                                                            "<script src='/s.js'></script><body>x</body>"));
        m_server.route("/s.js", HttpServer::response("document.title = 'abcab';", "text/javascript"));
    }
    void dialogsAndConsoleReachHandlers_data();
    void dialogsAndConsoleReachHandlers();
    void queuedHandlersMayRunScripts();
    void handlersThatAnswerAtOnceNeverWait();
    void navigationRefusedKeepsThePage();
    void newWindowAskedFor();
    void registrationsKeepApartAndReplace();
    void cookiesReachThePageAndOutliveTheView();
    void requestAnsweredWithoutTheNetwork();
    void responseTypeAndFieldsWithoutABody_data();
    void responseTypeAndFieldsWithoutABody();
    void responseFieldsOutOfReachAreSaidOnce();
    void postRequestVisibleToTheHandler();
    void crossOriginRequestNeedsNoPreflight();
    void setProxyChainsBehindTheEngineProxy();
    void scriptRewrittenBeforeItRuns();
    void capturesTheWholePage();
    void capturesWithoutAScreen_data();
    void capturesWithoutAScreen();

private:
    // A view that has loaded the blank page; null when it did not.
    std::unique_ptr<View> blankView()
    {
        auto view = std::make_unique<View>(m_server.url("/blank.html"));
        return view->titleBecomes("blank") ? std::move(view) : nullptr;
    }

    HttpServer m_server;
};

void TestEvents::dialogsAndConsoleReachHandlers_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("title");
    QTest::newRow("accepted") << true << "true|answer";
    QTest::newRow("refused") << false << "false|null";
}

void TestEvents::dialogsAndConsoleReachHandlers()
{
    QFETCH(bool, answer);
    QFETCH(QString, title);
    m_server.route("/dialogs.html",
                   HttpServer::response("<!doctype html><title>dialogs</title><body><script>\n"
                                        "console.warn('console line');\n"
                                        "alert('alert text');\n"
                                        "document.title = confirm('confirm text') + '|' + prompt('prompt text', 'dv');\n"
                                        "</script></body>"));
    View view(m_server.url("/blank.html"));
    Seen s;
    s.answer = answer;
    s.promptAnswer = QStringLiteral("answer");
    view.web.onAlertBox([](wkeWebView, void* p, const wkeString m) { seen(p)->log << "alert:" + text(m); }, &s);
    view.web.onConfirmBox(
        [](wkeWebView, void* p, const wkeString m) {
            seen(p)->log << "confirm:" + text(m);
            return seen(p)->answer;
        },
        &s);
    view.web.onPromptBox(
        [](wkeWebView, void* p, wkePromptParams* prompt) {
            static std::u16string kept;
            seen(p)->log << "prompt:" + text(prompt->message) + "/" + text(prompt->defaultValue);
            kept = seen(p)->promptAnswer.toStdU16String();
            prompt->result = kept.c_str();
            return seen(p)->answer;
        },
        &s);
    view.web.onConsole(
        [](wkeWebView, void* p, wkeConsoleLevel level, const wkeString message, const wkeString source,
           unsigned line, const wkeString) {
            seen(p)->log << QStringLiteral("console:%1:%2:%3:%4")
                                .arg(int(level))
                                .arg(text(message), QFileInfo(text(source)).fileName())
                                .arg(line);
        },
        &s);
    view.web.loadUrl(m_server.url("/dialogs.html").toStdString());
    QVERIFY(view.titleBecomes(title));
    QVERIFY(waitFor([&] { return s.log.size() == 4; }));
    // The dialogs answer inline, in the page's order; the console line comes
    // through the queue.
    QCOMPARE(s.log.filter(QRegularExpression("^(alert|confirm|prompt):")),
             QStringList({"alert:alert text", "confirm:confirm text", "prompt:prompt text/dv"}));
    QVERIFY(s.log.contains("console:1:console line:dialogs.html:2"));
}

void TestEvents::queuedHandlersMayRunScripts()
{
    m_server.route("/ready.html", page("ready", "ready body"));
    auto shown = blankView();
    QVERIFY(shown);
    View& view = *shown;
    Seen s;
    s.web = &view.web;
    // A synchronous script run from a queued handler must not deadlock.
    view.web.onDocumentReady(
        [](wkeWebView, void* p) {
            seen(p)->fromScript = rt::gbToQString(seen(p)->web->runScriptText("text = document.body.innerText;"));
            seen(p)->log << "ready";
        },
        &s);
    view.web.onTitleChanged([](wkeWebView, void* p, const wkeString t) { seen(p)->log << "title:" + text(t); }, &s);
    view.web.onUrlChanged(
        [](wkeWebView, void* p, const wkeString u) { seen(p)->log << "url:" + QUrl(text(u)).path(); }, &s);
    view.web.onLoadingFinish(
        [](wkeWebView, void* p, const wkeString url, wkeLoadingResult result, const wkeString reason) {
            seen(p)->log << QStringLiteral("finish:%1:%2:%3")
                                .arg(QUrl(text(url)).path())
                                .arg(int(result))
                                .arg(text(reason).isEmpty() ? "no reason" : "reason");
        },
        &s);
    view.web.loadUrl(m_server.url("/ready.html").toStdString());
    QVERIFY(waitFor([&] { return s.log.contains("finish:/ready.html:0:no reason") && s.log.contains("ready"); }));
    QCOMPARE(s.fromScript, QStringLiteral("ready body"));
    QVERIFY(s.log.contains("title:ready"));
    QVERIFY(s.log.contains("url:/ready.html"));

    // A server that cannot be reached fails the load, with a reason.
    quint16 closedPort;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    view.web.loadUrl("http://127.0.0.1:" + std::to_string(closedPort) + "/gone.html");
    QVERIFY(waitFor([&] { return s.log.contains("finish:/gone.html:1:reason"); }));
}

// The page waits for an alert handler's answer, so nothing run in the page
// can answer meanwhile: calls that need no page script work from there, a
// page-script run fails at once with "error" and a console line says why.
void TestEvents::handlersThatAnswerAtOnceNeverWait()
{
    m_server.route("/alerting.html",
                   HttpServer::response("<!doctype html><title>alerting</title><body style='background:#ff0000'>"
                                        "<script>document.cookie = 'k=v';</script></body>"));
    View view(m_server.url("/blank.html"));
    Seen s;
    s.web = &view.web;
    view.web.onAlertBox(
        [](wkeWebView, void* p, const wkeString) {
            webview::WebView& web = *seen(p)->web;
            seen(p)->log << "script:" + rt::gbToQString(web.runScriptText("text = document.title;"));
            seen(p)->log << "url:" + QUrl(rt::gbToQString(web.getUrl())).path();
            seen(p)->log << "title:" + rt::gbToQString(web.engine().getTitle());
            seen(p)->log << "cookie:" + rt::gbToQString(web.getCookie());
            const QImage shot = QImage::fromData(web.capturePage(), "BMP");
            seen(p)->log << "capture:" + shot.pixelColor(10, 10).name();
        },
        &s);
    view.web.onConsole(
        [](wkeWebView, void* p, wkeConsoleLevel, const wkeString message, const wkeString, unsigned,
           const wkeString) { seen(p)->log << "console:" + text(message); },
        &s);
    view.web.loadUrl(m_server.url("/alerting.html").toStdString());
    QVERIFY(view.titleBecomes("alerting"));
    // Once the page is painted, it alerts.
    QVERIFY(waitFor([&] { return view.host.grab().toImage().pixelColor(10, 10) == QColor(255, 0, 0); }));
    view.web.runScriptText("setTimeout(function () { alert('now'); document.title = 'done'; }, 0); text = '';");
    QVERIFY(view.titleBecomes("done"));
    QVERIFY(s.log.contains("script:error"));
    QVERIFY(s.log.contains("url:/alerting.html"));
    QVERIFY(s.log.contains("title:alerting"));
    QVERIFY(s.log.contains("cookie:k=v"));
    QVERIFY2(s.log.contains("capture:#ff0000"), qPrintable(s.log.join('\n')));
    QVERIFY(waitFor([&] { return !s.log.filter("console:").filter("handler").isEmpty(); }));
}

void TestEvents::navigationRefusedKeepsThePage()
{
    m_server.route("/a.html", page("A", "<a id='link' href='/b.html'>to b</a>"));
    m_server.route("/b.html", page("B"));
    View view(m_server.url("/blank.html"));
    Seen s;
    view.web.onNavigation(
        [](wkeWebView, void* p, wkeNavigationType type, const wkeString url) {
            const QString path = QUrl(text(url)).path();
            seen(p)->log << QStringLiteral("%1:%2").arg(int(type)).arg(path);
            return path != QLatin1String("/b.html");
        },
        &s);
    view.web.loadUrl(m_server.url("/a.html").toStdString());
    QVERIFY(view.titleBecomes("A"));
    QCOMPARE(s.log, QStringList({QStringLiteral("%1:/a.html").arg(WKE_NAVIGATION_TYPE_TYPED)}));

    view.web.runScriptText("document.getElementById('link').click(); text = 'clicked';");
    QVERIFY(waitFor([&] { return s.log.size() == 2; }));
    QCOMPARE(s.log[1], QStringLiteral("%1:/b.html").arg(WKE_NAVIGATION_TYPE_LINKCLICK));
    QTest::qWait(500);
    QCOMPARE(view.title(), QStringLiteral("A"));
    QCOMPARE(QUrl(QString::fromStdString(view.web.getUrl())).path(), QStringLiteral("/a.html"));
    QVERIFY(m_server.requestsFor("/b.html").isEmpty());
}

void TestEvents::newWindowAskedFor()
{
    m_server.route("/opener.html", page("opener"));
    m_server.route("/popup.html", page("popup"));
    View view(m_server.url("/opener.html"));
    QVERIFY(view.titleBecomes("opener"));
    Seen s;
    view.web.onCreateView(
        [](wkeWebView, void* p, wkeNavigationType, const wkeString url, const wkeWindowFeatures* features) {
            seen(p)->log << QUrl(text(url)).path();
            seen(p)->features = *features;
            return seen(p)->returnView;
        },
        &s);
    // Refused: nothing opens, the page stays.
    view.web.runScriptText("window.open('/popup.html', 'w', 'width=300,height=200'); text = 'x';");
    QVERIFY(waitFor([&] { return s.log.size() == 1; }));
    QCOMPARE(s.log[0], QStringLiteral("/popup.html"));
    QCOMPARE(s.features.width, 300);
    QCOMPARE(s.features.height, 200);
    QVERIFY(s.features.popup);
    QTest::qWait(300);
    QCOMPARE(view.title(), QStringLiteral("opener"));
    QCOMPARE(QApplication::topLevelWidgets().size(), 1);

    // The view itself: the page opens in place.
    s.returnView = view.web.engine().getViewHandle();
    view.web.runScriptText("window.open('/popup.html'); text = 'x';");
    QVERIFY(view.titleBecomes("popup"));
}

void TestEvents::registrationsKeepApartAndReplace()
{
    m_server.route("/one.html", page("one"));
    m_server.route("/two.html", page("two"));
    auto shown = blankView();
    QVERIFY(shown);
    View& view = *shown;
    Seen first, second, responses, releases;
    view.web.onTitleChanged([](wkeWebView, void* p, const wkeString t) { seen(p)->log << text(t); }, &first);
    view.web.onNetResponse(
        [](wkeWebView, void* p, const char* url, wkeNetJob) {
            seen(p)->log << QUrl(QString::fromUtf8(url)).path();
            return false;
        },
        &responses);
    view.web.onWillReleaseScriptContext(
        [](wkeWebView view, void* p, wkeWebFrameHandle frame, void*, int) {
            seen(p)->log << (frame == WKE_CALL(wkeWebFrameGetMainFrame)(view) ? "main" : "sub");
        },
        &releases);
    // A second title registration replaces the first handler.
    view.web.onTitleChanged([](wkeWebView, void* p, const wkeString t) { seen(p)->log << text(t); }, &second);

    view.web.loadUrl(m_server.url("/one.html").toStdString());
    QVERIFY(view.titleBecomes("one"));
    view.web.loadUrl(m_server.url("/two.html").toStdString());
    QVERIFY(view.titleBecomes("two"));
    QVERIFY(waitFor([&] { return second.log.contains("two") && releases.log.contains("main"); }));
    QVERIFY(first.log.isEmpty());
    QVERIFY(responses.log.contains("/one.html"));
    QVERIFY(responses.log.contains("/two.html"));
}

void TestEvents::cookiesReachThePageAndOutliveTheView()
{
    m_server.route("/c.html", HttpServer::response("<title>c</title>", "text/html",
                                                   {"Set-Cookie: server=7; Path=/; HttpOnly"}));
    const QByteArray url = m_server.url("/c.html");
    auto first = std::make_unique<View>(m_server.url("/blank.html"), "cookies");
    QVERIFY(waitFor([&] { return first->web.isLoadingCompleted(); }));
    first->web.setCookies(url.toStdString(), "127.0.0.1", "a=1; b=two words");
    first->web.loadUrl(url.toStdString());
    QVERIFY(first->titleBecomes("c"));
    QCOMPARE(first->value("document.cookie"), QStringLiteral("a=1; b=twowords"));
    // The page's request carried them; the HttpOnly cookie is reported too.
    QCOMPARE(m_server.requestsFor("/c.html").last().header("Cookie"), QByteArray("a=1; b=twowords"));
    QCOMPARE(first->web.getCookie(), std::string("a=1; b=twowords; server=7"));
    first.reset();

    // A new view on the same profile has them.
    View second(url, "cookies");
    QVERIFY(second.titleBecomes("c"));
    QCOMPARE(second.value("document.cookie"), QStringLiteral("a=1; b=twowords"));
    QCOMPARE(second.web.getCookie(), std::string("a=1; b=twowords; server=7"));

    // Switched off, no cookie travels; cleared, none is left.
    second.web.engine().setCookieEnabled(false);
    QVERIFY(!second.web.engine().isCookieEnabled());
    second.web.reload();
    QVERIFY(waitFor([&] { return m_server.requestsFor("/c.html").size() == 3; }));
    QVERIFY(!m_server.requestsFor("/c.html").last().hasHeader("Cookie"));
    QVERIFY(second.titleBecomes("c"));
    QCOMPARE(second.value("document.cookie"), QString());
    second.web.engine().setCookieEnabled(true);
    second.web.clearCookies(wkeCookieCommandClearAllCookies);
    QVERIFY(waitFor([&] { return second.value("document.cookie").isEmpty(); }));
    second.web.reload();
    QVERIFY(waitFor([&] { return m_server.requestsFor("/c.html").size() == 4; }));
    QVERIFY(!m_server.requestsFor("/c.html").last().hasHeader("Cookie"));
}

void TestEvents::requestAnsweredWithoutTheNetwork()
{
    auto shown = blankView();
    QVERIFY(shown);
    View& view = *shown;
    Seen s;
    s.web = &view.web;
    view.web.onLoadUrlBegin(
        [](wkeWebView, void* p, const char* url, wkeNetJob job) {
            if (QUrl(QString::fromUtf8(url)).path() == QLatin1String("/answered.html")) {
                seen(p)->web->netSetData(job, rt::gb("<title>answered</title><p id=t>由处理函数给出</p>"));
                seen(p)->web->netSetMimeType(job, "text/html; charset=gbk");
            }
            return false;
        },
        &s);
    view.web.loadUrl(m_server.url("/answered.html").toStdString());
    QVERIFY(view.titleBecomes("answered"));
    QCOMPARE(view.value("document.getElementById('t').textContent"), QStringLiteral("由处理函数给出"));
    QVERIFY(m_server.requestsFor("/answered.html").isEmpty());
}

// A request handler that sets the response's type and a field, but no body:
// the page gets the server's body with them, whether the response streams on
// or a response handler holds it.
void TestEvents::responseTypeAndFieldsWithoutABody_data()
{
    QTest::addColumn<bool>("held");
    QTest::newRow("streamed") << false;
    QTest::newRow("held for a response handler") << true;
}

void TestEvents::responseTypeAndFieldsWithoutABody()
{
    QFETCH(bool, held);
    m_server.route("/typed.html",
                   page("typed", "<script>fetch('/data').then(function (r) {"
                                 " return r.text().then(function (t) {"
                                 "  document.title = r.headers.get('content-type') + '|' + r.headers.get('x-added') +"
                                 "   '|' + t; }); });</script>"));
    m_server.route("/data", HttpServer::response("server body", "text/html", {"X-Added: 0"}));
    auto shown = blankView();
    QVERIFY(shown);
    View& view = *shown;
    Seen s;
    s.web = &view.web;
    view.web.onLoadUrlBegin(
        [](wkeWebView, void* p, const char* url, wkeNetJob job) {
            if (QUrl(QString::fromUtf8(url)).path() == QLatin1String("/data")) {
                seen(p)->web->netSetMimeType(job, "application/x-test");
                seen(p)->web->netSetHeaderField(job, "X-Added", "1", true);
            }
            return false;
        },
        &s);
    if (held)
        view.web.onNetResponse([](wkeWebView, void*, const char*, wkeNetJob) { return false; }, &s);
    view.web.loadUrl(m_server.url("/typed.html").toStdString());
    QVERIFY(view.titleBecomes("application/x-test|1|server body"));
}

// Where a response cannot be changed (a file here; https likewise), the
// console says so once per view instead of dropping the setting silently.
void TestEvents::responseFieldsOutOfReachAreSaidOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath("local.html"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<!doctype html><title>local</title><body>file</body>");
    file.close();
    auto shown = blankView();
    QVERIFY(shown);
    View& view = *shown;
    Seen s;
    s.web = &view.web;
    view.web.onLoadUrlBegin(
        [](wkeWebView, void* p, const char* url, wkeNetJob job) {
            if (QByteArray(url).startsWith("file:"))
                seen(p)->web->netSetMimeType(job, "text/plain");
            return false;
        },
        &s);
    view.web.onConsole(
        [](wkeWebView, void* p, wkeConsoleLevel, const wkeString message, const wkeString, unsigned,
           const wkeString) { seen(p)->log << text(message); },
        &s);
    for (int i = 0; i < 2; ++i) {
        view.web.loadUrl(rt::qstringToGb(QUrl::fromLocalFile(file.fileName()).toString()));
        QVERIFY(view.titleBecomes("local"));
        view.web.loadUrl(m_server.url("/blank.html").toStdString());
        QVERIFY(view.titleBecomes("blank"));
    }
    QCOMPARE(s.log.filter("applies to http responses only").size(), 1);
}

void TestEvents::postRequestVisibleToTheHandler()
{
    m_server.route("/form.html", page("form", "<form method='post' action='/submit'>"
                                              "<input name='a' value='1'><input name='b' value='x y'></form>"));
    m_server.route("/submit", page("submitted"));
    View view(m_server.url("/form.html"));
    QVERIFY(view.titleBecomes("form"));
    Seen s;
    s.web = &view.web;
    view.web.onLoadUrlBegin(
        [](wkeWebView, void* p, const char* url, wkeNetJob job) {
            if (QUrl(QString::fromUtf8(url)).path() == QLatin1String("/submit")) {
                seen(p)->method = seen(p)->web->netGetRequestMethod(job);
                seen(p)->postBody = QByteArray::fromStdString(seen(p)->web->netGetPostBody(job));
                seen(p)->web->netSetRequestHeader(job, "X-Seen", "yes");
            }
            return false;
        },
        &s);
    view.web.runScriptText("document.forms[0].submit(); text = 'sent';");
    QVERIFY(view.titleBecomes("submitted"));
    QCOMPARE(s.method, int(WKE_HTTP_METHOD_POST));
    QCOMPARE(s.postBody, QByteArray("a=1&b=x+y"));
    const RecordedRequest got = m_server.requestsFor("/submit").last();
    QCOMPARE(got.method, QByteArray("POST"));
    QCOMPARE(got.body, QByteArray("a=1&b=x+y"));
    QCOMPARE(got.header("X-Seen"), QByteArray("yes"));
    // What the engine added to steer the request does not reach the server.
    QVERIFY(!got.hasHeader(NetProxyTag));
    QVERIFY(!got.hasHeader("Pragma"));
    QCOMPARE(got.header("Origin"), "http://127.0.0.1:" + QByteArray::number(m_server.port()));
}

void TestEvents::crossOriginRequestNeedsNoPreflight()
{
    // Another origin (host name instead of address, another port) that
    // allows any origin to read it.
    HttpServer other;
    other.route("/data", HttpServer::response("cross data", "text/plain", {"Access-Control-Allow-Origin: *"}));
    auto shown = blankView();
    QVERIFY(shown);
    View& view = *shown;
    Seen s;
    s.web = &view.web;
    view.web.onLoadUrlBegin(
        [](wkeWebView, void* p, const char* url, wkeNetJob job) {
            seen(p)->log << QString::fromUtf8(url);
            seen(p)->method = seen(p)->web->netGetRequestMethod(job);
            return false;
        },
        &s);
    const QByteArray url = other.url("/data", "localhost");
    QCOMPARE(view.value("(function(){var x = new XMLHttpRequest(); x.open('GET', '" + QString::fromLatin1(url) +
                        "', false); x.send(); return x.status + ':' + x.responseText;})()"),
             QStringLiteral("200:cross data"));
    // The handler saw it through the proxy, and the page sent no preflight.
    QVERIFY(s.log.contains(QString::fromLatin1(url)));
    QCOMPARE(s.method, int(WKE_HTTP_METHOD_GET));
    QCOMPARE(other.requests().size(), 1);
    QCOMPARE(other.requests()[0].method, QByteArray("GET"));
    QVERIFY(!other.requests()[0].hasHeader(NetProxyTag));
}

void TestEvents::setProxyChainsBehindTheEngineProxy()
{
    // The proxy set on the view is a plain server here, answering everything.
    HttpServer upstream;
    upstream.setHandler([](const RecordedRequest&) { return page("from upstream"); });
    auto shown = blankView();
    QVERIFY(shown);
    View& view = *shown;
    view.web.setHttpProxy("127.0.0.1", upstream.port(), "user", "pw");
    view.web.loadUrl("http://chained.invalid/start.html");
    QVERIFY(view.titleBecomes("from upstream"));
    QVERIFY(!upstream.requests().isEmpty());
    const RecordedRequest& got = upstream.requests()[0];
    QCOMPARE(got.target, QByteArray("http://chained.invalid/start.html"));
    QCOMPARE(got.header("Proxy-Authorization"), "Basic " + QByteArray("user:pw").toBase64());
    // It came from the engine's proxy (which closes each connection), not
    // from Chromium directly.
    QCOMPARE(got.header("Connection"), QByteArray("close"));
    QVERIFY(!got.hasHeader("Proxy-Connection"));
    // Loopback pages never take the chained proxy.
    view.web.loadUrl(m_server.url("/blank.html").toStdString());
    QVERIFY(view.titleBecomes("blank"));

    // Whatever proxy is set, the engine's proxy stays in the path: requests
    // still reach the handlers through it.
    view.web.engine().setProxy(WKE_PROXY_NONE, "", 0, "", "");
    Seen s;
    view.web.onLoadUrlBegin(
        [](wkeWebView, void* p, const char* url, wkeNetJob) {
            seen(p)->log << QUrl(QString::fromUtf8(url)).path();
            return false;
        },
        &s);
    QTest::qWait(2000);  // time for Qt WebEngine to take up a changed proxy, were it told of one
    const qsizetype before = m_server.requestsFor("/s.js").size();
    view.web.loadUrl(m_server.url("/script.html").toStdString());
    QVERIFY(waitFor([&] { return s.log.contains("/s.js") && m_server.requestsFor("/s.js").size() > before; }));
    QVERIFY(!m_server.requestsFor("/s.js").last().hasHeader(NetProxyTag));
}

void TestEvents::scriptRewrittenBeforeItRuns()
{
    auto shown = blankView();
    QVERIFY(shown);
    View& view = *shown;
    Seen s;
    s.web = &view.web;
    view.web.onLoadUrlBegin(
        [](wkeWebView, void* p, const char* url, wkeNetJob job) {
            if (QByteArray(url).endsWith("/s.js"))
                seen(p)->web->netHookRequest(job);
            return false;
        },
        &s);
    view.web.onLoadUrlEnd(
        [](wkeWebView, void* p, const char* url, wkeNetJob job, void* buf, int len) {
            seen(p)->log << QStringLiteral("%1:%2").arg(QUrl(QString::fromUtf8(url)).path()).arg(len);
            int length = len;
            seen(p)->web->netReplaceInResponse(job, buf, length, "ab", "x");
            seen(p)->lengthAfter = length;
        },
        &s);
    view.web.loadUrl(m_server.url("/script.html").toStdString());
    QVERIFY(view.titleBecomes("xcx"));
    QCOMPARE(s.log, QStringList({QStringLiteral("/s.js:25")}));
    QCOMPARE(s.lengthAfter, 23);
}

// A view that nobody sees still gives the page's real pixels: its host
// hidden after loading, minimised, or never shown on a display (as in a run).
void TestEvents::capturesWithoutAScreen_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("changedUnseen");  // the block turns blue once the view is off display
    QTest::newRow("hidden") << 0 << false;
    QTest::newRow("minimised") << 1 << false;
    QTest::newRow("never shown on a display") << 2 << false;
    // What the view last showed is older than the page.
    QTest::newRow("hidden, then changed") << 0 << true;
    QTest::newRow("minimised, then changed") << 1 << true;
}

void TestEvents::capturesWithoutAScreen()
{
    QFETCH(int, state);
    QFETCH(bool, changedUnseen);
    m_server.route("/red.html",
                   HttpServer::response("<!doctype html><html><head><title>red</title><style>"
                                        "html,body{margin:0;background:#00ff00}"
                                        "#red{position:absolute;left:100px;top:60px;width:40px;height:30px;"
                                        "background:#ff0000}</style></head><body><div id='red'></div></body></html>"));
    QWidget host;
    host.resize(320, 240);
    if (state == 2)
        host.setAttribute(Qt::WA_DontShowOnScreen);
    host.show();
    webview::WebView web;
    web.create(&host, "events", m_server.url("/red.html").toStdString(), "");
    QVERIFY(waitFor([&] { return rt::gbToQString(web.engine().getTitle()) == "red"; }));
    if (state == 0)
        host.hide();
    else if (state == 1)
        host.showMinimized();
    if (changedUnseen) {
        QTest::qWait(300);  // the view has shown the red block and gone off display
        web.engine().runScript("document.getElementById('red').style.background='#0000ff'");
    }
    const QImage image = QImage::fromData(web.capturePage(), "BMP");
    QCOMPARE(image.size(), QSize(320, 240));
    QCOMPARE(image.pixelColor(120, 75), changedUnseen ? QColor(0, 0, 255) : QColor(255, 0, 0));
    QCOMPARE(image.pixelColor(99, 75), QColor(0, 255, 0));
    QCOMPARE(image.pixelColor(140, 75), QColor(0, 255, 0));
    QCOMPARE(image.pixelColor(120, 59), QColor(0, 255, 0));
    QCOMPARE(image.pixelColor(120, 90), QColor(0, 255, 0));
    QCOMPARE(image.pixelColor(300, 200), QColor(0, 255, 0));
    // The view is back in its host, at its size.
    QCOMPARE(web.engine().getWidth(), 320);
    QVERIFY(host.findChild<QWidget*>());
}

void TestEvents::capturesTheWholePage()
{
    m_server.route("/tall.html",
                   HttpServer::response(
                       "<!doctype html><html><head><title>tall</title><style>"
                       "html,body{margin:0;padding:0}"
                       "#page{position:relative;width:800px;height:1200px;background:#00ff00}"
                       "#red{position:absolute;left:0;top:0;width:100px;height:100px;background:#ff0000}"
                       "#blue{position:absolute;left:700px;top:1100px;width:100px;height:100px;background:#0000ff}"
                       "</style></head><body><div id='page'><div id='red'></div><div id='blue'></div></div>"
                       "</body></html>"));
    View view(m_server.url("/tall.html"));
    QVERIFY(view.titleBecomes("tall"));
    QCOMPARE(view.web.engine().getWidth(), 640);

    const QByteArray file = view.web.capturePage();
    QCOMPARE(file.size(), 3840054);
    QCOMPARE(file.left(2), QByteArray("BM"));
    const auto le32 = [&](int at) {
        return qint32(quint32(uchar(file[at])) | quint32(uchar(file[at + 1])) << 8 |
                      quint32(uchar(file[at + 2])) << 16 | quint32(uchar(file[at + 3])) << 24);
    };
    QCOMPARE(le32(2), 3840054);
    QCOMPARE(le32(10), 54);
    QCOMPARE(le32(18), 800);
    QCOMPARE(le32(22), -1200);
    QCOMPARE(le32(34), 3840000);
    // Pixels are BGRA, rows top first.
    const auto pixel = [&](int x, int y) {
        const int at = 54 + (y * 800 + x) * 4;
        return QColor(uchar(file[at + 2]), uchar(file[at + 1]), uchar(file[at]));
    };
    QCOMPARE(pixel(50, 50), QColor(255, 0, 0));
    QCOMPARE(pixel(750, 1150), QColor(0, 0, 255));
    QCOMPARE(pixel(400, 600), QColor(0, 255, 0));
    QCOMPARE(pixel(799, 1199), QColor(0, 0, 255));
    QCOMPARE(pixel(0, 1199), QColor(0, 255, 0));

    QCOMPARE(view.web.engine().getWidth(), 640);
    QCOMPARE(view.web.engine().getHeight(), 480);
    QCOMPARE(view.value("document.body.style.overflow"), QStringLiteral("visible"));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestEvents test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_events.moc"
