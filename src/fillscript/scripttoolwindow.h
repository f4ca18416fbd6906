#pragma once
// The form-fill script tool window ("动态代码调试工具"): a script editor with
// command completion and parameter hints, a run button and the code log.
#include "fillscript/linecheck.h"
#include "fillscript/parser.h"

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <Qsci/qsciscintilla.h>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QAbstractButton;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QTabWidget;

namespace fillscript {

class GbEditor;
class PageRecorder;
class RunMarkers;
class ToolRun;
struct RecordedLocator;

// Keys the tool handles, by their virtual-key codes.
enum ToolKey {
    KeyBackspace = 8,
    KeyEnter = 13,
    KeySpace = 32,
    KeyLeft = 37,
    KeyUp = 38,
    KeyRight = 39,
    KeyDown = 40,
};

// The editor widget. Key presses first go to `keyDown`, which may consume
// them; after every input event `afterInput` runs, so that text-change
// handling sees the caret where the editor left it.
class ScriptEditor : public QsciScintilla {
    Q_OBJECT
public:
    explicit ScriptEditor(QWidget* parent = nullptr);

    std::function<bool(int toolKey)> keyDown;
    std::function<void()> afterInput;

    // The tool key for a key event, 0 when the tool does not handle it.
    static int toolKeyOf(const QKeyEvent* e);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
};

class ScriptToolWindow : public QWidget {
    Q_OBJECT
public:
    explicit ScriptToolWindow(QWidget* parent = nullptr);
    ~ScriptToolWindow() override;

    // The commands of a run go to `executor`. A run that is under way keeps
    // the executor it started with. Without one every command logs an empty
    // result.
    void setExecutor(std::shared_ptr<CommandExecutor> executor);

    // Controls.
    ScriptEditor* scriptEditor() const { return editor_; }
    QListWidget* completionList() const { return completionList_; }
    QLabel* hintLabel() const { return hintLabel_; }
    QPlainTextEdit* codeLog() const { return codeLog_; }
    QAbstractButton* runButton() const { return runButton_; }
    GbEditor& gbEditor() const { return *gb_; }
    // Beside the run button: recording, the element picker, running parts of
    // the script, stopping, and script files.
    QAbstractButton* recordButton() const { return recordButton_; }
    QAbstractButton* pickButton() const { return pickButton_; }
    QAbstractButton* runLineButton() const { return runLineButton_; }
    QAbstractButton* runSelectionButton() const { return runSelectionButton_; }
    QAbstractButton* stepButton() const { return stepButton_; }
    QAbstractButton* stopButton() const { return stopButton_; }
    QAbstractButton* openButton() const { return openButton_; }
    QAbstractButton* saveButton() const { return saveButton_; }
    RunMarkers& runMarkers() const;
    // Which line a run is on, and that it is stopping; empty between runs.
    QLabel* runStateLabel() const { return runStateLabel_; }

    // Caret line (0-based) and byte column, where a caret at the start of a
    // line other than the first counts as the end of the previous line.
    int caretLine() const;
    int caretColumn() const;
    // The caret's rectangle in the editor's client coordinates.
    QRect caretRect() const;
    // The word before the caret, back to a space or line feed; also records
    // its range as completionStart()/completionEnd().
    std::string wordBeforeCaret();
    int completionStart() const { return completionStart_; }
    int completionEnd() const { return completionEnd_; }

    void onScriptChanged();
    // Returns whether the key is consumed.
    bool onScriptKeyDown(int toolKey);
    // Replaces the recorded word range by name's completion text.
    void insertCompletion(const std::string& name, int paramCount);

    // The run button: the whole script, starting with no variables.
    void runWholeScript();
    void appendToLog(const std::string& gbText);

    // Runs the caret's line, the lines the selection touches (the caret's
    // line without one), or the caret's line followed by moving the caret to
    // the next line. The log gets the entries a full run writes for them.
    void runCurrentLine();
    void runSelection();
    void step();
    // Ends a run after its current line.
    void stopRun();
    bool isRunning() const;
    bool isStopping() const;

    // The window that shows the bound page: closing it stops a run after
    // its current line, as closing this window does.
    void setPageWindow(QWidget* window);
    // Moves this window beside `window` (right of it, else left of it) when
    // its screen has room for both; otherwise it keeps its place.
    void placeBeside(const QWidget* window);

    // Recording and picking in the bound page. Without a recorder both
    // buttons stay disabled.
    void setRecorder(std::shared_ptr<PageRecorder> recorder);
    void setRecording(bool on);
    void setPicking(bool on);
    // Inserts a recorded line at the caret: on an empty caret line it fills
    // that line, otherwise it goes on a new line below; the caret ends after
    // the inserted line.
    void insertRecordedLine(const std::string& gbLine);
    // Puts a picked element's locator into the command under the caret (its
    // tag, key, skip count, frame and attribute arguments), or inserts the
    // seven locator arguments at the caret when the caret line holds no
    // command that takes a locator.
    void insertLocator(const RecordedLocator& loc);

    // Script files: read as UTF-8 (GB18030 when the bytes are no UTF-8),
    // written as UTF-8 with CR LF. False when the file cannot be read or
    // written; the script is then left as it was.
    bool openScriptFile(const QString& path);
    bool saveScriptFile(const QString& path);
    QString scriptFilePath() const { return filePath_; }
    // Whether the script differs from the file it was opened from or saved to
    // (false for a script that has no file).
    bool hasUnsavedChanges() const;

    // The whole code log as GB18030 text with CR LF line ends.
    std::string logText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closed during a run, the window only hides: the run stops after its
    // current line, and a window that deletes itself on close goes then.
    // Otherwise a script with unsaved changes to its file asks first
    // (save, discard, or stay open). Closing ends recording and picking.
    void closeEvent(QCloseEvent* event) override;

private:
    void createDebugControls();
    void updateCaption();
    // Before the script is replaced or the window closes: a script with
    // unsaved changes to its file asks to save, discard or cancel. False when
    // the user cancelled or the save failed.
    bool settleUnsavedChanges();
    // The run's state in the controls: the run buttons, the stop button and
    // the line the run is on.
    void showRunState();
    void openWithDialog();
    void saveWithDialog(bool askName);
    void onToolWindowCreated();
    void configureEditor();
    void placePopup(QWidget* popup) const;
    void flushChange();

    QAbstractButton* runButton_ = nullptr;
    QLabel* noticeLabel_ = nullptr;
    ScriptEditor* editor_ = nullptr;
    QLabel* hintLabel_ = nullptr;
    QListWidget* completionList_ = nullptr;
    QTabWidget* logTabs_ = nullptr;
    QPlainTextEdit* codeLog_ = nullptr;
    GbEditor* gb_ = nullptr;
    QAbstractButton* recordButton_ = nullptr;
    QAbstractButton* pickButton_ = nullptr;
    QAbstractButton* runLineButton_ = nullptr;
    QAbstractButton* runSelectionButton_ = nullptr;
    QAbstractButton* stepButton_ = nullptr;
    QAbstractButton* stopButton_ = nullptr;
    QAbstractButton* openButton_ = nullptr;
    QAbstractButton* saveButton_ = nullptr;
    QLabel* runStateLabel_ = nullptr;
    // The run: its markers, executor, variables, whether it runs or stops.
    ToolRun* run_ = nullptr;
    QPointer<QWidget> pageWindow_;
    std::shared_ptr<PageRecorder> recorder_;
    QString filePath_;
    bool fileBound_ = false;

    int completionStart_ = 0;
    int completionEnd_ = 0;
    bool changePending_ = false;
};

}  // namespace fillscript
