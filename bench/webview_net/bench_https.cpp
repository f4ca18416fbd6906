// https through the engine's proxy on the real engine, offscreen, against
// the same pages loaded directly in the same run:
//   - first contentful paint of a small page set (page, style sheet, script,
//     image), a view without handlers (plain tunnel, the engine talks TLS to
//     the server itself) against a view with a request handler (TLS ended in
//     the proxy);
//   - a large response read by the page: direct, intercepted and streamed,
//     intercepted and hooked (held whole for onLoadUrlEnd);
//   - the process's resident memory while the page runs 100 intercepted
//     fetches at once.
//
//   bench_webview_net [megabytes]     (default 50)
//
// The servers' certificates come from an authority made here; the engine's
// proxy trusts it through the library's test function, the direct view by
// accepting the certificate error. Runs in a temporary home folder.
#include "webview_events/httpserver.h"
#include "webview/testenv.h"

#include "engine/tlscerts.h"
#include "webview/engineloader.h"
#include "webview/webview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

using events_test::HttpServer;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

bool passBegin(wkeWebView, void*, const char*, wkeNetJob) { return false; }

bool hookBegin(wkeWebView, void* p, const char* url, wkeNetJob job)
{
    if (std::strstr(url, "/big"))
        static_cast<webview::WebView*>(p)->netHookRequest(job);
    return false;
}

void endSeen(wkeWebView, void* p, const char*, wkeNetJob, void*, int len)
{
    *static_cast<int*>(p) = len;
}

struct View {
    QWidget host;
    webview::WebView web;

    explicit View(const std::string& profile)
    {
        host.resize(640, 480);
        host.show();
        web.create(&host, profile, "about:blank", "");
        // The direct view accepts the servers' authority by hand.
        QObject::connect(host.findChild<QWebEngineView*>()->page(), &QWebEnginePage::certificateError,
                         [](const QWebEngineCertificateError& error) {
                             auto accepted = error;
                             accepted.acceptCertificate();
                         });
    }
    bool load(const QByteArray& url, const std::string& title)
    {
        web.loadUrl(url.toStdString());
        return QTest::qWaitFor([&] { return web.engine().getTitle() == title; }, 30000);
    }
    double number(const std::string& expression)
    {
        return std::atof(web.runScriptText("text = String(" + expression + ");").c_str());
    }
};

// First contentful paint of /set.html in ms, median of runs loads.
double firstPaint(View& view, HttpServer& server, int runs)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        if (!view.load(server.url("/set.html?" + QByteArray::number(i)), "set"))
            return -1;
        (void)QTest::qWaitFor([&] {
            return view.number("(performance.getEntriesByName('first-contentful-paint')[0] || {}).startTime || 0") >
                   0;
        }, 5000);
        ms.push_back(
            view.number("(performance.getEntriesByName('first-contentful-paint')[0] || {}).startTime || -1"));
    }
    return median(ms);
}

// Median of three fetches of /big from the page, in MB/s.
double fetchRate(View& view, int megabytes)
{
    std::vector<double> rates;
    const double expected = megabytes * 1024.0 * 1024.0;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        view.web.runScriptText("window.got = 0; fetch('/big?" + std::to_string(i) +
                               "').then(r => r.text()).then(t => { window.got = t.length; },"
                               " () => { window.got = -1; }); text = 'started';");
        if (!QTest::qWaitFor([&] { return view.number("window.got") != 0; }, 120000) ||
            view.number("window.got") != expected) {
            std::fprintf(stderr, "fetch failed\n");
            return 0;
        }
        rates.push_back(megabytes / (timer.nsecsElapsed() / 1e9));
    }
    return median(rates);
}

QSslConfiguration serverTls(const engine::tls::Authority& authority)
{
    const engine::tls::Identity identity = authority.issue(QStringLiteral("127.0.0.1"));
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain({identity.certificate, authority.certificate()});
    config.setPrivateKey(identity.key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    return config;
}

void addPages(HttpServer& server, int megabytes)
{
    server.route("/blank.html", HttpServer::response("<!doctype html><title>blank</title>"));
    server.route("/set.html", HttpServer::response("<!doctype html><title>set</title>"
                                                   "<link rel=stylesheet href='/set.css'><script src='/set.js'></script>"
                                                   "<body><h1>Page set</h1><img src='/set.svg'></body>"));
    server.route("/set.css", HttpServer::response("h1 { color: rgb(10, 20, 30); }", "text/css"));
    server.route("/set.js", HttpServer::response("window.loaded = 1;", "text/javascript"));
    server.route("/set.svg", HttpServer::response("<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'>"
                                                  "<rect width='10' height='10'/></svg>",
                                                  "image/svg+xml"));
    server.route("/big", HttpServer::response(QByteArray(megabytes * 1024 * 1024, 'a'), "text/plain"));
    server.route("/small", HttpServer::response(QByteArray(64 * 1024, 'b'), "text/plain"));
}

}  // namespace

