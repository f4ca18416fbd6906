#pragma once
// DesignCanvas: the inner frame of the drawing area. It owns the canvas boxes
// (one per Component, cloned from the hidden prototype box), issues their
// handles and reports mouse events on them. It implements the canvas seam of
// the design model; it never changes the model itself.
#include "design/canvas.h"

namespace design {
class Design;
}

#include <QFont>
#include <QGroupBox>
#include <QRubberBand>
#include <QScrollBar>
#include <QPoint>
#include <QStaticText>

#include <optional>

#include <unordered_map>
#include <vector>

namespace designer {

class CanvasBox;

class DesignCanvas : public QGroupBox, public design::Canvas {
    Q_OBJECT
public:
    explicit DesignCanvas(QWidget* parent = nullptr);
    ~DesignCanvas() override;

    // design::Canvas
    design::BoxHandle cloneBox() override;
    void setBoxGeometry(design::BoxHandle box, int left, int top, int width, int height) override;
    void showBox(design::BoxHandle box) override;
    void destroyBox(design::BoxHandle box) override;
    design::BoxGeometry prototypeGeometry() const override;

    void stackBoxUnder(design::BoxHandle box, design::BoxHandle above) override;

    // The design whose Components the boxes show: labels are read from it,
    // and the boxes of its selection are drawn as selected, repainted as
    // the selection changes.
    void setDesign(const design::Design* design);
    const design::Design* design() const { return design_; }
    bool isSelected(design::BoxHandle box) const;
    // The box that shows resize handles (the only selected one), 0 for none.
    design::BoxHandle handleBox() const;
    // Which edges a point inside a box grabs: a handle is the 7 x 7 square at
    // a corner or the middle of a side. None outside the handles.
    static Qt::Edges edgesAt(QSize box, QPoint local);

    // A guide line over the boxes: vertical at x = `at` from y = `from` to
    // `to`, or horizontal at y = `at`; nullopt hides it.
    struct Guide {
        int at, from, to;
    };
    void setGuide(Qt::Orientation orientation, std::optional<Guide> guide);
    std::optional<int> guideX() const { return guideX_; }
    std::optional<int> guideY() const { return guideY_; }

    // The widget of a box; nullptr for a handle this canvas did not issue or
    // has destroyed.
    CanvasBox* box(design::BoxHandle handle) const;
    int boxCount() const { return int(boxes_.size()); }
    // Repaints one box (its selection mark or label changed).
    void refreshBox(design::BoxHandle handle);

    const QFont& labelFont() const { return labelFont_; }

    // Scrolling to the content. Boxes keep their rule's coordinates; while the
    // canvas is scrolled they are drawn shifted by the scroll offset, and the
    // bars appear when boxes reach past the right or bottom edge.
    QPoint scrollOffset() const { return offset_; }
    QScrollBar* horizontalBar() const { return hbar_; }
    QScrollBar* verticalBar() const { return vbar_; }
    // Fits the bars to the boxes now; otherwise that happens once control is
    // back in the event loop after boxes moved, came or went.
    void updateScrollRange();

signals:
    // Mouse events on a box; the point is the cursor's screen position.
    void boxPressed(design::BoxHandle box, QPoint cursor);
    void boxMouseMoved(design::BoxHandle box, QPoint cursor, Qt::KeyboardModifiers modifiers);
    void boxReleased(design::BoxHandle box, QPoint cursor);
    void boxDoubleClicked(design::BoxHandle box, QPoint cursor);
    // A press on a resize handle of the handle box.
    void boxHandlePressed(design::BoxHandle box, Qt::Edges edges, QPoint cursor);
    void boxContextMenu(design::BoxHandle box, QPoint cursor);
    // A rubber band drawn over the empty canvas, in the boxes' coordinates.
    void bandSelected(QRect band);
    // A click on the empty canvas without Ctrl.
    void emptyCanvasClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class CanvasBox;
    design::BoxHandle issueHandle();
    void scheduleScrollRange();
    void scrollTo(QPoint offset);

    CanvasBox* prototype_ = nullptr;
    std::unordered_map<design::BoxHandle, CanvasBox*> boxes_;
    design::BoxHandle lastHandle_ = 0;
    QFont labelFont_;
    const design::Design* design_ = nullptr;
    QMetaObject::Connection selectionWatch_;
    QWidget* guideLineX_ = nullptr;
    QWidget* guideLineY_ = nullptr;
    std::optional<int> guideX_, guideY_;
    QRubberBand* band_ = nullptr;
    QPoint bandOrigin_;
    QScrollBar* hbar_ = nullptr;
    QScrollBar* vbar_ = nullptr;
    QPoint offset_;
    bool rangePending_ = false;
    bool boxesMade_ = false;  // boxes made since the bars were last raised
};

// One canvas box: a plain rectangle showing its bounds, marked when selected,
// with the Component's tag and class in small print, read from the model at
// paint time.
class CanvasBox : public QWidget {
    Q_OBJECT
public:
    CanvasBox(DesignCanvas* canvas, design::BoxHandle handle);
    design::BoxHandle handle() const { return handle_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    DesignCanvas* canvas_;
    design::BoxHandle handle_;
    // The label as last laid out; shaping text is the costly part of a
    // repaint, and overlapping boxes are repainted on every drag step.
    QString labelSource_;
    int labelWidth_ = -1;
    QStaticText label_;
};

}  // namespace designer
