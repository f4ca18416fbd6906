#pragma once
// The catalogue of the form-fill script language: the commands of
// commands.def with their argument counts and parameter descriptions. The
// table is a compile-time constant; the GB18030 forms of its texts, which the
// parser, the editor and the recorder compare and write, are made on first
// use.
//
// All GB18030 comparisons are byte-wise.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fillscript {

// One row of the command table, without the executor's handler. UTF-8.
struct CommandInfo {
    std::string_view name;
    int count;
    std::string_view description;  // "segment|segment|...", empty without parameters
};

inline constexpr CommandInfo kCommands[] = {
#define COMMAND(name, count, parameters, handler) {name, count, parameters},
#include "fillscript/commands.def"
#undef COMMAND
};
inline constexpr std::size_t kCommandCount = std::size(kCommands);

namespace detail {
// Not constexpr: a constant evaluation that reaches it fails to compile.
void noSuchCommand();
}

// Row of the command spelled `utf8Name`; a name that is not in the table does
// not compile.
consteval std::size_t commandRow(std::string_view utf8Name)
{
    for (std::size_t i = 0; i < kCommandCount; ++i)
        if (kCommands[i].name == utf8Name)
            return i;
    detail::noSuchCommand();
    return kCommandCount;
}

// GB18030 name and description of a row.
const std::string& commandName(std::size_t row);
const std::string& commandDescription(std::size_t row);

// Row of the first command named `name` (GB18030), -1 when there is none. An
// empty name never matches.
int findCommand(std::string_view name);

// The names, counts and descriptions, each joined with "\r\n" (no break after
// the last), in GB18030.
const std::string& CommandNamesText();
const std::string& ParamCountsText();
const std::string& ParamDescsText();

// Splits `text` at `sep`. Stepping is by whole characters, so a separator is
// never found inside a multi-byte character. Pieces between separators may be
// empty; the rest after the last separator is a piece only when not empty. An
// empty text gives no pieces; an empty separator gives the whole text.
std::vector<std::string> splitText(std::string_view text, std::string_view sep);

// Parameter count of the first entry named `name`, -1 when there is none.
int findParamCount(std::string_view name);

// Description line of the first entry named `name`, empty when there is none.
std::string findParamDescText(std::string_view name);

}  // namespace fillscript
