// tolvane-fill --data: a script run once per row of a data file against a
// page on 127.0.0.1, with its log, reports, extracted values, screenshots,
// row ranges, several views, interruption and shards run by GNU parallel.
#include "pagetest.h"
#include "../runtime/fulldisk.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QRegularExpression>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

using fill_test::Outcome;
using fill_test::PageServer;
using fill_test::runFill;

namespace {

// Line 1 writes a variable that is assigned only on line 4: it stays as
// written in every row, so no row sees the value of the row before. Line 3
// misses its element in rows whose target is not a field ("undefined").
const QByteArray kScript =
    "填表操作_写内容(input,note,{{greeting}},0,,,,假)\n"
    "填表操作_写内容(input,name,{{name}},0,,,,假)\n"
    "填表操作_写内容(input,{{target}},{{city}},0,,,,假)\n"
    "greeting=填表_执行自定义JS代码(text=document.getElementById('name').value+'|'+"
    "document.getElementById('note').value+'|'+document.getElementById('city').value,假)\n";

const QByteArray kData =
    "name,city,target\r\n"
    "\"Smith, J\",Oslo,city\r\n"
    "张三,\"北京 \"\"东\"\"\",nowhere\r\n"
    "Ann,Rome,city\r\n";

// The report's records without their durations, which differ between runs.
QStringList reportRecords(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {QStringLiteral("no report at ") + path};
    QStringList out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError e;
        QJsonObject o = QJsonDocument::fromJson(line, &e).object();
        if (e.error != QJsonParseError::NoError)
            return {QStringLiteral("not JSON: ") + QString::fromUtf8(line)};
        o.remove("ms");
        out << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    return out;
}

QJsonObject record(const QStringList& records, int index)
{
    return QJsonDocument::fromJson(records.value(index).toUtf8()).object();
}

}  // namespace

namespace {

// A script whose second line keeps the page busy for {{delay}} ms and then
// reads the name back.
const QByteArray kBusyScript =
    "填表操作_写内容(input,name,{{name}},0,,,,假)\n"
    "v=填表_执行自定义JS代码(text=(function(){var t=Date.now();while(Date.now()-t<{{delay}}){}"
    "return document.getElementById('name').value})(),假)\n";

QByteArray delayRows(const QList<int>& delays)
{
    QByteArray csv = "name,delay\n";
    for (int k = 0; k < delays.size(); ++k)
        csv += "n" + QByteArray::number(k + 1) + "," + QByteArray::number(delays[k]) + "\n";
    return csv;
}

// The row numbers of the row record, in the order they were written.
QList<int> journalOrder(const QString& path)
{
    QFile f(path);
    QList<int> rows;
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.isEmpty())
            rows << QJsonDocument::fromJson(line).object()["row"].toInt();
    return rows;
}

// The worker processes the tolvane-fill with process id parent started.
QList<qint64> workersOf(qint64 parent)
{
    QList<qint64> out;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat("/proc/" + entry + "/stat"), cmd("/proc/" + entry + "/cmdline");
        if (!stat.open(QIODevice::ReadOnly) || !cmd.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = stat.readAll();
        const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent && cmd.readAll().contains("--worker"))
            out << pid;
    }
    return out;
}

}  // namespace

class TestDataRun : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void rowsReportsAndScreenshots_data();
    void rowsReportsAndScreenshots();
    void junitReport();
    void rowsAndJobsGiveThePlainReport();
    void shardsUnderGnuParallel();
    void pagesThatFailToLoad_data();
    void pagesThatFailToLoad();
    void badDataAndOptions_data();
    void badDataAndOptions();
    void interruptionLeavesAValidReport();
    void dialogsInTheReport();
    void resumeAfterAKill_data();
    void sessionPerRow_data();
    void sessionPerRow();
    void resumeAfterAKill();
    void filesAreTheUsersAlone();
    void fullDiskFailsTheRun_data();
    void fullDiskFailsTheRun();
    void killedWorkerFailsItsRow_data();
    void killedWorkerFailsItsRow();
    void slowRowDoesNotStallTheOthers();
    void retries_data();
    void retries();
    void progressOnATerminal();

private:
    QString write(const QString& name, const QByteArray& bytes);
    QStringList runArgs(const QString& data) const;

    std::unique_ptr<PageServer> server;
    QTemporaryDir dir;
    QString pageUrl, script, data;
};

void TestDataRun::initTestCase()
{
    QVERIFY(dir.isValid());
    server = std::make_unique<PageServer>([](const QByteArray&) {
        return QByteArray(
            "<!doctype html><html><head><meta charset='utf-8'><title>form</title></head><body>"
            "<input id='name'><input id='city'><input id='note'></body></html>");
    });
    pageUrl = server->origin() + "/form.html";
    script = write("form.txt", kScript);
    data = write("people.csv", kData);
}

