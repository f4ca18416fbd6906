#include "design/snapindex.h"

#include <algorithm>
#include <cstdlib>

namespace design {

void SnapIndex::build(const std::vector<BoxGeometry>& boxes, int canvasWidth, int canvasHeight)
{
    x_ = Axis{{}, canvasWidth, canvasHeight};
    y_ = Axis{{}, canvasHeight, canvasWidth};
    x_.boxLines.reserve(boxes.size() * 3);
    y_.boxLines.reserve(boxes.size() * 3);
    for (const BoxGeometry& b : boxes) {
        for (int at : {b.left, b.left + b.width / 2, b.left + b.width})
            x_.boxLines.push_back({at, b.top, b.top + b.height});
        for (int at : {b.top, b.top + b.height / 2, b.top + b.height})
            y_.boxLines.push_back({at, b.left, b.left + b.width});
    }
    // One entry per position, spanning all boxes that have a line there.
    for (std::vector<Line>* v : {&x_.boxLines, &y_.boxLines}) {
        std::sort(v->begin(), v->end(), [](const Line& a, const Line& b) { return a.at < b.at; });
        std::vector<Line> merged;
        for (const Line& l : *v) {
            if (!merged.empty() && merged.back().at == l.at) {
                merged.back().from = std::min(merged.back().from, l.from);
                merged.back().to = std::max(merged.back().to, l.to);
            } else {
                merged.push_back(l);
            }
        }
        *v = std::move(merged);
    }
}

std::optional<SnapIndex::Snap> SnapIndex::Axis::snap(const std::vector<int>& edges,
                                                     std::optional<int> centre, int range) const
{
    std::optional<Snap> best;
    auto consider = [&](const Line& line, int m) {
        const int d = line.at - m;
        if (std::abs(d) <= range && (!best || std::abs(d) < std::abs(best->offset)))
            best = Snap{d, line.at, line.from, line.to};
    };
    auto againstBoxes = [&](int m) {
        const auto it = std::lower_bound(boxLines.begin(), boxLines.end(), m,
                                         [](const Line& l, int v) { return l.at < v; });
        if (it != boxLines.end())
            consider(*it, m);
        if (it != boxLines.begin())
            consider(*(it - 1), m);
    };
    for (int m : edges) {
        againstBoxes(m);
        consider({0, 0, canvasAcross}, m);
        consider({canvasEnd, 0, canvasAcross}, m);
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
