#include "design/stylecode.h"

#include "design/design.h"
#include "design/entrycheck.h"
#include "design/gbops.h"
#include "design/rule.h"
#include "runtime/textcodec.h"

namespace design {

namespace {

struct Selector {
    std::string tag, className;
};

Selector readSelector(const std::string& code)
{
    const std::string t = collapseLineBreaks(trimSpaces(code));
    if (!t.empty() && t.front() == '#')
        return {"div", textBetween(t, "#", " {")};
    return {readRuleTag(code), readRuleClass(code)};
}

}  // namespace

void Design::importStyleCode(const std::string& code)
{
    const int pos = findComponentByBox(selectedBox());
    const std::string cur = pos > 0 ? componentAt(pos).rule : std::string();

    ComponentUpdate u;
    Selector selector = readSelector(code);
    u.tag = std::move(selector.tag);
    u.className = std::move(selector.className);

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
    updateComponent(selectedBox(), u);
}

std::string Design::importCheckedStyleCode(const std::string& code)
{
    std::string first = code;
    std::string message = removeNuls(first);
    auto add = [&](const std::string& m) {
        if (!message.empty() && !m.empty())
            message += "\r\n";
        message += m;
    };

    bool restDropped = false;
    if (const std::size_t close = detail::find(first, "}"); close != detail::npos) {
        restDropped = first.find_first_not_of(" \t\r\n", close + 1) != std::string::npos;
        first.resize(close + 1);
    }

    const Selector selector = readSelector(first);
    std::string refusal = tagRefusal(selector.tag);
    if (refusal.empty())
        refusal = classNameRefusal(selector.className);
    if (refusal.empty())
        refusal = extraRefusal(first);
    if (!refusal.empty()) {
        add(refusal + rt::gb("代码未应用。"));
        return message;
    }
    importStyleCode(first);
    if (restDropped)
        add(rt::gb("只应用了第一段规则，其后的代码未应用。"));
    return message;
}

}  // namespace design
