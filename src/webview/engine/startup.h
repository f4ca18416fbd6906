#pragma once
// Engine start-up, the registry of live views and engine shutdown.
#include "engine/viewstate.h"

#include <QStringList>

#include <functional>

namespace engine {

// Starts the engine once: sets the Chromium switches and the sandbox rule.
// Chromium itself comes up with the first profile.
void startEngine();
bool engineStarted();
// True once the application is going down and every page and profile is gone.
bool engineShutDown();

// Chromium switches added by other parts of the library. A source returns the
// switches it needs (e.g. "--proxy-server=..."); it is asked once, at start-up.
// Register from a static initializer of the part's own file:
//     static const bool registered = engine::addChromiumSwitchSource([] { ... });
bool addChromiumSwitchSource(std::function<QStringList()> source);
// The switches the engine starts Chromium with (its own and the registered).
QStringList chromiumSwitches();

// Settings given with the empty view handle, for the views created next.
struct PendingViewSettings {
    StoragePaths storage;
    QString userAgent;
    bool hasUserAgent = false;  // applied to the next view only
};
PendingViewSettings& pendingViewSettings();

// Work to do on every new page of a view (the first one, and each one that
// replaces it when the view moves to other storage). Register from a static
// initializer, like the Chromium switch sources.
bool addPageSetup(std::function<void(wkeViewState* view)> setup);
void runPageSetups(wkeViewState* view);

// Live views.
void registerView(wkeViewState* view);
void unregisterView(wkeViewState* view);

// Deletes every window, widget and page of the view (pages before profiles).
void closeViewWidgets(wkeViewState* view);

// Runs the engine shutdown when the application goes down; call right after
// Qt WebEngine has started (its own shutdown must run after ours).
void registerShutdown();

}  // namespace engine
