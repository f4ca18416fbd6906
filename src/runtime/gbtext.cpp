#include "gbtext.h"


namespace rt {

std::size_t gbCharLen(std::string_view s, std::size_t i)
{
    const std::size_t left = s.size() - i;
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (!gbIsLead(b0) || left < 2)
        return 1;
    const auto b1 = static_cast<unsigned char>(s[i + 1]);
    if (b1 >= 0x30 && b1 <= 0x39) {
        // Four-byte form: lead, digit, lead, digit.
        if (left >= 4 && gbIsLead(static_cast<unsigned char>(s[i + 2])) &&
            s[i + 3] >= 0x30 && s[i + 3] <= 0x39)
            return 4;
        return 1;
    }
    if ((b1 >= 0x40 && b1 <= 0x7E) || (b1 >= 0x80 && b1 <= 0xFE))
        return 2;
    return 1;
}

std::size_t gbFind(std::string_view s, std::string_view what, std::size_t from)
{
    // The byte search runs at memchr speed; a hit is checked for being a
    // character start by stepping forward from the nearest earlier byte below
    // 0x30 (such a byte is never part of a multi-byte character, so a
    // character starts right after it).
    if (from > s.size())
        return std::string_view::npos;
    if (what.empty())
        return from;
    std::size_t known = from;  // a character start; nothing before it is looked at again
    for (;;) {
        const std::size_t hit = s.find(what, known);
        if (hit == std::string_view::npos)
            return hit;
        std::size_t start = hit;
        while (start > known && static_cast<unsigned char>(s[start - 1]) >= 0x30)
            --start;
        while (start < hit)
            start += gbCharLen(s, start);
        if (start == hit)
            return hit;
        known = start;  // the hit lay inside a character; go on at the next one
    }
}

}  // namespace rt
