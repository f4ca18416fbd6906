// The pattern object: options, matches, positions, groups and replacement.
#include "design/regex.h"
#include "designtest.h"
#include "runtime/textcodec.h"

#include <QTest>

using design::RegexObject;
using rt::gb;

namespace {
QString show(const std::string& gbText) { return rt::gbToQString(gbText); }
}  // namespace

class TestDesignRegex : public QObject {
    Q_OBJECT

private slots:
    void execute_data()
    {
        QTest::addColumn<std::string>("pattern");
        QTest::addColumn<std::string>("subject");
        QTest::addColumn<QString>("options");  // c = case sensitive, s = single line, o = first only, q = quote token
        QTest::addColumn<QStringList>("matches");
        QTest::addColumn<QList<int>>("positions");

        QTest::newRow("letters of a tag") << std::string("[a-zA-Z]") << std::string("div") << "c"
                                          << QStringList{"d", "i", "v"} << QList<int>{0, 1, 2};
        QTest::newRow("empty subject") << std::string("[a-zA-Z]") << std::string() << "c" << QStringList{} << QList<int>{};
        QTest::newRow("first only") << std::string("[a-z]") << std::string("abc") << "co" << QStringList{"a"} << QList<int>{0};
        QTest::newRow("case ignored by default") << std::string("A") << std::string("aAa") << ""
                                                 << QStringList{"a", "A", "a"} << QList<int>{0, 1, 2};
        QTest::newRow("case sensitive") << std::string("A") << std::string("aAa") << "c" << QStringList{"A"} << QList<int>{1};
        QTest::newRow("multi-line anchors") << std::string("^x\\d") << std::string("x1\r\nx2") << ""
                                            << QStringList{"x1", "x2"} << QList<int>{0, 4};
        QTest::newRow("single-line anchors") << std::string("^x\\d") << std::string("x1\r\nx2") << "s"
                                             << QStringList{"x1"} << QList<int>{0};
        QTest::newRow("dot stays on its line") << std::string("a.b") << std::string("a\nb a-b") << ""
                                               << QStringList{"a-b"} << QList<int>{4};
        QTest::newRow("quote token") << gb("class=#引号(\\w+)#引号") << std::string("<p class=\"ab\">") << "q"
                                     << QStringList{"class=\"ab\""} << QList<int>{3};
        QTest::newRow("quote token off") << gb("class=#引号") << std::string("class=\"ab\"") << "" << QStringList{} << QList<int>{};
        QTest::newRow("positions are byte offsets") << std::string("[a-z]+") << gb("中文ab中c") << ""
                                                    << QStringList{"ab", "c"} << QList<int>{4, 8};
        QTest::newRow("repeated text after chinese") << std::string("a") << gb("中aa") << ""
                                                     << QStringList{"a", "a"} << QList<int>{2, 3};
        QTest::newRow("four-byte character") << std::string("x") << gb("😀x𠀀x") << ""
                                             << QStringList{"x", "x"} << QList<int>{4, 9};
        QTest::newRow("chinese match") << gb("文.") << gb("中文字文") << "" << QStringList{QString::fromUtf8("文字")} << QList<int>{2};
        QTest::newRow("empty matches") << std::string("x*") << std::string("ab") << ""
                                       << QStringList{"", "", ""} << QList<int>{0, 1, 2};
        // Malformed bytes (a lone lead, 0xFF, a cut four-byte form whose digit
        // then reads as itself) each read as U+FFFD; positions still follow
        // the subject's bytes.
        const std::string malformed("\x81 a\xFF b\x81\x30 c", 10);
        QTest::newRow("letters among malformed bytes") << std::string("[a-z0-9]") << malformed << ""
                                                       << QStringList{"a", "b", "0", "c"} << QList<int>{2, 5, 7, 9};
        QTest::newRow("malformed bytes matched") << std::string("[^ a-z0-9]") << malformed << ""
                                                 << QStringList(3, QString(QChar(0xFFFD))) << QList<int>{0, 3, 6};
    }
    void execute()
    {
        QFETCH(std::string, pattern);
        QFETCH(std::string, subject);
        QFETCH(QString, options);
        QFETCH(QStringList, matches);
        QFETCH(QList<int>, positions);

        RegexObject re;
        QVERIFY(re.execute(pattern, subject, options.contains('c'), !options.contains('s'), !options.contains('o'),
                           options.contains('q')));
        QCOMPARE(re.matchCount(), matches.size());
        for (int n = 1; n <= matches.size(); ++n) {
            int pos = -2;
            QCOMPARE(show(re.matchText(n, &pos)), matches[n - 1]);
            QCOMPARE(pos, positions[n - 1]);
            QCOMPARE(re.matchText(n), rt::qstringToGb(matches[n - 1]));
        }
        int pos = -2;
        QCOMPARE(re.matchText(matches.size() + 1, &pos), std::string());
        QCOMPARE(pos, -1);
        QCOMPARE(re.matchText(0), std::string());
    }

