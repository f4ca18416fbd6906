#include "designer_ui/platformchoice.h"

#include <QtGlobal>

namespace designer {

PlatformChoice choosePlatform(const QProcessEnvironment& env)
{
    PlatformChoice c;
    if (!env.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty())
        return c;
    const bool wayland =
        env.value(QStringLiteral("XDG_SESSION_TYPE")).compare(QStringLiteral("wayland"), Qt::CaseInsensitive) == 0
        || !env.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
    if (!wayland)
        return c;
    if (!env.value(QStringLiteral("DISPLAY")).isEmpty())
        c.platform = "xcb";
    else
        c.placementLost = true;
    return c;
}

PlatformChoice applyPlatformChoice()
{
    const PlatformChoice c = choosePlatform(QProcessEnvironment::systemEnvironment());
    if (!c.platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", c.platform);
    return c;
}

}  // namespace designer
