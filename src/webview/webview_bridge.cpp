// Page script bridge of WebView and EngineView: runs of the page library plus
// a short script, element and page operations, and their result handling.
#include "webview/webview.h"

#include "webview/bridge/scripts.h"
#include "webview/engineloader.h"
#include "webview/engineview_p.h"

#include "runtime/gbtext.h"
#include "runtime/textcodec.h"

#include <QEventLoop>
#include <QTimer>

#include <functional>
#include <vector>

namespace webview {

namespace b = bridge;

// ---- EngineView -------------------------------------------------------------

jsValue EngineView::runScript(const std::string& script)
{
    return WKE_CALL(wkeRunJSW)(d->view, wideText(script).c_str());
}

jsValue EngineView::runScriptWide(const QByteArray& script)
{
    return runScriptWide(wideFromBytes(script));
}

jsValue EngineView::runScriptWide(const std::u16string& script)
{
    const jsValue value = WKE_CALL(wkeRunJSW)(d->view, script.c_str());
    if (value == 0 && d->view)
        ++d->unansweredRuns;  // the page did not answer in time (or went away)
    return value;
}

int EngineView::unansweredRuns() const { return d->unansweredRuns; }

jsExecState EngineView::globalExec() const { return WKE_CALL(wkeGlobalExec)(d->view); }

// ---- WebView ----------------------------------------------------------------

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

namespace {

constexpr int kPollPauseMs = 500;

// Runs code (a function body) in one document and gives its value's text.
using CodeRun = std::function<std::string(const std::u16string& code)>;

std::string valueText(jsExecState state, jsValue value)
{
    const char16_t* text = WKE_CALL(jsToStringW)(state, value);
    return text ? rt::utf16ToGb(text) : std::string();
}

std::string runLibrary(const CodeRun& run, const std::string& script, bool keepsText)
{
    // The library stands in the page from an earlier run, or is installed
    // now (a new document, or a page that removed it) and the run made again:
    // a run that finds it missing has done nothing else. A page where it
    // cannot stand gets it inline.
    const std::u16string body = rt::gbToUtf16(script);
    std::string result = run(b::libraryRun(body, keepsText));
    if (result != b::libraryMissingMark())
        return result;
    run(b::libraryInstaller());
    result = run(b::libraryRun(body, keepsText));
    if (result != b::libraryMissingMark())
        return result;
    return run(b::inlineRun(body));
}

// A run in the frame reached from the main frame through child indexes.
CodeRun frameRun(EngineView& engine, const std::vector<int>& frame, bool wholeScript = false)
{
    return [&engine, frame, wholeScript](const std::u16string& code) {
        return valueText(engine.globalExec(),
                         WKE_CALL(wkeRunJSInFrameW)(engine.getViewHandle(), frame.data(),
                                                    int(frame.size()), code.c_str(), wholeScript));
    };
}

// The number of steps of a frame path: its pieces between "|".
int frameSteps(std::string_view path)
{
    int steps = 1;
    for (std::size_t at = rt::gbFind(path, "|", 0); at != std::string_view::npos;
         at = rt::gbFind(path, "|", at + 1))
        ++steps;
    return steps;
}

// The page's answer, unless the page's walk of the frame path stopped at a
// frame it cannot enter (one of another origin, or one refusing eval at its
// end): then the frames' own way in, where each step is taken in the
// document of the frame it starts from and runIn runs in the frame reached.
// missing answers a path that names no frame. Where the engine runs scripts
// in the main frame only, the first run in a subframe gives "error" (and the
// engine says why on the console).
std::string orThroughFrames(const std::string& pageAnswer, EngineView& engine, const std::string& path,
                            bool windows,
                            const std::function<std::string(const std::vector<int>& frame)>& runIn,
                            const std::string& missing)
{
    if (pageAnswer != b::frameBarrierMark())
        return pageAnswer;
    std::vector<int> frame;
    const int steps = frameSteps(path);
    for (int k = 0; k < steps; ++k) {
        const std::string step = runLibrary(frameRun(engine, frame), b::frameStep(path, k, windows), false);
        if (step == "stay" && k > 0)
            continue;
        if (step == "stay" || step == "-1")
            return missing;
        if (step.empty() || step.find_first_not_of("0123456789") != std::string::npos)
            return "error";  // failed in the page, or no subframe scripts here
        frame.push_back(b::readNumber(step));
    }
    return runIn(frame);
}

}  // namespace

jsValue WebView::runScript(const std::string& script) { return m_engine.runScript(script); }

jsExecState WebView::globalExec() const { return m_engine.globalExec(); }

std::string WebView::runScriptText(const std::string& script, bool)
{
    // A frame walk that stops at a frame of another origin is an error here;
    // the runs that carry a frame path take the frames' way in instead.
    std::string result = runWithLibrary(script, true);
    return result == b::frameBarrierMark() ? "error" : result;
}

std::string WebView::runWithLibrary(const std::string& script, bool keepsText)
{
    const jsExecState state = m_engine.globalExec();
    return runLibrary(
        [&](const std::u16string& code) { return valueText(state, m_engine.runScriptWide(code)); },
        script, keepsText);
}

std::string WebView::engineStringToText(wkeString string) const
{
    const char16_t* text = WKE_CALL(wkeGetStringW)(string);
    return text ? rt::utf16ToGb(text) : std::string();
}

std::string WebView::buildLocatorScript(const std::string& tag, const std::string& key, int skip,
                                        const std::string& attribute, const std::string& frame,
                                        const std::string& step) const
{
    return b::locator(tag, key, skip, attribute, frame, step);
}

std::string WebView::runFrameScript(const std::string& frame, const std::string& code)
{
    // Where the page cannot eval in the frame, the code runs in the frame itself.
    return orThroughFrames(
        runWithLibrary(b::runFrameScript(frame, code), false), m_engine, frame, true,
        [&](const std::vector<int>& at) {
            return frameRun(m_engine, at, true)(rt::gbToUtf16(b::frameScript(code)));
        },
        "error");
}

// Element operations: locator script + the operation's part; a frame path the
// page's walk cannot follow is taken through the frames themselves.
std::string WebView::runLocated(const std::string& tag, const std::string& key, int skip,
                                const std::string& frame, const std::string& attribute,
                                const std::string& step, const std::string& part)
{
    return orThroughFrames(
        runWithLibrary(b::locator(tag, key, skip, attribute, frame, step) + part, true), m_engine, frame, false,
        [&](const std::vector<int>& at) {
            return runLibrary(frameRun(m_engine, at), b::frameLocator(tag, key, skip, attribute, step) + part,
                              true);
        },
        "undefined");
}

#define LOCATOR_PARAMS                                                                         \
    int skip, const std::string &frame, const std::string &attribute, const std::string &step, \
        bool gbkFlag
#define ELEMENT_RUN(part) ((void)gbkFlag, runLocated(tag, key, skip, frame, attribute, step, (part)))
#define SIMPLE_ELEMENT_OP(name, part)                                                      \
    std::string WebView::name(const std::string& tag, const std::string& key, LOCATOR_PARAMS) \
    {                                                                                      \
        return ELEMENT_RUN(part);                                                          \
    }

SIMPLE_ELEMENT_OP(getElementPosition, b::getElementPosition())
SIMPLE_ELEMENT_OP(getChecked, b::getChecked())
SIMPLE_ELEMENT_OP(getCanvasImage, b::getCanvasImage())
SIMPLE_ELEMENT_OP(getValue, b::getValue())
SIMPLE_ELEMENT_OP(getInnerHtml, b::getInnerHtml())
SIMPLE_ELEMENT_OP(getImageSrc, b::getImageSrc())
SIMPLE_ELEMENT_OP(click, b::click())
SIMPLE_ELEMENT_OP(focus, b::focus())
SIMPLE_ELEMENT_OP(blur, b::blur())
SIMPLE_ELEMENT_OP(fireChange, b::fireElementEvent("change"))
SIMPLE_ELEMENT_OP(fireKeyUp, b::fireElementEvent("keyup"))
SIMPLE_ELEMENT_OP(fireKeyDown, b::fireElementEvent("keydown"))
SIMPLE_ELEMENT_OP(fireKeyPress, b::fireElementEvent("keypress"))
SIMPLE_ELEMENT_OP(hideElement, b::hideElement())

// Operations with one argument of their own before the skip count.
#define ELEMENT_OP_1(name, Type, arg, part)                                                  \
    std::string WebView::name(const std::string& tag, const std::string& key, Type arg,     \
                              LOCATOR_PARAMS)                                                \
    {                                                                                        \
        return ELEMENT_RUN(part);                                                            \
    }

ELEMENT_OP_1(setChecked, bool, state, b::setChecked(state))
ELEMENT_OP_1(setSelectedIndex, int, index, b::setSelectedIndex(index))
ELEMENT_OP_1(setComboValue, const std::string&, value, b::setComboValue(value))
ELEMENT_OP_1(selectOptionByText, const std::string&, optionText, b::selectOptionByText(optionText))
ELEMENT_OP_1(setValue, const std::string&, value, b::setValue(value))
ELEMENT_OP_1(setInnerHtml, const std::string&, html, b::setInnerHtml(html))
ELEMENT_OP_1(getProperty, const std::string&, propertyName, b::getProperty(propertyName))
ELEMENT_OP_1(callElementMethod, const std::string&, methodName, b::callElementMethod(methodName))
ELEMENT_OP_1(fireElementEvent, const std::string&, eventName, b::fireElementEvent(eventName))
ELEMENT_OP_1(runElementScript, const std::string&, statement, b::runElementScript(statement))
ELEMENT_OP_1(getElementAttribute, const std::string&, attributeName,
             b::getElementAttribute(attributeName))

std::string WebView::setProperty(const std::string& tag, const std::string& key,
                                 const std::string& propertyName, const std::string& value,
                                 LOCATOR_PARAMS)
{
    return ELEMENT_RUN(b::setProperty(propertyName, value));
}

std::string WebView::setElementAttribute(const std::string& tag, const std::string& key,
                                         const std::string& attributeName,
                                         const std::string& value, LOCATOR_PARAMS)
{
    return ELEMENT_RUN(b::setElementAttribute(attributeName, value));
}

std::string WebView::fireElementMouseEvent(const std::string& tag, const std::string& key,
                                           const std::string& eventName, bool bubbles,
                                           bool cancelable, int screenX, int screenY, int clientX,
                                           int clientY, LOCATOR_PARAMS)
{
    return ELEMENT_RUN(
        b::fireElementMouseEvent(eventName, bubbles, cancelable, screenX, screenY, clientX, clientY));
}

std::string WebView::fireTouchEvent(const std::string& tag, const std::string& key,
                                    const std::string& eventName, bool bubbles, bool cancelable,
                                    LOCATOR_PARAMS)
{
    return ELEMENT_RUN(b::fireTouchEvent(eventName, bubbles, cancelable));
}

bool WebView::waitForElement(const std::string& tag, const std::string& key, int tries,
                             LOCATOR_PARAMS)
{
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (ELEMENT_RUN(b::waitForElement()) == "true")
            return true;
        pause(kPollPauseMs);
    }
    return false;
}

