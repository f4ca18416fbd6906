#include "fillscript/parser.h"

#include "fillscript/catalogue.h"
#include "runtime/gbtext.h"
#include "runtime/textcodec.h"

namespace fillscript {
namespace {

// Replaces every `from` by `to`, matching only at character starts.
void replaceAll(std::string& s, std::string_view from, std::string_view to)
{
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    bool changed = false;
    while (i < s.size()) {
        if (s.compare(i, from.size(), from) == 0) {
            out.append(to);
            i += from.size();
            changed = true;
        } else {
            const std::size_t n = rt::gbCharLen(s, i);
            out.append(s, i, n);
            i += n;
        }
    }
    if (changed)
        s = std::move(out);
}

constexpr std::string_view kFullSpace = "\xA1\xA1";

std::string_view trimSpaces(std::string_view s)
{
    for (;;) {
        if (!s.empty() && s.front() == ' ')
            s.remove_prefix(1);
        else if (s.substr(0, 2) == kFullSpace)
            s.remove_prefix(2);
        else
            break;
    }
    // A trailing A1 A1 is a full-width space only when it starts a character,
    // so the end is found in one walk over the characters: just past the last
    // one that is not a space.
    std::size_t end = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = rt::gbCharLen(s, i);
        if (!(n == 1 && s[i] == ' ') && s.substr(i, n) != kFullSpace)
            end = i + n;
        i += n;
    }
    return s.substr(0, end);
}

// 0-based offsets of the first and last occurrence of a one-byte mark at a
// character start; npos when absent.
std::size_t firstOf(std::string_view s, char c)
{
    return rt::gbFind(s, std::string_view(&c, 1));
}

std::size_t lastOf(std::string_view s, char c)
{
    std::size_t last = std::string_view::npos;
    for (std::size_t i = 0; i < s.size(); i += rt::gbCharLen(s, i))
        if (s[i] == c)
            last = i;
    return last;
}

}  // namespace

std::string normaliseLine(std::string_view line, bool removeQuotes)
{
    static const std::string openQuote = rt::gb("“"), closeQuote = rt::gb("”"),
                             comma = rt::gb("，"), openParen = rt::gb("（"),
                             closeParen = rt::gb("）");
    std::string s(line);
    replaceAll(s, openQuote, "\"");
    replaceAll(s, closeQuote, "\"");
    replaceAll(s, comma, ",");
    replaceAll(s, openParen, "(");
    replaceAll(s, closeParen, ")");
    if (removeQuotes)
        replaceAll(s, "\"", "");
    return std::string(trimSpaces(s));
}

ParsedLine parseLine(std::string_view s)
{
    ParsedLine p;
    const std::size_t open = firstOf(s, '(');
    const std::size_t close = lastOf(s, ')');
    p.openPos = open == std::string_view::npos ? -1 : int(open) + 1;
    p.closePos = close == std::string_view::npos ? -1 : int(close) + 1;

    std::string_view argText;
    if (p.openPos != -1) {
        const long count = long(p.closePos) - long(p.openPos) - 1;
        const std::size_t start = std::size_t(p.openPos);  // 0-based offset after "("
        if (count > 0 && start < s.size())
            argText = s.substr(start, std::size_t(count));
    }
    for (const std::string& a : splitText(argText, ","))
        p.args.emplace_back(trimSpaces(a));

    if (p.openPos > 1)
        p.name.assign(s.substr(0, std::size_t(p.openPos - 1)));
    return p;
}

std::string unknownCommandText()
{
    return rt::gb("错误，不存在的命令");
}

std::string wrongArgumentCountText(int needed, int given)
{
    return rt::gb("错误，参数不对，实际需要") + std::to_string(needed) + rt::gb("个参数，你只提供") +
           std::to_string(given) + rt::gb("个参数");
}

std::string unknownCommandMessage(int line)
{
    return lineLogEntry(line, unknownCommandText());
}

std::string wrongArgumentCountMessage(int line, int needed, int given)
{
    return lineLogEntry(line, wrongArgumentCountText(needed, given));
}

std::string lineLogPrefix(int line)
{
    return rt::gb("第") + std::to_string(line) + rt::gb("行：");
}

std::string lineLogEntry(int line, std::string_view text)
{
    std::string entry = lineLogPrefix(line);
    entry += text;
    entry += "\r\n";
    return entry;
}

std::vector<std::string> scriptLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            current += "\r\n";
            lines.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    lines.push_back(std::move(current));
    return lines;
}

}  // namespace fillscript
