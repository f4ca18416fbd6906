#include "designer_ui/previewwindow.h"

#include "design/document.h"
#include "designer_ui/mainwindow.h"
#include "designer_ui/windowgeometry.h"
#include "runtime/fileio.h"
#include "runtime/paths.h"
#include "runtime/textcodec.h"
#include "webview/webview.h"

#include <QDir>
#include <QMessageBox>
#include <QTemporaryFile>
#include <QTimer>

namespace designer {

namespace {

constexpr int kRefreshIntervalMs = 1000;
constexpr int kBelowMainWindowTop = 24;

// Whether a new file can be made in folder: the preview file is written as a
// temporary file beside its target and renamed over it.
bool canCreateFilesIn(const QString& folder)
{
    QTemporaryFile probe(folder + QStringLiteral("/.preview-XXXXXX"));
    return probe.open();
}

// Outer top-left of the preview: touching MainWindow's right edge.
QPoint besideMainWindow(const MainWindow& main)
{
    const QRect outer = main.outerGeometry();
    return {outer.left() + outer.width(), outer.top() + kBelowMainWindowTop};
}

}  // namespace

QString previewFolderFor(const QString& programDirectory)
{
    if (canCreateFilesIn(programDirectory))
        return programDirectory;
    const QString ours = rt::userDataBase() + QStringLiteral("tolvane");
    rt::makePrivateFolder(ours);
    return ours;
}

QString previewFolder() { return previewFolderFor(rt::programDirectory()); }

// ---------------------------------------------------------------- PreviewWindow

PreviewWindow::PreviewWindow(MainWindow& mainWindow, webview::WebView& web, const QString& folder)
    : QWidget(nullptr), main_(mainWindow), web_(web), folder_(folder)
{
    setWindowTitle(QStringLiteral("预览"));
    // Closing it from its own title bar ends it as the close button does.
    setAttribute(Qt::WA_DeleteOnClose);
    setGeometry(50, 50, 609, 486);  // replaced by placePreviewWindow

    frame_ = new QWidget(this);
    frame_->setObjectName(QStringLiteral("预览框"));
    frame_->setGeometry(0, 0, 504, 304);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("时钟1"));
    timer_->setInterval(kRefreshIntervalMs);
    connect(timer_, &QTimer::timeout, this, &PreviewWindow::refreshPreview);
    timer_->start();

    setUpPreview();
}

// The frame goes with the window, and its destruction tears the engine view
// down.
PreviewWindow::~PreviewWindow() = default;

QString PreviewWindow::previewFilePath() const { return folder_ + QStringLiteral("/preview.html"); }

void PreviewWindow::setUpPreview()
{
    placePreviewWindow();
    // A profile given as a path is kept apart from every named profile: the
    // web view gives it private storage and makes no folder for it.
    web_.create(frame_, rt::qstringToGb(folder_ + QStringLiteral("/cache/")),
                rt::qstringToGb(previewFilePath()), std::string());
    // The page shows a design, perhaps someone else's: its scripts may not
    // read the user's files. Set before the page's first request.
    web_.engine().setLocalFileAccessEnable(false);
}

void PreviewWindow::placePreviewWindow()
{
    const QSize canvas = main_.designCanvasSize();
    frame_->setGeometry(0, 0, canvas.width(), canvas.height());
    // The window's outer size is the frame's: its caption and borders cover
    // part of the frame, which alone carries the page at the designed size.
    setOuterGeometry(this, QRect(besideMainWindow(main_), canvas));
}

void PreviewWindow::refreshPreview()
{
    const QString path = previewFilePath();
    // A page that cannot be written leaves the old file; the view reloads
    // whatever the path holds. The page holds the user's design: theirs alone.
    const rt::WriteResult written = rt::writeFileAtomically(
        path, design::encodeUtf8(main_.design().generateDocument()), rt::Durability::Replaced, rt::Access::Private);
    showWriteError(written.ok ? QString() : written.error);
    web_.loadUrl(rt::qstringToGb(path));
}

// Said once per run of failures, in a box that does not stop the refresh:
// a question every second would make the designer unusable.
void PreviewWindow::showWriteError(const QString& error)
{
    if (error.isEmpty()) {
        failing_ = false;
        return;
    }
    if (failing_)
        return;
    failing_ = true;
    if (!errorBox_) {
        errorBox_ = new QMessageBox(QMessageBox::Warning, windowTitle(), QString(), QMessageBox::Ok, this);
        errorBox_->setWindowModality(Qt::NonModal);
    }
    errorBox_->setText(QStringLiteral("无法写入预览文件：%1\n%2\n预览显示的是上一次写入的内容。")
                           .arg(QDir::toNativeSeparators(previewFilePath()), error));
    errorBox_->show();
}

// ---------------------------------------------------------------- LivePreview

LivePreview::LivePreview(MainWindow& mainWindow, webview::WebView& web, const QString& folder)
    : QObject(nullptr), main_(mainWindow), web_(web), folder_(folder)
{
    connect(&main_, &MainWindow::previewOpenRequested, this, &LivePreview::openPreview);
    connect(&main_, &MainWindow::previewCloseRequested, this, &LivePreview::closePreview);
    connect(&main_, &MainWindow::canvasLaidOut, this, &LivePreview::placePreviewWindow);
    connect(&main_, &MainWindow::geometryFollowNeeded, this, &LivePreview::followMainWindow);
}

LivePreview::~LivePreview() { delete window_.data(); }

PreviewWindow* LivePreview::window() const
{
    // A window closed from its title bar is hidden until its deferred
    // deletion; it counts as closed already.
    return window_ && window_->isVisible() ? window_.data() : nullptr;
}

void LivePreview::openPreview()
{
    if (PreviewWindow* open = window()) {
        // One engine view per WebView: never a second window.
        if (open->isMinimized())
            open->showNormal();
        open->raise();
        open->activateWindow();
        return;
    }
    delete window_.data();  // one closed from its title bar, not yet deleted
    const QString folder = folder_.isEmpty() ? previewFolder() : folder_;
    window_ = new PreviewWindow(main_, web_, folder);
    window_->show();  // non-modal: MainWindow stays usable
}

void LivePreview::closePreview()
{
    // Destroying the window stops its timer and destroys the preview frame,
    // which tears the engine view down.
    delete window_.data();
}

void LivePreview::followMainWindow()
{
    PreviewWindow* preview = window();
    if (!preview)
        return;
    if (main_.isMaximized()) {
        closePreview();
        return;
    }
    if (main_.isMinimized())
        preview->showMinimized();
    else if (preview->isMinimized() || preview->isMaximized() || preview->isFullScreen())
        preview->showNormal();
    preview->move(besideMainWindow(main_));  // a top-level's position is its frame's
}

void LivePreview::placePreviewWindow()
{
    if (PreviewWindow* preview = window())
        preview->placePreviewWindow();
}

}  // namespace designer
