// Style code import through the import-code button's checks: whatever is
// pasted, the rule afterwards states the box's geometry, and the inner text
// is untouched.
#include "../tests/design/fakecanvas.h"
#include "design/design.h"
#include "design/rule.h"
#include "design/stylecode.h"
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    design::Design d;
    design::test::FakeCanvas canvas(d);
    d.selection().selectOnly(d.createComponentWithBox("div", "a", 1, 2, 3, 4, "x:1;", "inner"));
    d.importCheckedStyleCode(std::string(reinterpret_cast<const char*>(data), size));

    const std::string& rule = d.componentAt(1).rule;
    const design::BoxGeometry g = canvas.geometryOf(d.selectedBox());
    FUZZ_CHECK(g.left == design::ruleNumber(design::readRuleLeft(rule)));
    FUZZ_CHECK(g.top == design::ruleNumber(design::readRuleTop(rule)));
    FUZZ_CHECK(g.width == design::ruleNumber(design::readRuleWidth(rule)));
    FUZZ_CHECK(g.height == design::ruleNumber(design::readRuleHeight(rule)));
    FUZZ_CHECK(d.componentAt(1).innerText == "inner");
    return 0;
}
