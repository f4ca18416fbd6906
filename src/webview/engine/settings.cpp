// Settings functions of the engine interface.
#include "engine/cookies.h"
#include "engine/enginepage.h"
#include "engine/fileaccess.h"
#include "engine/network.h"
#include "engine/startup.h"

#include <QNetworkProxy>
#include <QRegularExpression>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cstring>

namespace engine {
namespace {

const QString kEditableScript = QStringLiteral("tolvane-editable");
const QString kDeviceScriptPrefix = QStringLiteral("tolvane-device:");

QString fromUtf8(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// Text of a fixed-size field of the proxy record; stops at the field's end
// when the record lacks a terminator.
QString recordText(const char* field, size_t size)
{
    return QString::fromUtf8(field, qsizetype(strnlen(field, size)));
}

QString jsString(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        if (c.isLetterOrNumber() && c.unicode() < 0x80)
            out += c;
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return out + QLatin1Char('"');
}

// Page script that makes a navigator, screen or window property report the
// given value; empty for a device name it cannot serve.
QString deviceScript(const QString& device, const QString& text, int integer, float real)
{
    static const QRegularExpression name(
        QStringLiteral("^(navigator|screen|window)\\.([A-Za-z][A-Za-z0-9]*)$"));
    const QRegularExpressionMatch match = name.match(device);
    if (!match.hasMatch())
        return {};
    const QString object = match.captured(1);
    const QString property = match.captured(2);
    QString value;
    if (property == QLatin1String("devicePixelRatio"))
        value = QString::number(double(real));
    else if (!text.isEmpty())
        value = jsString(text);
    else
        value = QString::number(integer);
    return QStringLiteral("(function(){try{Object.defineProperty(%1,'%2',{get:function(){return %3;},"
                          "configurable:true});}catch(e){}})();")
        .arg(object, property, value);
}

QWebEngineScript pageScript(const QString& name, const QString& source,
                            QWebEngineScript::InjectionPoint point)
{
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(source);
    script.setInjectionPoint(point);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(true);
    return script;
}

void replaceScript(QWebEnginePage* page, const QString& name, const QString& source,
                   QWebEngineScript::InjectionPoint point)
{
    for (const QWebEngineScript& old : page->scripts().find(name))
        page->scripts().remove(old);
    if (!source.isEmpty())
        page->scripts().insert(pageScript(name, source, point));
}

QString editableSource(bool editable)
{
    return editable ? QStringLiteral("document.designMode='on';") : QString();
}

void setPageSetting(wkeViewState* view, QWebEngineSettings::WebAttribute attribute, bool on)
{
    if (view->page)
        view->page->settings()->setAttribute(attribute, on);
}

}  // namespace

void applyPageSettings(wkeViewState* view)
{
    EnginePage* page = view->page;
    if (!page)
        return;
    page->setBackgroundColor(view->transparent ? QColor(Qt::transparent) : QColor(Qt::white));
    page->setZoomFactor(view->zoomFactor);
    page->setAudioMuted(view->mediaVolume <= 0.0f);
    QWebEngineSettings* settings = page->settings();
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, view->pluginsEnabled);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, !view->cspCheck);
    settings->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, !view->cspCheck);
    replaceScript(page, kEditableScript, editableSource(view->editable), QWebEngineScript::DocumentReady);
    for (const auto& [device, source] : view->deviceScripts)
        replaceScript(page, kDeviceScriptPrefix + device, source, QWebEngineScript::DocumentCreation);
}

}  // namespace engine

using engine::liveView;

