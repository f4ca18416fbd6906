// tolvane-fill: a browser window with the form-fill script tool, or an
// unattended run of a fill script against a page.
//
//   tolvane-fill URL
//   tolvane-fill --run SCRIPT URL [--data FILE.csv ...]
#include "browserwindow.h"

#include "fillscript/catalogue.h"
#include "fillscript/csvtable.h"
#include "fillscript/datarun.h"
#include "fillscript/executor.h"
#include "fillscript/opentool.h"
#include "fillscript/parser.h"
#include "fillscript/progress.h"
#include "fillscript/reportmerge.h"
#include "fillscript/rowjournal.h"
#include "fillscript/scriptfile.h"
#include "fillscript/workerpool.h"
#include "fillscript/workerprocess.h"
#include "runtime/fileio.h"
#include "runtime/qttranslations.h"
#include "runtime/textcodec.h"
#include "tolvane/version.h"
#include "webview/appsetup.h"
#include "webview/webview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <algorithm>
#include <memory>
#include <optional>
#include <set>

namespace {

constexpr int kExitPassed = 0;
constexpr int kExitCheckFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxJobs = 64;
constexpr int kMaxRetries = 100;
// How long an interrupted run waits for its current line to end.
constexpr int kInterruptGraceMs = 1500;

const char kUsage[] =
    "usage: tolvane-fill URL | tolvane-fill --run SCRIPT URL [options] (see --help)";

const char kHelp[] =
    "usage: tolvane-fill URL\n"
    "       tolvane-fill --run SCRIPT URL [options]\n"
    "\n"
    "Without --run: a browser window showing URL, with the form-fill script tool\n"
    "beside it. With --run: runs the script (UTF-8 or GB18030, one command a line)\n"
    "against URL without a window and writes one log line per script line.\n"
    "URL may be a local file. Exit status: 0 all lines passed their checks,\n"
    "1 a line failed a check (or a row's page did not load, or the run was\n"
    "interrupted), 2 usage error or the page did not load.\n"
    "\n"
    "  --data FILE.csv    run once per data row (header row names the columns,\n"
    "                     {{column}} in an argument takes the row's value)\n"
    "  --rows A-B         only data rows A to B (1-based, inclusive; A- to the end)\n"
    "  --jobs N           N worker processes, each with its own engine, take rows\n"
    "                     as they become free; output stays in row order\n"
    "  --retries N        run a row again, on a fresh session, up to N times when\n"
    "                     its page did not load, its worker process ended, or (with\n"
    "                     --strict) a line got no answer in time; the report lists\n"
    "                     every attempt. A row that failed a check is not retried\n"
    "  --report FILE      JUnit XML when FILE ends in .xml, else JSON Lines; each row\n"
    "                     is also kept, as it finishes, in FILE.rows\n"
    "  --keep-session     keep cookies and storage from row to row (each page its\n"
    "                     own); by default every row starts with none\n"
    "  --resume           with the same --report: run only the rows FILE.rows\n"
    "                     does not hold yet (after a run was killed)\n"
    "  --out FILE.csv     the variables of each row (name=command(...))\n"
    "  --screenshots DIR  a PNG of the page at every failing line\n"
    "  --strict           results \"error\" and \"undefined\" fail their line, as does\n"
    "                     a line the page never answered (an endless page script)\n"
    "  --dialogs MODE     how the run answers the page's dialogs: accept (the default:\n"
    "                     OK, confirm true, prompt its default, leave the page) or\n"
    "                     dismiss (Cancel, prompt null, stay on the page); each one\n"
    "                     answered is noted on standard error\n"
    "  --allow-http-errors  run on a start page the server answers with an error\n"
    "                     status (404, 500) instead of failing the load\n"
    "  -h, --help         this text\n"
    "  --version          the version, with the Qt and Chromium versions of the engine\n"
    "\n"
    "tolvane-fill --merge-reports OUT IN... [--out OUT.csv IN.csv...] [--rows A-B]\n"
    "  joins the reports (and --out files, in the same order) of runs over ranges\n"
    "  of rows into those of one run over all of them; refuses a row missing or\n"
    "  twice, or reports of different scripts or columns (exit 2)";

void note(const QString& message)
{
    std::fprintf(stderr, "tolvane-fill: %s\n", message.toLocal8Bit().constData());
}

int fail(const QString& message)
{
    note(message);
    return kExitUsage;
}

// An address as typed: a URL, or a path to a local file.
std::string pageAddress(const QString& arg)
{
    const QUrl url = QUrl::fromUserInput(arg, QDir::currentPath(), QUrl::AssumeLocalFile);
    return rt::qstringToGb(url.toString(QUrl::FullyEncoded));
}

void writeOut(const std::string& gb)
{
    const std::string utf8 = rt::gbToUtf8(gb);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

struct RunOptions {
    QString script, url, data, report, out, screenshots;
    int firstRow = 1, lastRow = 0;  // lastRow 0: to the end
    int jobs = 1;
    int retries = 0;
    bool strict = false;
    int dialogs = WKE_DIALOGS_ACCEPT;
    bool allowHttpErrors = false;
    bool resume = false;
    bool keepSession = false;
};

// "A-B", "A-" or "A"; false when malformed.
bool parseRows(const QString& text, RunOptions& o)
{
    const QStringList parts = text.split('-');
    bool okA = false, okB = true;
    o.firstRow = parts.value(0).toInt(&okA);
    if (parts.size() == 1)
        o.lastRow = o.firstRow;
    else if (parts.size() == 2)
        o.lastRow = parts[1].isEmpty() ? 0 : parts[1].toInt(&okB);
    else
        return false;
    return okA && okB && o.firstRow >= 1 && (o.lastRow == 0 || o.lastRow >= o.firstRow);
}

// The options after --run; nullopt (and a message) on a usage error.
std::optional<RunOptions> parseRunOptions(const QStringList& args)
{
    RunOptions o;
    QStringList positional;
    bool haveRows = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool takesValue = a == "--data" || a == "--rows" || a == "--jobs" || a == "--retries" || a == "--report" ||
                                a == "--out" || a == "--screenshots" || a == "--dialogs";
        if (takesValue && i + 1 >= args.size())
            return std::nullopt;
        if (a == "--data") {
            o.data = args[++i];
        } else if (a == "--rows") {
            if (!parseRows(args[++i], o))
                return std::nullopt;
            haveRows = true;
        } else if (a == "--jobs") {
            bool ok = false;
            o.jobs = args[++i].toInt(&ok);
            if (!ok || o.jobs < 1 || o.jobs > kMaxJobs)
                return std::nullopt;
        } else if (a == "--retries") {
            bool ok = false;
            o.retries = args[++i].toInt(&ok);
            if (!ok || o.retries < 0 || o.retries > kMaxRetries)
                return std::nullopt;
        } else if (a == "--report") {
            o.report = args[++i];
        } else if (a == "--out") {
            o.out = args[++i];
        } else if (a == "--screenshots") {
            o.screenshots = args[++i];
        } else if (a == "--strict") {
            o.strict = true;
        } else if (a == "--dialogs") {
            const QString mode = args[++i];
            if (mode != "accept" && mode != "dismiss")
                return std::nullopt;
            o.dialogs = mode == "accept" ? WKE_DIALOGS_ACCEPT : WKE_DIALOGS_DISMISS;
        } else if (a == "--allow-http-errors") {
            o.allowHttpErrors = true;
        } else if (a == "--resume") {
            o.resume = true;
        } else if (a == "--keep-session") {
            o.keepSession = true;
        } else if (a.startsWith("--")) {
            return std::nullopt;
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2 || (haveRows && o.data.isEmpty()) || (o.resume && o.report.isEmpty()))
        return std::nullopt;
    o.script = positional[0];
    o.url = positional[1];
    return o;
}

// Ctrl-C and SIGTERM ask the run to stop after the current lines; a second
// one ends the program at once.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int sig)
{
    interrupted = 1;
    std::signal(sig, SIG_DFL);
}

bool writeReportFile(const QString& path, const std::string& bytes, const char* what)
{
    const rt::WriteResult w = rt::writeFileAtomically(path, bytes, rt::Durability::Flushed, rt::Access::Private);
    if (!w.ok)
        note(QStringLiteral("cannot write the %1 %2: %3").arg(what, path, w.error));
    return w.ok;
}

int runScript(const RunOptions& o)
{
    const std::optional<std::string> bytes = rt::readWholeFile(o.script);
    if (!bytes)
        return fail(QStringLiteral("cannot read the script file %1").arg(o.script));

    fillscript::DataRunSetup setup;
    setup.scriptLines = fillscript::scriptFileLines(fillscript::decodeScriptFile(*bytes));
    setup.pageAddress = pageAddress(o.url);
    setup.jobs = o.jobs;
    setup.strict = o.strict;
    setup.dialogs = o.dialogs;
    setup.allowHttpErrors = o.allowHttpErrors;
    setup.keepSession = o.keepSession;
    setup.retries = o.retries;
    setup.fileFolder = QFileInfo(o.script).absolutePath();
    const bool dataRun = !o.data.isEmpty();
    if (dataRun) {
        const std::optional<std::string> csv = rt::readWholeFile(o.data);
        if (!csv)
            return fail(QStringLiteral("cannot read the data file %1").arg(o.data));
        fillscript::CsvReadResult table = fillscript::readCsv(*csv);
        if (!table.ok)
            return fail(QStringLiteral("the data file %1: %2").arg(o.data, QString::fromStdString(table.error)));
        setup.columns = std::move(table.table.header);
        auto& rows = table.table.rows;
        const std::size_t first = std::size_t(o.firstRow - 1);
        const std::size_t last = o.lastRow == 0 ? rows.size() : std::min<std::size_t>(rows.size(), std::size_t(o.lastRow));
        if (first < last)
            setup.rows.assign(std::make_move_iterator(rows.begin() + std::ptrdiff_t(first)),
                              std::make_move_iterator(rows.begin() + std::ptrdiff_t(last)));
        setup.firstRowNumber = o.firstRow;
        for (std::size_t k = 0; k < setup.rows.size(); ++k)
            setup.rowNumbers.push_back(o.firstRow + int(k));
    } else {
        setup.rows.emplace_back();  // one run without columns
    }
    if (!o.screenshots.isEmpty() && !rt::makePrivateFolder(o.screenshots).ok)
        return fail(QStringLiteral("cannot make the screenshot folder %1").arg(o.screenshots));
    setup.screenshotDir = o.screenshots;
    const int rowCount = int(setup.rows.size());

    // Every finished row goes to the journal beside the report before it
    // counts as done; a resumed run takes the rows it holds and runs the rest.
    std::vector<fillscript::RowRecord> records;
    fillscript::RowJournal journal;
    if (!o.report.isEmpty()) {
        const QString path = fillscript::RowJournal::pathFor(o.report);
        if (!journal.open(path, o.resume))
            return fail(QStringLiteral("cannot write the row record %1: %2").arg(path, journal.error()));
        std::set<int> done;
        const std::set<int> wanted(setup.rowNumbers.begin(), setup.rowNumbers.end());
        for (const fillscript::RowRecord& r : journal.recorded())
            if (setup.rowNumbers.empty() ? r.row == 1 : wanted.count(r.row) != 0) {
                done.insert(r.row);
                records.push_back(r);
            }
        if (!done.empty()) {
            std::vector<std::vector<std::string>> rows;
            std::vector<int> numbers;
            for (std::size_t k = 0; k < setup.rows.size(); ++k) {
                const int number = setup.rowNumbers.empty() ? 1 : setup.rowNumbers[k];
                if (!done.count(number)) {
                    rows.push_back(std::move(setup.rows[k]));
                    numbers.push_back(number);
                }
            }
            setup.rows = std::move(rows);
            setup.rowNumbers = std::move(numbers);
            note(QStringLiteral("resuming: %1 of %2 rows already done").arg(done.size()).arg(rowCount));
        }
    }
    bool journalFailed = false;

    std::set<std::string> reportedUnknown;
    fillscript::ProgressLine progress(int(setup.rows.size()), isatty(STDERR_FILENO));
    int headedRow = 0;  // the last row whose "# row N" line is out
    const auto rowHeading = [&](const fillscript::RowRecord* done, int row) {
        const bool crashed = done && done->status == fillscript::RowStatus::Crashed;
        // A row whose process ended after some of its lines says so after them.
        if (!dataRun || (headedRow == row && !crashed))
            return;
        headedRow = row;
        const bool loadFailed = done && done->status == fillscript::RowStatus::LoadFailed;
        writeOut("# row " + std::to_string(row) +
                 (loadFailed ? ": the page failed to load" : crashed ? ": " + done->crash : std::string()) + "\r\n");
    };
    // The log is in row order; the row record takes each row as it finishes.
    const auto rowDone = [&](const fillscript::RowRecord& row) { rowHeading(&row, row.row); };
    // More than one job: worker processes, each with its own engine (one
    // process's views share a thread and gain nothing). One job runs here.
    std::unique_ptr<fillscript::RowRunner> runner;
    if (o.jobs > 1 && setup.rows.size() > 1)
        runner = std::make_unique<fillscript::WorkerPool>(std::move(setup), QCoreApplication::applicationFilePath(),
                                                          QStringList{"--worker"}, rowDone);
    else
        runner = std::make_unique<fillscript::DataRun>(std::move(setup), rowDone);
    fillscript::RowRunner& run = *runner;
    run.setRowFinished([&](const fillscript::RowRecord& row) {
        if (!o.report.isEmpty() && !journalFailed && !journal.append(row)) {
            journalFailed = true;
            note(QStringLiteral("cannot write the row record %1: %2")
                     .arg(fillscript::RowJournal::pathFor(o.report), journal.error()));
        }
        progress.rowDone(row.status != fillscript::RowStatus::Passed);
        records.push_back(row);
    });
    run.setRetrying([&](int row, const fillscript::Attempt& a) {
        progress.rowRetried();
        progress.finish();
        // The lines of the attempt already in the log are followed by those
        // of the next one.
        if (headedRow == row)
            writeOut("# row " + std::to_string(row) + ": again (" + a.reason + ")\r\n");
        note(QStringLiteral("row %1: %2; running it again").arg(row).arg(rt::gbToQString(a.reason)));
    });
    // Each line's entry goes out (flushed) as soon as the line ends.
    run.setLineDone([&](int row, const fillscript::LineRecord& l) {
        rowHeading(nullptr, row);
        writeOut(l.outcome.logEntry());
        for (const std::string& name : l.outcome.unknownNames)
            if (reportedUnknown.insert(name).second) {
                progress.finish();
                note(QStringLiteral("line %1: {{%2}} names no column or variable; it stays as written")
                         .arg(l.outcome.line).arg(rt::gbToQString(name)));
            }
    });
    run.setDialogAnswered([&](int row, const fillscript::AnsweredDialog& d) {
        progress.finish();
        const QString where = d.line ? QStringLiteral("line %1").arg(d.line) : QStringLiteral("page load");
        note((dataRun ? QStringLiteral("row %1, ").arg(row) : QString()) + where + ": " +
             rt::gbToQString(fillscript::dialogNote(d)));
    });

    // The report and --out are made from the rows done, at the end or when
    // an interrupted run cannot wait for its current line.
    const auto writeResults = [&]() {
        std::stable_sort(records.begin(), records.end(),
                         [](const fillscript::RowRecord& a, const fillscript::RowRecord& b) { return a.row < b.row; });
        bool written = true;
        if (!o.report.isEmpty()) {
            std::string report;
            if (o.report.endsWith(".xml", Qt::CaseInsensitive)) {
                report = fillscript::junitReport(records, rt::qstringToGb(QFileInfo(o.script).fileName()));
            } else {
                for (const fillscript::RowRecord& r : records)
                    report += fillscript::jsonLinesRecords(r);
            }
            written = writeReportFile(o.report, report, "report") && written;
        }
        if (!o.out.isEmpty()) {
            std::string csv = fillscript::csvRecord(run.variables());
            for (const fillscript::RowRecord& r : records)
                csv += fillscript::csvRecord(r.variables);
            written = writeReportFile(o.out, rt::gbToUtf8(csv), "output file") && written;
        }
        return written;
    };
    QTimer journalWatch;  // a row record that cannot be written stops the run
    QObject::connect(&journalWatch, &QTimer::timeout, &run, [&] {
        if (journalFailed)
            run.stop();
    });
    journalWatch.start(50);
    QTimer progressTick;  // the line's rate and time left move between rows too
    QObject::connect(&progressTick, &QTimer::timeout, &run, [&] { progress.tick(); });
    progressTick.start(500);
    const auto interruptedNote = [&] {
        note(QStringLiteral("interrupted: %1 of %2 rows done").arg(records.size()).arg(rowCount));
    };

    // SIGINT and SIGTERM stop the run after its current lines; a line that
    // does not end within the grace (a page that never answers) is given up:
    // the rows done are written and the program ends.
    QTimer interruptPoll;
    QElapsedTimer sinceInterrupt;
    QObject::connect(&interruptPoll, &QTimer::timeout, &run, [&] {
        if (!interrupted)
            return;
        if (!sinceInterrupt.isValid()) {
            sinceInterrupt.start();
            run.stop();
        } else if (sinceInterrupt.elapsed() >= kInterruptGraceMs) {
            progress.finish();
            const bool written = writeResults();
            interruptedNote();
            std::fflush(nullptr);
            std::_Exit(written ? kExitCheckFailed : kExitUsage);
        }
    });
    interruptPoll.start(50);
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    run.exec();
    interruptPoll.stop();
    progress.finish();
    const bool stopped = run.stopped() || interrupted;

    bool written = writeResults();
    if (!run.runError().isEmpty()) {
        note(run.runError());
        written = false;
    }
    if (!written || journalFailed)
        return kExitUsage;

    const bool onlyRowFailedToLoad = rowCount == 1 && records.size() == 1 &&
                                     records[0].status == fillscript::RowStatus::LoadFailed;
    if (onlyRowFailedToLoad) {
        const int status = records[0].httpStatus;
        return fail(status ? QStringLiteral("the page failed to load: %1: the server answered HTTP %2 "
                                            "(--allow-http-errors runs the script on it anyway)")
                                 .arg(o.url)
                                 .arg(status)
                           : QStringLiteral("the page failed to load: %1").arg(o.url));
    }
    if (stopped) {
        interruptedNote();
        return kExitCheckFailed;
    }
    for (const fillscript::RowRecord& r : records)
        if (r.status != fillscript::RowStatus::Passed)
            return kExitCheckFailed;
    return kExitPassed;
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
    if (!args.isEmpty() && args[0] == "--merge-reports")
        return fillscript::mergeReportsCommand(args.mid(1));
    // A worker process of a data run, started by one with --jobs.
    if (args.size() == 1 && args[0] == "--worker") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        webview::quietEngineOutput();
        webview::prepareApplication();
        QApplication app(argc, argv);
        return fillscript::runWorkerProcess();
    }
    const bool run = !args.isEmpty() && args[0] == "--run";
    std::optional<RunOptions> options;
    if (run)
        options = parseRunOptions(args);
    if (run ? !options : (args.size() != 1 || args[0].startsWith('-')))
        return fail(QString::fromLatin1(kUsage));

    if (run && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    webview::quietEngineOutput();
    webview::prepareApplication();
    QApplication app(argc, argv);
    rt::installQtTranslations();  // Qt's buttons and dialogs in the user's language

    if (run)
        return runScript(*options);

    BrowserWindow window(pageAddress(args[0]));
    window.show();
    fillscript::openScriptTool(window.view());
    return app.exec();
}
