// The script runner on a 2,000-line script: fill 1,000 inputs of a local
// page, then read each back. Measures the run in process (runScriptToLog with
// the real engine), once as the program's first and once warm, the same
// operations made on the bridge directly, and the whole `tolvane-fill --run`
// command, then the same work done by Playwright driving Debian's Chromium
// when both are installed (bench/fillscript/setup-playwright.sh). Memory:
// the peak of RSS and PSS summed over the command's processes (the program
// and the engine's helper processes; node and Chromium's for Playwright),
// sampled every 50 ms while each does the work.
#include "fillscript/catalogue.h"
#include "fillscript/executor.h"
#include "fillscript/parser.h"
#include "fillscript/scriptrun.h"
#include "runtime/textcodec.h"
#include "webview/appsetup.h"
#include "webview/webview.h"
#include "../designer_preview/benchsupport.h"
#include "playwright.h"

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

namespace {

constexpr int kInputs = 1000;

template <typename Predicate>
bool waitUntil(Predicate done, int timeoutMs)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(5);
    loop.exec();
    return done();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Waits for the process to end, keeping the peak sums of its tree.
benchsupport::Memory runSampled(QProcess& process, int timeoutMs)
{
    benchsupport::Memory peak;
    QElapsedTimer clock;
    clock.start();
    while (!process.waitForFinished(50) && clock.elapsed() < timeoutMs) {
        const benchsupport::Memory now = benchsupport::processTreeMemory(pid_t(process.processId()));
        peak.rssMiB = std::max(peak.rssMiB, now.rssMiB);
        peak.pssMiB = std::max(peak.pssMiB, now.pssMiB);
    }
    return peak;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "qt.webenginecontext.info=false");
    webview::prepareApplication();
    QApplication app(argc, argv);
    QTemporaryDir dir;

    QByteArray page = "<!doctype html><html><head><meta charset='utf-8'><title>bench</title></head><body>\n";
    for (int i = 0; i < kInputs; ++i)
        page += "<input id='in" + QByteArray::number(i) + "' name='field" + QByteArray::number(i) + "'>\n";
    page += "</body></html>\n";
    QByteArray script;
    for (int i = 0; i < kInputs; ++i)
        script += "填表操作_写内容(input,in" + QByteArray::number(i) + ",值" + QByteArray::number(i) + ",0,,,,假)\r\n";
    for (int i = 0; i < kInputs; ++i)
        script += "填表操作_取内容(input,in" + QByteArray::number(i) + ",0,,,,假)" +
                  (i + 1 < kInputs ? "\r\n" : "");
    const QString pagePath = dir.filePath("page.html"), scriptPath = dir.filePath("script.txt");
    if (!writeFile(pagePath, page) || !writeFile(scriptPath, script))
        return 1;
    const QString pageUrl = QUrl::fromLocalFile(pagePath).toString();

    // In process: the run alone.
    QWidget host;
    host.resize(1024, 768);
    host.show();
    webview::WebView view;
    view.create(&host, std::string(), rt::qstringToGb(pageUrl), {});
    const auto loaded = [&] {
        return waitUntil([&] { return view.isLoadingCompleted(); }, 30000) && view.isLoadingSucceeded();
    };
    if (!loaded()) {
        std::fprintf(stderr, "page did not load\n");
        return 1;
    }
    // As in tolvane-fill --run: nobody watches, so the view draws ten frames
    // a second; TOLVANE_BENCH_FRAME_MS=0 measures it drawing every frame.
    const int frameMs = qEnvironmentVariableIsSet("TOLVANE_BENCH_FRAME_MS")
                            ? qEnvironmentVariableIntValue("TOLVANE_BENCH_FRAME_MS")
                            : 100;
    view.setFrameInterval(frameMs);
    fillscript::WebViewExecutor exec(view);
    const std::vector<std::string> lines = fillscript::scriptLines(rt::utf8ToGb(script.toStdString()));
    std::string log;
    QElapsedTimer t;
    t.start();
    fillscript::runScriptToLog(lines, exec, [&](const std::string& e) { log += e; });
    const double runMs = t.nsecsElapsed() / 1e6;
    // Every read must give back what was written.
    const QString logText = rt::gbToQString(log);
    for (int i = 0; i < kInputs; ++i) {
        const QString expected = QStringLiteral("第%1行：值%2\r\n").arg(kInputs + i + 1).arg(i);
        if (!logText.contains(expected)) {
            std::fprintf(stderr, "line %d did not read back\n", kInputs + i + 1);
            return 1;
        }
    }
    std::printf("script: %d lines (fill and read back %d inputs)\n", int(lines.size()), kInputs);
    std::printf("runner, in process, one frame drawn per %d ms: %.0f ms in all, %.2f ms per line\n",
                frameMs, runMs, runMs / lines.size());

