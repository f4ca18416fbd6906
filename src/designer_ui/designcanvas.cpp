#include "designer_ui/designcanvas.h"

#include "design/design.h"
#include "design/rule.h"
#include "runtime/textcodec.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

namespace designer {

namespace {

constexpr int kHandle = 7;

// One guide line: a thin window of its own over the canvas, taking no
// input. As a child widget, each time it appeared, moved or went, the boxes
// under its strip had to be repainted (in a dense design hundreds of them);
// a window of its own leaves the canvas's pixels as they are.
class GuideLine : public QWidget {
public:
    explicit GuideLine(QWidget* canvas)
        : QWidget(canvas, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput
                              | Qt::WindowDoesNotAcceptFocus)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_OpaquePaintEvent);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(0xE0, 0x30, 0x90)); }
};

}  // namespace

DesignCanvas::DesignCanvas(QWidget* parent) : QGroupBox(parent)
{
    labelFont_ = font();
    labelFont_.setPixelSize(10);

    prototype_ = new CanvasBox(this, 0);
    prototype_->setObjectName(QStringLiteral("外形框_母体"));
    prototype_->setGeometry(16, 24, 100, 60);
    prototype_->hide();
    guideLineX_ = new GuideLine(this);
    guideLineY_ = new GuideLine(this);
    band_ = new QRubberBand(QRubberBand::Rectangle, this);
    hbar_ = new QScrollBar(Qt::Horizontal, this);
    vbar_ = new QScrollBar(Qt::Vertical, this);
    for (QScrollBar* bar : {hbar_, vbar_}) {
        bar->hide();
        connect(bar, &QScrollBar::valueChanged, this, [this] { scrollTo(QPoint(hbar_->value(), vbar_->value())); });
    }
}

void DesignCanvas::scheduleScrollRange()
{
    // Once per turn of the event loop: a drag moves boxes on every mouse
    // event, and the range needs every box.
    if (rangePending_)
        return;
    rangePending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (rangePending_)
            updateScrollRange();
    });
}

void DesignCanvas::updateScrollRange()
{
    rangePending_ = false;
    int right = 0, bottom = 0;
    for (const auto& [handle, b] : boxes_) {
        if (b->isHidden())
            continue;
        const QRect g = b->geometry().translated(offset_);
        right = std::max(right, g.x() + g.width());
        bottom = std::max(bottom, g.y() + g.height());
    }
    // A bar takes its breadth from the other direction's room.
    const int breadth = hbar_->sizeHint().height();
    bool needH = right > width();
    bool needV = bottom > height();
    needV = needV || (needH && bottom > height() - breadth);
    needH = needH || (needV && right > width() - breadth);
    const int roomW = std::max(0, width() - (needV ? breadth : 0));
    const int roomH = std::max(0, height() - (needH ? breadth : 0));
    hbar_->setGeometry(0, height() - breadth, roomW, breadth);
    vbar_->setGeometry(width() - breadth, 0, breadth, roomH);
    hbar_->setRange(0, needH ? right - roomW : 0);
    vbar_->setRange(0, needV ? bottom - roomH : 0);
    hbar_->setPageStep(std::max(1, roomW));
    vbar_->setPageStep(std::max(1, roomH));
    hbar_->setSingleStep(20);
    vbar_->setSingleStep(20);
    hbar_->setVisible(needH);
    vbar_->setVisible(needV);
    // Over the boxes, also over those made since.
    if (boxesMade_) {
        boxesMade_ = false;
        if (needH)
            hbar_->raise();
        if (needV)
            vbar_->raise();
    }
}

void DesignCanvas::scrollTo(QPoint offset)
{
    const QPoint delta = offset - offset_;
    if (delta.isNull())
        return;
    offset_ = offset;
    for (const auto& [handle, b] : boxes_)
        b->move(b->pos() - delta);
    // Guides show only during a drag, which scrolling does not happen in;
    // the next move places them again.
    guideLineX_->hide();
    guideLineY_->hide();
}

void DesignCanvas::wheelEvent(QWheelEvent* event)
{
    // Vertical unless Shift is held or the wheel turns sideways.
    QPoint steps = event->angleDelta();
    if (event->modifiers() & Qt::ShiftModifier)
        steps = QPoint(steps.y(), steps.x());
    QScrollBar* bar = std::abs(steps.x()) > std::abs(steps.y()) ? hbar_ : vbar_;
    const int delta = std::abs(steps.x()) > std::abs(steps.y()) ? steps.x() : steps.y();
    if (!bar->isVisible() || delta == 0) {
        event->ignore();
        return;
    }
    bar->setValue(bar->value() - delta * bar->singleStep() * 3 / 120);
}

void DesignCanvas::resizeEvent(QResizeEvent* event)
{
    QGroupBox::resizeEvent(event);
    updateScrollRange();
}

