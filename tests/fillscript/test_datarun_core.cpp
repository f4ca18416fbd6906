// The parts of data-driven runs that need no page: data files, `{{name}}`
// substitution, variables, and the report records.
#include "fillscript/catalogue.h"
#include "fillscript/csvtable.h"
#include "fillscript/parser.h"
#include "fillscript/progress.h"
#include "fillscript/roworder.h"
#include "fillscript/rowjournal.h"
#include "fillscript/runreport.h"
#include "fillscript/workerprotocol.h"
#include "fillscript/scriptrun.h"
#include "runtime/textcodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>
#include <QtTest>

using namespace fillscript;

namespace {

std::string G(const char* utf8) { return rt::gb(utf8); }
QString Q(const std::string& gb) { return rt::gbToQString(gb); }

QList<QStringList> toQ(const std::vector<std::vector<std::string>>& rows)
{
    QList<QStringList> out;
    for (const auto& r : rows) {
        QStringList l;
        for (const auto& f : r)
            l << Q(f);
        out << l;
    }
    return out;
}

QStringList toQ(const std::vector<std::string>& v)
{
    QStringList out;
    for (const auto& s : v)
        out << Q(s);
    return out;
}

// Answers each line with what a page would: the value set by the last write
// for reads, "success" for writes, and records the arguments it was given.
class FormExecutor : public CommandExecutor {
public:
    std::vector<std::vector<std::string>> calls;
    std::string value = "start";
    std::string execute(const std::string& name, const std::vector<std::string>& args) override
    {
        calls.push_back(args);
        if (name == G("填表操作_写内容")) {
            value = args[2];
            return "success";
        }
        return value;
    }
};

}  // namespace

using Rows = QList<QStringList>;
Q_DECLARE_METATYPE(Rows)

class TestDataRunCore : public QObject {
    Q_OBJECT
private slots:
    void dataFiles_data();
    void dataFiles();
    void writtenRecordsReadBack();
    void substitution_data();
    void substitution();
    void variableNames_data();
    void variableNames();
    void assignments_data();
    void assignments();
    void variablesCarryAcrossLines();
    void valuesKeepCommasAndQuotes();
    void oldScriptsKeepTheirMeaning();
    void strictness_data();
    void strictness();
    void jsonLinesRecords();
    void junitDocument();
    void retryReasons_data();
    void retryReasons();
    void recordsKeepAttempts();
    void workerMessagesRoundTrip();
    void malformedWorkerMessages_data();
    void malformedWorkerMessages();
    void messageLinesAreBounded();
    void rowOrderHoldsBackLaterRows();
    void progressText_data();
    void progressText();
};

