// Start-up and view functions of the engine interface.
#include "engine/enginepage.h"
#include "engine/events.h"
#include "engine/pacing.h"
#include "engine/profiles.h"
#include "engine/registry.h"
#include "engine/startup.h"

#include <QApplication>
#include <QFocusEvent>
#include <QQuickItem>
#include <QQuickWidget>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <cmath>
#include <cstring>

namespace engine {

QWidget* inputTarget(wkeViewState* view)
{
    if (!view || !view->widget)
        return nullptr;
    QWidget* proxy = view->widget->focusProxy();
    return proxy ? proxy : view->widget.data();
}

namespace {

constexpr int kLayoutReadMs = 5000;

// The Qt Quick item through which the page's widget takes its input.
QQuickItem* pageItem(QQuickItem* item)
{
    if (!item)
        return nullptr;
    if (item->inherits("QtWebEngineCore::RenderWidgetHostViewQtDelegateItem"))
        return item;
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = pageItem(child))
            return found;
    }
    return nullptr;
}

}  // namespace

void keepPageFocused(wkeViewState* view)
{
    QWidget* target = inputTarget(view);
    if (!target || (target->hasFocus() && target->isActiveWindow()))
        return;
    // The page's widget draws through a Qt Quick item that hands focus events
    // to Chromium. Qt Quick gives that item focus only inside the active
    // window, so the event goes to the item itself: Chromium then treats the
    // page as focused, while Qt's own focus stays where it is. A page that has
    // focus already sees nothing new.
    auto* quick = qobject_cast<QQuickWidget*>(target);
    QQuickItem* item = quick ? pageItem(quick->rootObject()) : nullptr;
    if (!item)
        return;
    QFocusEvent focusIn(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(item, &focusIn);
}

void openPage(wkeViewState* view, const StoragePaths& paths)
{
    QWebEngineProfile* profile = profileFor(paths);
    // Qt WebEngine has started with the first profile: the engine's shutdown
    // is registered after its own, so that it runs first.
    registerShutdown();
    const unsigned oldSession = view->storage.session;
    EnginePage* old = view->page;
    view->page = new EnginePage(profile, view);
    view->profile = profile;
    view->storage = paths;
    view->requestedStorage = paths;
    view->loading = view->loadSucceeded = view->loadFailed = view->documentReady = false;
    applyPageSettings(view);
    if (view->widget)
        view->widget->setPage(view->page);
    delete old;  // the web view has let go of it
    // A session is one view's: its profile goes with its last page.
    if (oldSession != 0 && oldSession != paths.session)
        releaseSession(oldSession);
    setUpPage(view);
}

void applyRequestedStorage(wkeViewState* view)
{
    if (view->requestedStorage != view->storage)
        openPage(view, view->requestedStorage);
}

void updateFrameVisibility(wkeViewState* view)
{
    if (view->frame)
        view->frame->setVisible(view->host && !view->headless && view->awake);
}

// The view's current pixels, premultiplied ARGB32 (BGRA in memory).
static QImage grabPixels(wkeViewState* view)
{
    if (!view->frame)
        return {};
    pacing::presentNow(view);
    QImage image = view->frame->grab().toImage();
    if (image.size() != view->frame->size())  // high-density screens
        image = image.scaled(view->frame->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

const QImage& refreshPixels(wkeViewState* view)
{
    view->pixels = grabPixels(view);
    return view->pixels;
}

bool onDisplay(const wkeViewState* view)
{
    return view && view->frame && view->frame->isVisible() && !view->frame->window()->isMinimized();
}

QSize contentSize(wkeViewState* view)
{
    if (!view || !view->page)
        return {};
    const QSizeF painted = view->page->contentsSize();
    if (painted.isEmpty() && events::insideInlineCall())
        return view->frame ? view->frame->size() : QSize();  // the page cannot tell now
    if (!painted.isEmpty() || onDisplay(view))
        return QSize(int(std::ceil(painted.width())), int(std::ceil(painted.height())));
    // The engine learns the size from the frames it paints; a page that is
    // not on display paints none, so its layout tells.
    const std::optional<QVariant> answer = events::evaluate(
        view->page,
        QStringLiteral("(function(){var e=document.scrollingElement||document.documentElement;"
                       "return e?[Math.max(e.scrollWidth,innerWidth),Math.max(e.scrollHeight,innerHeight)]:[0,0];})()"),
        kLayoutReadMs);
    const QVariantList size = answer ? answer->toList() : QVariantList();
    if (size.size() != 2)
        return {};
    const double zoom = view->page->zoomFactor();
    return QSize(int(std::ceil(size[0].toDouble() * zoom)), int(std::ceil(size[1].toDouble() * zoom)));
}

}  // namespace engine

using engine::liveView;

extern "C" {

WKE_API bool wkeIsInitialize(void)
{
    return engine::engineStarted();
}

WKE_API void wkeInitialize(void)
{
    engine::startEngine();
}

WKE_API wkeWebView wkeCreateWebView(void)
{
    engine::startEngine();
    if (engine::engineShutDown() || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    auto* view = new wkeViewState;
    engine::registerView(view);
    view->frame = new engine::EngineFrame(view);
    view->observer = new engine::ViewObserver(view, view->frame);
    view->widget = new QWebEngineView(view->frame);
    view->observer->watch(view->widget);
    view->frame->setFocusProxy(view->widget);

    engine::PendingViewSettings& pending = engine::pendingViewSettings();
    if (pending.hasUserAgent) {
        // Before the page exists: nothing is loading yet.
        engine::profileFor(pending.storage)->setHttpUserAgent(pending.userAgent);
        pending.hasUserAgent = false;
        pending.userAgent.clear();
    }
    engine::openPage(view, pending.storage);
    return view;
}

WKE_API void wkeSetHandle(wkeWebView handle, wkeWindow host)
{
    wkeViewState* view = liveView(handle);
    if (!view || !view->frame)
        return;
    if (host) {
        view->host = host;
        if (view->frame->parentWidget() != host)
            view->frame->setParent(host);
        view->frame->setGeometry(host->rect());
    } else {
        view->host = nullptr;
        view->frame->hide();
        view->frame->setParent(nullptr);
    }
    engine::updateFrameVisibility(view);
}

WKE_API void wkeSetTransparent(wkeWebView handle, bool transparent)
{
    wkeViewState* view = liveView(handle);
    if (!view)
        return;
    view->transparent = transparent;
    if (view->frame)
        view->frame->setAttribute(Qt::WA_TranslucentBackground, transparent);
    engine::applyPageSettings(view);
}

WKE_API void wkeResize(wkeWebView handle, int width, int height)
{
    wkeViewState* view = liveView(handle);
    if (view && view->frame)
        view->frame->resize(std::max(0, width), std::max(0, height));
}

WKE_API wkeWindow wkeGetWindowHandle(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view ? view->frame.data() : nullptr;
}

WKE_API void wkeDestroyWebView(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    if (!view)
        return;
    engine::unregisterView(view);
    engine::closeViewWidgets(view);
    delete view;
}

WKE_API int wkeGetWidth(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view && view->frame ? view->frame->width() : 0;
}

WKE_API int wkeGetHeight(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view && view->frame ? view->frame->height() : 0;
}

WKE_API int wkeGetContentWidth(wkeWebView handle)
{
    return engine::contentSize(liveView(handle)).width();
}

WKE_API int wkeGetContentHeight(wkeWebView handle)
{
    return engine::contentSize(liveView(handle)).height();
}

WKE_API void wkePaint(wkeWebView handle, void* bits, int pitch)
{
    wkeViewState* view = liveView(handle);
    if (!view || !bits)
        return;
    const QImage image = engine::grabPixels(view);
    const int rowBytes = image.width() * 4;
    const int stride = pitch > 0 ? pitch : rowBytes;
    auto* out = static_cast<unsigned char*>(bits);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(out + qsizetype(y) * stride, image.constScanLine(y), std::min(rowBytes, stride));
}

}  // extern "C"
