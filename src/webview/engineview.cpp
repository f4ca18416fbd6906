// EngineView: construction, copies and the one-call wrappers of the engine.
// Hosting is in hosting.cpp.
#include "webview/engineloader.h"
#include "webview/engineview_p.h"

#include "runtime/paths.h"
#include "runtime/textcodec.h"

#include <cstring>

namespace webview {

std::u16string wideText(const std::string& text)
{
    return rt::gbToUtf16(text);
}

std::u16string wideFromBytes(const QByteArray& bytes)
{
    std::u16string text(size_t(bytes.size() / 2), u'\0');
    std::memcpy(text.data(), bytes.constData(), text.size() * 2);
    const size_t end = text.find(u'\0');
    if (end != std::u16string::npos)
        text.resize(end);
    return text;
}

namespace {

std::string textFromWide(const char16_t* wide)
{
    return wide ? rt::utf16ToGb(wide) : std::string();
}

// At most max bytes of UTF-8, never ending inside a character.
std::string_view utf8Prefix(std::string_view utf8, size_t max)
{
    if (utf8.size() <= max)
        return utf8;
    size_t cut = max;
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80)
        --cut;
    return utf8.substr(0, cut);
}

template <size_t N>
void putRecordText(char (&field)[N], const std::string& text)
{
    if (text.empty())
        return;
    const std::string utf8 = rt::gbToUtf8(text);
    const std::string_view kept = utf8Prefix(utf8, N - 1);  // the zero fill ends it
    std::memcpy(field, kept.data(), kept.size());
}

}  // namespace

void startEngine()
{
    if (!WKE_CALL(wkeIsInitialize)())
        WKE_CALL(wkeInitialize)();
}

EngineView::EngineView() : d(std::make_shared<Shared>()) {}

EngineView::EngineView(const EngineView& other) : d(other.d) {}

EngineView::EngineView(std::shared_ptr<Shared> shared) : d(std::move(shared)) {}

EngineView EngineView::onShared(std::shared_ptr<Shared> shared)
{
    return EngineView(std::move(shared));
}

EngineView::~EngineView()
{
    if (d.use_count() == 1)
        destroyView();
}

wkeWebView EngineView::getViewHandle() const { return d->view; }
QWidget* EngineView::hostWindow() const { return d->host; }

CallbackAdapter* EngineView::setCallbackAdapter(int slot, void* target, int argumentCount,
                                                void* parameter)
{
    if (slot < 0 || slot >= kCallbackSlotCount)
        return nullptr;
    d->callbackThunks[size_t(slot)] =
        std::make_unique<CallbackAdapter>(CallbackAdapter{target, argumentCount, parameter});
    return d->callbackThunks[size_t(slot)].get();
}

CallbackAdapter* EngineView::callbackAdapter(int slot) const
{
    if (slot < 0 || slot >= kCallbackSlotCount)
        return nullptr;
    return d->callbackThunks[size_t(slot)].get();
}

void EngineView::releaseCallbackThunks()
{
    for (auto& adapter : d->callbackThunks)
        adapter.reset();
}

// ---- View, painting and input ------------------------------------------

QWidget* EngineView::getWindowHandle() const { return WKE_CALL(wkeGetWindowHandle)(d->view); }

bool EngineView::fireMouseEvent(unsigned message, int x, int y, unsigned flags)
{
    return WKE_CALL(wkeFireMouseEvent)(d->view, message, x, y, flags);
}

bool EngineView::fireMouseWheelEvent(int x, int y, int delta, unsigned flags)
{
    return WKE_CALL(wkeFireMouseWheelEvent)(d->view, x, y, delta, flags);
}

void EngineView::setFocus() { WKE_CALL(wkeSetFocus)(d->view); }
void EngineView::killFocus() { WKE_CALL(wkeKillFocus)(d->view); }
int EngineView::getWidth() const { return WKE_CALL(wkeGetWidth)(d->view); }
int EngineView::getHeight() const { return WKE_CALL(wkeGetHeight)(d->view); }
int EngineView::getContentWidth() const { return WKE_CALL(wkeGetContentWidth)(d->view); }
int EngineView::getContentHeight() const { return WKE_CALL(wkeGetContentHeight)(d->view); }
wkeWebFrameHandle EngineView::getMainFrame() const { return WKE_CALL(wkeWebFrameGetMainFrame)(d->view); }

// ---- Loading ------------------------------------------------------------

void EngineView::load(const std::string& url) { WKE_CALL(wkeLoadW)(d->view, wideText(url).c_str()); }
void EngineView::loadWide(const QByteArray& url) { WKE_CALL(wkeLoadW)(d->view, wideFromBytes(url).c_str()); }
void EngineView::loadUrl(const std::string& url) { WKE_CALL(wkeLoadURLW)(d->view, wideText(url).c_str()); }

