// WebView: event registrations, cookies, network jobs, page capture and the
// form-fill bridge.
#include "webview/webview.h"

#include "webview/engineloader.h"
#include "webview/fillbridge/fillbridge.h"
#include "webview/fillbridge/fillbridgelink.h"
#include "webview/netresponse.h"

#include "runtime/textcodec.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include <memory>

namespace webview {

#define TOLVANE_FORWARD_REGISTRATION(operation, type)                   \
    void WebView::operation(type handler, void* parameter)               \
    {                                                                    \
        m_engine.operation(handler, parameter);                          \
    }

TOLVANE_FORWARD_REGISTRATION(onTitleChanged, wkeTitleChangedCallback)
TOLVANE_FORWARD_REGISTRATION(onUrlChanged, wkeURLChangedCallback)
TOLVANE_FORWARD_REGISTRATION(onUrlChanged2, wkeURLChangedCallback2)
TOLVANE_FORWARD_REGISTRATION(onAlertBox, wkeAlertBoxCallback)
TOLVANE_FORWARD_REGISTRATION(onConfirmBox, wkeConfirmBoxCallback)
TOLVANE_FORWARD_REGISTRATION(onPromptBox, wkePromptBoxCallback)
TOLVANE_FORWARD_REGISTRATION(onNavigation, wkeNavigationCallback)
TOLVANE_FORWARD_REGISTRATION(onCreateView, wkeCreateViewCallback)
TOLVANE_FORWARD_REGISTRATION(onDocumentReady, wkeDocumentReadyCallback)
TOLVANE_FORWARD_REGISTRATION(onDocumentReady2, wkeDocumentReady2Callback)
TOLVANE_FORWARD_REGISTRATION(onLoadingFinish, wkeLoadingFinishCallback)
TOLVANE_FORWARD_REGISTRATION(onDownload, wkeDownloadCallback)
TOLVANE_FORWARD_REGISTRATION(onConsole, wkeConsoleCallback)
TOLVANE_FORWARD_REGISTRATION(onLoadUrlBegin, wkeLoadUrlBeginCallback)
TOLVANE_FORWARD_REGISTRATION(onNetResponse, wkeNetResponseCallback)
TOLVANE_FORWARD_REGISTRATION(onLoadUrlEnd, wkeLoadUrlEndCallback)
TOLVANE_FORWARD_REGISTRATION(onDidCreateScriptContext, wkeDidCreateScriptContextCallback)
TOLVANE_FORWARD_REGISTRATION(onWillReleaseScriptContext, wkeWillReleaseScriptContextCallback)

#undef TOLVANE_FORWARD_REGISTRATION

void WebView::setCookies(const std::string& url, const std::string& domain, const std::string& cookieList)
{
    m_engine.setCookies(url, domain, cookieList);
}

void WebView::setCookie(const std::string& url, const std::string& cookie) { m_engine.setCookie(url, cookie); }
std::string WebView::getCookie() const { return m_engine.getCookie(); }

void WebView::clearCookies(int command)
{
    const std::string file = cookieFilePath("");
    if (!file.empty())
        QFile::remove(rt::gbToQString(file));  // a missing or locked file is no error
    WKE_CALL(wkePerformCookieCommand)(m_engine.getViewHandle(), command);
}

void WebView::netHookRequest(wkeNetJob job) { WKE_CALL(wkeNetHookRequest)(job); }
void WebView::netSetData(wkeNetJob job, const std::string& data) { m_engine.netSetData(job, data); }
void WebView::netRedirect(wkeNetJob job, const std::string& url) { m_engine.netRedirect(job, url); }
void WebView::netSetMimeType(wkeNetJob job, const std::string& type) { m_engine.netSetMimeType(job, type); }
int WebView::netGetRequestMethod(wkeNetJob job) { return WKE_CALL(wkeNetGetRequestMethod)(job); }

std::string WebView::netGetPostBody(wkeNetJob job)
{
    const char* body = WKE_CALL(wkeNetGetPostBody)(job);
    return body ? std::string(body) : std::string();
}

void WebView::netSetHeaderField(wkeNetJob job, const std::string& name, const std::string& value, bool response)
{
    WKE_CALL(wkeNetSetHTTPHeaderField)(job, rt::gbToUtf16(name).c_str(), rt::gbToUtf16(value).c_str(), response);
}

void WebView::netSetRequestHeader(wkeNetJob job, const std::string& name, const std::string& value)
{
    netSetHeaderField(job, name, value, false);
}

void WebView::netSetResponseText(wkeNetJob job, void*, int& length, const std::string& text)
{
    length = int(text.size());
    m_engine.netSetData(job, text);
}

void WebView::netReplaceInResponse(wkeNetJob job, const void* buffer, int& length, const std::string& find,
                                   const std::string& replacement)
{
    const std::string_view data(static_cast<const char*>(buffer), buffer && length > 0 ? size_t(length) : 0);
    const std::string changed = replaceAllBytes(data, find, replacement);
    length = int(changed.size());
    m_engine.netSetData(job, changed);
}

void WebView::netPrependToResponse(wkeNetJob job, const void* buffer, int& length, const std::string& text)
{
    const std::string_view data(static_cast<const char*>(buffer), buffer && length > 0 ? size_t(length) : 0);
    const std::string changed = prependBytes(data, text);
    length = int(changed.size());
    m_engine.netSetData(job, changed);
}

QByteArray WebView::capturePage() { return m_engine.capturePage(); }

namespace {

void answerScript(wkeWebView, void* param, const char16_t* json)
{
    const std::unique_ptr<FillBridgeLink::Answer> answer(static_cast<FillBridgeLink::Answer*>(param));
    if (!json) {
        (*answer)(std::nullopt);
        return;
    }
    const QJsonArray value = QJsonDocument::fromJson(QString::fromUtf16(json).toUtf8()).array();
    (*answer)(value.isEmpty() ? QJsonValue() : value.at(0));
}

}  // namespace

// The page gets the bridge's globals and functions; the program holds the
// connection (FillBridgeLink) and runs the server's requests in the page
// through the engine, so the page's policy cannot stop the bridge.
void WebView::injectFillBridge(int port, const std::string& identifier)
{
    m_engine.runScript(fillBridgeDefinitions(port, identifier));
    const wkeWebView view = m_engine.getViewHandle();
    auto run = [view](FillBridgeLink::World world, const QString& script, FillBridgeLink::Answer answer) {
        auto* held = new FillBridgeLink::Answer(std::move(answer));
        const int engineWorld = world == FillBridgeLink::World::Isolated ? WKE_WORLD_ISOLATED : WKE_WORLD_PAGE;
        if (WKE_CALL(wkeRunScriptInWorld)(view, engineWorld, script.toStdU16String().c_str(), answerScript, held))
            return true;
        delete held;
        return false;
    };
    const QUrl page(QString::fromUtf8(m_engine.getUrlUtf8()));
    const QString origin = page.scheme() == QLatin1String("http") || page.scheme() == QLatin1String("https")
                               ? page.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment |
                                               QUrl::RemoveUserInfo).toString()
                               : QStringLiteral("null");
    (new FillBridgeLink(port, rt::gbToQString(identifier), origin, run))->start();
}

}  // namespace webview
