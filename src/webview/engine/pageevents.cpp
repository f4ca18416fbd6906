// The page hooks that turn Qt WebEngine's signals and virtuals into the
// events of the engine interface, and the interface's registration functions.
#include "engine/pageevents.h"

#include "engine/enginepage.h"
#include "engine/events.h"
#include "engine/network.h"
#include "engine/registry.h"
#include "engine/scriptvalues.h"

#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <algorithm>
#include <map>
#include <set>

namespace engine::events {
namespace {

// Markers the engine's own page scripts write to the console (from the
// isolated world); never shown to the console handler.
const QString kMarkerPrefix = QStringLiteral("\x01tolvane:");
const QString kScriptPrefix = QStringLiteral("tolvane-events-");

// Profiles whose downloads are watched.
std::set<QWebEngineProfile*>& downloadProfiles()
{
    static auto* profiles = new std::set<QWebEngineProfile*>;  // leaked like every engine global
    return *profiles;
}

// Script contexts of a view's page, destroyed with the view: the id the page
// script gave each, mapped to the handle handed out.
struct ScriptContexts {
    std::map<QString, quintptr> contexts;
    quintptr nextContext = 1;
    QString liveMainContext;
    char subFrameTag = 0;
};

wkeNavigationType navigationType(QWebEnginePage::NavigationType type)
{
    switch (type) {
    case QWebEnginePage::NavigationTypeLinkClicked: return WKE_NAVIGATION_TYPE_LINKCLICK;
    case QWebEnginePage::NavigationTypeFormSubmitted: return WKE_NAVIGATION_TYPE_FORMSUBMIT;
    case QWebEnginePage::NavigationTypeBackForward: return WKE_NAVIGATION_TYPE_BACKFORWARD;
    case QWebEnginePage::NavigationTypeReload: return WKE_NAVIGATION_TYPE_RELOAD;
    case QWebEnginePage::NavigationTypeTyped: return WKE_NAVIGATION_TYPE_TYPED;
    case QWebEnginePage::NavigationTypeRedirect: return WKE_NAVIGATION_TYPE_REDIRECT;
    default: return WKE_NAVIGATION_TYPE_OTHER;
    }
}

wkeWebFrameHandle mainFrame(wkeViewState* view)
{
    return reinterpret_cast<wkeWebFrameHandle>(&view->mainFrameTag);
}

wkeWebFrameHandle frameHandle(wkeViewState* view, bool main)
{
    return main ? mainFrame(view) : reinterpret_cast<wkeWebFrameHandle>(&view->extension<ScriptContexts>().subFrameTag);
}

template <typename Callback>
Callback as(Registration r)
{
    return reinterpret_cast<Callback>(r.callback);
}

// Page scripts in the isolated world that report script contexts and
// subframe documents through console markers.
QWebEngineScript markerScript(const QString& name, QWebEngineScript::InjectionPoint point,
                              const QString& source)
{
    QWebEngineScript script;
    script.setName(kScriptPrefix + name);
    script.setInjectionPoint(point);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(true);
    script.setSourceCode(source);
    return script;
}

void insertMarkerScripts(QWebEnginePage* page)
{
    const QString contexts = QStringLiteral(
        "(function(){var m=(window===window.top)?'main':'sub';"
        "var id=Date.now().toString(36)+Math.random().toString(36).slice(2);"
        "console.debug('\\u0001tolvane:context-created:'+m+':'+id);"
        "window.addEventListener('pagehide',function(){"
        "console.debug('\\u0001tolvane:context-released:'+m+':'+id);});})();");
    const QString frameReady = QStringLiteral(
        "if(window!==window.top)console.debug('\\u0001tolvane:frame-ready');");
    page->scripts().insert(markerScript(QStringLiteral("contexts"), QWebEngineScript::DocumentCreation, contexts));
    page->scripts().insert(markerScript(QStringLiteral("frame-ready"), QWebEngineScript::DocumentReady, frameReady));
}

void postContextCreated(wkeViewState* view, bool main, quintptr context)
{
    post(view, DidCreateScriptContext, [main, context](wkeViewState* v, Registration r) {
        as<wkeDidCreateScriptContextCallback>(r)(v, r.param, frameHandle(v, main),
                                                 reinterpret_cast<void*>(context), 0, 0);
    });
}

void postContextReleased(wkeViewState* view, bool main, quintptr context)
{
    post(view, WillReleaseScriptContext, [main, context](wkeViewState* v, Registration r) {
        as<wkeWillReleaseScriptContextCallback>(r)(v, r.param, frameHandle(v, main),
                                                   reinterpret_cast<void*>(context), 0);
    });
}

// A marker from the engine's page scripts: "context-created:<main|sub>:<id>",
// "context-released:<main|sub>:<id>" or "frame-ready".
void onMarker(wkeViewState* view, const QString& marker)
{
    ScriptContexts& state = view->extension<ScriptContexts>();
    if (marker == QLatin1String("frame-ready")) {
        post(view, DocumentReady2, [](wkeViewState* v, Registration r) {
            as<wkeDocumentReady2Callback>(r)(v, r.param, frameHandle(v, false));
        });
        return;
    }
    const QStringList parts = marker.split(QLatin1Char(':'));
    if (parts.size() != 3)
        return;
    const bool main = parts[1] == QLatin1String("main");
    const QString& id = parts[2];
    if (parts[0] == QLatin1String("context-created")) {
        // A main document left without a pagehide report still ends first.
        if (main && !state.liveMainContext.isEmpty()) {
            const auto old = state.contexts.find(state.liveMainContext);
            if (old != state.contexts.end()) {
                postContextReleased(view, true, old->second);
                state.contexts.erase(old);
            }
        }
        const quintptr context = state.nextContext++;
        state.contexts[id] = context;
        if (main)
            state.liveMainContext = id;
        postContextCreated(view, main, context);
    } else if (parts[0] == QLatin1String("context-released")) {
        const auto found = state.contexts.find(id);
        if (found == state.contexts.end())
            return;  // already reported
        postContextReleased(view, main, found->second);
        state.contexts.erase(found);
        if (main && state.liveMainContext == id)
            state.liveMainContext.clear();
    }
}

wkeViewState* viewOfPage(QWebEnginePage* page)
{
    for (wkeViewState* view : liveViews()) {
        if (view->page == page)
            return view;
    }
    return nullptr;
}

void watchDownloads(QWebEngineProfile* profile)
{
    if (!profile || !downloadProfiles().insert(profile).second)
        return;
    QObject::connect(profile, &QObject::destroyed, [profile] { downloadProfiles().erase(profile); });
    QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile,
                     [](QWebEngineDownloadRequest* download) {
                         wkeViewState* view = viewOfPage(download->page());
                         const Registration r = view ? registration(view, Download) : Registration();
                         if (!r) {
                             download->cancel();
                             return;
                         }
                         const QByteArray url = download->url().toString().toUtf8();
                         bool save;
                         {
                             InlineCall inlineCall;
                             save = as<wkeDownloadCallback>(r)(view, r.param, url.constData());
                         }
                         if (save)
                             download->accept();
                         else
                             download->cancel();
                     });
}

}  // namespace