QString TestDataRun::write(const QString& name, const QByteArray& bytes)
{
    return fill_test::writeTestFile(dir, name, bytes);
}

QStringList TestDataRun::runArgs(const QString& dataFile) const
{
    return {"--run", script, pageUrl, "--data", dataFile};
}

void TestDataRun::rowsReportsAndScreenshots_data()
{
    QTest::addColumn<bool>("strict");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("plain") << false << 0;
    QTest::newRow("strict") << true << 1;
}

void TestDataRun::rowsReportsAndScreenshots()
{
    QFETCH(bool, strict);
    const QString tag = strict ? "strict" : "plain";
    const QString report = dir.filePath(tag + ".jsonl"), out = dir.filePath(tag + "-out.csv"),
                  shots = dir.filePath(tag + "-shots");
    QStringList args = runArgs(data);
    args << "--report" << report << "--out" << out << "--screenshots" << shots;
    if (strict)
        args << "--strict";
    const Outcome o = runFill(args);

    QCOMPARE(o.out, QStringLiteral(
        "# row 1\r\n第1行：success\r\n第2行：success\r\n第3行：success\r\n"
        "第4行：Smith, J|{{greeting}}|Oslo\r\n"
        "# row 2\r\n第1行：success\r\n第2行：success\r\n第3行：undefined\r\n"
        "第4行：张三|{{greeting}}|\r\n"
        "# row 3\r\n第1行：success\r\n第2行：success\r\n第3行：success\r\n"
        "第4行：Ann|{{greeting}}|Rome\r\n"));
    QFETCH(int, exitCode);
    QCOMPARE(o.exitCode, exitCode);
    // The name left as written is reported once for the whole run.
    QCOMPARE(o.err, QStringLiteral("tolvane-fill: line 1: {{greeting}} names no column or variable; "
                                   "it stays as written\n"));

    const QStringList records = reportRecords(report);
    QCOMPARE(records.size(), 15);
    const QJsonObject missed = record(records, 7);  // row 2, line 3
    QCOMPARE(missed["row"].toInt(), 2);
    QCOMPARE(missed["line"].toInt(), 3);
    QCOMPARE(missed["args"].toArray().at(1).toString(), QStringLiteral("nowhere"));
    QCOMPARE(missed["args"].toArray().at(2).toString(), QStringLiteral("北京 \"东\""));
    QCOMPARE(missed["result"].toString(), QStringLiteral("undefined"));
    QCOMPARE(missed["screenshot"].toString(), QStringLiteral("row2-line3.png"));
    QCOMPARE(missed["status"].toString(), strict ? QStringLiteral("failed") : QStringLiteral("passed"));
    QCOMPARE(record(records, 9)["type"].toString(), QStringLiteral("row"));
    QCOMPARE(record(records, 9)["status"].toString(), strict ? QStringLiteral("failed") : QStringLiteral("passed"));
    const QJsonObject assigned = record(records, 3);
    QCOMPARE(assigned["variable"].toString(), QStringLiteral("greeting"));
    QCOMPARE(assigned["args"].toArray().at(0).toString(),
             QStringLiteral("text=document.getElementById('name').value+'|'+"
                            "document.getElementById('note').value+'|'+document.getElementById('city').value"));
    QCOMPARE(record(records, 0)["unknown"].toArray().at(0).toString(), QStringLiteral("greeting"));

    QFile csv(out);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(csv.readAll()),
             QStringLiteral("greeting\r\n\"Smith, J|{{greeting}}|Oslo\"\r\n张三|{{greeting}}|\r\n"
                            "Ann|{{greeting}}|Rome\r\n"));

    // Only the failing line has a picture, and it is one of the page.
    QCOMPARE(QDir(shots).entryList(QDir::Files), QStringList{"row2-line3.png"});
    const QImage shot(QDir(shots).filePath("row2-line3.png"), "PNG");
    QVERIFY(!shot.isNull());
    QVERIFY(shot.width() > 100 && shot.height() > 10);
}

void TestDataRun::junitReport()
{
    const QString report = dir.filePath("junit.xml");
    QStringList args = runArgs(data);
    args << "--report" << report << "--strict";
    QCOMPARE(runFill(args).exitCode, 1);
    QFile f(report);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&f);
    QStringList failing;
    QString totals;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"testsuites")
            totals = xml.attributes().value("tests").toString() + "/" +
                     xml.attributes().value("failures").toString();
        if (xml.name() == u"failure")
            failing << xml.attributes().value("message").toString();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(totals, QStringLiteral("12/1"));
    QCOMPARE(failing, QStringList{"undefined"});
}

