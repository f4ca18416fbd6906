#pragma once
// State of an EngineView, shared by its copies. For the web view's own source
// files only.
#include "webview/engineview.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>

namespace webview {

class HostFilter;

struct EngineView::Shared {
    wkeWebView view = nullptr;
    QPointer<QWidget> host;
    // The host's event filter while hosting (the host's "window procedure").
    HostFilter* filter = nullptr;
    int resizeBorders = 0;
    // left, top, right, bottom; all 0 when unset.
    int maxLeft = 0, maxTop = 0, maxRight = 0, maxBottom = 0;
    std::array<std::unique_ptr<CallbackAdapter>, kCallbackSlotCount> callbackThunks;
    // The host as it was before it was taken over.
    QPointer<QWidget> savedFocusProxy;
    bool savedTranslucent = false;
    bool layered = false;
    int unansweredRuns = 0;  // script runs the page gave no answer to
};

// Name of the host property that names the hosting EngineView state.
inline constexpr char kHostProperty[] = "wkeEThis";

// A pause that keeps the program responsive: events, timers and engine
// callbacks run meanwhile.
void pause(int ms);

// Text conversions at the engine.
std::u16string wideText(const std::string& text);
std::u16string wideFromBytes(const QByteArray& bytes);

}  // namespace webview
