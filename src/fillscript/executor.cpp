#include "fillscript/executor.h"

#include "fillscript/arguments.h"
#include "runtime/textcodec.h"
#include "webview/bridge/scripts.h"
#include "webview/engineloader.h"
#include "webview/webview.h"

#include <QDir>

#include <functional>
#include <unordered_map>

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

using Handler = std::function<std::string(WebView&, const Args&)>;

// Locator-only element operations: (t1, t2, i3, t4, t5, t6, b7).
using LocatorOp = std::string (WebView::*)(const std::string&, const std::string&, int,
                                           const std::string&, const std::string&,
                                           const std::string&, bool);
Handler locatorOnly(LocatorOp op)
{
    return [op](WebView& v, const Args& a) {
        return (v.*op)(a.t(1), a.t(2), a.i(3), a.t(4), a.t(5), a.t(6), a.b(7));
    };
}

// Element operations with one text before the locator rest:
// (t1, t2, t3, i4, t5, t6, t7, b8).
using TextOp = std::string (WebView::*)(const std::string&, const std::string&,
                                        const std::string&, int, const std::string&,
                                        const std::string&, const std::string&, bool);
Handler withText(TextOp op)
{
    return [op](WebView& v, const Args& a) {
        return (v.*op)(a.t(1), a.t(2), a.t(3), a.i(4), a.t(5), a.t(6), a.t(7), a.b(8));
    };
}

// Element operations with two texts: (t1, t2, t3, t4, i5, t6, t7, t8, b9).
using TwoTextOp = std::string (WebView::*)(const std::string&, const std::string&,
                                           const std::string&, const std::string&, int,
                                           const std::string&, const std::string&,
                                           const std::string&, bool);
