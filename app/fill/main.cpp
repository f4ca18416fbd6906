// tolvane-fill: a browser window with the form-fill script tool, or an
// unattended run of a fill script against a page.
//
//   tolvane-fill URL
//   tolvane-fill --run SCRIPT URL
#include "browserwindow.h"

#include "fillscript/catalogue.h"
#include "fillscript/executor.h"
#include "fillscript/opentool.h"
#include "fillscript/parser.h"
#include "fillscript/scriptfile.h"
#include "runtime/fileio.h"
#include "runtime/textcodec.h"
#include "tolvane/version.h"
#include "webview/appsetup.h"
#include "webview/webview.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

constexpr int kExitPassed = 0;
constexpr int kExitCheckFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kLoadTimeoutMs = 60000;

const char kUsage[] =
    "usage: tolvane-fill URL | tolvane-fill --run SCRIPT URL";

const char kHelp[] =
    "usage: tolvane-fill URL\n"
    "       tolvane-fill --run SCRIPT URL\n"
    "\n"
    "Without --run: a browser window showing URL, with the form-fill script tool\n"
    "beside it. With --run: runs the script (UTF-8 or GB18030, one command a line)\n"
    "against URL without a window and writes one log line per script line.\n"
    "URL may be a local file. Exit status: 0 all lines passed their checks,\n"
    "1 a line failed a check, 2 usage error or the page did not load.\n"
    "\n"
    "  -h, --help     this text\n"
    "  --version      the version, with the Qt and Chromium versions of the engine";

int fail(const QString& message)
{
    std::fprintf(stderr, "tolvane-fill: %s\n", message.toLocal8Bit().constData());
    return kExitUsage;
}

// An address as typed: a URL, or a path to a local file.
std::string pageAddress(const QString& arg)
{
    const QUrl url = QUrl::fromUserInput(arg, QDir::currentPath(), QUrl::AssumeLocalFile);
    return rt::qstringToGb(url.toString(QUrl::FullyEncoded));
}

// Runs the event loop until the page has loaded (true) or failed or the time
// is up (false). Polls without sleeping: the engine's tasks run in this loop.
bool waitForLoad(webview::WebView& view)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (view.isLoadingCompleted() || view.isLoadingFailed())
            loop.quit();
    });
    QTimer::singleShot(kLoadTimeoutMs, &loop, &QEventLoop::quit);
    poll.start(5);
    loop.exec();
    return view.isLoadingCompleted() && view.isLoadingSucceeded() && !view.isLoadingFailed();
}

int runScript(const QString& scriptPath, const QString& address)
{
    const std::optional<std::string> bytes = rt::readWholeFile(scriptPath);
    if (!bytes)
        return fail(QStringLiteral("cannot read the script file %1").arg(scriptPath));
    const std::vector<std::string> lines =
        fillscript::scriptFileLines(fillscript::decodeScriptFile(*bytes));

    // A view that is never shown on a display.
    QWidget host;
    host.resize(1024, 768);
    host.setAttribute(Qt::WA_DontShowOnScreen);
    host.show();
    webview::WebView view;
    view.create(&host, std::string(), pageAddress(address), {});
    if (!waitForLoad(view))
        return fail(QStringLiteral("the page failed to load: %1").arg(address));

    fillscript::buildCatalogue();
    fillscript::WebViewExecutor executor(view);
    const fillscript::RunResult r =
        fillscript::runFillScript(lines, executor, [](const std::string& entry) {
            const std::string utf8 = rt::gbToUtf8(entry);
            std::fwrite(utf8.data(), 1, utf8.size(), stdout);
            std::fflush(stdout);
        });
    return r.failedChecks == 0 ? kExitPassed : kExitCheckFailed;
}

}  // namespace

int main(int argc, char** argv)
{
    // Arguments are checked before the application exists: a usage error, like
    // a run, needs no display.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
        std::printf("%s\n", kHelp);
        return kExitPassed;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::printf("tolvane-fill %s (Qt %s, Chromium %s)\n", TOLVANE_VERSION, TOLVANE_QT_VERSION,
                    TOLVANE_CHROMIUM_VERSION);
        return kExitPassed;
    }
    const bool run = !args.isEmpty() && args[0] == "--run";
    if (run ? args.size() != 3 : (args.size() != 1 || args[0].startsWith('-')))
        return fail(QString::fromLatin1(kUsage));

    if (run && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    webview::quietEngineOutput();
    webview::prepareApplication();
    QApplication app(argc, argv);

    if (run)
        return runScript(args[1], args[2]);

    BrowserWindow window(pageAddress(args[0]));
    window.show();
    webview::WebView::openScriptTool(window.view());
    return app.exec();
}
