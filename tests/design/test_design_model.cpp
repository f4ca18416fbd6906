// Component list, rule text and style code import.
#include "design/design.h"
#include "design/gbops.h"
#include "design/regex.h"
#include "design/rule.h"
#include "design/stylecode.h"
#include "designtest.h"
#include "fakecanvas.h"
#include "runtime/gbtext.h"
#include "runtime/textcodec.h"

#include <QRegularExpression>
#include <QTest>
#include <QUndoStack>

#include <climits>
#include <random>
#include <set>

using namespace design;
using design::test::FakeCanvas;
using rt::gb;

namespace {


// A rule in the fixed template.
std::string templateRule(const std::string& tag, const std::string& cls, int l, int t, int w, int h,
                         const std::string& extra)
{
    return tag + "." + cls + " {\r\n  position:absolute;\r\n  left:" + std::to_string(l) +
           "px;\r\n  top:" + std::to_string(t) + "px;\r\n  width:" + std::to_string(w) +
           "px;\r\n  height:" + std::to_string(h) + "px;\r\n/* other1 */\r\n" + extra +
           "\r\n/* other2 */\r\n}";
}

void compareGeometry(const BoxGeometry& g, int l, int t, int w, int h)
{
    QCOMPARE(g.left, l);
    QCOMPARE(g.top, t);
    QCOMPARE(g.width, w);
    QCOMPARE(g.height, h);
}

}  // namespace

Q_DECLARE_METATYPE(design::RuleFields)

class TestDesignModel : public QObject {
    Q_OBJECT

    Design d;  // the design under test

private slots:
    void init()
    {
        d.clearComponents();
        d.selection().selectNone();
        d.pendingStyleCode.clear();
    }

    void componentList()
    {
        d.appendComponent("r1", "a", 11);
        d.appendComponent("r2", "b", 22);
        d.appendComponent("r2", "b", 33);  // same rule twice stays two Components
        QCOMPARE(d.componentCount(), 3);
        QCOMPARE(d.findComponentByBox(33), 3);
        QCOMPARE(d.findComponentByBox(0), 0);

        d.removeComponentByBox(99);  // not in the list
        QCOMPARE(d.componentCount(), 3);

        d.removeComponentByBox(22);
        QCOMPARE(d.componentCount(), 2);
        QCOMPARE(d.componentAt(1).boxHandle, BoxHandle(11));
        QCOMPARE(d.componentAt(2).boxHandle, BoxHandle(33));
        QCOMPARE(d.componentAt(2).rule, std::string("r2"));

        // The list keeps its own copy of the texts.
        std::string rule = "mine";
        d.appendComponent(rule, "", 44);
        rule = "changed";
        QCOMPARE(d.componentAt(3).rule, std::string("mine"));

        d.clearComponents();
        QCOMPARE(d.componentCount(), 0);
        QCOMPARE(d.findComponentByBox(11), 0);
        QCOMPARE(d.findComponentByBox(33), 0);
    }

    void createComponentWithBox_()
    {
        FakeCanvas canvas(d);
        const BoxHandle box = d.createComponentWithBox("h1", "title", 5, -7, 300, 40, "color:red;", gb("标题"));
        QVERIFY(box != 0);
        QCOMPARE(d.componentCount(), 1);
        QCOMPARE(d.componentAt(1).boxHandle, box);
        QCOMPARE(d.componentAt(1).rule, templateRule("h", "title", 5, -7, 300, 40, "color:red;"));
        QCOMPARE(d.componentAt(1).innerText, gb("标题"));
        compareGeometry(canvas.geometryOf(box), 5, -7, 300, 40);
        QVERIFY(canvas.isVisible(box));

        const BoxHandle second = d.createComponentWithBox("div", "title", 0, 0, 1, 1, "", "");
        QVERIFY(second != box);
        QCOMPARE(d.findComponentByBox(second), 2);
    }

