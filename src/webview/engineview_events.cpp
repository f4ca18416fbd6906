// EngineView: event registrations, cookies, network jobs and page capture.
#include "webview/capturebitmap.h"
#include "webview/engineloader.h"
#include "webview/engineview_p.h"

#include "runtime/textcodec.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace webview {
namespace {

// How long capturePage waits for the engine to know a new page's size.
constexpr int kContentSizeWaitMs = 5000;

// Slots of the event registrations, in the order of the operations.
enum EventSlot {
    TitleChangedSlot,
    UrlChangedSlot,
    UrlChanged2Slot,
    AlertBoxSlot,
    ConfirmBoxSlot,
    PromptBoxSlot,
    NavigationSlot,
    CreateViewSlot,
    DocumentReadySlot,
    DocumentReady2Slot,
    LoadingFinishSlot,
    DownloadSlot,
    ConsoleSlot,
    LoadUrlBeginSlot,
    NetResponseSlot,
    LoadUrlEndSlot,
    DidCreateScriptContextSlot,
    WillReleaseScriptContextSlot,
};
static_assert(WillReleaseScriptContextSlot + 1 == kCallbackSlotCount);

// The number of engine arguments each handler takes (the view and the
// parameter first), by slot.
constexpr int kArgumentCounts[kCallbackSlotCount] = {3, 3, 4, 3, 3, 3, 4, 5, 2, 3, 5, 3, 7, 4, 4, 6, 6, 5};

}  // namespace

// Registering: the slot's adapter record is replaced (the old one freed), then
// the engine is given the handler. The engine calls handlers with its
// published arguments, so the handler itself is what it calls.
#define TOLVANE_EVENT_REGISTRATION(operation, type, slot, engineFunction)                          \
    void EngineView::operation(type handler, void* parameter)                                        \
    {                                                                                              \
        setCallbackAdapter(slot, reinterpret_cast<void*>(handler), kArgumentCounts[slot], parameter); \
        WKE_CALL(engineFunction)(d->view, handler, parameter);                                     \
    }

TOLVANE_EVENT_REGISTRATION(onTitleChanged, wkeTitleChangedCallback, TitleChangedSlot, wkeOnTitleChanged)
TOLVANE_EVENT_REGISTRATION(onUrlChanged, wkeURLChangedCallback, UrlChangedSlot, wkeOnURLChanged)
TOLVANE_EVENT_REGISTRATION(onUrlChanged2, wkeURLChangedCallback2, UrlChanged2Slot, wkeOnURLChanged2)
TOLVANE_EVENT_REGISTRATION(onAlertBox, wkeAlertBoxCallback, AlertBoxSlot, wkeOnAlertBox)
TOLVANE_EVENT_REGISTRATION(onConfirmBox, wkeConfirmBoxCallback, ConfirmBoxSlot, wkeOnConfirmBox)
TOLVANE_EVENT_REGISTRATION(onPromptBox, wkePromptBoxCallback, PromptBoxSlot, wkeOnPromptBox)
TOLVANE_EVENT_REGISTRATION(onNavigation, wkeNavigationCallback, NavigationSlot, wkeOnNavigation)
TOLVANE_EVENT_REGISTRATION(onCreateView, wkeCreateViewCallback, CreateViewSlot, wkeOnCreateView)
TOLVANE_EVENT_REGISTRATION(onDocumentReady, wkeDocumentReadyCallback, DocumentReadySlot, wkeOnDocumentReady)
TOLVANE_EVENT_REGISTRATION(onDocumentReady2, wkeDocumentReady2Callback, DocumentReady2Slot, wkeOnDocumentReady2)
TOLVANE_EVENT_REGISTRATION(onLoadingFinish, wkeLoadingFinishCallback, LoadingFinishSlot, wkeOnLoadingFinish)
TOLVANE_EVENT_REGISTRATION(onDownload, wkeDownloadCallback, DownloadSlot, wkeOnDownload)
TOLVANE_EVENT_REGISTRATION(onConsole, wkeConsoleCallback, ConsoleSlot, wkeOnConsole)
TOLVANE_EVENT_REGISTRATION(onLoadUrlBegin, wkeLoadUrlBeginCallback, LoadUrlBeginSlot, wkeOnLoadUrlBegin)
TOLVANE_EVENT_REGISTRATION(onNetResponse, wkeNetResponseCallback, NetResponseSlot, wkeNetOnResponse)
TOLVANE_EVENT_REGISTRATION(onLoadUrlEnd, wkeLoadUrlEndCallback, LoadUrlEndSlot, wkeOnLoadUrlEnd)
TOLVANE_EVENT_REGISTRATION(onDidCreateScriptContext, wkeDidCreateScriptContextCallback,
                           DidCreateScriptContextSlot, wkeOnDidCreateScriptContext)
