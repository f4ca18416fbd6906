#pragma once
// A run in the script tool window: the lines it runs, the executor and the
// variables they share, whether it is under way or stopping, and the
// markers and pointer it leaves in the editor. The window keeps the
// controls; it shows the state this object announces and logs its lines.
#include "fillscript/scriptrun.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace fillscript {

class GbEditor;
class RunMarkers;

class ToolRun : public QObject {
    Q_OBJECT
public:
    // Markers show in `markerMargin` of the editor behind `gb`, the pointer
    // in `pointerMargin`.
    ToolRun(GbEditor& gb, int markerMargin, int pointerMargin, QObject* parent = nullptr);

    // The commands of a run go to `executor`. A run that is under way keeps
    // the executor it started with. Without one every command logs an empty
    // result.
    void setExecutor(std::shared_ptr<CommandExecutor> executor);
    RunMarkers& markers() const { return *markers_; }

    bool isRunning() const { return running_; }
    bool isStopping() const { return running_ && stopRequested_; }

    // The whole script, starting with no variables.
    void runAll();
    // Lines first..last (0-based) as a script of their own, with the
    // variables earlier runs left; their entries carry the lines' places in
    // the editor, so that they read as a full run's entries for those lines.
    void runLines(int first, int last);
    // Runs the caret's line and moves the caret to the next line, where the
    // pointer then shows the line the next step runs.
    void step();
    // Ends the run after its current line.
    void stop();
    // The editor holds another script: no markers, no pointer, no stepping.
    void forgetMarks();
    // `action` runs once, when the run under way has ended.
    void afterRun(std::function<void()> action);

signals:
    // A run started or ended, moved to a line, or is stopping.
    void stateChanged();
    // A line ended; `result.line` is its line in the editor, counted from 1.
    void lineDone(const fillscript::LineResult& result);

private:
    int caretLine() const;

    GbEditor& gb_;
    RunMarkers* markers_;
    std::shared_ptr<CommandExecutor> executor_;
    std::map<std::string, std::string> variables_;
    bool running_ = false;
    bool stopRequested_ = false;
    bool stepping_ = false;  // after a step, the pointer shows the caret's line
    std::function<void()> afterRun_;
};

}  // namespace fillscript
