#pragma once
// Internal text helpers of the design model: searches, splits and
// replacements on GB18030 byte text that only match at character starts.
#include "runtime/gbtext.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace design::detail {

constexpr std::size_t npos = std::string_view::npos;

// rt::gbCharLen with the one-byte case inline.
inline std::size_t charLen(std::string_view s, std::size_t i)
{
    const auto b = static_cast<unsigned char>(s[i]);
    return (b < 0x81 || b == 0xFF) ? 1 : rt::gbCharLen(s, i);
}

// First occurrence of `what` at a character start at or after `from` (a
// character start); npos when none. An empty `what` matches at `from`.
inline std::size_t find(std::string_view text, std::string_view what, std::size_t from = 0)
{
    return rt::gbFind(text, what, from);
}

// A copy with the ASCII capitals turned into small letters.
std::string lowerAscii(std::string_view text);

// Same as find, comparing ASCII letters without regard to case.
std::size_t findIgnoringCase(std::string_view text, std::string_view what, std::size_t from = 0);

// The text between the first `leftMarker` and the first `rightMarker` after
// it; empty when either is missing. A view into `text`.
std::string_view between(std::string_view text, std::string_view leftMarker, std::string_view rightMarker);

// Pieces between separators, in order: empty pieces between adjacent
// separators are kept, a piece after the last separator only when it is not
// empty; an empty text gives no pieces. Views into `text`.
std::vector<std::string_view> split(std::string_view text, std::string_view separator);

// Every non-overlapping occurrence of `what`, left to right, replaced.
std::string replaceAll(std::string_view text, std::string_view what, std::string_view with);

}  // namespace design::detail
