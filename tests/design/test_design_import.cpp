// Page import: what documents give back, bad input, and the indexed reader
// against the line-by-line reference.
#include "design/design.h"
#include "design/document.h"
#include "design/import.h"
#include "design/readreport.h"
#include "design/rule.h"
#include "designtest.h"
#include "fakecanvas.h"
#include "runtime/fileio.h"
#include "runtime/textcodec.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <random>

using namespace design;
using namespace design::test;
using rt::gb;

namespace {


std::string page(const std::string& style, const std::string& body) { return kHead + style + kStyleEnd + body + kEnd; }

// One Component as "tag|class|left|top|width|height|extra|inner", the tag as
// its rule holds it.
QString describe(const Component& c)
{
    const std::string& r = c.rule;
    return QStringList{rt::gbToQString(readRuleTag(r)),  rt::gbToQString(readRuleClass(r)),
                       QString::fromStdString(readRuleLeft(r)), QString::fromStdString(readRuleTop(r)),
                       QString::fromStdString(readRuleWidth(r)), QString::fromStdString(readRuleHeight(r)),
                       rt::gbToQString(readRuleExtra(r)),  rt::gbToQString(c.innerText)}
        .join('|');
}

QStringList currentDesign(const Design& d)
{
    QStringList out;
    for (const Component& c : d.components())
        out << describe(c);
    return out;
}

// Names, sizes and modification times of everything in a folder.
QStringList snapshot(const QString& dir)
{
    QStringList out;
    for (const QFileInfo& fi : QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        out << fi.fileName() + ' ' + QString::number(fi.size()) + ' ' +
                   fi.lastModified().toString(Qt::ISODateWithMs);
    return out;
}

}  // namespace

class TestDesignImport : public QObject {
    Q_OBJECT

    Design d;  // the design under test

private slots:
    void init()
    {
        d.clearComponents();
        d.selection().selectNone();
    }

