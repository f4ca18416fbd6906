#pragma once
// Applying a pasted block of style code to the selected Component.
#include <string>

namespace design {

// Design::importStyleCode sets tag, class name, the geometry the code states
// and, when it holds any, the extra declarations of the Component named by
// selectedBox. The inner text is kept. Does nothing to the design when no
// Component is selected.

}  // namespace design
