// What typing and pasting may bring into a design, and that a saved page
// reads back to the same page.
#include "design/design.h"
#include "design/document.h"
#include "design/entrycheck.h"
#include "design/import.h"
#include "design/rule.h"
#include "design/stylecode.h"
#include "designtest.h"
#include "fakecanvas.h"
#include "runtime/fileio.h"
#include "runtime/textcodec.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace design;
using design::test::FakeCanvas;

namespace {

std::string withNul(std::string_view a, std::string_view b)
{
    std::string s(a);
    s += '\0';
    s += b;
    return s;
}

// The page bytes as saved.
std::string savedBytes(const QString& path)
{
    return rt::readWholeFile(path).value_or(std::string());
}

}  // namespace

class TestDesignEntry : public QObject {
    Q_OBJECT

    std::unique_ptr<Design> dp;
    Design& d() { return *dp; }

private slots:
    void init() { dp = std::make_unique<Design>(); }
    void cleanup() { dp.reset(); }

    void refusals_data()
    {
        QTest::addColumn<std::string>("tag");
        QTest::addColumn<std::string>("className");
        QTest::addColumn<bool>("tagRefused");
        QTest::addColumn<bool>("classRefused");
        QTest::newRow("ordinary") << std::string("div") << std::string("card-1") << false << false;
        QTest::newRow("body") << std::string("body") << std::string("a") << true << false;
        QTest::newRow("html in capitals") << std::string("HTML") << std::string("a") << true << false;
        QTest::newRow("head with non-letters") << std::string("he-ad1") << std::string("a") << true << false;
        QTest::newRow("longer tag holding body") << std::string("tbody") << std::string("a") << false << false;
        QTest::newRow("brace in class") << std::string("p") << std::string("a{b") << false << true;
        QTest::newRow("closing brace") << std::string("p") << std::string("a}") << false << true;
        QTest::newRow("angle bracket") << std::string("p") << std::string("b\">") << false << true;
        QTest::newRow("less-than") << std::string("p") << std::string("a<b") << false << true;
        QTest::newRow("line break") << std::string("p") << std::string("a\r\nb") << false << true;
        QTest::newRow("chinese class") << std::string("p") << rt::gb("标题") << false << false;
    }
    void refusals()
    {
        QFETCH(std::string, tag);
        QFETCH(std::string, className);
        QFETCH(bool, tagRefused);
        QFETCH(bool, classRefused);
        QCOMPARE(!tagRefusal(tag).empty(), tagRefused);
        QCOMPARE(!classNameRefusal(className).empty(), classRefused);

        // A refused field stays as it was; the other one is applied.
        FakeCanvas canvas(d());
        const BoxHandle box = d().createComponentWithBox("div", "old", 1, 2, 3, 4, "", "in");
        ComponentUpdate u;
        u.tag = tag;
        u.className = className;
        const std::string message = checkUpdate(u);
        QCOMPARE(message.empty(), !tagRefused && !classRefused);
        d().updateComponent(box, u);
        const std::string rule = d().componentAt(1).rule;
        QCOMPARE(readRuleTag(rule), tagRefused ? std::string("div") : keepLetters(tag));
        QCOMPARE(readRuleClass(rule), classRefused ? std::string("old") : className);
    }