void TestDataRunCore::dataFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QString>("error");

    QTest::newRow("plain, LF") << QByteArray("a,b\n1,2\n3,4\n") << true << QStringList{"a", "b"}
                               << QList<QStringList>{{"1", "2"}, {"3", "4"}} << QString();
    QTest::newRow("quoted comma") << QByteArray("name,city\r\n\"Smith, J\",Oslo\r\n") << true
                                  << QStringList{"name", "city"}
                                  << QList<QStringList>{{"Smith, J", "Oslo"}} << QString();
    QTest::newRow("line break in quotes")
        << QByteArray("a,b\r\n\"one\r\ntwo\",x\r\n") << true << QStringList{"a", "b"}
        << QList<QStringList>{{"one\r\ntwo", "x"}} << QString();
    QTest::newRow("doubled quotes") << QByteArray("a\n\"say \"\"hi\"\"\"\n") << true << QStringList{"a"}
                                    << QList<QStringList>{{"say \"hi\""}} << QString();
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF姓名,城市\n张三,北京\n") << true
                                    << QStringList{"姓名", "城市"}
                                    << QList<QStringList>{{"张三", "北京"}} << QString();
    QTest::newRow("GB18030") << QByteArray(G("姓名,城市\r\n李四,上海\r\n").c_str()) << true
                             << QStringList{"姓名", "城市"}
                             << QList<QStringList>{{"李四", "上海"}} << QString();
    QTest::newRow("GB18030 with its BOM") << (QByteArray("\x84\x31\x95\x33") + G("姓名,城市\r\n李四,上海\r\n").c_str())
                                         << true << QStringList{"姓名", "城市"}
                                         << QList<QStringList>{{"李四", "上海"}} << QString();
    QTest::newRow("CR only, no final break") << QByteArray("a,b\r1,2\r3,4") << true << QStringList{"a", "b"}
                                             << QList<QStringList>{{"1", "2"}, {"3", "4"}} << QString();
    QTest::newRow("missing column is empty") << QByteArray("a,b,c\n1\n1,2\n") << true
                                             << QStringList{"a", "b", "c"}
                                             << QList<QStringList>{{"1", "", ""}, {"1", "2", ""}}
                                             << QString();
    QTest::newRow("blank lines skipped") << QByteArray("a\n\n1\n\n") << true << QStringList{"a"}
                                         << QList<QStringList>{{"1"}} << QString();
    QTest::newRow("one empty quoted field is a row") << QByteArray("a\n\"\"\n") << true << QStringList{"a"}
                                                     << QList<QStringList>{{""}} << QString();
    QTest::newRow("header only") << QByteArray("a,b\r\n") << true << QStringList{"a", "b"}
                                 << QList<QStringList>{} << QString();
    QTest::newRow("empty file") << QByteArray() << false << QStringList{} << QList<QStringList>{}
                                << QString("no header row");
    QTest::newRow("extra column") << QByteArray("a,b\n1,2\n1,2,3\n") << false << QStringList{}
                                  << QList<QStringList>{} << QString("line 3: 3 fields, the header names 2");
    QTest::newRow("unclosed quote") << QByteArray("a,b\n1,\"two\nthree\n") << false << QStringList{}
                                    << QList<QStringList>{} << QString("line 2: a quoted field is not closed");
    QTest::newRow("text after closing quote") << QByteArray("a\n\"x\"y\n") << false << QStringList{}
                                              << QList<QStringList>{}
                                              << QString("line 2: text after a closing quote");
    QTest::newRow("column named twice") << QByteArray("a,b,a\n") << false << QStringList{}
                                        << QList<QStringList>{}
                                        << QString("line 1: the column \"a\" is named twice");
    // Two names of bytes that are no text: both would come back as U+FFFD.
    QTest::newRow("malformed column name") << QByteArray("\xe1,\xe2\r\n") << false << QStringList{}
                                           << QList<QStringList>{}
                                           << QString("line 1: the column name \"\xEF\xBF\xBD\" is not valid UTF-8 or GB18030 text");
}

void TestDataRunCore::dataFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    const CsvReadResult r = readCsv(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    QCOMPARE(r.ok, ok);
    QFETCH(QString, error);
    QCOMPARE(QString::fromStdString(r.error), error);
    if (!ok)
        return;
    QFETCH(QStringList, header);
    QCOMPARE(toQ(r.table.header), header);
    QFETCH(Rows, rows);
    QCOMPARE(toQ(r.table.rows), rows);
}

// What --out writes, read as a data file, gives the same values back.
void TestDataRunCore::writtenRecordsReadBack()
{
    const std::vector<std::vector<std::string>> rows = {
        {G("甲"), "a,b", "say \"x\""}, {"line\r\nbreak", "", ""}, {"", "", ""}};
    std::string gb = csvRecord({"x", "y", "z"});
    for (const auto& r : rows)
        gb += csvRecord(r);
    const CsvReadResult back = readCsv(rt::gbToUtf8(gb));
    QVERIFY(back.ok);
    QCOMPARE(back.table.rows, rows);
    QCOMPARE(csvRecord({""}), std::string("\"\"\r\n"));
}

void TestDataRunCore::substitution_data()
{
    QTest::addColumn<QString>("arg");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("unknown");
    QTest::newRow("column") << "{{name}}" << "张三" << QStringList{};
    QTest::newRow("inside text") << "Dear {{name}}!" << "Dear 张三!" << QStringList{};
    QTest::newRow("twice and Chinese name") << "{{城市}}/{{城市}}" << "北京/北京" << QStringList{};
    QTest::newRow("unknown stays") << "{{nobody}} and {{name}}" << "{{nobody}} and 张三"
                                   << QStringList{"nobody"};
    QTest::newRow("literal braces") << "{{{{}}name}}" << "{{name}}" << QStringList{};
    QTest::newRow("not a name") << "{{a b}} {{}} {{x" << "{{a b}} {{}} {{x" << QStringList{};
    QTest::newRow("object literal") << "{{{name}}}" << "{张三}" << QStringList{};
    QTest::newRow("empty value") << "[{{empty}}]" << "[]" << QStringList{};
}

