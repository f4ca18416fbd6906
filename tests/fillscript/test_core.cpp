// Catalogue, text splitting, line parsing, the run loop, argument conversions
// and name matching.
#include "fillscript/arguments.h"
#include "fillscript/catalogue.h"
#include "fillscript/completion.h"
#include "fillscript/parser.h"
#include "fillscript/scriptfile.h"
#include "fillscript/scriptrun.h"
#include "runtime/textcodec.h"

#include <QtTest>

using namespace fillscript;

namespace {

std::string G(const char* utf8) { return rt::gb(utf8); }
QString Q(const std::string& gb) { return rt::gbToQString(gb); }

QStringList toQ(const std::vector<std::string>& v)
{
    QStringList out;
    for (const auto& s : v)
        out << Q(s);
    return out;
}

// Records each executed line and answers with a recognisable text.
class RecordingExecutor : public CommandExecutor {
public:
    std::vector<std::pair<std::string, std::vector<std::string>>> calls;
    std::string execute(const std::string& name, const std::vector<std::string>& args) override
    {
        calls.emplace_back(name, args);
        std::string r = "ran";
        for (const auto& a : args)
            r += "[" + a + "]";
        return r;
    }
};

std::string runScript(const std::string& gbScript, RecordingExecutor& exec, RunResult* result = nullptr)
{
    std::string log;
    const RunResult r = runScriptToLog(scriptLines(gbScript), exec,
                                      [&](const std::string& e) { log += e; });
    if (result)
        *result = r;
    return log;
}

}  // namespace

class TestCore : public QObject {
    Q_OBJECT
private slots:
    void lookupsNeedNoSetUp();
    void catalogueShape();
    void catalogueEntries();
    void lookups();
    void splitText_data();
    void splitText();
    void parse_data();
    void parse();
    void trailingSpacesEndAtCharacterStarts_data();
    void trailingSpacesEndAtCharacterStarts();
    void run_data();
    void run();
    void runPassesArgumentsInOrder();
    void messagesAreExact();
    void scriptLinesLikeTheEditor();
    void scriptFiles();
    void integers_data();
    void integers();
    void logicals();
    void pinyinTable();
    void abbreviations_data();
    void abbreviations();
    void completionTexts();
    void completionCandidatesFollowTheTable();
};

// The table is a constant: the first lookup of the process finds the command.
void TestCore::lookupsNeedNoSetUp()
{
    QCOMPARE(findParamCount(G("填表_跳转地址")), 1);
    QCOMPARE(Q(findParamDescText(G("填表_跳转地址"))), QStringLiteral("跳转地址,文本型,|"));
}

void TestCore::catalogueShape()
{
    QCOMPARE(int(kCommandCount), 48);
    QCOMPARE(int(fillscript::splitText(CommandNamesText(), "\r\n").size()), 48);
    QCOMPARE(int(fillscript::splitText(ParamCountsText(), "\r\n").size()), 48);
    // The texts end without a line break; the descriptions with "|".
    QVERIFY(CommandNamesText().substr(CommandNamesText().size() - 2) != "\r\n");
    QVERIFY(ParamCountsText().back() == '9');
    QVERIFY(ParamDescsText().back() == '|');

    const int counts[48] = {1, 7, 8, 7, 7, 8, 8, 10, 8, 8, 9, 7, 7, 8, 8, 8, 7, 9, 8, 7, 7, 7, 7, 7,
                            7, 7, 11, 8, 8, 14, 10, 6, 1, 0, 0, 2, 2, 0, 2, 0, 4, 6, 2, 2, 8, 9, 8, 9};
    for (int i = 0; i < 48; ++i) {
        QCOMPARE(kCommands[i].count, counts[i]);
        QCOMPARE(findParamCount(commandName(std::size_t(i))), counts[i]);
        // One "|"-terminated segment per parameter.
        const std::string& d = commandDescription(std::size_t(i));
        QCOMPARE(int(fillscript::splitText(d, "|").size()), counts[i]);
        QVERIFY(d.empty() || d.back() == '|');
    }
    // Families: 47 names start with 填, the internal one does not.
    int tian = 0;
    for (std::size_t i = 0; i < kCommandCount; ++i)
        tian += commandName(i).rfind(G("填"), 0) == 0;
    QCOMPARE(tian, 47);
    QCOMPARE(Q(commandName(41)), QStringLiteral("内部_构造对象代码"));
}

