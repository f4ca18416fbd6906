// Mouse and keyboard editing of the canvas: add, select, drag, delete,
// nudge, duplicate, copy and paste, stacking.
#include "design/packing.h"
#include "design/rule.h"
#include "designer_ui/designcanvas.h"
#include "designer_ui/mainwindow.h"
#include "runtime/textcodec.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>

namespace designer {

namespace {

enum MergeKey { kNudge = 2 };

// Clipboard format of copied boxes: their exact texts (design/packing.h).
const QString kBoxesMime = QStringLiteral("application/x-tolvane-boxes");

}  // namespace

void MainWindow::addNewComponent()
{
    // The new box keeps the prototype's place; nothing gets selected.
    const design::BoxHandle box = canvas_->cloneBox();
    canvas_->showBox(box);
    design_.appendComponent(design::buildRule({}, canvas_->prototypeGeometry()), std::string(), box);
}

void MainWindow::beginDrag(design::BoxHandle box, QPoint cursor)
{
    if (edit_.deleteMode != 0)
        return;
    canvas_->setFocus(Qt::MouseFocusReason);
    if (QApplication::keyboardModifiers() & Qt::ControlModifier) {
        // Ctrl+click adds the box to the selection or takes it out; no drag.
        toggleInSelection(box);
        refillPanel();
        return;
    }
    edit_.dragBox = box;
    // Pressing one of several selected boxes moves them all.
    if (std::find(selection_.begin(), selection_.end(), box) == selection_.end())
        selectBox(box);
    else
        setSelection([&] {
            std::vector<design::BoxHandle> s = selection_;
            std::erase(s, box);
            s.push_back(box);
            return s;
        }());
    refillPanel();
    edit_.dragActive = 1;
    design_.beginStep(tr("Move"));

    dragStart_.clear();
    for (design::BoxHandle b : selection_)
        if (const int pos = design_.findComponentByBox(b)) {
            const std::string& rule = design_.componentAt(pos).rule;
            dragStart_.push_back({b, design::ruleNumber(design::readRuleLeft(rule)),
                                  design::ruleNumber(design::readRuleTop(rule))});
        }
    int boxLeft = 0, boxTop = 0;
    if (const int pos = design_.findComponentByBox(box)) {
        const std::string& rule = design_.componentAt(pos).rule;
        boxLeft = design::ruleNumber(design::readRuleLeft(rule));
        boxTop = design::ruleNumber(design::readRuleTop(rule));
    }
    const QPoint window = frameGeometry().topLeft();
    edit_.dragOffsetX = cursor.x() - window.x() - boxLeft;
    edit_.dragOffsetY = cursor.y() - window.y() - boxTop;
}

void MainWindow::continueDrag(QPoint cursor, bool fromMainWindow)
{
    if (edit_.dragActive != 1)
        return;
    const QPoint window = frameGeometry().topLeft();
    if (fromMainWindow) {
        // The canvas's screen area estimated from the window's outer corner:
        // 20 pixels stand for the caption, borders are not counted.
        const int left = window.x() + drawingArea_->x() + canvas_->x();
        const int top = window.y() + drawingArea_->y() + canvas_->y() + 20;
        const bool inside = cursor.x() > left && cursor.x() < left + canvas_->width()
                            && cursor.y() > top && cursor.y() < top + canvas_->height();
        if (!inside)
            return;
    }
    // The offsets hold the same window terms, so the box follows the
    // cursor's displacement since the drag began.
    const int newLeft = cursor.x() - window.x() - edit_.dragOffsetX;
    const int newTop = cursor.y() - window.y() - edit_.dragOffsetY;
    // The other selected boxes keep their distance to the dragged one.
    int dx = 0, dy = 0;
    for (const DragStart& s : dragStart_)
        if (s.box == edit_.dragBox) {
            dx = newLeft - s.left;
            dy = newTop - s.top;
        }
    for (const DragStart& s : dragStart_) {
        if (s.box == edit_.dragBox)
            continue;
        design::ComponentUpdate u;
        u.left = s.left + dx;
        u.top = s.top + dy;
        design_.updateComponent(s.box, u);
    }
    design::ComponentUpdate update;
    update.left = newLeft;
    update.top = newTop;
    design_.updateComponent(edit_.dragBox, update);
    leftBox_->setText(QString::number(newLeft));
    topBox_->setText(QString::number(newTop));
    // Paint what changed now, before the next mouse event is handled.
    QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
}

void MainWindow::endDrag()
{
    if (edit_.dragActive == 1) {
        edit_.dragActive = 0;
        edit_.dragBox = 0;
        design_.endStep();  // the whole drag is one step
    }
}

void MainWindow::enterDeleteMode()
{
    QMessageBox::information(this, QStringLiteral("信息："), QStringLiteral("双击组件进行删除"));
    edit_.deleteMode = 1;
    deleteButton_->setEnabled(false);
}

void MainWindow::deleteOrSelectBox(design::BoxHandle box)
{
    if (edit_.deleteMode == 1) {
        // Selection goes first, so that clearing the panel commits nowhere.
        edit_.dragBox = 0;
        selectBox(0);
        design_.removeComponentByBox(box);
        canvas_->destroyBox(box);
        clearPropertyPanel();
        edit_.deleteMode = 0;
        deleteButton_->setEnabled(true);
    } else if (!(QApplication::keyboardModifiers() & Qt::ControlModifier)) {
        selectBox(box);
        fillPropertyPanel(box);
    }
}

// ---------------------------------------------------------------- keyboard

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int step = (mods & Qt::ShiftModifier) ? 10 : 1;
    if (event == QKeySequence::Copy)
        copySelection();
    else if (event == QKeySequence::Paste)
        paste();
    else if (event->key() == Qt::Key_D && mods == Qt::ControlModifier)
        duplicateSelection();
    else if (event->key() == Qt::Key_Delete && mods == Qt::NoModifier)
        deleteSelection();
    else if (event->key() == Qt::Key_Left && (mods & ~Qt::ShiftModifier) == 0)
        nudgeSelection(-step, 0);
    else if (event->key() == Qt::Key_Right && (mods & ~Qt::ShiftModifier) == 0)
        nudgeSelection(step, 0);
    else if (event->key() == Qt::Key_Up && (mods & ~Qt::ShiftModifier) == 0)
        nudgeSelection(0, -step);
    else if (event->key() == Qt::Key_Down && (mods & ~Qt::ShiftModifier) == 0)
        nudgeSelection(0, step);
    else
        QWidget::keyPressEvent(event);
}

