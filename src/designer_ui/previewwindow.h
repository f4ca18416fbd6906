#pragma once
// The live preview: PreviewWindow, a second top-level window to the right of
// MainWindow, shows the page being designed in the designer's web view. Once
// a second it regenerates the whole document from the design, writes it to
// the preview file and reloads that file. It follows MainWindow: moved,
// resized, minimised and restored with it; maximising MainWindow closes it.
//
// The designer's WebView lives for the whole run of the program; each opening
// of PreviewWindow creates an engine view in the preview frame, and
// destroying the frame tears that view down.
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

class QTimer;

namespace webview {
class WebView;
}

namespace designer {

class MainWindow;

// The folder of the preview file: programDirectory when a file can be
// created there, else "tolvane/" under the per-user data folder (made when
// missing), so that an installed, read-only program still previews.
QString previewFolderFor(const QString& programDirectory);
// previewFolderFor(the program directory).
QString previewFolder();

class PreviewWindow : public QWidget {
    Q_OBJECT
public:
    // Creating the window runs setUpPreview: it is placed beside mainWindow
    // and its engine view is created in the preview frame, loading the
    // preview file as it is on disk. The refresh timer runs from here on.
    // folder holds the preview file; profile given to create is
    // folder + "/cache/".
    PreviewWindow(MainWindow& mainWindow, webview::WebView& web, const QString& folder);
    ~PreviewWindow() override;

    QWidget* previewFrame() const { return frame_; }  // "预览框", the view's host
    QTimer* refreshTimer() const { return timer_; }   // "时钟1", 1000 ms
    QString previewFilePath() const;                  // folder + "/preview.html"

    // Preview frame and window to DesignCanvas's size, the window's outer
    // left edge at MainWindow's outer right edge, 24 pixels below its top.
    void placePreviewWindow();
    // Writes encodeUtf8(generateDocument()) to the preview file (temporary
    // file renamed into place, 0600; a failure keeps the old file and is
    // shown once in writeErrorBox) and asks the web view to load it.
    void refreshPreview();
    // The box that says the preview file could not be written; null until then.
    QMessageBox* writeErrorBox() const { return errorBox_; }

private:
    void setUpPreview();
    void showWriteError(const QString& error);

    MainWindow& main_;
    webview::WebView& web_;
    QString folder_;
    QWidget* frame_ = nullptr;
    QTimer* timer_ = nullptr;
    QPointer<QMessageBox> errorBox_;
    bool failing_ = false;
};

// Open or closed state of the preview, driven by MainWindow's buttons and
// window events. At most one PreviewWindow exists: the WebView holds one
// engine view.
class LivePreview : public QObject {
    Q_OBJECT
public:
    // An empty folder means previewFolder(), chosen again at every opening.
    LivePreview(MainWindow& mainWindow, webview::WebView& web, const QString& folder = {});
    ~LivePreview() override;  // closes an open preview

    // Opens PreviewWindow; when it is open already, brings it to the front.
    void openPreview();
    // Destroys PreviewWindow (its timer, frame and engine view) when open.
    void closePreview();
    // After MainWindow moved or changed its show state: maximised closes the
    // preview; minimised minimises it; normal restores it; then it moves
    // beside MainWindow, keeping its size.
    void followMainWindow();
    // After MainWindow's size changed: placePreviewWindow when open.
    void placePreviewWindow();

    // The open PreviewWindow, null while closed.
    PreviewWindow* window() const;
    bool isOpen() const { return window() != nullptr; }

private:
    MainWindow& main_;
    webview::WebView& web_;
    QString folder_;
    QPointer<PreviewWindow> window_;
};

}  // namespace designer