void TestCore::catalogueEntries()
{
    const QString H = "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|";
    const QString T = "跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|"
                      "自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|";
    const QString T2 = "跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|"
                       "自定义属性名,文本型, 可以指定自定义属性名来定位|父子操作,文本型,|是否GBK编码,逻辑型,|";
    const auto desc = [](const char* name) { return Q(findParamDescText(G(name))); };

    QCOMPARE(desc("填表_跳转地址"), QStringLiteral("跳转地址,文本型,|"));
    QCOMPARE(desc("填表操作_取内容"), H + T);
    QCOMPARE(desc("填表操作_判断元素是否存在"), H + "判断次数,整数型, 至少1次，每500毫秒自动判断1次|" + T);
    QCOMPARE(desc("填表操作_取组合框索引信息"),
             H + "返回当前索引,整数型,|返回当前value,文本型,|返回当前文本,文本型,|" + T);
    QCOMPARE(desc("填表操作_取属性"), H + "读取属性,文本型,|" + T);
    QCOMPARE(desc("填表操作_执行自定义代码_返回值"), H + "执行语句,文本型, dom.执行语句;|" + T2);
    QCOMPARE(desc("填表操作_移动到目标元素"), H + "浏览框句柄,整数型,|是否点击,逻辑型,|" + T2);
    QCOMPARE(desc("内部_构造对象代码"),
             QStringLiteral("标签名,文本型,|ID_名称_索引,文本型,|跳过次数,整数型,|自定义属性名,文本型,|"
                            "穿透框架,文本型,|父子操作,文本型,|"));
    QCOMPARE(desc("填表_控制滚动条"), QStringLiteral("横坐标,整数型, 留空不变|竖坐标,整数型, 留空不变|"));
    QCOMPARE(desc("填表_遍历元素"),
             QStringLiteral("遍历的标签,文本型,|指定特征字,文本型, 可指定ID、class、Name、value、innerText遍历，留空则不指定|"
                            "是否标记,逻辑型, 是否在元素上面标记内容|是否GBK编码,逻辑型,|"));

    // The event segments: the name remark ends with a reference address.
    const QStringList mouse = desc("填表事件_鼠标事件").split('|');
    QVERIFY(mouse[2].startsWith("执行事件名,文本型, 事件参考：https://"));
    QCOMPARE(mouse[3], QStringLiteral("是否冒泡,逻辑型, 表示事件是否应该冒泡，针对鼠标事件模拟，该值应该被设置为true。"));
    QCOMPARE(mouse[4], QStringLiteral("是否能取消,逻辑型, 表示该事件是否能够被取消，针对鼠标事件模拟，该值应该被设置为true。"));
    QCOMPARE(mouse.mid(5, 4), QStringList({"screenX,整数型, 屏幕里的x坐标", "screenY,整数型, 屏幕里的y坐标",
                                          "clientX,整数型, 浏览器里的X坐标", "clientY,整数型, 浏览器里的y坐标"}));
    const QString E = mouse.mid(2, 3).join('|') + '|';
    QCOMPARE(desc("填表事件_普通事件"), H + mouse[2] + '|' + T);
    QCOMPARE(desc("填表事件_触摸事件"), H + E + T);
    QCOMPARE(desc("填表_取网址"), H + E + "是否GBK编码,逻辑型,|");
}

