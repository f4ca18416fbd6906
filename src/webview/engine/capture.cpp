// Page capture of the engine interface: the whole content of a page painted
// into one block of pixels. The view is resized to show the content and each
// part is grabbed once the page has painted it at that size; content larger
// than the window system paints in one piece is grabbed in tiles, scrolling
// the page between them.
#include "engine/enginepage.h"
#include "engine/events.h"
#include "engine/pacing.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWebEngineView>

#include <algorithm>
#include <optional>
#include <utility>
#include <cstring>

namespace engine {
namespace {

// A side longer than this grabs black under X; tiles stay well below it.
constexpr int kMaxSide = 16384;
constexpr int kTileSide = 8192;
// How long one part may take to show its new size and scroll, and to paint.
constexpr int kSettleMs = 5000;
constexpr int kPaintMs = 1000;

// Counts the paint events of the widget that shows the page.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) : m_widget(widget)
    {
        if (m_widget)
            m_widget->installEventFilter(this);
    }
    ~PaintCounter() override
    {
        if (m_widget)
            m_widget->removeEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }

private:
    QPointer<QWidget> m_widget;
};

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// The colours of the view's top left pixel and of the one at far (its
// bottom right corner inside the scroll bars) as it now shows.
std::optional<std::pair<QRgb, QRgb>> cornerPixels(wkeWebView handle, QPoint far)
{
    wkeViewState* view = liveView(handle);
    if (!view || !view->frame)
        return std::nullopt;
    pacing::presentNow(view);
    const QImage first = view->frame->grab(QRect(0, 0, 1, 1)).toImage();
    const QImage last = view->frame->grab(QRect(far, QSize(1, 1))).toImage();
    if (first.isNull() || last.isNull())
        return std::nullopt;
    return std::pair(first.pixel(0, 0) | 0xff000000u, last.pixel(0, 0) | 0xff000000u);
}

// Waits until both corner pixels are (or, with equal false, neither is any
// longer) colour; false when the view went away or the time ran out.
bool awaitCorners(wkeWebView handle, QPoint far, QRgb colour, bool equal)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kPaintMs) {
        const auto pixels = cornerPixels(handle, far);
        if (!pixels)
            return false;
        if ((pixels->first == colour) == equal && (pixels->second == colour) == equal)
            return true;
        pause(5);
    }
    return false;
}

// What the view shows can be older than the page, or unfinished: a page
// shown again first shows what the engine kept of it (an older frame, or
// only its background colour), and a view larger than its window gets the
// part outside drawn last. Nothing in the picture tells. Marks drawn over the
// page's top left and bottom right corners for a moment do: once they have
// come and gone in the view's picture, the picture is newer than the marks
// and drawn to its far corner. False when the view went away; a page that
// never shows the marks is taken as it is after the wait.
bool awaitFreshFrame(wkeWebView handle)
{
    constexpr QRgb kMark = 0xfffe01fdu;  // a colour pages seldom draw
    const QString mark = QStringLiteral(
        "(function(){var s=['position:fixed','width:4px','height:4px','margin:0','border:0','padding:0',"
        "'display:block','opacity:1','transform:none','z-index:2147483647','pointer-events:none',"
        "'background:#fe01fd'];"
        "window.__tolvaneCaptureMarks=[['left:0','top:0'],['right:0','bottom:0']].map(function(at){"
        "var m=document.createElement('tolvane-capture-mark');s.concat(at).forEach(function(d){"
        "var i=d.indexOf(':');m.style.setProperty(d.slice(0,i),d.slice(i+1),'important');});"
        "document.documentElement.appendChild(m);return m;});"
        "var r=window.__tolvaneCaptureMarks[1].getBoundingClientRect();return [r.right,r.bottom];})()");
    const QString unmark = QStringLiteral(
        "(function(){var m=window.__tolvaneCaptureMarks;delete window.__tolvaneCaptureMarks;"
        "if(m)m.forEach(function(e){e.remove();});})()");
    wkeViewState* view = liveView(handle);
    if (!view || !view->page)
        return false;
    const double zoom = view->page->zoomFactor();
    const std::optional<QVariant> placed = events::evaluate(view->page, mark, kSettleMs);
    const QVariantList rightBottom = placed ? placed->toList() : QVariantList();
    view = liveView(handle);
    if (!view || !view->frame)
        return false;
    const QSize size = view->frame->size();
    const QPoint far =
        rightBottom.size() == 2
            ? QPoint(std::clamp(int(rightBottom[0].toDouble() * zoom) - 1, 0, size.width() - 1),
                     std::clamp(int(rightBottom[1].toDouble() * zoom) - 1, 0, size.height() - 1))
            : QPoint(size.width() - 1, size.height() - 1);
    const bool shown = awaitCorners(handle, far, kMark, true);
    view = liveView(handle);
    if (!view || !view->page)
        return false;
    events::evaluate(view->page, unmark, kSettleMs);
    if (shown)
        awaitCorners(handle, far, kMark, false);
    return liveView(handle) != nullptr;
}

