#include "designer_ui/mainwindow.h"

#include "design/document.h"
#include "design/entrycheck.h"
#include "design/import.h"
#include "design/readreport.h"
#include "design/rule.h"
#include "designer_ui/designcanvas.h"
#include "designer_ui/filedialogs.h"
#include "designer_ui/importcodedialog.h"
#include "designer_ui/windowgeometry.h"
#include "runtime/textcodec.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUndoStack>

#include <climits>

namespace designer {

namespace {

const QString kPageFilter = QStringLiteral("网页文件(*.html)|*.html");
const QString kCaption = QStringLiteral("Tolvanehtml界面制作");
// Shown in a panel field whose value differs between the selected boxes.
const QString kMixedHint = QStringLiteral("（多个值）");

// Keys that merge successive undo steps of one kind on the same Components.
enum MergeKey { kTypingExtra = 1, kNudge = 2, kTypingText = 3 };

QString toQt(const std::string& gb) { return rt::gbToQString(gb); }
std::string toGb(const QString& s) { return rt::qstringToGb(s); }

// Multi-line boxes hold '\n'; rule text holds CR LF.
QString crlfToLf(QString s) { return s.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }
QString lfToCrlf(QString s) { return s.replace(QLatin1Char('\n'), QStringLiteral("\r\n")); }

template <typename W>
W* place(W* w, const char16_t* name, int x, int y, int width, int height)
{
    w->setObjectName(QString::fromUtf16(name));
    w->setGeometry(x, y, width, height);
    return w;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(kCaption);
    buildControls();
    design_.setCanvas(canvas_);
    canvas_->setDesign(&design_);
    buildActions();
    // Created: no drag, no delete mode, nothing shown in the panel.
    edit_ = EditState{};
    setOuterGeometry(this, QRect(50, 50, 989, 707));
}

MainWindow::~MainWindow()
{
    // The design's undo stack announces its clean state as it is destroyed,
    // after this window is no longer whole: nothing of it may be called then.
    design_.undoStack()->disconnect(this);
    design_.disconnect(this);
    design_.setCanvas(nullptr);
    canvas_->setDesign(nullptr);
}

void MainWindow::buildActions()
{
    QUndoStack* stack = design_.undoStack();
    // A drag in progress is ended first, so that its step is complete.
    auto* undo = new QAction(this);
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    connect(undo, &QAction::triggered, this, [this, stack] {
        endDrag();
        stack->undo();
    });
    auto* redo = new QAction(this);
    redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    connect(redo, &QAction::triggered, this, [this, stack] {
        endDrag();
        stack->redo();
    });
    addActions({undo, redo});
    connect(stack, &QUndoStack::cleanChanged, this, &MainWindow::updateCaption);
    // Undo and redo select the boxes of the step; the panel shows them.
    connect(&design_, &design::Design::selectionRestored, this, &MainWindow::refillPanel);
}

bool MainWindow::isModified() const { return !design_.undoStack()->isClean(); }

void MainWindow::updateCaption()
{
    // Without changes the caption is exactly the plain one; Qt draws the
    // marker in place of "[*]" while the window is modified.
    const bool modified = isModified();
    setWindowTitle(modified ? kCaption + QStringLiteral("[*]") : kCaption);
    setWindowModified(modified);
}

void MainWindow::buildControls()
{
    operations_ = place(new QGroupBox(QStringLiteral("操作"), this), u"分组框3", 8, 8, 264, 176);
    addButton_ = place(new QPushButton(QStringLiteral("增加"), operations_), u"按钮1", 16, 24, 96, 32);
    deleteButton_ = place(new QPushButton(QStringLiteral("删除"), operations_), u"按钮2", 152, 24, 96, 32);
    readButton_ = place(new QPushButton(QStringLiteral("读入"), operations_), u"按钮5", 16, 72, 96, 32);
    generateButton_ = place(new QPushButton(QStringLiteral("生成"), operations_), u"按钮3", 152, 72, 96, 32);
    openPreviewButton_ = place(new QPushButton(QStringLiteral("开启实时预览"), operations_), u"按钮4", 16, 120, 96, 32);
    closePreviewButton_ = place(new QPushButton(QStringLiteral("关闭实时预览"), operations_), u"按钮7", 152, 120, 96, 32);

    properties_ = place(new QGroupBox(QStringLiteral("属性"), this), u"分组框4", 8, 192, 264, 480);
    struct Row {
        const char16_t* labelName;
        const char16_t* caption;
        const char16_t* boxName;
        int y;
    };
    static const Row rows[] = {
        {u"标签1", u"种类：", u"编辑框1", 24},  {u"标签2", u"名称：", u"编辑框2", 64},
        {u"标签3", u"左边：", u"编辑框3", 104}, {u"标签4", u"顶边：", u"编辑框4", 144},
        {u"标签5", u"宽度：", u"编辑框5", 184}, {u"标签6", u"高度：", u"编辑框6", 224},
        {u"标签7", u"其他：", u"编辑框7", 264}, {u"标签8", u"文本：", u"编辑框8", 384},
    };
    QLineEdit* oneLine[6] = {};
    for (int i = 0; i < 8; ++i) {
        const Row& r = rows[i];
        place(new QLabel(QString::fromUtf16(r.caption), properties_), r.labelName, 16, r.y, 80, 24);
        const int boxY = r.y - 8;
        if (i == 6) {
            extraBox_ = place(new QPlainTextEdit(properties_), r.boxName, 64, boxY, 168, 112);
        } else {
            auto* box = place(new QLineEdit(properties_), r.boxName, 64, boxY, 168, 32);
            if (i < 6)
                oneLine[i] = box;
            else
                textBox_ = box;
        }
    }
    // No length limit: a long inner text must survive being shown.
    textBox_->setMaxLength(INT_MAX);
    tagBox_ = oneLine[0];
    classBox_ = oneLine[1];
    leftBox_ = oneLine[2];
    topBox_ = oneLine[3];
    widthBox_ = oneLine[4];
    heightBox_ = oneLine[5];
    importCodeButton_ = place(new QPushButton(QStringLiteral("导入代码"), properties_), u"按钮6", 96, 424, 96, 32);

    drawingArea_ = place(new QGroupBox(QStringLiteral("绘制区"), this), u"分组框1", 280, 8, 696, 664);
    canvas_ = place(new DesignCanvas(drawingArea_), u"分组框2", 8, 16, 680, 640);
    // Pressing a box gives the canvas the keys (arrows, Delete, Ctrl+D ...).
    canvas_->setFocusPolicy(Qt::ClickFocus);

    // The six one-line boxes commit on Enter only; other keys just edit.
    for (QLineEdit* box : oneLine)
        connect(box, &QLineEdit::returnPressed, this, [this, box] { commitField(box); });
    // The extra box and the text box commit on every change of content.
    connect(extraBox_, &QPlainTextEdit::textChanged, this, &MainWindow::commitExtra);
    connect(textBox_, &QLineEdit::textChanged, this, &MainWindow::commitText);

    connect(addButton_, &QPushButton::clicked, this, &MainWindow::addNewComponent);
    connect(deleteButton_, &QPushButton::clicked, this, &MainWindow::enterDeleteMode);
    connect(readButton_, &QPushButton::clicked, this, &MainWindow::importDocument);
    connect(generateButton_, &QPushButton::clicked, this, &MainWindow::saveDocument);
    connect(openPreviewButton_, &QPushButton::clicked, this, &MainWindow::previewOpenRequested);
    connect(closePreviewButton_, &QPushButton::clicked, this, &MainWindow::previewCloseRequested);
    connect(importCodeButton_, &QPushButton::clicked, this, &MainWindow::importCode);

    connect(canvas_, &DesignCanvas::boxPressed, this,
            [this](design::BoxHandle box, QPoint cursor) { beginDrag(box, cursor); });
    connect(canvas_, &DesignCanvas::boxMouseMoved, this,
            [this](design::BoxHandle, QPoint cursor, Qt::KeyboardModifiers modifiers) {
                moveModifiers_ = modifiers;
                continueDrag(cursor, false);
            });
    connect(canvas_, &DesignCanvas::boxReleased, this, [this] { endDrag(); });
    connect(canvas_, &DesignCanvas::boxDoubleClicked, this,
            [this](design::BoxHandle box) { deleteOrSelectBox(box); });
    connect(canvas_, &DesignCanvas::boxHandlePressed, this, &MainWindow::beginResize);
    connect(canvas_, &DesignCanvas::boxContextMenu, this, &MainWindow::showBoxMenu);
    connect(canvas_, &DesignCanvas::bandSelected, this, &MainWindow::selectInRect);
    connect(canvas_, &DesignCanvas::emptyCanvasClicked, this, &MainWindow::clearSelection);
}

QSize MainWindow::designCanvasSize() const { return canvas_->size(); }

QRect MainWindow::outerGeometry() const { return frameGeometry(); }

// ---------------------------------------------------------------- panel

void MainWindow::fillPropertyPanel()
{
    std::string rule, innerText;
    if (const int pos = design_.findComponentByBox(design_.selectedBox())) {
        rule = design_.componentAt(pos).rule;
        innerText = design_.componentAt(pos).innerText;
    }
    // Geometry values appear exactly as the rule holds them. Writing the
    // extra and text boxes raises their change signals; those must not
    // commit, or showing a Component would rewrite its line breaks.
    filling_ = true;
    for (QWidget* field : panelFields())
        setMixed(field, false);
    tagBox_->setText(toQt(design::readRuleTag(rule)));
    classBox_->setText(toQt(design::readRuleClass(rule)));
    leftBox_->setText(toQt(design::readRuleLeft(rule)));
    topBox_->setText(toQt(design::readRuleTop(rule)));
    widthBox_->setText(toQt(design::readRuleWidth(rule)));
    heightBox_->setText(toQt(design::readRuleHeight(rule)));
    extraBox_->setPlainText(crlfToLf(toQt(design::readRuleExtra(rule))));
    textBox_->setText(toQt(innerText));
    filling_ = false;
}

void MainWindow::clearPropertyPanel()
{
    for (QLineEdit* box : {tagBox_, classBox_, leftBox_, topBox_, widthBox_, heightBox_})
        box->clear();
    filling_ = true;
    for (QWidget* field : panelFields())
        setMixed(field, false);
    extraBox_->clear();
    textBox_->clear();
    filling_ = false;
}

void MainWindow::commitField(QLineEdit* box)
{
    // Several boxes with differing values: Enter without typing keeps each
    // box's own value.
    if (isMixed(box) && box->text().isEmpty())
        return;
    // The box keeps the text as typed; the rule gets the converted value.
    const std::string text = toGb(box->text());
    design::ComponentUpdate update;
    if (box == tagBox_)
        update.tag = text;
    else if (box == classBox_)
        update.className = text;
    else if (box == leftBox_)
        update.left = design::ruleNumber(text);
    else if (box == topBox_)
        update.top = design::ruleNumber(text);
    else if (box == widthBox_)
        update.width = design::ruleNumber(text);
    else if (box == heightBox_)
        update.height = design::ruleNumber(text);
    if (commitChecked(update, 0))
        setMixed(box, false);  // all selected boxes hold it now
    else
        refillPanel();
}

bool MainWindow::commitChecked(design::ComponentUpdate update, int mergeKey)
{
    // NULs leave the texts and a refused tag or class name stays as it was;
    // the user is told why.
    const std::string notice = design::checkUpdate(update);
    commitToSelection(update, mergeKey);
    if (notice.empty())
        return true;
    QMessageBox::information(this, QStringLiteral("信息："), toQt(notice));
    return false;
}

void MainWindow::commitToSelection(const design::ComponentUpdate& update, int mergeKey)
{
    // The whole selection takes the edit, as one undo step.
    const std::vector<design::BoxHandle> targets = selection_.boxes();
    design::StepScope step(design_, tr("Edit"), mergeKey);
    for (design::BoxHandle b : targets) {
        design::ComponentUpdate u = update;
        design_.updateComponent(b, u);
    }
}

void MainWindow::commitExtra()
{
    if (filling_)
        return;
    design::ComponentUpdate update;
    update.extra = toGb(lfToCrlf(extraBox_->toPlainText()));
    if (commitChecked(update, kTypingExtra))
        setMixed(extraBox_, false);
    else
        refillPanel();
}

void MainWindow::commitText()
{
    if (filling_)
        return;
    design::ComponentUpdate update;
    update.innerText = toGb(textBox_->text());
    if (commitChecked(update, kTypingText))
        setMixed(textBox_, false);
    else
        refillPanel();
}

void MainWindow::refillPanel()
{
    fillPropertyPanel();
    if (selection_.size() < 2)
        return;
    // Several boxes: a box shows a value only when all of them share it.
    struct Field {
        QWidget* box;
        std::string (*read)(std::string_view);
    };
    const Field fields[] = {{tagBox_, design::readRuleTag},     {classBox_, design::readRuleClass},
                            {leftBox_, design::readRuleLeft},   {topBox_, design::readRuleTop},
                            {widthBox_, design::readRuleWidth}, {heightBox_, design::readRuleHeight},
                            {extraBox_, design::readRuleExtra}, {textBox_, nullptr}};
    filling_ = true;
    for (const Field& f : fields) {
        auto value = [&](design::BoxHandle b) {
            const design::Component& c = design_.componentAt(design_.findComponentByBox(b));
            return f.read ? f.read(c.rule) : c.innerText;
        };
        const std::string first = value(selection_.boxes().front());
        const bool shared = std::all_of(selection_.begin(), selection_.end(),
                                        [&](design::BoxHandle b) { return value(b) == first; });
        if (shared)
            continue;
        if (auto* line = qobject_cast<QLineEdit*>(f.box))
            line->clear();
        else
            extraBox_->clear();
        setMixed(f.box, true);
    }
    filling_ = false;
}

void MainWindow::setMixed(QWidget* field, bool mixed)
{
    const QString hint = mixed ? kMixedHint : QString();
    if (auto* line = qobject_cast<QLineEdit*>(field))
        line->setPlaceholderText(hint);
    else if (auto* text = qobject_cast<QPlainTextEdit*>(field))
        text->setPlaceholderText(hint);
}

bool MainWindow::isMixed(const QWidget* field) const
{
    if (auto* line = qobject_cast<const QLineEdit*>(field))
        return line->placeholderText() == kMixedHint;
    if (auto* text = qobject_cast<const QPlainTextEdit*>(field))
        return text->placeholderText() == kMixedHint;
    return false;
}

std::vector<QWidget*> MainWindow::panelFields() const
{
    return {tagBox_, classBox_, leftBox_, topBox_, widthBox_, heightBox_, extraBox_, textBox_};
}

void MainWindow::clearSelection()
{
    if (edit_.dragActive)
        return;
    selection_.selectNone();
    clearPropertyPanel();
}

// ---------------------------------------------------------------- flows

bool MainWindow::saveDocument()
{
    const QString path =
        showSaveDialog(this, {}, QStringLiteral("生成html代码"), {}, kPageFilter);
    if (path.isEmpty())
        return false;
    const rt::WriteResult result = design_.saveDocumentTo(path);
    // A failed save must not pass for a saved page; success stays silent.
    if (!result.ok) {
        QMessageBox::warning(this, QStringLiteral("生成html代码"),
                             QStringLiteral("无法保存文件：%1\n%2")
                                 .arg(QDir::toNativeSeparators(path), result.error));
        return false;
    }
    design_.undoStack()->setClean();
    return true;
}

void MainWindow::importDocument()
{
    // Reading replaces the design: unsaved work is offered a save first, as
    // closing does.
    if (isModified()) {
        const auto answer = QMessageBox::question(
            this, QStringLiteral("打开html代码"), QStringLiteral("设计有未保存的修改。读入前是否先保存？"),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
        if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !saveDocument()))
            return;
    }
    const QString path = showOpenDialog(this, {}, QStringLiteral("打开html代码"), kPageFilter);
    if (path.isEmpty())
        return;
    // The import replaces the design before it looks at the file, so a file
    // that cannot be read must not get that far.
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        QMessageBox::warning(this, QStringLiteral("打开html代码"),
                             QStringLiteral("无法读入文件：%1\n%2")
                                 .arg(QDir::toNativeSeparators(path), probe.errorString()));
        return;
    }
    probe.close();
    selection_.selectNone();
    const std::string page = design::readPageText(path);
    design_.parseDocument(page);
    design_.undoStack()->setClean();
    // The import keeps quiet about what it ignored; say it.
    const design::LeftOut left = design::leftOutOf(page, design_.components());
    if (left.elements > 0 || left.rules > 0)
        QMessageBox::information(
            this, QStringLiteral("打开html代码"),
            QStringLiteral("有 %1 个元素和 %2 条样式规则没有读入：只有带本设计器样式规则"
                           "（标签.名称 { … }）的元素才成为组件。")
                .arg(left.elements)
                .arg(left.rules));
}