// Ranges of rows and several views each give the records of a plain run, in
// the same order.
void TestDataRun::rowsAndJobsGiveThePlainReport()
{
    // Enough rows for every view to take several, passing and failing.
    QByteArray rows = "name,city,target\n";
    for (int k = 1; k <= 9; ++k)
        rows += "n" + QByteArray::number(k) + ",\"c, " + QByteArray::number(k) + "\"," +
                (k % 4 == 0 ? "nowhere" : "city") + "\n";
    const QString table = write("nine.csv", rows);
    const QString plain = dir.filePath("all.jsonl");
    const Outcome whole = runFill(runArgs(table) << "--report" << plain);
    QCOMPARE(whole.exitCode, 0);
    const QStringList expected = reportRecords(plain);
    QCOMPARE(expected.size(), 9 * 5);
    QCOMPARE(record(expected, 3 * 5 + 2)["result"].toString(), QStringLiteral("undefined"));

    const QString jobs = dir.filePath("jobs.jsonl");
    const Outcome o = runFill(runArgs(table) << "--jobs" << "3" << "--report" << jobs);
    QCOMPARE(o.exitCode, 0);
    QCOMPARE(reportRecords(jobs), expected);
    QCOMPARE(o.out, whole.out);
    // Two worker processes: the same report, log and extracted values.
    const QString twoOut = dir.filePath("two.csv"), oneOut = dir.filePath("one.csv");
    const Outcome two = runFill(runArgs(table) << "--jobs" << "2" << "--report" << dir.filePath("two.jsonl")
                                               << "--out" << twoOut);
    QCOMPARE(two.exitCode, 0);
    QCOMPARE(reportRecords(dir.filePath("two.jsonl")), expected);
    QCOMPARE(two.out, whole.out);
    QCOMPARE(runFill(runArgs(table) << "--out" << oneOut).exitCode, 0);
    QFile a(oneOut), b(twoOut);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray values = a.readAll();
    QVERIFY(values.count('\n') == 10);
    QCOMPARE(b.readAll(), values);

    const QString first = dir.filePath("rows1.jsonl"), rest = dir.filePath("rows2.jsonl");
    QCOMPARE(runFill(runArgs(table) << "--rows" << "1-4" << "--report" << first).exitCode, 0);
    QCOMPARE(runFill(runArgs(table) << "--rows" << "5-" << "--jobs" << "2" << "--report" << rest).exitCode, 0);
    QCOMPARE(reportRecords(first) + reportRecords(rest), expected);
}

// The documented recipe: GNU parallel runs one process per range of rows;
// the shards' reports, put together, are the report of one run.
void TestDataRun::shardsUnderGnuParallel()
{
    const QString parallel = QStandardPaths::findExecutable("parallel");
    if (parallel.isEmpty())
        QSKIP("GNU parallel is not installed (scripts/setup.sh installs it)");
    const QString plain = dir.filePath("whole.jsonl");
    QCOMPARE(runFill(runArgs(data) << "--report" << plain).exitCode, 0);

    QProcess p;
    p.setProgram(parallel);
    p.setArguments({"--will-cite", "--jobs", "2", "--keep-order",
                    QCoreApplication::applicationDirPath() + "/tolvane-fill", "--run", script, pageUrl,
                    "--data", data, "--rows", "{}", "--report", dir.filePath("shard{#}.jsonl"), ":::",
                    "1-2", "3-3"});
    p.start();
    QVERIFY(p.waitForStarted());
    QVERIFY(fill_test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 90000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(reportRecords(dir.filePath("shard1.jsonl")) + reportRecords(dir.filePath("shard2.jsonl")),
             reportRecords(plain));
    // Each shard's log carries its own rows.
    const QString log = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY(log.indexOf("# row 2") < log.indexOf("# row 3"));
}

void TestDataRun::pagesThatFailToLoad_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("recordCount");
    // The only row: as a plain run whose page does not load.
    QTest::newRow("one row") << QByteArray("name,city,target\nx,y,city\n") << 2 << 1;
    // More rows: each is a failed row and the run goes on.
    QTest::newRow("two rows") << QByteArray("name,city,target\nx,y,city\nz,w,city\n") << 1 << 2;
}

void TestDataRun::pagesThatFailToLoad()
{
    QFETCH(QByteArray, csv);
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    const QString rows = write(QStringLiteral("unreachable%1.csv").arg(csv.size()), csv);
    const QString report = dir.filePath(QStringLiteral("unreachable%1.jsonl").arg(csv.size()));
    const Outcome o = runFill({"--run", script, QStringLiteral("http://127.0.0.1:%1/").arg(closedPort),
                               "--data", rows, "--report", report});
    QFETCH(int, exitCode);
    QCOMPARE(o.exitCode, exitCode);
    const QStringList records = reportRecords(report);
    QFETCH(int, recordCount);
    QCOMPARE(records.size(), recordCount);
    for (int k = 0; k < records.size(); ++k) {
        QCOMPARE(record(records, k)["status"].toString(), QStringLiteral("load-failed"));
        QCOMPARE(record(records, k)["row"].toInt(), k + 1);
        QVERIFY(o.out.contains(QStringLiteral("# row %1: the page failed to load\r\n").arg(k + 1)));
    }
}

