// Mouse editing of the canvas: add, select, drag with snapping, resize by
// the handles, delete.
#include "design/rule.h"
#include "designer_ui/designcanvas.h"
#include "designer_ui/mainwindow.h"
#include "runtime/textcodec.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace designer {

void MainWindow::addNewComponent()
{
    // The new box keeps the prototype's place; nothing gets selected. Its
    // default class name is one no other box uses.
    const design::BoxHandle box = canvas_->cloneBox();
    canvas_->showBox(box);
    design::RuleFields fields;
    fields.className = design::makeUnusedClassName(design_.classNamesInUse());
    design_.appendComponent(design::buildRule(fields, canvas_->prototypeGeometry()), std::string(), box);
}

void MainWindow::beginDrag(design::BoxHandle box, QPoint cursor)
{
    if (edit_.deleteMode != 0)
        return;
    canvas_->setFocus(Qt::MouseFocusReason);
    if (QApplication::keyboardModifiers() & Qt::ControlModifier) {
        // Ctrl+click adds the box to the selection or takes it out; no drag.
        selection_.toggle(box);
        refillPanel();
        return;
    }
    edit_.dragBox = box;
    // Pressing one of several selected boxes moves them all.
    if (selection_.contains(box))
        selection_.makeLast(box);
    else
        selection_.selectOnly(box);
    refillPanel();
    edit_.dragActive = 1;
    design_.beginStep(tr("Move"));

    dragStart_.clear();
    for (design::BoxHandle b : selection_)
        if (const int pos = design_.findComponentByBox(b)) {
            const design::BoxGeometry g = design::ruleGeometry(design_.componentAt(pos).rule);
            dragStart_.push_back({b, g.left, g.top});
        }
    buildSnapIndex();
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

void MainWindow::buildSnapIndex()
{
    // Lines of the boxes that stay put: every box outside the selection.
    std::vector<design::BoxGeometry> still;
    still.reserve(design_.components().size());
    for (const design::Component& c : design_.components())
        if (!selection_.contains(c.boxHandle))
            still.push_back(design::ruleGeometry(c.rule));
    snap_.build(still, canvas_->width(), canvas_->height());
}

int MainWindow::snapped(bool horizontal, const std::vector<int>& edges, std::optional<int> centre,
                        std::pair<int, int> across)
{
    std::optional<design::SnapIndex::Snap> s;
    if (snapping_ && !(moveModifiers_ & (Qt::AltModifier | Qt::ControlModifier)))
        s = horizontal ? snap_.snapX(edges, centre, kSnapRange) : snap_.snapY(edges, centre, kSnapRange);
    // The guide spans the moving box and the boxes it lines up with, not
    // the whole canvas: a shorter line repaints fewer boxes when it goes.
    if (s)
        canvas_->setGuide(horizontal ? Qt::Vertical : Qt::Horizontal,
                          DesignCanvas::Guide{s->line, std::min(s->from, across.first),
                                              std::max(s->to, across.second)});
    else
        canvas_->setGuide(horizontal ? Qt::Vertical : Qt::Horizontal, std::nullopt);
    return s ? s->offset : 0;
}

void MainWindow::beginResize(design::BoxHandle box, Qt::Edges edges, QPoint cursor)
{
    if (edit_.deleteMode != 0 || !edges)
        return;
    const int pos = design_.findComponentByBox(box);
    if (!pos)
        return;
    selection_.selectOnly(box);
    refillPanel();
    edit_.dragActive = 1;
    edit_.dragBox = box;
    resizeEdges_ = edges;
    resizeStart_ = design::ruleGeometry(design_.componentAt(pos).rule);
    cursorStart_ = cursor;
    design_.beginStep(tr("Resize"));
    buildSnapIndex();
}

void MainWindow::continueResize(QPoint cursor)
{
    const QPoint d = cursor - cursorStart_;
    design::BoxGeometry g = resizeStart_;
    // Only the grabbed edges move, and only they snap; a box keeps at least
    // one pixel, its opposite edge staying put.
    auto axis = [this](bool horizontal, int& start, int& extent, int delta, bool startEdge, bool endEdge,
                       std::pair<int, int> across) {
        if (startEdge) {
            const int moved = start + delta;
            const int end = start + extent;
            start = std::min(end - 1, moved + snapped(horizontal, {moved}, std::nullopt, across));
            extent = end - start;
        } else if (endEdge) {
            const int moved = start + extent + delta;
            extent = std::max(1, moved + snapped(horizontal, {moved}, std::nullopt, across) - start);
        } else {
            snapped(horizontal, {}, std::nullopt, across);  // no guide on this axis
        }
    };
    const design::BoxGeometry s = resizeStart_;
    axis(true, g.left, g.width, d.x(), resizeEdges_ & Qt::LeftEdge, resizeEdges_ & Qt::RightEdge,
         {s.top, s.top + s.height});
    axis(false, g.top, g.height, d.y(), resizeEdges_ & Qt::TopEdge, resizeEdges_ & Qt::BottomEdge,
         {s.left, s.left + s.width});
    design::ComponentUpdate u;
    u.left = g.left;
    u.top = g.top;
    u.width = g.width;
    u.height = g.height;
    design_.updateComponent(edit_.dragBox, u);
    leftBox_->setText(QString::number(g.left));
    topBox_->setText(QString::number(g.top));
    widthBox_->setText(QString::number(g.width));
    heightBox_->setText(QString::number(g.height));
    QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
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
    if (resizeEdges_) {
        continueResize(cursor);
        return;
    }
    // The offsets hold the same window terms, so the box follows the
    // cursor's displacement since the drag began.
    int newLeft = cursor.x() - window.x() - edit_.dragOffsetX;
    int newTop = cursor.y() - window.y() - edit_.dragOffsetY;
    // Its edges and centre snap to the lines of the boxes that stay put.
    if (const int pos = design_.findComponentByBox(edit_.dragBox)) {
        const design::BoxGeometry g = design::ruleGeometry(design_.componentAt(pos).rule);
        newLeft += snapped(true, {newLeft, newLeft + g.width}, newLeft + g.width / 2,
                           {newTop, newTop + g.height});
        newTop += snapped(false, {newTop, newTop + g.height}, newTop + g.height / 2,
                          {newLeft, newLeft + g.width});
    }
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
    // All selected boxes move alike, so a field shown as mixed stays mixed.
    if (!isMixed(leftBox_))
        leftBox_->setText(QString::number(newLeft));
    if (!isMixed(topBox_))
        topBox_->setText(QString::number(newTop));
    // Paint what changed now, before the next mouse event is handled.
    QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
}

void MainWindow::endDrag()
{
    if (edit_.dragActive == 1) {
        edit_.dragActive = 0;
        edit_.dragBox = 0;
        resizeEdges_ = {};
        canvas_->setGuide(Qt::Vertical, std::nullopt);
        canvas_->setGuide(Qt::Horizontal, std::nullopt);
        design_.endStep();  // the whole drag or resize is one step
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
        selection_.selectNone();
        design_.removeComponentByBox(box);
        canvas_->destroyBox(box);
        clearPropertyPanel();
        edit_.deleteMode = 0;
        deleteButton_->setEnabled(true);
    } else if (!(QApplication::keyboardModifiers() & Qt::ControlModifier)) {
        selection_.selectOnly(box);
        fillPropertyPanel();
    }
}

}  // namespace designer