void TestDataRunCore::substitution()
{
    QFETCH(QString, arg);
    const std::map<std::string, std::string> values = {
        {"name", G("张三")}, {G("城市"), G("北京")}, {"empty", ""}};
    std::set<std::string> found;
    QFETCH(QString, expected);
    QCOMPARE(Q(substitute(rt::qstringToGb(arg), values, found)), expected);
    QStringList u;
    for (const auto& n : found)
        u << Q(n);
    QFETCH(QStringList, unknown);
    QCOMPARE(u, unknown);
}

void TestDataRunCore::variableNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("letters") << "total" << true;
    QTest::newRow("digits and _") << "x_1" << true;
    QTest::newRow("Chinese") << "订单号" << true;
    QTest::newRow("mixed") << "订单_2" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("space") << "a b" << false;
    QTest::newRow("dash") << "e-mail" << false;
    QTest::newRow("full-width comma") << "甲，乙" << false;
    QTest::newRow("braces") << "{{x}}" << false;
}

void TestDataRunCore::variableNames()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QCOMPARE(isVariableName(rt::qstringToGb(name)), valid);
}

void TestDataRunCore::assignments_data()
{
    QTest::addColumn<QString>("namePart");
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("command");
    QTest::newRow("plain") << "x=填表_取页面文本" << "x" << "填表_取页面文本";
    QTest::newRow("spaces") << "订单号 = 填表_取网址" << "订单号" << "填表_取网址";
    QTest::newRow("no variable") << "=填表_取页面文本" << "" << "";
    QTest::newRow("bad variable") << "a b=填表_取页面文本" << "" << "";
    QTest::newRow("no command") << "x=" << "" << "";
    QTest::newRow("no =") << "填表_取页面文本" << "" << "";
}

void TestDataRunCore::assignments()
{
    QFETCH(QString, namePart);
    const std::optional<Assignment> a = splitAssignment(rt::qstringToGb(namePart));
    QFETCH(QString, variable);
    QCOMPARE(a.has_value(), !variable.isEmpty());
    if (a) {
        QCOMPARE(Q(a->variable), variable);
        QFETCH(QString, command);
        QCOMPARE(Q(a->command), command);
    }
}

void TestDataRunCore::variablesCarryAcrossLines()
{
    const std::vector<std::string> lines = scriptLines(G(
        "old=填表操作_取内容(input,kw,0,,,,假)\r\n"
        "填表操作_写内容(input,kw,{{name}}-{{old}},0,,,,假)\r\n"
        "new = 填表操作_取内容(input,kw,0,,,,假)\r\n"
        "填表操作_写内容(input,kw,{{new}}!,0,,,,假)\r\n"
        "x=不存在的命令(1)"));
    QCOMPARE(toQ(assignedVariables(lines)), (QStringList{"old", "new"}));
    FormExecutor exec;
    ScriptRun run(lines, exec, {{"name", "Ann"}});
    std::string log;
    while (!run.atEnd())
        log += run.step().logEntry();
    QCOMPARE(Q(log), QStringLiteral("第1行：start\r\n第2行：success\r\n第3行：Ann-start\r\n"
                                    "第4行：success\r\n第5行：错误，不存在的命令\r\n"));
    QCOMPARE(exec.value, std::string("Ann-start!"));
    QCOMPARE(run.values().at("new"), std::string("Ann-start"));
    QVERIFY(!run.values().count("x"));
}

