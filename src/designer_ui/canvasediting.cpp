// Mouse editing of the canvas: add, select, drag and delete boxes.
#include "design/component.h"
#include "design/rule.h"
#include "designer_ui/designcanvas.h"
#include "designer_ui/mainwindow.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace designer {

void MainWindow::addNewComponent()
{
    // The new box keeps the prototype's place; nothing gets selected.
    const design::BoxHandle box = canvas_->cloneBox();
    canvas_->showBox(box);
    design::appendComponent(design::buildRule(), std::string(), box);
}

void MainWindow::beginDrag(design::BoxHandle box, QPoint cursor)
{
    if (edit_.deleteMode != 0)
        return;
    edit_.dragBox = box;
    selectBox(box);
    fillPropertyPanel(box);
    edit_.dragActive = 1;

    int boxLeft = 0, boxTop = 0;
    if (const int pos = design::findComponentByBox(box)) {
        const std::string& rule = design::componentAt(pos).rule;
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
    design::ComponentUpdate update;
    update.left = newLeft;
    update.top = newTop;
    design::updateComponent(edit_.dragBox, update);
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
        design::removeComponentByBox(box);
        canvas_->destroyBox(box);
        clearPropertyPanel();
        edit_.deleteMode = 0;
        deleteButton_->setEnabled(true);
    } else {
        selectBox(box);
        fillPropertyPanel(box);
    }
}

}  // namespace designer
