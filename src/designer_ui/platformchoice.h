#pragma once
// The window system to run on. On a Wayland session a window cannot place
// itself, so the preview could not stand beside the designer and follow it;
// through XWayland it can.
#include <QProcessEnvironment>

namespace designer {

struct PlatformChoice {
    QByteArray platform;        // for QT_QPA_PLATFORM; empty: leave Qt's own choice
    bool placementLost = false; // Wayland without XWayland: the preview opens where it may
};

// Decided from the environment alone: a platform the user set is kept; on a
// Wayland session (XDG_SESSION_TYPE "wayland" or WAYLAND_DISPLAY set) "xcb"
// is chosen when DISPLAY names an X server (XWayland), otherwise placement
// is lost.
PlatformChoice choosePlatform(const QProcessEnvironment& env);

// Applies the choice before the application object exists.
PlatformChoice applyPlatformChoice();

}  // namespace designer
