#include "design/selection.h"

#include <algorithm>

namespace design {

void Selection::setBoxes(std::vector<BoxHandle> boxes)
{
    std::erase(boxes, BoxHandle(0));
    std::unordered_set<BoxHandle> members;
    members.reserve(boxes.size());
    // A repeated box keeps its last place, so selectedBox stays the last one named.
    std::vector<BoxHandle> unique;
    unique.reserve(boxes.size());
    for (auto it = boxes.rbegin(); it != boxes.rend(); ++it)
        if (members.insert(*it).second)
            unique.push_back(*it);
    std::reverse(unique.begin(), unique.end());
    if (unique == boxes_)
        return;
    std::vector<BoxHandle> previous = std::move(boxes_);
    boxes_ = std::move(unique);
    members_ = std::move(members);
    emit changed(previous);
}

void Selection::selectOnly(BoxHandle box)
{
    setBoxes(box ? std::vector<BoxHandle>{box} : std::vector<BoxHandle>{});
}

void Selection::toggle(BoxHandle box)
{
    std::vector<BoxHandle> boxes = boxes_;
    if (std::erase(boxes, box) == 0)
        boxes.push_back(box);
    setBoxes(std::move(boxes));
}

void Selection::makeLast(BoxHandle box)
{
    std::vector<BoxHandle> boxes = boxes_;
    std::erase(boxes, box);
    boxes.push_back(box);
    setBoxes(std::move(boxes));
}

}  // namespace design
