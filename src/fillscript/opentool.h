#pragma once
// Opening the script tool on a web view.
namespace webview {
class WebView;
}

namespace fillscript {

class ScriptToolWindow;
class WebViewExecutor;

// Shows the tool window (one per process; an open one is brought forward and
// keeps its script and log) and binds it to a copy of `view`, which replaces
// the previous one. A new window opens beside the window that shows the
// view when the screen has room. Closing that window stops a run. The copy shares the page shown by `view`. The window
// deletes itself when closed; the copy stays until the next opening or the
// end of the application.
ScriptToolWindow* openScriptTool(const webview::WebView& view);

// The copy the tool works on; null before the first opening.
WebViewExecutor* toolView();

}  // namespace fillscript