    void documents_data()
    {
        QTest::addColumn<std::string>("doc");
        QTest::addColumn<QStringList>("expected");

        const std::string a = "div.a {\r\n  position:absolute;\r\n  left:1px;\r\n  top:2px;\r\n  width:3px;\r\n  height:4px;\r\n}";
        QTest::newRow("pseudo-class rule skipped")
            << page("div.x:hover {\r\n  color:red;\r\n}\r\ndiv.x {\r\n  left:5px;\r\n}\r\n", "  <div class= \"x\">in</div>\r\n")
            << QStringList{"div|x|5|0|0|0||in"};
        QTest::newRow("same class twice takes the first line")
            << page(a + "\r\n" + a + "\r\n", "  <div class= \"a\">one</div>\r\n  <div class= \"a\">two</div>\r\n")
            << QStringList{"div|a|1|2|3|4||one", "div|a|1|2|3|4||one"};
        QTest::newRow("inner text across lines and with a closing tag")
            << page("p.m {\r\n}\r\np.b {\r\n}\r\n", "  <p class= \"m\">x\r\ny</p>\r\n  <p class= \"b\"><b>bold</b> text</p>\r\n")
            << QStringList{"p|m|0|0|0|0||", "p|b|0|0|0|0||<b>bold"};
        QTest::newRow("rule without element after one with")
            << page("p.a {\r\n}\r\np.z {\r\n}\r\n", "  <p class= \"a\">x</p>\r\n") << QStringList{"p|a|0|0|0|0||x", "p|z|0|0|0|0||"};
        QTest::newRow("class must be the whole quoted value")
            << page("i.a {\r\n}\r\n", "  <i class= \"ab\">no</i>\r\n  <i  class = \"a\" >yes</i>\r\n") << QStringList{"i|a|0|0|0|0||yes"};
        QTest::newRow("line with several class attributes")
            << page("i.a {\r\n}\r\n", "  <b class=\"z\"><i class=\"a\">in</i></b>\r\n") << QStringList{"i|a|0|0|0|0||<i class=\"a\">in"};
        QTest::newRow("pieces without a brace, a rule without a dot")
            << page("junk}body {\r\n  line-height:1.5em;\r\n  top:3px;\r\n}\r\n", "") << QStringList{"bodylineheight||0|3|0|0|line-height:1.5em;\r\n|"};
        QTest::newRow("extra declarations trimmed, comments dropped")
            << page("div.e {\r\n  position:absolute;\r\n  left:1px;\r\n/* other1 */\r\n   color:red;  \r\n\r\n  margin-left:2px;\r\n/* other2 */\r\n}\r\n", "")
            << QStringList{"div|e|1|0|0|0|color:red;\r\nmargin-left:2px;\r\n|"};
        QTest::newRow("geometry written otherwise reads 0")
            << page("div.g {\r\nleft:1px;\r\n  top: 2px;\r\n  width:3em;\r\n  height:\t4px;\r\n}\r\n", "")
            << QStringList{"div|g|0|2|0|4||"};  // atof skips the tab
        QTest::newRow("empty class name finds its empty attribute")
            << page(".  {\r\n}\r\ndiv. {\r\n}\r\n", "  <div class= \"x\">no</div>\r\n  <div class= \"\">yes</div>\r\n")
            << QStringList{"| |0|0|0|0||", "div||0|0|0|0||yes"};
        // 亇 (81 7D) holds a trail byte equal to "}": no cut there.
        QTest::newRow("trail byte is no closing brace")
            << page("div.c {\r\n  content:\"\x81}\";\r\n  left:7px;\r\n}\r\n", "  <div class= \"c\">\x81}</div>\r\n")
            << QStringList{"div|c|7|0|0|0|content:\"" + QString::fromUtf8("亇") + "\";\r\n|" + QString::fromUtf8("亇")};
        // Without CR LF the body is one line and the style body one line too.
        QTest::newRow("line feeds only")
            << std::string("<style>\ndiv.a {\n  left:1px;\n}\ndiv.b {\n}\n</style><body>\n<div class=\"b\">B</div>\n<div class=\"a\">A</div>\n</body>")
            << QStringList{"div|a|1|0|0|0||B", "div|b|0|0|0|0|\n\r\n|B"};
        QTest::newRow("not a page") << std::string("hello {world}") << QStringList{};
        QTest::newRow("style without body") << std::string("<style>p.q {\r\n  top:1px;\r\n}</style>") << QStringList{"p|q|0|1|0|0||"};
        QTest::newRow("empty") << std::string() << QStringList{};
    }
    void documents()
    {
        QFETCH(std::string, doc);
        QFETCH(QStringList, expected);
        FakeCanvas canvas(d);
        const BoxHandle old = d.createComponentWithBox("div", "old", 0, 0, 1, 1, "", "");
        d.selection().selectOnly(old);
        d.parseDocument(doc);
        QCOMPARE(currentDesign(d), expected);
        QCOMPARE(canvas.destroyed, std::vector<BoxHandle>{old});
        QCOMPARE(d.selectedBox(), old);  // left as it was, naming no Component now
        QCOMPARE(d.findComponentByBox(old), 0);
        for (const Component& c : d.components()) {
            QVERIFY(canvas.isVisible(c.boxHandle));
            const BoxGeometry g = canvas.geometryOf(c.boxHandle);
            QCOMPARE(g.left, ruleNumber(readRuleLeft(c.rule)));
            QCOMPARE(g.height, ruleNumber(readRuleHeight(c.rule)));
        }
        QCOMPARE(detail::readDocument(doc), detail::readDocumentReference(doc));
    }

    void lineCarriesClass_data()
    {
        QTest::addColumn<std::string>("line");
        QTest::addColumn<std::string>("cls");
        QTest::addColumn<bool>("expected");
        QTest::newRow("designer's form") << std::string("  <div class= \"a\">x</div>") << std::string("a") << true;
        QTest::newRow("longer value") << std::string("  <div class= \"ab\">x</div>") << std::string("a") << false;
        QTest::newRow("spaces anywhere") << std::string("<p c l a s s =  \"a b\">") << std::string("a b") << true;
        QTest::newRow("no quotes") << std::string("<p class=a>") << std::string("a") << false;
        QTest::newRow("tab not removed") << std::string("<p class=\t\"a\">") << std::string("a") << false;
        QTest::newRow("quote in class") << std::string("<p class=\"a\"b\">") << std::string("a\"b") << true;
        QTest::newRow("empty class") << std::string("<p class=\"\">") << std::string() << true;
        QTest::newRow("empty class, other value") << std::string("<p class=\"x\">") << std::string() << false;
        QTest::newRow("marker spelled in the line") << std::string("<p class=sjjgklsheguskuef>ab") << std::string("b") << true;
        QTest::newRow("class elsewhere in the line") << std::string("<p class=\"x\" title=\"a\">") << std::string("a") << false;
        // A space removed between 81 and "c" joins them into one character.
        QTest::newRow("merged character") << std::string("<p \x81 class=\"a\">") << std::string("a") << false;
    }
    void lineCarriesClass()
    {
        QFETCH(std::string, line);
        QFETCH(std::string, cls);
        QFETCH(bool, expected);
        QCOMPARE(detail::lineCarriesClass(line, cls), expected);
        // The indexed reader agrees on a page made of this one line.
        const std::string doc = "<style>p." + cls + " {\r\n}</style><body>" + line + "</body>";
        QCOMPARE(detail::readDocument(doc), detail::readDocumentReference(doc));
        QCOMPARE(detail::readDocument(doc).size(), size_t(1));
    }

