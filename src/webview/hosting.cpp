// Hosting an engine view in a widget: the host's event filter (its "window
// procedure"), creation and teardown, resize borders and the maximised rect.
#include "webview/engineloader.h"
#include "webview/engineview_p.h"
#include "webview/vkeys.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QVariant>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace webview {

// Installed on the host (and on its top-level window when that is another
// widget) while it hosts a view.
// It holds the state weakly: hosting does not keep the EngineView alive.
class HostFilter : public QObject {
public:
    explicit HostFilter(std::weak_ptr<EngineView::Shared> state) : m_state(std::move(state)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        std::shared_ptr<EngineView::Shared> state = m_state.lock();
        return state && EngineView::onShared(state).handleHostEvent(watched, event);
    }

private:
    std::weak_ptr<EngineView::Shared> m_state;
};

namespace {

unsigned mouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    unsigned flags = 0;
    if (buttons & Qt::LeftButton)
        flags |= WKE_LBUTTON;
    if (buttons & Qt::RightButton)
        flags |= WKE_RBUTTON;
    if (buttons & Qt::MiddleButton)
        flags |= WKE_MBUTTON;
    if (modifiers & Qt::ShiftModifier)
        flags |= WKE_SHIFT;
    if (modifiers & Qt::ControlModifier)
        flags |= WKE_CONTROL;
    return flags;
}

unsigned mouseMessage(QEvent::Type type, Qt::MouseButton button)
{
    if (type == QEvent::MouseMove)
        return WKE_MSG_MOUSEMOVE;
    int column;  // down, up, double-click
    switch (type) {
    case QEvent::MouseButtonPress: column = 0; break;
    case QEvent::MouseButtonRelease: column = 1; break;
    case QEvent::MouseButtonDblClick: column = 2; break;
    default: return 0;
    }
    switch (button) {
    case Qt::LeftButton: return WKE_MSG_LBUTTONDOWN + unsigned(column);
    case Qt::RightButton: return WKE_MSG_RBUTTONDOWN + unsigned(column);
    case Qt::MiddleButton: return WKE_MSG_MBUTTONDOWN + unsigned(column);
    default: return 0;
    }
}

Qt::Edges edgesOf(int code)
{
    switch (code) {
    case HitLeft: return Qt::LeftEdge;
    case HitRight: return Qt::RightEdge;
    case HitTop: return Qt::TopEdge;
    case HitBottom: return Qt::BottomEdge;
    case HitTopLeft: return Qt::TopEdge | Qt::LeftEdge;
    case HitTopRight: return Qt::TopEdge | Qt::RightEdge;
    case HitBottomLeft: return Qt::BottomEdge | Qt::LeftEdge;
    case HitBottomRight: return Qt::BottomEdge | Qt::RightEdge;
    default: return {};
    }
}

// Application-wide while some hosting EngineView has resize borders: a left
// press anywhere inside such a host (the engine's widgets cover it) that falls
// in a resize band starts a system resize of the host's window.
class BorderGrip : public QObject {
public:
    static BorderGrip& instance()
    {
        static BorderGrip* grip = new BorderGrip;
        return *grip;
    }

    // Keeps the view listed while it hosts and has resize borders.
    void update(const EngineView& view)
    {
        forget(view);
        if (view.resizeBorders() != 0 && view.hostWindow())
            m_views.push_back(view.sharedState());
        if (qApp && !m_views.empty() && !m_installed) {
            qApp->installEventFilter(this);
            m_installed = true;
        }
    }

    void forget(const EngineView& view)
    {
        const std::shared_ptr<EngineView::Shared> state = view.sharedState().lock();
        m_views.erase(std::remove_if(m_views.begin(), m_views.end(),
                                     [&](const std::weak_ptr<EngineView::Shared>& v) {
                                         return v.expired() || v.lock() == state;
                                     }),
                      m_views.end());
        if (qApp && m_views.empty() && m_installed) {
            qApp->removeEventFilter(this);
            m_installed = false;
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::MouseButtonPress || !watched->isWidgetType())
            return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        for (const std::weak_ptr<EngineView::Shared>& weak : m_views) {
            std::shared_ptr<EngineView::Shared> state = weak.lock();
            if (!state)
                continue;
            const EngineView view = EngineView::onShared(state);
            QWidget* host = view.hostWindow();
            if (!host || (widget != host && !host->isAncestorOf(widget)))
                continue;
            const int code = view.hitTestBorders(mouse->globalPosition().toPoint());
            if (code == HitClient)
                return false;
            if (QWindow* window = host->window()->windowHandle())
                window->startSystemResize(edgesOf(code));
            return true;
        }
        return false;
    }

private:
    std::vector<std::weak_ptr<EngineView::Shared>> m_views;
    bool m_installed = false;
};

