#include "webview/capturebitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace webview {
namespace {

void put16(char* at, uint16_t value)
{
    at[0] = char(value & 0xff);
    at[1] = char(value >> 8);
}

void put32(char* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = char((value >> (8 * i)) & 0xff);
}

}  // namespace

int64_t bitmapFileSize(int width, int height)
{
    if (width <= 0 || height <= 0)
        return -1;
    // Both sides are below 2^31, so their product fits; four bytes per pixel
    // might not, hence the limit is checked on the pixel count first.
    const int64_t pixels = int64_t(width) * int64_t(height);
    // The header keeps the file size in 32 bits; QByteArray needs it in qsizetype.
    const int64_t limit = std::min<int64_t>(std::numeric_limits<uint32_t>::max(),
                                            std::numeric_limits<qsizetype>::max());
    if (pixels > (limit - kBitmapHeaderSize) / 4)
        return -1;
    return kBitmapHeaderSize + 4 * pixels;
}

QByteArray makeBitmapFile(int width, int height)
{
    const int64_t size = bitmapFileSize(width, height);
    if (size < 0)
        return {};
    QByteArray file(qsizetype(size), '\0');
    char* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, uint32_t(size));
    put32(h + 10, kBitmapHeaderSize);
    put32(h + 14, 40);
    put32(h + 18, uint32_t(width));
    put32(h + 22, uint32_t(-int64_t(height)));
    put16(h + 26, 1);
    put16(h + 28, 32);
    put32(h + 30, 0);
    put32(h + 34, uint32_t(size - kBitmapHeaderSize));
    put32(h + 38, 3780);
    put32(h + 42, 3780);
    return file;
}

QByteArray bitmapFileFromPixels(const void* pixels, int width, int height)
{
    QByteArray file = makeBitmapFile(width, height);
    if (!file.isEmpty() && pixels)
        std::memcpy(file.data() + kBitmapHeaderSize, pixels, size_t(file.size() - kBitmapHeaderSize));
    return file;
}

}  // namespace webview
