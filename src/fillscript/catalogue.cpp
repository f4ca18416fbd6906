#include "fillscript/catalogue.h"

#include "runtime/gbtext.h"
#include "runtime/textcodec.h"

namespace fillscript {
namespace {

// The table's texts in GB18030, converted once.
struct GbTexts {
    std::vector<std::string> names;
    std::vector<std::string> descriptions;
};

const GbTexts& gbTexts()
{
    static const GbTexts texts = [] {
        GbTexts t;
        for (const CommandInfo& c : kCommands) {
            t.names.push_back(rt::gb(c.name));
            t.descriptions.push_back(rt::gb(c.description));
        }
        return t;
    }();
    return texts;
}

std::string joinedLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += (i ? "\r\n" : "") + lines[i];
    return text;
}

}  // namespace

const std::string& commandName(std::size_t row)
{
    return gbTexts().names.at(row);
}

const std::string& commandDescription(std::size_t row)
{
    return gbTexts().descriptions.at(row);
}

int findCommand(std::string_view name)
{
    if (name.empty())
        return -1;
    const auto& names = gbTexts().names;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return int(i);
    return -1;
}

const std::string& CommandNamesText()
{
    static const std::string text = joinedLines(gbTexts().names);
    return text;
}

const std::string& ParamCountsText()
{
    static const std::string text = [] {
        std::vector<std::string> counts;
        for (const CommandInfo& c : kCommands)
            counts.push_back(std::to_string(c.count));
        return joinedLines(counts);
    }();
    return text;
}

const std::string& ParamDescsText()
{
    static const std::string text = joinedLines(gbTexts().descriptions);
    return text;
}

std::vector<std::string> splitText(std::string_view text, std::string_view sep)
{
    std::vector<std::string> pieces;
    if (text.empty())
        return pieces;
    if (sep.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, sep.size(), sep) == 0) {
            pieces.emplace_back(text.substr(start, i - start));
            i += sep.size();
            start = i;
        } else {
            i += rt::gbCharLen(text, i);
        }
    }
    if (start < text.size())
        pieces.emplace_back(text.substr(start));
    return pieces;
}

int findParamCount(std::string_view name)
{
    const int row = findCommand(name);
    return row < 0 ? -1 : kCommands[std::size_t(row)].count;
}

std::string findParamDescText(std::string_view name)
{
    const int row = findCommand(name);
    return row < 0 ? std::string() : commandDescription(std::size_t(row));
}

}  // namespace fillscript
