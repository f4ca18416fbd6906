// Script functions of the engine interface: synchronous runs in a page's main
// world, script values and engine texts.
//
// A run wraps its text as the body of a function, which the page calls in its
// main world (so `text = ...` without a declaration sets the page's global).
// The page turns the result into text itself (String()), because Qt hands
// back only strings, numbers and booleans. Qt answers asynchronously; the run
// waits for the answer in a nested event loop that leaves user input queued.
// A run in a subframe goes to that frame's own document, whatever its origin,
// where Qt offers frames (qtfeatures.h).
#include "engine/enginepage.h"
#include "engine/events.h"
#include "engine/pacing.h"
#include "engine/qtfeatures.h"
#include "engine/scriptvalues.h"
#include "engine/syncrun.h"

#include <QWebEngineScript>
#if TOLVANE_FRAME_SCRIPTS
#include <QWebEngineFrame>
#endif

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QVariant>

#include <atomic>
#include <deque>
#include <memory>
#include <span>
#include <utility>

namespace engine {
namespace {

// How long a run waits for a page still loading its document, and for the
// page's answer. A page busy for longer gives no value; its late answer is
// dropped.
constexpr int kDocumentWaitMs = 10000;
constexpr int kAnswerWaitMs = 10000;

// The text of a run that failed in the page (an exception or a syntax
// error); the page's own message goes to its console.
const QString kErrorText = QStringLiteral("error");
const QString kInlineRunRefused = QStringLiteral(
    "engine: a page script cannot run from inside a handler the page waits for (alert, confirm, "
    "prompt, navigation, new view, download, request about to be sent); run it after the handler "
    "has returned");

const QString kNoFrameScripts = QStringLiteral(
    "engine: this Qt WebEngine runs page scripts in the main frame only: a frame of another "
    "origin, or eval in a frame whose policy forbids it, cannot be reached (Qt 6.8 can)");
const QString kNoSuchFrame = QStringLiteral("frame: the frame is no longer there");

struct ValueStore {
    std::deque<std::pair<jsValue, QString>> values;
    jsValue next = 1;
    std::u16string handedOut;  // what jsToStringW returned last
};

constexpr std::size_t kKeptValues = 64;

ValueStore& store()
{
    static auto* s = new ValueStore;  // leaked like every engine global
    return *s;
}

// The execution state of a view: the address of a per-view record.
struct ExecState {
    char tag = 0;
};

// Why the view's latest run gave "error" or no value, until it is taken.
struct RunFailure {
    std::u16string reason;
    std::u16string handedOut;
};

void noteFailure(wkeViewState* view, const QString& reason)
{
    view->extension<RunFailure>().reason = reason.toStdU16String();
}

QString wrap(const QString& body)
{
    // The body becomes a function made in the page's global scope (so the
    // wrapper's own names never hide page globals), on lines of its own (so a
    // closing line comment cannot swallow the wrapper). An exception is
    // written to the page console and answered as ["e", message]; a syntax
    // error makes the whole text fail, which Qt answers with an empty value.
    // The body's function stands in parentheses so that the page compiles it
    // at once rather than scanning it first and compiling it on the call.
    return QStringLiteral(
               "(function(f){try{return [\"v\",String(f())];}catch(e){var m;try{m=String(e);}"
               "catch(x){m=\"exception\";}try{console.error(\"error: \"+m);}catch(x){}"
               "return [\"e\",m];}})((function(){\n") +
           body + QStringLiteral("\n}))");
}

// Waits while the main frame is loading a document that is not parsed yet.
void waitForDocument(wkeViewState* view)
{
    if (!view->loading || view->documentReady)
        return;
    QEventLoop loop;
    QPointer<EnginePage> page = view->page;
    QObject::connect(page, &EnginePage::documentReady, &loop, &QEventLoop::quit);
    QObject::connect(page, &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
    QObject::connect(page, &QObject::destroyed, &loop, &QEventLoop::quit);
    QTimer::singleShot(kDocumentWaitMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// Where a run goes: the main frame, or the subframe reached through child
// indexes; a whole script is run as it is and answers ["v", text] itself.
struct RunTarget {
    std::span<const int> frame;
    bool wholeScript = false;
};

jsValue run(wkeWebView handle, const QString& body, RunTarget target = {})
{
    wkeViewState* view = liveView(handle);
    if (!view || !view->page)
        return 0;
    view->extension<RunFailure>().reason.clear();
    if (events::insideInlineCall()) {
        // The page waits for this handler's answer, so it cannot run a script
        // before the handler returns: fail at once instead of waiting.
        if (view->page->hooks.console)
            view->page->hooks.console(QWebEnginePage::ErrorMessageLevel, kInlineRunRefused, 0, QString());
        noteFailure(view, kInlineRunRefused);
        return keepScriptValue(kErrorText);
    }
    if (!target.frame.empty() && !kFrameScripts) {
        static std::atomic_flag told;
        if (!told.test_and_set())
            qWarning("%s", qPrintable(kNoFrameScripts));
        noteFailure(view, kNoFrameScripts);
        return keepScriptValue(kErrorText);
    }
    waitForDocument(view);
    view = liveView(handle);  // the view or its page may have gone meanwhile
    if (!view || !view->page)
        return 0;
    keepPageFocused(view);

    const QString script = target.wholeScript ? body : wrap(body);
    QWebEnginePage* page = view->page;
    bool started = true;
    pacing::scriptStarting(view);
    const std::optional<QVariant> answer = waitForAnswer(
        page,
        [&](AnswerCallback callback) {
            started = startFrameRun(page, script, target.frame, QWebEngineScript::MainWorld, callback);
            if (!started)
                callback(QVariant());  // nothing to wait for
        },
        kAnswerWaitMs);
    view = liveView(handle);
    pacing::scriptRan(view);  // nothing to tell when the view went away
    if (!started) {
        if (view)
            noteFailure(view, kNoSuchFrame);
        return keepScriptValue(kErrorText);
    }
    if (!answer) {
        qWarning("engine: the page did not answer a script run within %d ms", kAnswerWaitMs);
        if (view)
            noteFailure(view, QStringLiteral("timeout: the page did not answer within %1 s")
                                  .arg(kAnswerWaitMs / 1000));
        return 0;
    }
    const QVariantList list = answer->toList();
    if (list.size() == 2 && list.at(0).toString() == QLatin1String("v"))
        return keepScriptValue(list.at(1).toString());
    // An exception (["e", message]) or a script that did not compile.
    const QString reason = list.size() == 2 ? list.at(1).toString()
                                            : QStringLiteral("syntax: the script did not compile");
    if (list.size() == 2)
        qWarning("engine: a script run failed in the page: %s", qPrintable(reason));
    else
        qWarning("engine: a script run did not compile");
    if (view)
        noteFailure(view, reason);
    return keepScriptValue(kErrorText);
}

}  // namespace

bool startFrameRun(QWebEnginePage* page, const QString& script, std::span<const int> frame,
                   quint32 worldId, AnswerCallback callback)
{
    if (frame.empty()) {
        page->runJavaScript(script, worldId, callback);
        return true;
    }
#if TOLVANE_FRAME_SCRIPTS
    QWebEngineFrame at = page->mainFrame();
    for (const int index : frame) {
        const QList<QWebEngineFrame> children = at.children();
        if (index < 0 || index >= children.size())
            return false;
        at = children.at(index);
    }
    if (!at.isValid())
        return false;
    at.runJavaScript(script, worldId, callback);
    return true;
#else
    Q_UNUSED(script);
    Q_UNUSED(worldId);
    Q_UNUSED(callback);
    return false;
#endif
}

jsValue keepScriptValue(const QString& text)
{
    ValueStore& s = store();
    const jsValue id = s.next++;
    s.values.emplace_back(id, text);
    if (s.values.size() > kKeptValues)
        s.values.pop_front();
    return id;
}

}  // namespace engine

extern "C" {

WKE_API jsValue wkeRunJSW(wkeWebView view, const char16_t* script)
{
    return engine::run(view, script ? QString::fromUtf16(script) : QString());
}

WKE_API jsValue wkeRunJS(wkeWebView view, const char* script)
{
    return engine::run(view, script ? QString::fromUtf8(script) : QString());
}

WKE_API jsValue wkeRunJSInFrameW(wkeWebView view, const int* path, int depth,
                                 const char16_t* script, bool wholeScript)
{
    const std::span<const int> frame =
        path && depth > 0 ? std::span<const int>(path, std::size_t(depth)) : std::span<const int>();
    return engine::run(view, script ? QString::fromUtf16(script) : QString(), {frame, wholeScript});
}

WKE_API jsExecState wkeGlobalExec(wkeWebView handle)
{
    wkeViewState* view = engine::liveView(handle);
    if (!view || !view->page)
        return nullptr;
    return reinterpret_cast<jsExecState>(&view->extension<engine::ExecState>());
}

WKE_API const char16_t* jsToStringW(jsExecState, jsValue value)
{
    engine::ValueStore& s = engine::store();
    for (const auto& [id, text] : s.values) {
        if (id == value) {
            s.handedOut = text.toStdU16String();
            return s.handedOut.c_str();
        }
    }
    return nullptr;
}

WKE_API const char16_t* wkeTakeRunFailure(wkeWebView handle)
{
    wkeViewState* view = engine::liveView(handle);
    if (!view)
        return nullptr;
    auto& failure = view->extension<engine::RunFailure>();
    if (failure.reason.empty())
        return nullptr;
    failure.handedOut = std::exchange(failure.reason, {});
    return failure.handedOut.c_str();
}

WKE_API const char16_t* wkeGetStringW(wkeString string)
{
    return string ? string->text.c_str() : nullptr;
}

}  // extern "C"
