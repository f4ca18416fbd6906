#pragma once
// Engine start-up and shutdown: the one place that sets the library's parts
// up, in order, and that sets up each new page of a view.
#include "engine/viewstate.h"

#include <QStringList>

namespace engine {

// Starts the engine once, in this order:
//  1. the sandbox rule (off for root) and the check of the application's
//     OpenGL sharing;
//  2. the network part: the in-process proxy and its TLS authority, which
//     Chromium is pointed at by switch;
//  3. the Chromium switches (the engine's own, then the network part's),
//     merged into QTWEBENGINE_CHROMIUM_FLAGS.
// Chromium itself comes up with the first profile (openPage), which also
// registers the engine's shutdown.
void startEngine();
bool engineStarted();
// True once the application is going down and every page and profile is gone.
bool engineShutDown();

// Settings given with the empty view handle, for the views created next.
struct PendingViewSettings {
    StoragePaths storage;
    QString userAgent;
    bool hasUserAgent = false;  // applied to the next view only
};
PendingViewSettings& pendingViewSettings();

// Sets up every new page of a view (the first one, and each one that replaces
// it when the view moves to other storage), in this order: the profile's
// cookie account, the page's event hooks, the file access rule of a
// restricted view, the network interception.
void setUpPage(wkeViewState* view);

// Deletes every window, widget and page of the view (pages before profiles).
void closeViewWidgets(wkeViewState* view);

// Runs the engine shutdown when the application goes down; call right after
// Qt WebEngine has started (its own shutdown must run after ours).
void registerShutdown();

}  // namespace engine
