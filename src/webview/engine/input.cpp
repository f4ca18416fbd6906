// Painting and input functions of the engine interface, and the observer on
// the web view's widgets.
#include "engine/enginepage.h"
#include "webview/vkeys.h"

#include <QApplication>
#include <QChildEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPointingDevice>
#include <QTimer>
#include <QWebEngineView>
#include <QWheelEvent>

namespace engine {
namespace {

const QPointingDevice* touchDevice()
{
    static const QPointingDevice* device = new QPointingDevice(
        QStringLiteral("page engine touch"), 0x7e570001, QInputDevice::DeviceType::TouchScreen,
        QPointingDevice::PointerType::Finger, QInputDevice::Capability::Position, 1, 0);
    return device;
}

bool isMouseEvent(QEvent::Type type)
{
    return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
           type == QEvent::MouseButtonDblClick || type == QEvent::MouseMove ||
           type == QEvent::Wheel;
}

Qt::MouseButtons buttonsFromFlags(unsigned flags)
{
    Qt::MouseButtons buttons;
    if (flags & WKE_LBUTTON)
        buttons |= Qt::LeftButton;
    if (flags & WKE_RBUTTON)
        buttons |= Qt::RightButton;
    if (flags & WKE_MBUTTON)
        buttons |= Qt::MiddleButton;
    return buttons;
}

Qt::KeyboardModifiers modifiersFromFlags(wkeViewState* view, unsigned flags)
{
    Qt::KeyboardModifiers modifiers = view->keyModifiers & Qt::AltModifier;
    if (flags & WKE_SHIFT)
        modifiers |= Qt::ShiftModifier;
    if (flags & WKE_CONTROL)
        modifiers |= Qt::ControlModifier;
    return modifiers;
}

bool deliver(QWidget* target, QEvent* event)
{
    return QCoreApplication::sendEvent(target, event) && event->isAccepted();
}

bool sendKey(wkeViewState* view, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers,
             const QString& text, bool autoRepeat)
{
    QWidget* target = inputTarget(view);
    if (!target)
        return false;
    QKeyEvent event(type, key, modifiers, text, autoRepeat);
    return deliver(target, &event);
}

void flushHeldKey(wkeViewState* view)
{
    HeldKey& held = view->heldKey;
    if (!held.held)
        return;
    held.held = false;
    sendKey(view, QEvent::KeyPress, held.qtKey, held.modifiers, QString(), held.autoRepeat);
}

Qt::KeyboardModifier modifierOfKey(unsigned code)
{
    switch (code) {
    case 0x10: return Qt::ShiftModifier;
    case 0x11: return Qt::ControlModifier;
    case 0x12: return Qt::AltModifier;
    default: return Qt::NoModifier;
    }
}

int qtKeyForCharacter(char16_t ch)
{
    // Printable ASCII shares its Qt key codes with its upper-case form.
    if (ch >= 0x20 && ch < 0x7F)
        return QChar(ch).toUpper().unicode();
    return 0;
}

bool fireMouse(wkeViewState* view, unsigned message, int x, int y, unsigned flags)
{
    QWidget* target = inputTarget(view);
    if (!target)
        return false;
    flushHeldKey(view);
    QEvent::Type type;
    Qt::MouseButton button = Qt::NoButton;
    switch (message) {
    case WKE_MSG_MOUSEMOVE: type = QEvent::MouseMove; break;
    case WKE_MSG_LBUTTONDOWN: type = QEvent::MouseButtonPress; button = Qt::LeftButton; break;
    case WKE_MSG_LBUTTONUP: type = QEvent::MouseButtonRelease; button = Qt::LeftButton; break;
    case WKE_MSG_LBUTTONDBLCLK: type = QEvent::MouseButtonDblClick; button = Qt::LeftButton; break;
    case WKE_MSG_RBUTTONDOWN: type = QEvent::MouseButtonPress; button = Qt::RightButton; break;
    case WKE_MSG_RBUTTONUP: type = QEvent::MouseButtonRelease; button = Qt::RightButton; break;
    case WKE_MSG_RBUTTONDBLCLK: type = QEvent::MouseButtonDblClick; button = Qt::RightButton; break;
    case WKE_MSG_MBUTTONDOWN: type = QEvent::MouseButtonPress; button = Qt::MiddleButton; break;
    case WKE_MSG_MBUTTONUP: type = QEvent::MouseButtonRelease; button = Qt::MiddleButton; break;
    case WKE_MSG_MBUTTONDBLCLK: type = QEvent::MouseButtonDblClick; button = Qt::MiddleButton; break;
    default: return false;
    }
    Qt::MouseButtons buttons = buttonsFromFlags(flags);
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
        buttons |= button;
    else if (type == QEvent::MouseButtonRelease)
        buttons &= ~Qt::MouseButtons(button);
    const QPointF local(x, y);
    QMouseEvent event(type, local, target->mapTo(target->window(), local),
                      target->mapToGlobal(local), button, buttons,
                      modifiersFromFlags(view, flags), Qt::MouseEventSynthesizedByApplication);
    return deliver(target, &event);
}

bool fireWheel(wkeViewState* view, int x, int y, int delta, unsigned flags)
{
    QWidget* target = inputTarget(view);
    if (!target)
        return false;
    flushHeldKey(view);
    const QPointF local(x, y);
    QWheelEvent event(local, target->mapToGlobal(local), QPoint(), QPoint(0, delta),
                      buttonsFromFlags(flags), modifiersFromFlags(view, flags), Qt::NoScrollPhase,
                      false, Qt::MouseEventSynthesizedByApplication);
    return deliver(target, &event);
}

qint64 monotonicMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

// Chromium raises a page's context menu from the right button's press (or
// the Menu key); there is no separate event. A menu asked for right after a
// right press at the same point is the one that press raised.
bool fireContextMenu(wkeViewState* view, int x, int y, unsigned flags)
{
    QWidget* target = inputTarget(view);
    if (!target)
        return false;
    flushHeldKey(view);
    if (x < 0 && y < 0) {
        const Qt::KeyboardModifiers modifiers = modifiersFromFlags(view, flags);
        const bool down = sendKey(view, QEvent::KeyPress, Qt::Key_Menu, modifiers, QString(), false);
        const bool up = sendKey(view, QEvent::KeyRelease, Qt::Key_Menu, modifiers, QString(), false);
        return down || up;
    }
    if (view->lastRightPressAt >= 0 && view->lastRightPress == QPoint(x, y) &&
        monotonicMs() - view->lastRightPressAt < 1000)
        return true;
    const bool down = fireMouse(view, WKE_MSG_RBUTTONDOWN, x, y, flags | WKE_RBUTTON);
    const bool up = fireMouse(view, WKE_MSG_RBUTTONUP, x, y, flags & ~unsigned(WKE_RBUTTON));
    return down || up;
}

bool fireKeyDown(wkeViewState* view, unsigned code, unsigned flags, bool systemKey)
{
    if (!inputTarget(view))
        return false;
    flushHeldKey(view);
    bool keypad = false;
    int key = webview::qtKeyFromVirtualKey(code, &keypad);
    if (!key)
        key = Qt::Key_unknown;
    const Qt::KeyboardModifier own = modifierOfKey(code);
    view->keyModifiers |= own;
    Qt::KeyboardModifiers modifiers = view->keyModifiers;
    if (keypad)
        modifiers |= Qt::KeypadModifier;
    if (systemKey)
        modifiers |= Qt::AltModifier;
    const bool autoRepeat = flags & WKE_REPEAT;
    if (own != Qt::NoModifier)
        return sendKey(view, QEvent::KeyPress, key, modifiers, QString(), autoRepeat);
    // Held back one turn of the event loop: a character that follows at once
    // joins it, as the one key event a keyboard gives.
    HeldKey& held = view->heldKey;
    held = {true, key, modifiers, autoRepeat, held.generation + 1};
    const unsigned generation = held.generation;
    QTimer::singleShot(0, view->observer, [view, generation] {
        if (view->heldKey.held && view->heldKey.generation == generation)
            flushHeldKey(view);
    });
    return true;
}

bool fireKeyUp(wkeViewState* view, unsigned code, unsigned flags, bool systemKey)
{
    if (!inputTarget(view))
        return false;
    flushHeldKey(view);
    bool keypad = false;
    int key = webview::qtKeyFromVirtualKey(code, &keypad);
    if (!key)
        key = Qt::Key_unknown;
    view->keyModifiers &= ~Qt::KeyboardModifiers(modifierOfKey(code));
    Qt::KeyboardModifiers modifiers = view->keyModifiers;
    if (keypad)
        modifiers |= Qt::KeypadModifier;
    if (systemKey)
        modifiers |= Qt::AltModifier;
    return sendKey(view, QEvent::KeyRelease, key, modifiers, QString(), flags & WKE_REPEAT);
}

bool fireKeyPress(wkeViewState* view, unsigned charCode, unsigned flags, bool systemKey)
{
    if (!inputTarget(view))
        return false;
    const QString text = QString(QChar(char16_t(charCode)));
    HeldKey& held = view->heldKey;
    if (held.held) {
        held.held = false;
        return sendKey(view, QEvent::KeyPress, held.qtKey, held.modifiers, text, held.autoRepeat);
    }
    Qt::KeyboardModifiers modifiers = view->keyModifiers;
    if (systemKey)
        modifiers |= Qt::AltModifier;
    return sendKey(view, QEvent::KeyPress, qtKeyForCharacter(char16_t(charCode)), modifiers, text,
                   flags & WKE_REPEAT);
}

unsigned keyFlagsFromParam(intptr_t lParam)
{
    const unsigned high = unsigned(uintptr_t(lParam) >> 16);
    unsigned flags = 0;
    if (high & 0x4000)
        flags |= WKE_REPEAT;
    if (high & 0x0100)
        flags |= WKE_EXTENDED;
    return flags;
}

}  // namespace

ViewObserver::ViewObserver(wkeViewState* view, QObject* parent) : QObject(parent), m_view(view) {}

void ViewObserver::watch(QWidget* widget)
{
    widget->installEventFilter(this);
    for (QObject* child : widget->children()) {
        if (child->isWidgetType())
            child->installEventFilter(this);
    }
}

bool ViewObserver::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == m_view->widget) {
        // The page's render widget comes and goes with the renderer.
        if (type == QEvent::ChildAdded) {
            QObject* child = static_cast<QChildEvent*>(event)->child();
            if (child->isWidgetType())
                child->installEventFilter(this);
        }
        return false;
    }
    if (type == QEvent::Paint) {
        notifyPainted(static_cast<QPaintEvent*>(event)->rect());
        return false;
    }
    if (isMouseEvent(type)) {
        if (!m_view->mouseEnabled)
            return true;
        if (type == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                m_view->lastRightPress = mouse->position().toPoint();
                m_view->lastRightPressAt = monotonicMs();
            }
        }
        if (m_view->touchEnabled && type != QEvent::Wheel)
            return emulateTouch(static_cast<QWidget*>(watched), static_cast<QMouseEvent*>(event));
    }
    return false;
}

