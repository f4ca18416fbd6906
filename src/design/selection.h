#pragma once
// The selected boxes of a design. One object holds them; the canvas draws its
// marks from it, the property panel shows what it names and the model applies
// style code and restores it after undo.
#include "design/canvas.h"

#include <QObject>

#include <cstddef>
#include <unordered_set>
#include <vector>

namespace design {

class Selection : public QObject {
    Q_OBJECT
public:
    explicit Selection(QObject* parent = nullptr) : QObject(parent) {}

    // In the order they were selected; the last one is `selectedBox`.
    const std::vector<BoxHandle>& boxes() const { return boxes_; }
    // The box the property panel shows and style code applies to, 0 for none.
    BoxHandle selectedBox() const { return boxes_.empty() ? 0 : boxes_.back(); }
    // The only selected box, 0 unless exactly one is selected.
    BoxHandle onlyBox() const { return boxes_.size() == 1 ? boxes_.front() : 0; }
    // Constant time: boxes are asked one by one as they paint.
    bool contains(BoxHandle box) const { return members_.count(box) != 0; }
    bool empty() const { return boxes_.empty(); }
    std::size_t size() const { return boxes_.size(); }
    auto begin() const { return boxes_.begin(); }
    auto end() const { return boxes_.end(); }

    // Makes `boxes` the selection, the last one selectedBox; handle 0 and
    // repeats are dropped (the last place counts).
    void setBoxes(std::vector<BoxHandle> boxes);
    // Just this box; nothing for 0.
    void selectOnly(BoxHandle box);
    // Adds the box at the end, or takes it out when it is selected.
    void toggle(BoxHandle box);
    // Makes an already selected box the last one (the one a drag follows).
    void makeLast(BoxHandle box);
    void selectNone() { setBoxes({}); }

signals:
    // The selection differs from `previous`; boxes in either may need a
    // new mark.
    void changed(const std::vector<BoxHandle>& previous);

private:
    std::vector<BoxHandle> boxes_;
    std::unordered_set<BoxHandle> members_;
};

}  // namespace design
