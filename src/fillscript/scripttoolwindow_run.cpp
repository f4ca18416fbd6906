// The tool window's run control: the run button, running the caret's line
// or the selected lines, stepping, stopping, and the markers a run leaves.
#include "fillscript/gbeditor.h"
#include "fillscript/pagerecorder.h"
#include "fillscript/runmarkers.h"
#include "fillscript/scriptlexer.h"
#include "fillscript/scriptrun.h"
#include "fillscript/scripttoolwindow.h"

#include <QCloseEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>

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

// The margin the window's creation sets up as a 15-pixel background margin;
// the run markers show there, line numbers in margin 0 before it, and the
// run pointer in margin 2 after it.
constexpr int kMarkerMargin = 1;
constexpr int kNumberMargin = 0;
constexpr int kPointerMargin = 2;

// 20 x 20 icons drawn like the run button's: a red dot for recording, a
// cross-hair for picking.
QIcon drawnIcon(bool record)
{
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (record) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(210, 30, 30));
        p.drawEllipse(QPointF(10, 10), 7, 7);
    } else {
        p.setPen(QPen(QColor(30, 90, 200), 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(10, 10), 6, 6);
        p.drawLine(QPointF(10, 1), QPointF(10, 6));
        p.drawLine(QPointF(10, 14), QPointF(10, 19));
        p.drawLine(QPointF(1, 10), QPointF(6, 10));
        p.drawLine(QPointF(14, 10), QPointF(19, 10));
    }
    return QIcon(pm);
}

}  // namespace

void ScriptToolWindow::createDebugControls()
{
    editor_->setMarginLineNumbers(kNumberMargin, true);
    editor_->setMarginWidth(kNumberMargin, QStringLiteral("00000"));
    markers_ = new RunMarkers(editor_, kMarkerMargin, kPointerMargin);
    // A few pixels between the markers and the text.
    editor_->SendScintilla(QsciScintillaBase::SCI_SETMARGINLEFT, 0UL, 4L);
    editor_->setLexer(new ScriptLexer(editor_));

    struct ButtonDef {
        QAbstractButton** slot;
        const char* objectName;
        QString text;
        QStyle::StandardPixmap icon;
        QKeySequence keys;
        QString tip;
        int x, width;
    };
    const ButtonDef buttons[] = {
        {&recordButton_, "recordButton", QStringLiteral("录制"), QStyle::SP_DialogYesButton,
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R),
         QStringLiteral("录制：在网页中的操作写成脚本行，插入到光标处"), 372, 80},
        {&pickButton_, "pickButton", QStringLiteral("拾取"), QStyle::SP_FileDialogContentsView,
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P),
         QStringLiteral("拾取元素：点击网页中的元素，把它的定位参数插入光标处的命令"), 456, 80},
        {&runLineButton_, "runLineButton", QString(), QStyle::SP_MediaPlay, QKeySequence(Qt::Key_F6),
         QStringLiteral("运行当前行"), 542, 36},
        {&runSelectionButton_, "runSelectionButton", QString(), QStyle::SP_MediaSeekForward,
         QKeySequence(Qt::Key_F7), QStringLiteral("运行选中的行"), 580, 36},
        {&stepButton_, "stepButton", QString(), QStyle::SP_ArrowDown, QKeySequence(Qt::Key_F10),
         QStringLiteral("单步：运行当前行，光标移到下一行"), 618, 36},
        {&stopButton_, "stopButton", QString(), QStyle::SP_MediaStop,
         QKeySequence(Qt::SHIFT | Qt::Key_F5), QStringLiteral("停止：当前行运行完后停止"), 656, 36},
        {&openButton_, "openButton", QString(), QStyle::SP_DialogOpenButton,
         QKeySequence(Qt::CTRL | Qt::Key_O), QStringLiteral("打开脚本文件"), 702, 36},
        {&saveButton_, "saveButton", QString(), QStyle::SP_DialogSaveButton,
         QKeySequence(Qt::CTRL | Qt::Key_S), QStringLiteral("保存脚本文件（另存为：Ctrl+Shift+S）"), 740, 36},
    };
    for (const ButtonDef& def : buttons) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(def.objectName));
        b->setText(def.text);
        b->setIcon(def.slot == &recordButton_ ? drawnIcon(true)
                   : def.slot == &pickButton_ ? drawnIcon(false)
                                               : style()->standardIcon(def.icon));
        b->setIconSize(QSize(20, 20));
        b->setToolButtonStyle(def.text.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
        b->setGeometry(def.x, 4, def.width, 40);
        b->setToolTip(def.tip + QStringLiteral(" (") + def.keys.toString(QKeySequence::NativeText) +
                      QStringLiteral(")"));
        b->setShortcut(def.keys);
        *def.slot = b;
    }
    runButton_->setToolTip(QStringLiteral("运行代码 (F5)"));
    auto* runAll = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(runAll, &QShortcut::activated, runButton_, &QAbstractButton::click);
    auto* saveAs = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this);
    connect(saveAs, &QShortcut::activated, this, [this] { saveWithDialog(true); });

    recordButton_->setCheckable(true);
    pickButton_->setCheckable(true);
    recordButton_->setEnabled(false);
    pickButton_->setEnabled(false);
    stopButton_->setEnabled(false);
    connect(recordButton_, &QAbstractButton::toggled, this, &ScriptToolWindow::setRecording);
    connect(pickButton_, &QAbstractButton::toggled, this, &ScriptToolWindow::setPicking);
    connect(runLineButton_, &QAbstractButton::clicked, this, &ScriptToolWindow::runCurrentLine);
    connect(runSelectionButton_, &QAbstractButton::clicked, this, &ScriptToolWindow::runSelection);
    connect(stepButton_, &QAbstractButton::clicked, this, &ScriptToolWindow::step);
    connect(stopButton_, &QAbstractButton::clicked, this, &ScriptToolWindow::stopRun);
    connect(openButton_, &QAbstractButton::clicked, this, &ScriptToolWindow::openWithDialog);
    connect(saveButton_, &QAbstractButton::clicked, this, [this] { saveWithDialog(false); });
    connect(editor_, &QsciScintilla::modificationChanged, this, &ScriptToolWindow::updateCaption);

    // Above the notice, left of the buttons.
    runStateLabel_ = new QLabel(this);
    runStateLabel_->setObjectName(QStringLiteral("runStateLabel"));
    runStateLabel_->setGeometry(120, 6, 248, 18);
    // After a step the pointer shows the line the next step runs: the caret's.
    connect(editor_, &QsciScintilla::cursorPositionChanged, this, [this] {
        if (stepping_ && !running_)
            markers_->setPointer(gb_->lineFromPosition(gb_->currentPos()), RunMarkers::Pointer::Next);
    });
}

