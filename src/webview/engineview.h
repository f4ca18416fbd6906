#pragma once
// EngineView: the thin layer over one engine view, its host widget and the
// callback adapters through which engine callbacks arrive. Every engine call
// goes through the loader (webview/engineloader.h).
//
// Texts are byte text (std::string, GB18030) and are converted at the engine:
// to UTF-16 for the engine's wide functions, through UTF-16 to UTF-8 for its
// UTF-8 ones. A "wide" byte array carries UTF-16 data that is passed as is.
//
// Copies share one engine view: the view ends when its host is destroyed, on
// destroyView, or when the last EngineView sharing it is destroyed.
#include "webview/wke.h"

#include <QByteArray>
#include <QPoint>
#include <QRect>

#include <memory>
#include <string>

class QEvent;
class QObject;
class QWidget;

namespace webview {

// Hit-test codes of hitTestBorders.
enum HitTestCode {
    HitClient = 1,
    HitLeft = 10,
    HitRight = 11,
    HitTop = 12,
    HitTopLeft = 13,
    HitTopRight = 14,
    HitBottom = 15,
    HitBottomLeft = 16,
    HitBottomRight = 17,
};

// The record kept for one engine callback registration: the caller's function,
// the number of engine arguments it takes, and the value handed back to it.
struct CallbackAdapter {
    void* target = nullptr;
    int argumentCount = 0;
    void* parameter = nullptr;
};

// One adapter slot per event registration, in the order of the registration
// operations (title changed = 0 ... will release script context = 17).
inline constexpr int kCallbackSlotCount = 18;

// Starts the engine once per process (loading the library on first use).
void startEngine();

class EngineView {
public:
    EngineView();
    EngineView(const EngineView& other);
    EngineView& operator=(const EngineView&) = delete;
    ~EngineView();

    // ---- Hosting --------------------------------------------------------

    // Creates the engine view as a child of host that fills it, follows its
    // size and takes its input and focus; transparent when layered. False
    // when this EngineView already has a view, host is null, host already
    // hosts a view, or the engine cannot make one (host then stays set).
    bool createView(QWidget* host, bool layered);
    // Tears the view down (if any) and gives the host back as it was; frees
    // every callback adapter. resizeBorders and maximizedRect are kept.
    void destroyView();
    // What the host does with an event while hosting; true when consumed.
    // watched is the host or its top-level window.
    bool handleHostEvent(QObject* watched, QEvent* event);
    bool fireMouseWheelEvent(int x, int y, int delta, unsigned flags);
    // The geometry a maximised host takes: false when maximizedRect is empty
    // (the window system decides).
    bool handleMinMaxInfo(QRect* maximizedGeometry) const;
    // Hit-test code for a screen point: 5-pixel resize bands, a 10 x 10
    // bottom-right grip, HitClient elsewhere and always while maximised.
    int hitTestBorders(const QPoint& globalPos) const;
    void releaseCallbackThunks();
    void setMaximizedRect(int left, int top, int width, int height);
    // Not 0: a left press in a resize band of the host starts a system resize.
    void setResizeBorders(int flag);
    wkeWebView getViewHandle() const;
    QWidget* hostWindow() const;
    int resizeBorders() const;
    QRect maximizedRect() const;  // (left, top) to (right, bottom); empty when unset

    // Replaces the adapter in a slot (freeing the old one) and returns the
    // new one; null for a slot out of range.
    CallbackAdapter* setCallbackAdapter(int slot, void* target, int argumentCount, void* parameter);
    CallbackAdapter* callbackAdapter(int slot) const;

    // ---- View, painting and input ---------------------------------------

    QWidget* getWindowHandle() const;
    bool fireMouseEvent(unsigned message, int x, int y, unsigned flags);
    void setFocus();
    void killFocus();
    int getWidth() const;
    int getHeight() const;
    int getContentWidth() const;
    int getContentHeight() const;
    wkeWebFrameHandle getMainFrame() const;

    // ---- Loading --------------------------------------------------------

    void load(const std::string& url);
    void loadWide(const QByteArray& url);
    void loadUrl(const std::string& url);
    void loadUrlWide(const QByteArray& url);
    void loadHtml(const std::string& html);
    void loadHtmlWide(const QByteArray& html);
    void loadFile(const std::string& path);
    void loadFileWide(const QByteArray& path);
    std::string getUrlUtf8() const;  // the engine's UTF-8 bytes
    std::string getUrl() const;
    std::string getTitle() const;
    // UTF-16 title with its terminator: 2 x length + 2 bytes; empty when none.
    QByteArray getTitleWide() const;
    bool isLoading() const;
    bool isLoadingSucceeded() const;
    bool isLoadingFailed() const;
    // From the next load on, a private session of the view's own (no
    // cookies, storage or cache from before or from other views).
    void startPrivateSession();
    // The server's error status (400 and up) for the last main-frame load, else 0.
    int httpErrorStatus() const;
    // How dialogs that no registered handler decides are answered
    // (WKE_DIALOGS_*); the callback hears of each one answered so.
    void setDialogAnswers(int mode, wkeDialogAnsweredCallback callback, void* param);
    // At most one frame drawn per interval (ms; 0: every frame).
    void setFrameInterval(int milliseconds);
    bool isLoadingCompleted() const;
    bool isDocumentReady() const;
    void stopLoading();
    void reload();
    bool canGoBack() const;
    bool goBack();
    bool canGoForward() const;
    bool goForward();

