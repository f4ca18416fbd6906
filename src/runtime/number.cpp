#include "number.h"

#include "gbtext.h"

#include <charconv>
#include <climits>
#include <string>

namespace rt {
namespace {

bool isCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int leadingInteger(std::string_view text)
{
    // Full-width forms (A3A1..A3FE) become ASCII, the ideographic space a space.
    std::string s;
    s.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = gbCharLen(text, i);
        if (n == 2) {
            const auto b0 = static_cast<unsigned char>(text[i]);
            const auto b1 = static_cast<unsigned char>(text[i + 1]);
            if (b0 == 0xA3 && b1 >= 0xA1 && b1 <= 0xFE) {
                s += char(b1 & 0x7F);
                i += 2;
                continue;
            }
            if (b0 == 0xA1 && b1 == 0xA1) {
                s += ' ';
                i += 2;
                continue;
            }
        }
        s.append(text.substr(i, n));
        i += n;
    }

    // Leading decimal number as atof reads it, independent of the locale.
    std::size_t i = 0;
    while (i < s.size() && isCSpace(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    std::size_t digits = 0, intSignificant = 0, fracLeadingZeros = 0;
    bool seenNonZero = false;
    while (i < s.size() && isDigit(s[i])) {
        if (s[i] != '0' || seenNonZero) {
            seenNonZero = true;
            ++intSignificant;
        }
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            if (!seenNonZero && s[i] == '0')
                ++fracLeadingZeros;
            else
                seenNonZero = true;
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    std::size_t end = i;
    long long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        bool expNegative = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            expNegative = s[j] == '-';
            ++j;
        }
        if (j < s.size() && isDigit(s[j])) {
            while (j < s.size() && isDigit(s[j])) {
                if (exponent < 1000000000)
                    exponent = exponent * 10 + (s[j] - '0');
                ++j;
            }
            if (expNegative)
                exponent = -exponent;
            end = j;
        }
    }
    if (!seenNonZero)
        return 0;

    double value = 0;
    const auto res = std::from_chars(s.data() + start, s.data() + end, value, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: decide by the decimal magnitude.
        const long long magnitude = intSignificant > 0 ? (long long)intSignificant - 1 + exponent
                                                       : -(long long)fracLeadingZeros - 1 + exponent;
        value = magnitude > 0 ? 1e300 : 0.0;
    } else if (res.ec != std::errc()) {
        return 0;
    }
    if (negative)
        value = -value;
    if (value >= 2147483647.0)
        return INT_MAX;
    if (value <= -2147483648.0)
        return INT_MIN;
    return int(value);  // truncation toward zero
}

}  // namespace rt
