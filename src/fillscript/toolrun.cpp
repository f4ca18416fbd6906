#include "fillscript/toolrun.h"

#include "fillscript/gbeditor.h"
#include "fillscript/linecheck.h"
#include "fillscript/runmarkers.h"

#include <Qsci/qsciscintilla.h>

#include <utility>

namespace fillscript {
namespace {

// Used before the tool is bound to a page: every command logs an empty result.
class NoPageExecutor : public CommandExecutor {
public:
    std::string execute(const std::string&, const std::vector<std::string>&) override { return {}; }
};

NoPageExecutor& noPageExecutor()
{
    static NoPageExecutor e;
    return e;
}

}  // namespace

ToolRun::ToolRun(GbEditor& gb, int markerMargin, int pointerMargin, QObject* parent)
    : QObject(parent), gb_(gb), markers_(new RunMarkers(gb.widget(), markerMargin, pointerMargin))
{
    // After a step the pointer shows the line the next step runs: the caret's.
    connect(gb_.widget(), &QsciScintilla::cursorPositionChanged, this, [this] {
        if (stepping_ && !running_)
            markers_->setPointer(caretLine(), RunMarkers::Pointer::Next);
    });
}

void ToolRun::setExecutor(std::shared_ptr<CommandExecutor> executor)
{
    executor_ = std::move(executor);
}

int ToolRun::caretLine() const
{
    return gb_.lineFromPosition(gb_.currentPos());
}

void ToolRun::runAll()
{
    if (running_)
        return;
    variables_.clear();
    stepping_ = false;
    runLines(0, gb_.lineCount() - 1);
}

void ToolRun::step()
{
    if (running_)
        return;
    const int line = caretLine();
    stepping_ = true;
    runLines(line, line);
    if (line + 1 < gb_.lineCount()) {
        const int next = gb_.positionFromLine(line + 1);
        gb_.setSel(next, next);
    }
    markers_->setPointer(caretLine(), RunMarkers::Pointer::Next);
}

void ToolRun::stop()
{
    if (!running_ || stopRequested_)
        return;
    stopRequested_ = true;
    markers_->setPointer(markers_->pointerLine(), RunMarkers::Pointer::Stopping);
    emit stateChanged();
}

void ToolRun::forgetMarks()
{
    markers_->clearAll();
    stepping_ = false;
    markers_->setPointer(-1, RunMarkers::Pointer::None);
}

void ToolRun::afterRun(std::function<void()> action)
{
    afterRun_ = std::move(action);
}

void ToolRun::runLines(int first, int last)
{
    // Page operations wait for the page inside the run; a second start
    // meanwhile must not begin a nested run.
    if (running_)
        return;
    running_ = true;
    stopRequested_ = false;
    emit stateChanged();

    std::vector<std::string> lines;
    lines.reserve(std::size_t(last - first + 1));
    for (int k = first; k <= last; ++k)
        lines.push_back(gb_.line(k));
    markers_->clear(first, last);
    // Held for the whole run, even if the tool is rebound meanwhile.
    const std::shared_ptr<CommandExecutor> held = executor_;
    CommandExecutor& exec = held ? *held : noPageExecutor();
    ScriptRun run(lines, exec, std::exchange(variables_, {}));
    for (int line = first; !run.atEnd() && !stopRequested_; ++line) {
        // The pointer follows its line if lines are edited meanwhile; the
        // result goes where the pointer ends.
        markers_->setPointer(line, RunMarkers::Pointer::Running);
        emit stateChanged();
        LineResult o = run.step();
        const int at = markers_->pointerLine();
        o.line = line + 1;
        emit lineDone(o);
        const LineOutcome outcome = outcomeOf(o);
        markers_->mark(at, outcome, o.logEntry(),
                       o.executed() ? failureReasonText(outcome, o.reason) : std::string());
    }
    variables_ = run.values();
    markers_->setPointer(stepping_ ? caretLine() : -1, RunMarkers::Pointer::Next);

    running_ = false;
    emit stateChanged();
    if (const std::function<void()> action = std::exchange(afterRun_, {}))
        action();
}

}  // namespace fillscript