extern "C" {

WKE_API void wkeSetUserAgentW(wkeWebView handle, const char16_t* userAgent)
{
    const QString text = userAgent ? QString::fromUtf16(userAgent) : QString();
    if (!handle) {
        engine::PendingViewSettings& pending = engine::pendingViewSettings();
        pending.userAgent = text;
        pending.hasUserAgent = true;
        return;
    }
    wkeViewState* view = liveView(handle);
    if (view && view->profile)
        view->profile->setHttpUserAgent(text);
}

WKE_API void wkeSetViewProxy(wkeWebView handle, const wkeProxy* record)
{
    if (!record)
        return;
    QNetworkProxy proxy;
    switch (record->type) {
    case WKE_PROXY_NONE: proxy.setType(QNetworkProxy::NoProxy); break;
    case WKE_PROXY_HTTP: proxy.setType(QNetworkProxy::HttpProxy); break;
    case WKE_PROXY_SOCKS5:
    case WKE_PROXY_SOCKS5HOSTNAME: proxy.setType(QNetworkProxy::Socks5Proxy); break;
    default: return;  // SOCKS4 has no Qt proxy type
    }
    if (proxy.type() != QNetworkProxy::NoProxy) {
        proxy.setHostName(engine::recordText(record->hostname, sizeof record->hostname));
        proxy.setPort(record->port);
        proxy.setUser(engine::recordText(record->username, sizeof record->username));
        proxy.setPassword(engine::recordText(record->password, sizeof record->password));
    }
    // A live view gets its own proxy (its requests name it to the engine's
    // proxy); the empty handle sets the process-wide one, which the engine's
    // proxy chains to (engine/network.h). Without the engine's proxy, Qt
    // WebEngine follows the application proxy, for every view.
    if (wkeViewState* view = liveView(handle); view && engine::net::setViewProxy(view, proxy))
        return;
    if (!engine::net::chainProxy(proxy))
        QNetworkProxy::setApplicationProxy(proxy);
}

// Cookies are switched per profile: the profile's cookie store refuses them to
// scripts, and the network part keeps them off its requests.
WKE_API void wkeSetCookieEnabled(wkeWebView handle, bool enable)
{
    wkeViewState* view = liveView(handle);
    if (view && engine::setCookiesEnabled(view->profile, enable))
        engine::net::updateInterception(view->profile);
}

WKE_API bool wkeIsCookieEnabled(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view && view->profile && engine::cookiesEnabled(view->profile);
}

WKE_API void wkeSetNavigationToNewWindowEnable(wkeWebView handle, bool enable)
{
    if (wkeViewState* view = liveView(handle))
        view->newWindowEnabled = enable;
}

WKE_API void wkeSetCspCheckEnable(wkeWebView handle, bool enable)
{
    if (wkeViewState* view = liveView(handle)) {
        view->cspCheck = enable;
        engine::setPageSetting(view, QWebEngineSettings::LocalContentCanAccessRemoteUrls, !enable);
        engine::setPageSetting(view, QWebEngineSettings::AllowRunningInsecureContent, !enable);
    }
}

WKE_API void wkeSetLocalFileAccessEnable(wkeWebView handle, bool enable)
{
    if (wkeViewState* view = liveView(handle))
        engine::restrictFileAccess(view, !enable);
}

WKE_API void wkeSetMemoryCacheEnable(wkeWebView handle, bool enable)
{
    // Kept per view and applied to its own loads: changing the profile's
    // cache would restart the profile's network context and lose loads in
    // flight.
    if (wkeViewState* view = liveView(handle))
        view->memoryCache = enable;
}

WKE_API void wkeSetNpapiPluginsEnabled(wkeWebView handle, bool enable)
{
    if (wkeViewState* view = liveView(handle)) {
        view->pluginsEnabled = enable;
        engine::setPageSetting(view, QWebEngineSettings::PluginsEnabled, enable);
    }
}

WKE_API void wkeSetHeadlessEnabled(wkeWebView handle, bool enable)
{
    if (wkeViewState* view = liveView(handle)) {
        view->headless = enable;
        engine::updateFrameVisibility(view);
    }
}

WKE_API void wkeSetTouchEnabled(wkeWebView handle, bool enable)
{
    if (wkeViewState* view = liveView(handle))
        view->touchEnabled = enable;
}

WKE_API void wkeSetMouseEnabled(wkeWebView handle, bool enable)
{
    if (wkeViewState* view = liveView(handle))
        view->mouseEnabled = enable;
}

WKE_API void wkeSetDeviceParameter(wkeWebView handle, const char* device, const char* paramStr,
                                   int paramInt, float paramFloat)
{
    wkeViewState* view = liveView(handle);
    if (!view || !view->page)
        return;
    const QString name = engine::fromUtf8(device);
    const QString source = engine::deviceScript(name, engine::fromUtf8(paramStr), paramInt, paramFloat);
    if (source.isEmpty())
        return;
    view->deviceScripts[name] = source;
    engine::replaceScript(view->page, engine::kDeviceScriptPrefix + name, source,
                          QWebEngineScript::DocumentCreation);
    view->page->runJavaScript(source);  // the current document too
}

WKE_API void wkeSetDebugConfig(wkeWebView handle, const char* debugString, const char*)
{
    wkeViewState* view = liveView(handle);
    if (!view || !view->page || qstrcmp(debugString, "showDevTools") != 0)
        return;
    if (view->devTools) {
        view->devTools->show();
        view->devTools->raise();
        view->devTools->activateWindow();
        return;
    }
    auto* window = new QWebEngineView;
    window->setAttribute(Qt::WA_DeleteOnClose);
    auto* page = new QWebEnginePage(view->profile, window);
    window->setPage(page);
    view->page->setDevToolsPage(page);
    window->setWindowTitle(QStringLiteral("DevTools"));
    window->resize(900, 600);
    window->show();
    view->devTools = window;
}

WKE_API void wkeSetZoomFactor(wkeWebView handle, float factor)
{
    wkeViewState* view = liveView(handle);
    if (!view || !(factor > 0.0f))
        return;
    view->zoomFactor = factor;
    if (view->page) {
        view->page->setZoomFactor(factor);
        view->zoomFactor = view->page->zoomFactor();  // Qt keeps it within 0.25 to 5
    }
}

WKE_API float wkeGetZoomFactor(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view ? float(view->zoomFactor) : 0.0f;
}

WKE_API void wkeSetMediaVolume(wkeWebView handle, float volume)
{
    wkeViewState* view = liveView(handle);
    if (!view)
        return;
    // Qt WebEngine can only mute a page: volume 0 mutes, anything else plays.
    view->mediaVolume = std::clamp(volume, 0.0f, 1.0f);
    if (view->page)
        view->page->setAudioMuted(view->mediaVolume <= 0.0f);
}

WKE_API float wkeGetMediaVolume(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view ? view->mediaVolume : 0.0f;
}

WKE_API void wkeSetEditable(wkeWebView handle, bool editable)
{
    wkeViewState* view = liveView(handle);
    if (!view || !view->page)
        return;
    view->editable = editable;
    engine::replaceScript(view->page, engine::kEditableScript, engine::editableSource(editable),
                          QWebEngineScript::DocumentReady);
    view->page->runJavaScript(editable ? QStringLiteral("document.designMode='on';")
                                       : QStringLiteral("document.designMode='off';"));
}

WKE_API void wkeSetResourceGc(wkeWebView handle, long long intervalSec)
{
    wkeViewState* view = liveView(handle);
    if (!view || !view->frame)
        return;
    if (intervalSec <= 0) {
        delete view->resourceGc;
        view->resourceGc = nullptr;
        return;
    }
    if (!view->resourceGc) {
        view->resourceGc = new QTimer(view->frame);
        QObject::connect(view->resourceGc, &QTimer::timeout, view->frame, [view] {
            if (view->profile)
                view->profile->clearHttpCache();
        });
    }
    view->resourceGc->start(int(std::min<long long>(intervalSec, 24 * 3600) * 1000));
}

WKE_API void wkeSetName(wkeWebView handle, const char* name)
{
    if (wkeViewState* view = liveView(handle))
        view->name = QByteArray(name ? name : "");
}

WKE_API const char* wkeGetName(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view ? view->name.constData() : nullptr;
}

WKE_API void wkeSleep(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    if (!view || !view->awake)
        return;
    view->awake = false;
    engine::updateFrameVisibility(view);
    if (view->page)
        view->page->setLifecycleState(QWebEnginePage::LifecycleState::Frozen);
}

WKE_API void wkeWake(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    if (!view || view->awake)
        return;
    view->awake = true;
    if (view->page)
        view->page->setLifecycleState(QWebEnginePage::LifecycleState::Active);
    engine::updateFrameVisibility(view);
}

WKE_API bool wkeIsAwake(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view && view->awake;
}

static void editorAction(wkeWebView handle, QWebEnginePage::WebAction action)
{
    wkeViewState* view = liveView(handle);
    if (view && view->page)
        view->page->triggerAction(action);
}

WKE_API void wkeEditorSelectAll(wkeWebView handle) { editorAction(handle, QWebEnginePage::SelectAll); }
WKE_API void wkeEditorUnSelect(wkeWebView handle) { editorAction(handle, QWebEnginePage::Unselect); }
WKE_API void wkeEditorCopy(wkeWebView handle) { editorAction(handle, QWebEnginePage::Copy); }
WKE_API void wkeEditorCut(wkeWebView handle) { editorAction(handle, QWebEnginePage::Cut); }
WKE_API void wkeEditorPaste(wkeWebView handle) { editorAction(handle, QWebEnginePage::Paste); }
WKE_API void wkeEditorUndo(wkeWebView handle) { editorAction(handle, QWebEnginePage::Undo); }
WKE_API void wkeEditorRedo(wkeWebView handle) { editorAction(handle, QWebEnginePage::Redo); }

WKE_API void wkeEditorDelete(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    if (view && view->page)
        view->page->runJavaScript(QStringLiteral("document.execCommand('delete');"));
}

}  // extern "C"
