// Shards of a data run and their merge: reports and --out files of row
// ranges joined by tolvane-fill --merge-reports equal those of one run, the
// merge refuses rows missing or twice and shards of other scripts or columns,
// and the whole route runs for real: GNU parallel sends the shards over ssh
// to two sshd instances on 127.0.0.2 and 127.0.0.3.
#include "pagetest.h"

#include "fillscript/csvtable.h"
#include "fillscript/reportmerge.h"
#include "fillscript/runreport.h"
#include "runtime/textcodec.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <csignal>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

using fill_test::Outcome;
using fill_test::runFill;
using fill_test::runProgram;
using namespace fillscript;

namespace {

const std::string kScriptName = "form.txt";
const std::vector<std::string> kVariables = {"greeting", "order"};

// Row n of a made-up run: every fourth row fails a line, row 5's page did
// not load, row 2 answered a dialog; values hold commas, quotes, line
// breaks and Chinese text, as --out must carry them.
RowRecord madeRow(int n, const std::string& secondCommand = "填表操作_写内容")
{
    RowRecord r;
    r.row = n;
    r.micros = 1000 * n + 7;
    if (n == 5) {
        r.status = RowStatus::LoadFailed;
        r.loadError = "http://127.0.0.1:1/form.html";
        r.httpStatus = 503;
        r.variables = {"", ""};
        return r;
    }
    for (int line = 1; line <= 3; ++line) {
        LineRecord l;
        l.outcome.line = line;
        l.outcome.command = line == 2 ? rt::gb(secondCommand) : rt::gb("填表_执行自定义JS代码");
        l.outcome.args = {"input", "name", rt::gb("值 " + std::to_string(n) + ", \"q\"")};
        l.outcome.result = line == 3 && n % 4 == 0 ? "undefined" : "success";
        l.outcome.micros = 100 * n + line;
        if (line == 3 && n % 4 == 0) {
            l.status = LineStatus::Failed;
            l.screenshot = "row" + std::to_string(n) + "-line3.png";
        }
        if (line == 1)
            l.outcome.variable = "greeting";
        r.lines.push_back(l);
    }
    if (n == 2)
        r.dialogs.push_back({2, "alert", rt::gb("已保存")});
    r.status = rowStatus(r.lines);
    r.variables = {rt::gb("张三, \"" + std::to_string(n) + "\"\r\nline two"), std::to_string(n)};
    return r;
}

std::vector<RowRecord> madeRows(int first, int last, const std::string& secondCommand = "填表操作_写内容")
{
    std::vector<RowRecord> rows;
    for (int n = first; n <= last; ++n)
        rows.push_back(madeRow(n, secondCommand));
    return rows;
}

std::string reportOf(const std::vector<RowRecord>& rows, ReportKind kind, const std::string& script = kScriptName)
{
    if (kind == ReportKind::JUnit)
        return junitReport(rows, rt::gb(script));
    std::string out;
    for (const RowRecord& r : rows)
        out += jsonLinesRecords(r);
    return out;
}

std::string outOf(const std::vector<RowRecord>& rows, const std::vector<std::string>& variables = kVariables)
{
    std::string csv = csvRecord(variables);
    for (const RowRecord& r : rows)
        csv += csvRecord(r.variables);
    return rt::gbToUtf8(csv);
}

// "1-3,4-9" -> {{1,3},{4,9}}
std::vector<std::pair<int, int>> ranges(const QString& text)
{
    std::vector<std::pair<int, int>> out;
    for (const QString& part : text.split(','))
        out.emplace_back(part.section('-', 0, 0).toInt(), part.section('-', 1, 1).toInt());
    return out;
}

// Durations differ from run to run; everything else must not.
QByteArray withoutTimes(QByteArray report)
{
    static const QRegularExpression xmlTime(QStringLiteral(" time=\"[0-9.]+\"")),
        jsonTime(QStringLiteral("\"ms\":[0-9.e+-]+"));
    return QString::fromUtf8(report).replace(xmlTime, " time=\"\"").replace(jsonTime, "\"ms\":0").toUtf8();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(no file " + path.toUtf8() + ")");
}

// The user this test runs as: the one sshd lets in with the test's key.
QString loginName()
{
    const passwd* pw = ::getpwuid(::geteuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QStringLiteral("root");
}

}  // namespace

class TestShards : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void mergedEqualsOneRun_data();
    void mergedEqualsOneRun();
    void refusals_data();
    void refusals();
    void shardsOverSshWithGnuParallel_data();
    void shardsOverSshWithGnuParallel();

private:
    bool startSshd(QString& why);

