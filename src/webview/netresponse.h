#pragma once
// Byte rewriting of response bodies (netReplaceInResponse,
// netPrependToResponse). Pure functions on bytes.
#include <string>
#include <string_view>

namespace webview {

// data with every occurrence of find replaced by replacement, scanning from the
// start and going on after each replacement. An empty find changes nothing.
std::string replaceAllBytes(std::string_view data, std::string_view find,
                            std::string_view replacement);

// text followed by data.
std::string prependBytes(std::string_view data, std::string_view text);

}  // namespace webview