    void buildRule__data()
    {
        QTest::addColumn<RuleFields>("fields");
        QTest::addColumn<QString>("expected");  // a pattern over the whole rule

        auto all = [](std::string tag, std::string cls, std::string extra) {
            RuleFields f;
            f.tag = tag;
            f.className = cls;
            f.left = 1;
            f.top = 2;
            f.width = 3;
            f.height = 4;
            f.extra = extra;
            return f;
        };
        auto esc = [](const std::string& s) { return QRegularExpression::escape(QString::fromStdString(s)); };

        QTest::newRow("nothing given") << RuleFields{}
                                       << esc("div.") + "Tolvane_[0-9]{4}" +
                                              esc(" {\r\n  position:absolute;\r\n  left:16px;\r\n  top:24px;\r\n"
                                                  "  width:100px;\r\n  height:60px;\r\n/* other1 */\r\n\r\n"
                                                  "/* other2 */\r\n}");
        QTest::newRow("tag keeps letters") << all("H2-title", "x", "") << esc(templateRule("Htitle", "x", 1, 2, 3, 4, ""));
        QTest::newRow("chinese tag empties") << all(gb("标签"), "x", "") << esc(templateRule("", "x", 1, 2, 3, 4, ""));
        QTest::newRow("class unchanged") << all("p", " a b\"", "") << esc(templateRule("p", " a b\"", 1, 2, 3, 4, ""));
        QTest::newRow("extra verbatim") << all("p", "x", "  color:red;\r\n\r\n") << esc(templateRule("p", "x", 1, 2, 3, 4, "  color:red;\r\n\r\n"));
        RuleFields neg = all("p", "x", "");
        neg.left = -5;
        neg.width = INT_MIN;
        QTest::newRow("negative values") << neg << esc(templateRule("p", "x", -5, 2, INT_MIN, 4, ""));
        RuleFields some;
        some.className = "k";
        some.top = 99;
        QTest::newRow("omitted geometry from prototype") << some << esc(templateRule("div", "k", 16, 99, 100, 60, ""));
    }
    void buildRule_()
    {
        QFETCH(RuleFields, fields);
        QFETCH(QString, expected);
        const QString rule = QString::fromStdString(buildRule(fields));
        QVERIFY2(QRegularExpression("\\A" + expected + "\\z").match(rule).hasMatch(), qPrintable(rule));
    }

    void buildRuleReadsThePrototypeOfTheCanvas()
    {
        FakeCanvas canvas(d);
        canvas.prototype = {3, 4, 50, 70};
        RuleFields f;
        f.className = "k";
        QCOMPARE(buildRule(f, d.prototypeGeometry()), templateRule("div", "k", 3, 4, 50, 70, ""));
    }

    void randomInRange_()
    {
        std::set<int> seen;
        for (int i = 0; i < 500; ++i) {
            const int r = randomInRange(0, 9);
            QVERIFY(r >= 0 && r <= 9);
            seen.insert(r);
            const int wide = randomInRange(-5, 5);
            QVERIFY(wide >= -5 && wide <= 5);
        }
        QVERIFY2(seen.size() > 1, "the counter must be read afresh on each call");
        QCOMPARE(randomInRange(7, 7), 7);
        QCOMPARE(randomInRange(INT_MIN, INT_MIN), INT_MIN);
        const int full = randomInRange(INT_MIN, INT_MAX);
        QVERIFY(full >= INT_MIN && full <= INT_MIN + 0x7FFF);  // min + r, r below 2^15
        std::set<std::string> names;
        for (int i = 0; i < 50; ++i) {
            const std::string n = makeDefaultClassName();
            QVERIFY(QRegularExpression("\\ATolvane_[0-9]{4}\\z").match(QString::fromStdString(n)).hasMatch());
            names.insert(n);
        }
        QVERIFY(names.size() > 1);
    }

