// Network hooks and page capture on the real engine, offscreen: how fast a
// large http response reaches the page through the engine's proxy with no
// handler, with a request handler, and hooked (held whole and handed to a
// handler); and how long capturePage takes for an 800 x 1200 page.
//
//   bench_webview_events [--direct] [megabytes]     (default 20)
//
// --direct starts Chromium without the engine's proxy (the baseline without
// any hook). Runs in a temporary home folder.
#include "webview_events/httpserver.h"
#include "webview/testenv.h"

#include "runtime/textcodec.h"
#include "webview/webview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using events_test::HttpServer;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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

// Median of five synchronous fetches of /big from the page, in MB/s.
double fetchRate(webview::WebView& web, int megabytes)
{
    std::vector<double> rates;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        const std::string got = web.runScriptText(
            "var x = new XMLHttpRequest(); x.open('GET', '/big?" + std::to_string(i) +
            "', false); x.send(); text = x.responseText.length;");
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (got != std::to_string(megabytes * 1024 * 1024)) {
            std::fprintf(stderr, "fetch failed: %s\n", got.c_str());
            return 0;
        }
        rates.push_back(megabytes / seconds);
    }
    return median(rates);
}

}  // namespace

int main(int argc, char** argv)
{
    bool direct = false;
    int megabytes = 20;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--direct") == 0)
            direct = true;
        else
            megabytes = std::max(1, std::atoi(argv[i]));
    }
    if (direct)
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-proxy-server");
    QApplication app(argc, argv);

    HttpServer server;
    server.route("/page.html", HttpServer::response("<!doctype html><title>bench</title><body>bench</body>"));
    server.route("/big", HttpServer::response(QByteArray(megabytes * 1024 * 1024, 'a'), "text/plain"));
    server.route("/tall.html",
                 HttpServer::response("<!doctype html><title>tall</title><body style='margin:0'>"
                                      "<div style='width:800px;height:1200px;background:linear-gradient(red,blue)'>"
                                      "</div></body>"));
    QWidget host;
    host.resize(640, 480);
    host.show();
    webview::WebView web;
    web.create(&host, "bench", server.url("/page.html").toStdString(), "");
    if (!QTest::qWaitFor([&] { return web.engine().getTitle() == "bench"; }, 30000)) {
        std::fprintf(stderr, "the page did not load\n");
        return 1;
    }

    std::printf("%s, %d MB response, median of 5 synchronous fetches:\n",
                direct ? "without the engine's proxy" : "through the engine's proxy", megabytes);
    std::printf("  no handler            %8.1f MB/s\n", fetchRate(web, megabytes));
    if (!direct) {
        web.onLoadUrlBegin(passBegin, nullptr);
        std::printf("  request handler       %8.1f MB/s\n", fetchRate(web, megabytes));
        int seenLength = 0;
        web.onLoadUrlBegin(hookBegin, &web);
        web.onLoadUrlEnd(endSeen, &seenLength);
        std::printf("  hooked (body held)    %8.1f MB/s\n", fetchRate(web, megabytes));
        if (seenLength != megabytes * 1024 * 1024)
            std::fprintf(stderr, "the hooked body did not reach the handler\n");
        web.onLoadUrlBegin(nullptr, nullptr);
        web.onLoadUrlEnd(nullptr, nullptr);
    }

    web.loadUrl(server.url("/tall.html").toStdString());
    if (!QTest::qWaitFor([&] { return web.engine().getTitle() == "tall"; }, 30000))
        return 1;
    web.capturePage();  // the first capture also waits for the first frames
    std::vector<double> ms;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QByteArray file = web.capturePage();
        ms.push_back(timer.nsecsElapsed() / 1e6);
        if (file.size() != 3840054)
            std::fprintf(stderr, "capture gave %lld bytes\n", static_cast<long long>(file.size()));
    }
    std::printf("capturePage of 800 x 1200 in a 640 x 480 view: median %.0f ms\n", median(ms));
    return 0;
}
