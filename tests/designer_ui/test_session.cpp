// Never losing work, and the choice of window system: the modified marker,
// the unsaved-changes question, autosave with recovery after a real crash
// (a designer process killed), what a read left out.
#include "windowtest.h"
#include "../runtime/fulldisk.h"

#include "design/autosave.h"
#include "design/document.h"
#include "designer_ui/platformchoice.h"
#include "designer_ui/recovery.h"

#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUndoStack>

#include <csignal>
#include <cstdio>

using designer::MainWindow;
using namespace uitest;

namespace {

// The design the crashed designer had: made the same way on both sides.
void buildCrashDesign(design::Design& d)
{
    d.createComponentWithBox("div", "kept", 12, 34, 120, 45, "color:red;\r\n", rt::gb("没保存的"));
    d.createComponentWithBox("span", "also", -5, 300, 60, 20, "", "x");
    d.createComponentWithBox("p", "", 0, 0, 1, 1, "a:b;\r\nc:d;\r\n", "<b>bold</b>");
}

// The crashing side: a designer window with autosave, the design above,
// "written" once the recovery file is on disk, then it waits to be killed.
int runCrashChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    design::Autosave autosave(window.design(), QString::fromLocal8Bit(argv[2]), 20);
    QObject::connect(&autosave, &design::Autosave::written, [](bool ok) {
        std::puts(ok ? "written" : "failed");
        std::fflush(stdout);
    });
    buildCrashDesign(window.design());
    return app.exec();
}

// A designer as the program runs it (autosave following saves, SIGTERM and
// SIGHUP ending it), brought to the state `mode` names; prints "ready", then
// waits for a signal. "ended" and whether a signal ended it come last.
int runSignalChild(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const QByteArray mode = argv[3];
    MainWindow window;
    window.show();
    design::Autosave autosave(window.design(), folder, 20);
    designer::followSaves(window, autosave);
    designer::quitOnEndSignals();
    const auto ready = [] {
        std::puts("ready");
        std::fflush(stdout);
    };
    QTimer::singleShot(0, &window, [&] {
        if (mode != "unchanged")
            buildCrashDesign(window.design());
        QTimer::singleShot(300, &window, [&] {  // the recovery file is written by now
            if (mode == "saved") {
                pickInNextFileDialog(folder + QStringLiteral("/saved.html"));
                if (!window.saveDocument())
                    std::puts("not saved");
            }
            if (mode == "question") {
                QTimer::singleShot(300, ready);  // inside the unsaved-changes question
                window.close();
                return;
            }
            ready();
        });
    });
    const int code = app.exec();
    designer::settleRecovery(window, autosave);
    std::printf("ended %d\n", int(designer::endedBySignal()));
    return code;
}

QStringList recoveryFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.recovery")}, QDir::Files);
}

}  // namespace

class TestDesignerSession : public WindowTest {
    Q_OBJECT

private slots:
    void captionCarriesTheModifiedMarkerOnlyWithUnsavedChanges()
    {
        const QString caption = QStringLiteral("Tolvanehtml界面制作");
        QCOMPARE(win->windowTitle(), caption);
        QVERIFY(!win->isWindowModified());
        addBox();
        QVERIFY(win->isWindowModified());
        QCOMPARE(win->windowTitle(), caption + QStringLiteral("[*]"));
        win->design().undoStack()->undo();  // back to the state at start
        QVERIFY(!win->isWindowModified());
        QCOMPARE(win->windowTitle(), caption);

        addBox();
        pickInNextFileDialog(dir.filePath(QStringLiteral("saved.html")));
        QTest::mouseClick(button(u"按钮3"), Qt::LeftButton);
        QVERIFY(!fileBytes(dir.filePath(QStringLiteral("saved.html"))).isEmpty());
        QCOMPARE(win->windowTitle(), caption);
        QVERIFY(!win->isWindowModified());
    }