void EngineView::loadUrlWide(const QByteArray& url)
{
    WKE_CALL(wkeLoadURLW)(d->view, wideFromBytes(url).c_str());
}

void EngineView::loadHtml(const std::string& html)
{
    WKE_CALL(wkeLoadHTMLW)(d->view, wideText(html).c_str());
}

void EngineView::loadHtmlWide(const QByteArray& html)
{
    WKE_CALL(wkeLoadHTMLW)(d->view, wideFromBytes(html).c_str());
}

void EngineView::loadFile(const std::string& path)
{
    WKE_CALL(wkeLoadFileW)(d->view, wideText(path).c_str());
}

void EngineView::loadFileWide(const QByteArray& path)
{
    WKE_CALL(wkeLoadFileW)(d->view, wideFromBytes(path).c_str());
}

std::string EngineView::getUrlUtf8() const
{
    const char* url = WKE_CALL(wkeGetURL)(d->view);
    return url ? std::string(url) : std::string();
}

std::string EngineView::getUrl() const
{
    const char* url = WKE_CALL(wkeGetURL)(d->view);
    return url ? rt::utf8ToGb(url) : std::string();
}

std::string EngineView::getTitle() const { return textFromWide(WKE_CALL(wkeGetTitleW)(d->view)); }

QByteArray EngineView::getTitleWide() const
{
    const char16_t* title = WKE_CALL(wkeGetTitleW)(d->view);
    if (!title)
        return {};
    const size_t units = std::char_traits<char16_t>::length(title) + 1;  // with the terminator
    return QByteArray(reinterpret_cast<const char*>(title), qsizetype(units * 2));
}

bool EngineView::isLoading() const { return WKE_CALL(wkeIsLoading)(d->view); }
bool EngineView::isLoadingSucceeded() const { return WKE_CALL(wkeIsLoadingSucceeded)(d->view); }
bool EngineView::isLoadingFailed() const { return WKE_CALL(wkeIsLoadingFailed)(d->view); }
void EngineView::startPrivateSession() { WKE_CALL(wkeStartPrivateSession)(d->view); }
void EngineView::setFrameInterval(int milliseconds) { WKE_CALL(wkeSetFrameInterval)(d->view, milliseconds); }
int EngineView::httpErrorStatus() const { return WKE_CALL(wkeGetHttpErrorStatus)(d->view); }
void EngineView::setDialogAnswers(int mode, wkeDialogAnsweredCallback callback, void* param)
{
    WKE_CALL(wkeSetDialogAnswers)(d->view, mode, callback, param);
}
bool EngineView::isLoadingCompleted() const { return WKE_CALL(wkeIsLoadingCompleted)(d->view); }
bool EngineView::isDocumentReady() const { return WKE_CALL(wkeIsDocumentReady)(d->view); }
void EngineView::stopLoading() { WKE_CALL(wkeStopLoading)(d->view); }
void EngineView::reload() { WKE_CALL(wkeReload)(d->view); }
bool EngineView::canGoBack() const { return WKE_CALL(wkeCanGoBack)(d->view); }
bool EngineView::goBack() { return WKE_CALL(wkeGoBack)(d->view); }
bool EngineView::canGoForward() const { return WKE_CALL(wkeCanGoForward)(d->view); }
bool EngineView::goForward() { return WKE_CALL(wkeGoForward)(d->view); }

// ---- Settings -----------------------------------------------------------

void EngineView::setUserAgent(const std::string& userAgent)
{
    WKE_CALL(wkeSetUserAgentW)(d->view, wideText(userAgent).c_str());
}

void EngineView::setUserAgentWide(const QByteArray& userAgent)
{
    WKE_CALL(wkeSetUserAgentW)(d->view, wideFromBytes(userAgent).c_str());
}

void EngineView::setProxy(int type, const std::string& host, int port, const std::string& user,
                          const std::string& password)
{
    wkeProxy record;
    std::memset(&record, 0, sizeof record);
    record.type = type;
    putRecordText(record.hostname, host);
    record.port = uint16_t(port & 0xFFFF);
    putRecordText(record.username, user);
    putRecordText(record.password, password);
    WKE_CALL(wkeSetViewProxy)(d->view, &record);
}

void EngineView::setNavigationToNewWindowEnable(bool enable)
{
    WKE_CALL(wkeSetNavigationToNewWindowEnable)(d->view, enable);
}

