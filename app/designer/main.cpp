// The designer: one main window; closing it ends the program. The live
// preview beside it uses the designer's web view, which lives from start-up
// to exit; the page engine is loaded only when the preview first opens.
#include "designer_ui/mainwindow.h"
#include "designer_ui/previewwindow.h"
#include "webview/appsetup.h"
#include "webview/webview.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {
// With TOLVANE_STARTUP_PROBE set, prints "painted" once the main window has
// been painted for the first time (used by the start-up benchmark).
class FirstPaintProbe : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Children paint in the same pass; report after it.
            QTimer::singleShot(0, [] {
                std::fputs("painted\n", stdout);
                std::fflush(stdout);
            });
        }
        return false;
    }
};
}  // namespace

int main(int argc, char** argv)
{
    webview::quietEngineOutput();
    webview::prepareApplication();  // the engine may be loaded after the application starts
    QApplication app(argc, argv);
    webview::WebView previewView;   // no engine call until the preview opens
    designer::MainWindow window;
    designer::LivePreview preview(window, previewView);
    if (qEnvironmentVariableIsSet("TOLVANE_STARTUP_PROBE"))
        window.installEventFilter(new FirstPaintProbe(&window));
    window.show();
    return app.exec();
}