void ViewObserver::notifyPainted(const QRect& rect)
{
    if (!m_view->paintCallback)
        return;
    m_view->pendingPaint |= rect;
    if (m_view->paintQueued)
        return;
    m_view->paintQueued = true;
    // Reported after the paint, once per turn of the event loop.
    QMetaObject::invokeMethod(
        this,
        [view = m_view] {
            view->paintQueued = false;
            const QRect painted = view->pendingPaint;
            view->pendingPaint = QRect();
            if (view->paintCallback && !painted.isEmpty())
                view->paintCallback(view, view->paintParam, nullptr, painted.x(), painted.y(),
                                    painted.width(), painted.height());
        },
        Qt::QueuedConnection);
}

// With touch on, the left button acts as one finger.
bool ViewObserver::emulateTouch(QWidget* target, QMouseEvent* mouse)
{
    QEvent::Type type;
    QEventPoint::State state;
    switch (mouse->type()) {
    case QEvent::MouseButtonPress:
        if (mouse->button() != Qt::LeftButton)
            return true;
        type = QEvent::TouchBegin;
        state = QEventPoint::State::Pressed;
        m_touchActive = true;
        break;
    case QEvent::MouseMove:
        if (!m_touchActive)
            return true;
        type = QEvent::TouchUpdate;
        state = QEventPoint::State::Updated;
        break;
    case QEvent::MouseButtonRelease:
        if (!m_touchActive || mouse->button() != Qt::LeftButton)
            return true;
        type = QEvent::TouchEnd;
        state = QEventPoint::State::Released;
        m_touchActive = false;
        break;
    default:
        return true;
    }
    QEventPoint point(1, state, mouse->scenePosition(), mouse->globalPosition());
    QTouchEvent touch(type, touchDevice(), mouse->modifiers(), {point});
    QCoreApplication::sendEvent(target, &touch);
    return true;
}

}  // namespace engine

