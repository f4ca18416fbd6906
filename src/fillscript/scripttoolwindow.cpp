// The tool window's layout: every control and where it sits, the editor's
// settings, the window's place beside the page, and the code log.
#include "fillscript/scripttoolwindow.h"

#include "fillscript/catalogue.h"
#include "fillscript/gbeditor.h"
#include "fillscript/scriptlexer.h"
#include "fillscript/scriptrun.h"
#include "fillscript/toolrun.h"
#include "runtime/textcodec.h"

#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTabWidget>
#include <QTextCursor>
#include <QToolButton>

#include <utility>

namespace fillscript {
namespace {

QIcon runIcon()
{
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 150, 60));
    const QPointF tri[3] = {{5, 3}, {17, 10}, {5, 17}};
    p.drawPolygon(tri, 3);
    return QIcon(pm);
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

// ---- ScriptToolWindow ----

ScriptToolWindow::ScriptToolWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("动态代码调试工具"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    // 822 x 660 outside at (50, 50); the client area is what the controls use.
    move(50, 50);
    resize(816, 634);

    auto* run = new QToolButton(this);
    run->setObjectName(QStringLiteral("超级按钮_动态填表_读取源码"));
    run->setText(QStringLiteral("运行代码"));
    run->setIcon(runIcon());
    run->setIconSize(QSize(20, 20));
    run->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    run->setGeometry(6, 4, 90, 40);
    runButton_ = run;

    noticeLabel_ = new QLabel(QStringLiteral("只支持填表命令，目前尚不支持其它基础命令"), this);
    noticeLabel_->setObjectName(QStringLiteral("标签1"));
    noticeLabel_->setGeometry(120, 26, 248, 16);

    editor_ = new ScriptEditor(this);
    editor_->setObjectName(QStringLiteral("代码编辑框1"));
    editor_->setGeometry(6, 51, 804, 418);
    configureEditor();
    gb_ = new GbEditor(editor_, this);

    logTabs_ = new QTabWidget(this);
    logTabs_->setObjectName(QStringLiteral("选择夹1"));
    logTabs_->setGeometry(-1, 472, 819, 161);
    auto* page = new QWidget;
    codeLog_ = new QPlainTextEdit(page);
    codeLog_->setObjectName(QStringLiteral("编辑框1"));
    // Page coordinates start below the tab bar here, 25 pixels lower than in
    // the stored layout.
    codeLog_->setGeometry(6, 29 - 25, 808, 123);
    codeLog_->setReadOnly(true);
    logTabs_->addTab(page, QStringLiteral("代码日志"));

    // The popups float above the editor and never take the keyboard from it.
    hintLabel_ = new QLabel(this);
    hintLabel_->setObjectName(QStringLiteral("标签2"));
    hintLabel_->setGeometry(184, 288, 536, 40);
    hintLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    hintLabel_->setAutoFillBackground(true);
    hintLabel_->hide();

    completionList_ = new QListWidget(this);
    completionList_->setObjectName(QStringLiteral("列表框1"));
    completionList_->setGeometry(184, 128, 264, 152);
    completionList_->setFocusPolicy(Qt::NoFocus);
    completionList_->clear();
    completionList_->hide();
    // Style the popups now rather than on the keystroke that first shows them.
    completionList_->ensurePolished();
    hintLabel_->ensurePolished();
    (void)completionList_->fontMetrics().horizontalAdvance(QStringLiteral("填表操作_取内容"));

    connect(runButton_, &QAbstractButton::clicked, this, &ScriptToolWindow::runWholeScript);
    connect(editor_, &QsciScintilla::textChanged, this, [this] {
        // Handled once the editor has finished the change and placed the
        // caret: at the end of the input event, or from the event loop for
        // changes that come from elsewhere (drops, context-menu paste).
        if (changePending_)
            return;
        changePending_ = true;
        QMetaObject::invokeMethod(this, &ScriptToolWindow::flushChange, Qt::QueuedConnection);
    });
    editor_->keyDown = [this](int key) { return onScriptKeyDown(key); };
    editor_->afterInput = [this] { flushChange(); };

    onToolWindowCreated();
    createDebugControls();
}

ScriptToolWindow::~ScriptToolWindow() = default;

void ScriptToolWindow::configureEditor()
{
    using B = QsciScintillaBase;
    ScriptEditor* e = editor_;
    e->SendScintilla(B::SCI_SETMARGINWIDTHN, 1UL, 0L);
    e->SendScintilla(B::SCI_SETREADONLY, 0UL);
    e->SendScintilla(B::SCI_SETHSCROLLBAR, 0UL);
    e->SendScintilla(B::SCI_SETVSCROLLBAR, 1UL);
    e->SendScintilla(B::SCI_SETVIEWWS, (unsigned long)B::SCWS_INVISIBLE);
    e->SendScintilla(B::SCI_SETWHITESPACEFORE, 1UL, QColor(0, 0, 0));
    e->SendScintilla(B::SCI_SETWHITESPACEBACK, 1UL, QColor(255, 255, 255));
    e->SendScintilla(B::SCI_SETCURSOR, (unsigned long)B::SC_CURSORNORMAL);
    e->setEolMode(QsciScintilla::EolWindows);
    e->SendScintilla(B::SCI_SETVIEWEOL, 0UL);
    e->SendScintilla(B::SCI_SETSELFORE, 1UL, QColor(255, 255, 255));
    e->SendScintilla(B::SCI_SETSELBACK, 1UL, QColor(0, 0, 128));
    e->SendScintilla(B::SCI_SETCARETFORE, QColor(0, 0, 0));
    e->SendScintilla(B::SCI_SETCARETLINEVISIBLE, 0UL);
    e->SendScintilla(B::SCI_SETCARETLINEBACK, QColor(255, 255, 255));
    e->SendScintilla(B::SCI_SETCARETPERIOD, 500UL);
    e->SendScintilla(B::SCI_SETCARETWIDTH, 1UL);
    // The widget holds UTF-8; GbEditor presents it to the tool as GB18030.
    e->setUtf8(true);
    e->SendScintilla(B::SCI_SETINDENTATIONGUIDES, (unsigned long)B::SC_IV_NONE);
    e->SendScintilla(B::SCI_SETWRAPMODE, (unsigned long)B::SC_WRAP_NONE);
}

void ScriptToolWindow::onToolWindowCreated()
{
    using B = QsciScintillaBase;
    editor_->SendScintilla(B::SCI_SETMARGINTYPEN, 1UL, long(B::SC_MARGIN_BACK));
    editor_->SendScintilla(B::SCI_SETMARGINWIDTHN, 1UL, 15L);
}

void ScriptToolWindow::placeBeside(const QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QRect other = window->frameGeometry();
    // Before it first shows, this window's frame is taken to be as wide as
    // the other window's.
    const QSize frame = isVisible() ? frameGeometry().size() - geometry().size()
                                    : other.size() - window->geometry().size();
    const QSize size = this->size() + frame;
    int x = 0;
    if (other.right() + size.width() <= room.right())
        x = other.right() + 1;
    else if (other.left() - size.width() >= room.left())
        x = other.left() - size.width();
    else
        return;
    const int y = std::max(room.top(), std::min(other.top(), room.bottom() + 1 - size.height()));
    move(x, y);
}

void ScriptToolWindow::createDebugControls()
{
    editor_->setMarginLineNumbers(kNumberMargin, true);
    editor_->setMarginWidth(kNumberMargin, QStringLiteral("00000"));
    run_ = new ToolRun(*gb_, kMarkerMargin, kPointerMargin, this);
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
    connect(run_, &ToolRun::stateChanged, this, &ScriptToolWindow::showRunState);
    connect(run_, &ToolRun::lineDone, this, [this](const LineResult& o) { appendToLog(o.logEntry()); });
}

void ScriptToolWindow::setExecutor(std::shared_ptr<CommandExecutor> executor)
{
    run_->setExecutor(std::move(executor));
}

void ScriptToolWindow::appendToLog(const std::string& gbText)
{
    QString text = rt::gbToQString(gbText);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor cur = codeLog_->textCursor();
    cur.movePosition(QTextCursor::End);
    codeLog_->setTextCursor(cur);
    codeLog_->ensureCursorVisible();
    codeLog_->insertPlainText(text);
}

std::string ScriptToolWindow::logText() const
{
    QString text = codeLog_->toPlainText();
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return rt::qstringToGb(text);
}

}  // namespace fillscript