void applyMaximizedRect(const EngineView& view)
{
    QWidget* host = view.hostWindow();
    QRect geometry;
    if (!host || !view.handleMinMaxInfo(&geometry))
        return;
    QWidget* window = host->window();
    // After the window system has placed the maximised window. Through the
    // native window: QWidget::setGeometry would end the maximised state.
    QTimer::singleShot(0, window, [window, geometry] {
        if (window->isMaximized() && window->windowHandle() && window->geometry() != geometry)
            window->windowHandle()->setGeometry(geometry);
    });
}

}  // namespace

bool EngineView::createView(QWidget* host, bool layered)
{
    startEngine();
    if (d->view || !host)
        return false;
    // A host is taken by one view only.
    if (host->property(kHostProperty).isValid())
        return false;
    d->host = host;
    d->view = WKE_CALL(wkeCreateWebView)();
    if (!d->view)
        return false;
    WKE_CALL(wkeSetHandle)(d->view, host);
    d->layered = layered;
    d->savedTranslucent = host->testAttribute(Qt::WA_TranslucentBackground);
    WKE_CALL(wkeSetTransparent)(d->view, layered);
    if (layered)
        host->setAttribute(Qt::WA_TranslucentBackground, true);

    // Take the host over.
    d->filter = new HostFilter(d);
    host->installEventFilter(d->filter);
    if (host->window() != host)
        host->window()->installEventFilter(d->filter);
    host->setProperty(kHostProperty, QVariant::fromValue(quintptr(d.get())));
    d->savedFocusProxy = host->focusProxy();
    host->setFocusProxy(WKE_CALL(wkeGetWindowHandle)(d->view));
    // The host is going; its children (the engine's widgets) still exist.
    QObject::connect(host, &QObject::destroyed, d->filter,
                     [weak = std::weak_ptr<Shared>(d)] {
                         if (std::shared_ptr<Shared> state = weak.lock()) {
                             state->host = nullptr;
                             onShared(state).destroyView();
                         }
                     });

    WKE_CALL(wkeResize)(d->view, host->width(), host->height());
    BorderGrip::instance().update(*this);
    return true;
}

void EngineView::destroyView()
{
    if (d->view) {
        wkeWebView view = d->view;
        QWidget* host = d->host;  // null while the host is being destroyed
        BorderGrip::instance().forget(*this);
        HostFilter* filter = d->filter;
        d->filter = nullptr;
        d->view = nullptr;
        if (host) {
            host->removeEventFilter(filter);
            if (host->window() != host)
                host->window()->removeEventFilter(filter);
            host->setProperty(kHostProperty, QVariant());
            host->setFocusProxy(d->savedFocusProxy);
            if (d->layered)
                host->setAttribute(Qt::WA_TranslucentBackground, d->savedTranslucent);
        }
        d->host = nullptr;
        d->savedFocusProxy = nullptr;
        d->layered = false;
        WKE_CALL(wkeSetHandle)(view, nullptr);
        WKE_CALL(wkeDestroyWebView)(view);
        // Later: this may run inside one of the filter's own connections.
        if (filter)
            filter->deleteLater();
    }
    releaseCallbackThunks();
}