Handler withTwoTexts(TwoTextOp op)
{
    return [op](WebView& v, const Args& a) {
        return (v.*op)(a.t(1), a.t(2), a.t(3), a.t(4), a.i(5), a.t(6), a.t(7), a.t(8), a.b(9));
    };
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

std::unordered_map<std::string, Handler> buildTable()
{
    std::unordered_map<std::string, Handler> t;
    const auto add = [&t](const char* utf8Name, Handler h) { t.emplace(rt::gb(utf8Name), std::move(h)); };

    add("填表_跳转地址", [](WebView& v, const Args& a) { return v.navigate(a.t(1)); });
    add("填表操作_取元素绝对位置", locatorOnly(&WebView::getElementPosition));
    // Existence: polls up to the given number of times, 500 ms apart.
    add("填表操作_判断元素是否存在", [](WebView& v, const Args& a) {
        const bool found = v.waitForElement(a.t(1), a.t(2), a.i(3), a.i(4), a.t(5), a.t(6), a.t(7), a.b(8));
        return std::string(found ? "true" : "false");
    });
    add("填表操作_取选中状态", locatorOnly(&WebView::getChecked));
    add("填表操作_取canvas图片", locatorOnly(&WebView::getCanvasImage));
    add("填表操作_置选中状态", [](WebView& v, const Args& a) {
        return v.setChecked(a.t(1), a.t(2), a.b(3), a.i(4), a.t(5), a.t(6), a.t(7), a.b(8));
    });
    add("填表操作_置组合框索引", [](WebView& v, const Args& a) {
        return v.setSelectedIndex(a.t(1), a.t(2), a.i(3), a.i(4), a.t(5), a.t(6), a.t(7), a.b(8));
    });
    add("填表操作_取组合框索引信息", [](WebView& v, const Args& a) {
        // The outs are written by the operation and not used further.
        int index = a.i(3);
        std::string value = a.t(4), text = a.t(5);
        return v.getSelectedOption(a.t(1), a.t(2), index, value, text, a.i(6), a.t(7), a.t(8),
                                   a.t(9), a.b(10));
    });
    add("填表操作_置组合框内容", withText(&WebView::setComboValue));
    add("填表操作_置组合框按内容选中", withText(&WebView::selectOptionByText));
    // The options as "text|value" entries separated by ",".
    add("填表操作_枚举组合框内容", [](WebView& v, const Args& a) {
        std::vector<std::string> texts, values;
        const std::string r = v.listOptions(a.t(1), a.t(2), texts, values, a.i(5), a.t(6), a.t(7),
                                            a.t(8), a.b(9));
        return r == "success" ? joinOptions(texts, values) : r;
    });
    add("填表操作_取内容", locatorOnly(&WebView::getValue));
    add("填表操作_取源码", locatorOnly(&WebView::getInnerHtml));
    add("填表操作_上传文件", withText(&WebView::uploadFile));
    add("填表操作_写内容", withText(&WebView::setValue));
    add("填表操作_写源码", withText(&WebView::setInnerHtml));
    add("填表操作_取图片地址", locatorOnly(&WebView::getImageSrc));
    add("填表操作_写属性", withTwoTexts(&WebView::setProperty));
    add("填表操作_取属性", withText(&WebView::getProperty));
    add("填表事件_点击", locatorOnly(&WebView::click));
    add("填表事件_置焦点", locatorOnly(&WebView::focus));
    add("填表事件_失去焦点", locatorOnly(&WebView::blur));
    add("填表事件_改变内容", locatorOnly(&WebView::fireChange));
    add("填表事件_键盘弹起", locatorOnly(&WebView::fireKeyUp));
    add("填表事件_键盘按住", locatorOnly(&WebView::fireKeyDown));
    add("填表事件_键盘按下", locatorOnly(&WebView::fireKeyPress));
    add("填表事件_滑动", [](WebView& v, const Args& a) {
        return v.dragElement(a.t(1), a.t(2), a.i(3), a.i(4), a.i(5), a.i(6), a.i(7), a.t(8), a.t(9),
                             a.t(10), a.b(11));
    });
    add("填表事件_方法", withText(&WebView::callElementMethod));
    add("填表事件_普通事件", withText(&WebView::fireElementEvent));
    add("填表事件_鼠标事件", [](WebView& v, const Args& a) {
        return v.fireElementMouseEvent(a.t(1), a.t(2), a.t(3), a.b(4), a.b(5), a.i(6), a.i(7),
                                       a.i(8), a.i(9), a.i(10), a.t(11), a.t(12), a.t(13), a.b(14));
    });
    add("填表事件_触摸事件", [](WebView& v, const Args& a) {
        return v.fireTouchEvent(a.t(1), a.t(2), a.t(3), a.b(4), a.b(5), a.i(6), a.t(7), a.t(8),
                                a.t(9), a.b(10));
    });
    add("填表_取网址", [](WebView& v, const Args& a) { return v.getPageUrl(a.t(1), a.b(2)); });
    add("填表_取页面属性", [](WebView& v, const Args& a) { return v.getDocumentProperty(a.t(1)); });
    add("填表_取页面文本", [](WebView& v, const Args&) { return v.getPageText(); });
    add("填表_取页面源码", [](WebView& v, const Args&) { return v.getPageSource(); });
    // Both coordinates are always passed, so an empty one scrolls to 0.
    add("填表_控制滚动条", [](WebView& v, const Args& a) { return v.scrollTo(a.i(1), a.i(2)); });
    add("填表_取滚动条位置", [](WebView& v, const Args& a) {
        int x = a.i(1), y = a.i(2);
        return v.getScrollPosition(x, y);
    });
    add("填表_屏蔽信息框", [](WebView& v, const Args&) { return v.blockAlerts(); });
    add("填表_坐标点击", [](WebView& v, const Args& a) { return v.clickAtPoint(a.i(1), a.i(2)); });
    add("填表_取网页来路", [](WebView& v, const Args&) { return v.getReferrer(); });
    // The number of elements of the tag (that match the text, when given).
    add("填表_遍历元素", [](WebView& v, const Args& a) {
        return std::to_string(v.listElements(a.t(1), a.t(2), a.b(3), a.b(4)));
    });
    // The locator script the element commands would run, without its final
    // line break.
    add("内部_构造对象代码", [](WebView& v, const Args& a) {
        return trimLineBreaks(v.buildLocatorScript(a.t(1), a.t(2), a.i(3), a.t(4), a.t(5), a.t(6)));
    });
    add("填表_执行框架内JS代码", [](WebView& v, const Args& a) { return v.runFrameScript(a.t(1), a.t(2)); });
    add("填表_执行自定义JS代码", [](WebView& v, const Args& a) { return v.runScriptText(a.t(1), a.b(2)); });
    add("填表操作_执行自定义代码_返回值", withText(&WebView::runElementScript));
    add("填表操作_写自定义属性", withTwoTexts(&WebView::setElementAttribute));
    add("填表操作_取自定义属性", withText(&WebView::getElementAttribute));
    // The click goes to the view's own host window: a window handle written in
    // a script means nothing here, so argument 3 is not used.
    add("填表操作_移动到目标元素", [](WebView& v, const Args& a) {
        const int r = v.moveToElement(a.t(1), a.t(2), v.engine().hostWindow(), a.b(4), a.i(5),
                                      a.t(6), a.t(7), a.t(8), a.b(9));
        return std::string(r == 1 ? "success" : "error");
    });
    return t;
}

const std::unordered_map<std::string, Handler>& commandTable()
{
    static const std::unordered_map<std::string, Handler> table = buildTable();
    return table;
}

}  // namespace

std::string executeCommand(WebView& view, const std::string& name, const std::vector<std::string>& args)
{
    const auto& table = commandTable();
    const auto it = table.find(name);
    if (it == table.end())
        return {};
    return it->second(view, Args{args});
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
    if (!fileFolder_.isEmpty() && name == rt::gb("填表操作_上传文件") && args.size() > 2) {
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
