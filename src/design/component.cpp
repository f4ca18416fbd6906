#include "design/component.h"

#include "design/rule.h"

#include <algorithm>

namespace design {

ComponentList& components()
{
    static ComponentList list;
    return list;
}

BoxHandle selectedBox = 0;
std::string pendingStyleCode;

int componentCount() { return int(components().size()); }

void appendComponent(const std::string& rule, const std::string& innerText, BoxHandle boxHandle)
{
    components().push_back(Component{rule, innerText, boxHandle});
}

int findComponentByBox(BoxHandle handle)
{
    const ComponentList& list = components();
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].boxHandle == handle)
            return int(i) + 1;
    return 0;
}

Component& componentAt(int position) { return components()[std::size_t(position - 1)]; }

void removeComponentByBox(BoxHandle handle)
{
    const int pos = findComponentByBox(handle);
    if (pos > 0)
        components().erase(components().begin() + (pos - 1));
}

void clearComponents() { components().clear(); }

BoxHandle createComponentWithBox(const std::string& tag, const std::string& className, int left,
                                 int top, int width, int height, const std::string& extra,
                                 const std::string& innerText)
{
    BoxHandle box = 0;
    if (Canvas* c = canvas()) {
        box = c->cloneBox();
        c->setBoxGeometry(box, left, top, width, height);
        c->showBox(box);
    }
    RuleFields fields;
    fields.tag = tag;
    fields.className = className;
    fields.left = left;
    fields.top = top;
    fields.width = width;
    fields.height = height;
    fields.extra = extra;
    components().push_back(Component{buildRule(fields), innerText, box});
    return box;
}

}  // namespace design
