#pragma once
// Internal pieces of the rule readers, for callers that read many fields of
// one rule and want to split its body once.
#include <string>
#include <string_view>
#include <vector>

namespace design::detail {

// The rule body (first "{" to the first "}" after it) split at CR LF.
std::vector<std::string_view> ruleBodyLines(std::string_view rule);
// The geometry reader over already split body lines.
std::string geometryValue(const std::vector<std::string_view>& lines, std::string_view marker);
// extractExtraDeclarations over already split body lines.
std::string extraDeclarations(const std::vector<std::string_view>& lines);

}  // namespace design::detail
