#include "webview/webview.h"

#include "webview/engineloader.h"

#include "runtime/paths.h"
#include "runtime/textcodec.h"

#include <QDir>
#include <QFileInfo>

namespace webview {
namespace {

// The user data folder as byte text, with a trailing '/', read afresh.
std::string dataBase()
{
    return rt::qstringToGb(rt::userDataBase());
}

void makeFolder(const std::string& path)
{
    QDir().mkdir(rt::gbToQString(path));  // an existing folder or a failure is fine
}

}  // namespace

bool isPlainProfileName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

WebView::WebView() = default;
WebView::WebView(const WebView& other) = default;
WebView::~WebView() = default;

void WebView::create(QWidget* host, const std::string& profile, const std::string& url,
                     const std::string& userAgent)
{
    startEngine();
    std::string cookieFolder;
    std::string localStorageFolder;
    if (isPlainProfileName(profile)) {
        makeFolder(dataBase() + "vireloc/");
        makeFolder(dataBase() + "vireloc/cookie/");
        cookieFolder = dataBase() + "vireloc/cookie/" + profile + "/";
        makeFolder(cookieFolder);
        makeFolder(dataBase() + "vireloc/LocalStorage/");
        localStorageFolder = dataBase() + "vireloc/LocalStorage/" + profile + "/";
        makeFolder(localStorageFolder);
    }
    // Handed over before the view exists, so that the view is made on them;
    // empty paths mean private storage.
    m_engine.setCookieJarPath(cookieFolder);
    m_engine.setLocalStorageFullPath(localStorageFolder);
    if (!userAgent.empty())
        m_engine.setUserAgent(userAgent);
    m_engine.createView(host, false);
    m_engine.setNavigationToNewWindowEnable(false);
    m_engine.setCspCheckEnable(false);
    m_engine.setMemoryCacheEnable(false);
    m_engine.setNpapiPluginsEnabled(true);
    m_engine.loadUrl(url);
    m_profileName = profile;
}

std::string WebView::cookieFilePath(const std::string& profile) const
{
    const std::string& p = profile.empty() ? m_profileName : profile;
    if (!isPlainProfileName(p))
        return {};
    return dataBase() + "vireloc/cookie/" + p + "/cookies.dat";
}

std::string WebView::localStoragePath(const std::string& profile) const
{
    const std::string& p = profile.empty() ? m_profileName : profile;
    if (!isPlainProfileName(p))
        return {};
    return dataBase() + "vireloc/LocalStorage/" + p;
}

bool WebView::isEngineInstalled()
{
    return QFileInfo::exists(engineLibraryPath());
}

void WebView::setLocalStoragePath(const std::string& path) { m_engine.setLocalStorageFullPath(path); }
void WebView::setMouseEnabled(bool enable) { m_engine.setMouseEnabled(enable); }
void WebView::setTouchEnabled(bool enable) { m_engine.setTouchEnabled(enable); }
bool WebView::isLoadingSucceeded() const { return m_engine.isLoadingSucceeded(); }
bool WebView::isLoadingFailed() const { return m_engine.isLoadingFailed(); }
bool WebView::isLoadingCompleted() const { return m_engine.isLoadingCompleted(); }
void WebView::stopLoading() { m_engine.stopLoading(); }

bool WebView::fireMouseEvent(unsigned message, int x, int y, unsigned flags)
{
    return m_engine.fireMouseEvent(message, x, y, flags);
}

bool WebView::fireMouseWheelEvent(int x, int y, int delta, unsigned flags)
{
    return m_engine.fireMouseWheelEvent(x, y, delta, flags);
}

void WebView::reload() { m_engine.reload(); }

void WebView::setDeviceParameter(const std::string& device, const std::string& textValue,
                                 int intValue, float floatValue)
{
    m_engine.setDeviceParameter(device, textValue, intValue, floatValue);
}

void WebView::setNavigationToNewWindowEnable(bool enable) { m_engine.setNavigationToNewWindowEnable(enable); }
void WebView::showDevTools() { m_engine.showDevTools(); }
void WebView::setResourceGc(long long intervalSeconds) { m_engine.setResourceGc(intervalSeconds); }
void WebView::setUserAgent(const std::string& userAgent) { m_engine.setUserAgent(userAgent); }
bool WebView::goBack() { return m_engine.goBack(); }
bool WebView::goForward() { return m_engine.goForward(); }
std::string WebView::getUrl() const { return m_engine.getUrl(); }
void WebView::setZoomFactor(float factor) { m_engine.setZoomFactor(factor); }

void WebView::setHttpProxy(const std::string& host, int port, const std::string& user,
                           const std::string& password)
{
    m_engine.setProxy(WKE_PROXY_HTTP, host, port, user, password);
}

void WebView::setSocks5Proxy(const std::string& host, int port, const std::string& user,
                             const std::string& password)
{
    m_engine.setProxy(WKE_PROXY_SOCKS5, host, port, user, password);
}

void WebView::refresh() { m_engine.reload(); }
void WebView::loadUrl(const std::string& url) { m_engine.loadUrl(url); }
void WebView::setHeadlessEnabled(bool enable) { m_engine.setHeadlessEnabled(enable); }
void WebView::setNpapiPluginsEnabled(bool enable) { m_engine.setNpapiPluginsEnabled(enable); }
void WebView::setMemoryCacheEnable(bool enable) { m_engine.setMemoryCacheEnable(enable); }
void WebView::setMediaVolume(float volume) { m_engine.setMediaVolume(volume); }
float WebView::getMediaVolume() const { return m_engine.getMediaVolume(); }
void WebView::loadHtml(const std::string& html) { m_engine.loadHtml(html); }

}  // namespace webview
