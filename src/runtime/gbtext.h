#pragma once
// Byte-level helpers for GB18030 text: character stepping and searches that
// only match at character starts.
#include <cstddef>
#include <string_view>

namespace rt {

// Length in bytes of the character starting at s[i]: 1 for ASCII (and for a
// stray byte), 2 for a GBK pair, 4 for a GB18030 four-byte sequence. Never
// steps past the end of s.
std::size_t gbCharLen(std::string_view s, std::size_t i);

// True when a double-byte character's lead byte (0x81..0xFE) is followed by a
// valid trail byte, i.e. s[i] starts a multi-byte character.
inline bool gbIsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// 0-based offset of the first occurrence of `what` in `s` that begins at a
// character start at or after byte offset `from` (which must itself be a
// character start); npos when none. An empty `what` matches at `from`.
std::size_t gbFind(std::string_view s, std::string_view what, std::size_t from = 0);

}  // namespace rt
