#pragma once
// WebView: the object through which the rest of the program uses the page
// engine. It owns an EngineView (the engine layer) and remembers the profile
// given to its last create. Texts are byte text (GB18030).
//
// Copies share the engine view (see EngineView).
#include "webview/engineview.h"

#include <optional>
#include <string>
#include <vector>

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
    int httpErrorStatus() const { return m_engine.httpErrorStatus(); }
    // An unattended run answers the page's dialogs itself (WKE_DIALOGS_*).
    void setDialogAnswers(int mode, wkeDialogAnsweredCallback callback, void* param)
    {
        m_engine.setDialogAnswers(mode, callback, param);
    }
    int unansweredRuns() const { return m_engine.unansweredRuns(); }
    // A view nobody watches draws at most one frame per interval (ms), so
    // that its rendering keeps out of the way of the scripts run on it.
    void setFrameInterval(int milliseconds) { m_engine.setFrameInterval(milliseconds); }
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
    // Each operation runs the page library plus a short script in the page's
    // main frame and returns the page variable `text` as byte text: "undefined"
    // when the locator found no element, "success" for a done action, "error"
    // when the script failed in the page, "" when the page gave no answer.
    // Element operations take a locator: tag, key, [their own arguments,]
    // skip count, frame path ("a|b", empty: main document), attribute name
    // (compare the key with that attribute only), member step (a member path
    // applied to the found element, e.g. "parentNode"), text-encoding flag
    // (accepted, not used). Values inserted into a quoted literal are escaped,
    // names and statements are code. A run made before a navigation has
    // loaded its new page runs in the old document (see navigate).

    jsValue runScript(const std::string& script);
    jsExecState globalExec() const;
    // Page library + script + " return text;".
    std::string runScriptText(const std::string& script, bool gbkFlag = false);
    std::string engineStringToText(wkeString string) const;
    std::string buildLocatorScript(const std::string& tag, const std::string& key, int skip = 0,
                                   const std::string& attribute = {}, const std::string& frame = {},
                                   const std::string& step = {}) const;
    // Evaluates code in the window of an iframe ("name|0": x_f2 path); its
    // `text` is the run's own.
    std::string runFrameScript(const std::string& frame, const std::string& code);

    std::string navigate(const std::string& url);  // returns before the new page loads
    std::string getElementPosition(const std::string& tag, const std::string& key, int skip = 0,
                                   const std::string& frame = {}, const std::string& attribute = {},
                                   const std::string& step = {}, bool gbkFlag = false);
    // Up to tries runs, 500 ms apart (events are processed meanwhile).
    bool waitForElement(const std::string& tag, const std::string& key, int tries, int skip = 0,
                        const std::string& frame = {}, const std::string& attribute = {},
                        const std::string& step = {}, bool gbkFlag = false);
    std::string getChecked(const std::string& tag, const std::string& key, int skip = 0,
                           const std::string& frame = {}, const std::string& attribute = {},
                           const std::string& step = {}, bool gbkFlag = false);
    std::string getCanvasImage(const std::string& tag, const std::string& key, int skip = 0,
                               const std::string& frame = {}, const std::string& attribute = {},
                               const std::string& step = {}, bool gbkFlag = false);
    std::string setChecked(const std::string& tag, const std::string& key, bool state, int skip = 0,
                           const std::string& frame = {}, const std::string& attribute = {},
                           const std::string& step = {}, bool gbkFlag = false);
    std::string setSelectedIndex(const std::string& tag, const std::string& key, int index,
                                 int skip = 0, const std::string& frame = {},
                                 const std::string& attribute = {}, const std::string& step = {},
                                 bool gbkFlag = false);
    std::string getSelectedOption(const std::string& tag, const std::string& key, int& index,
                                  std::string& value, std::string& text, int skip = 0,
                                  const std::string& frame = {}, const std::string& attribute = {},
                                  const std::string& step = {}, bool gbkFlag = false);
    std::string setComboValue(const std::string& tag, const std::string& key,
                              const std::string& value, int skip = 0, const std::string& frame = {},
                              const std::string& attribute = {}, const std::string& step = {},
                              bool gbkFlag = false);
    std::string selectOptionByText(const std::string& tag, const std::string& key,
                                   const std::string& optionText, int skip = 0,
                                   const std::string& frame = {}, const std::string& attribute = {},
                                   const std::string& step = {}, bool gbkFlag = false);
    // Appends each option's text and value to the arrays.
    std::string listOptions(const std::string& tag, const std::string& key,
                            std::vector<std::string>& texts, std::vector<std::string>& values,
                            int skip = 0, const std::string& frame = {},
                            const std::string& attribute = {}, const std::string& step = {},
                            bool gbkFlag = false);
    std::string getValue(const std::string& tag, const std::string& key, int skip = 0,
                         const std::string& frame = {}, const std::string& attribute = {},
                         const std::string& step = {}, bool gbkFlag = false);
    std::string getInnerHtml(const std::string& tag, const std::string& key, int skip = 0,
                             const std::string& frame = {}, const std::string& attribute = {},
                             const std::string& step = {}, bool gbkFlag = false);
    // Attaches files to a file input as a user's choice in the file dialog
    // would: filePath holds absolute paths (relative ones are taken from the
    // working folder) separated by "|"; empty clears the input. "error" when
    // a file is missing or the input took no files. Another element gets
    // filePath as its value.
    std::string uploadFile(const std::string& tag, const std::string& key,
                           const std::string& filePath, int skip = 0, const std::string& frame = {},
                           const std::string& attribute = {}, const std::string& step = {},
                           bool gbkFlag = false);
    std::string setValue(const std::string& tag, const std::string& key, const std::string& value,
                         int skip = 0, const std::string& frame = {},
                         const std::string& attribute = {}, const std::string& step = {},
                         bool gbkFlag = false);
    std::string setInnerHtml(const std::string& tag, const std::string& key,
                             const std::string& html, int skip = 0, const std::string& frame = {},
                             const std::string& attribute = {}, const std::string& step = {},
                             bool gbkFlag = false);
    std::string getImageSrc(const std::string& tag, const std::string& key, int skip = 0,
                            const std::string& frame = {}, const std::string& attribute = {},
                            const std::string& step = {}, bool gbkFlag = false);
    std::string setProperty(const std::string& tag, const std::string& key,
                            const std::string& propertyName, const std::string& value, int skip = 0,
                            const std::string& frame = {}, const std::string& attribute = {},
                            const std::string& step = {}, bool gbkFlag = false);
    std::string getProperty(const std::string& tag, const std::string& key,
                            const std::string& propertyName, int skip = 0,
                            const std::string& frame = {}, const std::string& attribute = {},
                            const std::string& step = {}, bool gbkFlag = false);
    std::string click(const std::string& tag, const std::string& key, int skip = 0,
                      const std::string& frame = {}, const std::string& attribute = {},
                      const std::string& step = {}, bool gbkFlag = false);
    std::string focus(const std::string& tag, const std::string& key, int skip = 0,
                      const std::string& frame = {}, const std::string& attribute = {},
                      const std::string& step = {}, bool gbkFlag = false);
    std::string blur(const std::string& tag, const std::string& key, int skip = 0,
                     const std::string& frame = {}, const std::string& attribute = {},
                     const std::string& step = {}, bool gbkFlag = false);
    std::string fireChange(const std::string& tag, const std::string& key, int skip = 0,
                           const std::string& frame = {}, const std::string& attribute = {},
                           const std::string& step = {}, bool gbkFlag = false);
    std::string fireKeyUp(const std::string& tag, const std::string& key, int skip = 0,
                          const std::string& frame = {}, const std::string& attribute = {},
                          const std::string& step = {}, bool gbkFlag = false);
    std::string fireKeyDown(const std::string& tag, const std::string& key, int skip = 0,
                            const std::string& frame = {}, const std::string& attribute = {},
                            const std::string& step = {}, bool gbkFlag = false);
    std::string fireKeyPress(const std::string& tag, const std::string& key, int skip = 0,
                             const std::string& frame = {}, const std::string& attribute = {},
                             const std::string& step = {}, bool gbkFlag = false);
    // mousedown at (startX, startY), then mousemove and mouseup at (endX,
    // endY); nothing more when the first finds no element.
    std::string dragElement(const std::string& tag, const std::string& key, int startX, int startY,
                            int endX, int endY, int skip = 0, const std::string& frame = {},
                            const std::string& attribute = {}, const std::string& step = {},
                            bool gbkFlag = false);
    std::string callElementMethod(const std::string& tag, const std::string& key,
                                  const std::string& methodName, int skip = 0,
                                  const std::string& frame = {}, const std::string& attribute = {},
                                  const std::string& step = {}, bool gbkFlag = false);
    std::string fireElementEvent(const std::string& tag, const std::string& key,
                                 const std::string& eventName, int skip = 0,
                                 const std::string& frame = {}, const std::string& attribute = {},
                                 const std::string& step = {}, bool gbkFlag = false);
    std::string fireElementMouseEvent(const std::string& tag, const std::string& key,
                                      const std::string& eventName, bool bubbles, bool cancelable,
                                      int screenX = 0, int screenY = 0, int clientX = 0,
                                      int clientY = 0, int skip = 0, const std::string& frame = {},
                                      const std::string& attribute = {},
                                      const std::string& step = {}, bool gbkFlag = false);
    std::string fireTouchEvent(const std::string& tag, const std::string& key,
                               const std::string& eventName, bool bubbles, bool cancelable,
                               int skip = 0, const std::string& frame = {},
                               const std::string& attribute = {}, const std::string& step = {},
                               bool gbkFlag = false);
    // Evaluates dom.<statement> on the found element.
    std::string runElementScript(const std::string& tag, const std::string& key,
                                 const std::string& statement, int skip = 0,
                                 const std::string& frame = {}, const std::string& attribute = {},
                                 const std::string& step = {}, bool gbkFlag = false);
    std::string setElementAttribute(const std::string& tag, const std::string& key,
                                    const std::string& attributeName, const std::string& value,
                                    int skip = 0, const std::string& frame = {},
                                    const std::string& attribute = {},
                                    const std::string& step = {}, bool gbkFlag = false);
    std::string hideElement(const std::string& tag, const std::string& key, int skip = 0,
                            const std::string& frame = {}, const std::string& attribute = {},
                            const std::string& step = {}, bool gbkFlag = false);
    std::string getElementAttribute(const std::string& tag, const std::string& key,
                                    const std::string& attributeName, int skip = 0,
                                    const std::string& frame = {}, const std::string& attribute = {},
                                    const std::string& step = {}, bool gbkFlag = false);

    std::string getPageUrl(const std::string& frame = {}, bool gbkFlag = false);
    // Checks the address for text every 500 ms, 2 x seconds times (0 or
    // less: 40 seconds).
    bool waitForUrl(int seconds, const std::string& text);
    std::string getDocumentProperty(const std::string& propertyName);
    std::string getPageText();
    std::string getPageSource();
    // An omitted coordinate keeps the current one.
    std::string scrollTo(std::optional<int> x = std::nullopt, std::optional<int> y = std::nullopt);
    std::string getScrollPosition(int& x, int& y);
    std::string blockAlerts();
    std::string clickAtPoint(int x, int y);
    std::string getReferrer();
    int listElements(const std::string& tag, const std::string& text, bool mark = false,
                     bool gbkFlag = false);

    // ---- Posted mouse input ---------------------------------------------
    // Mouse input posted to the widget that takes window's page input (the
    // host of a view: the page's render widget), handled after the call
    // returns. button: 0/1 left, 2 right, 3 middle, 4 wheel forward, 5 wheel
    // backward; action: 0/1 click, 2 double-click, 3 press, 4 release.
    // Returns 1 when it posted, 0 without a window.
    int postMouseMessages(QWidget* window = nullptr, int x = 2, int y = 2, int button = 0,
                          int action = 0);
    // Scrolls the element into view in 10-pixel steps and posts a left click
    // 5 pixels inside the right end of its client width, on its top edge.
    // 0 when no element matches; 1 otherwise. clickFlag is not read.
    int moveToElement(const std::string& tag, const std::string& key, QWidget* window,
                      bool clickFlag = true, int skip = 0, const std::string& frame = {},
                      const std::string& attribute = {}, const std::string& step = {},
                      bool gbkFlag = false);

    // ---- Events, cookies, network jobs, capture -------------------------
    // (webview_events.cpp; EngineView tells more)

    // Event registrations, forwarded to the EngineView.
    void onTitleChanged(wkeTitleChangedCallback handler, void* parameter);
    void onUrlChanged(wkeURLChangedCallback handler, void* parameter);
    void onUrlChanged2(wkeURLChangedCallback2 handler, void* parameter);
    void onAlertBox(wkeAlertBoxCallback handler, void* parameter);
    void onConfirmBox(wkeConfirmBoxCallback handler, void* parameter);
    void onPromptBox(wkePromptBoxCallback handler, void* parameter);
    void onNavigation(wkeNavigationCallback handler, void* parameter);
    void onCreateView(wkeCreateViewCallback handler, void* parameter);
    void onDocumentReady(wkeDocumentReadyCallback handler, void* parameter);
    void onDocumentReady2(wkeDocumentReady2Callback handler, void* parameter);
    void onLoadingFinish(wkeLoadingFinishCallback handler, void* parameter);
    void onDownload(wkeDownloadCallback handler, void* parameter);
    void onConsole(wkeConsoleCallback handler, void* parameter);
    void onLoadUrlBegin(wkeLoadUrlBeginCallback handler, void* parameter);
    void onNetResponse(wkeNetResponseCallback handler, void* parameter);
    void onLoadUrlEnd(wkeLoadUrlEndCallback handler, void* parameter);
    void onDidCreateScriptContext(wkeDidCreateScriptContextCallback handler, void* parameter);
    void onWillReleaseScriptContext(wkeWillReleaseScriptContextCallback handler, void* parameter);

    // Cookies (forwarded), and clearing them: the profile's cookie file
    // (cookieFilePath("")) is deleted, then the engine runs command
    // (wkeCookieCommand) on the view's profile.
    void setCookies(const std::string& url, const std::string& domain, const std::string& cookieList);
    void setCookie(const std::string& url, const std::string& cookie);
    std::string getCookie() const;
    void clearCookies(int command);

    // Network jobs.
    void netHookRequest(wkeNetJob job);
    void netSetData(wkeNetJob job, const std::string& data);
    void netRedirect(wkeNetJob job, const std::string& url);
    void netSetMimeType(wkeNetJob job, const std::string& type);
    // wkeRequestType of the request.
    int netGetRequestMethod(wkeNetJob job);
    // The request body up to its first zero byte; empty when none.
    std::string netGetPostBody(wkeNetJob job);
    void netSetHeaderField(wkeNetJob job, const std::string& name, const std::string& value,
                           bool response);
    void netSetRequestHeader(wkeNetJob job, const std::string& name, const std::string& value);
    // Sets the job's body to text; length receives its byte length. The
    // buffer is not used.
    void netSetResponseText(wkeNetJob job, void* buffer, int& length, const std::string& text);
    // Sets the job's body to the length bytes at buffer with every occurrence
    // of find replaced by replacement (an empty find changes nothing); length
    // receives the new length.
    void netReplaceInResponse(wkeNetJob job, const void* buffer, int& length, const std::string& find,
                              const std::string& replacement);
    // Sets the job's body to text followed by the length bytes at buffer;
    // length receives the new length.
    void netPrependToResponse(wkeNetJob job, const void* buffer, int& length, const std::string& text);

    // Page capture (forwarded).
    QByteArray capturePage();

    // Runs the form-fill bridge script in the page: it connects to
    // ws://127.0.0.1:<port>/echo and introduces itself as identifier.
    void injectFillBridge(int port, const std::string& identifier);

private:
    std::string runWithLibrary(const std::string& script, bool keepsText);
    std::string runLocated(const std::string& tag, const std::string& key, int skip,
                           const std::string& frame, const std::string& attribute,
                           const std::string& step, const std::string& part);

    EngineView m_engine;
    std::string m_profileName;
};

}  // namespace webview
