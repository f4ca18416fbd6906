// Data-driven runs: a local form of 20 fields, a 12-line script with 10
// substitutions, 1,000 data rows, each row on a fresh load of the form.
// Runs `tolvane-fill --data` with --jobs 1, 2 and 4 and reports rows per
// second and the memory of the process and its engine processes (largest
// PSS sum seen); then the rows split between two processes; then the same
// work done by Playwright (one page, a loop over the rows) when
// bench/fillscript/setup-playwright.sh has been run.
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
};

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
    if (!p.waitForStarted())
        return r;
    while (!p.waitForFinished(250))
        r.peakPssKib = std::max(r.peakPssKib, long(benchsupport::processTreeMemory(pid_t(p.processId())).pssMiB * 1024));
    r.seconds = t.nsecsElapsed() / 1e9;
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!r.ok)
        std::fprintf(stderr, "%s\n", p.readAllStandardError().constData());
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

    double rate1 = 0;
    long pss1 = 0;
    for (const int jobs : {1, 2, 4}) {
        const QString out = dir.filePath(QStringLiteral("out%1.csv").arg(jobs));
        const RunFigures f = runFill({"--run", scriptPath, pageUrl, "--data", dataPath, "--jobs",
                                      QString::number(jobs), "--out", out});
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
        if (jobs == 1) {
            rate1 = rate;
            pss1 = f.peakPssKib;
        }
        std::printf("tolvane-fill --jobs %d: %.1f s, %.1f rows/s (%.2fx --jobs 1), peak PSS %.0f MiB",
                    jobs, f.seconds, rate, rate / rate1, f.peakPssKib / 1024.0);
        if (jobs > 1)
            std::printf(", %.0f MiB per extra view", (f.peakPssKib - pss1) / 1024.0 / (jobs - 1));
        std::printf("\n");
        std::fflush(stdout);
    }

    // The same rows split in two processes of one page each, as GNU parallel
    // would run them.
    {
        const QString half = QString::number(rows / 2);
        QProcess a, b;
        QElapsedTimer t;
        t.start();
        for (auto [p, range] : {std::pair{&a, "1-" + half}, std::pair{&b, QString::number(rows / 2 + 1) + "-"}}) {
            p->setProgram(QCoreApplication::applicationDirPath() + "/tolvane-fill");
            p->setArguments({"--run", scriptPath, pageUrl, "--data", dataPath, "--rows", range});
            p->setStandardOutputFile(QProcess::nullDevice());
            p->start();
        }
        const bool ok = a.waitForFinished(1800000) && b.waitForFinished(1800000) && a.exitCode() == 0 &&
                        b.exitCode() == 0;
        const double secs = t.nsecsElapsed() / 1e9;
        if (ok)
            std::printf("two tolvane-fill processes, half the rows each: %.1f s, %.1f rows/s (%.2fx --jobs 1)\n",
                        secs, rows / secs, rows / secs / rate1);
        else
            std::printf("two processes: a run failed\n");
        std::fflush(stdout);
    }

    const std::optional<QJsonObject> found =
        bench::runPlaywright("playwright_datarun.js", {pageUrl, dataPath});
    if (!found)
        return 0;
    const QJsonObject& r = *found;
    const double secs = r["ms"].toDouble() / 1000.0;
    std::printf("Playwright %s, one page, goto + 10 fill + click + inputValue per row: %.1f s, %.1f rows/s "
                "(browser start included)\n",
                qPrintable(r["browser"].toString()), secs, rows / secs);
    return 0;
}