    void roundTrip()
    {
        FakeCanvas canvas(d);
        QTemporaryDir dir;
        const QString path = dir.filePath("design.html");
        d.createComponentWithBox("div", gb("标题"), 10, 20, 300, 40, gb("font-family:宋体;\r\ncolor:#333;\r\n"), gb("你好，世界😀"));
        d.createComponentWithBox("span", "s-1", -5, 0, 1, 2, "", "a <b>bold & y");
        d.createComponentWithBox("p", "Tolvane_0042", 7, 8, 9, 10, gb("content:\"𠀀\";\r\n"), "");
        const ComponentList saved = d.components();
        QVERIFY(d.saveDocumentTo(path).ok);

        d.importDocumentFrom(path);
        QCOMPARE(d.componentCount(), int(saved.size()));
        for (int i = 1; i <= d.componentCount(); ++i) {
            QCOMPARE(d.componentAt(i).rule, saved[size_t(i - 1)].rule);
            QCOMPARE(d.componentAt(i).innerText, saved[size_t(i - 1)].innerText);
            const Component& c = d.componentAt(i);
            const BoxGeometry g = canvas.geometryOf(c.boxHandle);
            QCOMPARE(g.left, ruleNumber(readRuleLeft(c.rule)));
            QCOMPARE(g.top, ruleNumber(readRuleTop(c.rule)));
            QCOMPARE(g.width, ruleNumber(readRuleWidth(c.rule)));
            QCOMPARE(g.height, ruleNumber(readRuleHeight(c.rule)));
        }
    }

    // Extra declarations that spell a body line stay inside the style block:
    // the body is looked for after it, so inner texts read back unchanged and
    // the read report counts the real body only.
    void bodyIsFoundAfterTheStyleBlock_data()
    {
        QTest::addColumn<std::string>("extra");
        QTest::newRow("a whole body") << std::string("<body>\r\n  <div class= \"a\">fake</div>\r\n</body>");
        QTest::newRow("body opened only") << std::string("/* <body> */\r\n  <div class= \"b\">fake</div>");
        QTest::newRow("in one line") << std::string("content:\"<body>  <div class= \\\"a\\\">x</div>\";");
    }
    void bodyIsFoundAfterTheStyleBlock()
    {
        QFETCH(std::string, extra);
        FakeCanvas canvas(d);
        d.createComponentWithBox("div", "a", 1, 2, 3, 4, extra, "real a");
        d.createComponentWithBox("div", "b", 5, 6, 7, 8, "", "real b");
        const std::string doc = d.generateDocument();
        d.parseDocument(doc);
        QCOMPARE(d.componentCount(), 2);
        QCOMPARE(d.componentAt(1).innerText, std::string("real a"));
        QCOMPARE(d.componentAt(2).innerText, std::string("real b"));
        const LeftOut left = leftOutOf(doc, d.components());
        QCOMPARE(left.elements, 0);
        QCOMPARE(left.rules, 0);
        QCOMPARE(detail::readDocument(doc), detail::readDocumentReference(doc));
    }

    void typedExtraGainsOneLineBreakOnce()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("p.html");
        d.createComponentWithBox("div", "a", 0, 0, 1, 1, "  color:red;\r\n\r\n  top-x:1;", "");
        QVERIFY(d.saveDocumentTo(path).ok);
        d.importDocumentFrom(path);
        QCOMPARE(readRuleExtra(d.componentAt(1).rule), std::string("color:red;\r\ntop-x:1;\r\n"));
        const std::string once = d.componentAt(1).rule;
        QVERIFY(d.saveDocumentTo(path).ok);
        d.importDocumentFrom(path);
        QCOMPARE(d.componentAt(1).rule, once);
    }