void TestCore::lookups()
{
    QCOMPARE(findParamCount(G("填表_取页面文本")), 0);
    QCOMPARE(findParamCount(G("填表事件_鼠标事件")), 14);
    QCOMPARE(findParamCount(G("填表_跳转地址 ")), -1);
    QCOMPARE(findParamCount(""), -1);
    QCOMPARE(findParamCount(G("填表操作_取Canvas图片")), -1);
    QVERIFY(findParamDescText(G("填表_取页面源码")).empty());
    QVERIFY(findParamDescText(G("没有这个命令")).empty());
    QCOMPARE(int(fillscript::splitText(ParamDescsText(), "\r\n").size()), 48);
    QCOMPARE(toQ(fillscript::splitText(findParamDescText(G("填表_跳转地址")), "|")),
             QStringList{"跳转地址,文本型,"});
}

void TestCore::splitText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("sep");
    QTest::addColumn<QStringList>("pieces");
    QTest::newRow("trailing sep adds nothing") << QByteArray("a,b,") << QByteArray(",") << QStringList{"a", "b"};
    QTest::newRow("empty middle piece") << QByteArray("a,,b") << QByteArray(",") << QStringList{"a", "", "b"};
    QTest::newRow("lone sep") << QByteArray(",") << QByteArray(",") << QStringList{""};
    QTest::newRow("empty text") << QByteArray("") << QByteArray(",") << QStringList{};
    QTest::newRow("empty sep") << QByteArray("a,b") << QByteArray("") << QStringList{"a,b"};
    QTest::newRow("crlf") << QByteArray("x\r\n\r\ny") << QByteArray("\r\n") << QStringList{"x", "", "y"};
    // 亅 is 81 7C in GBK: its trail byte is '|' but must not split.
    QTest::newRow("sep byte inside a character")
        << QByteArray("\x81\x7C|b") << QByteArray("|") << QStringList{"亅", "b"};
}

void TestCore::splitText()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, sep);
    QFETCH(QStringList, pieces);
    QCOMPARE(toQ(fillscript::splitText(text.toStdString(), sep.toStdString())), pieces);
}

void TestCore::parse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("removeQuotes");
    QTest::addColumn<QString>("normalised");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("openPos");
    QTest::addColumn<int>("closePos");

    QTest::newRow("plain") << "a(x, y )" << true << "a(x, y )" << "a" << QStringList{"x", "y"} << 2 << 8;
    QTest::newRow("full-width punctuation and quotes")
        << "填表_跳转地址（“abc”）" << true << "填表_跳转地址(abc)" << "填表_跳转地址" << QStringList{"abc"} << 14 << 18;
    QTest::newRow("quotes kept without removeQuotes")
        << "f(“a”,\"b\")" << false << "f(\"a\",\"b\")" << "f" << QStringList{"\"a\"", "\"b\""} << 2 << 10;
    QTest::newRow("full-width comma splits") << "f(你好，世界)" << true << "f(你好,世界)" << "f" << QStringList{"你好", "世界"} << 2 << 12;
    QTest::newRow("parentheses inside arguments")
        << "填表_执行自定义JS代码(alert(1),假)" << true << "填表_执行自定义JS代码(alert(1),假)"
        << "填表_执行自定义JS代码" << QStringList{"alert(1)", "假"} << 22 << 34;
    QTest::newRow("spaces around, CR LF shields trailing")
        << "  　f( a ) \r\n" << true << "f( a ) \r\n" << "f" << QStringList{"a"} << 2 << 6;
    QTest::newRow("full-width spaces trimmed") << "　f()　" << true << "f()" << "f" << QStringList{} << 2 << 3;
    QTest::newRow("no parenthesis") << "abc" << true << "abc" << "" << QStringList{} << -1 << -1;
    QTest::newRow("no close") << "f(a,b" << true << "f(a,b" << "f" << QStringList{} << 2 << -1;
    QTest::newRow("close before open") << "f)(a" << true << "f)(a" << "f)" << QStringList{} << 3 << 2;
    QTest::newRow("leading paren gives empty name") << "(a)" << true << "(a)" << "" << QStringList{"a"} << 1 << 3;
    QTest::newRow("trailing comma") << "f(a,b,)" << true << "f(a,b,)" << "f" << QStringList{"a", "b"} << 2 << 7;
    QTest::newRow("( , ) two empties") << "f( , )" << true << "f( , )" << "f" << QStringList{"", ""} << 2 << 6;
    QTest::newRow("(,) one empty") << "f(,)" << true << "f(,)" << "f" << QStringList{""} << 2 << 4;
    QTest::newRow("(,,) two empties") << "f(,,)" << true << "f(,,)" << "f" << QStringList{"", ""} << 2 << 5;
    QTest::newRow("( ) one empty") << "f( )" << true << "f( )" << "f" << QStringList{""} << 2 << 4;
    QTest::newRow("space before paren stays in name") << "f (a)" << true << "f (a)" << "f " << QStringList{"a"} << 3 << 5;
}