    void invalidPattern()
    {
        RegexObject re;
        QCOMPARE(re.patternText(), std::string());
        QVERIFY(re.execute("[a-z]", "abc"));
        QVERIFY(!re.execute("(", "abc"));
        QCOMPARE(re.matchCount(), 0);
        QCOMPARE(re.subMatchCount(), 0);
        QCOMPARE(re.matchText(1), std::string());
        QCOMPARE(re.replaceAll("x"), std::string());
        QCOMPARE(re.patternText(), std::string("("));
    }

    void patternText()
    {
        RegexObject re;
        re.execute(gb("#引号[中]"), "", false, true, true, true);
        QCOMPARE(re.patternText(), gb("\"[中]"));
        re.execute(gb("#引号"), "");
        QCOMPARE(re.patternText(), gb("#引号"));
    }

    void groups()
    {
        RegexObject re;
        QVERIFY(re.execute(gb("(\\w+)=(\\d+)?(中)"), gb("a=1中 字bb=中")));
        QCOMPARE(re.matchCount(), 2);
        QCOMPARE(re.subMatchCount(), 3);
        int pos = -2;
        QCOMPARE(re.subMatchText(1, 1, &pos), std::string("a"));
        QCOMPARE(pos, 0);
        QCOMPARE(re.subMatchText(1, 2, &pos), std::string("1"));
        QCOMPARE(pos, 2);
        QCOMPARE(re.subMatchText(1, 3, &pos), gb("中"));
        QCOMPARE(pos, 3);
        QCOMPARE(re.subMatchText(2, 1, &pos), std::string("bb"));
        QCOMPARE(pos, 8);
        // A group that took no part reads empty, without a position.
        QCOMPARE(re.subMatchText(2, 2, &pos), std::string());
        QCOMPARE(pos, -1);
        QCOMPARE(re.subMatchText(2, 4, &pos), std::string());
        QCOMPARE(pos, -1);
        QCOMPARE(re.subMatchText(3, 1), std::string());

        QVERIFY(re.execute("(x)", "abc"));
        QCOMPARE(re.subMatchCount(), 0);  // no first match
    }

    void replaceAll_data()
    {
        QTest::addColumn<std::string>("pattern");
        QTest::addColumn<bool>("global");
        QTest::addColumn<std::string>("replacement");
        QTest::addColumn<std::string>("expected");
        const std::string s = "ab-12 cd-34";  // the subject of every row
        QTest::newRow("every match") << std::string("\\d") << true << std::string("#") << std::string("ab-## cd-##");
        QTest::newRow("first only") << std::string("\\d") << false << std::string("#") << std::string("ab-#2 cd-34");
        QTest::newRow("groups") << std::string("(\\w+)-(\\d+)") << true << std::string("$2:$1") << std::string("12:ab 34:cd");
        QTest::newRow("whole match and dollar") << std::string("\\d+") << true << std::string("[$&$$]") << std::string("ab-[12$] cd-[34$]");
        QTest::newRow("before and after") << std::string("-") << false << std::string("<$`|$'>") << std::string("ab<ab|12 cd-34>12 cd-34");
        QTest::newRow("missing group is literal") << std::string("(b)") << true << std::string("$2$1") << std::string("a$2b-12 cd-34");
        QTest::newRow("two-digit group falls back") << std::string("(b)") << true << std::string("$10") << std::string("ab0-12 cd-34");
        QTest::newRow("no match") << std::string("z") << true << std::string("y") << s;
        QTest::newRow("chinese replacement") << std::string("-") << true << gb("中") << gb("ab中12 cd中34");
    }
    void replaceAll()
    {
        QFETCH(std::string, pattern);
        QFETCH(bool, global);
        QFETCH(std::string, replacement);
        QFETCH(std::string, expected);
        RegexObject re;
        QVERIFY(re.execute(pattern, "ab-12 cd-34", false, true, global));
        QCOMPARE(re.replaceAll(replacement), expected);
    }

    void copiesAreIndependent()
    {
        RegexObject a;
        a.execute("[0-9]", "a1b2");
        RegexObject b = a;
        a.execute("[a-z]", "xyz");
        QCOMPARE(b.matchCount(), 2);
        QCOMPARE(b.matchText(2), std::string("2"));
        QCOMPARE(a.matchCount(), 3);
    }
};

QTEST_GUILESS_MAIN(TestDesignRegex)
#include "test_design_regex.moc"
