#include "design/rule.h"

#include "design/gbops.h"
#include "design/ruleparts.h"
#include "runtime/gbtext.h"
#include "runtime/number.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#define TOLVANE_HAVE_TSC 1
#endif

namespace design {

using detail::npos;

namespace {

constexpr std::string_view kCrLf = "\r\n";

std::uint32_t fastCounter()
{
#ifdef TOLVANE_HAVE_TSC
    return std::uint32_t(__rdtsc());
#else
    return std::uint32_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count());
#endif
}

std::string readGeometry(std::string_view rule, std::string_view marker)
{
    return detail::geometryValue(detail::ruleBodyLines(rule), marker);
}

}  // namespace

namespace detail {

std::vector<std::string_view> ruleBodyLines(std::string_view rule)
{
    return split(between(rule, "{", "}"), kCrLf);
}

// The first line that carries `marker` followed by a value closed with "px;"
// on the same line.
std::string geometryValue(const std::vector<std::string_view>& lines, std::string_view marker)
{
    for (std::string_view line : lines) {
        std::string_view v = between(line, marker, "px;");
        if (!v.empty())
            return std::string(v);
    }
    return {};
}

std::string extraDeclarations(const std::vector<std::string_view>& lines, bool keepComments)
{
    static constexpr std::string_view geometryMarkers[] = {"position:absolute;", " left:", " top:",
                                                           " height:", " width:"};
    std::string result;
    for (std::string_view line : lines) {
        std::string l = collapseLineBreaks(trimSpaces(line));
        const std::string c = textBetween(l, "/*", "*/");
        const std::string comment = "/*" + c + "*/";
        if (!keepComments || l == comment)
            l = replaceAll(l, comment, "");
        l.insert(l.begin(), ' ');
        bool geometry = false;
        for (std::string_view m : geometryMarkers)
            if (findText(l, m) != -1) {
                geometry = true;
                break;
            }
        if (!geometry && l != " ") {
            result += trimSpaces(l);
            result += kCrLf;
        }
    }
    return result;
}

}  // namespace detail

std::string buildRule(const RuleFields& f, const BoxGeometry& p)
{
    const std::string tag = f.tag ? keepLetters(*f.tag) : std::string("div");
    const std::string cls = f.className ? *f.className : makeDefaultClassName();
    const int left = f.left.value_or(p.left);
    const int top = f.top.value_or(p.top);
    const int width = f.width.value_or(p.width);
    const int height = f.height.value_or(p.height);
    const std::string_view extra = f.extra ? std::string_view(*f.extra) : std::string_view();

    std::string r;
    r.reserve(tag.size() + cls.size() + extra.size() + 128);
    r += tag;
    r += '.';
    r += cls;
    r += " {\r\n  position:absolute;\r\n  left:";
    r += std::to_string(left);
    r += "px;\r\n  top:";
    r += std::to_string(top);
    r += "px;\r\n  width:";
    r += std::to_string(width);
    r += "px;\r\n  height:";
    r += std::to_string(height);
    r += "px;\r\n/* other1 */\r\n";
    r += extra;
    r += "\r\n/* other2 */\r\n}";
    return r;
}

std::string makeDefaultClassName()
{
    std::string name = "Tolvane_";
    for (int i = 0; i < 4; ++i)
        name += char('0' + randomInRange(0, 9));
    return name;
}

std::string makeUnusedClassName(const std::unordered_set<std::string>& used)
{
    // Random draws find a free name at once unless most names are taken.
    for (int tries = 0; tries < 64; ++tries)
        if (std::string name = makeDefaultClassName(); !used.count(name))
            return name;
    for (int digits = 4;; ++digits) {
        long long limit = 1;
        for (int i = 0; i < digits; ++i)
            limit *= 10;
        for (long long n = 0; n < limit; ++n) {
            std::string number = std::to_string(n);
            std::string name = "Tolvane_" + std::string(std::size_t(digits) - number.size(), '0') + number;
            if (!used.count(name))
                return name;
        }
    }
}

int randomInRange(int min, int max)
{
    if (max < min)
        return min;
    std::uint32_t x = fastCounter();
    x = x * 214013u + 2531011u;
    const std::uint32_t r = (x >> 16) & 0x7FFFu;
    const std::int64_t span = std::int64_t(max) - std::int64_t(min) + 1;
    return int(std::int64_t(min) + std::int64_t(r) % span);
}

std::string keepLetters(std::string_view text)
{
    // Same result as joining the matches of "[a-zA-Z]": only one-byte
    // characters count, so a trail byte that happens to be a letter is not one.
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = detail::charLen(text, i);
        const char c = text[i];
        if (n == 1 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            out += c;
        i += n;
    }
    return out;
}

std::string textBetween(std::string_view text, std::string_view leftMarker, std::string_view rightMarker)
{
    return std::string(detail::between(text, leftMarker, rightMarker));
}

std::string readRuleTag(std::string_view rule)
{
    const std::size_t dot = detail::find(rule, ".");
    if (dot == npos)
        return {};
    return std::string(rule.substr(0, dot));
}

std::string readRuleClass(std::string_view rule) { return textBetween(rule, ".", " {"); }
std::string readRuleLeft(std::string_view rule) { return readGeometry(rule, "  left:"); }
std::string readRuleTop(std::string_view rule) { return readGeometry(rule, "  top:"); }
std::string readRuleWidth(std::string_view rule) { return readGeometry(rule, "  width:"); }
std::string readRuleHeight(std::string_view rule) { return readGeometry(rule, "  height:"); }

std::string readRuleExtra(std::string_view rule)
{
    return textBetween(rule, "/* other1 */\r\n", "\r\n/* other2 */");
}

int ruleNumber(std::string_view text) { return rt::leadingInteger(text); }

std::string extractExtraDeclarations(std::string_view rule)
{
    return detail::extraDeclarations(detail::ruleBodyLines(rule));
}

std::string trimSpaces(std::string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    return std::string(text.substr(b, e - b));
}

std::string collapseLineBreaks(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '\r') {
            // CR is never part of a multi-byte character: copy up to the next one.
            const std::size_t cr = std::min(text.find('\r', i), text.size());
            out.append(text.substr(i, cr - i));
            i = cr;
            continue;
        }
        if (i + 1 >= text.size()) {  // a final CR is copied and ends the scan
            out += '\r';
            break;
        }
        // The CR with the character after it, then skip every further CR pair.
        const std::size_t n = detail::charLen(text, i + 1);
        out.append(text.substr(i, 1 + n));
        i += 1 + n;
        while (i < text.size() && text[i] == '\r')
            i += (i + 1 < text.size()) ? 1 + detail::charLen(text, i + 1) : 1;
    }
    return out;
}

int findText(std::string_view text, std::string_view what, int start, bool ignoreCase)
{
    if (text.empty() || what.empty())
        return -1;
    const std::size_t from = start <= 1 ? 0 : std::size_t(start - 1);
    if (from >= text.size())
        return -1;
    const std::size_t hit = ignoreCase ? std::string_view(detail::lowerAscii(text)).find(detail::lowerAscii(what), from)
                                       : text.find(what, from);
    return hit == npos ? -1 : int(hit) + 1;
}

}  // namespace design