bool EngineView::handleHostEvent(QObject* watched, QEvent* event)
{
    QWidget* host = d->host;
    wkeWebView view = d->view;
    if (!host || !view)
        return false;
    const QEvent::Type type = event->type();
    if (type == QEvent::WindowStateChange) {
        if (watched == host->window())
            applyMaximizedRect(*this);
        return false;
    }
    if (watched != host)
        return false;

    switch (type) {
    case QEvent::Resize:
        WKE_CALL(wkeResize)(view, host->width(), host->height());
        WKE_CALL(wkeRepaintIfNeeded)(view);
        return false;
    case QEvent::FocusIn:
        WKE_CALL(wkeSetFocus)(view);
        return false;
    case QEvent::FocusOut:
        WKE_CALL(wkeKillFocus)(view);
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
        // Input that reaches the host itself (posted to it, or while the
        // engine's widgets are hidden) goes to the engine.
        auto* mouse = static_cast<QMouseEvent*>(event);
        const unsigned message = mouseMessage(type, mouse->button());
        if (!message)
            return false;
        if (type == QEvent::MouseButtonPress)
            host->setFocus(Qt::MouseFocusReason);
        const QPoint pos = mouse->position().toPoint();
        return WKE_CALL(wkeFireMouseEvent)(view, message, pos.x(), pos.y(),
                                           mouseFlags(mouse->buttons(), mouse->modifiers()));
    }
    case QEvent::Wheel: {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const QPoint pos = wheel->position().toPoint();
        return fireMouseWheelEvent(pos.x(), pos.y(), wheel->angleDelta().y(),
                                   mouseFlags(wheel->buttons(), wheel->modifiers()));
    }
    case QEvent::ContextMenu: {
        auto* menu = static_cast<QContextMenuEvent*>(event);
        // Asked for from the keyboard: no point, the engine places it.
        const QPoint pos = menu->reason() == QContextMenuEvent::Keyboard ? QPoint(-1, -1) : menu->pos();
        return WKE_CALL(wkeFireContextMenuEvent)(view, pos.x(), pos.y(),
                                                 mouseFlags(Qt::NoButton, menu->modifiers()));
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        bool extended = false;
        const unsigned code = virtualKeyFromQtKey(
            key->key(), key->modifiers() & Qt::KeypadModifier, &extended);
        unsigned flags = 0;
        if (key->isAutoRepeat())
            flags |= WKE_REPEAT;
        if (extended)
            flags |= WKE_EXTENDED;
        if (type == QEvent::KeyRelease)
            return code && WKE_CALL(wkeFireKeyUpEvent)(view, code, flags, false);
        bool handled = code && WKE_CALL(wkeFireKeyDownEvent)(view, code, flags, false);
        for (QChar c : key->text())
            handled = WKE_CALL(wkeFireKeyPressEvent)(view, c.unicode(), flags, false) || handled;
        return handled;
    }
    default:
        return false;
    }
}

bool EngineView::handleMinMaxInfo(QRect* maximizedGeometry) const
{
    const QRect rect = maximizedRect();
    if (rect.isEmpty())
        return false;
    if (maximizedGeometry)
        *maximizedGeometry = rect;
    return true;
}

int EngineView::hitTestBorders(const QPoint& globalPos) const
{
    QWidget* host = d->host;
    if (!host || host->window()->isMaximized())
        return HitClient;
    const QPoint p = host->mapFromGlobal(globalPos);
    const int w = host->width();
    const int h = host->height();
    struct Band {
        int left, top, right, bottom, code;
    };
    // Right and bottom edges are outside; the right and bottom bands stop
    // short of the 10 x 10 grip.
    const Band bands[] = {
        {5, 0, w - 5, 5, HitTop},
        {0, 5, 5, h - 5, HitLeft},
        {w - 5, 5, w, h - 10, HitRight},
        {5, h - 5, w - 10, h, HitBottom},
        {0, 0, 5, 5, HitTopLeft},
        {0, h - 5, 5, h, HitBottomLeft},
        {w - 5, 0, w, 5, HitTopRight},
        {w - 10, h - 10, w, h, HitBottomRight},
    };
    for (const Band& b : bands) {
        if (p.x() >= b.left && p.x() < b.right && p.y() >= b.top && p.y() < b.bottom)
            return b.code;
    }
    return HitClient;
}

void EngineView::setMaximizedRect(int left, int top, int width, int height)
{
    d->maxLeft = left;
    d->maxTop = top;
    d->maxRight = left + width;
    d->maxBottom = top + height;
}

QRect EngineView::maximizedRect() const
{
    if (d->maxLeft == d->maxRight || d->maxTop == d->maxBottom)
        return {};
    return QRect(QPoint(d->maxLeft, d->maxTop), QPoint(d->maxRight - 1, d->maxBottom - 1));
}

void EngineView::setResizeBorders(int flag)
{
    d->resizeBorders = flag;
    BorderGrip::instance().update(*this);
}

int EngineView::resizeBorders() const
{
    return d->resizeBorders;
}

}  // namespace webview