// A value is put in after the line was split: commas, parentheses and quotes
// stay inside the one argument.
void TestDataRunCore::valuesKeepCommasAndQuotes()
{
    const std::vector<std::string> lines =
        scriptLines(G("填表操作_写内容(input,kw,{{v}},0,,,,假)"));
    FormExecutor exec;
    ScriptRun run(lines, exec, {{"v", G("a, \"b\" (c)，丁")}});
    const LineResult o = run.step();
    QVERIFY(o.executed());
    QCOMPARE(o.args.size(), std::size_t(8));
    QCOMPARE(Q(exec.value), QStringLiteral("a, \"b\" (c)，丁"));
}

// Lines with neither form, and `=` inside arguments, run as they always did;
// an unknown `{{name}}` reaches the page as written.
void TestDataRunCore::oldScriptsKeepTheirMeaning()
{
    const std::string script = G(
        "填表_执行自定义JS代码(text=document.title,假)\r\n"
        "填表操作_写内容(input,kw,{{x}},0,,,,假)\r\n"
        "a=b(1)\r\n");
    FormExecutor exec;
    std::string log;
    const RunResult r = runScriptToLog(scriptLines(script), exec, [&](const std::string& e) { log += e; });
    QCOMPARE(Q(log), QStringLiteral("第1行：start\r\n第2行：success\r\n第3行：错误，不存在的命令\r\n"
                                    "第4行：错误，不存在的命令\r\n"));
    QCOMPARE(r.failedChecks, 2);
    QCOMPARE(Q(exec.calls[0][0]), QStringLiteral("text=document.title"));
    QCOMPARE(Q(exec.value), QStringLiteral("{{x}}"));
}

void TestDataRunCore::strictness_data()
{
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("checkFailed");
    QTest::addColumn<bool>("failsPlain");
    QTest::addColumn<bool>("failsStrict");
    QTest::newRow("success") << "success" << false << false << false;
    QTest::newRow("value") << "errors" << false << false << false;
    QTest::newRow("error") << "error" << false << false << true;
    QTest::newRow("undefined") << "undefined" << false << false << true;
    QTest::newRow("check") << "" << true << true << true;
}

void TestDataRunCore::strictness()
{
    QFETCH(QString, result);
    QFETCH(bool, checkFailed);
    LineResult o;
    o.result = rt::qstringToGb(result);
    if (checkFailed)
        o.checkError = unknownCommandText();
    QFETCH(bool, failsPlain);
    QCOMPARE(lineStatus(o, false) == LineStatus::Failed, failsPlain);
    QFETCH(bool, failsStrict);
    QCOMPARE(lineStatus(o, true) == LineStatus::Failed, failsStrict);
    QCOMPARE(isFailingLine(o), failsStrict);
}

namespace {

std::vector<RowRecord> sampleRows()
{
    RowRecord passed;
    passed.row = 4;
    LineRecord l;
    l.outcome.line = 1;
    l.outcome.command = G("填表操作_写内容");
    l.outcome.variable = "r";
    l.outcome.args = {"input", "kw", G("张三, \"x\""), "0", "", "", "", G("假")};
    l.outcome.result = "success";
    l.outcome.micros = 1500;
    passed.lines.push_back(l);
    passed.micros = 2500;

    RowRecord failed;
    failed.row = 5;
    LineRecord bad;
    bad.outcome.line = 2;
    bad.outcome.command = "x";
    bad.outcome.checkError = unknownCommandText();
    bad.outcome.unknownNames = {"nobody"};
    bad.status = LineStatus::Failed;
    bad.screenshot = "row5-line2.png";
    failed.lines = {bad};
    failed.status = RowStatus::Failed;

    RowRecord unloaded;
    unloaded.row = 6;
    unloaded.status = RowStatus::LoadFailed;
    unloaded.loadError = "http://127.0.0.1:9/";
    unloaded.attempts = {{"the page failed to load", 2000000}};

    RowRecord crashed;
    crashed.row = 7;
    crashed.status = RowStatus::Crashed;
    crashed.crash = "the worker process ended on a signal";
    crashed.attempts = {{"the worker process ended on a signal", 1500}, {"line 2 got no answer in time", 10000}};
    return {passed, failed, unloaded, crashed};
}

}  // namespace

