// Loading functions of the engine interface.
#include "engine/enginepage.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QWebEngineHistory>
#include <QWebEngineHttpRequest>

namespace engine {
namespace {

// HTML above this many UTF-8 bytes goes through a file: Qt WebEngine passes
// setHtml content as a data URL, which Chromium caps at 2 MB.
constexpr qsizetype kInlineHtmlLimit = 1'400'000;

QString fromUtf16(const char16_t* text)
{
    return text ? QString::fromUtf16(text) : QString();
}

// A URL, or a plain absolute file path given without a scheme.
QUrl urlFromText(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QUrl(QStringLiteral("about:blank"));
    if (QDir::isAbsolutePath(trimmed) && !trimmed.startsWith(QLatin1String("//")))
        return QUrl::fromLocalFile(trimmed);
    return QUrl::fromUserInput(trimmed);
}

// A requested load counts as loading from the request on: the engine may
// report its start only later, and until then the previous document's state
// would read as this load's. A move within the document (a new fragment
// only) loads nothing.
void beginLoad(wkeViewState* view, const QUrl& url)
{
    const QUrl current = view->page->url();
    if (url.hasFragment() && url.adjusted(QUrl::RemoveFragment) == current.adjusted(QUrl::RemoveFragment))
        return;
    view->loading = true;
    view->loadRequested = true;
    view->loadSucceeded = view->loadFailed = view->documentReady = false;
}

// Loads url; with the view's cache off, HTTP loads ask the network for a
// fresh copy.
void loadUrl(wkeViewState* view, const QUrl& url)
{
    beginLoad(view, url);
    if (view->memoryCache || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        view->page->load(url);
        return;
    }
    QWebEngineHttpRequest request(url);
    request.setHeader("Cache-Control", "no-cache");
    request.setHeader("Pragma", "no-cache");
    view->page->load(request);
}

EnginePage* pageForLoad(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    if (!view || !view->page)
        return nullptr;
    applyRequestedStorage(view);
    return view->page;
}

void loadHtml(wkeViewState* view, const QString& html)
{
    const QByteArray utf8 = html.toUtf8();
    beginLoad(view, QUrl(QStringLiteral("about:blank")));
    if (utf8.size() <= kInlineHtmlLimit) {
        view->htmlFile.reset();
        view->page->setHtml(html);
        return;
    }
    auto file = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/page-XXXXXX.html"));
    if (!file->open() || file->write(utf8) != utf8.size()) {
        view->page->setHtml(html);
        return;
    }
    file->flush();
    view->page->load(QUrl::fromLocalFile(file->fileName()));
    view->htmlFile = std::move(file);
}

}  // namespace
}  // namespace engine

using engine::liveView;

extern "C" {

WKE_API void wkeLoadURLW(wkeWebView handle, const char16_t* url)
{
    if (engine::pageForLoad(handle))
        engine::loadUrl(handle, engine::urlFromText(engine::fromUtf16(url)));
}

WKE_API void wkeLoadW(wkeWebView handle, const char16_t* url)
{
    wkeLoadURLW(handle, url);
}

WKE_API void wkeLoadHTMLW(wkeWebView handle, const char16_t* html)
{
    if (engine::pageForLoad(handle))
        engine::loadHtml(handle, engine::fromUtf16(html));
}

WKE_API void wkeLoadFileW(wkeWebView handle, const char16_t* filePath)
{
    if (engine::pageForLoad(handle))
        engine::loadUrl(handle, QUrl::fromLocalFile(QFileInfo(engine::fromUtf16(filePath)).absoluteFilePath()));
}

WKE_API const char* wkeGetURL(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    if (!view || !view->page)
        return nullptr;
    view->urlText = view->page->url().toString().toUtf8();
    return view->urlText.constData();
}

WKE_API const char16_t* wkeGetTitleW(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    if (!view || !view->page)
        return nullptr;
    view->titleText = view->page->title().toStdU16String();
    return view->titleText.c_str();
}

WKE_API bool wkeIsLoading(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view && view->loading;
}

WKE_API bool wkeIsLoadingSucceeded(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view && view->loadSucceeded;
}

WKE_API bool wkeIsLoadingFailed(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view && view->loadFailed;
}

WKE_API int wkeGetHttpErrorStatus(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view ? view->httpErrorStatus : 0;
}

WKE_API bool wkeIsLoadingCompleted(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view && (view->loadSucceeded || view->loadFailed);
}

WKE_API bool wkeIsDocumentReady(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view && view->documentReady;
}

WKE_API void wkeStopLoading(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    if (view && view->page)
        view->page->triggerAction(QWebEnginePage::Stop);
}

WKE_API void wkeReload(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    if (view && view->page)
        view->page->triggerAction(view->memoryCache ? QWebEnginePage::Reload
                                                    : QWebEnginePage::ReloadAndBypassCache);
}

WKE_API bool wkeCanGoBack(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view && view->page && view->page->history()->canGoBack();
}

WKE_API bool wkeGoBack(wkeWebView handle)
{
    if (!wkeCanGoBack(handle))
        return false;
    liveView(handle)->page->triggerAction(QWebEnginePage::Back);
    return true;
}

WKE_API bool wkeCanGoForward(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view && view->page && view->page->history()->canGoForward();
}

WKE_API bool wkeGoForward(wkeWebView handle)
{
    if (!wkeCanGoForward(handle))
        return false;
    liveView(handle)->page->triggerAction(QWebEnginePage::Forward);
    return true;
}

WKE_API wkeWebFrameHandle wkeWebFrameGetMainFrame(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view ? reinterpret_cast<wkeWebFrameHandle>(&view->mainFrameTag) : nullptr;
}

}  // extern "C"
