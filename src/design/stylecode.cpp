#include "design/stylecode.h"

#include "design/design.h"
#include "design/rule.h"

namespace design {

void Design::importStyleCode(const std::string& code)
{
    const int pos = findComponentByBox(selectedBox);
    const std::string cur = pos > 0 ? componentAt(pos).rule : std::string();

    ComponentUpdate u;
    const std::string t = collapseLineBreaks(trimSpaces(code));
    if (!t.empty() && t.front() == '#') {
        u.className = textBetween(t, "#", " {");
        u.tag = "div";
    } else {
        u.tag = readRuleTag(code);
        u.className = readRuleClass(code);
    }

    auto geometry = [&](std::string (*reader)(std::string_view)) {
        std::string v = reader(code);
        if (v.empty())
            v = reader(cur);
        return ruleNumber(v);
    };
    u.left = geometry(readRuleLeft);
    u.top = geometry(readRuleTop);
    u.width = geometry(readRuleWidth);
    u.height = geometry(readRuleHeight);

    std::string extra = extractExtraDeclarations(code);
    if (extra.empty())
        extra = readRuleExtra(cur);
    u.extra = std::move(extra);

    StepScope step(*this, tr("Style code"));
    updateComponent(selectedBox, u);
}

}  // namespace design
