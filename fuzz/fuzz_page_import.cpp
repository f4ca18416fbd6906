// Page import: any bytes, read as a page. The indexed reader must agree with
// the plain one that tests every body line (kept short so that one stays
// quick).
#include "design/import.h"
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view doc(reinterpret_cast<const char*>(data), size);
    const auto elements = design::detail::readDocument(doc);
    if (size <= 8192)
        FUZZ_CHECK(elements == design::detail::readDocumentReference(doc));
    // The same bytes as a UTF-8 file would give them.
    design::detail::readDocument(design::decodeUtf8ToLocal(doc));
    return 0;
}
