// Frame pacing (wkeSetFrameInterval). The page's widget is a Qt Quick widget
// that draws each frame the engine hands it from a timer of its own; the
// engine sends the page its next animation frame only once that frame is
// drawn. Holding the widget's timer back therefore holds the page's rendering
// back: a paced view lets the timer run at most once per interval and keeps
// it unregistered (the timer keeps its number) until then.
#include "engine/pacing.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QQuickWidget>
#include <QTimer>
#include <QTimerEvent>
#include <QWebEngineView>

#include <algorithm>
#include <memory>
#include <vector>

namespace engine::pacing {
namespace {

// After presentNow the view draws unpaced this long, and presentNow waits
// for two frames drawn (the one held back and the one the page makes next)
// or that long, when the page has nothing new to draw.
constexpr int kCatchUpMs = 100;
// Scripts that run less than this apart run back to back (a script's lines);
// meanwhile a paced view draws at most one frame per kBusyIntervalMs, so the
// page's rendering does not stand between one line and the next, and its
// usual rate comes back as soon as the runs pause.
constexpr int kBusyGapMs = 20;
constexpr int kBusyIntervalMs = 1000;

class Pacer : public QObject {
public:
    explicit Pacer(wkeViewState* view) : m_view(view)
    {
        m_release.setSingleShot(true);
        connect(&m_release, &QTimer::timeout, this, &Pacer::releaseDue);
        m_idle.setSingleShot(true);
        connect(&m_idle, &QTimer::timeout, this, &Pacer::runsPaused);
    }
    ~Pacer() override { watch(nullptr); }

    int interval() const { return m_interval; }
    int drawn() const { return m_drawnCount; }

    void setInterval(int ms)
    {
        m_interval = ms > 0 ? ms : 0;
        if (m_interval == 0)
            releaseHeld();
        follow();
    }

    // A script run in the view starts, and ends. A run that waits behind a
    // frame takes longer than the gap, and is still no pause.
    void scriptStarting()
    {
        ++m_running;
        m_idle.stop();
    }
    void scriptRan()
    {
        m_running = std::max(0, m_running - 1);
        m_lastRun.start();
        if (m_interval > 0)
            m_idle.start(kBusyGapMs);
    }

    // Draws what is held now and lets the view draw freely for a moment.
    void catchUp()
    {
        m_catchUp.start();
        releaseHeld();
    }

    // Watches the widget that currently draws the page: the engine replaces
    // it when the page moves to another renderer.
    void follow()
    {
        if (m_view->widget && m_viewWidget != m_view->widget) {
            if (m_viewWidget)
                m_viewWidget->removeEventFilter(this);
            m_viewWidget = m_view->widget;
            m_viewWidget->installEventFilter(this);
        }
        watch(m_interval > 0 ? qobject_cast<QQuickWidget*>(inputTarget(m_view)) : nullptr);
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (object == m_viewWidget) {
            if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved)
                QTimer::singleShot(0, this, &Pacer::follow);
            return false;
        }
        if (object != m_watched)
            return false;
        if (event->type() == QEvent::Hide)
            releaseHeld();  // the widget stops its timer when hidden
        if (event->type() != QEvent::Timer || m_interval == 0)
            return false;
        if (!m_drawn.isValid() || m_drawn.elapsed() >= currentInterval() ||
            (m_catchUp.isValid() && m_catchUp.elapsed() < kCatchUpMs)) {
            m_drawn.start();
            ++m_drawnCount;
            return false;
        }
        hold(static_cast<QTimerEvent*>(event)->timerId());
        return true;
    }

private:
    struct Held {
        int id;
        qint64 interval;
        Qt::TimerType type;
    };

    void hold(int id)
    {
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        if (!dispatcher)
            return;
        for (const QAbstractEventDispatcher::TimerInfo& timer : dispatcher->registeredTimers(m_watched)) {
            if (timer.timerId == id && dispatcher->unregisterTimer(id)) {
                m_held.push_back({id, timer.interval, timer.timerType});
                break;
            }
        }
        if (!m_release.isActive())
            m_release.start(int(std::max<qint64>(1, currentInterval() - m_drawn.elapsed())));
    }

    bool busy() const { return m_running > 0 || (m_lastRun.isValid() && m_lastRun.elapsed() < kBusyGapMs); }

