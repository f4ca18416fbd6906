// Generation then import: Components made of fuzzed fields (as the panel lets
// them in) are saved and read back. After the first reading, saving and
// reading again must give the same page, byte for byte.
#include "../tests/design/fakecanvas.h"
#include "design/design.h"
#include "design/document.h"
#include "design/entrycheck.h"
#include "design/import.h"
#include "fuzzcheck.h"

namespace {

std::string saveAndRead(design::Design& d)
{
    const std::string file = design::encodeUtf8(d.generateDocument());
    const std::string_view text = std::string_view(file).substr(0, file.find('\0'));
    d.parseDocument(design::decodeUtf8ToLocal(text));
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    design::Design d;
    design::test::FakeCanvas canvas(d);
    fuzz::Fields in(data, size);
    for (int n = 0; n < 6 && !in.empty(); ++n) {
        design::ComponentUpdate u;
        u.tag = in.text();
        u.className = in.text();
        u.extra = in.text();
        u.innerText = in.text();
        design::checkUpdate(u);
        if (!u.tag || !u.className)
            continue;  // refused at the panel
        d.createComponentWithBox(*u.tag, *u.className, in.number(), in.number(), in.number(),
                                       in.number(), *u.extra, *u.innerText);
    }
    saveAndRead(d);
    const std::string second = saveAndRead(d);
    const std::string third = saveAndRead(d);
    FUZZ_CHECK(second == third);
    return 0;
}
