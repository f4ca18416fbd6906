#pragma once
// The one reading of a number out of text, shared by the rule readers and the
// script arguments.
#include <string_view>

namespace rt {

// The leading decimal number of a GB18030 text as atof reads it (locale
// independent), truncated toward zero and clamped to the 32-bit range.
// Full-width ASCII forms (A3A1..A3FE) and the full-width space (A1A1) are
// folded to ASCII first; leading white space is skipped; sign, digits,
// fraction and exponent are taken as far as they go. No number gives 0.
// Values too large or too small for a double are decided by their decimal
// magnitude, so "1" + 310 zeros + "e-1" is the maximum and "0." + 400 zeros +
// "1e1" is 0.
int leadingInteger(std::string_view text);

}  // namespace rt
