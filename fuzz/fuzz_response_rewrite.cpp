// Byte rewriting of responses: replacing with the same bytes changes
// nothing, prepending adds exactly the text in front.
#include "fuzzcheck.h"
#include "webview/netresponse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Fields in(data, size);
    const std::string find = in.text();
    const std::string replacement = in.text();
    const std::string body(in.remainder());

    FUZZ_CHECK(webview::replaceAllBytes(body, find, find) == body);
    const std::string replaced = webview::replaceAllBytes(body, find, replacement);
    if (find.empty())
        FUZZ_CHECK(replaced == body);
    if (!find.empty() && replacement.find(find) == std::string::npos && find.size() == 1)
        FUZZ_CHECK(replaced.find(find) == std::string::npos);
    const std::string prepended = webview::prependBytes(body, replacement);
    FUZZ_CHECK(prepended == replacement + body);
    return 0;
}
