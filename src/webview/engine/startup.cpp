#include "engine/startup.h"

#include "engine/enginepage.h"
#include "engine/profiles.h"
#include "webview/appsetup.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTemporaryFile>
#include <QTimer>
#include <QWebEngineView>

#include <algorithm>

namespace engine {
namespace {

// Engine globals are never destroyed: clients may still call in while the
// program's own static objects are being destroyed.
struct Globals {
    bool started = false;
    bool shutDown = false;
    bool shutdownRegistered = false;
    std::vector<std::function<QStringList()>> switchSources;
    std::vector<std::function<void(wkeViewState*)>> pageSetups;
    std::vector<wkeViewState*> views;
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
    for (wkeViewState* view : g.views)
        closeViewWidgets(view);
    releaseProfiles();
    g.shutDown = true;
}

}  // namespace

bool addChromiumSwitchSource(std::function<QStringList()> source)
{
    globals().switchSources.push_back(std::move(source));
    return true;
}

QStringList chromiumSwitches()
{
    QStringList switches;
    // Without a display there is no GPU; software compositing still gives
    // real pixels to grab.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        switches << QStringLiteral("--disable-gpu");
    for (const auto& source : globals().switchSources)
        switches << source();
    return switches;
}

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

bool addPageSetup(std::function<void(wkeViewState*)> setup)
{
    globals().pageSetups.push_back(std::move(setup));
    return true;
}

void runPageSetups(wkeViewState* view)
{
    for (const auto& setup : globals().pageSetups)
        setup(view);
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

void registerView(wkeViewState* view)
{
    globals().views.push_back(view);
}

void unregisterView(wkeViewState* view)
{
    auto& views = globals().views;
    views.erase(std::remove(views.begin(), views.end(), view), views.end());
}

wkeViewState* liveView(wkeWebView handle)
{
    if (!handle)
        return nullptr;
    const auto& views = globals().views;
    return std::find(views.begin(), views.end(), handle) != views.end() ? handle : nullptr;
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