// Whether part of the view lies outside its window, where the engine draws
// it last.
bool outsideItsWindow(const QWidget* frame)
{
    const QWidget* window = frame->window();
    return !window->rect().contains(QRect(frame->mapTo(window, QPoint(0, 0)), frame->size()));
}

// Waits until the page shows size (in device-independent pixels times the
// zoom) scrolled to (x, y) as far as it can be, has run two animation frames
// since, and the widget has painted after that. Gives the scroll position
// reached.
QPoint settle(wkeWebView handle, QSize size, QPoint scroll, bool shownAgain)
{
    QElapsedTimer clock;
    clock.start();
    wkeViewState* view = liveView(handle);
    if (!view || !view->page)
        return scroll;
    const double zoom = view->page->zoomFactor();
    const QString script =
        QStringLiteral(
            "(function(){window.scrollTo(%1,%2);"
            "if(window.__tolvaneCaptureFrames===undefined){window.__tolvaneCaptureFrames=0;"
            "requestAnimationFrame(function(){requestAnimationFrame(function(){window.__tolvaneCaptureFrames=1;});});}"
            "return [innerWidth,innerHeight,scrollX,scrollY,window.__tolvaneCaptureFrames];})()")
            .arg(scroll.x() / zoom)
            .arg(scroll.y() / zoom);
    QPoint reached = scroll;
    while (clock.elapsed() < kSettleMs) {
        view = liveView(handle);
        if (!view || !view->page)
            return reached;
        const std::optional<QVariant> answer = events::evaluate(view->page, script, kSettleMs);
        view = liveView(handle);
        if (!answer || !view || !view->page)
            break;
        const QVariantList v = answer->toList();
        if (v.size() == 5) {
            const bool sized = std::abs(v[0].toDouble() * zoom - size.width()) <= 1 &&
                               std::abs(v[1].toDouble() * zoom - size.height()) <= 1;
            reached = QPoint(qRound(v[2].toDouble() * zoom), qRound(v[3].toDouble() * zoom));
            if (sized && v[4].toInt() == 1)
                break;
            if (!sized)
                events::evaluate(view->page, QStringLiteral("delete window.__tolvaneCaptureFrames;"), kSettleMs);
        }
        pause(10);
    }
    view = liveView(handle);
    if (!view || !view->page)
        return reached;
    events::evaluate(view->page, QStringLiteral("delete window.__tolvaneCaptureFrames;"), kSettleMs);
    view = liveView(handle);
    if (!view)
        return reached;
    if (view->frame && (shownAgain || outsideItsWindow(view->frame)) && !awaitFreshFrame(handle))
        return reached;
    view = liveView(handle);
    if (!view)
        return reached;
    // The frame the page has drawn reaches the widget with its next paint.
    PaintCounter counter(inputTarget(view));
    if (QWidget* widget = inputTarget(view))
        widget->update();
    QElapsedTimer paint;
    paint.start();
    while (counter.count == 0 && paint.elapsed() < kPaintMs)
        pause(5);
    pause(30);
    return reached;
}

// A window that is shown but never put on a display: a page whose frame
// stands in it paints as it does on screen.
QWidget* offDisplayStage()
{
    static QWidget* stage = [] {
        auto* w = new QWidget;  // leaked like every engine global
        w->setAttribute(Qt::WA_DontShowOnScreen);
        w->resize(1, 1);
        w->show();
        return w;
    }();
    return stage;
}

