#pragma once
// One placed element of a design and the ordered list of them.
#include "design/canvas.h"

#include <string>
#include <vector>

namespace design {

// One absolutely positioned element. Texts are GB18030 byte text.
struct Component {
    std::string rule;       // its RuleText, the single source of tag, class and geometry
    std::string innerText;  // written verbatim between the element's tags
    BoxHandle boxHandle = 0;
};

// Document order, which is also the stacking order of the page.
using ComponentList = std::vector<Component>;

}  // namespace design
