#pragma once
// An in-memory canvas for tests: hands out box handles and records what the
// model asks of each box.
#include "design/design.h"

#include <map>
#include <vector>

namespace design::test {

class FakeCanvas : public Canvas {
public:
    struct Box {
        BoxGeometry geometry;
        bool visible = false;
        int geometryCalls = 0;  // setBoxGeometry calls for this box
    };

    // Installs itself as the design's canvas for its lifetime.
    explicit FakeCanvas(Design& design) : design_(design) { design.setCanvas(this); }
    ~FakeCanvas() override
    {
        if (design_.canvas() == this)
            design_.setCanvas(nullptr);
    }
    FakeCanvas(const FakeCanvas&) = delete;
    FakeCanvas& operator=(const FakeCanvas&) = delete;

    BoxHandle cloneBox() override
    {
        const BoxHandle h = nextHandle_++;
        boxes[h] = Box{prototype, false, 0};
        return h;
    }
    void setBoxGeometry(BoxHandle box, int left, int top, int width, int height) override
    {
        ++geometryCalls;
        auto it = boxes.find(box);
        if (it == boxes.end())
            return;
        it->second.geometry = {left, top, width, height};
        ++it->second.geometryCalls;
    }
    void showBox(BoxHandle box) override
    {
        if (auto it = boxes.find(box); it != boxes.end())
            it->second.visible = true;
    }
    void destroyBox(BoxHandle box) override
    {
        destroyed.push_back(box);
        boxes.erase(box);
    }
    BoxGeometry prototypeGeometry() const override { return prototype; }

    // Geometry of a live box; {-1,-1,-1,-1} when there is no such box.
    BoxGeometry geometryOf(BoxHandle box) const
    {
        auto it = boxes.find(box);
        return it == boxes.end() ? BoxGeometry{-1, -1, -1, -1} : it->second.geometry;
    }
    bool isVisible(BoxHandle box) const
    {
        auto it = boxes.find(box);
        return it != boxes.end() && it->second.visible;
    }

    BoxGeometry prototype{16, 24, 100, 60};
    std::map<BoxHandle, Box> boxes;       // live boxes
    std::vector<BoxHandle> destroyed;     // in the order they were destroyed
    int geometryCalls = 0;                // all setBoxGeometry calls, live box or not

private:
    Design& design_;
    BoxHandle nextHandle_ = 0x1000;
};

}  // namespace design::test