std::string WebView::getSelectedOption(const std::string& tag, const std::string& key, int& index,
                                       std::string& value, std::string& text, LOCATOR_PARAMS)
{
    return b::readSelectedOption(ELEMENT_RUN(b::getSelectedOption()), index, value, text);
}

std::string WebView::listOptions(const std::string& tag, const std::string& key,
                                 std::vector<std::string>& texts, std::vector<std::string>& values,
                                 LOCATOR_PARAMS)
{
    return b::readOptionList(ELEMENT_RUN(b::listOptions()), texts, values);
}

std::string WebView::dragElement(const std::string& tag, const std::string& key, int startX,
                                 int startY, int endX, int endY, LOCATOR_PARAMS)
{
    const std::string pressed = fireElementMouseEvent(tag, key, "mousedown", true, true, 1, 1, startX,
                                                      startY, skip, frame, attribute, step, gbkFlag);
    if (pressed != "success")
        return pressed;
    fireElementMouseEvent(tag, key, "mousemove", true, true, 1, 1, endX, endY, skip, frame,
                          attribute, step, gbkFlag);
    return fireElementMouseEvent(tag, key, "mouseup", true, true, 1, 1, endX, endY, skip, frame,
                                 attribute, step, gbkFlag);
}

#undef ELEMENT_OP_1
#undef SIMPLE_ELEMENT_OP
#undef ELEMENT_RUN
#undef LOCATOR_PARAMS

