// Script lines and argument conversions: splitting a script into lines,
// normalising and parsing each, converting its arguments.
#include "fillscript/arguments.h"
#include "fillscript/parser.h"
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const std::string& line : fillscript::scriptLines(text)) {
        for (bool removeQuotes : {false, true}) {
            const std::string s = fillscript::normaliseLine(line, removeQuotes);
            const fillscript::ParsedLine p = fillscript::parseLine(s);
            FUZZ_CHECK(p.openPos == -1 || (p.openPos >= 1 && std::size_t(p.openPos) <= s.size()));
            FUZZ_CHECK(p.closePos == -1 || (p.closePos >= 1 && std::size_t(p.closePos) <= s.size()));
            FUZZ_CHECK(p.name.size() <= s.size());
            for (const std::string& a : p.args) {
                fillscript::argInteger(a);
                fillscript::argLogical(a);
            }
        }
    }
    fillscript::argInteger(text);
    return 0;
}