void TestDataRun::badDataAndOptions_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty file") << QByteArray() << QStringList{}
                                << "tolvane-fill: the data file %1: no header row\n";
    QTest::newRow("unclosed quote") << QByteArray("a\n\"x\n") << QStringList{}
                                    << "tolvane-fill: the data file %1: line 2: a quoted field is not closed\n";
    QTest::newRow("rows backwards") << QByteArray("a\n1\n") << QStringList{"--rows", "3-2"}
                                    << "tolvane-fill: usage: tolvane-fill URL | tolvane-fill --run SCRIPT URL "
                                       "[options] (see --help)\n";
    QTest::newRow("no jobs") << QByteArray("a\n1\n") << QStringList{"--jobs", "0"}
                             << "tolvane-fill: usage: tolvane-fill URL | tolvane-fill --run SCRIPT URL "
                                "[options] (see --help)\n";
    QTest::newRow("negative retries") << QByteArray("a\n1\n") << QStringList{"--retries", "-1"}
                                      << "tolvane-fill: usage: tolvane-fill URL | tolvane-fill --run SCRIPT URL "
                                         "[options] (see --help)\n";
    QTest::newRow("retries past the limit") << QByteArray("a\n1\n") << QStringList{"--retries", "101"}
                                            << "tolvane-fill: usage: tolvane-fill URL | tolvane-fill --run SCRIPT URL "
                                               "[options] (see --help)\n";
    // The worker mode takes no other argument and is no run.
    QTest::newRow("worker among run options") << QByteArray("a\n1\n") << QStringList{"--worker"}
                                              << "tolvane-fill: usage: tolvane-fill URL | tolvane-fill --run SCRIPT URL "
                                                 "[options] (see --help)\n";
}

void TestDataRun::badDataAndOptions()
{
    QFETCH(QByteArray, csv);
    const QString file = write(QStringLiteral("bad%1.csv").arg(QTest::currentDataTag()).remove(' '), csv);
    QFETCH(QStringList, options);
    const Outcome o = runFill(runArgs(file) + options);
    QCOMPARE(o.exitCode, 2);
    QVERIFY(o.out.isEmpty());
    QFETCH(QString, message);
    QCOMPARE(o.err, message.contains("%1") ? message.arg(file) : message);
}

// SIGTERM mid-run: the lines under way finish, the report and the extracted
// values hold every finished row, whole, and nothing half-written is left.
void TestDataRun::interruptionLeavesAValidReport()
{
    QByteArray many = "name,city,target\n";
    for (int k = 1; k <= 400; ++k)
        many += "n" + QByteArray::number(k) + ",c,city\n";
    const QString rows = write("many.csv", many);
    const QString folder = dir.filePath("interrupted");
    QVERIFY(QDir().mkpath(folder));
    const QString report = folder + "/report.jsonl", out = folder + "/out.csv";

    QProcess p;
    p.setProgram(QCoreApplication::applicationDirPath() + "/tolvane-fill");
    p.setArguments(runArgs(rows) << "--jobs" << "2" << "--report" << report << "--out" << out);
    p.start();
    QVERIFY(p.waitForStarted());
    QByteArray log;
    QVERIFY(fill_test::waitUntil([&] {
        log += p.readAllStandardOutput();
        // Row 5 first in order: rows 1 to 4 are done.
        return log.contains("# row 5\r\n") || p.state() == QProcess::NotRunning;
    }, 90000));
    const QList<qint64> workers = workersOf(p.processId());
    QCOMPARE(workers.size(), 2);
    p.terminate();
    QVERIFY(fill_test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    // The workers end with the run.
    QVERIFY(fill_test::waitUntil([&] {
        return std::none_of(workers.begin(), workers.end(),
                            [](qint64 pid) { return QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)); });
    }, 10000));
    QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(" rows done"));

    const QStringList records = reportRecords(report);
    QVERIFY(records.size() >= 4 * 5);
    QVERIFY(records.size() < 400 * 5);
    QCOMPARE(records.size() % 5, 0);
    QSet<int> done;
    for (int k = 0; k < records.size(); k += 5) {
        const QJsonObject row = record(records, k + 4);
        QCOMPARE(row["type"].toString(), QStringLiteral("row"));
        QCOMPARE(row["lines"].toInt(), 4);
        for (int l = 0; l < 4; ++l)
            QCOMPARE(record(records, k + l)["row"].toInt(), row["row"].toInt());
        done << row["row"].toInt();
    }
    QFile csv(out);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll().count("\r\n"), done.size() + 1);
    // Beside them the durable record of the finished rows, which --resume reads.
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"out.csv", "report.jsonl", "report.jsonl.rows"}));
}

