#pragma once
// A synchronous script run: Qt WebEngine answers asynchronously, so the run
// waits for the answer handling events other than user input: awake for the
// first millisecond, then in a nested event loop.
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>
#include <span>

class QObject;
class QWebEnginePage;

namespace engine {

// Runs script in the given world of page and waits up to timeoutMs for its
// value; nullopt when no answer came in time or the page went away. The
// waiting state is shared with Qt's callback, so an answer that arrives after
// the wait gave up is dropped harmlessly.
std::optional<QVariant> runScriptAndWait(QWebEnginePage* page, const QString& script,
                                         quint32 worldId, int timeoutMs);

// The same wait for a run that start begins (a frame's run): start hands its
// callback to Qt; owner going away ends the wait.
using AnswerCallback = std::function<void(const QVariant&)>;
std::optional<QVariant> waitForAnswer(QObject* owner, const std::function<void(AnswerCallback)>& start,
                                      int timeoutMs);

// Starts script in the given world of the frame reached from the main frame
// through child indexes (none: the main frame); false, and no callback, when
// that frame is not there or this Qt runs scripts in the main frame only.
bool startFrameRun(QWebEnginePage* page, const QString& script, std::span<const int> frame,
                   quint32 worldId, AnswerCallback callback);

}  // namespace engine
