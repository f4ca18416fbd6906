#pragma once
// Event registrations of a view and the queue that calls handlers whose
// answer the engine does not need at once. For the library's own sources.
//
// Handlers that decide something at once (navigation, new view, dialogs, a
// request about to be sent, a download) are called inline, from inside Qt
// WebEngine's callback, within an InlineCall scope. Every other handler runs
// from the queue: a timer with a real interval (not a zero-delay call, which
// Qt delivers as a posted event that Chromium's nested work can process)
// empties it while no inline call is on the stack, so those handlers may run
// scripts synchronously.
#include "engine/viewstate.h"

#include <QVariant>

#include <functional>
#include <optional>

class QWebEnginePage;

namespace engine::events {

// Slots, in the order of the eighteen registrations.
enum Slot {
    TitleChanged,
    UrlChanged,
    UrlChanged2,
    AlertBox,
    ConfirmBox,
    PromptBox,
    Navigation,
    CreateView,
    DocumentReady,
    DocumentReady2,
    LoadingFinish,
    Download,
    Console,
    LoadUrlBegin,
    NetResponse,
    LoadUrlEnd,
    DidCreateScriptContext,
    WillReleaseScriptContext,
    SlotCount
};

struct Registration {
    void* callback = nullptr;
    void* param = nullptr;
    explicit operator bool() const { return callback != nullptr; }
};

// The handler registered on the view for slot (empty when none).
Registration registration(wkeViewState* view, Slot slot);
void setRegistration(wkeViewState* view, Slot slot, void* callback, void* param);

// Runs task from the handler queue. The task runs only if the view is still
// alive then; it receives the handler registered at that moment for slot
// (it is not run when there is none).
void post(wkeViewState* view, Slot slot, std::function<void(wkeViewState*, Registration)> task);
// Runs task from the handler queue whatever becomes of any view.
void postTask(std::function<void()> task);

// Marks an inline handler call (and other work done from inside a Qt
// WebEngine callback): the queue waits until no such scope is open.
class InlineCall {
public:
    InlineCall();
    ~InlineCall();
    InlineCall(const InlineCall&) = delete;
    InlineCall& operator=(const InlineCall&) = delete;
};
bool insideInlineCall();

// Runs script in the page's isolated world and waits (processing events but
// not user input) for its value; nullopt when the page does not answer within
// timeoutMs or goes away. For the library's own short reads.
std::optional<QVariant> evaluate(QWebEnginePage* page, const QString& script, int timeoutMs);

}  // namespace engine::events