// A view that is not on display (its host hidden or minimised, a headless or
// sleeping view) is never painted, so it would grab nothing but white. For the
// time of a capture its frame stands in the off-display window; then it goes
// back where it was, as it was.
class OffDisplay {
public:
    explicit OffDisplay(wkeViewState* view)
    {
        QWidget* frame = view->frame;
        if (!frame || onDisplay(view))
            return;
        m_frame = frame;
        m_parent = frame->parentWidget();
        m_geometry = frame->geometry();
        m_shown = !frame->isHidden();
        frame->setParent(offDisplayStage());
        frame->move(0, 0);
        frame->show();
    }
    // Whether the frame stands off display for this capture.
    bool active() const { return m_frame; }
    ~OffDisplay()
    {
        if (!m_frame)
            return;
        m_frame->hide();
        m_frame->setParent(m_parent);
        m_frame->setGeometry(m_geometry);
        m_frame->setVisible(m_shown);
    }
    OffDisplay(const OffDisplay&) = delete;
    OffDisplay& operator=(const OffDisplay&) = delete;

private:
    QPointer<QWidget> m_frame;
    QPointer<QWidget> m_parent;
    QRect m_geometry;
    bool m_shown = false;
};

// Copies the part of image that shows content area (x, y, w, h), the image
// showing the content from origin, into bits (width pixels per row).
void copyPart(const QImage& image, QPoint origin, QRect area, uchar* bits, int width)
{
    const QRect shown = QRect(origin, image.size()).intersected(area);
    if (shown.isEmpty())
        return;
    for (int y = shown.top(); y <= shown.bottom(); ++y) {
        const uchar* from = image.constScanLine(y - origin.y()) + 4 * (shown.left() - origin.x());
        uchar* to = bits + (qsizetype(y) * width + shown.left()) * 4;
        std::memcpy(to, from, size_t(shown.width()) * 4);
    }
}

bool capture(wkeWebView handle, uchar* bits, int width, int height)
{
    wkeViewState* view = liveView(handle);
    if (events::insideInlineCall()) {
        // The page waits for a handler and cannot paint anew: what is painted.
        const QImage& image = refreshPixels(view);
        copyPart(image, QPoint(0, 0), QRect(0, 0, width, height), bits, width);
        return !image.isNull();
    }
    const OffDisplay offDisplay(view);
    const QSize oldSize = view->frame->size();
    QPoint oldScroll;
    if (const std::optional<QVariant> v =
            events::evaluate(view->page, QStringLiteral("[scrollX,scrollY]"), kSettleMs)) {
        const QVariantList xy = v->toList();
        if (xy.size() == 2)
            oldScroll = QPoint(qRound(xy[0].toDouble()), qRound(xy[1].toDouble()));
    }
    view = liveView(handle);
    if (!view || !view->frame || !view->page)
        return false;
    const bool tiled = width > kMaxSide || height > kMaxSide;
    const QSize tile(tiled ? std::min(width, kTileSide) : width, tiled ? std::min(height, kTileSide) : height);
    view->frame->resize(tile);
    bool grabbed = false;
    for (int y = 0; y < height; y += tile.height()) {
        for (int x = 0; x < width; x += tile.width()) {
            const QPoint reached = settle(handle, tile, QPoint(x, y), offDisplay.active() && x == 0 && y == 0);
            view = liveView(handle);
            if (!view || !view->page || !view->frame)
                return false;
            const QImage& image = refreshPixels(view);
            if (image.isNull())
                continue;
            const QRect area(x, y, std::min(tile.width(), width - x), std::min(tile.height(), height - y));
            copyPart(image, reached, area, bits, width);
            grabbed = true;
        }
    }
    view->frame->resize(oldSize);
    events::evaluate(view->page,
                         QStringLiteral("window.scrollTo(%1,%2)").arg(oldScroll.x()).arg(oldScroll.y()),
                         kSettleMs);
    return grabbed;
}

}  // namespace
}  // namespace engine

extern "C" {

WKE_API bool wkeCaptureContent(wkeWebView handle, void* bits, int width, int height)
{
    wkeViewState* view = engine::liveView(handle);
    if (!view || !view->frame || !view->page || !bits || width <= 0 || height <= 0)
        return false;
    engine::pacing::Unpaced unpaced(handle);  // the capture waits for the page's frames
    return engine::capture(handle, static_cast<uchar*>(bits), width, height);
}

}  // extern "C"