    // ---- Settings -------------------------------------------------------

    void setUserAgent(const std::string& userAgent);
    void setUserAgentWide(const QByteArray& userAgent);
    // The 208-byte proxy record (type 1 = HTTP, 4 = SOCKS5). Qt WebEngine
    // applies it to the whole application.
    void setProxy(int type, const std::string& host, int port, const std::string& user,
                  const std::string& password);
    void setNavigationToNewWindowEnable(bool enable);
    void setCspCheckEnable(bool enable);
    void setLocalFileAccessEnable(bool enable);
    void setMemoryCacheEnable(bool enable);
    void setNpapiPluginsEnabled(bool enable);
    void setHeadlessEnabled(bool enable);
    void setTouchEnabled(bool enable);
    void setMouseEnabled(bool enable);
    void setDeviceParameter(const std::string& device, const std::string& textValue, int intValue,
                            float floatValue);
    void showDevTools();
    void setZoomFactor(float factor);
    float getZoomFactor() const;
    void setMediaVolume(float volume);
    float getMediaVolume() const;
    void setEditable(bool editable);
    void setResourceGc(long long intervalSeconds);
    void setName(const std::string& name);
    std::string getName() const;
    void sleep();
    void wake();
    bool isAwake() const;
    void editorSelectAll();
    void editorUnSelect();
    void editorCopy();
    void editorCut();
    void editorPaste();
    void editorDelete();
    void editorUndo();
    void editorRedo();

    // ---- Storage folders ------------------------------------------------

    void setCookieJarPath(const std::string& folder);
    void setCookieJarPathWide(const QByteArray& folder);
    void setCookieJarFullPath(const std::string& filePath);
    void setCookieJarFullPathWide(const QByteArray& filePath);
    void setLocalStorageFullPath(const std::string& folder);

    // ---- Page script bridge ---------------------------------------------

    // Run a script (byte text, or a byte array of UTF-16, or UTF-16 text) as
    // a function body in the page's main world; returns once the page has run
    // it (wkeRunJSW). UTF-16 text goes to the engine as it is.
    jsValue runScript(const std::string& script);
    jsValue runScriptWide(const QByteArray& script);
    jsValue runScriptWide(const std::u16string& script);
    // How many script runs of this view the page left unanswered so far.
    int unansweredRuns() const;
    jsExecState globalExec() const;

    // ---- Events, cookies, network jobs, capture -------------------------
    // (engineview_events.cpp)

    // Event registrations, one adapter slot each (slot = the order below):
    // the engine calls handler with this view, parameter and the event's
    // values; a later registration of the same event replaces the handler, a
    // null handler removes it. The handler signatures, and which handlers run
    // inline (no synchronous scripts there), are documented in wke.h.
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

    // Cookies of the view's profile. setCookies splits the list at ";" and
    // sets each pair, spaces removed, as pair + "; domain=" + domain +
    // "; path=/;" for url; setCookie sets one cookie in Set-Cookie form.
    void setCookies(const std::string& url, const std::string& domain, const std::string& cookieList);
    void setCookie(const std::string& url, const std::string& cookie);
    // The current page's cookies, "a=1; b=2"; empty when none.
    std::string getCookie() const;
    QByteArray getCookieWide() const;  // UTF-16 with terminator; empty when none
    void setCookieEnabled(bool enable);
    bool isCookieEnabled() const;

    // Network jobs (wke.h tells what works for which requests).
    void netSetData(wkeNetJob job, const std::string& data);  // the bytes as they are
    // Answers the job with "<script>window.location.href='" + url + "'</script>".
    void netRedirect(wkeNetJob job, const std::string& url);
    void netSetMimeType(wkeNetJob job, const std::string& type);
    void setViewNetInterface(const std::string& name);

    // The whole page at its content size as a bitmap file image (54-byte
    // header, 32-bit pixels top row first); the view keeps its size. Empty
    // without a view or when the page has no content.
    QByteArray capturePage();

    // State shared by copies (webview/engineview_p.h), and another
    // EngineView on a given state: for the web view's own source files.
    struct Shared;
    static EngineView onShared(std::shared_ptr<Shared> shared);
    std::weak_ptr<Shared> sharedState() const { return d; }

private:
    explicit EngineView(std::shared_ptr<Shared> shared);
    std::shared_ptr<Shared> d;
};

}  // namespace webview
