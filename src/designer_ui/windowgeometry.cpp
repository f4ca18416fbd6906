#include "designer_ui/windowgeometry.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace designer {

static QMargins frameMargins(const QWidget* window)
{
    const QWindow* handle = window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

static void applyOuterGeometry(QWidget* window, const QRect& outer)
{
    const QMargins m = frameMargins(window);
    window->move(outer.topLeft());  // a top-level's position is its frame's
    window->resize(std::max(0, outer.width() - m.left() - m.right()),
                   std::max(0, outer.height() - m.top() - m.bottom()));
}

namespace {
// Re-applies the outer geometry once, when the frame margins first show up
// (the window manager frames a window only after it is mapped).
class FrameWatcher : public QObject {
public:
    FrameWatcher(QWidget* window, const QRect& outer) : QObject(window), outer_(outer) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type t = event->type();
        if (t == QEvent::Move || t == QEvent::Resize || t == QEvent::Show) {
            auto* window = static_cast<QWidget*>(watched);
            if (!frameMargins(window).isNull()) {
                window->removeEventFilter(this);
                deleteLater();
                applyOuterGeometry(window, outer_);
            }
        }
        return false;
    }

private:
    QRect outer_;
};
}  // namespace

void setOuterGeometry(QWidget* window, const QRect& outer)
{
    applyOuterGeometry(window, outer);
    if (frameMargins(window).isNull())
        window->installEventFilter(new FrameWatcher(window, outer));
}

}  // namespace designer
