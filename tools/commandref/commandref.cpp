// Writes the command reference (docs/commands.md) from the command catalogue:
// every command with its parameters, what it gives back and an example line.
// Usage: fillscript_reference > docs/commands.md
#include "fillscript/catalogue.h"
#include "runtime/textcodec.h"

#include <cstdio>
#include <vector>
#include <string>

namespace {

std::string u8(const std::string& gb) { return rt::gbToUtf8(gb); }

struct Param {
    std::string name, type, remark;
};

// "name,type,remark" (the remark may be empty and starts with a space).
Param readSegment(const std::string& segment)
{
    Param p;
    const std::size_t a = segment.find(',');
    const std::size_t b = a == std::string::npos ? a : segment.find(',', a + 1);
    p.name = segment.substr(0, a);
    if (a != std::string::npos)
        p.type = segment.substr(a + 1, b == std::string::npos ? b : b - a - 1);
    if (b != std::string::npos)
        p.remark = segment.substr(b + 1);
    while (!p.remark.empty() && p.remark.front() == ' ')
        p.remark.erase(0, 1);
    return p;
}

// A value of the parameter's type for the example line.
std::string sample(const Param& p)
{
    if (p.type == "整数型")
        return "0";
    if (p.type == "逻辑型")
        return "假";
    return p.name;
}

std::string cell(std::string s)
{
    std::string out;
    for (char c : s)
        out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out;
}

// What a command gives back, where it is not the page operation's own text.
std::string resultOf(std::size_t row)
{
    using fillscript::commandRow;
    if (row == commandRow("填表操作_判断元素是否存在"))
        return "\"true\" when the element was found within the given number of tries, 500 ms apart, "
               "else \"false\".";
    if (row == commandRow("填表操作_枚举组合框内容"))
        return "The options as text|value entries separated by commas, or the page operation's "
               "failure text.";
    if (row == commandRow("填表_遍历元素"))
        return "The number of elements of the tag (that match the feature text, when one is given).";
    if (row == commandRow("内部_构造对象代码"))
        return "The locator script the element commands would run.";
    if (row == commandRow("填表操作_移动到目标元素"))
        return "\"success\" when the mouse reached the element, else \"error\".";
    return "The text the page operation gives back: a value read from the page, \"success\", "
           "\"undefined\" when no element matched, or \"error\".";
}

}  // namespace

int main()
{
    using fillscript::kCommandCount;
    std::string out;
    out += "# Command reference\n\n";
    out += "<!-- Written by fillscript_reference from the command catalogue; do not edit. -->\n\n";
    out += "All " + std::to_string(kCommandCount) +
           " commands of the form-fill script language, in catalogue order. A line is the name, "
           "then the arguments in parentheses separated by commas; every parameter must be "
           "given (an empty argument is allowed). Types: 文本型 text, 整数型 integer (read like "
           "C's atof, truncated), 逻辑型 logical (true only for 真). The log shows each line's "
           "result after 第N行：. See [script-language.md](script-language.md).\n\n";
    out += "| No. | Command | Parameters |\n|---|---|---|\n";
    for (std::size_t i = 0; i < kCommandCount; ++i) {
        const std::string name(fillscript::kCommands[i].name);
        out += "| " + std::to_string(i + 1) + " | [" + name + "](#" + std::to_string(i + 1) + ") | " +
               std::to_string(fillscript::kCommands[i].count) + " |\n";
    }
    for (std::size_t i = 0; i < kCommandCount; ++i) {
        const std::string name(fillscript::kCommands[i].name);
        out += "\n<a id=\"" + std::to_string(i + 1) + "\"></a>\n## " + std::to_string(i + 1) + ". " + name +
               "\n\n";
        // Split in GB18030, where splitText steps by whole characters.
        std::vector<Param> params;
        for (const std::string& segment : fillscript::splitText(fillscript::commandDescription(i), "|"))
            params.push_back(readSegment(u8(segment)));
        if (params.empty()) {
            out += "No parameters.\n\n";
        } else {
            out += "| # | Parameter | Type | Note |\n|---|---|---|---|\n";
            for (std::size_t k = 0; k < params.size(); ++k)
                out += "| " + std::to_string(k + 1) + " | " + cell(params[k].name) + " | " + params[k].type +
                       " | " + cell(params[k].remark) + " |\n";
            out += "\n";
        }
        out += "Result: " + resultOf(i) + "\n\n";
        std::string example = name + "(";
        for (std::size_t k = 0; k < params.size(); ++k)
            example += (k ? "," : "") + sample(params[k]);
        out += "```\n" + example + ")\n```\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