// Each dialog a row answered goes into that row's records (and on standard
// error with its row and line), whether it came at load or from a line.
void TestDataRun::dialogsInTheReport()
{
    PageServer page([](const QByteArray&) {
        return QByteArray("<!doctype html><html><head><meta charset='utf-8'></head><body><input id='r'>"
                          "<script>alert('欢迎');</script>"
                          "<button id='b' onclick=\"r.value=confirm(document.title)\">b</button></body></html>");
    });
    const QString dialogScript = write("dialog.txt",
        "填表_执行自定义JS代码(document.title='{{who}}',假)\n填表事件_点击(button,b,0,,,,假)\n"
        "填表操作_取内容(input,r,0,,,,假)\n");
    const QString who = write("who.csv", "who\r\n甲\r\n乙\r\n");
    const QString json = dir.filePath("dialogs.jsonl"), xmlPath = dir.filePath("dialogs.xml");
    for (const QString& report : {json, xmlPath}) {
        const Outcome o = runFill({"--run", dialogScript, page.origin() + "/", "--data", who, "--jobs", "2",
                                   "--dialogs", "dismiss", "--report", report});
        QCOMPARE(o.exitCode, 0);
        QVERIFY2(o.err.contains("tolvane-fill: row 2, line 2: answered confirm: 乙"), qPrintable(o.err));
        QVERIFY2(o.err.contains("tolvane-fill: row 1, page load: answered alert: 欢迎"), qPrintable(o.err));
    }
    const QStringList records = reportRecords(json);
    QCOMPARE(records.size(), 8);  // 3 lines and a row record per row
    for (int row = 0; row < 2; ++row) {
        const QString name = row ? "乙" : "甲";
        const QJsonArray confirmed{QJsonObject{{"kind", "confirm"}, {"message", name}}};
        QCOMPARE(record(records, row * 4 + 1).value("dialogs").toArray(), confirmed);
        QCOMPARE(record(records, row * 4 + 2).value("result").toString(), QString("false"));
        const QJsonArray welcomed{QJsonObject{{"kind", "alert"}, {"message", "欢迎"}}};
        QCOMPARE(record(records, row * 4 + 3).value("dialogs").toArray(), welcomed);
    }
    QFile f(xmlPath);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(f.readAll());
    QCOMPARE(xml.count("<system-err>answered confirm: "), 2);
    QCOMPARE(xml.count("<system-err>answered alert: 欢迎"), 2);
}

void TestDataRun::resumeAfterAKill_data()
{
    QTest::addColumn<QString>("reportName");
    QTest::newRow("JSON Lines") << "resumed.jsonl";
    QTest::newRow("JUnit XML") << "resumed.xml";
}

// SIGKILL in the middle of a run loses at most the rows in flight; --resume
// with the same report runs the rest, and the reports and --out then equal
// those of one uninterrupted run.
void TestDataRun::resumeAfterAKill()
{
    QFETCH(QString, reportName);
    QByteArray rowsCsv = "name,city,target\n";
    for (int k = 1; k <= 12; ++k)
        rowsCsv += "n" + QByteArray::number(k) + ",c" + QByteArray::number(k) + "," + (k % 3 ? "city" : "nowhere") + "\n";
    const QString rows = write("twelve.csv", rowsCsv);
    // A second per row: long enough to kill the run between rows.
    const QString slow = write("slow.txt", kScript + "填表操作_判断元素是否存在(div,never,2,0,,,,假)\n");
    const QString folder = dir.filePath("resume-" + reportName);
    QVERIFY(QDir().mkpath(folder));
    const auto args = [&](const QString& name) {
        return QStringList{"--run", slow, pageUrl, "--data", rows, "--jobs", "2", "--report",
                           folder + "/" + name, "--out", folder + "/" + name + ".csv"};
    };
    const Outcome clean = runFill(args("clean-" + reportName));
    QCOMPARE(clean.exitCode, 0);

    QProcess p;
    p.setProgram(QCoreApplication::applicationDirPath() + "/tolvane-fill");
    p.setArguments(args(reportName));
    p.start();
    QVERIFY(p.waitForStarted());
    const auto journalRows = [&] {
        QFile f(folder + "/" + reportName + ".rows");
        return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
    };
    QVERIFY(fill_test::waitUntil([&] { return journalRows() >= 3; }, 90000));
    p.kill();
    QVERIFY(p.waitForFinished());
    QVERIFY(journalRows() < 12);
    QVERIFY(!QFileInfo::exists(folder + "/" + reportName));  // the report comes at the end

    const Outcome resumed = runFill(args(reportName) << "--resume");
    QCOMPARE(resumed.exitCode, 0);
    QVERIFY2(resumed.err.contains("tolvane-fill: resuming: "), qPrintable(resumed.err));
    QVERIFY(!resumed.out.contains("# row 1\r\n"));  // done rows are not run again
    const auto withoutTimes = [](const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return QString("no file ") + path;
        return QString::fromUtf8(f.readAll()).remove(QRegularExpression(R"(("ms":[0-9.e+-]+,?|time="[0-9.]+"))"));
    };
    QCOMPARE(withoutTimes(folder + "/" + reportName), withoutTimes(folder + "/clean-" + reportName));
    QCOMPARE(withoutTimes(folder + "/" + reportName + ".csv"), withoutTimes(folder + "/clean-" + reportName + ".csv"));
}