    // Extra declarations holding the style block's end tag are refused at
    // the panel; anything short of that tag passes and reads back the same.
    void extraHoldingTheStyleEnd_data()
    {
        QTest::addColumn<std::string>("extra");
        QTest::addColumn<bool>("refused");
        QTest::newRow("in a comment") << std::string("/* </style> */\r\ncolor:red;") << true;
        QTest::newRow("any case, no closing bracket") << std::string("content:\"</StYlE\";") << true;
        QTest::newRow("after chinese text") << rt::gb("/* 注 */ a:1;</style>") << true;
        QTest::newRow("space inside the tag") << std::string("content:\"< /style>\";") << false;
        QTest::newRow("other end tag") << std::string("content:\"</styl\";") << false;
    }
    void extraHoldingTheStyleEnd()
    {
        QFETCH(std::string, extra);
        QFETCH(bool, refused);
        QCOMPARE(!extraRefusal(extra).empty(), refused);
        FakeCanvas canvas(d());
        const BoxHandle a = d().createComponentWithBox("div", "a", 1, 2, 3, 4, "keep:1;", "first");
        d().createComponentWithBox("div", "b", 5, 6, 7, 8, "", "second");
        ComponentUpdate u;
        u.extra = extra;
        QCOMPARE(checkUpdate(u).empty(), !refused);
        d().updateComponent(a, u);
        QCOMPARE(readRuleExtra(d().componentAt(1).rule), refused ? std::string("keep:1;") : extra);

        // Whatever was kept reads back as two Components with their texts.
        const std::string doc = d().generateDocument();
        d().parseDocument(doc);
        QCOMPARE(d().componentCount(), 2);
        QCOMPARE(d().componentAt(1).innerText, std::string("first"));
        QCOMPARE(d().componentAt(2).innerText, std::string("second"));
        QCOMPARE(readRuleClass(d().componentAt(2).rule), std::string("b"));
    }

    void nulsNeverEnterADesign()
    {
        FakeCanvas canvas(d());
        QTemporaryDir dir;
        const QString path = dir.filePath("nul.html");
        const BoxHandle box = d().createComponentWithBox("div", "a", 0, 0, 10, 10, "", "");
        ComponentUpdate u;
        u.extra = withNul("color:", "red;");
        u.innerText = withNul("x", "y");
        QVERIFY(!checkUpdate(u).empty());
        d().updateComponent(box, u);
        QVERIFY(d().saveDocumentTo(path).ok);
        QVERIFY(savedBytes(path).find('\0') == std::string::npos);

        d().importDocumentFrom(path);
        QCOMPARE(d().componentCount(), 1);
        QCOMPARE(readRuleExtra(d().componentAt(1).rule), std::string("color:red;\r\n"));
        QCOMPARE(d().componentAt(1).innerText, std::string("xy"));
    }

    void styleCodeImport_data()
    {
        QTest::addColumn<std::string>("code");
        QTest::addColumn<std::string>("tag");
        QTest::addColumn<std::string>("className");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("width");
        QTest::addColumn<std::string>("extra");
        QTest::addColumn<bool>("told");

        // The Component starts as div.old at left 1, width 3, extra "keep:1;".
        QTest::newRow("one rule, nothing to say")
            << std::string("div.card {\r\n  left:5px;\r\n  color:red;\r\n}\r\n") << std::string("div")
            << std::string("card") << 5 << 3 << std::string("color:red;\r\n") << false;
        QTest::newRow("two rules: the first is applied")
            << std::string("div.a {\r\n  left:5px;\r\n}\r\ndiv.b {\r\n  left:9px;\r\n  width:7px;\r\n}")
            << std::string("div") << std::string("a") << 5 << 3 << std::string("keep:1;") << true;
        // A first rule without " {": its class reads empty instead of running
        // into the second rule, and the geometry stays readable.
        QTest::newRow("two rules, the first without a space")
            << std::string(".a{color:red}\r\ndiv.card {\r\n  left: 10px;\r\n  width:20px;\r\n}") << std::string()
            << std::string() << 1 << 3 << std::string("color:red\r\n") << true;
        QTest::newRow("NUL removed") << withNul("div.n {\r\n  co", "lor:red;\r\n}") << std::string("div")
                                     << std::string("n") << 1 << 3 << std::string("color:red;\r\n") << true;
        QTest::newRow("body tag refused") << std::string("body.x {\r\n  left:8px;\r\n}") << std::string("div")
                                          << std::string("old") << 1 << 3 << std::string("keep:1;") << true;
        QTest::newRow("quote in class refused") << std::string("div.a\"b {\r\n  left:8px;\r\n}") << std::string("div")
                                                << std::string("old") << 1 << 3 << std::string("keep:1;") << true;
        QTest::newRow("style end in a comment refused")
            << std::string("div.s {\r\n  left:8px;\r\n  /* </style> */ color:red;\r\n}") << std::string("div")
            << std::string("old") << 1 << 3 << std::string("keep:1;") << true;
        QTest::newRow("style end in capitals refused")
            << std::string("div.s {\r\n  left:8px;\r\n  content:\"</STYLE \";\r\n}") << std::string("div")
            << std::string("old") << 1 << 3 << std::string("keep:1;") << true;
        QTest::newRow("only white space after the rule")
            << std::string("#box {\r\n  width:50px;\r\n}\r\n \t\r\n") << std::string("div") << std::string("box") << 1
            << 50 << std::string("keep:1;") << false;
    }
    void styleCodeImport()
    {
        QFETCH(std::string, code);
        QFETCH(std::string, tag);
        QFETCH(std::string, className);
        QFETCH(int, left);
        QFETCH(int, width);
        QFETCH(std::string, extra);
        QFETCH(bool, told);

        FakeCanvas canvas(d());
        d().selection().selectOnly(d().createComponentWithBox("div", "old", 1, 2, 3, 4, "keep:1;", "inner"));
        QCOMPARE(d().importCheckedStyleCode(code).empty(), !told);
        const std::string rule = d().componentAt(1).rule;
        QCOMPARE(readRuleTag(rule), tag);
        QCOMPARE(readRuleClass(rule), className);
        QCOMPARE(ruleNumber(readRuleLeft(rule)), left);
        QCOMPARE(ruleNumber(readRuleWidth(rule)), width);
        QCOMPARE(readRuleExtra(rule), extra);
        QCOMPARE(d().componentAt(1).innerText, std::string("inner"));

        // The rule still states the box's geometry, so the next edit keeps it.
        ComponentUpdate move;
        move.top = 40;
        d().updateComponent(d().selectedBox(), move);
        const BoxGeometry g = canvas.geometryOf(d().selectedBox());
        QCOMPARE(g.left, left);
        QCOMPARE(g.width, width);
        QCOMPARE(g.height, 4);
    }

