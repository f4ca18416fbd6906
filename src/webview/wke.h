#pragma once
// C interface of the page engine library (libnode.so in the program
// directory). The library implements it over Qt WebEngine; clients never link
// it but bind each function by name at its first call (webview/engineloader.h).
//
// Conventions:
// - A view is an opaque handle; 0 means "no view". Functions given no view
//   (or an unknown one) do nothing and return 0 / false / null, except where a
//   function documents what it does with the empty handle.
// - A window is a QWidget*. The host window receives the engine's widgets as
//   children.
// - Texts are UTF-16 (char16_t, zero-terminated) or UTF-8 (char) as each
//   function says. Returned texts belong to the engine and stay valid until
//   the next call of the same function for the same view.
// - Message numbers, mouse key-state flags and virtual-key codes use the
//   classic desktop values (WKE_MSG_*, WKE_* flags, webview/vkeys.h).
//
// The file is organised in one section per group of functions. Groups whose
// functions live in other source files of the library are marked where they
// go.
#include <cstddef>
#include <cstdint>

#if defined(TOLVANE_BUILDING_ENGINE)
#define WKE_API __attribute__((visibility("default")))
#else
#define WKE_API
#endif

class QWidget;
typedef QWidget* wkeWindow;

extern "C" {

typedef struct wkeViewState* wkeWebView;
typedef struct wkeFrameTag* wkeWebFrameHandle;

typedef struct wkeRect {
    int x;
    int y;
    int w;
    int h;
} wkeRect;

// Mouse messages.
enum {
    WKE_MSG_MOUSEMOVE = 0x0200,
    WKE_MSG_LBUTTONDOWN = 0x0201,
    WKE_MSG_LBUTTONUP = 0x0202,
    WKE_MSG_LBUTTONDBLCLK = 0x0203,
    WKE_MSG_RBUTTONDOWN = 0x0204,
    WKE_MSG_RBUTTONUP = 0x0205,
    WKE_MSG_RBUTTONDBLCLK = 0x0206,
    WKE_MSG_MBUTTONDOWN = 0x0207,
    WKE_MSG_MBUTTONUP = 0x0208,
    WKE_MSG_MBUTTONDBLCLK = 0x0209,
    WKE_MSG_MOUSEWHEEL = 0x020A,
};

// Other messages understood by wkeFireWindowsMessage (not the cursor
// message: the engine's widgets show the page's cursor themselves).
enum {
    WKE_MSG_SETFOCUS = 0x0007,
    WKE_MSG_KILLFOCUS = 0x0008,
    WKE_MSG_SETCURSOR = 0x0020,
    WKE_MSG_CONTEXTMENU = 0x007B,
    WKE_MSG_KEYDOWN = 0x0100,
    WKE_MSG_KEYUP = 0x0101,
    WKE_MSG_CHAR = 0x0102,
};

// Key-state flags of mouse events, and flags of key events.
enum {
    WKE_LBUTTON = 0x01,
    WKE_RBUTTON = 0x02,
    WKE_SHIFT = 0x04,
    WKE_CONTROL = 0x08,
    WKE_MBUTTON = 0x10,
    WKE_EXTENDED = 0x0100,
    WKE_REPEAT = 0x4000,
};

// ---------------------------------------------------------------------------
// Start-up and view
// ---------------------------------------------------------------------------

WKE_API bool wkeIsInitialize(void);
// Starts the engine. Needs the QApplication; the application must have been
// created with Qt::AA_ShareOpenGLContexts (webview/appsetup.h).
WKE_API void wkeInitialize(void);
// A new view that is not shown until wkeSetHandle gives it a host. It uses the
// storage paths last handed over with the empty view handle (see Storage).
WKE_API wkeWebView wkeCreateWebView(void);
// Makes the view a child of host filling it; a null host takes it out again.
WKE_API void wkeSetHandle(wkeWebView view, wkeWindow host);
WKE_API void wkeSetTransparent(wkeWebView view, bool transparent);
WKE_API void wkeResize(wkeWebView view, int width, int height);
// The engine's own top widget inside the host (null when there is none).
WKE_API wkeWindow wkeGetWindowHandle(wkeWebView view);
WKE_API void wkeDestroyWebView(wkeWebView view);
WKE_API int wkeGetWidth(wkeWebView view);
WKE_API int wkeGetHeight(wkeWebView view);
WKE_API int wkeGetContentWidth(wkeWebView view);
WKE_API int wkeGetContentHeight(wkeWebView view);
// Copies the view's pixels (32-bit premultiplied BGRA in memory order, rows
// top first) into bits, pitch bytes per row (0: 4 x width).
WKE_API void wkePaint(wkeWebView view, void* bits, int pitch);

// ---------------------------------------------------------------------------
// Painting and input
// ---------------------------------------------------------------------------

// Called after the view has painted the rectangle (x, y, cx, cy), at most once
// per turn of the event loop. hdc is null: wkeGetViewDC gives the pixels.
typedef void (*wkePaintUpdatedCallback)(wkeWebView view, void* param, const void* hdc,
                                        int x, int y, int cx, int cy);
WKE_API void wkeOnPaintUpdated(wkeWebView view, wkePaintUpdatedCallback callback, void* param);
WKE_API void wkeRepaintIfNeeded(wkeWebView view);
// The view's current pixels as a const QImage* (premultiplied ARGB32), owned
// by the engine and valid until the next call for the view.
WKE_API const void* wkeGetViewDC(wkeWebView view);
// Positions are in view coordinates. Return whether the view took the event.
WKE_API bool wkeFireMouseEvent(wkeWebView view, unsigned message, int x, int y, unsigned flags);
WKE_API bool wkeFireMouseWheelEvent(wkeWebView view, int x, int y, int delta, unsigned flags);
// x and y both negative: the menu was asked for from the keyboard.
WKE_API bool wkeFireContextMenuEvent(wkeWebView view, int x, int y, unsigned flags);
WKE_API bool wkeFireKeyDownEvent(wkeWebView view, unsigned virtualKeyCode, unsigned flags, bool systemKey);
WKE_API bool wkeFireKeyUpEvent(wkeWebView view, unsigned virtualKeyCode, unsigned flags, bool systemKey);
// charCode: one UTF-16 code unit.
WKE_API bool wkeFireKeyPressEvent(wkeWebView view, unsigned charCode, unsigned flags, bool systemKey);
// Lets the engine answer a message of the WKE_MSG_* kinds; returns whether it
// did, with its result in *result.
WKE_API bool wkeFireWindowsMessage(wkeWebView view, wkeWindow window, unsigned message,
                                   uintptr_t wParam, intptr_t lParam, intptr_t* result);
WKE_API void wkeSetFocus(wkeWebView view);
WKE_API void wkeKillFocus(wkeWebView view);
// Caret of the focused editable element, in view coordinates.
WKE_API wkeRect wkeGetCaretRect(wkeWebView view);

// ---------------------------------------------------------------------------
// Loading (UTF-16 texts)
// ---------------------------------------------------------------------------

// A URL, or a plain absolute file path without a scheme.
WKE_API void wkeLoadURLW(wkeWebView view, const char16_t* url);
WKE_API void wkeLoadHTMLW(wkeWebView view, const char16_t* html);
WKE_API void wkeLoadFileW(wkeWebView view, const char16_t* filePath);
// Same as wkeLoadURLW.
WKE_API void wkeLoadW(wkeWebView view, const char16_t* url);
// UTF-8.
WKE_API const char* wkeGetURL(wkeWebView view);
WKE_API const char16_t* wkeGetTitleW(wkeWebView view);
WKE_API bool wkeIsLoading(wkeWebView view);
WKE_API bool wkeIsLoadingSucceeded(wkeWebView view);
WKE_API bool wkeIsLoadingFailed(wkeWebView view);
WKE_API bool wkeIsLoadingCompleted(wkeWebView view);
WKE_API bool wkeIsDocumentReady(wkeWebView view);
WKE_API void wkeStopLoading(wkeWebView view);
WKE_API void wkeReload(wkeWebView view);
WKE_API bool wkeCanGoBack(wkeWebView view);
WKE_API bool wkeGoBack(wkeWebView view);
WKE_API bool wkeCanGoForward(wkeWebView view);
WKE_API bool wkeGoForward(wkeWebView view);
WKE_API wkeWebFrameHandle wkeWebFrameGetMainFrame(wkeWebView view);

// ---------------------------------------------------------------------------
// Scripts
// ---------------------------------------------------------------------------

// A script value: 64 bits, 0 meaning none. The value of a run is the text the
// page made of the run's result with String(); the engine keeps the values of
// the 64 most recent runs, older ones read as none.
typedef int64_t jsValue;
// The execution state of a view's main frame.
typedef struct jsExecStateTag* jsExecState;
// A text the engine hands to a callback, valid during the call.
typedef struct wkeStringTag* wkeString;

// Runs script as the body of a function in the main world of the view's main
// frame (a return statement gives the value; a variable assigned without a
// declaration is the page's global) and returns once the page has run it,
// processing events other than user input meanwhile. While the main frame is
// loading a document not yet parsed, the run first waits for it (at most
// 10 s). A run that throws or does not compile gives the text "error" and
// writes the page's message to the page console; a page that does not answer
// within 10 s, or no view, gives no value (0).
WKE_API jsValue wkeRunJSW(wkeWebView view, const char16_t* script);
// The same with a UTF-8 script.
WKE_API jsValue wkeRunJS(wkeWebView view, const char* script);
// wkeRunJSW in a subframe: the frame reached from the main frame through
// depth child indexes (path[i]: the index of the frame among its parent
// window's frames, window.frames order), of any origin. With wholeScript the
// script is run as it is, as a classic script, and its completion value
// answers: ["v", text] gives text, ["e", message] gives "error". A frame that
// is not there gives "error". A web engine that runs scripts in the main
// frame only gives "error" for depth > 0 and says so once on standard error.
WKE_API jsValue wkeRunJSInFrameW(wkeWebView view, const int* path, int depth,
                                 const char16_t* script, bool wholeScript);
// Null when there is no view.
WKE_API jsExecState wkeGlobalExec(wkeWebView view);
// The value's text, valid until the next call; null for no value (or one no
// longer kept). es may be null.
WKE_API const char16_t* jsToStringW(jsExecState es, jsValue value);
// Why the view's latest synchronous run gave "error" or no value, and clears
// it: the page's exception message, "syntax: ..." for a script that did not
// compile, "timeout: ..." for a page that did not answer in time. Null when
// that run succeeded or the reason was taken already. Valid until the next
// call for the view.
WKE_API const char16_t* wkeTakeRunFailure(wkeWebView view);
// The string's text; null for a null string.
WKE_API const char16_t* wkeGetStringW(wkeString string);

// ---------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------

enum {
    WKE_PROXY_NONE = 0,
    WKE_PROXY_HTTP = 1,
    WKE_PROXY_SOCKS4 = 2,
    WKE_PROXY_SOCKS4A = 3,
    WKE_PROXY_SOCKS5 = 4,
    WKE_PROXY_SOCKS5HOSTNAME = 5,
};

// The 208-byte proxy record: texts UTF-8, zero-terminated, zero-filled.
typedef struct wkeProxy {
    int32_t type;
    char hostname[100];
    uint16_t port;
    char username[50];
    char password[50];
} wkeProxy;
static_assert(sizeof(wkeProxy) == 208 && offsetof(wkeProxy, hostname) == 4 &&
              offsetof(wkeProxy, port) == 104 && offsetof(wkeProxy, username) == 106 &&
              offsetof(wkeProxy, password) == 156, "proxy record layout");

// The user agent of the view's profile; with the empty view handle, the user
// agent given to the next view created.
WKE_API void wkeSetUserAgentW(wkeWebView view, const char16_t* userAgent);
// Applies to the whole application: Qt WebEngine has one proxy per process.
WKE_API void wkeSetViewProxy(wkeWebView view, const wkeProxy* proxy);
WKE_API void wkeSetNavigationToNewWindowEnable(wkeWebView view, bool enable);
WKE_API void wkeSetCspCheckEnable(wkeWebView view, bool enable);
// Whether a page loaded from a file may read other files. On by default.
// Off, the view's file pages get from the disk only images, styles, scripts,
// fonts and media from their own folder (as a browser opening a saved page
// shows them); no XMLHttpRequest, fetch, frame, object or worker of a file,
// and nothing from other folders. Web resources load as before, but such a
// page makes no XMLHttpRequest or fetch at all (a file page could read any
// server's answer, a local one's too).
WKE_API void wkeSetLocalFileAccessEnable(wkeWebView view, bool enable);
WKE_API void wkeSetMemoryCacheEnable(wkeWebView view, bool enable);
WKE_API void wkeSetNpapiPluginsEnabled(wkeWebView view, bool enable);
WKE_API void wkeSetHeadlessEnabled(wkeWebView view, bool enable);
WKE_API void wkeSetTouchEnabled(wkeWebView view, bool enable);
WKE_API void wkeSetMouseEnabled(wkeWebView view, bool enable);
// device: "navigator.<name>", "screen.<name>" or "window.devicePixelRatio";
// text values for text properties, the integer or float otherwise. UTF-8.
WKE_API void wkeSetDeviceParameter(wkeWebView view, const char* device, const char* paramStr,
                                   int paramInt, float paramFloat);
// "showDevTools": opens the developer tools for the view (param unused).
WKE_API void wkeSetDebugConfig(wkeWebView view, const char* debugString, const char* param);
WKE_API void wkeSetZoomFactor(wkeWebView view, float factor);
WKE_API float wkeGetZoomFactor(wkeWebView view);
WKE_API void wkeSetMediaVolume(wkeWebView view, float volume);
WKE_API float wkeGetMediaVolume(wkeWebView view);
WKE_API void wkeSetEditable(wkeWebView view, bool editable);
// Every intervalSec seconds (0: never) the view's cached resources are dropped.
WKE_API void wkeSetResourceGc(wkeWebView view, long long intervalSec);
// (network group: wkeSetViewNetInterface goes with the network functions)
WKE_API void wkeSetName(wkeWebView view, const char* name);
WKE_API const char* wkeGetName(wkeWebView view);
WKE_API void wkeSleep(wkeWebView view);
WKE_API void wkeWake(wkeWebView view);
WKE_API bool wkeIsAwake(wkeWebView view);
WKE_API void wkeEditorSelectAll(wkeWebView view);
WKE_API void wkeEditorUnSelect(wkeWebView view);
WKE_API void wkeEditorCopy(wkeWebView view);
WKE_API void wkeEditorCut(wkeWebView view);
WKE_API void wkeEditorPaste(wkeWebView view);
WKE_API void wkeEditorDelete(wkeWebView view);
WKE_API void wkeEditorUndo(wkeWebView view);
WKE_API void wkeEditorRedo(wkeWebView view);

// ---------------------------------------------------------------------------
// Storage: folders
// ---------------------------------------------------------------------------
// Each distinct pair (cookie folder, local-storage folder) is one persistent
// profile. Given with the empty view handle, the paths are used for the views
// created afterwards; given with a view, they take effect at its next load.
// An empty path on both sides means private (off-the-record) storage.

// The folder that holds the cookie jar.
WKE_API void wkeSetCookieJarPath(wkeWebView view, const char16_t* folder);
// The cookie jar file; its folder is used.
WKE_API void wkeSetCookieJarFullPath(wkeWebView view, const char16_t* filePath);
WKE_API void wkeSetLocalStorageFullPath(wkeWebView view, const char16_t* folder);

// ---------------------------------------------------------------------------
// Storage: cookies
// ---------------------------------------------------------------------------
// Cookies live in the view's profile (its storage folders): every view on the
// same folders sees them.

// Sets one cookie in Set-Cookie form ("a=1; domain=example.com; path=/;")
// for url, which also gives the domain when the cookie names none. UTF-8.
WKE_API void wkeSetCookie(wkeWebView view, const char* url, const char* cookie);
// The cookies that the current page's address would be sent, as
// "a=1; b=2": what the page reads from document.cookie, followed by the
// HttpOnly ones set since the engine started. Null when there is no view. The
// page is asked synchronously: not from an inline handler (see Events).
WKE_API const char16_t* wkeGetCookieW(wkeWebView view);
// Whether pages on the view's profile may store and send cookies (both
// through the network and document.cookie). On by default.
WKE_API void wkeSetCookieEnabled(wkeWebView view, bool enable);
WKE_API bool wkeIsCookieEnabled(wkeWebView view);

typedef enum wkeCookieCommand {
    wkeCookieCommandClearAllCookies = 0,
    wkeCookieCommandClearSessionCookies = 1,
    wkeCookieCommandFlushCookiesToFile = 2,   // Chromium writes its cookie file itself
    wkeCookieCommandReloadCookiesFromFile = 3,
} wkeCookieCommand;
// Runs the command on the cookies of the view's profile.
WKE_API void wkePerformCookieCommand(wkeWebView view, int command);

// ---------------------------------------------------------------------------
// Network jobs
// ---------------------------------------------------------------------------
// A job is one request of a view, handed to the network handlers (see
// Events: wkeOnLoadUrlBegin, wkeNetOnResponse, wkeOnLoadUrlEnd). A job handle
// is valid during those calls; a stale one makes every function here do
// nothing.
//
// Plain http requests (loopback ones included) pass through the engine's own
// proxy and are fully in reach: method, headers and body are seen, the
// request can be answered without the network, changed, or its response
// rewritten before the page sees it. Requests of other schemes (https, file,
// data, ...) are seen at the start only (URL and method): they can be
// cancelled and given extra request headers, nothing more. Resources a page
// takes from Blink's memory cache make no request at all.

typedef struct wkeNetJobTag* wkeNetJob;

typedef enum wkeRequestType {
    WKE_HTTP_METHOD_OTHER = 0,
    WKE_HTTP_METHOD_GET = 1,
    WKE_HTTP_METHOD_POST = 2,
    WKE_HTTP_METHOD_PUT = 3,
    WKE_HTTP_METHOD_DELETE = 4,
    WKE_HTTP_METHOD_HEAD = 5,
    WKE_HTTP_METHOD_OPTIONS = 6,
    WKE_HTTP_METHOD_PATCH = 7,
} wkeRequestType;

// Asks for the job's response body: the request goes out, and its whole
// response is handed to wkeOnLoadUrlEnd's handler before the page gets it
// (asked from wkeOnLoadUrlBegin's handler, the server is asked for an
// uncompressed body). http only.
WKE_API void wkeNetHookRequest(wkeNetJob job);
// The body the page gets for the job, copied: from wkeOnLoadUrlBegin's
// handler it answers the request without the network (status 200, a content
// type from wkeNetSetMIMEType or guessed from the URL, not cached); from the
// response handlers it replaces the response's body. http only.
WKE_API void wkeNetSetData(wkeNetJob job, const void* data, int length);
// The Content-Type of the job's answer or response ("text/html;
// charset=utf-8"). UTF-8. http only.
WKE_API void wkeNetSetMIMEType(wkeNetJob job, const char* type);
// Sets a header field of the request (response false; from
// wkeOnLoadUrlBegin's handler, any scheme but file and data) or of the
// answer or response (response true; http only), replacing a field of that
// name.
WKE_API void wkeNetSetHTTPHeaderField(wkeNetJob job, const char16_t* name, const char16_t* value,
                                      bool response);
// The request's method (wkeRequestType).
WKE_API int wkeNetGetRequestMethod(wkeNetJob job);
// The request body, zero-terminated, valid during the handler call; null when
// the request has none (or is not http).
WKE_API const char* wkeNetGetPostBody(wkeNetJob job);
// The network interface (its name, e.g. "eth1") whose address the view's
// plain http requests leave from; empty: the system's choice. Takes effect
// for requests the view makes afterwards. UTF-8.
WKE_API void wkeSetViewNetInterface(wkeWebView view, const char* netInterface);

// ---------------------------------------------------------------------------
// Page capture
// ---------------------------------------------------------------------------

// Paints the page's content from its top-left corner, width x height pixels,
// into bits (32-bit premultiplied BGRA in memory order, rows top first,
// 4 x width bytes per row). The view is resized to show the content (in
// tiles when it is taller or wider than the window system can paint), each
// part grabbed once the page has painted it, and the view's size and scroll
// position are restored. A view that is not shown grabs white. False when
// there is no view or nothing could be grabbed. Runs the page synchronously:
// not from an inline handler.
WKE_API bool wkeCaptureContent(wkeWebView view, void* bits, int width, int height);

// ---------------------------------------------------------------------------
// Events
// ---------------------------------------------------------------------------
// Each registration takes (view, handler, param). The handler replaces the
// view's earlier handler for the same event (null removes it); registrations
// of different events are independent, and all of them end with the view.
// The handler gets the view and param first, then the event's values.
//
// Handlers run on the UI thread, in one of two ways:
// - Queued (unless marked otherwise): the engine needs no answer. The handler
//   runs from the engine's handler queue, which a timer empties while no
//   engine callback is under way, so it may call any function, synchronous
//   script runs included. Its values were taken when the event happened; a
//   view destroyed meanwhile gets no call.
// - Inline: the handler's answer decides something at once, so it runs from
//   inside Qt WebEngine's own callback. It must not run scripts synchronously
//   (wkeRunJSW, wkeRunJS, wkeGetCookieW, wkeCaptureContent) nor otherwise wait
//   for the page: the page cannot answer then, and the wait deadlocks or
//   times out. Such work belongs in a timer started by the handler.
// Texts handed to a handler (wkeString, char*) are valid during the call.

typedef enum wkeNavigationType {
    WKE_NAVIGATION_TYPE_LINKCLICK = 0,
    WKE_NAVIGATION_TYPE_FORMSUBMIT = 1,
    WKE_NAVIGATION_TYPE_BACKFORWARD = 2,
    WKE_NAVIGATION_TYPE_RELOAD = 3,
    WKE_NAVIGATION_TYPE_TYPED = 4,     // a load asked for by the program
    WKE_NAVIGATION_TYPE_REDIRECT = 5,
    WKE_NAVIGATION_TYPE_OTHER = 6,     // scripts and everything else
} wkeNavigationType;

typedef enum wkeLoadingResult {
    WKE_LOADING_SUCCEEDED = 0,
    WKE_LOADING_FAILED = 1,
    WKE_LOADING_CANCELED = 2,
} wkeLoadingResult;

typedef enum wkeConsoleLevel {
    WKE_CONSOLE_LEVEL_INFO = 0,     // console.log, info and debug
    WKE_CONSOLE_LEVEL_WARNING = 1,
    WKE_CONSOLE_LEVEL_ERROR = 2,
} wkeConsoleLevel;

// What a page asked of a new window. Sizes of 0 were not asked for.
typedef struct wkeWindowFeatures {
    int x;
    int y;
    int width;
    int height;
    bool popup;        // a window of its own (window.open with features), not a tab
    bool userGesture;  // asked for by a click or key of the user
} wkeWindowFeatures;

// A prompt box: the message and default value, and the answer the handler
// writes (UTF-16, copied by the engine when the handler returns; null means
// the empty text).
typedef struct wkePromptParams {
    wkeString message;
    wkeString defaultValue;
    const char16_t* result;
} wkePromptParams;

// Slot 0: the main frame's title changed.
typedef void (*wkeTitleChangedCallback)(wkeWebView view, void* param, const wkeString title);
WKE_API void wkeOnTitleChanged(wkeWebView view, wkeTitleChangedCallback callback, void* param);
// Slot 1: the main frame's address changed.
typedef void (*wkeURLChangedCallback)(wkeWebView view, void* param, const wkeString url);
WKE_API void wkeOnURLChanged(wkeWebView view, wkeURLChangedCallback callback, void* param);
// Slot 2: the same with the frame (always the main frame).
typedef void (*wkeURLChangedCallback2)(wkeWebView view, void* param, wkeWebFrameHandle frame,
                                       const wkeString url);
WKE_API void wkeOnURLChanged2(wkeWebView view, wkeURLChangedCallback2 callback, void* param);
// Slot 3, inline: window.alert. With a handler no box is shown.
typedef void (*wkeAlertBoxCallback)(wkeWebView view, void* param, const wkeString message);
WKE_API void wkeOnAlertBox(wkeWebView view, wkeAlertBoxCallback callback, void* param);
// Slot 4, inline: window.confirm; the result is the page's answer.
typedef bool (*wkeConfirmBoxCallback)(wkeWebView view, void* param, const wkeString message);
WKE_API void wkeOnConfirmBox(wkeWebView view, wkeConfirmBoxCallback callback, void* param);
// Slot 5, inline: window.prompt. True: the page gets prompt->result; false:
// the box counts as cancelled (null).
typedef bool (*wkePromptBoxCallback)(wkeWebView view, void* param, wkePromptParams* prompt);
WKE_API void wkeOnPromptBox(wkeWebView view, wkePromptBoxCallback callback, void* param);
// Slot 6, inline: the main frame is about to navigate to url. False refuses
// the navigation; the page stays.
typedef bool (*wkeNavigationCallback)(wkeWebView view, void* param, wkeNavigationType type,
                                      const wkeString url);
WKE_API void wkeOnNavigation(wkeWebView view, wkeNavigationCallback callback, void* param);
// Slot 7, inline: the page asks for a new window showing url. The result is
// the view to show it in: view itself (loaded in place), another view (which
// becomes the new window, opener kept), or null (nothing opens). Without a
// handler the engine opens a window of its own (or loads in place when
// wkeSetNavigationToNewWindowEnable is off).
typedef wkeWebView (*wkeCreateViewCallback)(wkeWebView view, void* param, wkeNavigationType type,
                                            const wkeString url, const wkeWindowFeatures* features);
WKE_API void wkeOnCreateView(wkeWebView view, wkeCreateViewCallback callback, void* param);
// Slot 8: the main frame's document has been parsed (DOMContentLoaded).
typedef void (*wkeDocumentReadyCallback)(wkeWebView view, void* param);
WKE_API void wkeOnDocumentReady(wkeWebView view, wkeDocumentReadyCallback callback, void* param);
// Slot 9: the same for every frame: the main frame's handle
// (wkeWebFrameGetMainFrame) or one handle standing for any subframe.
typedef void (*wkeDocumentReady2Callback)(wkeWebView view, void* param, wkeWebFrameHandle frame);
WKE_API void wkeOnDocumentReady2(wkeWebView view, wkeDocumentReady2Callback callback, void* param);
// Slot 10: the main frame's load ended; failedReason is empty on success.
typedef void (*wkeLoadingFinishCallback)(wkeWebView view, void* param, const wkeString url,
                                         wkeLoadingResult result, const wkeString failedReason);
WKE_API void wkeOnLoadingFinish(wkeWebView view, wkeLoadingFinishCallback callback, void* param);
// Slot 11, inline: a download (UTF-8 url). True: the engine saves the file in
// its download folder; false: it does not (the handler may fetch url itself).
// Without a handler nothing is downloaded.
typedef bool (*wkeDownloadCallback)(wkeWebView view, void* param, const char* url);
WKE_API void wkeOnDownload(wkeWebView view, wkeDownloadCallback callback, void* param);
// Slot 12: a console message of the page. sourceLine counts from 1;
// stackTrace is empty (Qt WebEngine gives none).
typedef void (*wkeConsoleCallback)(wkeWebView view, void* param, wkeConsoleLevel level,
                                   const wkeString message, const wkeString sourceName,
                                   unsigned sourceLine, const wkeString stackTrace);
WKE_API void wkeOnConsole(wkeWebView view, wkeConsoleCallback callback, void* param);
// Slot 13, inline: a request of the view is about to be sent (UTF-8 url). The
// handler may answer it (wkeNetSetData), change its request headers, ask for
// its response (wkeNetHookRequest), or return true to cancel it (the page
// sees a failed request). An http request arrives here whole (method,
// headers, body); other schemes see the start only (see Network jobs).
typedef bool (*wkeLoadUrlBeginCallback)(wkeWebView view, void* param, const char* url, wkeNetJob job);
WKE_API void wkeOnLoadUrlBegin(wkeWebView view, wkeLoadUrlBeginCallback callback, void* param);
// Slot 14: the response to an http request of the view has arrived, whole;
// the page gets it after the handler returns. The handler may set response
// header fields and the MIME type, replace the body (wkeNetSetData), hook the
// job for wkeOnLoadUrlEnd, or return true to fail the request.
typedef bool (*wkeNetResponseCallback)(wkeWebView view, void* param, const char* url, wkeNetJob job);
WKE_API void wkeNetOnResponse(wkeWebView view, wkeNetResponseCallback callback, void* param);
// Slot 15: a hooked job's response body (buf, len: a copy, valid during the
// call). The page gets the body set with wkeNetSetData if the handler sets
// one, the original otherwise.
typedef void (*wkeLoadUrlEndCallback)(wkeWebView view, void* param, const char* url, wkeNetJob job,
                                      void* buf, int len);
WKE_API void wkeOnLoadUrlEnd(wkeWebView view, wkeLoadUrlEndCallback callback, void* param);
// Slot 16: a frame's script context was created (a new document). frame as
// for slot 9; context identifies the context until its release; extension
// group and world are 0 (the page's main world).
typedef void (*wkeDidCreateScriptContextCallback)(wkeWebView view, void* param, wkeWebFrameHandle frame,
                                                  void* context, int extensionGroup, int worldId);
WKE_API void wkeOnDidCreateScriptContext(wkeWebView view, wkeDidCreateScriptContextCallback callback,
                                         void* param);
// Slot 17: a frame's script context is going away (its document is left).
typedef void (*wkeWillReleaseScriptContextCallback)(wkeWebView view, void* param, wkeWebFrameHandle frame,
                                                    void* context, int worldId);
WKE_API void wkeOnWillReleaseScriptContext(wkeWebView view, wkeWillReleaseScriptContextCallback callback,
                                           void* param);

// ---------------------------------------------------------------------------
// Scripts in a world
// ---------------------------------------------------------------------------
// For the program's own traffic with a page: unlike wkeRunJSW, the script is
// run as it is, as a classic script, and the run does not wait. The page's
// Content-Security-Policy governs the page's own code, not these runs; inside
// them eval and new Function obey the policy in the page's world and always
// work in the isolated world.

enum {
    WKE_WORLD_PAGE = 0,      // the page's main world: its globals, its policy
    WKE_WORLD_ISOLATED = 1,  // the engine's isolated world, out of pages' reach
};

// The answer of a run. json is "[value]" with the script's completion value
// as the engine converts it: strings, numbers and booleans as such, arrays as
// arrays, other objects as objects of their own enumerable properties,
// undefined and null as null (as is a run that threw or did not compile). It
// is null when the page went away before answering. Called once: inline (see
// Events: no synchronous script runs from it; further wkeRunScriptInWorld
// calls are fine) for a value other than undefined and null, else from the
// handler queue. view is null if the view is gone by then.
typedef void (*wkeScriptAnswerCallback)(wkeWebView view, void* param, const char16_t* json);
// Runs script in the view's main frame, in the given world (WKE_WORLD_*), and
// returns at once; the callback gets the answer. Runs of one view are run in
// the order asked. False, and no callback, when there is no view or page.
WKE_API bool wkeRunScriptInWorld(wkeWebView view, int world, const char16_t* script,
                                 wkeScriptAnswerCallback callback, void* param);
// wkeRunScriptInWorld in a subframe, reached as in wkeRunJSInFrameW (depth
// child indexes, window.frames order), of any origin; each frame has its own
// isolated world. False, and no callback, also when that frame is not there
// or the web engine runs scripts in the main frame only (depth > 0 there).
WKE_API bool wkeRunScriptInFrameWorld(wkeWebView view, const int* path, int depth, int world,
                                      const char16_t* script, wkeScriptAnswerCallback callback,
                                      void* param);

// ---------------------------------------------------------------------------
// Unattended runs: dialogs, file choosers and the start page's HTTP status
// ---------------------------------------------------------------------------

enum {
    WKE_DIALOGS_SHOW = 0,     // a dialog is shown to the user (the default)
    WKE_DIALOGS_ACCEPT = 1,   // answered as OK: confirm true, prompt its default, leave the page
    WKE_DIALOGS_DISMISS = 2,  // answered as Cancel: confirm false, prompt null, stay on the page
};
enum {
    WKE_DIALOG_ALERT = 0,
    WKE_DIALOG_CONFIRM = 1,
    WKE_DIALOG_PROMPT = 2,
    WKE_DIALOG_BEFOREUNLOAD = 3,
    WKE_DIALOG_FILECHOOSER = 4,
};
// A dialog the engine answered itself (kind WKE_DIALOG_*), called inline:
// no synchronous script runs from it.
typedef void (*wkeDialogAnsweredCallback)(wkeWebView view, void* param, int kind,
                                          const char16_t* message);
// How the view answers the dialogs (and file choosers) that no handler of
// slots 3 to 5 decided: WKE_DIALOGS_*. The callback, when not null, hears of
// each dialog so answered.
WKE_API void wkeSetDialogAnswers(wkeWebView view, int mode, wkeDialogAnsweredCallback callback,
                                 void* param);
// The files the view's next file chooser gets, as a user's choice in the
// dialog would give them: absolute paths separated by '\n'. Null forgets an
// earlier choice.
WKE_API void wkeSetNextFileChoice(wkeWebView view, const char16_t* paths);
// Whether a choice set with wkeSetNextFileChoice still waits for a chooser.
WKE_API bool wkeIsFileChoicePending(wkeWebView view);
// From the view's next load on, a private session of its own: no cookies,
// storage or cache from before or from any other view. The session ends (and
// its data goes) when the view moves to another one or is destroyed.
WKE_API void wkeStartPrivateSession(wkeWebView view);
// The HTTP status of the main frame's last load when the server answered it
// with an error status (400 and up); 0 otherwise.
WKE_API int wkeGetHttpErrorStatus(wkeWebView view);
// Draws at most one of the page's frames per interval (milliseconds; 0, the
// default: every frame, as the engine makes them). The page waits for each
// frame to be drawn before it makes the next, so a paced page renders and
// runs its animation frames at that rate, and its rendering keeps out of the
// way of scripts run on it. Grabbing the view's pixels draws what is held
// first.
WKE_API void wkeSetFrameInterval(wkeWebView view, int milliseconds);

}  // extern "C"