void TestDataRunCore::jsonLinesRecords()
{
    std::string all;
    for (const RowRecord& r : sampleRows())
        all += fillscript::jsonLinesRecords(r);
    const QList<QByteArray> lines = QByteArray::fromStdString(all).split('\n');
    QCOMPARE(lines.size(), 7);  // 6 records and the empty text after the last break
    QVERIFY(lines.last().isEmpty());
    QList<QJsonObject> rec;
    for (int k = 0; k < 6; ++k) {
        QJsonParseError e;
        rec << QJsonDocument::fromJson(lines[k], &e).object();
        QCOMPARE(e.error, QJsonParseError::NoError);
    }
    QCOMPARE(rec[0]["type"].toString(), QStringLiteral("line"));
    QCOMPARE(rec[0]["row"].toInt(), 4);
    QCOMPARE(rec[0]["command"].toString(), QStringLiteral("填表操作_写内容"));
    QCOMPARE(rec[0]["variable"].toString(), QStringLiteral("r"));
    QCOMPARE(rec[0]["args"].toArray().at(2).toString(), QStringLiteral("张三, \"x\""));
    QCOMPARE(rec[0]["result"].toString(), QStringLiteral("success"));
    QCOMPARE(rec[0]["status"].toString(), QStringLiteral("passed"));
    QCOMPARE(rec[0]["ms"].toDouble(), 1.5);
    QVERIFY(!rec[0].contains("screenshot"));
    QCOMPARE(rec[1]["type"].toString(), QStringLiteral("row"));
    QCOMPARE(rec[1]["status"].toString(), QStringLiteral("passed"));
    QCOMPARE(rec[1]["lines"].toInt(), 1);
    QCOMPARE(rec[2]["check"].toString(), QStringLiteral("错误，不存在的命令"));
    QCOMPARE(rec[2]["status"].toString(), QStringLiteral("failed"));
    QCOMPARE(rec[2]["screenshot"].toString(), QStringLiteral("row5-line2.png"));
    QCOMPARE(rec[2]["unknown"].toArray().at(0).toString(), QStringLiteral("nobody"));
    QCOMPARE(rec[3]["status"].toString(), QStringLiteral("failed"));
    QCOMPARE(rec[3]["failed"].toInt(), 1);
    QCOMPARE(rec[4]["status"].toString(), QStringLiteral("load-failed"));
    QCOMPARE(rec[4]["error"].toString(), QStringLiteral("http://127.0.0.1:9/"));
    QCOMPARE(rec[4]["attempts"].toArray(),
             (QJsonArray{QJsonObject{{"reason", "the page failed to load"}, {"ms", 2000.0}}}));
    QVERIFY(!rec[1].contains("attempts"));
    QCOMPARE(rec[5]["status"].toString(), QStringLiteral("crashed"));
    QCOMPARE(rec[5]["error"].toString(), QStringLiteral("the worker process ended on a signal"));
    QCOMPARE(rec[5]["attempts"].toArray().size(), 2);
    QCOMPARE(rec[5]["attempts"].toArray().at(1).toObject()["reason"].toString(),
             QStringLiteral("line 2 got no answer in time"));
}

void TestDataRunCore::junitDocument()
{
    std::vector<RowRecord> rows = sampleRows();
    rows[0].lines[0].outcome.result = "a\x01z";  // no control characters in XML
    const std::string xml = junitReport(rows, G("表单.txt"));
    QXmlStreamReader r(QByteArray::fromStdString(xml));
    QStringList suites, cases, failures, properties;
    QString totals;
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto a = r.attributes();
        if (r.name() == u"testsuites")
            totals = a.value("name").toString() + " " + a.value("tests").toString() + "/" +
                     a.value("failures").toString();
        else if (r.name() == u"testsuite")
            suites << a.value("name").toString() + ":" + a.value("failures").toString();
        else if (r.name() == u"testcase")
            cases << a.value("name").toString();
        else if (r.name() == u"failure")
            failures << a.value("message").toString();
        else if (r.name() == u"property")
            properties << a.value("name").toString() + "=" + a.value("value").toString();
    }
    QVERIFY2(!r.hasError(), qPrintable(r.errorString()));
    QCOMPARE(totals, QStringLiteral("表单.txt 4/3"));
    QCOMPARE(suites, (QStringList{"row 4:0", "row 5:1", "row 6:1", "row 7:1"}));
    QCOMPARE(cases, (QStringList{"line 1: 填表操作_写内容", "line 2: x", "page load", "row process"}));
    QCOMPARE(failures, (QStringList{"错误，不存在的命令", "the page failed to load: http://127.0.0.1:9/",
                                    "the worker process ended on a signal"}));
    // Every earlier attempt, in its row, oldest first.
    QCOMPARE(properties, (QStringList{"attempt 1=the page failed to load (2.000 s)",
                                      "attempt 1=the worker process ended on a signal (0.002 s)",
                                      "attempt 2=line 2 got no answer in time (0.010 s)"}));
}

