// Page script bridge figures, offscreen. On one generated page of 1,000
// inputs: getValue and setValue of the last input (the plain key search
// scans every input before it; a key on the id attribute goes through the
// id map) through the bridge, one at a time (median, 95th percentile) and
// 2,000 alternating in a row; the engine run of the inline-library script
// each run sent before, the short call sent now, and a bare round trip. Then
// the cost per operation on pages of 1,000, 10,000 and 100,000 inputs for
// keys on id, name, another attribute and the plain key, and the first
// command after a navigation (which installs the page library). When
// bench/webview_bridge/setup.sh has been run, the same work by Playwright on
// Debian's Chromium, in the same run.
//
//   bench_webview_bridge [samples] [chain]      (defaults 300 and 2000)
#include "webview/appsetup.h"
#include "webview/engineloader.h"
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
#include <QUrl>
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

QByteArray inputsPage(int count)
{
    QByteArray html = "<!doctype html><html><head><meta charset='utf-8'><title>inputs</title></head><body>\n";
    for (int i = 0; i < count; ++i)
        html += QStringLiteral("<input id=\"f%1\" name=\"n%1\" data-k=\"d%1\" value=\"v%1\">\n").arg(i).toUtf8();
    return html + "</body></html>\n";
}

// Opens a page and waits until its inputs are all there.
bool openPage(webview::WebView& web, const QString& path, int count)
{
    web.loadUrl(rt::qstringToGb(path));
    const std::string expected = std::to_string(count);
    waitFor([&] { return web.isLoadingCompleted() && web.runScriptText(
                      "text = document.getElementsByTagName('input').length;") == expected; },
            60000);
    return web.getValue("input", "f" + std::to_string(count - 1), 0, "", "id") ==
           "v" + std::to_string(count - 1);
}

// The key kinds of the size table: attribute name and key of the last input.
struct KeyKind {
    const char* label;
    const char* attribute;
    const char* prefix;
    const char* selector;  // the same element for Playwright
};
const KeyKind kKinds[] = {{"id", "id", "f", "#f"},
                          {"name", "name", "n", "[name=n"},
                          {"data-k", "data-k", "d", "[data-k=d"},
                          {"plain key", "", "f", nullptr}};