Qt::Edges DesignCanvas::edgesAt(QSize box, QPoint p)
{
    auto zone = [](int v, int size) {
        if (v < kHandle)
            return -1;
        if (v >= size - kHandle)
            return 1;
        return (std::abs(v - size / 2) <= kHandle / 2) ? 0 : 2;  // 2: no handle here
    };
    const int zx = zone(p.x(), box.width());
    const int zy = zone(p.y(), box.height());
    if (zx == 2 || zy == 2 || (zx == 0 && zy == 0))
        return {};
    Qt::Edges e;
    if (zx == -1)
        e |= Qt::LeftEdge;
    if (zx == 1)
        e |= Qt::RightEdge;
    if (zy == -1)
        e |= Qt::TopEdge;
    if (zy == 1)
        e |= Qt::BottomEdge;
    return e;
}

void DesignCanvas::setGuide(Qt::Orientation orientation, std::optional<Guide> guide)
{
    const bool vertical = orientation == Qt::Vertical;
    QWidget* line = vertical ? guideLineX_ : guideLineY_;
    (vertical ? guideX_ : guideY_) = guide ? std::optional<int>(guide->at) : std::nullopt;
    if (!guide) {
        line->hide();
        return;
    }
    const int length = std::max(1, guide->to - guide->from);
    // Within the canvas's visible area, in screen coordinates.
    const QRect onCanvas = (vertical ? QRect(guide->at, guide->from, 1, length)
                                     : QRect(guide->from, guide->at, length, 1))
                               .translated(-offset_)
                               .intersected(rect());
    if (onCanvas.isEmpty()) {
        line->hide();
        return;
    }
    line->setGeometry(QRect(mapToGlobal(onCanvas.topLeft()), onCanvas.size()));
    if (line->isHidden())
        line->show();
    // Drawn now, with the move that placed it.
    QCoreApplication::sendPostedEvents(line, QEvent::UpdateRequest);
}

void DesignCanvas::mousePressEvent(QMouseEvent* event)
{
    // A press on the empty canvas starts a rubber band.
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    bandOrigin_ = event->position().toPoint();
    band_->setGeometry(QRect(bandOrigin_, QSize()));
    band_->show();
    band_->raise();
}

void DesignCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if (!band_->isVisible()) {
        event->ignore();  // the window's own drag handling sees it
        return;
    }
    band_->setGeometry(QRect(bandOrigin_, event->position().toPoint()).normalized());
}

void DesignCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (!band_->isVisible() || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    band_->hide();
    const QRect r = QRect(bandOrigin_, event->position().toPoint()).normalized();
    // A click without a drag is no band; it clears the selection.
    if (r.width() > 2 || r.height() > 2)
        emit bandSelected(r.translated(offset_));
    else if (!(event->modifiers() & Qt::ControlModifier))
        emit emptyCanvasClicked();
}

DesignCanvas::~DesignCanvas() = default;

void DesignCanvas::setDesign(const design::Design* design)
{
    disconnect(selectionWatch_);
    design_ = design;
    if (!design)
        return;
    // Boxes that gained or lost their mark, or their handles, are repainted.
    const design::Selection* selection = &design->selection();
    selectionWatch_ = connect(selection, &design::Selection::changed, this,
                              [this, selection](const std::vector<design::BoxHandle>& previous) {
                                  for (design::BoxHandle b : previous)
                                      refreshBox(b);
                                  for (design::BoxHandle b : *selection)
                                      refreshBox(b);
                              });
}

bool DesignCanvas::isSelected(design::BoxHandle box) const
{
    return design_ && design_->selection().contains(box);
}

design::BoxHandle DesignCanvas::handleBox() const
{
    return design_ ? design_->selection().onlyBox() : 0;
}

void DesignCanvas::stackBoxUnder(design::BoxHandle handle, design::BoxHandle above)
{
    CanvasBox* b = box(handle);
    CanvasBox* a = box(above);
    if (b && a)
        b->stackUnder(a);
}

design::BoxHandle DesignCanvas::issueHandle()
{
    // Nonzero and unused; handles are not reused while the counter lasts.
    do {
        ++lastHandle_;
    } while (lastHandle_ == 0 || boxes_.count(lastHandle_));
    return lastHandle_;
}

design::BoxHandle DesignCanvas::cloneBox()
{
    const design::BoxHandle handle = issueHandle();
    auto* b = new CanvasBox(this, handle);
    b->setGeometry(prototype_->geometry().translated(-offset_));
    b->hide();
    boxes_.emplace(handle, b);
    boxesMade_ = true;
    scheduleScrollRange();
    return handle;
}

CanvasBox* DesignCanvas::box(design::BoxHandle handle) const
{
    auto it = boxes_.find(handle);
    return it == boxes_.end() ? nullptr : it->second;
}