    void closingWithUnsavedChangesAsks_data()
    {
        QTest::addColumn<bool>("changed");
        QTest::addColumn<int>("answer");  // the button clicked in the question
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("saves");
        QTest::newRow("no changes: no question") << false << int(QMessageBox::NoButton) << true << false;
        QTest::newRow("discard") << true << int(QMessageBox::Discard) << true << false;
        QTest::newRow("cancel") << true << int(QMessageBox::Cancel) << false << false;
        QTest::newRow("save") << true << int(QMessageBox::Save) << true << true;
    }
    void closingWithUnsavedChangesAsks()
    {
        QFETCH(bool, changed);
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(bool, saves);
        if (changed)
            addBox();
        const QString path = dir.filePath(QStringLiteral("on-close.html"));
        QFile::remove(path);
        auto asked = whenModal<QMessageBox>(
            [answer, path](QMessageBox* box) {
                if (answer == QMessageBox::Save)
                    pickInNextFileDialog(path);
                box->button(QMessageBox::StandardButton(answer))->click();
            },
            changed ? 5000 : 300);
        QTimer::singleShot(0, win.get(), [this] { win->close(); });
        QTRY_VERIFY(*asked == changed);
        QTest::qWait(changed ? 50 : 350);  // long enough for a question to have come
        QCOMPARE(win->isVisible(), !closes);
        QCOMPARE(QFile::exists(path), saves);
        if (saves)
            QCOMPARE(fileBytes(path), QByteArray::fromStdString(design::encodeUtf8(win->design().generateDocument())));
        QCOMPARE(win->design().componentCount(), changed ? 1 : 0);  // nothing is lost by asking
    }