void TestDataRun::sessionPerRow_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("log");
    // Lines 2 and 3 assign no result: they log what line 1 left.
    const QString read = "# row %1\r\n第1行：%2\r\n第2行：%2\r\n第3行：%2\r\n";
    QTest::newRow("a new user per row") << QStringList{}
                                        << read.arg(1).arg("|") + read.arg(2).arg("|") + read.arg(3).arg("|");
    QTest::newRow("--keep-session") << QStringList{"--keep-session"}
                                    << read.arg(1).arg("|") + read.arg(2).arg("user=a|a") + read.arg(3).arg("user=b|b");
}

// Each row starts with no cookies or storage of the rows before it, unless
// the session is kept.
void TestDataRun::sessionPerRow()
{
    QFETCH(QStringList, options);
    QFETCH(QString, log);
    const QString sessionScript = write("session.txt",
        "填表_执行自定义JS代码(text=document.cookie+'|'+(localStorage.k||''),假)\n"
        "填表_执行自定义JS代码(document.cookie='user={{name}}',假)\n"
        "填表_执行自定义JS代码(localStorage.k='{{name}}',假)\n");
    const QString names = write("names.csv", "name\na\nb\nc\n");
    const Outcome o = runFill(QStringList{"--run", sessionScript, pageUrl, "--data", names} + options);
    QCOMPARE(o.out, log);
    QCOMPARE(o.exitCode, 0);
}

namespace {

// One row whose one line misses its element: a screenshot is due.
const QByteArray kMissScript = "填表操作_写内容(input,{{target}},{{city}},0,,,,假)\n";
const QByteArray kMissData = "city,target\r\nRome,nowhere\r\n";

int modeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

}  // namespace

// Reports, extracted values and screenshots are the user's alone, and so are
// the folders made for them, whatever the umask lets others read.
void TestDataRun::filesAreTheUsersAlone()
{
    const QString miss = write("miss.txt", kMissScript), rows = write("miss.csv", kMissData);
    const QString report = dir.filePath("private.jsonl"), out = dir.filePath("private.csv"),
                  shots = dir.filePath("private-shots/deeper");
    const mode_t mask = ::umask(022);
    const Outcome o = runFill({"--run", miss, pageUrl, "--data", rows, "--report", report, "--out", out,
                               "--screenshots", shots});
    ::umask(mask);
    QCOMPARE(o.exitCode, 0);
    QCOMPARE(modeOf(report), 0600);
    QCOMPARE(modeOf(out), 0600);
    QCOMPARE(modeOf(report + ".rows"), 0600);
    QCOMPARE(modeOf(dir.filePath("private-shots")), 0700);
    QCOMPARE(modeOf(shots), 0700);
    QCOMPARE(modeOf(QDir(shots).filePath("row1-line1.png")), 0600);
}

// On a full disk no file the run writes is left empty or cut: the run ends
// with status 2 and one line that says which file and why, and a file that
// was there stays as it was. The one-row report is the case that once passed
// with an empty file.
void TestDataRun::fullDiskFailsTheRun_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("name");  // on the full disk
    QTest::addColumn<QString>("what");  // as the message names it
    QTest::newRow("one-row report") << "--report" << "report.jsonl" << "report";
    QTest::newRow("JUnit report") << "--report" << "report.xml" << "report";
    QTest::newRow("extracted values") << "--out" << "out.csv" << "output file";
    QTest::newRow("screenshots") << "--screenshots" << "shots" << "screenshot";
}

