#include "engine/startup.h"

#include "engine/cookies.h"
#include "engine/enginepage.h"
#include "engine/fileaccess.h"
#include "engine/network.h"
#include "engine/pageevents.h"
#include "engine/profiles.h"
#include "engine/registry.h"
#include "webview/appsetup.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTemporaryFile>
#include <QTimer>
#include <QWebEngineView>


namespace engine {
namespace {

// Engine globals are never destroyed: clients may still call in while the
// program's own static objects are being destroyed.
struct Globals {
    bool started = false;
    bool shutDown = false;
    bool shutdownRegistered = false;
    PendingViewSettings pending;
};

Globals& globals()
{
    static Globals* g = new Globals;
    return *g;
}

void shutdownEngine()
{
    Globals& g = globals();
    for (wkeViewState* view : liveViews())
        closeViewWidgets(view);
    releaseProfiles();
    g.shutDown = true;
}

// The switches Chromium starts with: the engine's own, then the network
// part's (which starts the proxy they name).
QStringList chromiumSwitches()
{
    QStringList switches;
    // Without a display there is no GPU; software compositing still gives
    // real pixels to grab.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        switches << QStringLiteral("--disable-gpu");
    switches << net::startProxy();
    return switches;
}

}  // namespace

void startEngine()
{
    Globals& g = globals();
    if (g.started)
        return;
    g.started = true;
    webview::disableSandboxIfRoot();
    if (!QCoreApplication::testAttribute(Qt::AA_ShareOpenGLContexts))
        qWarning("page engine: the application was created without Qt::AA_ShareOpenGLContexts "
                 "(call webview::prepareApplication() before creating it)");
    // Chromium reads its switches when the first profile starts it.
    QStringList flags = QString::fromLocal8Bit(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"))
                            .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& flag : chromiumSwitches()) {
        if (!flags.contains(flag))
            flags << flag;
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.join(QLatin1Char(' ')).toLocal8Bit());
}

PendingViewSettings& pendingViewSettings()
{
    return globals().pending;
}

void setUpPage(wkeViewState* view)
{
    watchCookies(view->profile);
    events::attachPage(view);
    applyFileAccess(view);
    net::updateInterception(view);
}

bool engineStarted()
{
    return globals().started;
}

bool engineShutDown()
{
    return globals().shutDown;
}

void registerShutdown()
{
    Globals& g = globals();
    if (g.shutdownRegistered)
        return;
    g.shutdownRegistered = true;
    // Post routines run last-added first, so this runs before the one Qt
    // WebEngine added when it started.
    qAddPostRoutine(shutdownEngine);
}

void closeViewWidgets(wkeViewState* view)
{
    view->extensions.clear();
    for (QPointer<QWidget>& popup : view->popups)
        delete popup.data();
    view->popups.clear();
    delete view->devTools.data();
    delete view->frame.data();  // deletes the web view, the observer and the timers
    delete view->page;
    view->page = nullptr;
    if (view->storage.session != 0) {
        releaseSession(view->storage.session);  // its own session goes with it
        view->storage.session = 0;
    }
    view->observer = nullptr;
    view->resourceGc = nullptr;
    view->htmlFile.reset();
}

}  // namespace engine

wkeViewState::~wkeViewState() = default;
