// wkeRunScriptInWorld, wkeRunScriptInFrameWorld: a script run that does not
// wait, in the main frame or a subframe, in the page's main world or in the
// engine's isolated world, for the program's own traffic with a page (the
// form-fill bridge, the recorder). Qt WebEngine runs such scripts through
// the engine, so the page's Content-Security-Policy does not govern the run.
#include "engine/enginepage.h"
#include "engine/events.h"
#include "engine/syncrun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QWebEngineScript>

#include <memory>
#include <span>

namespace engine {
namespace {

struct PendingAnswer {
    bool delivered = false;
    wkeWebView view = nullptr;
    wkeScriptAnswerCallback callback = nullptr;
    void* param = nullptr;
    QMetaObject::Connection pageGone;
};

// Hands the answer to the callback once. A value is handed on at once, as
// an inline call (through the handler queue a run took 1.7 ms more, five
// times the run itself). No answer (the page is deleted) and no value (which
// is also what Qt answers when it drops a page's pending runs) go through the
// queue: the page may be half gone then, and must not be asked again.
void deliver(const std::shared_ptr<PendingAnswer>& pending, std::optional<QVariant> value)
{
    if (pending->delivered)
        return;
    pending->delivered = true;
    QObject::disconnect(pending->pageGone);
    std::optional<std::u16string> json;
    if (value) {
        const QJsonArray array{QJsonValue::fromVariant(*value)};
        json = QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)).toStdU16String();
    }
    const auto call = [pending, json] {
        wkeWebView view = liveView(pending->view) ? pending->view : nullptr;
        pending->callback(view, pending->param, json ? json->c_str() : nullptr);
    };
    if (value && value->isValid()) {
        events::InlineCall inlineCall;
        call();
    } else {
        events::postTask(call);
    }
}

}  // namespace
}  // namespace engine

extern "C" {

WKE_API bool wkeRunScriptInWorld(wkeWebView handle, int world, const char16_t* script,
                                 wkeScriptAnswerCallback callback, void* param)
{
    return wkeRunScriptInFrameWorld(handle, nullptr, 0, world, script, callback, param);
}

WKE_API bool wkeRunScriptInFrameWorld(wkeWebView handle, const int* path, int depth, int world,
                                      const char16_t* script, wkeScriptAnswerCallback callback,
                                      void* param)
{
    wkeViewState* view = engine::liveView(handle);
    if (!view || !view->page || !callback)
        return false;
    const quint32 worldId =
        world == WKE_WORLD_ISOLATED ? QWebEngineScript::ApplicationWorld : QWebEngineScript::MainWorld;
    const std::span<const int> frame =
        path && depth > 0 ? std::span<const int>(path, std::size_t(depth)) : std::span<const int>();
    auto pending = std::make_shared<engine::PendingAnswer>();
    pending->view = handle;
    pending->callback = callback;
    pending->param = param;
    // A page deleted before it answers still gets its caller an answer.
    pending->pageGone = QObject::connect(view->page, &QObject::destroyed,
                                         [pending] { engine::deliver(pending, std::nullopt); });
    if (engine::startFrameRun(view->page, script ? QString::fromUtf16(script) : QString(), frame, worldId,
                              [pending](const QVariant& value) { engine::deliver(pending, value); }))
        return true;
    QObject::disconnect(pending->pageGone);
    return false;
}

}  // extern "C"
