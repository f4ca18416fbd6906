// The form-fill bridge on the real engine, offscreen: the round trip of one
// server request (sent, run in the page, answered), on a page without a
// policy and on one whose policy forbids eval and connections, for a request
// ending in an expression and for one ending in a block; and, to compare,
// with the socket held by the page itself (no policy).
//
//   bench_fillbridge [requests]     (default 200)
//
// Runs in a temporary home folder.
#include "webview/enginetest.h"
#include "webview_events/fillserver.h"
#include "webview_events/httpserver.h"

#include "webview/fillbridge/fillbridge.h"
#include "webview/webview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using events_test::Connection;
using events_test::FillServer;
using events_test::HttpServer;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median milliseconds from sending request to its answer.
double roundTrip(Connection* c, const QString& script, int count)
{
    std::vector<double> times;
    const QString request = QString::fromLatin1(QUrl::toPercentEncoding(script)) + QStringLiteral("##");
    for (int i = 0; i < count; ++i) {
        QEventLoop loop;
        bool answered = false;
        const auto watch = QObject::connect(c->socket, &QWebSocket::textMessageReceived, &loop,
                                            [&](const QString& message) {
                                                if (message.startsWith(QLatin1String("dat->"))) {
                                                    answered = true;
                                                    loop.quit();
                                                }
                                            });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        QElapsedTimer timer;
        timer.start();
        c->socket->sendTextMessage(request);
        loop.exec();
        QObject::disconnect(watch);
        if (!answered)
            return -1;
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return median(times);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    HttpServer pages;
    const QByteArray body = "<!doctype html><title>ready</title><input id='name' value='v'>";
    pages.route("/plain.html", HttpServer::response(body));
    pages.route("/policy.html", HttpServer::response(body, "text/html",
                                                     {"Content-Security-Policy: script-src 'self'; connect-src 'none'"}));
    QWidget host;
    host.resize(640, 480);
    host.show();
    webview::WebView web;
    web.create(&host, "bench", pages.url("/plain.html").toStdString(), "");
    FillServer server;
    std::printf("requests: %d each, median round trip in ms\n", count);
    // "page-held": the whole bridge script run in the page, which then holds
    // the socket itself (the route of a page that includes the script).
    for (const char* path : {"page-held", "/plain.html", "/policy.html"}) {
        const bool pageHeld = std::string(path) == "page-held";
        web.runScriptText("document.title = 'leaving'; text = '';");
        web.loadUrl(pages.url(pageHeld ? "/plain.html" : path).toStdString());
        webview_test::waitUntil([&] { return web.isLoadingCompleted() && web.engine().getTitle() == "ready"; }, 15000);
        const qsizetype before = server.connections().size();
        if (pageHeld)
            web.runScript(webview::fillBridgeScript(server.port(), "bench"));
        else
            web.injectFillBridge(server.port(), "bench");
        if (!webview_test::waitUntil([&] { return server.connections().size() > before; }, 10000)) {
            std::printf("%s: no connection\n", path);
            return 1;
        }
        Connection* c = server.connections().last();
        webview_test::waitUntil([&] { return !c->messages.isEmpty(); }, 10000);
        std::printf("%-13s expression: %.2f   block: %.2f\n", path,
                    roundTrip(c, QStringLiteral("finds('input==name', 0, '').value"), count),
                    roundTrip(c, QStringLiteral("if (true) { finds('input==name', 0, '').value }"), count));
    }
    return 0;
}
