#pragma once
// The bitmap file image handed out by capturePage: a 54-byte header (file
// header and 40-byte information header, little-endian) followed by the
// 32-bit pixels, rows top first (negative height).
#include <QByteArray>

#include <cstdint>

namespace webview {

inline constexpr int kBitmapHeaderSize = 54;

// Size of the file image for width x height, or -1 when it does not fit the
// header's 32-bit size fields (or a side is not positive).
int64_t bitmapFileSize(int width, int height);

// A file image of that size whose header is written and whose pixels (from
// offset 54) are zero; empty when bitmapFileSize gives -1.
QByteArray makeBitmapFile(int width, int height);

// The file image of 4 x width x height bytes of pixels (BGRA, rows top first).
QByteArray bitmapFileFromPixels(const void* pixels, int width, int height);

}  // namespace webview