void EngineView::setCspCheckEnable(bool enable) { WKE_CALL(wkeSetCspCheckEnable)(d->view, enable); }
void EngineView::setLocalFileAccessEnable(bool enable)
{
    WKE_CALL(wkeSetLocalFileAccessEnable)(d->view, enable);
}
void EngineView::setMemoryCacheEnable(bool enable) { WKE_CALL(wkeSetMemoryCacheEnable)(d->view, enable); }
void EngineView::setNpapiPluginsEnabled(bool enable) { WKE_CALL(wkeSetNpapiPluginsEnabled)(d->view, enable); }
void EngineView::setHeadlessEnabled(bool enable) { WKE_CALL(wkeSetHeadlessEnabled)(d->view, enable); }
void EngineView::setTouchEnabled(bool enable) { WKE_CALL(wkeSetTouchEnabled)(d->view, enable); }
void EngineView::setMouseEnabled(bool enable) { WKE_CALL(wkeSetMouseEnabled)(d->view, enable); }

void EngineView::setDeviceParameter(const std::string& device, const std::string& textValue,
                                    int intValue, float floatValue)
{
    // The engine reads these as UTF-8.
    WKE_CALL(wkeSetDeviceParameter)(d->view, rt::gbToUtf8(device).c_str(),
                                    rt::gbToUtf8(textValue).c_str(), intValue, floatValue);
}

void EngineView::showDevTools()
{
    // The engine opens its own developer tools; the front-end path is where
    // a packaged copy would sit.
    const std::string path =
        rt::gbToUtf8(rt::qstringToGb(rt::programDirectory())) + "/devtools/front_end/inspector.html";
    WKE_CALL(wkeSetDebugConfig)(d->view, "showDevTools", path.c_str());
}

void EngineView::setZoomFactor(float factor) { WKE_CALL(wkeSetZoomFactor)(d->view, factor); }
float EngineView::getZoomFactor() const { return WKE_CALL(wkeGetZoomFactor)(d->view); }
void EngineView::setMediaVolume(float volume) { WKE_CALL(wkeSetMediaVolume)(d->view, volume); }
float EngineView::getMediaVolume() const { return WKE_CALL(wkeGetMediaVolume)(d->view); }
void EngineView::setEditable(bool editable) { WKE_CALL(wkeSetEditable)(d->view, editable); }
void EngineView::setResourceGc(long long intervalSeconds) { WKE_CALL(wkeSetResourceGc)(d->view, intervalSeconds); }
void EngineView::setName(const std::string& name) { WKE_CALL(wkeSetName)(d->view, name.c_str()); }

std::string EngineView::getName() const
{
    const char* name = WKE_CALL(wkeGetName)(d->view);
    return name ? std::string(name) : std::string();
}

void EngineView::sleep() { WKE_CALL(wkeSleep)(d->view); }
void EngineView::wake() { WKE_CALL(wkeWake)(d->view); }
bool EngineView::isAwake() const { return WKE_CALL(wkeIsAwake)(d->view); }
void EngineView::editorSelectAll() { WKE_CALL(wkeEditorSelectAll)(d->view); }
void EngineView::editorUnSelect() { WKE_CALL(wkeEditorUnSelect)(d->view); }
void EngineView::editorCopy() { WKE_CALL(wkeEditorCopy)(d->view); }
void EngineView::editorCut() { WKE_CALL(wkeEditorCut)(d->view); }
void EngineView::editorPaste() { WKE_CALL(wkeEditorPaste)(d->view); }
void EngineView::editorDelete() { WKE_CALL(wkeEditorDelete)(d->view); }
void EngineView::editorUndo() { WKE_CALL(wkeEditorUndo)(d->view); }
void EngineView::editorRedo() { WKE_CALL(wkeEditorRedo)(d->view); }

// ---- Storage folders ----------------------------------------------------

void EngineView::setCookieJarPath(const std::string& folder)
{
    WKE_CALL(wkeSetCookieJarPath)(d->view, wideText(folder).c_str());
}

void EngineView::setCookieJarPathWide(const QByteArray& folder)
{
    WKE_CALL(wkeSetCookieJarPath)(d->view, wideFromBytes(folder).c_str());
}

void EngineView::setCookieJarFullPath(const std::string& filePath)
{
    WKE_CALL(wkeSetCookieJarFullPath)(d->view, wideText(filePath).c_str());
}

void EngineView::setCookieJarFullPathWide(const QByteArray& filePath)
{
    WKE_CALL(wkeSetCookieJarFullPath)(d->view, wideFromBytes(filePath).c_str());
}

void EngineView::setLocalStorageFullPath(const std::string& folder)
{
    WKE_CALL(wkeSetLocalStorageFullPath)(d->view, wideText(folder).c_str());
}

}  // namespace webview
