#pragma once
// Snap lines of a canvas: the edges and centres of the boxes that stay put
// and the canvas edges, sorted once when a drag or resize begins, so that
// each mouse move costs a few binary searches whatever the number of boxes.
#include "design/canvas.h"

#include <optional>
#include <vector>

namespace design {

class SnapIndex {
public:
    // Lines of `boxes` (left, centre, right; top, middle, bottom) and of a
    // canvas of the given size (0 and its width; 0 and its height). The
    // canvas edges attract box edges only, not box centres.
    void build(const std::vector<BoxGeometry>& boxes, int canvasWidth, int canvasHeight);

    struct Snap {
        int offset;      // add this to the moving lines
        int line;        // where the guide goes
        int from, to;    // the span the line's boxes cover along it
    };
    // The nearest line to any of the moving `edges` or the moving `centre`
    // within `range` pixels; on a tie the earlier moving line wins.
    std::optional<Snap> snapX(const std::vector<int>& edges, std::optional<int> centre, int range) const;
    std::optional<Snap> snapY(const std::vector<int>& edges, std::optional<int> centre, int range) const;

private:
    struct Line {
        int at, from, to;
    };
    struct Axis {
        std::vector<Line> boxLines;  // sorted by `at`, one entry per position
        int canvasEnd = 0;
        int canvasAcross = 0;  // the canvas's size across the lines
        std::optional<Snap> snap(const std::vector<int>& edges, std::optional<int> centre, int range) const;
    };
    Axis x_, y_;
};

}  // namespace design