void TestDataRun::fullDiskFailsTheRun()
{
    QFETCH(QString, option);
    QFETCH(QString, name);
    QFETCH(QString, what);
    testfs::FullDisk disk;
    TOLVANE_NEED_FULL_DISK(disk);
    const QString miss = write("miss.txt", kMissScript), rows = write("miss.csv", kMissData);
    const QString target = disk.filePath(name);
    const QByteArray old(636, 'o');
    if (option == "--screenshots") {
        QVERIFY(QDir().mkpath(target));
    } else {
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    QVERIFY(disk.fill());
    const Outcome o = runFill({"--run", miss, pageUrl, "--data", rows, option, target});
    QCOMPARE(o.exitCode, 2);
    QCOMPARE(o.out, QStringLiteral("# row 1\r\n第1行：undefined\r\n"));
    const QString path = option == "--screenshots" ? QDir(target).filePath("row1-line1.png") : target;
    // A report's row record beside it fails first, and says so too.
    const QString reason = QString::fromLocal8Bit(std::strerror(ENOSPC));
    const QString said = QStringLiteral("tolvane-fill: cannot write the %1 %2: %3\n").arg(what, path, reason);
    QCOMPARE(o.err, option == "--report"
                        ? QStringLiteral("tolvane-fill: cannot write the row record %1.rows: %2\n").arg(path, reason) + said
                        : said);
    if (option == "--screenshots") {
        QVERIFY(QDir(target).entryList(QDir::Files | QDir::Hidden).isEmpty());
    } else {
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), old);
    }
}

void TestDataRun::killedWorkerFailsItsRow_data()
{
    QTest::addColumn<int>("retries");
    QTest::newRow("no retries: the row fails") << 0;
    QTest::newRow("retried on a new worker") << 1;
}

// SIGKILL to a worker in the middle of its row: that row fails (or runs again
// elsewhere) and every other row is done; the run goes on with a new worker.
void TestDataRun::killedWorkerFailsItsRow()
{
    QFETCH(int, retries);
    const QString busy = write("busy.txt", kBusyScript);
    // Rows long enough that a worker is almost always inside one.
    const QString rows = write("busy.csv", delayRows({2500, 2500, 2500, 2500, 2500, 2500}));
    const QString report = dir.filePath(QStringLiteral("killed%1.jsonl").arg(retries));
    QProcess p;
    p.setProgram(QCoreApplication::applicationDirPath() + "/tolvane-fill");
    p.setArguments({"--run", busy, pageUrl, "--data", rows, "--jobs", "2", "--retries", QString::number(retries),
                    "--report", report, "--out", report + ".csv"});
    p.start();
    QVERIFY(p.waitForStarted());
    QVERIFY(fill_test::waitUntil([&] { return !journalOrder(report + ".rows").isEmpty(); }, 90000));
    QTest::qWait(1000);  // the next rows are well under way
    const QList<qint64> workers = workersOf(p.processId());
    QCOMPARE(workers.size(), 2);
    QCOMPARE(::kill(pid_t(workers[0]), SIGKILL), 0);
    QVERIFY(fill_test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 120000));
    QCOMPARE(p.exitCode(), retries ? 0 : 1);

    const QStringList records = reportRecords(report);
    QStringList rowStatus, attempts;
    for (const QString& r : records) {
        const QJsonObject o = QJsonDocument::fromJson(r.toUtf8()).object();
        if (o["type"].toString() != "row")
            continue;
        rowStatus << o["status"].toString();
        for (const QJsonValue& a : o["attempts"].toArray())
            attempts << QStringLiteral("row %1: %2").arg(o["row"].toInt()).arg(a.toObject()["reason"].toString());
    }
    QCOMPARE(rowStatus.size(), 6);
    QCOMPARE(rowStatus.count("passed"), retries ? 6 : 5);
    QCOMPARE(rowStatus.count("crashed"), retries ? 0 : 1);
    QCOMPARE(attempts.size(), retries ? 1 : 0);
    if (retries)
        QVERIFY2(attempts[0].endsWith(": the worker process ended on a signal"), qPrintable(attempts[0]));
    else
        QVERIFY(records.join('\n').contains("\"error\":\"the worker process ended on a signal\""));
    if (retries) {
        QFile out(report + ".csv");
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll(), QByteArray("v\r\nn1\r\nn2\r\nn3\r\nn4\r\nn5\r\nn6\r\n"));
        QVERIFY(p.readAllStandardError().contains(": the worker process ended on a signal; running it again\n"));
    } else {
        QVERIFY(p.readAllStandardOutput().contains(": the worker process ended on a signal\r\n"));
    }
}

// The rows after a slow one go on in the other worker: the row record takes
// rows as they finish, so they come before it.
void TestDataRun::slowRowDoesNotStallTheOthers()
{
    const QString busy = write("busy.txt", kBusyScript);
    const QString rows = write("slowfirst.csv", delayRows({8000, 0, 0, 0, 0}));
    const QString report = dir.filePath("slowfirst.jsonl");
    const Outcome o = runFill({"--run", busy, pageUrl, "--data", rows, "--jobs", "2", "--report", report}, 90000);
    QCOMPARE(o.exitCode, 0);
    QCOMPARE(journalOrder(report + ".rows"), (QList<int>{2, 3, 4, 5, 1}));
    // The log keeps row order all the same.
    QVERIFY(o.out.startsWith("# row 1\r\n第1行：success\r\n第2行：n1\r\n# row 2\r\n"));
}

