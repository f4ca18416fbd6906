#include "design/snapindex.h"

#include <algorithm>
#include <cstdlib>

namespace design {

void SnapIndex::build(const std::vector<BoxGeometry>& boxes, int canvasWidth, int canvasHeight)
{
    x_ = Axis{{}, canvasWidth};
    y_ = Axis{{}, canvasHeight};
    x_.boxLines.reserve(boxes.size() * 3);
    y_.boxLines.reserve(boxes.size() * 3);
    for (const BoxGeometry& b : boxes) {
        x_.boxLines.insert(x_.boxLines.end(), {b.left, b.left + b.width / 2, b.left + b.width});
        y_.boxLines.insert(y_.boxLines.end(), {b.top, b.top + b.height / 2, b.top + b.height});
    }
    for (std::vector<int>* v : {&x_.boxLines, &y_.boxLines}) {
        std::sort(v->begin(), v->end());
        v->erase(std::unique(v->begin(), v->end()), v->end());
    }
}

std::optional<SnapIndex::Snap> SnapIndex::Axis::snap(const std::vector<int>& edges,
                                                     std::optional<int> centre, int range) const
{
    std::optional<Snap> best;
    auto consider = [&](int line, int m) {
        const int d = line - m;
        if (std::abs(d) <= range && (!best || std::abs(d) < std::abs(best->offset)))
            best = Snap{d, line};
    };
    auto againstBoxes = [&](int m) {
        const auto it = std::lower_bound(boxLines.begin(), boxLines.end(), m);
        if (it != boxLines.end())
            consider(*it, m);
        if (it != boxLines.begin())
            consider(*(it - 1), m);
    };
    for (int m : edges) {
        againstBoxes(m);
        consider(0, m);
        consider(canvasEnd, m);
    }
    if (centre)
        againstBoxes(*centre);
    return best;
}

std::optional<SnapIndex::Snap> SnapIndex::snapX(const std::vector<int>& edges, std::optional<int> centre,
                                                int range) const
{
    return x_.snap(edges, centre, range);
}

std::optional<SnapIndex::Snap> SnapIndex::snapY(const std::vector<int>& edges, std::optional<int> centre,
                                                int range) const
{
    return y_.snap(edges, centre, range);
}

}  // namespace design
