#pragma once
// MainWindow: the operations group, the property panel and the drawing area
// with DesignCanvas. The panel shows and edits the selected Component; the
// canvas is edited with the mouse (add, select, drag, delete) and the
// keyboard. The window holds the open design.
#include "design/canvas.h"
#include "design/design.h"
#include "design/snapindex.h"

#include <QPoint>
#include <QSize>
#include <QWidget>

#include <string>
#include <utility>
#include <vector>

class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace designer {

class DesignCanvas;

// Mouse-editing state of the canvas.
struct EditState {
    int dragActive = 0;             // 1 while a box is being dragged
    design::BoxHandle dragBox = 0;  // the box being dragged
    int dragOffsetX = 0;            // cursor x - window left - box left, at drag start
    int dragOffsetY = 0;            // cursor y - window top - box top, at drag start
    int deleteMode = 0;             // 1 while the next double-click on a box deletes it
};

class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // --- Geometry, for windows that follow this one (the live preview) ---
    DesignCanvas* designCanvas() const { return canvas_; }
    // DesignCanvas's current size (its outer size as a child widget).
    QSize designCanvasSize() const;
    // This window's outer rectangle (frame included), screen pixels.
    QRect outerGeometry() const;

    // The open design.
    design::Design& design() { return design_; }
    const design::Design& design() const { return design_; }
    // The design's selected boxes.
    const design::Selection& selection() const { return design_.selection(); }
    bool isModified() const;

    // --- Property panel ---
    // Shows the Component of the design's selectedBox; empty boxes when it
    // names none. Callers change the selection first. Filling never edits.
    void fillPropertyPanel();
    // Empties all eight edit boxes. Callers empty the selection first.
    void clearPropertyPanel();

    // --- Canvas editing. Cursor positions are screen positions. ---
    void addNewComponent();
    void beginDrag(design::BoxHandle box, QPoint cursor);
    // `fromMainWindow`: the move came from the window itself rather than a
    // box, and counts only while the cursor lies inside the canvas area.
    void continueDrag(QPoint cursor, bool fromMainWindow);
    void endDrag();
    // Resizing the selected box by its handles; moves go through continueDrag.
    void beginResize(design::BoxHandle box, Qt::Edges edges, QPoint cursor);
    // Snapping of drags and resizes to the other boxes and the canvas edges.
    // Alt or Ctrl held during a move turns it off for that move: window
    // managers take Alt+drag for themselves, and Ctrl at the press selects.
    static constexpr int kSnapRange = 5;
    void setSnapping(bool on) { snapping_ = on; }
    void enterDeleteMode();
    void deleteOrSelectBox(design::BoxHandle box);
    const EditState& editState() const { return edit_; }

    // --- Keyboard editing of the selection ---
    // Moves the selected boxes; bursts of nudges are one undo step.
    void nudgeSelection(int dx, int dy);
    void deleteSelection();
    void duplicateSelection();
    void copySelection();
    void paste();
    void bringToFront();
    void sendToBack();
    // Selects the boxes that meet a rectangle of the canvas.
    void selectInRect(QRect canvasRect);
    // Nothing selected, the panel empty (Esc, a click on the empty canvas).
    void clearSelection();
    enum class Align { Left, Right, Top, Bottom, CentreX, CentreY };
    void alignSelection(Align how);
    // Equal gaps between the selected boxes, the outer two staying put.
    void distributeSelection(Qt::Orientation orientation);

    // --- Button flows ---
    // "生成"; answers whether the page was written.
    bool saveDocument();
    void importDocument();  // "读入"
    void importCode();      // "导入代码"

signals:
    // "开启实时预览" / "关闭实时预览" were clicked.
    void previewOpenRequested();
    void previewCloseRequested();
    // The window's size changed and the drawing area and DesignCanvas have
    // been laid out anew.
    void canvasLaidOut();
    // The window moved, or was minimised, maximised or restored.
    void geometryFollowNeeded();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void buildControls();
    // The two places where this window's placement is handled.
    void onSizeChanged();
    void onPlacementChanged();

    // The panel for the selection: one box's values, or with several the
    // values they share, the others shown as mixed.
    void refillPanel();
    // A field whose value differs between the selected boxes: empty, with a
    // hint; Enter there without typing changes nothing.
    void setMixed(QWidget* field, bool mixed);
    bool isMixed(const QWidget* field) const;
    std::vector<QWidget*> panelFields() const;
    // Appends copies of Components moved by `offset` pixels, as one step,
    // and selects them.
    void addCopies(const design::ComponentList& items, int offset);
    void restack(bool toFront);
    // The focus is in one of the panel's edit boxes.
    bool editingText() const;
    void updateCaption();
    void buildActions();
    void commitField(QLineEdit* box);
    // The edit behind the entry checks; false when it was changed or refused.
    bool commitChecked(design::ComponentUpdate update, int mergeKey);
    void commitToSelection(const design::ComponentUpdate& update, int mergeKey);
    void commitExtra();
    void commitText();

    QGroupBox* operations_ = nullptr;
    QGroupBox* properties_ = nullptr;
    QGroupBox* drawingArea_ = nullptr;
    DesignCanvas* canvas_ = nullptr;

    QPushButton* addButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    QPushButton* readButton_ = nullptr;
    QPushButton* generateButton_ = nullptr;
    QPushButton* openPreviewButton_ = nullptr;
    QPushButton* closePreviewButton_ = nullptr;
    QPushButton* importCodeButton_ = nullptr;

    QLineEdit* tagBox_ = nullptr;
    QLineEdit* classBox_ = nullptr;
    QLineEdit* leftBox_ = nullptr;
    QLineEdit* topBox_ = nullptr;
    QLineEdit* widthBox_ = nullptr;
    QLineEdit* heightBox_ = nullptr;
    QPlainTextEdit* extraBox_ = nullptr;
    QLineEdit* textBox_ = nullptr;

    EditState edit_;
    design::Design design_;
    // The design's selection; the window changes it, the canvas paints it.
    design::Selection& selection_ = design_.selection();
    // Where each selected box stood when the drag began.
    struct DragStart {
        design::BoxHandle box;
        int left, top;
    };
    std::vector<DragStart> dragStart_;
    Qt::Edges resizeEdges_;           // nonzero while resizing
    design::BoxGeometry resizeStart_;
    QPoint cursorStart_;
    design::SnapIndex snap_;
    bool snapping_ = true;
    Qt::KeyboardModifiers moveModifiers_;  // of the mouse move being handled
    void buildSnapIndex();
    // Snapped offset for lines moving with the cursor (`across`: the moving
    // box's span along those lines); shows or hides the guide.
    int snapped(bool horizontal, const std::vector<int>& edges, std::optional<int> centre,
                std::pair<int, int> across);
    void continueResize(QPoint cursor);
    void showBoxMenu(design::BoxHandle box, QPoint cursor);
    void moveBoxesTo(const std::vector<std::pair<design::BoxHandle, design::BoxGeometry>>& places,
                     const QString& stepText);
    // Set while the panel is being filled: showing values is not editing them.
    bool filling_ = false;
};

}  // namespace designer