using engine::liveView;

extern "C" {

WKE_API void wkeOnPaintUpdated(wkeWebView handle, wkePaintUpdatedCallback callback, void* param)
{
    if (wkeViewState* view = liveView(handle)) {
        view->paintCallback = callback;
        view->paintParam = param;
    }
}

WKE_API void wkeRepaintIfNeeded(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    if (view && view->widget)
        view->widget->update();
}

WKE_API const void* wkeGetViewDC(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view ? &engine::refreshPixels(view) : nullptr;
}

WKE_API bool wkeFireMouseEvent(wkeWebView handle, unsigned message, int x, int y, unsigned flags)
{
    wkeViewState* view = liveView(handle);
    return view && engine::fireMouse(view, message, x, y, flags);
}

WKE_API bool wkeFireMouseWheelEvent(wkeWebView handle, int x, int y, int delta, unsigned flags)
{
    wkeViewState* view = liveView(handle);
    return view && engine::fireWheel(view, x, y, delta, flags);
}

WKE_API bool wkeFireContextMenuEvent(wkeWebView handle, int x, int y, unsigned flags)
{
    wkeViewState* view = liveView(handle);
    return view && engine::fireContextMenu(view, x, y, flags);
}

WKE_API bool wkeFireKeyDownEvent(wkeWebView handle, unsigned virtualKeyCode, unsigned flags,
                                 bool systemKey)
{
    wkeViewState* view = liveView(handle);
    return view && engine::fireKeyDown(view, virtualKeyCode, flags, systemKey);
}

WKE_API bool wkeFireKeyUpEvent(wkeWebView handle, unsigned virtualKeyCode, unsigned flags,
                               bool systemKey)
{
    wkeViewState* view = liveView(handle);
    return view && engine::fireKeyUp(view, virtualKeyCode, flags, systemKey);
}

WKE_API bool wkeFireKeyPressEvent(wkeWebView handle, unsigned charCode, unsigned flags,
                                  bool systemKey)
{
    wkeViewState* view = liveView(handle);
    return view && engine::fireKeyPress(view, charCode, flags, systemKey);
}

WKE_API bool wkeFireWindowsMessage(wkeWebView handle, wkeWindow window, unsigned message,
                                   uintptr_t wParam, intptr_t lParam, intptr_t* result)
{
    wkeViewState* view = liveView(handle);
    QWidget* target = engine::inputTarget(view);
    if (!target)
        return false;
    const int x = int(int16_t(uintptr_t(lParam) & 0xFFFF));
    const int y = int(int16_t((uintptr_t(lParam) >> 16) & 0xFFFF));
    const unsigned keyState = unsigned(wParam & 0xFFFF);
    bool handled = false;
    if (message >= WKE_MSG_MOUSEMOVE && message <= WKE_MSG_MBUTTONDBLCLK) {
        handled = engine::fireMouse(view, message, x, y, keyState);
    } else if (message == WKE_MSG_MOUSEWHEEL) {
        const QPoint local = target->mapFromGlobal(QPoint(x, y));
        handled = engine::fireWheel(view, local.x(), local.y(), int(int16_t(wParam >> 16)), keyState);
    } else if (message == WKE_MSG_CONTEXTMENU) {
        QPoint local(-1, -1);
        if (lParam != -1)
            local = target->mapFromGlobal(QPoint(x, y));
        handled = engine::fireContextMenu(view, local.x(), local.y(), 0);
    } else if (message == WKE_MSG_KEYDOWN) {
        handled = engine::fireKeyDown(view, unsigned(wParam), engine::keyFlagsFromParam(lParam), false);
    } else if (message == WKE_MSG_KEYUP) {
        handled = engine::fireKeyUp(view, unsigned(wParam), engine::keyFlagsFromParam(lParam), false);
    } else if (message == WKE_MSG_CHAR) {
        handled = engine::fireKeyPress(view, unsigned(wParam), engine::keyFlagsFromParam(lParam), false);
    } else if (message == WKE_MSG_SETFOCUS) {
        target->setFocus(Qt::OtherFocusReason);
        handled = true;
    } else if (message == WKE_MSG_KILLFOCUS) {
        target->clearFocus();
        handled = true;
    }
    // The cursor message is not answered: the engine's widgets show the
    // page's cursor themselves.
    if (result)
        *result = handled ? 1 : 0;
    return handled;
}

WKE_API void wkeSetFocus(wkeWebView handle)
{
    if (QWidget* target = engine::inputTarget(liveView(handle)))
        target->setFocus(Qt::OtherFocusReason);
}

WKE_API void wkeKillFocus(wkeWebView handle)
{
    QWidget* target = engine::inputTarget(liveView(handle));
    if (target && target->hasFocus())
        target->clearFocus();
}

WKE_API wkeRect wkeGetCaretRect(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    QWidget* target = engine::inputTarget(view);
    if (!target || !view->frame)
        return {0, 0, 0, 0};
    QRect caret = target->inputMethodQuery(Qt::ImCursorRectangle).toRectF().toAlignedRect();
    caret.moveTopLeft(target->mapTo(view->frame.data(), caret.topLeft()));
    return {caret.x(), caret.y(), caret.width(), caret.height()};
}

}  // extern "C"