namespace {

LineRecord lineOf(int number, bool failed, bool unanswered, const std::string& check = {})
{
    LineRecord l;
    l.outcome.line = number;
    l.outcome.command = "c";
    l.outcome.result = check.empty() ? "success" : "";
    l.outcome.checkError = check;
    l.outcome.unanswered = unanswered;
    l.status = failed ? LineStatus::Failed : LineStatus::Passed;
    return l;
}

}  // namespace

void TestDataRunCore::retryReasons_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("http");
    QTest::addColumn<QList<int>>("lines");  // per line: 0 passed, 1 failed, 2 failed unanswered, 3 unanswered passed
    QTest::addColumn<QString>("reason");
    QTest::newRow("passed") << int(RowStatus::Passed) << 0 << QList<int>{0, 3} << "";
    QTest::newRow("no load") << int(RowStatus::LoadFailed) << 0 << QList<int>{} << "the page failed to load";
    QTest::newRow("server error") << int(RowStatus::LoadFailed) << 503 << QList<int>{}
                                  << "the page failed to load (HTTP 503)";
    QTest::newRow("check failed") << int(RowStatus::Failed) << 0 << QList<int>{0, 1} << "";
    QTest::newRow("no answer (strict)") << int(RowStatus::Failed) << 0 << QList<int>{0, 2, 2}
                                        << "line 2 got no answer in time";
    QTest::newRow("no answer and a check failed") << int(RowStatus::Failed) << 0 << QList<int>{2, 1} << "";
    QTest::newRow("crashed") << int(RowStatus::Crashed) << 0 << QList<int>{} << "the worker process ended on a signal";
}

void TestDataRunCore::retryReasons()
{
    QFETCH(int, status);
    QFETCH(int, http);
    QFETCH(QList<int>, lines);
    RowRecord row;
    row.status = RowStatus(status);
    row.httpStatus = http;
    row.crash = "the worker process ended on a signal";
    for (int k = 0; k < lines.size(); ++k)
        row.lines.push_back(lineOf(k + 1, lines[k] == 1 || lines[k] == 2, lines[k] >= 2,
                                   lines[k] == 1 ? unknownCommandText() : std::string()));
    QFETCH(QString, reason);
    QCOMPARE(Q(retryReason(row)), reason);
}

void TestDataRunCore::recordsKeepAttempts()
{
    for (const RowRecord& r : sampleRows()) {
        const std::optional<RowRecord> back = readJournalLine(journalLine(r));
        QVERIFY(back);
        QCOMPARE(journalLine(*back), journalLine(r));
        QCOMPARE(back->attempts.size(), r.attempts.size());
        QCOMPARE(back->crash, r.crash);
    }
    // A record written before rows had attempts reads as a row without them.
    const auto old = readJournalLine(R"({"row":3,"status":2,"lines":[],"variables":[],"loadError":"x","http":0,"dialogs":[],"us":5})");
    QVERIFY(old);
    QVERIFY(old->attempts.empty());
    QVERIFY(!readJournalLine(R"({"row":3,"status":4,"lines":[]})"));  // no such status
}