void TestDataRun::retries_data()
{
    QTest::addColumn<QByteArray>("scriptText");
    QTest::addColumn<int>("failFirst");  // the page answers 503 to this many loads first
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("jobs");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("loads");
    QTest::addColumn<int>("exitCode");
    const QByteArray plain = "填表操作_写内容(input,name,x,0,,,,假)\n";
    const QByteArray badCheck = "填表操作_没有这个命令(1)\n";
    QTest::newRow("load failure retried") << plain << 1 << 2 << 1 << "passed" << 1 << 2 << 0;
    QTest::newRow("load failure, no retries") << plain << 1 << 0 << 1 << "load-failed" << 0 << 1 << 2;
    QTest::newRow("retries run out") << plain << 5 << 2 << 1 << "load-failed" << 2 << 3 << 2;
    QTest::newRow("check failure not retried") << badCheck << 0 << 3 << 1 << "failed" << 0 << 1 << 1;
    QTest::newRow("load failure retried in a worker") << plain << 1 << 1 << 2 << "passed" << 1 << 3 << 0;
}

// --retries runs a row again when its page did not load, never when the
// script failed a check; the report lists the attempts before the last.
void TestDataRun::retries()
{
    QFETCH(QByteArray, scriptText);
    QFETCH(int, failFirst);
    QFETCH(int, retries);
    QFETCH(int, jobs);
    int served = 0;
    webview_test::HttpServer flaky([&](const QByteArray& head) {
        if (!head.startsWith("GET /form.html"))
            return webview_test::httpAnswer("missing", {}, "404 Not Found");
        return ++served <= failFirst ? webview_test::httpAnswer("busy", {}, "503 Service Unavailable")
                                     : webview_test::httpAnswer("<!doctype html><input id='name'>");
    });
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_').remove(',');
    const QString file = write(tag + ".txt", scriptText);
    // With two jobs, a second row makes it a run over workers.
    const QString rows = write(tag + ".csv", jobs > 1 ? "a\n1\n2\n" : "a\n1\n");
    const QString report = dir.filePath(tag + ".jsonl");
    const Outcome o = runFill({"--run", file, flaky.origin() + "/form.html", "--data", rows, "--retries",
                               QString::number(retries), "--jobs", QString::number(jobs), "--report", report});
    QStringList statuses;
    int attemptCount = 0;
    for (const QString& r : reportRecords(report)) {
        const QJsonObject row = QJsonDocument::fromJson(r.toUtf8()).object();
        if (row["type"].toString() != "row")
            continue;
        statuses << row["status"].toString();
        for (const QJsonValue& a : row["attempts"].toArray()) {
            ++attemptCount;
            QCOMPARE(a.toObject()["reason"].toString(), QStringLiteral("the page failed to load (HTTP 503)"));
        }
    }
    QFETCH(QString, status);
    QCOMPARE(statuses, QStringList(jobs > 1 ? 2 : 1, status));
    QFETCH(int, attempts);
    QCOMPARE(attemptCount, attempts);
    QFETCH(int, loads);
    QCOMPARE(served, loads);
    QFETCH(int, exitCode);
    QCOMPARE(o.exitCode, exitCode);
    // Each retry is noted; off a terminal there is no progress line.
    QCOMPARE(o.err.count("; running it again"), attempts);
    QVERIFY(!o.err.contains('\r') && !o.err.contains("rows/s"));
}

// On a terminal, standard error carries the progress line.
void TestDataRun::progressOnATerminal()
{
    int master = -1, slave = -1;
    QVERIFY(::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0);
    const QString rows = write("three.csv", "name,city,target\na,b,city\nc,d,city\ne,f,city\n");
    QProcess p;
    p.setProgram(QCoreApplication::applicationDirPath() + "/tolvane-fill");
    p.setArguments(runArgs(rows));
    p.setChildProcessModifier([slave] { ::dup2(slave, STDERR_FILENO); });
    p.start();
    QVERIFY(p.waitForStarted());
    ::close(slave);
    QVERIFY(fill_test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 60000));
    QCOMPARE(p.exitCode(), 0);
    QByteArray seen;
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    char buf[4096];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
        seen.append(buf, n);
    ::close(master);
    QVERIFY2(seen.contains("\r3/3 rows, 3 passed, 0 failed, 0 retried, "), seen.constData());
    QVERIFY(seen.contains(" rows/s, 0:00 left\x1b[K"));
    QVERIFY(seen.endsWith("\r\x1b[K"));  // cleared at the end
    QVERIFY(p.readAllStandardOutput().startsWith("# row 1\r\n"));  // the log is untouched
}

QTEST_MAIN(TestDataRun)
#include "test_datarun.moc"
