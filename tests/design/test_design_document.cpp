// Page generation, UTF-8 encoding and saving.
#include "design/design.h"
#include "design/document.h"
#include "design/rule.h"
#include "designtest.h"
#include "fakecanvas.h"
#include "runtime/fileio.h"
#include "runtime/textcodec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <random>
#include <sys/resource.h>

using namespace design;
using namespace design::test;
using rt::gb;

namespace {


std::string fileBytes(const QString& path) { return rt::readWholeFile(path).value_or("<unreadable>"); }

}  // namespace

class TestDesignDocument : public QObject {
    Q_OBJECT

    Design d;  // the design under test

private slots:
    void init() { d.clearComponents(); }

    void emptyDesign()
    {
        QCOMPARE(d.generateDocument(), kHead + kStyleEnd + kEnd);
        QTemporaryDir dir;
        const QString path = dir.filePath("empty.html");
        QVERIFY(d.saveDocumentTo(path).ok);
        QCOMPARE(fileBytes(path), kHead + kStyleEnd + kEnd);
    }

    void rulesAndBodyLinesInListOrder()
    {
        d.createComponentWithBox("div", "b", 1, 2, 3, 4, "color:red;", "first");
        d.createComponentWithBox("span", "a", 5, 6, 7, 8, "", "");
        d.appendComponent(buildRule({.tag = "12", .className = "n", .left = 0, .top = 0, .width = 0, .height = 0,
                                   .extra = ""}),
                        "<b>x</b>\r\ny", 99);
        const std::string r1 = d.componentAt(1).rule, r2 = d.componentAt(2).rule, r3 = d.componentAt(3).rule;
        QCOMPARE(d.generateDocument(), kHead + r1 + "\r\n" + r2 + "\r\n" + r3 + "\r\n" + kStyleEnd +
                                         "  <div class= \"b\">first</div>\r\n"
                                         "  <span class= \"a\"></span>\r\n"   // empty inner text
                                         "  < class= \"n\"><b>x</b>\r\ny</>\r\n"  // empty tag, verbatim inner text
                                         + kEnd);
    }

    void utf8OnDisk()
    {
        d.createComponentWithBox("p", gb("类名"), 0, 0, 10, 10, gb("font-family:宋体;"), gb("中文😀"));
        const std::string doc = d.generateDocument();
        const std::string bytes = encodeUtf8(doc);
        QCOMPARE(bytes, rt::gbToUtf8(doc));
        QVERIFY(bytes.find("\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80") != std::string::npos);  // 中文😀
        QVERIFY(bytes.rfind("<!DOCTYPE", 0) == 0);  // no byte-order mark
        QCOMPARE(rt::utf8ToGb(bytes), doc);

        QTemporaryDir dir;
        const QString path = dir.filePath(QString::fromUtf8("页面.html"));
        QVERIFY(d.saveDocumentTo(path).ok);
        QCOMPARE(fileBytes(path), bytes);
    }

    void encodeUtf8MatchesTheConverter()
    {
        QCOMPARE(encodeUtf8(""), std::string());
        // Text cut into pieces for the converter must come out as one
        // conversion of the whole would, malformed bytes included.
        std::mt19937 rng(7);
        const std::string parts[] = {"a", " ", "\r\n", "<", gb("中"), gb("😀"), gb("ａ"), "\x81", "\x81\x30",
                                     "\xFF", "\x80", "\x84\x31\xA4", "0", "\xA3", "}"};
        for (int round = 0; round < 3000; ++round) {
            std::string s;
            const int n = int(rng() % 12);
            for (int i = 0; i < n; ++i)
                s += parts[rng() % std::size(parts)];
            QCOMPARE(encodeUtf8(s), rt::gbToUtf8(s));
        }
    }

    void savingReplacesAnExistingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("page.html");
        writeBytes(path, std::string(100000, 'x'));
        d.createComponentWithBox("div", "a", 1, 2, 3, 4, "", "new");
        const rt::WriteResult r = d.saveDocumentTo(path);
        QVERIFY(r.ok);
        QVERIFY(r.error.isEmpty());
        QCOMPARE(fileBytes(path), encodeUtf8(d.generateDocument()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"page.html"});
    }

    void savingFailsWithAReason_data()
    {
        QTest::addColumn<QString>("target");  // relative to a fresh folder
        QTest::newRow("missing folder") << "no/such/folder/page.html";
        QTest::newRow("target is a folder") << "sub";
    }
    void savingFailsWithAReason()
    {
        QFETCH(QString, target);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        const rt::WriteResult r = d.saveDocumentTo(dir.filePath(target));
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
        QVERIFY(QFileInfo(dir.filePath("sub")).isDir());
    }

    void failedWriteKeepsTheOldFile()
    {
        // A write cut short (here by a file size limit) leaves the old page
        // as it was and no temporary file behind.
        QTemporaryDir dir;
        const QString path = dir.filePath("page.html");
        writeBytes(path, "old page");
        d.createComponentWithBox("div", "a", 1, 2, 3, 4, "", std::string(200000, 'y'));

        rlimit old{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
        auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 4096;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const rt::WriteResult r = d.saveDocumentTo(path);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);

        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
        QCOMPARE(fileBytes(path), std::string("old page"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"page.html"});
    }
};

QTEST_GUILESS_MAIN(TestDesignDocument)
#include "test_design_document.moc"