// ---- Page operations ----------------------------------------------------------

std::string WebView::navigate(const std::string& url) { return runScriptText(b::navigate(url)); }

std::string WebView::getPageUrl(const std::string& frame, bool)
{
    return orThroughFrames(
        runWithLibrary(b::getPageUrl(frame), true), m_engine, frame, false,
        [&](const std::vector<int>& at) { return runLibrary(frameRun(m_engine, at), b::getPageUrl({}), true); },
        "error");
}

bool WebView::waitForUrl(int seconds, const std::string& text)
{
    const int checks = 2 * (seconds > 0 ? seconds : 40);
    for (int i = 0; i < checks; ++i) {
        if (rt::gbFind(getPageUrl(), text) != std::string::npos)
            return true;
        pause(kPollPauseMs);
    }
    return false;
}

std::string WebView::getDocumentProperty(const std::string& propertyName)
{
    return runScriptText(b::getDocumentProperty(propertyName));
}

std::string WebView::getPageText() { return runScriptText(b::getPageText()); }
std::string WebView::getPageSource() { return runScriptText(b::getPageSource()); }

std::string WebView::scrollTo(std::optional<int> x, std::optional<int> y)
{
    return runScriptText(b::scrollTo(x, y));
}

std::string WebView::getScrollPosition(int& x, int& y)
{
    return b::readScrollPosition(runScriptText(b::getScrollPosition()), x, y);
}

std::string WebView::blockAlerts() { return runScriptText(b::blockAlerts()); }

std::string WebView::clickAtPoint(int x, int y) { return runScriptText(b::clickAtPoint(x, y)); }

std::string WebView::getReferrer() { return runScriptText(b::getReferrer()); }

int WebView::listElements(const std::string& tag, const std::string& text, bool mark, bool)
{
    return b::readNumber(runScriptText(b::listElements(tag, text, mark)));
}

}  // namespace webview
