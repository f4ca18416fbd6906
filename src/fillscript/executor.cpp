#include "fillscript/executor.h"

#include "fillscript/arguments.h"
#include "fillscript/catalogue.h"
#include "runtime/textcodec.h"
#include "webview/bridge/scripts.h"
#include "webview/engineloader.h"
#include "webview/webview.h"

#include <QDir>


namespace fillscript {
namespace {

using webview::WebView;

// Argument access by 1-based position, with the conversions of the command
// table: t (text), i (integer), b (logical).
struct Args {
    const std::vector<std::string>& a;
    const std::string& t(std::size_t k) const
    {
        static const std::string empty;
        return k - 1 < a.size() ? a[k - 1] : empty;
    }
    int i(std::size_t k) const { return argInteger(t(k)); }
    bool b(std::size_t k) const { return argLogical(t(k)); }
};

using Handler = std::string (*)(WebView&, const Args&);

// Locator-only element operations: (t1, t2, i3, t4, t5, t6, b7).
using LocatorOp = std::string (WebView::*)(const std::string&, const std::string&, int,
                                           const std::string&, const std::string&,
                                           const std::string&, bool);
template <LocatorOp op>
std::string locatorOnly(WebView& v, const Args& a)
{
    return (v.*op)(a.t(1), a.t(2), a.i(3), a.t(4), a.t(5), a.t(6), a.b(7));
}

// Element operations with one text before the locator rest:
// (t1, t2, t3, i4, t5, t6, t7, b8).
using TextOp = std::string (WebView::*)(const std::string&, const std::string&,
                                        const std::string&, int, const std::string&,
                                        const std::string&, const std::string&, bool);
template <TextOp op>
std::string withText(WebView& v, const Args& a)
{
    return (v.*op)(a.t(1), a.t(2), a.t(3), a.i(4), a.t(5), a.t(6), a.t(7), a.b(8));
}

// Element operations with two texts: (t1, t2, t3, t4, i5, t6, t7, t8, b9).
using TwoTextOp = std::string (WebView::*)(const std::string&, const std::string&,
                                           const std::string&, const std::string&, int,
                                           const std::string&, const std::string&,
                                           const std::string&, bool);
template <TwoTextOp op>
std::string withTwoTexts(WebView& v, const Args& a)
{
    return (v.*op)(a.t(1), a.t(2), a.t(3), a.t(4), a.i(5), a.t(6), a.t(7), a.t(8), a.b(9));
}

std::string joinOptions(const std::vector<std::string>& texts, const std::vector<std::string>& values)
{
    std::string out;
    for (std::size_t k = 0; k < texts.size() && k < values.size(); ++k) {
        if (k)
            out += ',';
        out += texts[k] + "|" + values[k];
    }
    return out;
}

std::string trimLineBreaks(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

// The handlers of the commands whose arguments do not follow one of the
// shapes above, named in the table's handler column.

std::string navigate(WebView& v, const Args& a) { return v.navigate(a.t(1)); }

// Existence: polls up to the given number of times, 500 ms apart.
std::string waitForElement(WebView& v, const Args& a)
{
    const bool found = v.waitForElement(a.t(1), a.t(2), a.i(3), a.i(4), a.t(5), a.t(6), a.t(7), a.b(8));
    return found ? "true" : "false";
}

std::string setChecked(WebView& v, const Args& a)
{
    return v.setChecked(a.t(1), a.t(2), a.b(3), a.i(4), a.t(5), a.t(6), a.t(7), a.b(8));
}

std::string setSelectedIndex(WebView& v, const Args& a)
{
    return v.setSelectedIndex(a.t(1), a.t(2), a.i(3), a.i(4), a.t(5), a.t(6), a.t(7), a.b(8));
}

std::string getSelectedOption(WebView& v, const Args& a)
{
    // The outs are written by the operation and not used further.
    int index = a.i(3);
    std::string value = a.t(4), text = a.t(5);
    return v.getSelectedOption(a.t(1), a.t(2), index, value, text, a.i(6), a.t(7), a.t(8), a.t(9),
                               a.b(10));
}

// The options as "text|value" entries separated by ",".
std::string listOptions(WebView& v, const Args& a)
{
    std::vector<std::string> texts, values;
    const std::string r = v.listOptions(a.t(1), a.t(2), texts, values, a.i(5), a.t(6), a.t(7), a.t(8), a.b(9));
    return r == "success" ? joinOptions(texts, values) : r;
}

std::string dragElement(WebView& v, const Args& a)
{
    return v.dragElement(a.t(1), a.t(2), a.i(3), a.i(4), a.i(5), a.i(6), a.i(7), a.t(8), a.t(9), a.t(10),
                         a.b(11));
}

std::string fireMouseEvent(WebView& v, const Args& a)
{
    return v.fireElementMouseEvent(a.t(1), a.t(2), a.t(3), a.b(4), a.b(5), a.i(6), a.i(7), a.i(8), a.i(9),
                                   a.i(10), a.t(11), a.t(12), a.t(13), a.b(14));
}

std::string fireTouchEvent(WebView& v, const Args& a)
{
    return v.fireTouchEvent(a.t(1), a.t(2), a.t(3), a.b(4), a.b(5), a.i(6), a.t(7), a.t(8), a.t(9), a.b(10));
}

std::string getPageUrl(WebView& v, const Args& a) { return v.getPageUrl(a.t(1), a.b(2)); }
std::string getDocumentProperty(WebView& v, const Args& a) { return v.getDocumentProperty(a.t(1)); }
std::string getPageText(WebView& v, const Args&) { return v.getPageText(); }
std::string getPageSource(WebView& v, const Args&) { return v.getPageSource(); }

// Both coordinates are always passed, so an empty one scrolls to 0.
std::string scrollTo(WebView& v, const Args& a) { return v.scrollTo(a.i(1), a.i(2)); }

std::string getScrollPosition(WebView& v, const Args& a)
{
    int x = a.i(1), y = a.i(2);
    return v.getScrollPosition(x, y);
}

std::string blockAlerts(WebView& v, const Args&) { return v.blockAlerts(); }
std::string clickAtPoint(WebView& v, const Args& a) { return v.clickAtPoint(a.i(1), a.i(2)); }
std::string getReferrer(WebView& v, const Args&) { return v.getReferrer(); }

// The number of elements of the tag (that match the text, when given).
std::string listElements(WebView& v, const Args& a)
{
    return std::to_string(v.listElements(a.t(1), a.t(2), a.b(3), a.b(4)));
}

// The locator script the element commands would run, without its final line
// break.
std::string buildLocatorScript(WebView& v, const Args& a)
{
    return trimLineBreaks(v.buildLocatorScript(a.t(1), a.t(2), a.i(3), a.t(4), a.t(5), a.t(6)));
}

std::string runFrameScript(WebView& v, const Args& a) { return v.runFrameScript(a.t(1), a.t(2)); }
std::string runScriptText(WebView& v, const Args& a) { return v.runScriptText(a.t(1), a.b(2)); }

// The click goes to the view's own host window: a window handle written in a
// script means nothing here, so argument 3 is not used.
std::string moveToElement(WebView& v, const Args& a)
{
    const int r = v.moveToElement(a.t(1), a.t(2), v.engine().hostWindow(), a.b(4), a.i(5), a.t(6), a.t(7),
                                  a.t(8), a.b(9));
    return r == 1 ? "success" : "error";
}

// The handler column of the command table, row for row.
constexpr Handler kHandlers[] = {
#define COMMAND(name, count, parameters, handler) &handler,
#include "fillscript/commands.def"
#undef COMMAND
};
static_assert(std::size(kHandlers) == kCommandCount);

}  // namespace

std::string executeCommand(WebView& view, const std::string& name, const std::vector<std::string>& args)
{
    const int row = findCommand(name);
    if (row < 0)
        return {};
    return kHandlers[row](view, Args{args});
}

WebViewExecutor::WebViewExecutor(const WebView& view) : view_(std::make_unique<WebView>(view)) {}

WebViewExecutor::~WebViewExecutor() = default;

std::string WebViewExecutor::execute(const std::string& name, const std::vector<std::string>& args)
{
    // The reason left by an earlier line is not this line's.
    const wkeWebView handle = view_->engine().getViewHandle();
    const auto takeFailure = [handle] {
        const char16_t* r = handle ? WKE_CALL(wkeTakeRunFailure)(handle) : nullptr;
        return r ? rt::utf16ToGb(r) : std::string();
    };
    takeFailure();
    const int unansweredBefore = view_->unansweredRuns();
    std::string result;
    if (!fileFolder_.isEmpty() && findCommand(name) == int(commandRow("填表操作_上传文件")) && args.size() > 2) {
        std::vector<std::string> resolved = args;
        resolved[2] = resolvedPaths(args[2], fileFolder_);
        result = executeCommand(*view_, name, resolved);
    } else {
        result = executeCommand(*view_, name, args);
    }
    lastUnanswered_ = view_->unansweredRuns() != unansweredBefore;
    reason_ = takeFailure();
    return result;
}

std::string resolvedPaths(const std::string& paths, const QString& folder)
{
    std::string out;
    const QDir base(folder);
    for (const std::string& piece : webview::bridge::splitText(paths, "|")) {
        if (!out.empty())
            out += '|';
        out += piece.empty() ? piece : rt::qstringToGb(base.absoluteFilePath(rt::gbToQString(piece)));
    }
    return out;
}

}  // namespace fillscript
