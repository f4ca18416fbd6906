#pragma once
// The 48 commands of the form-fill script language: names, argument counts and
// parameter descriptions, kept as three constant texts and split into three
// parallel lists when the tool window is created.
//
// All texts are GB18030 byte strings; comparisons are byte-wise.
#include <string>
#include <string_view>
#include <vector>

namespace fillscript {

// The three source texts, lines joined with "\r\n" (no break after the last).
const std::string& CommandNamesText();
const std::string& ParamCountsText();
const std::string& ParamDescsText();

// Splits `text` at `sep`. Stepping is by whole characters, so a separator is
// never found inside a multi-byte character. Pieces between separators may be
// empty; the rest after the last separator is a piece only when not empty. An
// empty text gives no pieces; an empty separator gives the whole text.
std::vector<std::string> splitText(std::string_view text, std::string_view sep);

struct CommandCatalogue {
    std::vector<std::string> commandNames;
    std::vector<std::string> paramCounts;  // decimal digits
    std::vector<std::string> paramDescs;   // "segment|segment|..." or empty
};

// The process-wide catalogue; empty until buildCatalogue() runs.
const CommandCatalogue& catalogue();

// Replaces the three lists with the split constant texts.
void buildCatalogue();

// Parameter count of the first entry named `name`, -1 when there is none.
int findParamCount(std::string_view name);

// Description line of the first entry named `name`, empty when there is none.
std::string findParamDescText(std::string_view name);

}  // namespace fillscript