TOLVANE_EVENT_REGISTRATION(onWillReleaseScriptContext, wkeWillReleaseScriptContextCallback,
                           WillReleaseScriptContextSlot, wkeOnWillReleaseScriptContext)

#undef TOLVANE_EVENT_REGISTRATION

void EngineView::setCookies(const std::string& url, const std::string& domain, const std::string& cookieList)
{
    std::string piece;
    const auto flush = [&](bool last) {
        // One empty piece at the end of the list (after its last ";") is dropped.
        if (!(last && piece.empty())) {
            std::string cookie;
            for (char c : piece) {
                if (c != ' ')
                    cookie += c;
            }
            setCookie(url, cookie + "; domain=" + domain + "; path=/;");
        }
        piece.clear();
    };
    for (char c : cookieList) {
        if (c == ';')
            flush(false);
        else
            piece += c;
    }
    flush(true);
}

void EngineView::setCookie(const std::string& url, const std::string& cookie)
{
    WKE_CALL(wkeSetCookie)(d->view, rt::gbToUtf8(url).c_str(), rt::gbToUtf8(cookie).c_str());
}

std::string EngineView::getCookie() const
{
    const char16_t* cookie = WKE_CALL(wkeGetCookieW)(d->view);
    return cookie ? rt::utf16ToGb(cookie) : std::string();
}

QByteArray EngineView::getCookieWide() const
{
    const char16_t* cookie = WKE_CALL(wkeGetCookieW)(d->view);
    if (!cookie)
        return {};
    const size_t units = std::char_traits<char16_t>::length(cookie) + 1;  // with the terminator
    return QByteArray(reinterpret_cast<const char*>(cookie), qsizetype(units * 2));
}

void EngineView::setCookieEnabled(bool enable) { WKE_CALL(wkeSetCookieEnabled)(d->view, enable); }
bool EngineView::isCookieEnabled() const { return WKE_CALL(wkeIsCookieEnabled)(d->view); }

void EngineView::netSetData(wkeNetJob job, const std::string& data)
{
    WKE_CALL(wkeNetSetData)(job, data.empty() ? nullptr : data.data(), int(data.size()));
}

void EngineView::netRedirect(wkeNetJob job, const std::string& url)
{
    netSetData(job, "<script>window.location.href='" + url + "'</script>");
}

void EngineView::netSetMimeType(wkeNetJob job, const std::string& type)
{
    WKE_CALL(wkeNetSetMIMEType)(job, type.c_str());
}

void EngineView::setViewNetInterface(const std::string& name)
{
    WKE_CALL(wkeSetViewNetInterface)(d->view, rt::gbToUtf8(name).c_str());
}

QByteArray EngineView::capturePage()
{
    if (!d->view)
        return {};
    WKE_CALL(wkeRunJS)(d->view, "document.body.style.overflow='hidden'");
    // The engine learns a new page's content size with its first frames: a
    // size of 0 is not known yet.
    int width = WKE_CALL(wkeGetContentWidth)(d->view);
    int height = WKE_CALL(wkeGetContentHeight)(d->view);
    QElapsedTimer waited;
    waited.start();
    while ((width <= 0 || height <= 0) && waited.elapsed() < kContentSizeWaitMs && d->view) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        width = WKE_CALL(wkeGetContentWidth)(d->view);
        height = WKE_CALL(wkeGetContentHeight)(d->view);
    }
    if (!d->view)
        return {};
    // The file image is allocated once; the engine paints into its pixels.
    QByteArray file = makeBitmapFile(width, height);
    if (!file.isEmpty() &&
        !WKE_CALL(wkeCaptureContent)(d->view, file.data() + kBitmapHeaderSize, width, height))
        file.clear();
    WKE_CALL(wkeRunJS)(d->view, "document.body.style.overflow='visible'");
    return file;
}

}  // namespace webview
