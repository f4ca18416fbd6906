#pragma once
// The one place where byte text changes encoding.
//
// Inside the program, text is `std::string` holding GB18030: every GBK
// character keeps its one- or two-byte form, so byte positions, double-byte
// stepping and the full-width A3xx mapping work on it directly, and characters
// outside GBK (emoji, rare hanzi) are kept as four-byte sequences instead of
// being lost. Files are UTF-8; widgets and the web engine take UTF-16.
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// UTF-8 bytes to GB18030. Invalid UTF-8 sequences become U+FFFD and decoding
// goes on.
std::string utf8ToGb(std::string_view utf8);
// GB18030 to UTF-8. Malformed GB18030 bytes become U+FFFD.
std::string gbToUtf8(std::string_view gb);

std::u16string gbToUtf16(std::string_view gb);
// The same, also giving for each UTF-16 unit the byte offset in `gb` of the
// character it came from (a malformed sequence's U+FFFD: where that sequence
// starts). The offsets never go backwards.
std::u16string gbToUtf16WithOffsets(std::string_view gb, std::vector<std::int32_t>& offsets);
std::string utf16ToGb(std::u16string_view utf16);

QString gbToQString(std::string_view gb);
std::string qstringToGb(const QString& s);

// Literal helper for sources written in UTF-8: gb("增加") gives GB18030 bytes.
inline std::string gb(std::string_view utf8) { return utf8ToGb(utf8); }

}  // namespace rt