void MainWindow::nudgeSelection(int dx, int dy)
{
    if (selection_.empty() || edit_.dragActive)
        return;
    design::StepScope step(design_, tr("Nudge"), kNudge);
    for (design::BoxHandle b : selection_) {
        const int pos = design_.findComponentByBox(b);
        if (!pos)
            continue;
        const std::string& rule = design_.componentAt(pos).rule;
        design::ComponentUpdate u;
        u.left = design::ruleNumber(design::readRuleLeft(rule)) + dx;
        u.top = design::ruleNumber(design::readRuleTop(rule)) + dy;
        design_.updateComponent(b, u);
        if (b == design_.selectedBox) {
            leftBox_->setText(QString::number(*u.left));
            topBox_->setText(QString::number(*u.top));
        }
    }
}

void MainWindow::deleteSelection()
{
    if (selection_.empty() || edit_.dragActive)
        return;
    const std::vector<design::BoxHandle> doomed = selection_;
    setSelection({});
    design::StepScope step(design_, tr("Delete"));
    for (design::BoxHandle b : doomed) {
        design_.removeComponentByBox(b);
        canvas_->destroyBox(b);
    }
    clearPropertyPanel();
}

void MainWindow::duplicateSelection()
{
    design::ComponentList copies;
    for (design::BoxHandle b : selection_)
        if (const int pos = design_.findComponentByBox(b))
            copies.push_back(design_.componentAt(pos));
    if (copies.empty())
        return;
    addCopies(copies, 10);
}

void MainWindow::addCopies(const design::ComponentList& items, int offset)
{
    // Copies go on top, shifted so that they do not hide their originals,
    // and become the selection.
    std::vector<design::BoxHandle> made;
    {
        design::StepScope step(design_, tr("Paste"));
        for (const design::Component& item : items) {
            const std::string& rule = item.rule;
            const design::BoxHandle box = canvas_->cloneBox();
            canvas_->showBox(box);
            design_.appendComponent(rule, item.innerText, box);
            design::ComponentUpdate u;
            u.left = design::ruleNumber(design::readRuleLeft(rule)) + offset;
            u.top = design::ruleNumber(design::readRuleTop(rule)) + offset;
            design_.updateComponent(box, u);
            made.push_back(box);
        }
    }
    setSelection(made);
    refillPanel();
}

void MainWindow::copySelection()
{
    design::ComponentList list;
    // Document order, whatever the order of selecting.
    for (const design::Component& c : design_.components())
        if (std::find(selection_.begin(), selection_.end(), c.boxHandle) != selection_.end())
            list.push_back(c);
    if (list.empty())
        return;
    design::Design page;
    for (const design::Component& c : list)
        page.appendComponent(c.rule, c.innerText, 0);
    auto* mime = new QMimeData;
    mime->setData(kBoxesMime, QByteArray::fromStdString(design::packComponents(list)));
    // As text, the copied elements' page.
    mime->setText(rt::gbToQString(page.generateDocument()));
    QApplication::clipboard()->setMimeData(mime);
}

void MainWindow::paste()
{
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    if (!mime || !mime->hasFormat(kBoxesMime))
        return;
    const QByteArray data = mime->data(kBoxesMime);
    const auto items = design::unpackComponents(std::string_view(data.constData(), std::size_t(data.size())));
    if (items && !items->empty())
        addCopies(*items, 10);
}

void MainWindow::bringToFront()
{
    restack(true);
}

void MainWindow::sendToBack()
{
    restack(false);
}

void MainWindow::restack(bool toFront)
{
    std::vector<int> chosen, others;
    for (int i = 1; i <= design_.componentCount(); ++i) {
        const design::BoxHandle b = design_.componentAt(i).boxHandle;
        (std::find(selection_.begin(), selection_.end(), b) != selection_.end() ? chosen : others)
            .push_back(i);
    }
    if (chosen.empty())
        return;
    std::vector<int> order = toFront ? others : chosen;
    const std::vector<int>& tail = toFront ? chosen : others;
    order.insert(order.end(), tail.begin(), tail.end());
    design_.reorder(order);
    // The moved Components have new boxes; select them again.
    std::vector<design::BoxHandle> boxes;
    const int first = toFront ? int(others.size()) + 1 : 1;
    for (int i = 0; i < int(chosen.size()); ++i)
        boxes.push_back(design_.componentAt(first + i).boxHandle);
    setSelection(boxes);
}

}  // namespace designer
