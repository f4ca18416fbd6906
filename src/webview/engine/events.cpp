// Event registrations of the engine interface and the handler queue.
#include "engine/events.h"

#include "engine/syncrun.h"

#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <array>
#include <deque>

namespace engine::events {
namespace {

// The queue's timer interval: a real timer, delivered by the event
// dispatcher only, never from inside Chromium's own work.
constexpr int kQueueIntervalMs = 1;

struct Globals {
    std::deque<std::function<void()>> tasks;
    QTimer* timer = nullptr;
    int inlineDepth = 0;
};

Globals& globals()
{
    static auto* g = new Globals;  // leaked like every engine global
    return *g;
}

// The handlers registered on a view, destroyed with the view.
struct Handlers {
    std::array<Registration, SlotCount> bySlot{};
};

void runQueue()
{
    Globals& g = globals();
    if (g.inlineDepth > 0) {
        g.timer->start();
        return;
    }
    // Tasks posted meanwhile run on the next turn; a task that waits for the
    // page lets the timer run further tasks inside its wait.
    size_t count = g.tasks.size();
    while (count-- > 0 && !g.tasks.empty()) {
        std::function<void()> task = std::move(g.tasks.front());
        g.tasks.pop_front();
        task();
    }
    if (!g.tasks.empty())
        g.timer->start();
}

void schedule()
{
    Globals& g = globals();
    if (!g.timer) {
        g.timer = new QTimer;
        g.timer->setSingleShot(true);
        g.timer->setInterval(kQueueIntervalMs);
        QObject::connect(g.timer, &QTimer::timeout, [] { runQueue(); });
    }
    if (!g.timer->isActive())
        g.timer->start();
}

}  // namespace

Registration registration(wkeViewState* view, Slot slot)
{
    return view ? view->extension<Handlers>().bySlot[size_t(slot)] : Registration();
}

void setRegistration(wkeViewState* view, Slot slot, void* callback, void* param)
{
    if (view)
        view->extension<Handlers>().bySlot[size_t(slot)] = Registration{callback, callback ? param : nullptr};
}

void postTask(std::function<void()> task)
{
    globals().tasks.push_back(std::move(task));
    schedule();
}

void post(wkeViewState* view, Slot slot, std::function<void(wkeViewState*, Registration)> task)
{
    if (!view || !registration(view, slot))
        return;  // nobody listens now: nothing to keep
    postTask([handle = view, id = view->id, slot, task = std::move(task)] {
        wkeViewState* live = liveView(handle);
        if (!live || live->id != id)
            return;
        const Registration r = registration(live, slot);
        if (r)
            task(live, r);
    });
}

InlineCall::InlineCall()
{
    ++globals().inlineDepth;
}

InlineCall::~InlineCall()
{
    --globals().inlineDepth;
}

bool insideInlineCall()
{
    return globals().inlineDepth > 0;
}

std::optional<QVariant> evaluate(QWebEnginePage* page, const QString& script, int timeoutMs)
{
    if (insideInlineCall())
        return std::nullopt;  // the page waits for the handler: it cannot answer
    QPointer<QWebEnginePage> guard = page;
    std::optional<QVariant> value =
        runScriptAndWait(page, script, QWebEngineScript::ApplicationWorld, timeoutMs);
    if (!guard)
        return std::nullopt;
    return value;
}

}  // namespace engine::events
