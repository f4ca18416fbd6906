#pragma once
// WebView: the object through which the rest of the program uses the page
// engine. It owns an EngineView (the engine layer) and remembers the profile
// given to its last create. Texts are byte text (GB18030).
//
// Copies share the engine view (see EngineView).
#include "webview/engineview.h"

#include <string>

class QWidget;

namespace webview {

// A profile name usable as one folder name: not empty, not "." or "..", and
// without a path separator.
bool isPlainProfileName(const std::string& name);

class WebView {
public:
    WebView();
    WebView(const WebView& other);
    WebView& operator=(const WebView&) = delete;
    ~WebView();

    EngineView& engine() { return m_engine; }
    const EngineView& engine() const { return m_engine; }
    const std::string& profileName() const { return m_profileName; }

    // ---- Engine, storage and view creation ------------------------------

    // Starts the engine, makes the profile's storage folders under the user
    // data folder (vireloc/, vireloc/cookie/, vireloc/cookie/<profile>/,
    // vireloc/LocalStorage/, vireloc/LocalStorage/<profile>/), hands the two
    // storage paths to the engine, the user agent when not empty, creates the
    // view in host and loads url. A profile that is not a plain folder name
    // makes no folder and gets private storage.
    void create(QWidget* host, const std::string& profile, const std::string& url,
                const std::string& userAgent);
    // <data>/vireloc/cookie/<p>/cookies.dat and <data>/vireloc/LocalStorage/<p>,
    // p being profile or, when that is empty, the last created profile.
    // Empty when p is not a plain folder name.
    std::string cookieFilePath(const std::string& profile) const;
    std::string localStoragePath(const std::string& profile) const;
    // Whether the engine library is in the program directory (loads nothing).
    static bool isEngineInstalled();

    // ---- Forwarded to the engine ----------------------------------------

    void setLocalStoragePath(const std::string& path);
    void setMouseEnabled(bool enable);
    void setTouchEnabled(bool enable);
    bool isLoadingSucceeded() const;
    bool isLoadingFailed() const;
    bool isLoadingCompleted() const;
    void stopLoading();
    bool fireMouseEvent(unsigned message, int x, int y, unsigned flags);
    bool fireMouseWheelEvent(int x, int y, int delta, unsigned flags);
    void reload();
    void setDeviceParameter(const std::string& device, const std::string& textValue, int intValue,
                            float floatValue);
    void setNavigationToNewWindowEnable(bool enable);
    void showDevTools();
    void setResourceGc(long long intervalSeconds);
    void setUserAgent(const std::string& userAgent);
    bool goBack();
    bool goForward();
    std::string getUrl() const;
    void setZoomFactor(float factor);
    void setHttpProxy(const std::string& host, int port, const std::string& user,
                      const std::string& password);
    void setSocks5Proxy(const std::string& host, int port, const std::string& user,
                        const std::string& password);
    void refresh();
    void loadUrl(const std::string& url);
    void setHeadlessEnabled(bool enable);
    void setNpapiPluginsEnabled(bool enable);
    void setMemoryCacheEnable(bool enable);
    void setMediaVolume(float volume);
    float getMediaVolume() const;
    void loadHtml(const std::string& html);

    // ---- Page script bridge ---------------------------------------------
    // (runScript, runScriptText, engineStringToText, buildLocatorScript, the
    //  element and page operations, globalExec: declared here, defined in the
    //  bridge's own source files)

    // ---- Posted mouse input ---------------------------------------------
    // (postMouseMessages, moveToElement: declared here, defined in their own
    //  source file)

    // ---- Events, cookies, network jobs, capture -------------------------
    // (the event registrations, setCookies, setCookie, getCookie,
    //  clearCookies, the net... operations, injectFillBridge, capturePage:
    //  declared here, defined in that group's own source files)

    // ---- Script tool ----------------------------------------------------
    // (openScriptTool: declared here, defined with the script tool)

private:
    EngineView m_engine;
    std::string m_profileName;
};

}  // namespace webview
