// Page script bridge figures, offscreen, on one generated page of 1,000
// inputs: getValue and setValue of the last input (the search scans every
// input before it) through the bridge, one at a time (median, 95th
// percentile) and 2,000 alternating in a row; the bare engine run of the same
// script; then, when bench/webview_bridge/setup.sh has been run, the same
// work by Playwright on Debian's Chromium (fill, inputValue, and the bridge's
// own script through a raw DevTools-protocol Runtime.evaluate).
//
//   bench_webview_bridge [samples] [chain]      (defaults 300 and 2000)
#include "webview/appsetup.h"
#include "webview/bridge/scripts.h"
#include "webview/webview.h"

#include "runtime/textcodec.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Figures {
    double median = 0;
    double p95 = 0;
};

Figures measure(int samples, const std::function<void()>& op)
{
    for (int i = 0; i < 20; ++i)
        op();
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < samples; ++i) {
        timer.start();
        op();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[std::size_t(times.size() * 0.95)]};
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

void waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void row(const char* what, const Figures& f)
{
    std::printf("  %-44s median %8.3f ms   p95 %8.3f ms\n", what, f.median, f.p95);
}

}  // namespace

int main(int argc, char** argv)
{
    const int samples = argc > 1 ? std::max(20, std::atoi(argv[1])) : 300;
    const int chain = argc > 2 ? std::max(2, std::atoi(argv[2])) : 2000;

    // Neither the engine nor Chromium writes into the real home folder.
    QTemporaryDir home;
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"})
        qputenv(name, QDir(home.path()).filePath(QString::fromLatin1(name)).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    webview::prepareApplication();
    QApplication app(argc, argv);

    QTemporaryDir work;
    QByteArray html = "<!doctype html><html><head><meta charset='utf-8'><title>inputs</title></head><body>\n";
    for (int i = 0; i < 1000; ++i)
        html += QStringLiteral("<input id=\"f%1\" name=\"n%1\" value=\"v%1\">\n").arg(i).toUtf8();
    html += "</body></html>\n";
    const QString page = work.filePath(QStringLiteral("page.html"));
    writeFile(page, html);

    QWidget host;
    host.resize(800, 600);
    host.show();
    webview::WebView web;
    web.create(&host, "", rt::qstringToGb(page), "");
    waitFor([&] { return web.isLoadingCompleted() && web.runScriptText(
                      "text = document.getElementsByTagName('input').length;") == "1000"; },
            30000);
    if (web.getValue("input", "f999") != "v999") {
        std::fprintf(stderr, "the page did not load\n");
        return 1;
    }

    const std::string key = "f999";
    const Figures get = measure(samples, [&] { web.getValue("input", key); });
    const Figures set = measure(samples, [&] { web.setValue("input", key, "abc"); });
    const Figures getFirst = measure(samples, [&] { web.getValue("input", "f0"); });
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < chain / 2; ++i) {
        web.setValue("input", key, "abc");
        web.getValue("input", key);
    }
    const double chainMs = timer.nsecsElapsed() / 1e6;

    // The same script text as the bridge builds it, run bare through the
    // engine (no text conversions, no value read-back).
    namespace b = webview::bridge;
    const std::string getCode = b::pageLibrary() + b::locator("input", key, 0, "", "", "") +
                                b::getValue() + " return text;";
    const std::string setCode = b::pageLibrary() + b::locator("input", key, 0, "", "", "") +
                                b::setValue("abc") + " return text;";
    const Figures bareGet = measure(samples, [&] { web.runScript(getCode); });
    // A trivial run: the round trip alone.
    const Figures trivial = measure(samples, [&] { web.runScript("return 1;"); });

    std::printf("Page script bridge, 1,000 inputs, key %s (the last), %d samples\n", key.c_str(), samples);
    row("bridge getValue", get);
    row("bridge setValue", set);
    row("bridge getValue of the first input (f0)", getFirst);
    std::printf("  %-44s total %8.1f ms   per op %6.3f ms\n", "bridge 2,000 alternating set/get", chainMs,
                chainMs / chain);
    row("engine run of the getValue script (bare)", bareGet);
    row("engine run of \"return 1;\" (round trip)", trivial);

    // The comparison half.
    const QString benchDir = QStringLiteral(BRIDGE_BENCH_DIR);
    if (!QFile::exists(benchDir + QStringLiteral("/node_modules/playwright-core"))) {
        std::printf("Playwright comparison skipped: run bench/webview_bridge/setup.sh first\n");
        return 0;
    }
    writeFile(work.filePath(QStringLiteral("get.js")), QByteArray::fromStdString(rt::gbToUtf8(getCode)));
    writeFile(work.filePath(QStringLiteral("set.js")), QByteArray::fromStdString(rt::gbToUtf8(setCode)));
    QProcess node;
    node.setWorkingDirectory(benchDir);
    node.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    node.start(QStringLiteral("node"), {benchDir + QStringLiteral("/bench_playwright.mjs"), work.path(),
                                        QString::number(samples), QString::number(chain),
                                        QStringLiteral("#f999")});
    if (!node.waitForFinished(600000) || node.exitCode() != 0) {
        std::printf("Playwright comparison failed\n");
        return 1;
    }
    const QJsonObject pw = QJsonDocument::fromJson(node.readAllStandardOutput()).object();
    const auto figures = [&](const char* name) {
        const QJsonObject o = pw.value(QLatin1String(name)).toObject();
        return Figures{o.value(QLatin1String("median")).toDouble(), o.value(QLatin1String("p95")).toDouble()};
    };
    const Figures fill = figures("fill"), inputValue = figures("inputValue");
    const Figures cdpGet = figures("cdpGet"), cdpSet = figures("cdpSet");
    std::printf("Playwright on Chromium %s\n", qPrintable(pw.value(QLatin1String("chromium")).toString()));
    row("Playwright fill", fill);
    row("Playwright inputValue", inputValue);
    row("raw CDP Runtime.evaluate, bridge getValue script", cdpGet);
    row("raw CDP Runtime.evaluate, bridge setValue script", cdpSet);
    const double chainPw = pw.value(QLatin1String("chainPlaywright")).toDouble();
    const double chainCdp = pw.value(QLatin1String("chainCdp")).toDouble();
    std::printf("  %-44s total %8.1f ms   per op %6.3f ms\n", "Playwright 2,000 alternating fill/inputValue",
                chainPw, chainPw / chain);
    std::printf("  %-44s total %8.1f ms   per op %6.3f ms\n", "raw CDP 2,000 alternating set/get", chainCdp,
                chainCdp / chain);
    std::printf("Ratios (medians; above 1 means the bridge is faster)\n");
    std::printf("  fill / bridge setValue            %6.1f\n", fill.median / set.median);
    std::printf("  inputValue / bridge getValue      %6.1f\n", inputValue.median / get.median);
    std::printf("  raw CDP get / bridge getValue     %6.2f\n", cdpGet.median / get.median);
    std::printf("  raw CDP set / bridge setValue     %6.2f\n", cdpSet.median / set.median);
    std::printf("  chain: Playwright / bridge        %6.1f\n", chainPw / chainMs);
    std::printf("  chain: raw CDP / bridge           %6.2f\n", chainCdp / chainMs);
    return 0;
}