void MainWindow::importCode()
{
    design_.pendingStyleCode.clear();
    design_.pendingStyleCode = ImportCodeDialog::askForCode(this);
    if (design_.pendingStyleCode.empty())
        return;
    if (const std::string notice = design_.importCheckedStyleCode(design_.pendingStyleCode); !notice.empty())
        QMessageBox::information(this, QStringLiteral("导入代码"), toQt(notice));
    // The panel shows the selected Component; bring it up to date so that a
    // later edit there does not write the old values back.
    if (design_.findComponentByBox(design_.selectedBox()))
        fillPropertyPanel();
}

// ---------------------------------------------------------------- window events

void MainWindow::onSizeChanged()
{
    // Only the drawing area and DesignCanvas follow the window's outer size.
    const QSize outer = frameGeometry().size();
    const int areaWidth = std::max(0, outer.width() - 293);
    const int areaHeight = std::max(0, outer.height() - 51);
    drawingArea_->resize(areaWidth, areaHeight);
    canvas_->resize(std::max(0, areaWidth - 16), std::max(0, areaHeight - 24));
    emit canvasLaidOut();
}

void MainWindow::onPlacementChanged() { emit geometryFollowNeeded(); }

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    onSizeChanged();
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    onPlacementChanged();
}

void MainWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        onPlacementChanged();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (isModified()) {
        const auto answer = QMessageBox::question(
            this, kCaption, QStringLiteral("设计有未保存的修改。是否先保存？"),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
        if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !saveDocument())) {
            event->ignore();
            return;
        }
    }
    QWidget::closeEvent(event);
    // Closing the main window ends the program, whatever else is open.
    QCoreApplication::quit();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    moveModifiers_ = event->modifiers();
    continueDrag(event->globalPosition().toPoint(), true);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        endDrag();
}

}  // namespace designer
