// Data-driven runs: a local form of 20 fields, a 12-line script with 10
// substitutions, 1,000 data rows, each row on a fresh load of the form.
// Runs `tolvane-fill --data` with --jobs 1, 2 and 4, each with a fresh
// session per row and with --keep-session, and reports rows per second, the
// memory of the whole run (largest PSS sum seen) and of one worker process
// with its engine processes (largest RSS and PSS seen); the time to resume
// a run of 10,000 recorded rows; then the same work done by Playwright (a
// browser context per row) when bench/fillscript/setup-playwright.sh has
// been run. Each figure comes with the load average it was taken under.
//
//   bench_fillscript_datarun [ROWS]
#include "../designer_preview/benchsupport.h"
#include "playwright.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <cstdio>

namespace {

constexpr int kFields = 20;
constexpr int kFilled = 10;

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

struct RunFigures {
    bool ok = false;
    double seconds = 0;
    long peakPssKib = 0;
    double workerRssMiB = 0;  // the largest worker process tree seen
    double workerPssMiB = 0;
};

// The 1-minute load average, to be printed beside each figure.
QString load()
{
    QFile f("/proc/loadavg");
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(' ', 0, 0) : QStringLiteral("?");
}

// The worker processes of the run with process id parent.
std::vector<pid_t> workersOf(pid_t parent)
{
    std::vector<pid_t> out;
    for (const QString& pid : QDir("/proc").entryList({QStringLiteral("[0-9]*")}, QDir::Dirs)) {
        QFile cmd("/proc/" + pid + "/cmdline");
        if (benchsupport::parentOf(pid) == parent && cmd.open(QIODevice::ReadOnly) && cmd.readAll().contains("--worker"))
            out.push_back(pid_t(pid.toInt()));
    }
    return out;
}

RunFigures runFill(const QStringList& args)
{
    QProcess p;
    p.setProgram(QCoreApplication::applicationDirPath() + "/tolvane-fill");
    p.setArguments(args);
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start();
    RunFigures r;
    if (!p.waitForStarted()) {
        std::fprintf(stderr, "tolvane-fill did not start: %s\n", qPrintable(p.errorString()));
        return r;
    }
    while (!p.waitForFinished(250)) {
        r.peakPssKib = std::max(r.peakPssKib, long(benchsupport::processTreeMemory(pid_t(p.processId())).pssMiB * 1024));
        for (const pid_t w : workersOf(pid_t(p.processId()))) {
            const benchsupport::Memory m = benchsupport::processTreeMemory(w);
            r.workerRssMiB = std::max(r.workerRssMiB, m.rssMiB);
            r.workerPssMiB = std::max(r.workerPssMiB, m.pssMiB);
        }
    }
    r.seconds = t.nsecsElapsed() / 1e9;
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!r.ok) {
        std::fprintf(stderr, "exit %d: %s\n", p.exitCode(), p.readAllStandardError().constData());
        // The rows that did not pass, from the report beside the log.
        const qsizetype at = args.indexOf("--report");
        QFile report(at >= 0 ? args.value(at + 1) : QString());
        if (report.open(QIODevice::ReadOnly))
            for (const QByteArray& line : report.readAll().split('\n'))
                if (line.contains("\"type\":\"row\"") && !line.contains("\"status\":\"passed\""))
                    std::fprintf(stderr, "%s\n", line.constData());
    }
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;
    QTemporaryDir dir;

    // The form: 20 inputs and a button that sums up the filled ones.
    QByteArray page = "<!doctype html><html><head><meta charset='utf-8'><title>form</title></head><body><form>\n";
    for (int i = 1; i <= kFields; ++i)
        page += "<label>Field " + QByteArray::number(i) + " <input id='f" + QByteArray::number(i) +
                "' name='f" + QByteArray::number(i) + "'></label><br>\n";
    page += "<button type='button' id='send' onclick=\"document.getElementById('f20').value="
            "document.getElementById('f1').value+'/'+document.getElementById('f10').value\">send</button>"
            "</form></body></html>\n";
    // 10 writes from the row, a click, a read into a variable.
    QByteArray script;
    QByteArray csv;
    for (int i = 1; i <= kFilled; ++i) {
        script += "填表操作_写内容(input,f" + QByteArray::number(i) + ",{{c" + QByteArray::number(i) +
                  "}},0,,,,假)\n";
        csv += (i > 1 ? "," : "") + QByteArray("c") + QByteArray::number(i);
    }
    script += "填表事件_点击(button,send,0,,,,假)\n";
    script += "sent=填表操作_取内容(input,f20,0,,,,假)\n";
    csv += "\n";
    for (int r = 1; r <= rows; ++r) {
        for (int i = 1; i <= kFilled; ++i)
            csv += (i > 1 ? "," : "") + QByteArray("值") + QByteArray::number(r) + "_" + QByteArray::number(i);
        csv += "\n";
    }
    const QString pagePath = dir.filePath("form.html"), scriptPath = dir.filePath("form.txt"),
                  dataPath = dir.filePath("rows.csv");
    if (!writeFile(pagePath, page) || !writeFile(scriptPath, script) || !writeFile(dataPath, csv))
        return 1;
    const QString pageUrl = QUrl::fromLocalFile(pagePath).toString();
    std::printf("%d rows, 12-line script with %d substitutions, a form of %d fields, %d cores\n", rows,
                kFilled, kFields, QThread::idealThreadCount());