    // Warm: the same script again on the page loaded afresh, with values
    // new to the page (every line's text is new, as in the first run), then
    // the same operations made on the bridge directly, values new again:
    // what the runner adds to each line is the difference.
    const auto reload = [&] {
        view.loadUrl(rt::qstringToGb(pageUrl));
        return loaded();
    };
    QByteArray warmScript = script;
    warmScript.replace("值", "新");
    const std::vector<std::string> warmLines = fillscript::scriptLines(rt::utf8ToGb(warmScript.toStdString()));
    if (!reload())
        return 1;
    t.restart();
    fillscript::runScriptToLog(warmLines, exec, [](const std::string&) {});
    const double warmMs = t.nsecsElapsed() / 1e6;
    if (!reload())
        return 1;
    const std::string bridgeValue = rt::gb("桥");
    t.restart();
    for (int i = 0; i < kInputs; ++i)
        view.setValue("input", "in" + std::to_string(i), bridgeValue + std::to_string(i));
    bool readBack = true;
    for (int i = 0; i < kInputs; ++i)
        readBack = view.getValue("input", "in" + std::to_string(i)) == bridgeValue + std::to_string(i) && readBack;
    const double bridgeMs = t.nsecsElapsed() / 1e6;
    if (!readBack) {
        std::fprintf(stderr, "the bridge did not read back what it wrote\n");
        return 1;
    }
    std::printf("runner again, page loaded afresh, every line new to it: %.0f ms in all, %.2f ms per line\n",
                warmMs, warmMs / warmLines.size());
    std::printf("the same %d operations on the bridge directly: %.0f ms in all, %.2f ms each; "
                "runner line / bridge operation %.2f\n",
                2 * kInputs, bridgeMs, bridgeMs / (2 * kInputs), warmMs / bridgeMs);

    // The whole command, engine start and page load included.
    QProcess fill;
    fill.setProgram(QCoreApplication::applicationDirPath() + "/tolvane-fill");
    fill.setArguments({"--run", scriptPath, pageUrl});
    t.restart();
    fill.start();
    const benchsupport::Memory fillMemory = runSampled(fill, 600000);
    const double cliMs = t.nsecsElapsed() / 1e6;
    if (fill.exitStatus() == QProcess::NormalExit && fill.exitCode() == 0)
        std::printf("tolvane-fill --run, whole command: %.0f ms; peak memory of its processes: "
                    "RSS %.0f MiB, PSS %.0f MiB\n", cliMs, fillMemory.rssMiB, fillMemory.pssMiB);
    else
        std::printf("tolvane-fill --run failed (exit %d)\n", fill.exitCode());

    // Playwright with Debian's Chromium, when set up.
    benchsupport::Memory nodeMemory;
    const std::optional<QJsonObject> found =
        bench::runPlaywright("playwright_fill.js", {pageUrl, QString::number(kInputs)},
                             [&](QProcess& node) { nodeMemory = runSampled(node, 600000); });
    if (!found)
        return 0;
    const QJsonObject& r = *found;
    const double ops = r["operations"].toDouble();
    std::printf("Playwright %s, locator fill/inputValue: %.0f ms in all, %.2f ms per operation\n",
                qPrintable(r["browser"].toString()), r["locatorMs"].toDouble(),
                r["locatorMs"].toDouble() / ops);
    std::printf("Playwright, one evaluate per operation: %.0f ms in all, %.2f ms per operation\n",
                r["evaluateMs"].toDouble(), r["evaluateMs"].toDouble() / ops);
    std::printf("Playwright and Chromium, peak memory of their processes: RSS %.0f MiB, PSS %.0f MiB\n",
                nodeMemory.rssMiB, nodeMemory.pssMiB);
    std::printf("Ratios: locators / runner %.1f, one evaluate per operation / runner %.1f\n",
                r["locatorMs"].toDouble() / runMs, r["evaluateMs"].toDouble() / runMs);
    return 0;
}
