#include "engine/syncrun.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>

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

std::optional<QVariant> waitForAnswer(QObject* owner, const std::function<void(AnswerCallback)>& start,
                                      int timeoutMs)
{
    struct Answer {
        bool arrived = false;
        QVariant value;
        QEventLoop* loop = nullptr;
    };
    auto answer = std::make_shared<Answer>();
    start([answer](const QVariant& value) {
        answer->arrived = true;
        answer->value = value;
        if (answer->loop)
            answer->loop->quit();
    });
    if (!answer->arrived) {
        QEventLoop loop;
        answer->loop = &loop;
        QObject::connect(owner, &QObject::destroyed, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        answer->loop = nullptr;
    }
    if (!answer->arrived)
        return std::nullopt;
    return answer->value;
}

}  // namespace engine