void attachPage(wkeViewState* view)
{
    EnginePage* page = view->page;
    if (!page)
        return;
    view->extension<ScriptContexts>().liveMainContext.clear();
    insertMarkerScripts(page);
    watchDownloads(view->profile);

    QObject::connect(page, &QWebEnginePage::titleChanged, page, [view](const QString& title) {
        post(view, TitleChanged, [text = title.toStdU16String()](wkeViewState* v, Registration r) {
            wkeStringTag s{text};
            as<wkeTitleChangedCallback>(r)(v, r.param, &s);
        });
    });
    QObject::connect(page, &QWebEnginePage::urlChanged, page, [view](const QUrl& url) {
        const std::u16string text = url.toString().toStdU16String();
        post(view, UrlChanged, [text](wkeViewState* v, Registration r) {
            wkeStringTag s{text};
            as<wkeURLChangedCallback>(r)(v, r.param, &s);
        });
        post(view, UrlChanged2, [text](wkeViewState* v, Registration r) {
            wkeStringTag s{text};
            as<wkeURLChangedCallback2>(r)(v, r.param, mainFrame(v), &s);
        });
    });
    QObject::connect(page, &EnginePage::documentReady, page, [view] {
        post(view, DocumentReady, [](wkeViewState* v, Registration r) {
            as<wkeDocumentReadyCallback>(r)(v, r.param);
        });
        post(view, DocumentReady2, [](wkeViewState* v, Registration r) {
            as<wkeDocumentReady2Callback>(r)(v, r.param, mainFrame(v));
        });
    });
    QObject::connect(page, &QWebEnginePage::loadingChanged, page, [view](const QWebEngineLoadingInfo& info) {
        wkeLoadingResult result;
        switch (info.status()) {
        case QWebEngineLoadingInfo::LoadSucceededStatus: result = WKE_LOADING_SUCCEEDED; break;
        case QWebEngineLoadingInfo::LoadFailedStatus: result = WKE_LOADING_FAILED; break;
        case QWebEngineLoadingInfo::LoadStoppedStatus: result = WKE_LOADING_CANCELED; break;
        default: return;
        }
        const std::u16string url = info.url().toString().toStdU16String();
        const std::u16string reason =
            result == WKE_LOADING_SUCCEEDED ? std::u16string() : info.errorString().toStdU16String();
        post(view, LoadingFinish, [url, result, reason](wkeViewState* v, Registration r) {
            wkeStringTag u{url}, f{reason};
            as<wkeLoadingFinishCallback>(r)(v, r.param, &u, result, &f);
        });
    });

    EnginePage::Hooks& hooks = page->hooks;
    hooks.alert = [view](const QUrl&, const QString& message) {
        const Registration r = registration(view, AlertBox);
        if (!r)
            return false;
        InlineCall inlineCall;
        wkeStringTag m{message.toStdU16String()};
        as<wkeAlertBoxCallback>(r)(view, r.param, &m);
        return true;
    };
    hooks.confirm = [view](const QUrl&, const QString& message) -> std::optional<bool> {
        const Registration r = registration(view, ConfirmBox);
        if (!r)
            return std::nullopt;
        InlineCall inlineCall;
        wkeStringTag m{message.toStdU16String()};
        return as<wkeConfirmBoxCallback>(r)(view, r.param, &m);
    };
    hooks.prompt = [view](const QUrl&, const QString& message,
                          const QString& defaultValue) -> std::optional<QString> {
        const Registration r = registration(view, PromptBox);
        if (!r)
            return std::nullopt;
        InlineCall inlineCall;
        wkeStringTag m{message.toStdU16String()}, d{defaultValue.toStdU16String()};
        wkePromptParams prompt{&m, &d, nullptr};
        if (!as<wkePromptBoxCallback>(r)(view, r.param, &prompt))
            return QString();  // cancelled: the page gets null
        return prompt.result ? QString::fromUtf16(prompt.result) : QStringLiteral("");
    };
    hooks.navigationRequest = [view](const QUrl& url, QWebEnginePage::NavigationType type, bool isMainFrame) {
        const Registration r = registration(view, Navigation);
        if (!r || !isMainFrame)
            return true;
        InlineCall inlineCall;
        wkeStringTag u{url.toString().toStdU16String()};
        return as<wkeNavigationCallback>(r)(view, r.param, navigationType(type), &u);
    };
    hooks.newWindow = [view](QWebEngineNewWindowRequest& request) {
        const Registration r = registration(view, CreateView);
        if (!r)
            return false;
        const QRect geometry = request.requestedGeometry();
        const wkeWindowFeatures features{
            geometry.x(), geometry.y(), geometry.width(), geometry.height(),
            request.destination() == QWebEngineNewWindowRequest::InNewDialog, request.isUserInitiated()};
        const QUrl url = request.requestedUrl();
        wkeWebView chosen;
        {
            InlineCall inlineCall;
            wkeStringTag u{url.toString().toStdU16String()};
            chosen = as<wkeCreateViewCallback>(r)(
                view, r.param,
                request.isUserInitiated() ? WKE_NAVIGATION_TYPE_LINKCLICK : WKE_NAVIGATION_TYPE_OTHER, &u,
                &features);
        }
        wkeViewState* target = liveView(chosen);
        if (!liveView(view) || !target || !target->page)
            return true;  // refused (or the view went away)
        if (target == view)
            view->page->load(url);
        else
            request.openIn(target->page);
        return true;
    };
    hooks.console = [view](QWebEnginePage::JavaScriptConsoleMessageLevel level, const QString& message,
                           int line, const QString& sourceId) {
        if (message.startsWith(kMarkerPrefix) && sourceId.startsWith(QLatin1String("userscript:") + kScriptPrefix)) {
            onMarker(view, message.mid(kMarkerPrefix.size()));
            return;
        }
        wkeConsoleLevel wkeLevel = WKE_CONSOLE_LEVEL_INFO;
        if (level == QWebEnginePage::WarningMessageLevel)
            wkeLevel = WKE_CONSOLE_LEVEL_WARNING;
        else if (level == QWebEnginePage::ErrorMessageLevel)
            wkeLevel = WKE_CONSOLE_LEVEL_ERROR;
        post(view, Console,
             [wkeLevel, text = message.toStdU16String(), source = sourceId.toStdU16String(),
              line](wkeViewState* v, Registration r) {
                 wkeStringTag m{text}, s{source}, stack{};
                 as<wkeConsoleCallback>(r)(v, r.param, wkeLevel, &m, &s, unsigned(std::max(line, 0)), &stack);
             });
    };
}

}  // namespace engine::events