void ScriptToolWindow::runFillScript()
{
    if (running_)
        return;
    variables_.clear();
    stepping_ = false;
    runLines(0, gb_->lineCount() - 1);
}

void ScriptToolWindow::runCurrentLine()
{
    const int line = gb_->lineFromPosition(gb_->currentPos());
    runLines(line, line);
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
    runLines(lineFrom, lineTo);
}

void ScriptToolWindow::step()
{
    if (running_)
        return;
    const int line = gb_->lineFromPosition(gb_->currentPos());
    stepping_ = true;
    runLines(line, line);
    if (line + 1 < gb_->lineCount()) {
        const int next = gb_->positionFromLine(line + 1);
        gb_->setSel(next, next);
    }
    markers_->setPointer(gb_->lineFromPosition(gb_->currentPos()), RunMarkers::Pointer::Next);
}

void ScriptToolWindow::stopRun()
{
    if (!running_ || stopRequested_)
        return;
    stopRequested_ = true;
    stopButton_->setEnabled(false);
    markers_->setPointer(markers_->pointerLine(), RunMarkers::Pointer::Stopping);
    showRunState();
}

void ScriptToolWindow::showRunState()
{
    const int line = markers_->pointerLine() + 1;
    if (!running_)
        runStateLabel_->clear();
    else if (stopRequested_)
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

// Lines first..last (0-based) run as a script of their own; their entries
// carry the lines' places in the editor, so that they read as a full run's
// entries for the same lines.
void ScriptToolWindow::runLines(int first, int last)
{
    // Page operations wait for the page inside the run; a second start
    // meanwhile must not begin a nested run.
    if (running_)
        return;
    running_ = true;
    stopRequested_ = false;
    for (QAbstractButton* b : {runButton_, runLineButton_, runSelectionButton_, stepButton_})
        b->setEnabled(false);
    stopButton_->setEnabled(true);

    std::vector<std::string> lines;
    lines.reserve(std::size_t(last - first + 1));
    for (int k = first; k <= last; ++k)
        lines.push_back(gb_->line(k));
    markers_->clear(first, last);
    // Held for the whole run, even if the tool is rebound meanwhile.
    const std::shared_ptr<CommandExecutor> held = executor_;
    CommandExecutor& exec = held ? *held : noPageExecutor();
    ScriptRun run(lines, exec, std::exchange(variables_, {}));
    for (int line = first; !run.atEnd() && !stopRequested_; ++line) {
        // The pointer follows its line if lines are edited meanwhile; the
        // result goes where the pointer ends.
        markers_->setPointer(line, RunMarkers::Pointer::Running);
        showRunState();
        LineResult o = run.step();
        const int at = markers_->pointerLine();
        o.line = line + 1;
        const std::string entry = o.logEntry();
        appendToLog(entry);
        const LineOutcome outcome = outcomeOfEntry(entry, o.line);
        markers_->mark(at, outcome, entry, o.executed() ? failureReasonText(outcome, o.reason) : std::string());
    }
    variables_ = run.values();
    markers_->setPointer(stepping_ ? gb_->lineFromPosition(gb_->currentPos()) : -1, RunMarkers::Pointer::Next);

    for (QAbstractButton* b : {runButton_, runLineButton_, runSelectionButton_, stepButton_})
        b->setEnabled(true);
    stopButton_->setEnabled(false);
    running_ = false;
    showRunState();
    if (std::exchange(deleteAfterRun_, false)) {
        if (isVisible())  // shown again meanwhile: it stays
            setAttribute(Qt::WA_DeleteOnClose);
        else
            deleteLater();
    }
}

void ScriptToolWindow::closeEvent(QCloseEvent* event)
{
    if (running_) {
        stopRun();
        if (testAttribute(Qt::WA_DeleteOnClose)) {
            setAttribute(Qt::WA_DeleteOnClose, false);
            deleteAfterRun_ = true;
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