void DesignCanvas::setBoxGeometry(design::BoxHandle handle, int left, int top, int width,
                                  int height)
{
    if (CanvasBox* b = box(handle)) {
        // A size of 0 or less hides the box's area but keeps the box.
        b->setGeometry(left - offset_.x(), top - offset_.y(), std::max(0, width), std::max(0, height));
        b->update();  // the label may have changed even when the geometry did not
        scheduleScrollRange();
    }
}

void DesignCanvas::showBox(design::BoxHandle handle)
{
    if (CanvasBox* b = box(handle)) {
        b->show();
        scheduleScrollRange();
    }
}

void DesignCanvas::destroyBox(design::BoxHandle handle)
{
    auto it = boxes_.find(handle);
    if (it == boxes_.end())
        return;
    CanvasBox* b = it->second;
    boxes_.erase(it);
    // The box may be the receiver of the event being handled (a double-click
    // deletes the clicked box), so it goes once control is back in the loop.
    b->hide();
    b->deleteLater();
    scheduleScrollRange();
}

design::BoxGeometry DesignCanvas::prototypeGeometry() const
{
    const QRect g = prototype_->geometry();
    return {g.x(), g.y(), g.width(), g.height()};
}

void DesignCanvas::refreshBox(design::BoxHandle handle)
{
    if (CanvasBox* b = box(handle))
        b->update();
}

CanvasBox::CanvasBox(DesignCanvas* canvas, design::BoxHandle handle)
    : QWidget(canvas), canvas_(canvas), handle_(handle)
{
    // Not marked opaque on purpose: with a thousand opaque siblings every
    // repaint would first merge all their rectangles into one region.
}

void CanvasBox::paintEvent(QPaintEvent*)
{
    const bool selected = handle_ != 0 && canvas_->isSelected(handle_);
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, selected ? QColor(0xDD, 0xEB, 0xFF) : QColor(0xF7, 0xF7, 0xF7));
    p.setPen(QPen(selected ? QColor(0x1E, 0x64, 0xD2) : QColor(0x70, 0x70, 0x70), 1));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    if (selected)
        p.drawRect(r.adjusted(1, 1, -2, -2));
    if (canvas_->handleBox() == handle_) {
        p.setBrush(Qt::white);
        for (int x : {0, r.width() / 2 - kHandle / 2, r.width() - kHandle})
            for (int y : {0, r.height() / 2 - kHandle / 2, r.height() - kHandle})
                if (x != r.width() / 2 - kHandle / 2 || y != r.height() / 2 - kHandle / 2)
                    p.drawRect(x, y, kHandle - 1, kHandle - 1);
        p.setBrush(Qt::NoBrush);
    }

    QString source;
    const design::Design* d = canvas_->design();
    if (const int pos = d ? d->findComponentByBox(handle_) : 0) {
        const std::string& rule = d->componentAt(pos).rule;
        source = rt::gbToQString(design::readRuleTag(rule)) + QLatin1Char('.')
                 + rt::gbToQString(design::readRuleClass(rule));
    }
    if (source.isEmpty())
        return;
    p.setFont(canvas_->labelFont());
    const QRect textArea = r.adjusted(4, 2, -4, -2);
    if (source != labelSource_ || textArea.width() != labelWidth_) {
        labelSource_ = source;
        labelWidth_ = textArea.width();
        label_.setText(p.fontMetrics().elidedText(source, Qt::ElideRight, labelWidth_));
        label_.setTextFormat(Qt::PlainText);
        label_.prepare(QTransform(), canvas_->labelFont());
    }
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.setClipRect(textArea);
    p.drawStaticText(textArea.topLeft(), label_);
}

// The handlers report the cursor's screen position at the time of the event;
// the coordinates within the box do not matter to the editing logic.
void CanvasBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const Qt::Edges edges = canvas_->handleBox() == handle_
                                ? DesignCanvas::edgesAt(size(), event->position().toPoint())
                                : Qt::Edges();
    if (edges)
        emit canvas_->boxHandlePressed(handle_, edges, event->globalPosition().toPoint());
    else
        emit canvas_->boxPressed(handle_, event->globalPosition().toPoint());
}

void CanvasBox::contextMenuEvent(QContextMenuEvent* event)
{
    emit canvas_->boxContextMenu(handle_, event->globalPos());
}

void CanvasBox::mouseMoveEvent(QMouseEvent* event)
{
    emit canvas_->boxMouseMoved(handle_, event->globalPosition().toPoint(), event->modifiers());
}

void CanvasBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit canvas_->boxReleased(handle_, event->globalPosition().toPoint());
}

void CanvasBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit canvas_->boxDoubleClicked(handle_, event->globalPosition().toPoint());
}

}  // namespace designer
