#pragma once
// The open design: an ordered list of Components, plus the selection.
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

using ComponentList = std::vector<Component>;

// Process-wide design state, touched on the UI thread only.
ComponentList& components();
extern BoxHandle selectedBox;
extern std::string pendingStyleCode;

int componentCount();
void appendComponent(const std::string& rule, const std::string& innerText, BoxHandle boxHandle);
// 1-based position of the first Component with this box, 0 when none.
int findComponentByBox(BoxHandle handle);
// The Component at a 1-based position (valid for 1..componentCount()).
Component& componentAt(int position);
void removeComponentByBox(BoxHandle handle);
void clearComponents();
// Creates a fully specified Component with a visible canvas box; returns the box.
BoxHandle createComponentWithBox(const std::string& tag, const std::string& className, int left,
                                 int top, int width, int height, const std::string& extra,
                                 const std::string& innerText);

}  // namespace design