void TestCore::trailingSpacesEndAtCharacterStarts_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("normalised");
    const QByteArray fullSpace("\xA1\xA1");
    // Tens of thousands of trailing spaces, as a paste into the editor gives.
    QTest::newRow("many full-width spaces") << "x" + fullSpace.repeated(40000) << QByteArray("x");
    QTest::newRow("spaces of both widths") << "f()" + fullSpace + " " + fullSpace + "  " << QByteArray("f()");
    QTest::newRow("only spaces") << " " + fullSpace.repeated(3) + " " << QByteArray();
    // B0 A1 is one character; the A1 A1 that ends the line starts at its
    // trail byte, so it is no space.
    QTest::newRow("A1 A1 across a character") << QByteArray("\xB0\xA1\xA1") << QByteArray("\xB0\xA1\xA1");
    QTest::newRow("A1 A1 after a character") << "\xB0\xA1" + fullSpace << QByteArray("\xB0\xA1");
}

void TestCore::trailingSpacesEndAtCharacterStarts()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, normalised);
    QCOMPARE(QByteArray::fromStdString(normaliseLine(line.toStdString(), false)), normalised);
}

void TestCore::parse()
{
    QFETCH(QString, line);
    QFETCH(bool, removeQuotes);
    QFETCH(QString, normalised);
    QFETCH(QString, name);
    QFETCH(QStringList, args);
    QFETCH(int, openPos);
    QFETCH(int, closePos);
    const std::string s = normaliseLine(rt::qstringToGb(line), removeQuotes);
    QCOMPARE(Q(s), normalised);
    const ParsedLine p = parseLine(s);
    QCOMPARE(Q(p.name), name);
    QCOMPARE(toQ(p.args), args);
    QCOMPARE(p.openPos, openPos);
    QCOMPARE(p.closePos, closePos);
}