    for (const bool keep : {false, true}) {
        double rate1 = 0;
        for (const int jobs : {1, 2, 4}) {
            const QString out = dir.filePath(QStringLiteral("out%1.csv").arg(jobs));
            QStringList args{"--run", scriptPath, pageUrl, "--data", dataPath, "--jobs", QString::number(jobs),
                             "--out", out, "--report", dir.filePath("report.jsonl")};
            if (keep)
                args << "--keep-session";
            const QString before = load();
            const RunFigures f = runFill(args);
            if (!f.ok) {
                std::printf("--jobs %d failed\n", jobs);
                return 1;
            }
            // The click joins fields 1 and 10 into field 20: every row read back.
            QFile o(out);
            o.open(QIODevice::ReadOnly);
            const QByteArray extracted = o.readAll();
            const QByteArray last = "值" + QByteArray::number(rows) + "_1/值" + QByteArray::number(rows) + "_10";
            if (extracted.count("\r\n") != rows + 1 || !extracted.contains(last)) {
                std::printf("--jobs %d: extracted values are wrong\n", jobs);
                return 1;
            }
            const double rate = rows / f.seconds;
            if (jobs == 1)
                rate1 = rate;
            std::printf("tolvane-fill --jobs %d%s: %.1f s, %.1f rows/s (%.2fx --jobs 1), peak PSS %.0f MiB", jobs,
                        keep ? " --keep-session" : "", f.seconds, rate, rate / rate1, f.peakPssKib / 1024.0);
            if (jobs > 1)
                std::printf(", per worker RSS %.0f MiB PSS %.0f MiB", f.workerRssMiB, f.workerPssMiB);
            std::printf(" (load %s to %s)\n", qPrintable(before), qPrintable(load()));
            std::fflush(stdout);
        }
    }

    // Resuming a run whose 10,000 rows are all recorded: reading the
    // record, skipping every row, writing the reports.
    {
        constexpr int kRecorded = 10000;
        QByteArray table = csv.left(csv.indexOf('\n') + 1), journal;
        const QString report = dir.filePath("resume.jsonl");
        // One real record, its row number changed for each row.
        const QString one = dir.filePath("one.jsonl");
        const RunFigures first = runFill({"--run", scriptPath, pageUrl, "--data", dataPath, "--rows", "1", "--report", one});
        QFile rec(one + ".rows");
        if (!first.ok || !rec.open(QIODevice::ReadOnly)) {
            std::printf("resume: the first row failed\n");
            return 1;
        }
        QJsonObject record = QJsonDocument::fromJson(rec.readAll()).object();
        const QByteArray values = csv.split('\n').value(1) + "\n";
        for (int r = 1; r <= kRecorded; ++r) {
            table += values;
            record["row"] = r;
            journal += QJsonDocument(record).toJson(QJsonDocument::Compact) + "\n";
        }
        const QString tablePath = dir.filePath("recorded.csv");
        if (!writeFile(tablePath, table) || !writeFile(report + ".rows", journal))
            return 1;
        const QString before = load();
        const RunFigures f = runFill({"--run", scriptPath, pageUrl, "--data", tablePath, "--report", report, "--resume"});
        QFile written(report);
        const qint64 lines = written.open(QIODevice::ReadOnly) ? written.readAll().count('\n') : 0;
        if (!f.ok || lines != qint64(kRecorded) * 13) {
            std::printf("resume: failed (%lld report lines)\n", (long long)lines);
            return 1;
        }
        std::printf("--resume of %d recorded rows (nothing left to run, report written): %.2f s (load %s to %s)\n",
                    kRecorded, f.seconds, qPrintable(before), qPrintable(load()));
        std::fflush(stdout);
    }

    const std::optional<QJsonObject> found =
        bench::runPlaywright("playwright_datarun.js", {pageUrl, dataPath});
    if (!found)
        return 0;
    const QJsonObject& r = *found;
    const double secs = r["ms"].toDouble() / 1000.0;
    std::printf("Playwright %s, a browser context per row, goto + 10 fill + click + inputValue: %.1f s, "
                "%.1f rows/s (browser start included; load %s)\n",
                qPrintable(r["browser"].toString()), secs, rows / secs, qPrintable(load()));
    return 0;
}
