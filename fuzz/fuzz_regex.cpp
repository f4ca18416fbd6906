// The pattern object: a short pattern, options and a subject. Positions stay
// inside the subject and never go backwards; on a well-formed subject each
// match's bytes stand at its position.
#include "design/regex.h"
#include "fuzzcheck.h"
#include "runtime/textcodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Fields in(data, size);
    const std::uint8_t options = in.byte();
    std::string pattern = in.text();
    if (pattern.size() > 64)
        pattern.resize(64);  // long patterns only find the matcher's own limits
    const std::string replacement = in.text();
    const std::string subject(in.remainder().substr(0, 4096));

    design::RegexObject re;
    if (!re.execute(pattern, subject, options & 1, options & 2, options & 4, options & 8))
        return 0;
    const bool wellFormed = rt::utf16ToGb(rt::gbToUtf16(subject)) == subject;
    int last = 0;
    for (int n = 1; n <= re.matchCount(); ++n) {
        int pos = -2;
        const std::string text = re.matchText(n, &pos);
        FUZZ_CHECK(pos >= last && std::size_t(pos) <= subject.size());
        last = pos;
        if (wellFormed)
            FUZZ_CHECK(subject.compare(std::size_t(pos), text.size(), text) == 0);
        for (int k = 1; k <= re.subMatchCount(); ++k) {
            int groupPos = -2;
            re.subMatchText(n, k, &groupPos);
            FUZZ_CHECK(groupPos >= -1 && groupPos <= int(subject.size()));
        }
    }
    re.replaceAll(replacement);
    return 0;
}