    // The interval is up, unless runs began meanwhile and stretched it.
    void releaseDue()
    {
        const qint64 left = m_drawn.isValid() ? currentInterval() - m_drawn.elapsed() : 0;
        if (left > 0)
            m_release.start(int(left));
        else
            releaseHeld();
    }
    int currentInterval() const { return busy() ? std::max(m_interval, kBusyIntervalMs) : m_interval; }

    // The runs paused: a frame held for longer than the usual interval is
    // drawn now, any other when that interval is up.
    void runsPaused()
    {
        if (!m_held.empty() && m_interval > 0 && !busy())
            releaseDue();
    }

    void releaseHeld()
    {
        m_release.stop();
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        if (m_watched && dispatcher) {
            for (const Held& held : m_held)
                dispatcher->registerTimer(held.id, held.interval, held.type, m_watched);
        }
        m_held.clear();
        m_drawn.invalidate();
    }

    void watch(QWidget* widget)
    {
        if (widget == m_watched)
            return;
        if (m_watched) {
            releaseHeld();
            m_watched->removeEventFilter(this);
            disconnect(m_watched, &QObject::destroyed, this, nullptr);
        }
        m_watched = widget;
        if (!m_watched)
            return;
        m_watched->installEventFilter(this);
        // The widget's own timer is stopped in its destructor after this
        // signal: it must be registered again by then.
        connect(m_watched, &QObject::destroyed, this, [this] { releaseHeld(); }, Qt::DirectConnection);
    }

    wkeViewState* m_view;
    int m_interval = 0;
    QPointer<QWidget> m_viewWidget;
    QPointer<QWidget> m_watched;
    std::vector<Held> m_held;
    QTimer m_release;
    QElapsedTimer m_drawn;    // since the widget last drew
    QElapsedTimer m_catchUp;  // since presentNow
    QElapsedTimer m_lastRun;  // since a script run last ended
    QTimer m_idle;            // fires once runs have paused
    int m_running = 0;        // script runs under way (nested ones too)
    int m_drawnCount = 0;
};

struct PacingState {
    std::unique_ptr<Pacer> pacer;
};


}  // namespace

void presentNow(wkeViewState* view)
{
    if (!view)
        return;
    Pacer* pacer = view->extension<PacingState>().pacer.get();
    if (!pacer || pacer->interval() == 0)
        return;
    const int before = pacer->drawn();
    pacer->catchUp();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (pacer->drawn() - before >= 2)
            loop.quit();
    });
    QTimer::singleShot(kCatchUpMs, &loop, &QEventLoop::quit);
    poll.start(2);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

namespace {
Pacer* pacerOf(wkeViewState* view) { return view ? view->extension<PacingState>().pacer.get() : nullptr; }
}  // namespace

void scriptStarting(wkeViewState* view)
{
    if (Pacer* pacer = pacerOf(view))
        pacer->scriptStarting();
}

void scriptRan(wkeViewState* view)
{
    if (Pacer* pacer = pacerOf(view))
        pacer->scriptRan();
}

Unpaced::Unpaced(wkeWebView handle) : m_handle(handle)
{
    wkeViewState* view = liveView(handle);
    Pacer* pacer = view ? view->extension<PacingState>().pacer.get() : nullptr;
    if (pacer && pacer->interval() > 0) {
        m_interval = pacer->interval();
        pacer->setInterval(0);
    }
}

Unpaced::~Unpaced()
{
    if (m_interval == 0)
        return;
    wkeViewState* view = liveView(m_handle);
    Pacer* pacer = view ? view->extension<PacingState>().pacer.get() : nullptr;
    if (pacer && pacer->interval() == 0)
        pacer->setInterval(m_interval);
}

}  // namespace engine::pacing

using namespace engine;

extern "C" {

WKE_API void wkeSetFrameInterval(wkeWebView handle, int milliseconds)
{
    wkeViewState* view = liveView(handle);
    if (!view)
        return;
    auto& pacer = view->extension<pacing::PacingState>().pacer;
    if (!pacer) {
        if (milliseconds <= 0)
            return;
        pacer = std::make_unique<pacing::Pacer>(view);
    }
    pacer->setInterval(milliseconds);
}

}  // extern "C"