    void keepLetters__data()
    {
        QTest::addColumn<std::string>("text");
        QTest::addColumn<std::string>("expected");
        QTest::newRow("digit") << std::string("h1") << std::string("h");
        QTest::newRow("dash") << std::string("my-tag") << std::string("mytag");
        QTest::newRow("chinese") << gb("标签") << std::string();
        QTest::newRow("trail byte is a letter") << std::string("\xB0" "a" "b") << std::string("b");  // 癮 then b
        QTest::newRow("four-byte char") << gb("😀x") << std::string("x");
        QTest::newRow("line break before tag") << std::string("\r\n  div") << std::string("div");
        QTest::newRow("empty") << std::string() << std::string();
    }
    void keepLetters_()
    {
        QFETCH(std::string, text);
        QFETCH(std::string, expected);
        QCOMPARE(keepLetters(text), expected);
        // The same as joining the matches of the pattern object.
        RegexObject re;
        re.execute("[a-zA-Z]", text, true);
        std::string joined;
        for (int n = 1; n <= re.matchCount(); ++n)
            joined += re.matchText(n);
        QCOMPARE(joined, expected);
    }

    void textBetween__data()
    {
        QTest::addColumn<std::string>("text");
        QTest::addColumn<std::string>("left");
        QTest::addColumn<std::string>("right");
        QTest::addColumn<std::string>("expected");
        QTest::newRow("plain") << std::string("a[b]c") << std::string("[") << std::string("]") << std::string("b");
        QTest::newRow("first left, first right after it") << std::string("x]a[b]c]") << std::string("[") << std::string("]") << std::string("b");
        QTest::newRow("adjacent markers") << std::string("a[]c") << std::string("[") << std::string("]") << std::string();
        QTest::newRow("no left") << std::string("abc]") << std::string("[") << std::string("]") << std::string();
        QTest::newRow("no right") << std::string("a[bc") << std::string("[") << std::string("]") << std::string();
        QTest::newRow("same marker") << std::string("|ab|cd|") << std::string("|") << std::string("|") << std::string("ab");
        // 亇 is 81 7D: its trail byte is not a closing brace.
        QTest::newRow("trail byte not a marker") << std::string("{a\x81}b}") << std::string("{") << std::string("}") << std::string("a\x81}b");
        QTest::newRow("chinese markers") << gb("开始中间结束") << gb("开始") << gb("结束") << gb("中间");
    }
    void textBetween_()
    {
        QFETCH(std::string, text);
        QFETCH(std::string, left);
        QFETCH(std::string, right);
        QFETCH(std::string, expected);
        QCOMPARE(textBetween(text, left, right), expected);
    }

    void readers_data()
    {
        QTest::addColumn<std::string>("rule");
        QTest::addColumn<QStringList>("expected");  // tag, class, left, top, width, height, extra

        QTest::newRow("template") << templateRule("div", "box", 10, -20, 30, 40, "color:red;")
                                  << QStringList{"div", "box", "10", "-20", "30", "40", "color:red;"};
        QTest::newRow("extra ends in CR LF") << templateRule("p", "b", 1, 2, 3, 4, "x:y;\r\n")
                                             << QStringList{"p", "b", "1", "2", "3", "4", "x:y;\r\n"};
        QTest::newRow("first matching line wins") << templateRule("p", "b", 1, 2, 3, 4, "  top:99px;")
                                                  << QStringList{"p", "b", "1", "2", "3", "4", "  top:99px;"};
        QTest::newRow("no space-brace") << std::string("div.box{\r\n  left:1px;\r\n}")
                                        << QStringList{"div", "", "1", "", "", "", ""};
        QTest::newRow("begins with dot") << std::string(".box {\r\n}") << QStringList{"", "box", "", "", "", "", ""};
        QTest::newRow("no dot") << std::string("body {\r\n  top:3px;\r\n}") << QStringList{"", "", "", "3", "", "", ""};
        QTest::newRow("value forms") << std::string("a.b {\r\n  left: 12px;\r\n    top:12px;\r\nwidth:5px;\r\n  height:7;\r\n}")
                                     << QStringList{"a", "b", " 12", "12", "", "", ""};
        QTest::newRow("tab and name suffix") << std::string("a.b {\r\n\tleft:1px;\r\n  margin-left:5px;\r\n  min-width:6px;\r\n}")
                                             << QStringList{"a", "b", "", "", "", "", ""};
        QTest::newRow("brace in extra cuts body")
            << templateRule("a", "b", 1, 2, 3, 4, "}")
            << QStringList{"a", "b", "1", "2", "3", "4", "}"};
        QTest::newRow("empty value line skipped") << std::string("a.b {\r\n  left:px;\r\n  left:8px;\r\n}")
                                                  << QStringList{"a", "b", "8", "", "", "", ""};
        // 亇 (81 7D) inside the body does not close it; 乸 (81 70) then "x;" is no "px;".
        QTest::newRow("trail bytes") << std::string("a.b {\r\n  x:\x81};\r\n  top:2px;\r\n  left:1\x81px;\r\n}")
                                     << QStringList{"a", "b", "", "2", "", "", ""};
    }
    void readers()
    {
        QFETCH(std::string, rule);
        QFETCH(QStringList, expected);
        const std::string got[] = {readRuleTag(rule),   readRuleClass(rule),  readRuleLeft(rule), readRuleTop(rule),
                                   readRuleWidth(rule), readRuleHeight(rule), readRuleExtra(rule)};
        for (int i = 0; i < 7; ++i)
            QCOMPARE(QString::fromStdString(got[i]), expected[i]);
    }

