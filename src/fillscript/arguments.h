#pragma once
// Conversions of script argument texts (GB18030) to the types of the web view
// operations.
#include <string_view>

namespace fillscript {

// The text read as a decimal number, truncated toward zero. Full-width ASCII
// forms (A3xx) and the full-width space are folded to ASCII first; leading
// white space is skipped; the longest leading number (sign, digits, fraction,
// exponent) is taken. No number gives 0; values beyond the 32-bit range are
// clamped to it.
int argInteger(std::string_view text);

// True exactly when the text is "真".
bool argLogical(std::string_view text);

}  // namespace fillscript
