#include "designer_ui/designcanvas.h"

#include "design/design.h"
#include "design/rule.h"
#include "runtime/textcodec.h"

#include <QMouseEvent>
#include <QPainter>

namespace designer {

DesignCanvas::DesignCanvas(QWidget* parent) : QGroupBox(parent)
{
    labelFont_ = font();
    labelFont_.setPixelSize(10);

    prototype_ = new CanvasBox(this, 0);
    prototype_->setObjectName(QStringLiteral("外形框_母体"));
    prototype_->setGeometry(16, 24, 100, 60);
    prototype_->hide();
}

DesignCanvas::~DesignCanvas() = default;

void DesignCanvas::setSelection(const std::vector<design::BoxHandle>& boxes)
{
    selected_ = std::unordered_set<design::BoxHandle>(boxes.begin(), boxes.end());
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
    b->setGeometry(prototype_->geometry());
    b->hide();
    boxes_.emplace(handle, b);
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
        b->setGeometry(left, top, std::max(0, width), std::max(0, height));
        b->update();  // the label may have changed even when the geometry did not
    }
}

void DesignCanvas::showBox(design::BoxHandle handle)
{
    if (CanvasBox* b = box(handle))
        b->show();
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
    if (event->button() == Qt::LeftButton)
        emit canvas_->boxPressed(handle_, event->globalPosition().toPoint());
}

void CanvasBox::mouseMoveEvent(QMouseEvent* event)
{
    emit canvas_->boxMouseMoved(handle_, event->globalPosition().toPoint());
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