void TestDataRunCore::workerMessagesRoundTrip()
{
    for (const RowRecord& r : sampleRows()) {
        const std::optional<FromWorker> done = readFromWorker(doneMessage(r));
        QVERIFY(done);
        QCOMPARE(done->kind, FromWorker::Done);
        QCOMPARE(journalLine(done->row), journalLine(r));
        for (const LineRecord& l : r.lines) {
            const auto line = readFromWorker(lineMessage(l));
            QVERIFY(line && line->kind == FromWorker::Line);
            QCOMPARE(line->line.outcome.logEntry(), l.outcome.logEntry());
            QCOMPARE(line->line.screenshot, l.screenshot);
        }
    }
    const auto retry = readFromWorker(retryMessage({G("第2行 no answer"), 42}));
    QVERIFY(retry && retry->kind == FromWorker::Retry);
    QCOMPARE(Q(retry->attempt.reason), QStringLiteral("第2行 no answer"));
    QCOMPARE(retry->attempt.micros, 42);
    const auto dialog = readFromWorker(dialogMessage({3, "prompt", G("名字?")}));
    QVERIFY(dialog && dialog->kind == FromWorker::Dialog);
    QCOMPARE(Q(dialog->dialog.message), QStringLiteral("名字?"));

    DataRunSetup setup;
    setup.scriptLines = {G("填表操作_写内容(input,a,{{名},0,,,,假)"), ""};
    setup.pageAddress = "http://127.0.0.1:1/a?b=c";
    setup.columns = {G("名"), "x"};
    setup.strict = true;
    setup.keepSession = true;
    setup.dialogs = 2;
    setup.screenshotDir = QStringLiteral("/tmp/截图");
    const auto toWorker = readToWorker(setupMessage(setup));
    QVERIFY(toWorker && toWorker->kind == ToWorker::Setup);
    QCOMPARE(toWorker->setup.scriptLines, setup.scriptLines);
    QCOMPARE(toWorker->setup.columns, setup.columns);
    QCOMPARE(toWorker->setup.pageAddress, setup.pageAddress);
    QCOMPARE(toWorker->setup.screenshotDir, setup.screenshotDir);
    QVERIFY(toWorker->setup.strict && toWorker->setup.keepSession && !toWorker->setup.allowHttpErrors);
    QCOMPARE(toWorker->setup.dialogs, 2);
    const auto row = readToWorker(rowMessage(12, {G("甲"), "a,b"}, 3));
    QVERIFY(row && row->kind == ToWorker::Row);
    QCOMPARE(row->number, 12);
    QCOMPARE(row->values, (std::vector<std::string>{G("甲"), "a,b"}));
    QCOMPARE(row->retries, 3);
    QCOMPARE(readToWorker(stopMessage())->kind, ToWorker::Stop);
}

void TestDataRunCore::malformedWorkerMessages_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("not JSON") << QByteArray("ready");
    QTest::newRow("no member") << QByteArray("{}");
    QTest::newRow("two members") << QByteArray(R"({"ready":true,"error":"x"})");
    QTest::newRow("unknown name") << QByteArray(R"({"hello":true})");
    QTest::newRow("an array") << QByteArray(R"([{"ready":true}])");
    QTest::newRow("line without result") << QByteArray(R"({"line":{"line":1,"command":"c","check":"","failed":false,"args":[]}})");
    QTest::newRow("line number a text") << QByteArray(
        R"({"line":{"line":"1","command":"c","result":"","check":"","failed":false,"args":[]}})");
    QTest::newRow("argument a number") << QByteArray(
        R"({"line":{"line":1,"command":"c","result":"","check":"","failed":false,"args":[1]}})");
    QTest::newRow("negative line") << QByteArray(
        R"({"line":{"line":-1,"command":"c","result":"","check":"","failed":false,"args":[]}})");
    QTest::newRow("row number a fraction") << QByteArray(
        R"({"done":{"row":1.5,"status":0,"lines":[],"variables":[],"dialogs":[],"us":0}})");
    QTest::newRow("row status out of range") << QByteArray(
        R"({"done":{"row":1,"status":9,"lines":[],"variables":[],"dialogs":[],"us":0}})");
    QTest::newRow("row with a bad line") << QByteArray(
        R"({"done":{"row":1,"status":0,"lines":[{"line":1}],"variables":[],"dialogs":[],"us":0}})");
    QTest::newRow("variable not a text") << QByteArray(
        R"({"done":{"row":1,"status":0,"lines":[],"variables":[null],"dialogs":[],"us":0}})");
    QTest::newRow("dialog without kind") << QByteArray(R"({"dialog":{"line":0,"message":"m"}})");
    QTest::newRow("retry with time a text") << QByteArray(R"({"retry":{"reason":"r","us":"5"}})");
    QTest::newRow("error not a text") << QByteArray(R"({"error":{}})");
}