    // Components as a page from elsewhere can bring them: after one reading,
    // saving and reading again gives the same bytes.
    void saveReadSaveIsStable_data()
    {
        QTest::addColumn<std::string>("className");
        QTest::addColumn<std::string>("extra");
        QTest::addColumn<std::string>("innerText");
        QTest::newRow("two comments in a line")
            << std::string("a") << std::string("/* x */color:red;/* y */") << std::string("t");
        QTest::newRow("comment after a declaration")
            << std::string("a") << std::string("color:red; /* brand */\r\n/* alone */") << std::string("t");
        QTest::newRow("brace in the class") << std::string("a{b") << std::string("color:red;") << std::string("t");
        QTest::newRow("angle bracket in the class") << std::string("b\">") << std::string() << std::string("inner");
        QTest::newRow("both") << std::string("x{y>z") << std::string("/*c*/ margin:0;") << std::string("in");
        // The brace cuts the rule on the first reading; removing the comment
        // then joins the CR and LF around it into a line break.
        QTest::newRow("comment between CR and LF, brace in the extra")
            << std::string("a") << std::string("\r/* c */\nb:2;} x") << std::string("t");
        QTest::newRow("NUL-free chinese") << rt::gb("类") << rt::gb("font-family:宋体; /* 注 */") << rt::gb("文");
    }
    void saveReadSaveIsStable()
    {
        QFETCH(std::string, className);
        QFETCH(std::string, extra);
        QFETCH(std::string, innerText);
        FakeCanvas canvas(d());
        QTemporaryDir dir;
        const QString path = dir.filePath("page.html");
        d().createComponentWithBox("div", className, 1, 2, 3, 4, extra, innerText);
        d().createComponentWithBox("p", "next", 5, 6, 7, 8, "", "second");

        std::string saves[3];
        for (std::string& bytes : saves) {
            QVERIFY(d().saveDocumentTo(path).ok);
            bytes = savedBytes(path);
            d().importDocumentFrom(path);
        }
        QCOMPARE(saves[2], saves[1]);
        QCOMPARE(d().componentCount(), 2);
        QCOMPARE(readRuleClass(d().componentAt(1).rule), className);
        QCOMPARE(d().componentAt(1).innerText, innerText);
        QCOMPARE(d().componentAt(2).innerText, std::string("second"));
    }
};

QTEST_GUILESS_MAIN(TestDesignEntry)
#include "test_design_entry.moc"
