#pragma once
// A synchronous script run: Qt WebEngine answers asynchronously, so the run
// waits for the answer in a nested event loop that leaves user input queued.
#include <QString>
#include <QVariant>

#include <optional>

class QWebEnginePage;

namespace engine {

// Runs script in the given world of page and waits up to timeoutMs for its
// value; nullopt when no answer came in time or the page went away. The
// waiting state is shared with Qt's callback, so an answer that arrives after
// the wait gave up is dropped harmlessly.
std::optional<QVariant> runScriptAndWait(QWebEnginePage* page, const QString& script,
                                         quint32 worldId, int timeoutMs);

}  // namespace engine
