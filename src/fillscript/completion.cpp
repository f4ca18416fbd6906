#include "fillscript/completion.h"

#include "fillscript/catalogue.h"
#include "fillscript/scriptrun.h"
#include "runtime/gbtext.h"

namespace fillscript {
namespace {

// Generated table: one row per lead byte 0xB0..0xF7, one letter per trail
// byte 0xA1..0xFE, '-' where GB2312 has no hanzi.
constexpr const char* kInitials[] = {
#include "pinyin/gb2312_initials.inc"
};
static_assert(sizeof(kInitials) / sizeof(kInitials[0]) == 0xF7 - 0xB0 + 1);

}  // namespace

char pinyinInitial(unsigned char lead, unsigned char trail)
{
    if (lead < 0xB0 || lead > 0xF7 || trail < 0xA1 || trail > 0xFE)
        return 0;
    const char c = kInitials[lead - 0xB0][trail - 0xA1];
    return c == '-' ? 0 : c;
}

bool matchAbbreviation(std::string_view pattern, std::string_view candidate, bool whole)
{
    if (!whole && candidate.size() == pattern.size())
        return false;
    if (candidate.substr(0, pattern.size()) == pattern)
        return !whole || candidate.size() == pattern.size();

    std::size_t k = 0;  // 0-based candidate position
    for (const char pc : pattern) {
        const auto p = static_cast<unsigned char>(pc);
        if (p >= 'b' && p <= 'z') {
            if (k + 1 >= candidate.size())
                return false;
            const char initial = pinyinInitial(static_cast<unsigned char>(candidate[k]),
                                               static_cast<unsigned char>(candidate[k + 1]));
            if (initial != pc)
                return false;
            k += 2;
        } else {
            if (k >= candidate.size() || candidate[k] != pc)
                return false;
            k += 1;
        }
    }
    return !whole || k == candidate.size();
}

std::size_t assignmentPrefixLength(std::string_view word)
{
    const std::size_t eq = rt::gbFind(word, "=");
    if (eq == std::string_view::npos || !isVariableName(word.substr(0, eq)))
        return 0;
    return eq + 1;
}

std::vector<CompletionCandidate> completionCandidates(std::string_view word, bool whole)
{
    std::vector<CompletionCandidate> found;
    for (std::size_t row = 0; row < kCommandCount; ++row)
        if (matchAbbreviation(word, commandName(row), whole))
            found.push_back({commandName(row), kCommands[row].count});
    return found;
}

std::string completionText(std::string_view name, int paramCount)
{
    std::string s(name);
    s += '(';
    for (int i = 1; i < paramCount; ++i)
        s += ", ";
    s += ')';
    return s;
}

}  // namespace fillscript
