#include "webview/bridge/mouseinput.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

namespace webview::bridge {

QWidget* inputReceiver(QWidget* window)
{
    QWidget* target = window;
    // A focus-proxy chain cannot loop (Qt refuses it), but stay bounded.
    for (int i = 0; target && target->focusProxy() && i < 16; ++i)
        target = target->focusProxy();
    return target;
}

namespace {

Qt::MouseButtons buttonsOf(unsigned keys)
{
    Qt::MouseButtons buttons;
    if (keys & 0x01)
        buttons |= Qt::LeftButton;
    if (keys & 0x02)
        buttons |= Qt::RightButton;
    if (keys & 0x10)
        buttons |= Qt::MiddleButton;
    return buttons;
}

Qt::KeyboardModifiers modifiersOf(unsigned keys)
{
    Qt::KeyboardModifiers modifiers;
    if (keys & 0x04)
        modifiers |= Qt::ShiftModifier;
    if (keys & 0x08)
        modifiers |= Qt::ControlModifier;
    return modifiers;
}

// Event time in milliseconds. The engine counts clicks from the times of the
// presses, so posted events carry the time they were posted.
ulong eventTime()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return ulong(clock.elapsed()) + 1;
}

}  // namespace

int postMouseMessage(QWidget* window, unsigned message, unsigned keys, int x, int y, int delta)
{
    QWidget* receiver = inputReceiver(window);
    if (!receiver)
        return 0;
    const QPointF global = window->mapToGlobal(QPointF(x, y));
    const QPointF local = receiver == window ? QPointF(x, y) : receiver->mapFromGlobal(global);
    const Qt::MouseButtons buttons = buttonsOf(keys);
    const Qt::KeyboardModifiers modifiers = modifiersOf(keys);

    QEvent::Type type = QEvent::None;
    Qt::MouseButton button = Qt::NoButton;
    switch (message) {
    case kMouseMove: type = QEvent::MouseMove; break;
    case kLeftDown: case kLeftDoubleClick: type = QEvent::MouseButtonPress; button = Qt::LeftButton; break;
    case kLeftUp: type = QEvent::MouseButtonRelease; button = Qt::LeftButton; break;
    case kRightDown: case kRightDoubleClick: type = QEvent::MouseButtonPress; button = Qt::RightButton; break;
    case kRightUp: type = QEvent::MouseButtonRelease; button = Qt::RightButton; break;
    case kMiddleDown: case kMiddleDoubleClick: type = QEvent::MouseButtonPress; button = Qt::MiddleButton; break;
    case kMiddleUp: type = QEvent::MouseButtonRelease; button = Qt::MiddleButton; break;
    case kMouseWheel: {
        auto* wheel = new QWheelEvent(local, global, QPoint(), QPoint(0, delta), buttons, modifiers,
                                      Qt::NoScrollPhase, false);
        wheel->setTimestamp(eventTime());
        QCoreApplication::postEvent(receiver, wheel);
        return 1;
    }
    default:
        return 0;  // the context menu and anything else: nothing reaches the page
    }
    // The button of a press is down during it, whatever the key state says
    // (the double-click messages carry none).
    auto* mouse = new QMouseEvent(type, local, global, button,
                                  type == QEvent::MouseButtonPress ? buttons | button : buttons, modifiers);
    mouse->setTimestamp(eventTime());
    QCoreApplication::postEvent(receiver, mouse);
    return 1;
}

int postMouseMessages(QWidget* window, int x, int y, int button, int action)
{
    if (!window)
        return 0;
    if (button == 4 || button == 5)
        return postMouseMessage(window, kMouseWheel, 0x10, x, y, button == 4 ? 120 : -120);

    int status = postMouseMessage(window, kMouseMove, 0x02, x, y);
    struct Messages {
        unsigned down, downKeys, up, upKeys, doubleClick;
    };
    Messages m;
    switch (button) {
    case 0: case 1: m = {kLeftDown, 0x01, kLeftUp, 0, kLeftDoubleClick}; break;
    case 2: m = {kRightDown, 0x02, kRightUp, 0x02, kRightDoubleClick}; break;
    case 3: m = {kMiddleDown, 0x10, kMiddleUp, 0, kMiddleDoubleClick}; break;
    default: return status;
    }
    const auto post = [&](unsigned message, unsigned keys) {
        status = postMouseMessage(window, message, keys, x, y);
    };
    switch (action) {
    case 0: case 1: post(m.down, m.downKeys); post(m.up, m.upKeys); break;
    // A mouse's double click: the double-click message stands for the second
    // press, and the second release follows it.
    case 2:
        post(m.down, m.downKeys);
        post(m.up, m.upKeys);
        post(m.doubleClick, 0);
        post(m.up, m.upKeys);
        break;
    case 3: post(m.down, m.downKeys); break;
    case 4: post(m.up, m.upKeys); break;
    default: break;
    }
    // The context-menu message that follows a right-button action posts
    // nothing: the press and release above already gave the page its menu.
    return status;
}

}  // namespace webview::bridge
