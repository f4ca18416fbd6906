// The tool window's run control: the run buttons and stop, what they show
// while the run is under way, and closing during a run. The run itself, its
// markers and variables are the window's ToolRun.
#include "fillscript/gbeditor.h"
#include "fillscript/pagerecorder.h"
#include "fillscript/runmarkers.h"
#include "fillscript/scripttoolwindow.h"
#include "fillscript/toolrun.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QLabel>

namespace fillscript {

RunMarkers& ScriptToolWindow::runMarkers() const
{
    return run_->markers();
}

bool ScriptToolWindow::isRunning() const
{
    return run_->isRunning();
}

bool ScriptToolWindow::isStopping() const
{
    return run_->isStopping();
}

void ScriptToolWindow::runWholeScript()
{
    run_->runAll();
}

void ScriptToolWindow::runCurrentLine()
{
    const int line = gb_->lineFromPosition(gb_->currentPos());
    run_->runLines(line, line);
}

void ScriptToolWindow::runSelection()
{
    int lineFrom = 0, indexFrom = 0, lineTo = 0, indexTo = 0;
    editor_->getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
    if (lineFrom < 0) {
        runCurrentLine();
        return;
    }
    // A selection that ends at the start of a line does not take that line.
    if (lineTo > lineFrom && indexTo == 0)
        --lineTo;
    run_->runLines(lineFrom, lineTo);
}

void ScriptToolWindow::step()
{
    run_->step();
}

void ScriptToolWindow::stopRun()
{
    run_->stop();
}

void ScriptToolWindow::showRunState()
{
    const bool running = run_->isRunning();
    for (QAbstractButton* b : {runButton_, runLineButton_, runSelectionButton_, stepButton_})
        b->setEnabled(!running);
    stopButton_->setEnabled(running && !run_->isStopping());
    const int line = run_->markers().pointerLine() + 1;
    if (!running)
        runStateLabel_->clear();
    else if (run_->isStopping())
        runStateLabel_->setText(QStringLiteral("正在停止：第%1行运行完后停止").arg(line));
    else
        runStateLabel_->setText(QStringLiteral("正在运行第%1行").arg(line));
}

void ScriptToolWindow::setPageWindow(QWidget* window)
{
    if (pageWindow_)
        pageWindow_->removeEventFilter(this);
    pageWindow_ = window;
    if (window)
        window->installEventFilter(this);
}

bool ScriptToolWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Once the page's window has handled its close and is gone from the
    // screen, the run has no page to show: it stops after its line.
    if (watched == pageWindow_ && event->type() == QEvent::Close) {
        QMetaObject::invokeMethod(this, [this] {
            if (pageWindow_ && !pageWindow_->isVisible())
                stopRun();
        }, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void ScriptToolWindow::closeEvent(QCloseEvent* event)
{
    if (run_->isRunning()) {
        stopRun();
        // A window that deletes itself on close goes once the run has ended,
        // unless it was shown again meanwhile.
        if (testAttribute(Qt::WA_DeleteOnClose)) {
            setAttribute(Qt::WA_DeleteOnClose, false);
            run_->afterRun([this] {
                if (isVisible())
                    setAttribute(Qt::WA_DeleteOnClose);
                else
                    deleteLater();
            });
        }
    } else if (!settleUnsavedChanges()) {
        event->ignore();
        return;
    }
    if (recorder_) {
        recorder_->setRecording(false);
        recorder_->setPicking(false);
    }
    QWidget::closeEvent(event);
}

}  // namespace fillscript