void TestDataRunCore::malformedWorkerMessages()
{
    QFETCH(QByteArray, message);
    QVERIFY(!readFromWorker(message.toStdString()));
    QVERIFY(!readToWorker(message.toStdString()));
}

void TestDataRunCore::messageLinesAreBounded()
{
    MessageLines lines;
    lines.append("{\"ready\":tr");
    QVERIFY(!lines.next());
    lines.append("ue}\n{\"stop\":true}\n{\"x");
    QCOMPARE(*lines.next(), std::string(R"({"ready":true})"));
    QCOMPARE(*lines.next(), std::string(R"({"stop":true})"));
    QVERIFY(!lines.next());
    QVERIFY(!lines.overflowed());
    lines.append(QByteArray(kMaxWorkerMessage, 'x'));
    QVERIFY(lines.overflowed());
    lines.append("\n");
    QVERIFY(!lines.next());  // a line too long is never a message
}

void TestDataRunCore::rowOrderHoldsBackLaterRows()
{
    QStringList out;
    RowOrder order([&](const RowRecord& r) { out << QStringLiteral("row %1").arg(r.row); },
                   [&](int row, const LineRecord& l) { out << QStringLiteral("%1.%2").arg(row).arg(l.outcome.line); });
    const auto rowWith = [](int number, int lines) {
        RowRecord r;
        r.row = number;
        for (int k = 1; k <= lines; ++k)
            r.lines.push_back(lineOf(k, false, false));
        return r;
    };
    order.lineEnded(1, 11, lineOf(1, false, false));  // second row: held back
    order.lineEnded(0, 10, lineOf(1, false, false));  // first row: out at once
    QCOMPARE(out, QStringList{"10.1"});
    order.restarted(1);  // the second row's first attempt is dropped
    order.lineEnded(1, 11, lineOf(1, false, false));
    order.finished(2, rowWith(12, 1));
    QCOMPARE(out, QStringList{"10.1"});
    order.finished(0, rowWith(10, 2));
    // The first row ends; the second, now first, gives its line so far.
    QCOMPARE(out, (QStringList{"10.1", "10.2", "row 10", "11.1"}));
    order.lineEnded(1, 11, lineOf(2, false, false));
    order.finished(1, rowWith(11, 2));
    QCOMPARE(out, (QStringList{"10.1", "10.2", "row 10", "11.1", "11.2", "row 11", "12.1", "row 12"}));
    // A stopped run hands out what finished, over the gap.
    out.clear();
    order.lineEnded(3, 13, lineOf(1, false, false));
    order.finished(4, rowWith(14, 1));
    order.flush();
    QCOMPARE(out, (QStringList{"13.1", "14.1", "row 14"}));
}

void TestDataRunCore::progressText_data()
{
    QTest::addColumn<QList<int>>("counts");  // done, total, failed, retried
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing done yet") << QList<int>{0, 10, 0, 0} << qint64(800)
                                      << "0/10 rows, 0 passed, 0 failed, 0 retried, 0.0 rows/s, ? left";
    QTest::newRow("under way") << QList<int>{30, 100, 4, 2} << qint64(15000)
                               << "30/100 rows, 26 passed, 4 failed, 2 retried, 2.0 rows/s, 0:35 left";
    QTest::newRow("hours left") << QList<int>{1, 10000, 1, 0} << qint64(2000)
                                << "1/10000 rows, 0 passed, 1 failed, 0 retried, 0.5 rows/s, 5:33:18 left";
}

void TestDataRunCore::progressText()
{
    QFETCH(QList<int>, counts);
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(ProgressLine::text(counts[0], counts[1], counts[2], counts[3], elapsedMs)), text);
}

QTEST_MAIN(TestDataRunCore)
#include "test_datarun_core.moc"
