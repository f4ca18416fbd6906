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

// Other messages understood by wkeFireWindowsMessage.
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
// Null when there is no view.
WKE_API jsExecState wkeGlobalExec(wkeWebView view);
// The value's text, valid until the next call; null for no value (or one no
// longer kept). es may be null.
WKE_API const char16_t* jsToStringW(jsExecState es, jsValue value);
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
// (cookie group: wkeSetCookie, wkeGetCookieW, wkeSetCookieEnabled,
//  wkeIsCookieEnabled, wkePerformCookieCommand go here)
// ---------------------------------------------------------------------------

// ---------------------------------------------------------------------------
// Network jobs
// (network group: wkeNetHookRequest, wkeNetSetData, wkeNetSetMIMEType,
//  wkeNetSetHTTPHeaderField, wkeNetGetRequestMethod, wkeNetGetPostBody,
//  wkeSetViewNetInterface go here)
// ---------------------------------------------------------------------------

// ---------------------------------------------------------------------------
// Events
// (event group: the eighteen wkeOn... registrations and wkeNetOnResponse,
//  with their callback types, go here)
// ---------------------------------------------------------------------------

}  // extern "C"
