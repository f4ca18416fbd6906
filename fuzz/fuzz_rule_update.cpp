// The rule readers and updateComponent: a run of panel edits (through the
// panel's checks). After every update the rule states the box's geometry, and
// the readers give back what was set.
#include "../tests/design/fakecanvas.h"
#include "design/design.h"
#include "design/entrycheck.h"
#include "design/rule.h"
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    design::Design d;
    design::test::FakeCanvas canvas(d);
    const design::BoxHandle box = d.createComponentWithBox("div", "a", 1, 2, 3, 4, "", "");
    fuzz::Fields in(data, size);
    for (int n = 0; n < 16 && !in.empty(); ++n) {
        design::ComponentUpdate u;
        const std::uint8_t which = in.byte();
        if (which & 1)
            u.tag = in.text();
        if (which & 2)
            u.className = in.text();
        if (which & 4)
            u.left = in.number();
        if (which & 8)
            u.top = in.number();
        if (which & 16)
            u.width = in.number();
        if (which & 32)
            u.height = in.number();
        if (which & 64)
            u.extra = in.text();
        if (which & 128)
            u.innerText = in.text();
        design::checkUpdate(u);
        const design::ComponentUpdate asked = u;
        d.updateComponent(box, u);

        const std::string& rule = d.componentAt(1).rule;
        const design::BoxGeometry g = canvas.geometryOf(box);
        FUZZ_CHECK(g.left == design::ruleNumber(design::readRuleLeft(rule)));
        FUZZ_CHECK(g.top == design::ruleNumber(design::readRuleTop(rule)));
        FUZZ_CHECK(g.width == design::ruleNumber(design::readRuleWidth(rule)));
        FUZZ_CHECK(g.height == design::ruleNumber(design::readRuleHeight(rule)));
        if (asked.left)
            FUZZ_CHECK(g.left == *asked.left);
        if (asked.className)
            FUZZ_CHECK(design::readRuleClass(rule) == *asked.className);
        if (asked.innerText)
            FUZZ_CHECK(d.componentAt(1).innerText == *asked.innerText);
        design::extractExtraDeclarations(rule);
    }
    return 0;
}
