#include "gbtext.h"

#include <cstring>

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
    if (from > s.size())
        return std::string_view::npos;
    if (what.empty())
        return from;
    const auto first = what.front();
    for (std::size_t i = from; i + what.size() <= s.size();) {
        // Fast skip: ASCII-only stretches cannot hide a character boundary.
        if (s[i] == first && std::memcmp(s.data() + i, what.data(), what.size()) == 0)
            return i;
        i += gbCharLen(s, i);
    }
    return std::string_view::npos;
}

}  // namespace rt