void TestCore::run_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("failedChecks");

    QTest::newRow("empty document") << "" << "第1行：错误，不存在的命令\r\n" << 1;
    QTest::newRow("blank and last empty lines")
        << "填表_取页面文本()\r\n\r\nabc\r\n"
        << "第1行：ran\r\n第2行：错误，不存在的命令\r\n第3行：错误，不存在的命令\r\n第4行：错误，不存在的命令\r\n" << 3;
    QTest::newRow("missing close passes") << "填表_取页面文本(" << "第1行：ran\r\n" << 0;
    QTest::newRow("space between parens is an argument")
        << "填表_取页面文本( )" << "第1行：错误，参数不对，实际需要0个参数，你只提供1个参数\r\n" << 1;
    QTest::newRow("space before paren") << "填表_取页面文本 ()" << "第1行：错误，不存在的命令\r\n" << 1;
    QTest::newRow("leading spaces trimmed") << "   填表_取页面文本()" << "第1行：ran\r\n" << 0;
    QTest::newRow("full-width") << "填表_跳转地址（“abc”）" << "第1行：ran[abc]\r\n" << 0;
    QTest::newRow("full-width comma makes two")
        << "填表_跳转地址(你好，世界)" << "第1行：错误，参数不对，实际需要1个参数，你只提供2个参数\r\n" << 1;
    QTest::newRow("quotes removed, parens kept")
        << "填表_执行自定义JS代码(alert(\"1\"),假)" << "第1行：ran[alert(1)][假]\r\n" << 0;
    QTest::newRow("trailing comma") << "填表_坐标点击(1,2,)" << "第1行：ran[1][2]\r\n" << 0;
    QTest::newRow("( , ) gives two") << "填表_控制滚动条( , )" << "第1行：ran[][]\r\n" << 0;
    QTest::newRow("(,) gives one")
        << "填表_控制滚动条(,)" << "第1行：错误，参数不对，实际需要2个参数，你只提供1个参数\r\n" << 1;
    QTest::newRow("too many")
        << "填表_跳转地址(a,b,c)" << "第1行：错误，参数不对，实际需要1个参数，你只提供3个参数\r\n" << 1;
    QTest::newRow("case-sensitive")
        << "填表操作_取Canvas图片(a,b,0,,,,假)" << "第1行：错误，不存在的命令\r\n" << 1;
    QTest::newRow("failure does not stop the run")
        << "x\r\n填表_坐标点击(1,2)\r\n填表_坐标点击(1)\r\n填表_取页面文本()"
        << "第1行：错误，不存在的命令\r\n第2行：ran[1][2]\r\n"
           "第3行：错误，参数不对，实际需要2个参数，你只提供1个参数\r\n第4行：ran\r\n" << 2;
}

void TestCore::run()
{
    QFETCH(QString, script);
    QFETCH(QString, log);
    QFETCH(int, failedChecks);
    RecordingExecutor exec;
    RunResult r;
    QCOMPARE(Q(runScript(rt::qstringToGb(script), exec, &r)), log);
    QCOMPARE(r.failedChecks, failedChecks);
    QCOMPARE(r.lines, int(log.count("\r\n")));
}

void TestCore::runPassesArgumentsInOrder()
{
    RecordingExecutor exec;
    runScript(G("填表操作_取属性(input, kw ,value,0,,,,假)\r\n填表_取页面源码()"), exec);
    QCOMPARE(int(exec.calls.size()), 2);
    QCOMPARE(Q(exec.calls[0].first), QStringLiteral("填表操作_取属性"));
    QCOMPARE(toQ(exec.calls[0].second), (QStringList{"input", "kw", "value", "0", "", "", "", "假"}));
    QCOMPARE(Q(exec.calls[1].first), QStringLiteral("填表_取页面源码"));
    QVERIFY(exec.calls[1].second.empty());
}

void TestCore::messagesAreExact()
{
    QCOMPARE(unknownCommandMessage(12), G("第12行：错误，不存在的命令\r\n"));
    QCOMPARE(wrongArgumentCountMessage(3, 14, 0), G("第3行：错误，参数不对，实际需要14个参数，你只提供0个参数\r\n"));
}

void TestCore::scriptLinesLikeTheEditor()
{
    QCOMPARE(toQ(scriptLines("")), QStringList{""});
    QCOMPARE(toQ(scriptLines("a\nb")), (QStringList{"a\r\n", "b"}));
    QCOMPARE(toQ(scriptLines("a\r\nb\r\n")), (QStringList{"a\r\n", "b\r\n", ""}));
    QCOMPARE(toQ(scriptLines("a\rb")), (QStringList{"a\r\n", "b"}));
}