    QTemporaryDir dir;
    std::unique_ptr<fill_test::PageServer> server;
    std::unique_ptr<QProcess> sshd;
    QString sshConfig;
};

void TestShards::initTestCase()
{
    QVERIFY(dir.isValid());
}

void TestShards::cleanupTestCase()
{
    if (sshd) {
        sshd->terminate();
        sshd->waitForFinished(5000);
    }
}

void TestShards::mergedEqualsOneRun_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("shards");  // in the order given to the merge
    for (const ReportKind kind : {ReportKind::JsonLines, ReportKind::JUnit}) {
        const char* name = kind == ReportKind::JUnit ? "junit" : "jsonl";
        QTest::addRow("%s: two halves", name) << int(kind) << "1-4,5-9";
        QTest::addRow("%s: shards out of order", name) << int(kind) << "7-9,1-3,4-6";
        QTest::addRow("%s: single rows, a shard past the end", name) << int(kind) << "2-2,1-1,3-8,10-9,9-9";
        QTest::addRow("%s: one shard", name) << int(kind) << "1-9";
    }
}

// Made from the report code itself, so every kind of record (failed lines,
// failed loads, dialogs, screenshots, values with line breaks) is there.
void TestShards::mergedEqualsOneRun()
{
    QFETCH(int, kind);
    QFETCH(QString, shards);
    const ReportKind k = ReportKind(kind);
    std::vector<ShardFiles> files;
    for (const auto& [first, last] : ranges(shards)) {
        const std::vector<RowRecord> rows = madeRows(first, last);
        files.push_back({QStringLiteral("s%1").arg(first), reportOf(rows, k), QStringLiteral("o%1").arg(first),
                         outOf(rows)});
    }
    const MergeResult merged = mergeShards(files, k);
    QVERIFY2(merged.ok, qPrintable(merged.error));
    const std::vector<RowRecord> all = madeRows(1, 9);
    // The rows' records are the shards' bytes; only a JUnit report's total
    // time is their sum, which rounding may move by a millisecond.
    if (k == ReportKind::JsonLines)
        QCOMPARE(QByteArray::fromStdString(merged.report), QByteArray::fromStdString(reportOf(all, k)));
    else
        QCOMPARE(withoutTimes(QByteArray::fromStdString(merged.report)),
                 withoutTimes(QByteArray::fromStdString(reportOf(all, k))));
    QCOMPARE(QByteArray::fromStdString(merged.out), QByteArray::fromStdString(outOf(all)));
}

