#pragma once
// Posted mouse input: desktop mouse messages turned into Qt mouse and wheel
// events posted (not sent) to the widget that takes a host window's input, so
// a page hosted there sees them as real, trusted input.
class QWidget;

namespace webview::bridge {

// Mouse messages and key states as the posting table names them.
enum : unsigned {
    kMouseMove = 0x0200,
    kLeftDown = 0x0201,
    kLeftUp = 0x0202,
    kLeftDoubleClick = 0x0203,
    kRightDown = 0x0204,
    kRightUp = 0x0205,
    kRightDoubleClick = 0x0206,
    kMiddleDown = 0x0207,
    kMiddleUp = 0x0208,
    kMiddleDoubleClick = 0x0209,
    kMouseWheel = 0x020A,
    kContextMenu = 0x007B,
};

// The widget that receives window's input: the end of its focus-proxy chain
// (for a host of an engine view, the page's render widget); window itself
// when it has no focus proxy.
QWidget* inputReceiver(QWidget* window);

// Posts one desktop mouse message at client point (x, y) of window, with the
// key state in keys (0x01 left, 0x02 right, 0x04 shift, 0x08 control, 0x10
// middle) and, for the wheel, the delta. A double-click message becomes the
// next press of the button (the engine counts clicks itself); the
// context-menu message posts nothing, since a page sees a context menu only
// through the right button's press and release. Returns 1 when an event was
// posted, 0 otherwise.
int postMouseMessage(QWidget* window, unsigned message, unsigned keys, int x, int y, int delta = 0);

// The posting sequence of one button action (see postMouseMessages of
// WebView). Nothing is posted without a window (0 is returned); otherwise the
// result of the last post.
int postMouseMessages(QWidget* window, int x, int y, int button, int action);

}  // namespace webview::bridge
