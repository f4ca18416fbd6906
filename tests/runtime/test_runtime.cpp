#include "fulldisk.h"
#include "runtime/fileio.h"
#include "runtime/gbtext.h"
#include "runtime/textcodec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <random>
#include <sys/stat.h>

Q_DECLARE_METATYPE(rt::Durability)
Q_DECLARE_METATYPE(rt::Access)

namespace {
// The plain way: try every character start in turn.
std::size_t findBySteppingEveryCharacter(std::string_view s, std::string_view what, std::size_t from)
{
    for (std::size_t i = from; i + what.size() <= s.size(); i += rt::gbCharLen(s, i))
        if (s.substr(i, what.size()) == what)
            return i;
    return std::string_view::npos;
}
}  // namespace

class TestRuntime : public QObject {
    Q_OBJECT
private slots:
    void roundTrips_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("gbBytes");
        QTest::newRow("ascii") << QString("div.box {") << QByteArray("div.box {");
        QTest::newRow("gbk") << QString::fromUtf8("增加") << QByteArray("\xD4\xF6\xBC\xD3");
        QTest::newRow("fullwidth") << QString::fromUtf8("１２") << QByteArray("\xA3\xB1\xA3\xB2");
        // Outside code page 936: kept as four-byte GB18030 instead of "?".
        QTest::newRow("emoji") << QString::fromUtf8("a😀b") << QByteArray("a\x94\x39\xFC\x36" "b");
    }
    void roundTrips()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, gbBytes);
        const std::string gb = rt::qstringToGb(text);
        QCOMPARE(QByteArray::fromStdString(gb), gbBytes);
        QCOMPARE(rt::gbToQString(gb), text);
        const QByteArray utf8 = text.toUtf8();
        QCOMPARE(rt::utf8ToGb(utf8.toStdString()), gb);
        QCOMPARE(QByteArray::fromStdString(rt::gbToUtf8(gb)), utf8);
    }
    void invalidUtf8IsReplacedAndDecodingGoesOn()
    {
        const std::string gb = rt::utf8ToGb(std::string("a\xFF" "b\xE4\xB8", 5));
        QCOMPARE(rt::gbToQString(gb), QString::fromUtf8("a\xEF\xBF\xBD" "b\xEF\xBF\xBD"));
    }
    void searchMatchesOnlyAtCharacterStarts()
    {
        // "\xB0\xA1" is one hanzi; its trail byte 0xA1 followed by "\xB0" must
        // not be found as the pair "\xA1\xB0".
        const std::string s = "\xB0\xA1\xB0\xA1x";
        QCOMPARE(rt::gbFind(s, "\xA1\xB0"), std::string::npos);
        QCOMPARE(rt::gbFind(s, "\xB0\xA1", 1), std::string::npos);  // from a trail byte: not a start
        QCOMPARE(rt::gbFind(s, "\xB0\xA1", 2), size_t(2));
        QCOMPARE(rt::gbFind(s, "x"), size_t(4));
        // A four-byte character is stepped over whole.
        const std::string four = "\x81\x30\x81\x30" "0";
        QCOMPARE(rt::gbFind(four, "0"), size_t(4));
    }
    void characterStartSearchAgreesWithStepping()
    {
        // The fast search must find exactly what stepping over every
        // character finds, on text full of lead bytes and trail-byte lookalikes.
        const std::string parts[] = {"a", "}", "{", " ", "\r\n", "\x81", "\x81}", "\x81\x30\x81\x30", "\xB0" "a",
                                     rt::gb("中"), rt::gb("😀"), "0", "\xFF", "p", "x;", "px;"};
        const std::string needles[] = {"}", "a", "px;", "0", "\x81}", rt::gb("中"), "\x30\x81", "\r\n", "{a"};
        std::mt19937 rng(3);
        for (int round = 0; round < 20000; ++round) {
            std::string s;
            const int n = int(rng() % 14);
            for (int i = 0; i < n; ++i)
                s += parts[rng() % std::size(parts)];
            const std::string& what = needles[rng() % std::size(needles)];
            std::size_t from = 0;
            for (int steps = int(rng() % 4); steps > 0 && from < s.size(); --steps)
                from += rt::gbCharLen(s, from);
            QCOMPARE(rt::gbFind(s, what, from), findBySteppingEveryCharacter(s, what, from));
        }
    }

    void atomicWriteKeepsOldFileOnFailure_data()
    {
        QTest::addColumn<rt::Durability>("durability");
        QTest::newRow("flushed") << rt::Durability::Flushed;
        QTest::newRow("replaced") << rt::Durability::Replaced;
    }
    void atomicWriteKeepsOldFileOnFailure()
    {
        QFETCH(rt::Durability, durability);
        QTemporaryDir dir;
        const QString path = dir.filePath("page.html");
        QVERIFY(rt::writeFileAtomically(path, "old", durability).ok);
        QCOMPARE(*rt::readWholeFile(path), std::string("old"));
        QVERIFY(rt::writeFileAtomically(path, "new", durability).ok);
        QCOMPARE(*rt::readWholeFile(path), std::string("new"));
        if (geteuid() != 0) {  // root ignores folder permissions
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            const rt::WriteResult r = rt::writeFileAtomically(path, "lost", durability);
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QVERIFY(!r.ok);
            QVERIFY(!r.error.isEmpty());
            QCOMPARE(*rt::readWholeFile(path), std::string("new"));
        }
        // No room for the temporary name beside a maximal file name: the
        // write fails at the rename step, with a real reason, old file kept.
        const QString longName = dir.filePath(QString(255, 'a'));
        {
            QFile keep(longName);
            QVERIFY(keep.open(QIODevice::WriteOnly));
            keep.write("old");
        }
        const rt::WriteResult r = rt::writeFileAtomically(longName, "new", durability);
        QVERIFY(!r.ok);
        QVERIFY2(r.error != "Unknown error", qPrintable(r.error));
        QCOMPARE(*rt::readWholeFile(longName), std::string("old"));
        const rt::WriteResult missing = rt::writeFileAtomically(dir.filePath("no/such/dir/x.html"), "x", durability);
        QVERIFY(!missing.ok);
        QVERIFY(!rt::readWholeFile(dir.filePath("absent")).has_value());
        // No temporary file is left behind, whatever happened.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    // On a full file system every write fails with the system's reason and
    // leaves the old file as it was: a small file too, whose bytes fit the
    // write buffer and fail only when they reach the file system.
    void fullDiskLeavesTheOldFile_data()
    {
        QTest::addColumn<rt::Durability>("durability");
        QTest::addColumn<rt::Access>("access");
        QTest::addColumn<int>("size");
        QTest::newRow("document, one byte") << rt::Durability::Flushed << rt::Access::Shared << 1;
        QTest::newRow("document, 600 bytes") << rt::Durability::Flushed << rt::Access::Shared << 600;
        QTest::newRow("document, 1 MB") << rt::Durability::Flushed << rt::Access::Shared << (1 << 20);
        QTest::newRow("report, one line") << rt::Durability::Flushed << rt::Access::Private << 90;
        QTest::newRow("recovery file") << rt::Durability::Replaced << rt::Access::Private << 300;
        QTest::newRow("preview page, 1 MB") << rt::Durability::Replaced << rt::Access::Private << (1 << 20);
    }
    void fullDiskLeavesTheOldFile()
    {
        QFETCH(rt::Durability, durability);
        QFETCH(rt::Access, access);
        QFETCH(int, size);
        testfs::FullDisk disk;
        TOLVANE_NEED_FULL_DISK(disk);
        const QString path = disk.filePath("page.html");
        const std::string old(636, 'o');
        QVERIFY(rt::writeFileAtomically(path, old, durability, access).ok);
        QVERIFY(disk.fill());
        const rt::WriteResult r = rt::writeFileAtomically(path, std::string(std::size_t(size), 'n'), durability, access);
        QVERIFY(!r.ok);
        QCOMPARE(r.error, QString::fromLocal8Bit(std::strerror(ENOSPC)));
        QCOMPARE(*rt::readWholeFile(path), old);
        const rt::WriteResult fresh = rt::writeFileAtomically(disk.filePath("new.html"), "x", durability, access);
        QVERIFY(!fresh.ok);
        QVERIFY(!QFile::exists(disk.filePath("new.html")));
        // Only the old file and the filler: no temporary file is left.
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    // Private files are 0600 whatever was there; shared ones keep what the
    // user gave them. Folders made for private files are 0700.
    void permissions_data()
    {
        QTest::addColumn<rt::Access>("access");
        QTest::addColumn<int>("before");  // mode of the existing file; -1: none
        QTest::addColumn<int>("after");
        QTest::newRow("private, new") << rt::Access::Private << -1 << 0600;
        QTest::newRow("private over 0644") << rt::Access::Private << 0644 << 0600;
        QTest::newRow("shared, new (umask 022)") << rt::Access::Shared << -1 << 0644;
        QTest::newRow("shared over 0640") << rt::Access::Shared << 0640 << 0640;
    }
    void permissions()
    {
        QFETCH(rt::Access, access);
        QFETCH(int, before);
        QFETCH(int, after);
        const mode_t mask = ::umask(022);
        QTemporaryDir dir;
        const QString path = dir.filePath("out.csv");
        if (before >= 0) {
            QVERIFY(rt::writeFileAtomically(path, "old").ok);
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(before)) == 0);
        }
        const bool ok = rt::writeFileAtomically(path, "new", rt::Durability::Flushed, access).ok;
        struct stat st {};
        const bool statted = ::stat(QFile::encodeName(path).constData(), &st) == 0;
        ::umask(mask);
        QVERIFY(ok && statted);
        QCOMPARE(int(st.st_mode & 07777), after);
    }

    void privateFolders()
    {
        const mode_t mask = ::umask(022);
        QTemporaryDir dir;
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        const QString deep = dir.filePath("a/b/c");
        const rt::WriteResult made = rt::makePrivateFolder(deep);
        const rt::WriteResult again = rt::makePrivateFolder(deep);
        ::umask(mask);
        QVERIFY2(made.ok, qPrintable(made.error));
        QVERIFY(again.ok);
        const auto modeOf = [](const QString& p) {
            struct stat st {};
            return ::stat(QFile::encodeName(p).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
        };
        QCOMPARE(modeOf(dir.filePath("a")), 0700);
        QCOMPARE(modeOf(deep), 0700);
        QCOMPARE(modeOf(dir.path()), 0755);  // an existing folder is not touched
        QVERIFY(QFile(dir.filePath("file")).open(QIODevice::WriteOnly));
        QVERIFY(!rt::makePrivateFolder(dir.filePath("file")).ok);
        QVERIFY(!rt::makePrivateFolder(dir.filePath("file/below")).ok);
    }
};

QTEST_GUILESS_MAIN(TestRuntime)
#include "test_runtime.moc"