const int kSizes[] = {1000, 10000, 100000};

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
    const QString page = work.filePath(QStringLiteral("page.html"));
    writeFile(page, inputsPage(1000));
    for (const int size : kSizes)
        writeFile(work.filePath(QStringLiteral("page%1.html").arg(size)), inputsPage(size));

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
    const Figures getId = measure(samples, [&] { web.getValue("input", key, 0, "", "id"); });
    const Figures setId = measure(samples, [&] { web.setValue("input", key, "abc", 0, "", "id"); });
    // A script's text differs with every key and value, as a script's lines
    // do: the page compiles each run anew instead of finding it compiled.
    int next = 0;
    const Figures getIdEach = measure(samples, [&] {
        web.getValue("input", "f" + std::to_string(next++ % 1000), 0, "", "id");
    });
    const Figures setIdEach = measure(samples, [&] {
        const std::string n = std::to_string(next++ % 1000);
        web.setValue("input", "f" + n, "v" + n, 0, "", "id");
    });
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < chain / 2; ++i) {
        web.setValue("input", key, "abc");
        web.getValue("input", key);
    }
    const double chainMs = timer.nsecsElapsed() / 1e6;
    timer.restart();
    for (int i = 0; i < chain / 2; ++i) {
        web.setValue("input", key, "abc", 0, "", "id");
        web.getValue("input", key, 0, "", "id");
    }
    const double chainIdMs = timer.nsecsElapsed() / 1e6;

    // The same script texts run bare through the engine (no text
    // conversions, no value read-back): with the whole library inline, as
    // every run sent it before, and as the short call sent now.
    namespace b = webview::bridge;
    const std::string getScript = b::locator("input", key, 0, "", "", "") + b::getValue();
    const std::string getCode = b::pageLibrary() + getScript + " return text;";
    const std::string shortCall = rt::utf16ToGb(b::libraryRun(rt::gbToUtf16(getScript)));
    const Figures bareShort = measure(samples, [&] { web.runScript(shortCall); });
    const std::string setCode = b::pageLibrary() + b::locator("input", key, 0, "", "", "") +
                                b::setValue("abc") + " return text;";
    const Figures bareGet = measure(samples, [&] { web.runScript(getCode); });
    // A trivial run: the round trip alone.
    const Figures trivial = measure(samples, [&] { web.runScript("return 1;"); });
    // The same texts made new for every run (a number in a closing comment):
    // what the page spends on a text it has not compiled before.
    int fresh = 0;
    const Figures bareShortFresh =
        measure(samples, [&] { web.runScript(shortCall + "\n//" + std::to_string(fresh++)); });
    const Figures trivialFresh =
        measure(samples, [&] { web.runScript("return 1;\n//" + std::to_string(fresh++)); });

    std::printf("Page script bridge, 1,000 inputs, key %s (the last), %d samples\n", key.c_str(), samples);
    row("bridge getValue", get);
    row("bridge setValue", set);
    row("bridge getValue of the first input (f0)", getFirst);
    row("bridge getValue, key on id", getId);
    row("bridge setValue, key on id", setId);
    row("bridge getValue, key on id, each input in turn", getIdEach);
    row("bridge setValue, key on id, each input in turn", setIdEach);
    std::printf("  %-44s total %8.1f ms   per op %6.3f ms\n", "bridge 2,000 alternating set/get", chainMs,
                chainMs / chain);
    std::printf("  %-44s total %8.1f ms   per op %6.3f ms\n", "bridge 2,000 alternating, key on id", chainIdMs,
                chainIdMs / chain);
    row("engine run, getValue with the library inline", bareGet);
    row("engine run, getValue as the short call", bareShort);
    row("engine run of \"return 1;\" (round trip)", trivial);
    row("engine run, the short call, a new text each time", bareShortFresh);
    row("engine run of \"return 1;\", a new text each time", trivialFresh);
    std::printf("  %-44s %zu characters\n", "the short call's text", rt::gbToUtf16(shortCall).size());

    // The first command after a navigation installs the library: a fresh
    // document each time, loaded and parsed before the command is timed.
    std::vector<double> firsts, seconds;
    for (int i = 0; i < 20; ++i) {
        const std::string search = "?n=" + std::to_string(i);
        web.loadUrl(rt::qstringToGb(QUrl::fromLocalFile(page).toString()) + search);
        waitFor([&] {
            const char16_t* t = WKE_CALL(jsToStringW)(web.globalExec(), web.runScript(
                "return location.search + document.readyState;"));
            return t && rt::utf16ToGb(t) == search + "complete";
        }, 30000);
        timer.restart();
        web.getValue("input", key, 0, "", "id");
        firsts.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        web.getValue("input", key, 0, "", "id");
        seconds.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(firsts.begin(), firsts.end());
    std::sort(seconds.begin(), seconds.end());
    const double firstMs = firsts[firsts.size() / 2], secondMs = seconds[seconds.size() / 2];
    std::printf("  %-44s median %8.3f ms   (the next one %6.3f ms)\n",
                "first getValue after a navigation (key on id)", firstMs, secondMs);

    // Cost per operation by page size and key kind: getValue of the last input.
    const int sweepSamples = std::max(20, samples / 4);
    std::vector<std::vector<double>> sweep;
    std::printf("getValue of the last input, median ms per operation, %d samples\n  %-10s", sweepSamples, "inputs");
    for (const KeyKind& kind : kKinds)
        std::printf(" %12s", kind.label);
    std::printf("\n");
    for (const int size : kSizes) {
        const QString path = work.filePath(QStringLiteral("page%1.html").arg(size));
        if (!openPage(web, path, size)) {
            std::fprintf(stderr, "the page of %d inputs did not load\n", size);
            return 1;
        }
        sweep.emplace_back();
        std::printf("  %-10d", size);
        for (const KeyKind& kind : kKinds) {
            const std::string last = kind.prefix + std::to_string(size - 1);
            const double ms = measure(sweepSamples, [&] { web.getValue("input", last, 0, "", kind.attribute); }).median;
            sweep.back().push_back(ms);
            std::printf(" %12.3f", ms);
        }
        std::printf("\n");
    }

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
                                        QStringLiteral("#f999"), QStringLiteral("1000,10000,100000")});
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
    const Figures cdpTrivial = figures("cdpTrivial");
    row("raw CDP Runtime.evaluate of \"1\" (round trip)", cdpTrivial);
    const QJsonObject pwFirst = pw.value(QLatin1String("firstAfterGoto")).toObject();
    std::printf("  %-44s median %8.3f ms   (the next one %6.3f ms)\n", "Playwright first inputValue after goto",
                pwFirst.value(QLatin1String("first")).toDouble(), pwFirst.value(QLatin1String("second")).toDouble());
    std::printf("Playwright inputValue of the last input, median ms (ratio to the bridge)\n");
    const QJsonObject pwSweep = pw.value(QLatin1String("sweep")).toObject();
    for (std::size_t s = 0; s < std::size(kSizes); ++s) {
        const QJsonObject bySize = pwSweep.value(QString::number(kSizes[s])).toObject();
        std::printf("  %-10d", kSizes[s]);
        for (std::size_t k = 0; k + 1 < std::size(kKinds); ++k) {
            const double ms = bySize.value(QLatin1String(kKinds[k].label)).toDouble();
            std::printf("  %s %8.3f (%5.1fx)", kKinds[k].label, ms, ms / sweep[s][k]);
        }
        std::printf("\n");
    }
    std::printf("Ratios (medians; above 1 means the bridge is faster)\n");
    std::printf("  fill / bridge setValue, key on id %6.1f\n", fill.median / setId.median);
    std::printf("  inputValue / bridge getValue, id  %6.1f\n", inputValue.median / getId.median);
    std::printf("  chain: Playwright / bridge, id    %6.1f\n", chainPw / chainIdMs);
    std::printf("  fill / bridge setValue            %6.1f\n", fill.median / set.median);
    std::printf("  inputValue / bridge getValue      %6.1f\n", inputValue.median / get.median);
    std::printf("  raw CDP get / bridge getValue     %6.2f\n", cdpGet.median / get.median);
    std::printf("  raw CDP set / bridge setValue     %6.2f\n", cdpSet.median / set.median);
    std::printf("  chain: Playwright / bridge        %6.1f\n", chainPw / chainMs);
    std::printf("  chain: raw CDP / bridge           %6.2f\n", chainCdp / chainMs);
    return 0;
}
