#pragma once
// Run markers of the script editor: after a run each line it ran carries a
// marker in the symbol margin (passed, failed its check, answered "error" or
// "undefined"), whose tooltip is the line's log entry. Editing a line removes
// its marker; markers follow lines that move.
#include "fillscript/linecheck.h"

#include <QObject>
#include <QString>

#include <map>
#include <optional>

class QsciScintilla;

namespace fillscript {

class RunMarkers : public QObject {
    Q_OBJECT
public:
    // Markers show in `margin` of `editor`.
    RunMarkers(QsciScintilla* editor, int margin);

    // Removes the markers of lines first..last (0-based, inclusive).
    void clear(int first, int last);
    void clearAll();
    // Replaces the marker of `line` (0-based); entry: the log entry, GB18030.
    void mark(int line, LineOutcome outcome, const std::string& entry);

    std::optional<LineOutcome> outcomeAt(int line) const;
    QString entryAt(int line) const;  // empty without a marker

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onModified(int position, int type);
    // Marker handle on `line` and its entry, or the end of entries_.
    std::map<int, QString>::const_iterator entryOn(int line) const;

    QsciScintilla* ed_;
    std::map<int, QString> entries_;  // marker handle -> log entry
    std::map<int, LineOutcome> outcomes_;  // marker handle -> outcome
};

}  // namespace fillscript
