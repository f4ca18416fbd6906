#pragma once
// The open design: its Components, the selection, the pending style code and
// the canvas that shows it. Every change goes through this object, so undo,
// autosave and the preview observe one place.
#include "design/canvas.h"
#include "design/component.h"
#include "design/rule.h"
#include "design/selection.h"
#include "runtime/fileio.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class QUndoStack;

namespace design {

struct Journal;

class Design : public QObject {
    Q_OBJECT
public:
    explicit Design(QObject* parent = nullptr);
    ~Design() override;

    // The canvas that shows the boxes. With none, box operations do nothing
    // and new Components get handle 0.
    void setCanvas(Canvas* canvas) { canvas_ = canvas; }
    Canvas* canvas() const { return canvas_; }
    // The prototype box's geometry, or its design-time values without a canvas.
    BoxGeometry prototypeGeometry() const;

    // --- The list; positions count from 1 ---
    const ComponentList& components() const { return list_; }
    int componentCount() const { return int(list_.size()); }
    // Stores a copy of the texts with a box the caller made.
    void appendComponent(const std::string& rule, const std::string& innerText, BoxHandle boxHandle);
    // Position of the first Component with this box, 0 when none.
    int findComponentByBox(BoxHandle handle) const;
    // The Component at a position (valid for 1..componentCount()).
    const Component& componentAt(int position) const { return list_[std::size_t(position - 1)]; }
    // Removes the Component; its box is left to the caller.
    void removeComponentByBox(BoxHandle handle);
    void clearComponents();
    // The class names of all Components.
    std::unordered_set<std::string> classNamesInUse() const;
    // A fully specified Component with a visible canvas box; returns the box.
    BoxHandle createComponentWithBox(const std::string& tag, const std::string& className, int left,
                                     int top, int width, int height, const std::string& extra,
                                     const std::string& innerText);

    // The single edit path (rule.cpp): texts left empty in `update` receive
    // the current values.
    void updateComponent(BoxHandle boxHandle, ComponentUpdate& update);
    void moveBox(BoxHandle boxHandle, int left, int top, int width, int height);

    // The page (document.cpp) and its file.
    std::string generateDocument() const;
    rt::WriteResult saveDocumentTo(const QString& path) const;

    // Replacing the design by a page (import.cpp).
    void parseDocument(std::string_view doc);
    void importDocumentFrom(const QString& path);

    // Pasted style code onto the selected Component (stylecode.cpp).
    void importStyleCode(const std::string& code);
    std::string importCheckedStyleCode(const std::string& code);

    // Replaces every Component (and its box) by the given ones, as one step.
    void replaceComponents(const ComponentList& list, const QString& stepText);

    // Moves Components to new list positions (which is the page's stacking):
    // `order` lists the current positions (1-based) in their new order.
    void reorder(const std::vector<int>& order);

    // --- Selection ---
    // The selected boxes: the canvas marks them, the property panel shows
    // them, undo and redo restore them.
    Selection& selection() { return selection_; }
    const Selection& selection() const { return selection_; }
    // The Component the property panel shows and style code applies to: the
    // last selected box, 0 when none. Removing or replacing Components leaves
    // it as it is, so it may name no Component.
    BoxHandle selectedBox() const { return selection_.selectedBox(); }
    std::string pendingStyleCode;

    // --- Undo ---
    // Changes between beginStep and the matching endStep form one undo step
    // (steps nest; the outermost one counts). A change made outside any step
    // is a step of its own. Steps with the same nonzero `mergeKey` that touch
    // the same Components in a row merge into one (typing, nudging).
    void beginStep(const QString& text, int mergeKey = 0);
    void endStep();
    bool inStep() const { return depth_ > 0; }
    QUndoStack* undoStack() const { return undo_; }
    // How many steps the history keeps.
    static constexpr int kUndoLimit = 1000;

signals:
    // The Components changed: a step ended, or one was undone or redone.
    void changed();
    // After undo or redo the selection holds the boxes the step touched that
    // still exist (it has announced any change already).
    void selectionRestored();

private:
    friend class StepCommand;
    friend struct StepScope;
    // The three primitive changes; each records its inverse while a step is
    // open. `withBox` makes or destroys the canvas box too.
    void insertAt(std::size_t index, Component c, bool withBox);
    void removeAt(std::size_t index, bool withBox);
    void setAt(std::size_t index, std::string rule, std::string innerText);
    Component& at(int position) { return list_[std::size_t(position - 1)]; }
    BoxHandle makeBox(const std::string& rule, std::size_t index);

    ComponentList list_;
    Selection selection_;
    Canvas* canvas_ = nullptr;
    QUndoStack* undo_ = nullptr;
    int depth_ = 0;
    bool replaying_ = false;
    std::unique_ptr<Journal> open_;
};

// The geometry a rule states (missing values read as 0).
BoxGeometry ruleGeometry(std::string_view rule);

// Opens a step for its lifetime.
struct StepScope {
    StepScope(Design& d, const QString& text, int mergeKey = 0) : design(d) { d.beginStep(text, mergeKey); }
    ~StepScope() { design.endStep(); }
    StepScope(const StepScope&) = delete;
    StepScope& operator=(const StepScope&) = delete;
    Design& design;
};

}  // namespace design
