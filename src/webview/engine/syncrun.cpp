#include "engine/syncrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QThread>
#include <QWebEnginePage>

#include <algorithm>
#include <memory>

namespace engine {

std::optional<QVariant> runScriptAndWait(QWebEnginePage* page, const QString& script,
                                         quint32 worldId, int timeoutMs)
{
    if (!page)
        return std::nullopt;
    return waitForAnswer(
        page, [&](AnswerCallback callback) { page->runJavaScript(script, worldId, callback); },
        timeoutMs);
}

namespace {

// How long a wait stays awake before it sleeps. Most answers come within a
// few tenths of a millisecond; waiting for them awake (handling events as
// they come, handing the core to any other thread ready to run) spares the
// wake-up of a sleeping thread and an idle core, a large share of a short
// run on a virtual machine. A slower answer costs at most this much CPU.
constexpr qint64 kAwakeWaitNs = 1'000'000;

}  // namespace

std::optional<QVariant> waitForAnswer(QObject* owner, const std::function<void(AnswerCallback)>& start,
                                      int timeoutMs)
{
    struct Answer {
        bool arrived = false;
        QVariant value;
        QEventLoop* loop = nullptr;
    };
    auto answer = std::make_shared<Answer>();
    const QPointer<QObject> alive = owner;
    start([answer](const QVariant& value) {
        answer->arrived = true;
        answer->value = value;
        if (answer->loop)
            answer->loop->quit();
    });
    QElapsedTimer awake;
    awake.start();
    while (!answer->arrived && alive && awake.nsecsElapsed() < kAwakeWaitNs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::yieldCurrentThread();
    }
    if (!answer->arrived && alive) {
        QEventLoop loop;
        answer->loop = &loop;
        QObject::connect(owner, &QObject::destroyed, &loop, &QEventLoop::quit);
        QTimer::singleShot(std::max(0, timeoutMs - int(awake.elapsed())), &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        answer->loop = nullptr;
    }
    if (!answer->arrived)
        return std::nullopt;
    return answer->value;
}

}  // namespace engine