void TestShards::refusals_data()
{
    QTest::addColumn<QString>("shards");
    QTest::addColumn<QString>("fault");      // what is wrong with the last shard
    QTest::addColumn<QStringList>("extra");  // more options
    QTest::addColumn<QString>("message");
    const QStringList none;
    QTest::newRow("overlap") << "1-4,4-9" << "" << none << "row 4 is in both s1.jsonl and s4.jsonl";
    QTest::newRow("gap") << "1-3,6-9" << "" << none << "rows 4-5 are in no report";
    QTest::newRow("first shard missing") << "4-9" << "" << none << "rows 1-3 are in no report";
    QTest::newRow("last shard missing") << "1-4" << "" << QStringList{"--rows", "1-9"}
                                        << "rows 5-9 are in no report";
    QTest::newRow("row past the range") << "1-9" << "" << QStringList{"--rows", "1-8"}
                                        << "row 9 of s1.jsonl is after row 8";
    QTest::newRow("other script") << "1-4,5-9" << "script" << none
                                  << "s1.jsonl and s5.jsonl come from different scripts (line 2 runs";
    QTest::newRow("other script name") << "1-4,5-9" << "name" << none
                                       << "s1.xml and s5.xml come from different scripts (form.txt, other.txt)";
    QTest::newRow("other columns") << "1-4,5-9" << "columns" << none
                                   << "o1.csv and o5.csv have different columns (greeting,order, greeting,total)";
    QTest::newRow("--out short of a row") << "1-4,5-9" << "outrow" << none
                                          << "o5.csv holds 4 rows, its report s5.jsonl holds 5";
    QTest::newRow("report cut short") << "1-4,5-9" << "cut" << none << "s5.jsonl ends in the middle of a record";
    QTest::newRow("XML that is no JUnit report") << "1-4,5-9" << "foreign" << none
                                                 << "s5.xml is not a JUnit XML report of a run (it holds no testsuites)";
    QTest::newRow("JUnit into JSON Lines") << "1-4,5-9" << "kind" << none
                                           << "s5.jsonl is not a JSON Lines report like the merged one";
    QTest::newRow("--out for some shards") << "1-4,5-9" << "noout" << none << "usage: tolvane-fill --merge-reports";
}

// Through the program itself: one line on standard error, exit 2, and no
// merged file left behind.
void TestShards::refusals()
{
    QFETCH(QString, shards);
    QFETCH(QString, fault);
    QFETCH(QStringList, extra);
    QFETCH(QString, message);
    QTemporaryDir here;
    QVERIFY(here.isValid());
    const bool junit = fault == "name" || fault == "foreign";
    const QString ext = junit ? ".xml" : ".jsonl";
    QStringList reports, outs;
    const auto parts = ranges(shards);
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const auto [first, last] = parts[k];
        const bool faulty = k + 1 == parts.size();
        const std::vector<RowRecord> rows = madeRows(first, last, faulty && fault == "script" ? "填表事件_点击" : "填表操作_写内容");
        std::string report = reportOf(rows, junit || (faulty && fault == "kind") ? ReportKind::JUnit : ReportKind::JsonLines,
                                      faulty && fault == "name" ? "other.txt" : kScriptName);
        std::string out = outOf(faulty && fault == "outrow" ? std::vector<RowRecord>(rows.begin(), rows.end() - 1) : rows,
                                faulty && fault == "columns" ? std::vector<std::string>{"greeting", "total"} : kVariables);
        if (faulty && fault == "cut")
            report.resize(report.size() - 10);
        if (faulty && fault == "foreign")
            report = "<?xml version=\"1.0\"?>\n<results><testsuite name=\"row 5\"/></results>\n";
        reports << fill_test::writeTestFile(here, QStringLiteral("s%1").arg(first) + ext, QByteArray::fromStdString(report));
        if (!(faulty && fault == "noout"))
            outs << fill_test::writeTestFile(here, QStringLiteral("o%1.csv").arg(first), QByteArray::fromStdString(out));
    }
    // Names in the messages as given.
    for (QString& r : reports)
        r = QFileInfo(r).fileName();
    for (QString& o : outs)
        o = QFileInfo(o).fileName();
    const QStringList args = QStringList{"--merge-reports", "all" + ext} + reports + QStringList{"--out", "all.csv"} +
                             outs + extra;
    const Outcome o = runProgram(QCoreApplication::applicationDirPath() + "/tolvane-fill", args, 60000, here.path());
    QCOMPARE(o.exitCode, 2);
    QVERIFY2(o.err.startsWith("tolvane-fill: ") && o.err.contains(message) && o.err.count('\n') == 1, qPrintable(o.err));
    QVERIFY(!QFile::exists(here.filePath("all" + ext)));
    QVERIFY(!QFile::exists(here.filePath("all.csv")));
}