void TestCore::scriptFiles()
{
    const std::string cmd = G("填表_取页面文本()");
    // UTF-8, with or without a byte-order mark; GB18030 when not valid UTF-8.
    QCOMPARE(decodeScriptFile("\xEF\xBB\xBF" + rt::gbToUtf8(cmd)), cmd);
    QCOMPARE(decodeScriptFile(rt::gbToUtf8(cmd)), cmd);
    QCOMPARE(decodeScriptFile(cmd), cmd);
    QCOMPARE(decodeScriptFile(std::string("\x84\x31\x95\x33", 4) + cmd), cmd);  // GB18030 with its mark
    QCOMPARE(decodeScriptFile("abc"), std::string("abc"));
    // GB18030 bytes that happen to contain a UTF-8 lead byte are still GB.
    const std::string gbOnly = G("中文脚本");
    QCOMPARE(decodeScriptFile(gbOnly), gbOnly);

    // The final line break ends the last line; a blank line before it stays.
    QCOMPARE(toQ(scriptFileLines("a\nb\n")), (QStringList{"a\r\n", "b"}));
    QCOMPARE(toQ(scriptFileLines("a\r\nb\r\n")), (QStringList{"a\r\n", "b"}));
    QCOMPARE(toQ(scriptFileLines("a\n\n")), (QStringList{"a\r\n", ""}));
    QCOMPARE(toQ(scriptFileLines("a")), (QStringList{"a"}));
    QCOMPARE(toQ(scriptFileLines("")), (QStringList{""}));
}

void TestCore::integers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("fraction truncates") << "10.9" << 10;
    QTest::newRow("negative toward zero") << "-3.7" << -3;
    QTest::newRow("full-width digits") << "１２" << 12;
    QTest::newRow("full-width sign and space") << "　－５" << -5;
    QTest::newRow("leading white space, trailing junk") << " \t7abc" << 7;
    QTest::newRow("plus") << "+4" << 4;
    QTest::newRow("exponent") << "1.5e3" << 1500;
    QTest::newRow("bare exponent letter") << "3e" << 3;
    QTest::newRow("leading fraction") << ".9" << 0;
    QTest::newRow("no number") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("sign only") << "-" << 0;
    QTest::newRow("hex is not read") << "0x10" << 0;
    QTest::newRow("clamped high") << "99999999999" << 2147483647;
    QTest::newRow("clamped low") << "-1e300" << int(-2147483647 - 1);
    QTest::newRow("huge exponent") << "1e999" << 2147483647;
    QTest::newRow("tiny exponent") << "5e-999" << 0;
    // Literals beyond a double, decided by their decimal magnitude.
    QTest::newRow("huge literal, small exponent")
        << QString("1" + QString(310, '0') + "e-1") << 2147483647;
    QTest::newRow("tiny literal, small exponent") << QString("0." + QString(400, '0') + "1e1") << 0;
    QTest::newRow("huge negative literal") << QString("-1" + QString(320, '0')) << int(-2147483647 - 1);
}

void TestCore::integers()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(argInteger(rt::qstringToGb(text)), value);
}

void TestCore::logicals()
{
    QVERIFY(argLogical(G("真")));
    for (const char* s : {"假", "TRUE", "true", "1", "是", "", " 真", "真真"})
        QVERIFY2(!argLogical(G(s)), s);
}

void TestCore::pinyinTable()
{
    int count = 0;
    for (int lead = 0xB0; lead <= 0xF7; ++lead)
        for (int trail = 0xA1; trail <= 0xFE; ++trail)
            count += pinyinInitial(lead, trail) != 0;
    QCOMPARE(count, 6763);
    const auto initial = [](const char* ch) {
        const std::string b = G(ch);
        return pinyinInitial(b[0], b[1]);
    };
    QCOMPARE(initial("填"), 't');
    QCOMPARE(initial("表"), 'b');
    QCOMPARE(initial("操"), 'c');
    QCOMPARE(initial("作"), 'z');
    QCOMPARE(initial("啊"), 'a');   // first hanzi, B0A1
    QCOMPARE(initial("齄"), 'z');   // last hanzi, F7FE
    QCOMPARE(initial("行"), 'x');   // first reading of a polyphone
    QCOMPARE(initial("嗯"), 'n');   // syllabic n with a tone mark
    QCOMPARE(pinyinInitial(0xD7, 0xFA), 0);  // unassigned end of row D7
    QCOMPARE(pinyinInitial(0xA3, 0xC1), 0);  // full-width A
    QCOMPARE(pinyinInitial(0xF8, 0xA1), 0);  // beyond GB2312 hanzi
}

