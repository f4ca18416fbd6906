// The parts of data-driven runs that need no page: data files, `{{name}}`
// substitution, variables, and the report records.
#include "fillscript/catalogue.h"
#include "fillscript/csvtable.h"
#include "fillscript/parser.h"
#include "fillscript/runreport.h"
#include "fillscript/scriptrun.h"
#include "runtime/textcodec.h"

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
    void initTestCase() { buildCatalogue(); }
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
    const RunResult r = runFillScript(scriptLines(script), exec, [&](const std::string& e) { log += e; });
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
    return {passed, failed, unloaded};
}

}  // namespace

void TestDataRunCore::jsonLinesRecords()
{
    std::string all;
    for (const RowRecord& r : sampleRows())
        all += fillscript::jsonLinesRecords(r);
    const QList<QByteArray> lines = QByteArray::fromStdString(all).split('\n');
    QCOMPARE(lines.size(), 6);  // 5 records and the empty text after the last break
    QVERIFY(lines.last().isEmpty());
    QList<QJsonObject> rec;
    for (int k = 0; k < 5; ++k) {
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
}

void TestDataRunCore::junitDocument()
{
    std::vector<RowRecord> rows = sampleRows();
    rows[0].lines[0].outcome.result = "a\x01z";  // no control characters in XML
    const std::string xml = junitReport(rows, G("表单.txt"));
    QXmlStreamReader r(QByteArray::fromStdString(xml));
    QStringList suites, cases, failures;
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
    }
    QVERIFY2(!r.hasError(), qPrintable(r.errorString()));
    QCOMPARE(totals, QStringLiteral("表单.txt 3/2"));
    QCOMPARE(suites, (QStringList{"row 4:0", "row 5:1", "row 6:1"}));
    QCOMPARE(cases, (QStringList{"line 1: 填表操作_写内容", "line 2: x", "page load"}));
    QCOMPARE(failures, (QStringList{"错误，不存在的命令", "the page failed to load: http://127.0.0.1:9/"}));
}

QTEST_MAIN(TestDataRunCore)
#include "test_datarun_core.moc"