// Two sshd instances of this test's own: host and client keys, config and
// pid file in its folder, on 127.0.0.2 and 127.0.0.3 at a free port.
bool TestShards::startSshd(QString& why)
{
    const QString sshdPath = QStandardPaths::findExecutable("sshd", {"/usr/sbin", "/usr/local/sbin"});
    if (sshdPath.isEmpty()) {
        why = "sshd is not installed (scripts/setup.sh installs openssh-server)";
        return false;
    }
    // sshd started by root separates privileges into this folder.
    if (::geteuid() == 0 && !QDir("/run/sshd").exists() && !QDir().mkpath("/run/sshd")) {
        why = "cannot make /run/sshd";
        return false;
    }
    const QString ssh = dir.filePath("ssh");
    QDir().mkpath(ssh);
    for (const QString& key : {QStringLiteral("host_key"), QStringLiteral("client_key")}) {
        QFile::remove(ssh + "/" + key);
        QFile::remove(ssh + "/" + key + ".pub");
        const Outcome made = runProgram("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", ssh + "/" + key}, 120000);
        if (made.exitCode != 0) {
            why = "ssh-keygen failed: " + made.err;
            return false;
        }
    }
    QFile::remove(ssh + "/authorized_keys");
    QFile::copy(ssh + "/client_key.pub", ssh + "/authorized_keys");
    QTcpServer probe;
    if (!probe.listen(QHostAddress("127.0.0.2"))) {
        why = "cannot listen on 127.0.0.2: " + probe.errorString();
        return false;
    }
    const QString port = QString::number(probe.serverPort());
    probe.close();
    const QByteArray serverConfig = QStringLiteral(
        "ListenAddress 127.0.0.2:%1\nListenAddress 127.0.0.3:%1\nHostKey %2/host_key\n"
        "AuthorizedKeysFile %2/authorized_keys\nPidFile %2/sshd.pid\nStrictModes no\nUsePAM no\n"
        "PasswordAuthentication no\nKbdInteractiveAuthentication no\nPubkeyAuthentication yes\n"
        "PermitRootLogin prohibit-password\nMaxStartups 20\nLogLevel ERROR\n").arg(port, ssh).toUtf8();
    fill_test::writeTestFile(dir, "ssh/sshd_config", serverConfig);
    const QByteArray clientConfig = QStringLiteral(
        "Host 127.0.0.2 127.0.0.3\n  Port %1\n  User %3\n  IdentityFile %2/client_key\n  IdentitiesOnly yes\n"
        "  StrictHostKeyChecking accept-new\n  UserKnownHostsFile %2/known_hosts\n  BatchMode yes\n"
        "  LogLevel ERROR\n").arg(port, ssh, loginName()).toUtf8();
    sshConfig = fill_test::writeTestFile(dir, "ssh/config", clientConfig);
    sshd = std::make_unique<QProcess>();
    sshd->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Ends with the test, even when the test is killed.
    sshd->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    sshd->start(sshdPath, {"-D", "-e", "-f", ssh + "/sshd_config"});
    if (!sshd->waitForStarted(10000)) {
        why = "sshd did not start";
        return false;
    }
    for (const char* host : {"127.0.0.2", "127.0.0.3"}) {
        // sshd listens a moment after it started.
        Outcome o;
        fill_test::waitUntil([&] {
            o = runProgram("ssh", {"-F", sshConfig, host, "echo", "up"}, 30000);
            return o.out == "up\n" || sshd->state() == QProcess::NotRunning;
        }, 20000);
        if (o.out != "up\n") {
            why = QStringLiteral("no ssh login to %1: %2").arg(host, o.err);
            return false;
        }
    }
    return true;
}

void TestShards::shardsOverSshWithGnuParallel_data()
{
    QTest::addColumn<QString>("report");
    QTest::newRow("JSON Lines") << "jsonl";
    QTest::newRow("JUnit") << "xml";
}