    void readersStopAtTheFirstClosingBrace()
    {
        // Extra declarations holding "}" hide the lines after it from the geometry readers.
        const std::string rule = "a.b {\r\n  position:absolute;\r\n  left:1px;\r\n/* other1 */\r\nx}\r\n  top:2px;\r\n}";
        QCOMPARE(readRuleLeft(rule), std::string("1"));
        QCOMPARE(readRuleTop(rule), std::string());
    }

    void ruleNumber__data()
    {
        QTest::addColumn<std::string>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("empty") << std::string() << 0;
        QTest::newRow("plain") << std::string("42") << 42;
        QTest::newRow("px suffix") << std::string("12px") << 12;
        QTest::newRow("truncates") << std::string("10.9") << 10;
        QTest::newRow("truncates toward zero") << std::string("-3.7") << -3;
        QTest::newRow("minus zero point") << std::string("-0.9") << 0;
        QTest::newRow("leading white space and plus") << std::string(" \t\r\n+7") << 7;
        QTest::newRow("leading point") << std::string(".5") << 0;
        QTest::newRow("trailing point") << std::string("5.") << 5;
        QTest::newRow("exponent") << std::string("1.5e3") << 1500;
        QTest::newRow("negative exponent") << std::string("1234e-2") << 12;
        QTest::newRow("bare e") << std::string("3e") << 3;
        QTest::newRow("no number") << std::string("px12") << 0;
        QTest::newRow("sign only") << std::string("-") << 0;
        QTest::newRow("hex is not read") << std::string("0x10") << 0;
        QTest::newRow("inf is not read") << std::string("inf") << 0;
        QTest::newRow("comma is no decimal point") << std::string("2,5") << 2;
        QTest::newRow("int max") << std::string("2147483647") << INT_MAX;
        QTest::newRow("above int max") << std::string("99999999999") << INT_MAX;
        QTest::newRow("int min") << std::string("-2147483648") << INT_MIN;
        QTest::newRow("below int min") << std::string("-99999999999") << INT_MIN;
        QTest::newRow("beyond double") << std::string("1e400") << INT_MAX;
        QTest::newRow("beyond double negative") << std::string("-1e400") << INT_MIN;
        QTest::newRow("below double") << std::string("1e-400") << 0;
        QTest::newRow("long digits") << std::string(400, '9') << INT_MAX;
        QTest::newRow("huge literal, small exponent") << "1" + std::string(310, '0') + "e-1" << INT_MAX;
        QTest::newRow("tiny literal, small exponent") << "0." + std::string(400, '0') + "1e1" << 0;
        QTest::newRow("full-width digits") << gb("１２") << 12;
        QTest::newRow("full-width sign and point") << gb("－３．７") << -3;
        QTest::newRow("ideographic space") << gb("　８") << 8;
        QTest::newRow("full-width exponent") << gb("２ｅ２") << 200;
        QTest::newRow("other chinese stops") << gb("5中") << 5;
    }
    void ruleNumber_()
    {
        QFETCH(std::string, text);
        QFETCH(int, expected);
        QCOMPARE(ruleNumber(text), expected);
    }

