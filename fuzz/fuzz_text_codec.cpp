// Text conversions: well-formed UTF-8 survives UTF-8 -> GB18030 -> UTF-8;
// the offsets of a GB18030 decoding point into the input and never go back.
#include "fuzzcheck.h"
#include "runtime/textcodec.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Well formed: Qt decodes and encodes it back to the same bytes.
    const QByteArray raw(bytes.data(), qsizetype(bytes.size()));
    if (QString::fromUtf8(raw).toUtf8() == raw && raw.indexOf('\0') < 0)
        FUZZ_CHECK(rt::gbToUtf8(rt::utf8ToGb(bytes)) == bytes);

    std::vector<std::int32_t> offsets;
    const std::u16string wide = rt::gbToUtf16WithOffsets(bytes, offsets);
    FUZZ_CHECK(wide == rt::gbToUtf16(bytes));
    FUZZ_CHECK(offsets.size() == wide.size());
    std::int32_t last = 0;
    for (std::int32_t o : offsets) {
        FUZZ_CHECK(o >= last && std::size_t(o) < size);
        last = o;
    }
    rt::utf16ToGb(wide);
    return 0;
}