    void badInput_data()
    {
        QTest::addColumn<std::string>("bytes");
        QTest::addColumn<QStringList>("expected");

        const std::string one = "div.a {\r\n  left:1px;\r\n}\r\n";
        const std::string good = page(one + "p.b {\r\n}\r\n", "  <div class= \"a\">A</div>\r\n  <p class= \"b\">" + rt::gbToUtf8(gb("乙")) + "</p>\r\n");
        const QStringList goodDesign{"div|a|1|0|0|0||A", "p|b|0|0|0|0||" + QString::fromUtf8("乙")};

        QTest::newRow("empty file") << std::string() << QStringList{};
        QTest::newRow("not a page") << std::string("just some words\r\n{ and } braces") << QStringList{};
        std::mt19937 rng(1);
        std::string binary(1 << 16, '\0');
        for (char& c : binary)
            c = char(rng());
        QTest::newRow("binary") << binary << QStringList{};
        QTest::newRow("binary without NUL")
            << [&] { std::string b = binary; for (char& c : b) if (!c) c = 1; return b; }() << QStringList{};
        std::string nulInBody = good;
        nulInBody.insert(nulInBody.find("</body>"), 1, '\0');
        QTest::newRow("NUL before the body ends") << nulInBody << QStringList{"div|a|1|0|0|0||", "p|b|0|0|0|0||"};
        std::string nulInStyle = good;
        nulInStyle.insert(nulInStyle.find("p.b"), 1, '\0');
        QTest::newRow("NUL in the style") << nulInStyle << QStringList{};
        QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + good << goodDesign;
        QTest::newRow("page in GBK")  // Chinese bytes that are not UTF-8 become replacement characters
            << page(one, "  <div class= \"a\">" + gb("中文") + "x</div>\r\n") << QStringList{"div|a|1|0|0|0||\uFFFD\uFFFD\uFFFD\uFFFDx"};
        QTest::newRow("broken sequences") << page(one, "  <div class= \"a\">\xC3(\xE2\x82\xF0\x9F\x98</div>\r\n")
                                          << QStringList{"div|a|1|0|0|0||\uFFFD(\uFFFD\uFFFD"};
        QTest::newRow("encoded surrogate and overlong") << page(one, "  <div class= \"a\">\xED\xA0\x80\xC0\xAFz</div>\r\n")
                                                        << QStringList{"div|a|1|0|0|0||\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDz"};
    }
    void badInput()
    {
        QFETCH(std::string, bytes);
        QFETCH(QStringList, expected);
        FakeCanvas canvas(d);
        QTemporaryDir dir;
        const QString path = dir.filePath("in.html");
        writeBytes(path, bytes);
        d.createComponentWithBox("div", "old", 0, 0, 1, 1, "", "");
        const QStringList before = snapshot(dir.path());

        d.importDocumentFrom(path);
        QCOMPARE(currentDesign(d), expected);
        QCOMPARE(canvas.destroyed.size(), size_t(1));
        QCOMPARE(snapshot(dir.path()), before);  // an import writes nothing
        QCOMPARE(rt::readWholeFile(path).value_or(""), bytes);
    }