int main(int argc, char** argv)
{
    const int megabytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    QApplication app(argc, argv);

    auto authority = engine::tls::Authority::create(QStringLiteral("bench authority"));
    webview::BoundFunction binding;
    auto trust = reinterpret_cast<void (*)(const char*, int)>(
        webview::engineFunction("tolvaneTestingTrustUpstreamAuthority", binding));
    const QByteArray pem = authority->certificate().toPem();
    trust(pem.constData(), int(pem.size()));

    // One server per view: a host an intercepting view uses is intercepted
    // for every view, so the direct view gets a server of its own.
    HttpServer directServer(serverTls(*authority));
    HttpServer hookedServer(serverTls(*authority));
    addPages(directServer, megabytes);
    addPages(hookedServer, megabytes);

    View direct("direct");
    View hooked("hooked");
    hooked.web.onLoadUrlBegin(passBegin, nullptr);
    if (!direct.load(directServer.url("/blank.html"), "blank") ||
        !hooked.load(hookedServer.url("/blank.html"), "blank")) {
        std::fprintf(stderr, "the pages did not load\n");
        return 1;
    }

    constexpr int kRuns = 9;
    // Alternating rounds, so that the machine's load falls on both alike.
    std::vector<double> directPaint;
    std::vector<double> hookedPaint;
    for (int round = 0; round < 3; ++round) {
        directPaint.push_back(firstPaint(direct, directServer, kRuns));
        hookedPaint.push_back(firstPaint(hooked, hookedServer, kRuns));
    }
    const double d = median(directPaint);
    const double h = median(hookedPaint);
    std::printf("first contentful paint of the page set, median of %d loads x 3 rounds:\n", kRuns);
    std::printf("  direct (plain tunnel)        %7.1f ms\n", d);
    std::printf("  intercepted, request handler %7.1f ms  (%+.1f %%)\n", h, d > 0 ? (h - d) / d * 100 : 0);

    std::printf("%d MB response, median of 3 fetches:\n", megabytes);
    direct.load(directServer.url("/blank.html"), "blank");
    hooked.load(hookedServer.url("/blank.html"), "blank");
    std::printf("  direct (plain tunnel)        %7.1f MB/s\n", fetchRate(direct, megabytes));
    std::printf("  intercepted, streamed        %7.1f MB/s\n", fetchRate(hooked, megabytes));
    int seenLength = 0;
    hooked.web.onLoadUrlBegin(hookBegin, &hooked.web);
    hooked.web.onLoadUrlEnd(endSeen, &seenLength);
    std::printf("  intercepted, hooked (held)   %7.1f MB/s\n", fetchRate(hooked, megabytes));
    if (seenLength != megabytes * 1024 * 1024)
        std::fprintf(stderr, "the hooked body did not reach the handler\n");
    hooked.web.onLoadUrlBegin(passBegin, nullptr);
    hooked.web.onLoadUrlEnd(nullptr, nullptr);

    // 100 fetches of 64 KiB at once; resident memory sampled while they run.
    const long before = residentKiB();
    hooked.web.runScriptText("window.done = 0; for (let i = 0; i < 100; ++i)"
                             " fetch('/small?' + i).then(r => r.text()).then(() => ++window.done);"
                             " text = 'started';");
    long peak = before;
    QElapsedTimer timer;
    timer.start();
    while (hooked.number("window.done") < 100 && timer.elapsed() < 60000) {
        peak = std::max(peak, residentKiB());
        QTest::qWait(20);
    }
    std::printf("100 parallel intercepted fetches of 64 KiB: %s in %lld ms, resident memory %ld MiB before,"
                " peak %+ld MiB while they ran\n",
                hooked.number("window.done") >= 100 ? "all done" : "NOT all done",
                static_cast<long long>(timer.elapsed()), before / 1024, (peak - before) / 1024);
    return 0;
}
