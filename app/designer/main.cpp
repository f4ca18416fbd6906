// The designer: one main window; closing it ends the program. The live
// preview beside it uses the designer's web view, which lives from start-up
// to exit; the page engine is loaded only when the preview first opens.
#include "design/autosave.h"
#include "designer_ui/mainwindow.h"
#include "designer_ui/platformchoice.h"
#include "designer_ui/previewwindow.h"
#include "designer_ui/recovery.h"
#include "runtime/qttranslations.h"
#include "webview/appsetup.h"
#include "tolvane/version.h"
#include "webview/webview.h"

#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <cstring>

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
    // Two options that need no display; everything else goes to Qt.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::puts("usage: tolvane-designer [Qt options]\n\n"
                  "Lays out a web page by hand: boxes on a canvas become absolutely positioned\n"
                  "elements of one HTML page, shown live beside the designer.\n\n"
                  "  -h, --help     this text\n"
                  "  --version      the version, with the Qt and Chromium versions of the engine");
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tolvane-designer %s (Qt %s, Chromium %s)\n", TOLVANE_VERSION, TOLVANE_QT_VERSION,
                    TOLVANE_CHROMIUM_VERSION);
        return 0;
    }
    webview::quietEngineOutput();
    const designer::PlatformChoice platform = designer::applyPlatformChoice();
    webview::prepareApplication();  // the engine may be loaded after the application starts
    QApplication app(argc, argv);
    rt::installQtTranslations();  // Qt's buttons and dialogs in the user's language
    webview::WebView previewView;   // no engine call until the preview opens
    designer::MainWindow window;
    designer::LivePreview preview(window, previewView);
    const QString recoveryFolder = design::Autosave::defaultFolder();
    design::Autosave autosave(window.design(), recoveryFolder);
    designer::followSaves(window, autosave);
    designer::quitOnEndSignals();
    if (qEnvironmentVariableIsSet("TOLVANE_STARTUP_PROBE"))
        window.installEventFilter(new FirstPaintProbe(&window));
    window.show();
    QTimer::singleShot(0, &window, [&] {
        designer::offerRecovery(window, recoveryFolder);
        if (platform.placementLost) {
            // Said once, not at every start.
            QSettings settings(QStringLiteral("tolvane"), QStringLiteral("designer"));
            if (!settings.value(QStringLiteral("notices/waylandPlacement")).toBool()) {
                settings.setValue(QStringLiteral("notices/waylandPlacement"), true);
                QMessageBox::information(
                    &window, window.windowTitle(),
                    QStringLiteral("这是没有 XWayland 的 Wayland 桌面：窗口不能自己定位，"
                                   "实时预览将出现在桌面安排的位置，不会跟随主窗口。"));
            }
        }
    });
    const int code = app.exec();
    designer::settleRecovery(window, autosave);  // kept only for unsaved work a signal cut short
    return code;
}