// The documented route beyond one machine, with the real scheduler and the
// real ssh: each "machine" runs shards of rows, and the merge of their
// reports and --out files equals one run over all rows.
void TestShards::shardsOverSshWithGnuParallel()
{
    QFETCH(QString, report);
    const QString parallel = QStandardPaths::findExecutable("parallel");
    QVERIFY2(!parallel.isEmpty(), "GNU parallel is not installed (scripts/setup.sh installs it)");
    if (!sshd) {
        QString why;
        const bool started = startSshd(why);
        if (!started)
            sshd.reset();  // the next case tries again, and says why
        QVERIFY2(started, qPrintable(why));
    }
    if (!server) {
        server = std::make_unique<fill_test::PageServer>([](const QByteArray&) {
            return QByteArray("<!doctype html><html><head><meta charset='utf-8'></head><body>"
                              "<input id='name'><input id='city'></body></html>");
        });
        fill_test::writeTestFile(dir, "form.txt",
                                 "填表操作_写内容(input,name,{{name}},0,,,,假)\n"
                                 "填表操作_写内容(input,{{target}},{{city}},0,,,,假)\n"
                                 "greeting=填表_执行自定义JS代码(text=document.getElementById('name').value+'|'+"
                                 "document.getElementById('city').value,假)\n");
        fill_test::writeTestFile(dir, "people.csv",
                                 "name,city,target\r\n\"Smith, J\",Oslo,city\r\n张三,\"北京 \"\"东\"\"\",nowhere\r\n"
                                 "Ann,Rome,city\r\nBo,\"a, b\",city\r\nCy,Lima,city\r\n");
    }
    const QString fill = QCoreApplication::applicationDirPath() + "/tolvane-fill";
    const QString url = server->origin() + "/form.html";
    const QStringList run = {fill, "--run", dir.filePath("form.txt"), url, "--data", dir.filePath("people.csv"),
                             "--strict"};
    const QString whole = dir.filePath("whole." + report), wholeOut = dir.filePath("whole-" + report + ".csv");
    QCOMPARE(runProgram(run[0], run.mid(1) << "--report" << whole << "--out" << wholeOut, 120000).exitCode, 1);

    const QString shard = dir.filePath(report + "-shard{#}");
    const QString joblog = dir.filePath(report + "-joblog");
    QStringList args = {"--will-cite", "--sshlogin", "1/127.0.0.2,1/127.0.0.3", "--ssh", "ssh -F " + sshConfig,
                        "--joblog", joblog};
    // The test's own home and data folders, not the login's.
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR",
                             "QT_QPA_PLATFORM"})
        args << "--env" << name;
    args << run << "--rows" << "{}" << "--report" << shard + "." + report << "--out" << shard + ".csv"
         << ":::" << "1-2" << "3-4" << "5-";
    const Outcome sharded = runProgram(parallel, args, 240000);
    // One shard holds the row that fails; parallel counts failed shards.
    QCOMPARE(sharded.exitCode, 1);
    const QString log = QString::fromUtf8(readFile(joblog));
    QVERIFY2(log.contains("127.0.0.2") && log.contains("127.0.0.3"), qPrintable(log));

    const QString merged = dir.filePath("merged." + report), mergedOut = dir.filePath("merged-" + report + ".csv");
    QStringList merge = {"--merge-reports", merged};
    for (int k = 1; k <= 3; ++k)
        merge << dir.filePath(report + "-shard" + QString::number(k) + "." + report);
    merge << "--out" << mergedOut;
    for (int k = 1; k <= 3; ++k)
        merge << dir.filePath(report + "-shard" + QString::number(k) + ".csv");
    const Outcome o = runFill(merge);
    QVERIFY2(o.exitCode == 0, qPrintable(o.err));
    QCOMPARE(withoutTimes(readFile(merged)), withoutTimes(readFile(whole)));
    QCOMPARE(readFile(mergedOut), readFile(wholeOut));
    QVERIFY(readFile(merged).contains(report == "xml" ? "row 5" : "\"row\":5"));
}

QTEST_MAIN(TestShards)
#include "test_shards.moc"