    void textHelpers_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<std::string>("text");
        QTest::addColumn<std::string>("expected");
        QTest::newRow("trim both ends") << "trim" << std::string("  a b  ") << std::string("a b");
        QTest::newRow("trim keeps tabs and breaks") << "trim" << std::string(" \ta\r\n ") << std::string("\ta\r\n");
        QTest::newRow("trim all spaces") << "trim" << std::string("   ") << std::string();
        QTest::newRow("collapse blank lines") << "collapse" << std::string("a\r\n\r\n\r\nb\r\nc") << std::string("a\r\nb\r\nc");
        QTest::newRow("collapse final CR") << "collapse" << std::string("a\r") << std::string("a\r");
        QTest::newRow("collapse leading breaks") << "collapse" << std::string("\r\n\r\nx") << std::string("\r\nx");
        QTest::newRow("collapse CR CR LF") << "collapse" << std::string("a\r\r\nb") << std::string("a\r\r\nb");
        QTest::newRow("collapse LF only untouched") << "collapse" << std::string("a\n\n\nb") << std::string("a\n\n\nb");
        QTest::newRow("collapse keeps characters whole") << "collapse" << std::string("a\r\n\r") + gb("中") + "b"
                                                          << std::string("a\r\nb");
    }
    void textHelpers()
    {
        QFETCH(QString, op);
        QFETCH(std::string, text);
        QFETCH(std::string, expected);
        QCOMPARE(op == "trim" ? trimSpaces(text) : collapseLineBreaks(text), expected);
    }

    void findText__data()
    {
        QTest::addColumn<std::string>("text");
        QTest::addColumn<std::string>("what");
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("ignoreCase");
        QTest::addColumn<int>("expected");
        QTest::newRow("found") << std::string("abcabc") << std::string("bc") << 0 << false << 2;
        QTest::newRow("from start") << std::string("abcabc") << std::string("bc") << 3 << false << 5;
        QTest::newRow("start one") << std::string("abc") << std::string("a") << 1 << false << 1;
        QTest::newRow("start past end") << std::string("abc") << std::string("a") << 9 << false << -1;
        QTest::newRow("missing") << std::string("abc") << std::string("x") << 0 << false << -1;
        QTest::newRow("empty what") << std::string("abc") << std::string() << 0 << false << -1;
        QTest::newRow("empty text") << std::string() << std::string("a") << 0 << false << -1;
        QTest::newRow("case matters") << std::string("ABC") << std::string("b") << 0 << false << -1;
        QTest::newRow("ignore case") << std::string("ABC") << std::string("b") << 0 << true << 2;
        // A plain byte search: the trail byte of 癮 (B0 61) matches.
        QTest::newRow("matches a trail byte") << std::string("\xB0" "a") << std::string("a") << 0 << false << 2;
    }
    void findText_()
    {
        QFETCH(std::string, text);
        QFETCH(std::string, what);
        QFETCH(int, start);
        QFETCH(bool, ignoreCase);
        QFETCH(int, expected);
        QCOMPARE(findText(text, what, start, ignoreCase), expected);
    }

    void extractExtraDeclarations__data()
    {
        QTest::addColumn<std::string>("rule");
        QTest::addColumn<std::string>("expected");
        QTest::newRow("template drops geometry and markers")
            << templateRule("div", "a", 1, 2, 3, 4, "color:red;\r\n  font-size:12px;  ") << std::string("color:red;\r\nfont-size:12px;\r\n");
        QTest::newRow("empty extra") << templateRule("div", "a", 1, 2, 3, 4, "") << std::string();
        QTest::newRow("names ending in geometry words survive")
            << std::string("a.b {\r\n  margin-left:5px;\r\n  min-width:6px;\r\n  position: absolute;\r\n}")
            << std::string("margin-left:5px;\r\nmin-width:6px;\r\nposition: absolute;\r\n");
        QTest::newRow("line with a geometry declaration dropped whole")
            << std::string("a.b {\r\n  color:red; top:1px;\r\n  left:2px;\r\n}") << std::string();
        QTest::newRow("geometry without indentation dropped")
            << std::string("a.b {\r\nleft:5px;\r\n  TOP:1px;\r\n}") << std::string("TOP:1px;\r\n");
        QTest::newRow("comments") << std::string("a.b {\r\n  color:red; /* c */\r\n  x:/**/y; /*n*/ /*m*/\r\n}")
                                  << std::string("color:red;\r\nx:y; /*n*/ /*m*/\r\n");
        QTest::newRow("only inside the first brace pair")
            << std::string("a.b {\r\n  color:red;\r\n}\r\n  font:x;\r\n}") << std::string("color:red;\r\n");
        QTest::newRow("chinese values") << std::string("a.b {\r\n  font-family:") + gb("微软雅黑") + ";\r\n}"
                                        << std::string("font-family:") + gb("微软雅黑") + ";\r\n";
    }
    void extractExtraDeclarations_()
    {
        QFETCH(std::string, rule);
        QFETCH(std::string, expected);
        QCOMPARE(extractExtraDeclarations(rule), expected);
    }

    void updateComponent_()
    {
        FakeCanvas canvas(d);
        const BoxHandle box = d.createComponentWithBox("p", "k", 10, 20, 30, 40, "color:red;", "hi");
        const int callsBefore = canvas.boxes[box].geometryCalls;

        ComponentUpdate onlyLeft;
        onlyLeft.left = 77;
        d.updateComponent(box, onlyLeft);
        QCOMPARE(d.componentAt(1).rule, templateRule("p", "k", 77, 20, 30, 40, "color:red;"));
        QCOMPARE(d.componentAt(1).innerText, std::string("hi"));
        compareGeometry(canvas.geometryOf(box), 77, 20, 30, 40);
        QCOMPARE(canvas.boxes[box].geometryCalls, callsBefore + 1);
        // The texts not given are handed back as read from the rule.
        QCOMPARE(onlyLeft.tag, std::optional<std::string>("p"));
        QCOMPARE(onlyLeft.className, std::optional<std::string>("k"));
        QCOMPARE(onlyLeft.extra, std::optional<std::string>("color:red;"));
        QCOMPARE(onlyLeft.innerText, std::optional<std::string>("hi"));

        ComponentUpdate extra;
        extra.extra = "x:y;\r\n";
        extra.innerText = gb("新的");
        d.updateComponent(box, extra);
        QCOMPARE(readRuleExtra(d.componentAt(1).rule), std::string("x:y;\r\n"));
        QCOMPARE(d.componentAt(1).innerText, gb("新的"));

        // Nothing given: the rule is rewritten from the template, the tag
        // reduced to letters, lost geometry read as 0, the box put back.
        d.removeComponentByBox(box);
        d.appendComponent("h1.t {\r\n  left:5px;\r\n/* other1 */\r\nz\r\n/* other2 */\r\n}", "", box);
        ComponentUpdate none;
        d.updateComponent(box, none);
        QCOMPARE(d.componentAt(1).rule, templateRule("h", "t", 5, 0, 0, 0, "z"));
        compareGeometry(canvas.geometryOf(box), 5, 0, 0, 0);
    }

    void updateComponentIgnoresUnknownHandles()
    {
        FakeCanvas canvas(d);
        d.createComponentWithBox("p", "k", 1, 2, 3, 4, "", "");
        const std::string before = d.componentAt(1).rule;
        const int calls = canvas.geometryCalls;
        for (BoxHandle h : {BoxHandle(0), BoxHandle(12345)}) {
            ComponentUpdate u;
            u.left = 9;
            d.updateComponent(h, u);
            QVERIFY(!u.tag);  // nothing read, nothing handed back
        }
        QCOMPARE(d.componentAt(1).rule, before);
        QCOMPARE(canvas.geometryCalls, calls);
    }

    void importStyleCode__data()
    {
        QTest::addColumn<std::string>("code");
        QTest::addColumn<std::string>("expectedRule");
        const std::string ex = "color:blue;\r\n";  // extra declarations before the import
        QTest::newRow("id selector, width only")
            << std::string("#box {\r\n  width: 50px;\r\n}") << templateRule("div", "box", 1, 2, 50, 4, ex);
        QTest::newRow("extra declarations replace")
            << std::string("div.card {\r\n  left:5px;\r\n  color:red;\r\n\r\n  font-size:12px;\r\n}")
            << templateRule("div", "card", 5, 2, 3, 4, "color:red;\r\nfont-size:12px;\r\n");
        QTest::newRow("four-space indentation")
            << std::string("span.s {\r\n    left: 10px;\r\n    top: 20px;\r\n    width: 120px;\r\n    height: 40px;\r\n}")
            << templateRule("span", "s", 10, 20, 120, 40, ex);
        QTest::newRow("no tag") << std::string(".card {\r\n}") << templateRule("", "card", 1, 2, 3, 4, ex);
        QTest::newRow("no space before brace") << std::string("div.card{\r\n  left:9px;\r\n}")
                                               << templateRule("div", "", 9, 2, 3, 4, ex);
        // " left:" at the start of a line marks it as geometry: dropped from the extra too.
        QTest::newRow("no indentation keeps geometry") << std::string("div.c {\r\nleft:9px;\r\n}")
                                                       << templateRule("div", "c", 1, 2, 3, 4, ex);
        QTest::newRow("leading blank lines before tag") << std::string("\r\n\r\n  h2.t {\r\n  top:7px;\r\n}")
                                                        << templateRule("h", "t", 1, 7, 3, 4, ex);
        QTest::newRow("only the first rule counts")
            << std::string("a.x {\r\n  top:7px;\r\n}\r\nb.y {\r\n  left:8px;\r\n}") << templateRule("a", "x", 1, 7, 3, 4, ex);
        QTest::newRow("no markers at all") << std::string("hello") << templateRule("", "", 1, 2, 3, 4, ex);
        QTest::newRow("full-width geometry") << std::string("p.q {\r\n  width:") + gb("１２") + "px;\r\n}"
                                             << templateRule("p", "q", 1, 2, 12, 4, ex);
    }
    void importStyleCode_()
    {
        QFETCH(std::string, code);
        QFETCH(std::string, expectedRule);
        FakeCanvas canvas(d);
        d.createComponentWithBox("p", "other", 0, 0, 0, 0, "", "");
        d.selection().selectOnly(d.createComponentWithBox("em", "old", 1, 2, 3, 4, "color:blue;\r\n", gb("内容")));
        d.importStyleCode(code);
        QCOMPARE(d.componentAt(2).rule, expectedRule);
        QCOMPARE(d.componentAt(2).innerText, gb("内容"));
        QCOMPARE(d.componentAt(1).rule, templateRule("p", "other", 0, 0, 0, 0, ""));
        const int l = ruleNumber(readRuleLeft(expectedRule)), t = ruleNumber(readRuleTop(expectedRule));
        const int w = ruleNumber(readRuleWidth(expectedRule)), h = ruleNumber(readRuleHeight(expectedRule));
        compareGeometry(canvas.geometryOf(d.selectedBox()), l, t, w, h);
    }

    void importStyleCodeWithoutSelection()
    {
        FakeCanvas canvas(d);
        const BoxHandle box = d.createComponentWithBox("p", "k", 1, 2, 3, 4, "", "x");
        const std::string before = d.componentAt(1).rule;
        for (BoxHandle sel : {BoxHandle(0), BoxHandle(box + 100)}) {
            d.selection().selectOnly(sel);
            d.importStyleCode("div.n {\r\n  left:5px;\r\n}");
            QCOMPARE(d.componentAt(1).rule, before);
        }
    }

    // The one selection object: what each change leaves, and that it
    // announces a change, with what was there before, only when there is one.
    void selectionChanges_data()
    {
        using Boxes = std::vector<BoxHandle>;
        QTest::addColumn<Boxes>("start");
        QTest::addColumn<QString>("op");
        QTest::addColumn<Boxes>("args");
        QTest::addColumn<Boxes>("expected");
        QTest::addColumn<bool>("announced");
        QTest::newRow("handle 0 and repeats dropped, the last place counts")
            << Boxes{} << "set" << Boxes{3, 0, 5, 3} << Boxes{5, 3} << true;
        QTest::newRow("the same boxes again") << Boxes{3, 5} << "set" << Boxes{3, 5} << Boxes{3, 5} << false;
        QTest::newRow("another order") << Boxes{3, 5} << "set" << Boxes{5, 3} << Boxes{5, 3} << true;
        QTest::newRow("only 0 is none") << Boxes{3, 5} << "only" << Boxes{0} << Boxes{} << true;
        QTest::newRow("only the only one") << Boxes{3} << "only" << Boxes{3} << Boxes{3} << false;
        QTest::newRow("toggle in") << Boxes{3} << "toggle" << Boxes{5} << Boxes{3, 5} << true;
        QTest::newRow("toggle out") << Boxes{3, 5} << "toggle" << Boxes{3} << Boxes{5} << true;
        QTest::newRow("made last") << Boxes{3, 5, 7} << "last" << Boxes{5} << Boxes{3, 7, 5} << true;
        QTest::newRow("already last") << Boxes{3, 5} << "last" << Boxes{5} << Boxes{3, 5} << false;
    }
    void selectionChanges()
    {
        using Boxes = std::vector<BoxHandle>;
        QFETCH(Boxes, start);
        QFETCH(QString, op);
        QFETCH(Boxes, args);
        QFETCH(Boxes, expected);
        QFETCH(bool, announced);
        Selection& s = d.selection();
        s.setBoxes(start);
        std::vector<Boxes> previous;
        const auto watch = connect(&s, &Selection::changed, this, [&](const Boxes& p) { previous.push_back(p); });
        if (op == QLatin1String("set"))
            s.setBoxes(args);
        else if (op == QLatin1String("only"))
            s.selectOnly(args.front());
        else if (op == QLatin1String("toggle"))
            s.toggle(args.front());
        else
            s.makeLast(args.front());
        disconnect(watch);
        QCOMPARE(s.boxes(), expected);
        QCOMPARE(d.selectedBox(), expected.empty() ? BoxHandle(0) : expected.back());
        QCOMPARE(s.onlyBox(), expected.size() == 1 ? expected.front() : BoxHandle(0));
        for (BoxHandle b : {3u, 5u, 7u})
            QCOMPARE(s.contains(b), std::find(expected.begin(), expected.end(), b) != expected.end());
        QCOMPARE(previous, announced ? std::vector<Boxes>{start} : std::vector<Boxes>{});
    }

    // Undo and redo leave the boxes of the step selected, the last of them
    // selectedBox, before they tell the window; a box the step took away is
    // not selected.
    void undoAndRedoRestoreTheSelection()
    {
        FakeCanvas canvas(d);
        const BoxHandle a = d.createComponentWithBox("div", "a", 1, 2, 3, 4, "", "");
        const BoxHandle b = d.createComponentWithBox("div", "b", 1, 2, 3, 4, "", "");
        const BoxHandle c = d.createComponentWithBox("div", "c", 1, 2, 3, 4, "", "");
        {
            StepScope step(d, QStringLiteral("edit"));
            for (BoxHandle box : {b, a}) {
                ComponentUpdate u;
                u.left = 50;
                d.updateComponent(box, u);
            }
        }
        d.selection().selectOnly(c);
        std::vector<std::vector<BoxHandle>> seen;
        connect(&d, &Design::selectionRestored, this, [&] { seen.push_back(d.selection().boxes()); });

        d.undoStack()->undo();
        QCOMPARE(d.selection().boxes(), (std::vector<BoxHandle>{a, b}));  // list order
        QCOMPARE(d.selectedBox(), b);
        d.selection().selectOnly(c);
        d.undoStack()->redo();
        QCOMPARE(d.selection().boxes(), (std::vector<BoxHandle>{a, b}));
        d.undoStack()->undo();
        d.undoStack()->undo();  // the third box goes
        QVERIFY(d.selection().empty());
        QCOMPARE(d.selectedBox(), BoxHandle(0));
        QCOMPARE(seen, (std::vector<std::vector<BoxHandle>>{{a, b}, {a, b}, {a, b}, {}}));
        d.disconnect(this);
    }
};

QTEST_GUILESS_MAIN(TestDesignModel)
#include "test_design_model.moc"
