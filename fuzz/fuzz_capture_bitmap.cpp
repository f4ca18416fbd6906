// The capture bitmap header: any sides. A size is -1 or exactly the header
// plus four bytes a pixel, within the 32-bit size field; small images get a
// header that states them.
#include "fuzzcheck.h"
#include "webview/capturebitmap.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Fields in(data, size);
    const int width = in.number(), height = in.number();
    const int64_t fileSize = webview::bitmapFileSize(width, height);
    if (fileSize < 0)
        return 0;
    FUZZ_CHECK(width > 0 && height > 0);
    FUZZ_CHECK(fileSize == webview::kBitmapHeaderSize + 4 * int64_t(width) * int64_t(height));
    FUZZ_CHECK(fileSize <= int64_t(UINT32_MAX));
    if (fileSize > (1 << 20))
        return 0;
    const QByteArray file = webview::makeBitmapFile(width, height);
    FUZZ_CHECK(file.size() == fileSize);
    std::uint32_t stated = 0;
    std::memcpy(&stated, file.constData() + 2, 4);  // little-endian machine
    FUZZ_CHECK(stated == std::uint32_t(fileSize));
    return 0;
}