    void readSaysWhatItLeftOut_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("message");  // empty: no message
        QTest::newRow("a page this designer wrote")
            << QByteArray("<style>\r\ndiv.a {\r\n  left:1px;\r\n}\r\n</style>\r\n<body>\r\n  <div class= \"a\">x</div>\r\n</body>")
            << QString();
        QTest::newRow("elements without rules")
            << QByteArray("<html><body>\r\n<h1>Title</h1>\r\n<p class=\"intro\">Hello</p>\r\nplain text\r\n</body></html>")
            << QStringLiteral("有 2 个元素和 0 条样式规则没有读入");
        QTest::newRow("a hover rule and a stray element")
            << QByteArray("<style>\r\ndiv.a {\r\n  left:1px;\r\n}\r\ndiv.a:hover {\r\n  color:red;\r\n}\r\n</style>"
                          "<body>\r\n  <div class= \"a\">x</div>\r\n  <img src=\"p.png\">\r\n</body>")
            << QStringLiteral("有 1 个元素和 1 条样式规则没有读入");
    }
    void readSaysWhatItLeftOut()
    {
        QFETCH(QByteArray, page);
        QFETCH(QString, message);
        const QString path = dir.filePath(QStringLiteral("foreign.html"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(page);
        }
        MessageBoxWatcher boxes;
        pickInNextFileDialog(path);
        QTest::mouseClick(button(u"按钮5"), Qt::LeftButton);
        QTest::qWait(50);
        if (message.isEmpty()) {
            QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('|')));
        } else {
            QCOMPARE(boxes.texts.size(), 1);
            QVERIFY2(boxes.texts.first().startsWith(message), qPrintable(boxes.texts.first()));
        }
    }

    // A designer process is killed after its autosave; the next start in the
    // same data folder offers the work back, exactly as it was.
    void recoveryAfterACrash_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::newRow("restored") << true;
        QTest::newRow("declined") << false;
    }
    void recoveryAfterACrash()
    {
        QFETCH(bool, restore);
        QTemporaryDir data;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--crash-child"), data.path()});
        QVERIFY(child.waitForStarted());
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += child.readAllStandardOutput()).contains("written"), 20000);
        child.kill();
        QVERIFY(child.waitForFinished());
        QCOMPARE(design::Autosave::orphans(data.path()).size(), 1);

        auto asked = whenModal<QMessageBox>([restore](QMessageBox* box) {
            box->button(restore ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        QCOMPARE(designer::offerRecovery(*win, data.path()), restore);
        QVERIFY(*asked);
        design::Design expected;
        if (restore)
            buildCrashDesign(expected);
        QCOMPARE(rt::gbToQString(win->design().generateDocument()), rt::gbToQString(expected.generateDocument()));
        QCOMPARE(win->isWindowModified(), restore);
        // Answered: not offered again.
        QVERIFY(design::Autosave::orphans(data.path()).isEmpty());
    }

    // A running designer's file is not an orphan; a clean exit removes it.
    void autosaveWritesAfterChangesAndCleansUp()
    {
        QTemporaryDir data;
        design::Autosave autosave(win->design(), data.path(), 10);
        QSignalSpy written(&autosave, &design::Autosave::written);
        addBox();
        QTRY_COMPARE(written.size(), 1);
        QCOMPARE(written.first().first().toBool(), true);
        auto kept = design::Autosave::read(autosave.filePath());
        QVERIFY(kept && kept->size() == 1);
        QCOMPARE(rt::gbToQString(kept->front().rule), rt::gbToQString(win->design().componentAt(1).rule));
        QVERIFY(design::Autosave::orphans(data.path()).isEmpty());

        // A drag is written once it ends, not while it lasts.
        const design::BoxHandle b = win->design().componentAt(1).boxHandle;
        win->beginDrag(b, {300, 300});
        win->continueDrag({340, 320}, false);
        QTest::qWait(60);
        QCOMPARE(written.size(), 1);
        win->endDrag();
        QTRY_COMPARE(written.size(), 2);
        kept = design::Autosave::read(autosave.filePath());
        QVERIFY(kept && kept->size() == 1);
        QVERIFY(kept->front().rule.find("left:56px;") != std::string::npos);

        autosave.discard();
        QVERIFY(!QFile::exists(autosave.filePath()));
    }

    // After 生成 there is no recovery file: a later end, however abrupt, does
    // not offer back work that was saved. The next change writes it again;
    // undoing back to the saved state removes it.
    void recoveryFileFollowsSaves()
    {
        QTemporaryDir data;
        design::Autosave autosave(win->design(), data.path(), 10);
        designer::followSaves(*win, autosave);
        QSignalSpy written(&autosave, &design::Autosave::written);
        addBox();
        QTRY_COMPARE(written.size(), 1);
        QVERIFY(QFile::exists(autosave.filePath()));

        pickInNextFileDialog(dir.filePath(QStringLiteral("followed.html")));
        QTest::mouseClick(button(u"按钮3"), Qt::LeftButton);
        QVERIFY(!win->isWindowModified());
        QVERIFY(!QFile::exists(autosave.filePath()));
        QTest::qWait(50);  // no late write brings it back
        QVERIFY(!QFile::exists(autosave.filePath()));

        addBox();
        QTRY_COMPARE(written.size(), 2);
        QVERIFY(QFile::exists(autosave.filePath()));
        win->design().undoStack()->undo();
        QTRY_VERIFY(!QFile::exists(autosave.filePath()));
        QTest::qWait(50);
        QVERIFY(!QFile::exists(autosave.filePath()));
    }

    // SIGTERM (a logout) and SIGHUP end a real designer process as a close
    // would, asking nothing, even with a question open; the recovery file
    // stays exactly when there are unsaved changes, and holds them.
    void endSignalsEndLikeAClose_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("kept");
        QTest::newRow("unsaved changes, SIGTERM") << QByteArray("changed") << SIGTERM << true;
        QTest::newRow("unsaved changes, SIGHUP") << QByteArray("changed") << SIGHUP << true;
        QTest::newRow("saved, SIGTERM") << QByteArray("saved") << SIGTERM << false;
        QTest::newRow("nothing changed, SIGHUP") << QByteArray("unchanged") << SIGHUP << false;
        QTest::newRow("under the close question, SIGTERM") << QByteArray("question") << SIGTERM << true;
    }
    void endSignalsEndLikeAClose()
    {
        QFETCH(QByteArray, mode);
        QFETCH(int, signal);
        QFETCH(bool, kept);
        QTemporaryDir data;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--signal-child"), data.path(), QString::fromLatin1(mode)});
        QVERIFY(child.waitForStarted());
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += child.readAllStandardOutput()).contains("ready"), 20000);
        if (mode == "saved")
            QVERIFY2(recoveryFiles(data.path()).isEmpty(), qPrintable(recoveryFiles(data.path()).join(' ')));
        QVERIFY(::kill(pid_t(child.processId()), signal) == 0);
        QVERIFY(child.waitForFinished(20000));
        out += child.readAllStandardOutput();
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QVERIFY2(out.contains("ended 1"), out.constData());
        QVERIFY2(!out.contains("not saved"), out.constData());

        const QStringList orphans = design::Autosave::orphans(data.path());
        QCOMPARE(orphans.size(), kept ? 1 : 0);
        QCOMPARE(recoveryFiles(data.path()).size(), kept ? 1 : 0);
        if (kept) {
            design::Design expected;
            buildCrashDesign(expected);
            const auto list = design::Autosave::read(orphans.front());
            QVERIFY(list);
            design::Design restored;
            restored.replaceComponents(*list, QStringLiteral("恢复"));
            QCOMPARE(rt::gbToQString(restored.generateDocument()), rt::gbToQString(expected.generateDocument()));
        }
    }

    // On a full disk 生成 says why in a message box and leaves the file it
    // would have replaced as it was; a recovery write fails the same way.
    void fullDiskKeepsFiles_data()
    {
        QTest::addColumn<bool>("recovery");
        QTest::newRow("生成") << false;
        QTest::newRow("recovery file") << true;
    }
    void fullDiskKeepsFiles()
    {
        QFETCH(bool, recovery);
        testfs::FullDisk disk;
        TOLVANE_NEED_FULL_DISK(disk);
        const QByteArray old(636, 'o');
        if (recovery) {
            design::Autosave autosave(win->design(), disk.path(), 10);
            QSignalSpy written(&autosave, &design::Autosave::written);
            addBox();
            QTRY_COMPARE(written.size(), 1);
            const QByteArray first = fileBytes(autosave.filePath());
            QVERIFY(!first.isEmpty());
            QVERIFY(disk.fill());
            addBox();
            QTRY_COMPARE(written.size(), 2);
            QCOMPARE(written.last().first().toBool(), false);
            QCOMPARE(fileBytes(autosave.filePath()), first);
            autosave.discard();
            return;
        }
        const QString path = disk.filePath(QStringLiteral("design.html"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        QVERIFY(disk.fill());
        addBox();
        MessageBoxWatcher boxes;
        pickInNextFileDialog(path);
        QTest::mouseClick(button(u"按钮3"), Qt::LeftButton);
        QTRY_COMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts.first().contains(QString::fromLocal8Bit(std::strerror(ENOSPC))),
                 qPrintable(boxes.texts.first()));
        QCOMPARE(fileBytes(path), old);
        QVERIFY(win->isWindowModified());
    }

    void platformFollowsTheSession_data()
    {
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QByteArray>("platform");
        QTest::addColumn<bool>("placementLost");
        QTest::newRow("X11 session") << QStringList{"XDG_SESSION_TYPE=x11", "DISPLAY=:0"} << QByteArray() << false;
        QTest::newRow("Wayland with XWayland") << QStringList{"XDG_SESSION_TYPE=wayland", "WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"} << QByteArray("xcb") << false;
        QTest::newRow("Wayland display only") << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:1"} << QByteArray("xcb") << false;
        QTest::newRow("Wayland without XWayland") << QStringList{"XDG_SESSION_TYPE=wayland", "WAYLAND_DISPLAY=wayland-0"} << QByteArray() << true;
        QTest::newRow("platform set by the user") << QStringList{"XDG_SESSION_TYPE=wayland", "QT_QPA_PLATFORM=wayland"} << QByteArray() << false;
        QTest::newRow("no desktop") << QStringList{} << QByteArray() << false;
    }
    void platformFollowsTheSession()
    {
        QFETCH(QStringList, env);
        QFETCH(QByteArray, platform);
        QFETCH(bool, placementLost);
        QProcessEnvironment e;
        for (const QString& kv : env)
            e.insert(kv.section('=', 0, 0), kv.section('=', 1));
        const designer::PlatformChoice c = designer::choosePlatform(e);
        QCOMPARE(c.platform, platform);
        QCOMPARE(c.placementLost, placementLost);
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--crash-child") == 0)
        return runCrashChild(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--signal-child") == 0)
        return runSignalChild(argc, argv);
    QApplication app(argc, argv);
    TestDesignerSession test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_session.moc"
