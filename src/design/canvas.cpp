#include "design/canvas.h"

namespace design {

namespace {
Canvas* currentCanvas = nullptr;
}

void setCanvas(Canvas* canvas) { currentCanvas = canvas; }

Canvas* canvas() { return currentCanvas; }

}  // namespace design
