#pragma once
// Run markers of the script editor: after a run each line it ran carries a
// marker in the symbol margin (passed, failed its check, answered "error" or
// "undefined"), whose tooltip is the line's log entry, followed by the
// page's reason when it gave one. A marker moves with its line when lines
// are inserted or deleted around it and goes only when its own line's text
// changes. A pointer in a margin of its own shows the line a run is on (and
// whether the run is stopping), or the line the next step will run.
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
    enum class Pointer {
        None,
        Running,   // the run is on this line
        Stopping,  // the run stops when this line ends
        Next,      // the next step runs this line
    };

    // Outcome markers show in `margin` of `editor`, the pointer in
    // `pointerMargin`.
    RunMarkers(QsciScintilla* editor, int margin, int pointerMargin);

    // Removes the markers of lines first..last (0-based, inclusive).
    void clear(int first, int last);
    void clearAll();
    // Replaces the marker of `line` (0-based); entry: the log entry, reason:
    // why the line failed (both GB18030; reason may be empty).
    void mark(int line, LineOutcome outcome, const std::string& entry, const std::string& reason = {});

    std::optional<LineOutcome> outcomeAt(int line) const;
    QString entryAt(int line) const;    // empty without a marker
    QString toolTipAt(int line) const;  // the entry, then the reason on a line of its own

    // Line -1 or Pointer::None hides the pointer.
    void setPointer(int line, Pointer kind);
    int pointerLine() const { return kind_ == Pointer::None ? -1 : pointerLine_; }
    Pointer pointer() const { return kind_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Record {
        LineOutcome outcome;
        QString entry;
        QString reason;
        QString text;  // the line's text when it was marked, without its line break
    };

    void onModified(int position, int type, int linesAdded);
    QString lineText(int line) const;
    void redraw();
    void drawRecord(int line, const Record& r);
    void drawPointer();

    QsciScintilla* ed_;
    std::map<int, Record> records_;  // by line
    int pointerLine_ = -1;
    Pointer kind_ = Pointer::None;
};

}  // namespace fillscript