using engine::events::setRegistration;
using engine::events::Slot;

namespace {

void registerHandler(wkeWebView handle, Slot slot, void* callback, void* param)
{
    wkeViewState* view = engine::liveView(handle);
    if (!view)
        return;
    setRegistration(view, slot, callback, param);
    // Network handlers are met through the view's request interceptor.
    if (slot == Slot::LoadUrlBegin || slot == Slot::NetResponse || slot == Slot::LoadUrlEnd)
        engine::net::updateInterception(view);
}

}  // namespace

#define TOLVANE_REGISTRATION(function, type, slot)                                      \
    WKE_API void function(wkeWebView view, type callback, void* param)                   \
    {                                                                                    \
        registerHandler(view, engine::events::slot, reinterpret_cast<void*>(callback), param); \
    }

extern "C" {

TOLVANE_REGISTRATION(wkeOnTitleChanged, wkeTitleChangedCallback, TitleChanged)
TOLVANE_REGISTRATION(wkeOnURLChanged, wkeURLChangedCallback, UrlChanged)
TOLVANE_REGISTRATION(wkeOnURLChanged2, wkeURLChangedCallback2, UrlChanged2)
TOLVANE_REGISTRATION(wkeOnAlertBox, wkeAlertBoxCallback, AlertBox)
TOLVANE_REGISTRATION(wkeOnConfirmBox, wkeConfirmBoxCallback, ConfirmBox)
TOLVANE_REGISTRATION(wkeOnPromptBox, wkePromptBoxCallback, PromptBox)
TOLVANE_REGISTRATION(wkeOnNavigation, wkeNavigationCallback, Navigation)
TOLVANE_REGISTRATION(wkeOnCreateView, wkeCreateViewCallback, CreateView)
TOLVANE_REGISTRATION(wkeOnDocumentReady, wkeDocumentReadyCallback, DocumentReady)
TOLVANE_REGISTRATION(wkeOnDocumentReady2, wkeDocumentReady2Callback, DocumentReady2)
TOLVANE_REGISTRATION(wkeOnLoadingFinish, wkeLoadingFinishCallback, LoadingFinish)
TOLVANE_REGISTRATION(wkeOnDownload, wkeDownloadCallback, Download)
TOLVANE_REGISTRATION(wkeOnConsole, wkeConsoleCallback, Console)
TOLVANE_REGISTRATION(wkeOnLoadUrlBegin, wkeLoadUrlBeginCallback, LoadUrlBegin)
TOLVANE_REGISTRATION(wkeNetOnResponse, wkeNetResponseCallback, NetResponse)
TOLVANE_REGISTRATION(wkeOnLoadUrlEnd, wkeLoadUrlEndCallback, LoadUrlEnd)
TOLVANE_REGISTRATION(wkeOnDidCreateScriptContext, wkeDidCreateScriptContextCallback, DidCreateScriptContext)
TOLVANE_REGISTRATION(wkeOnWillReleaseScriptContext, wkeWillReleaseScriptContextCallback,
                     WillReleaseScriptContext)

}  // extern "C"