    void unreadableFileEmptiesTheDesign_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing file") << "missing.html";
        QTest::newRow("folder") << "sub";
    }
    void unreadableFileEmptiesTheDesign()
    {
        QFETCH(QString, name);
        FakeCanvas canvas(d);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        d.createComponentWithBox("div", "old", 0, 0, 1, 1, "", "");
        d.importDocumentFrom(dir.filePath(name));
        QCOMPARE(d.componentCount(), 0);
        QCOMPARE(canvas.destroyed.size(), size_t(1));
        QVERIFY(!QFileInfo::exists(dir.filePath("missing.html")));
    }

    void fiftyMegabytePages_data()
    {
        QTest::addColumn<int>("elements");
        QTest::addColumn<int>("innerBytes");
        QTest::newRow("many elements") << 180000 << 100;
        QTest::newRow("one huge element") << 1 << 50 * 1024 * 1024;
    }
    void fiftyMegabytePages()
    {
        QFETCH(int, elements);
        QFETCH(int, innerBytes);
        FakeCanvas canvas(d);
        QTemporaryDir dir;
        const QString path = dir.filePath("big.html");
        const std::string inner = [&] {
            std::string s;
            const std::string unit = gb("中文 text ");
            while (int(s.size()) < innerBytes)
                s += unit;
            return s;
        }();
        for (int i = 0; i < elements; ++i)
            d.createComponentWithBox("div", "c" + std::to_string(i), i % 1000, i / 1000, 10, 10, "color:red;\r\n", inner);
        QVERIFY(d.saveDocumentTo(path).ok);
        QVERIFY(QFileInfo(path).size() > 50LL * 1000 * 1000);
        const ComponentList saved = d.components();

        d.importDocumentFrom(path);
        QCOMPARE(d.componentCount(), elements);
        for (int i : {1, elements / 2 + 1, elements}) {
            QCOMPARE(d.componentAt(i).rule, saved[size_t(i - 1)].rule);
            QCOMPARE(d.componentAt(i).innerText, inner);
        }
    }

    void indexedReaderEqualsReference()
    {
        // Generated pages full of traps: duplicate names, names inside other
        // names, quotes, spaces and "=" in names, rules without elements,
        // several class attributes on a line, pieces without "{", pseudo
        // classes, a byte-order mark, bare line feeds, the marker itself.
        const std::string classes[] = {"a", "ab", "b", "a b", " a", "a\"b", "a\"", "x=y", "", "c1", "c10",
                                       gb("中"), "\x81}", "sjjgklsheguskuef", "A", "a:hover", "b "};
        const std::string attrs[] = {" class= \"%\"", " class=\"%\"", " class = \" % \"", " cl ass=\"%\"",
                                     " data-xclass=\"%\"", " class=%", " class=\"%", " class=sjjgklsheguskuef",
                                     " class= \"%\" class=\"%\"", " title=\"% x\"", " class=\"%\"\"%\"",
                                     " \x81 class=\"%\"", " class\t=\"%\""};
        const std::string inners[] = {"", "x", "<b>y</b> z", gb("中文"), "\x81}", "a\"b>c", "}"};
        const std::string extras[] = {"", "  color:red;\r\n", "  left:5px;\r\n", "  x:1px; /* c */\r\n", "  }"};

        std::mt19937 rng(20240601);
        auto pick = [&](const auto& arr) -> const std::string& { return arr[rng() % std::size(arr)]; };
        auto fill = [&](std::string pattern) {
            std::string out;
            for (char ch : pattern)
                out += ch == '%' ? pick(classes) : std::string(1, ch);
            return out;
        };

        int withElements = 0;
        for (int round = 0; round < 4000; ++round) {
            const std::string br = rng() % 6 == 0 ? "\n" : "\r\n";
            std::string style, body;
            const int rules = int(rng() % 8);
            for (int r = 0; r < rules; ++r) {
                switch (rng() % 8) {
                case 0: style += "junk" + br + "}"; break;
                case 1: style += "body {" + br + "  top:1px;" + br + "}"; break;
                case 2: style += "div." + pick(classes) + "{" + br + "}"; break;
                default:
                    style += br + "div." + pick(classes) + " {" + br + "  left:" + std::to_string(rng() % 50) + "px;" + br +
                             pick(extras) + "}";
                }
            }
            const int lines = int(rng() % 8);
            for (int l = 0; l < lines; ++l) {
                std::string line = "  <p";
                const int n = int(rng() % 3);
                for (int k = 0; k < n; ++k)
                    line += fill(pick(attrs));
                line += ">" + pick(inners) + "</p>";
                body += line + (rng() % 10 == 0 ? "\n" : br);
            }
            std::string doc = (rng() % 5 == 0 ? gb("\uFEFF") : std::string()) + "<html><style>" + style + "</style><body>" +
                              br + body + (rng() % 10 == 0 ? "" : "</body>");
            const auto indexed = detail::readDocument(doc);
            const auto reference = detail::readDocumentReference(doc);
            if (indexed != reference) {
                qWarning("differs on: %s", QTest::toPrettyCString(doc.data(), qsizetype(doc.size())));
                QFAIL("indexed reader differs from the reference");
            }
            for (const auto& e : indexed)
                withElements += e.innerText.empty() ? 0 : 1;
        }
        QVERIFY(withElements > 1000);  // the generator does reach element lines

        // Pages written by the designer, with duplicate default names.
        for (int round = 0; round < 50; ++round) {
            d.clearComponents();
            for (int i = 0; i < 60; ++i)
                d.createComponentWithBox("div", rng() % 3 ? pick(classes) : "Tolvane_000" + std::to_string(rng() % 10),
                                       int(rng() % 100), 0, 1, 1, pick(extras), pick(inners));
            const std::string doc = d.generateDocument();
            QCOMPARE(detail::readDocument(doc), detail::readDocumentReference(doc));
        }
    }
};

QTEST_GUILESS_MAIN(TestDesignImport)
#include "test_design_import.moc"