void TestCore::abbreviations_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<bool>("match");
    const QString qnr = "填表操作_取内容";
    QTest::newRow("initials of a family") << "tbcz" << qnr << false << true;
    QTest::newRow("with underscore") << "tbcz_qnr" << qnr << false << true;
    QTest::newRow("underscore must be typed") << "tbczqnr" << qnr << false << false;
    QTest::newRow("tb_ needs _ right after 填表") << "tb_" << qnr << false << false;
    QTest::newRow("tb_ page family") << "tb_" << "填表_跳转地址" << false << true;
    QTest::newRow("prefix") << "填表" << qnr << false << true;
    QTest::newRow("mixed prefix and initials") << "填bcz" << qnr << false << true;
    QTest::newRow("same length never while typing") << qnr << qnr << false << false;
    QTest::newRow("same text whole") << qnr << qnr << true << true;
    QTest::newRow("whole abbreviation") << "tbcz_qnr" << qnr << true << true;
    QTest::newRow("partial is not whole") << "tbcz_q" << qnr << true << false;
    QTest::newRow("prefix is not whole") << "填表" << qnr << true << false;
    QTest::newRow("a is compared as a byte") << "a" << "啊" << false << false;
    QTest::newRow("letter against ASCII") << "n" << "nb" << false << true;
    QTest::newRow("initial against ASCII") << "tx" << "填x" << false << false;
    QTest::newRow("pattern longer than candidate") << "tbt" << "填表" << false << false;
    QTest::newRow("upper case is a byte") << "T" << qnr << false << false;
    QTest::newRow("internal family") << "nb" << "内部_构造对象代码" << false << true;
}

void TestCore::abbreviations()
{
    QFETCH(QString, pattern);
    QFETCH(QString, candidate);
    QFETCH(bool, whole);
    QFETCH(bool, match);
    QCOMPARE(matchAbbreviation(rt::qstringToGb(pattern), rt::qstringToGb(candidate), whole), match);
}

void TestCore::completionTexts()
{
    QCOMPARE(completionText("f", 0), std::string("f()"));
    QCOMPARE(completionText("f", 1), std::string("f()"));
    QCOMPARE(completionText("f", 7), std::string("f(, , , , , , )"));
    QCOMPARE(completionText("f", 14), "f(" + [] { std::string s; for (int i = 0; i < 13; ++i) s += ", "; return s; }() + ")");
}

// Candidates come in table order with the table's counts; a whole match
// accounts for the whole name.
void TestCore::completionCandidatesFollowTheTable()
{
    const auto listed = [](const std::vector<CompletionCandidate>& found) {
        QStringList out;
        for (const CompletionCandidate& c : found)
            out << Q(c.name) + '/' + QString::number(c.count);
        return out;
    };
    QCOMPARE(listed(completionCandidates(G("填表_取页面"), false)),
             (QStringList{"填表_取页面属性/1", "填表_取页面文本/0", "填表_取页面源码/0"}));
    QCOMPARE(listed(completionCandidates("tb_tzdz", true)), QStringList{"填表_跳转地址/1"});
    QCOMPARE(listed(completionCandidates("tb_tzd", true)), QStringList{});
    QCOMPARE(int(completionCandidates("t", false).size()), 47);
}

QTEST_APPLESS_MAIN(TestCore)
#include "test_core.moc"
