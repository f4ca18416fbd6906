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

}  // namespace

jsValue WebView::runScript(const std::string& script) { return m_engine.runScript(script); }

jsExecState WebView::globalExec() const { return m_engine.globalExec(); }

std::string WebView::runScriptText(const std::string& script, bool)
{
    return runWithLibrary(script, true);
}

std::string WebView::runWithLibrary(const std::string& script, bool keepsText)
{
    const jsExecState state = m_engine.globalExec();
    const auto run = [&](const std::u16string& code) {
        const jsValue value = m_engine.runScriptWide(code);
        const char16_t* text = WKE_CALL(jsToStringW)(state, value);
        return text ? rt::utf16ToGb(text) : std::string();
    };
    // The library stands in the page from an earlier run, or is installed
    // now (a new document, or a page that removed it) and the run made again:
    // a run that finds it missing has done nothing else. A page where it
    // cannot stand gets it inline.
    const std::u16string body = rt::gbToUtf16(script);
    std::string result = run(b::libraryRun(body, keepsText));
    if (result != b::libraryMissingMark())
        return result;
    m_engine.runScriptWide(b::libraryInstaller());
    result = run(b::libraryRun(body, keepsText));
    if (result != b::libraryMissingMark())
        return result;
    return run(b::inlineRun(body));
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
    return runWithLibrary(b::runFrameScript(frame, code), false);
}

// Element operations: locator script + the operation's part.
#define LOCATOR_PARAMS                                                                         \
    int skip, const std::string &frame, const std::string &attribute, const std::string &step, \
        bool gbkFlag
#define ELEMENT_RUN(part) \
    runScriptText(b::locator(tag, key, skip, attribute, frame, step) + (part), gbkFlag)
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
    const std::string script = b::locator(tag, key, skip, attribute, frame, step) + b::waitForElement();
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (runScriptText(script, gbkFlag) == "true")
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
    return runScriptText(b::getPageUrl(frame));
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
