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
// extractExtraDeclarations over already split body lines. With
// keepComments, comments inside declaration lines stay (a line that is only
// a comment, like the template's markers, still goes), so that reading a rule
// this program wrote gives its declarations back unchanged.
std::string extraDeclarations(const std::vector<std::string_view>& lines, bool keepComments = false);

}  // namespace design::detail
