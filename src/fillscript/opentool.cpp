#include "fillscript/opentool.h"

#include "fillscript/executor.h"
#include "fillscript/recorder.h"
#include "fillscript/scripttoolwindow.h"
#include "webview/webview.h"

#include <QCoreApplication>
#include <QPointer>

namespace fillscript {
namespace {

struct ToolState {
    std::shared_ptr<WebViewExecutor> view;
    QPointer<ScriptToolWindow> window;
    bool cleanupRegistered = false;
};

ToolState& state()
{
    static ToolState s;
    return s;
}

// The copy must go while the engine still exists: this runs before the
// engine's own clean-up, which was registered earlier. A window still open
// is left to the end of the process; it only loses its executor.
void releaseTool()
{
    ToolState& s = state();
    if (s.window) {
        s.window->setExecutor(nullptr);
        s.window->setRecorder(nullptr);
    }
    s.view.reset();
}

}  // namespace

ScriptToolWindow* openScriptTool(const webview::WebView& view)
{
    ToolState& s = state();
    if (!s.cleanupRegistered) {
        qAddPostRoutine(releaseTool);
        s.cleanupRegistered = true;
    }
    QWidget* host = view.engine().hostWindow();
    QWidget* pageWindow = host ? host->window() : nullptr;
    if (!s.window) {
        s.window = new ScriptToolWindow;
        s.window->setAttribute(Qt::WA_DeleteOnClose);
        if (pageWindow)
            s.window->placeBeside(pageWindow);
    }
    s.window->setPageWindow(pageWindow);
    s.window->show();
    s.window->raise();
    s.window->activateWindow();

    // The new copy is made before the old one goes.
    auto fresh = std::make_shared<WebViewExecutor>(view);
    s.window->setExecutor(fresh);
    s.window->setRecorder(std::make_shared<WebViewRecorder>(view));
    s.view = std::move(fresh);
    return s.window;
}

WebViewExecutor* toolView()
{
    return state().view.get();
}

}  // namespace fillscript
