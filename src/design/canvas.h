#pragma once
// The seam between the design model and whatever draws it. The model never
// touches widgets: it asks the canvas for boxes and tells it where they go.
#include <cstdint>

namespace design {

using BoxHandle = std::uint32_t;  // 0 = no box

struct BoxGeometry {
    int left = 0, top = 0, width = 0, height = 0;
};

class Canvas {
public:
    virtual ~Canvas() = default;
    // Clones the hidden prototype box into the canvas (hidden, prototype
    // geometry) and answers its new nonzero handle.
    virtual BoxHandle cloneBox() = 0;
    // Moves and sizes a box, relative to the canvas, and repaints it. Values
    // are used as given (no clamping).
    virtual void setBoxGeometry(BoxHandle box, int left, int top, int width, int height) = 0;
    virtual void showBox(BoxHandle box) = 0;
    virtual void destroyBox(BoxHandle box) = 0;
    // Geometry of the prototype box (design-time 16, 24, 100, 60).
    virtual BoxGeometry prototypeGeometry() const = 0;
    // Puts a box just below another one, so that boxes overlap in list
    // order after a Component comes back in the middle of the list.
    virtual void stackBoxUnder(BoxHandle /*box*/, BoxHandle /*above*/) {}
};

// The prototype's design-time geometry, for a design without a canvas.
inline constexpr BoxGeometry kPrototypeGeometry{16, 24, 100, 60};

}  // namespace design
