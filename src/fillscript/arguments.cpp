#include "fillscript/arguments.h"

#include "runtime/gbtext.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace fillscript {
namespace {

// Full-width forms of ASCII (A3A1..A3FE) and the full-width space (A1A1)
// become their ASCII bytes; everything else is kept as it is.
std::string foldFullWidth(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = rt::gbCharLen(s, i);
        const auto b0 = static_cast<unsigned char>(s[i]);
        const auto b1 = n == 2 ? static_cast<unsigned char>(s[i + 1]) : 0;
        if (n == 2 && b0 == 0xA3 && b1 >= 0xA1 && b1 <= 0xFE)
            out.push_back(char(b1 - 0x80));
        else if (n == 2 && b0 == 0xA1 && b1 == 0xA1)
            out.push_back(' ');
        else
            out.append(s.substr(i, n));
        i += n;
    }
    return out;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int argInteger(std::string_view text)
{
    const std::string s = foldFullWidth(text);
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r')))
        ++i;
    const std::size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < s.size() && isDigit(s[i]))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return 0;
    bool tinyExponent = false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        const bool negative = j < s.size() && s[j] == '-';
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j < s.size() && isDigit(s[j])) {
            tinyExponent = negative;
            while (j < s.size() && isDigit(s[j]))
                ++j;
            i = j;
        }
    }
    // from_chars takes no leading '+'.
    std::size_t from = start;
    if (s[from] == '+')
        ++from;
    double value = 0;
    const auto res = std::from_chars(s.data() + from, s.data() + i, value);
    if (res.ec == std::errc::result_out_of_range)  // too small or too large
        value = tinyExponent ? 0.0 : (s[start] == '-' ? -HUGE_VAL : HUGE_VAL);
    else if (res.ec != std::errc())
        return 0;
    value = std::trunc(value);
    if (value >= double(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (value <= double(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return int(value);
}

bool argLogical(std::string_view text)
{
    return text == "\xD5\xE6";  // "真" in GB18030
}

}  // namespace fillscript
