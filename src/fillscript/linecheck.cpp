#include "fillscript/linecheck.h"

#include "fillscript/catalogue.h"
#include "fillscript/parser.h"
#include "fillscript/scriptrun.h"
#include "runtime/textcodec.h"

namespace fillscript {

LineCheckResult checkScriptLine(std::string_view rawLine)
{
    const ParsedLine p = parseLine(normaliseLine(rawLine, true));
    LineCheckResult r;
    r.needed = namedCommand(p.name).needed;
    r.given = int(p.args.size());
    if (r.needed == -1)
        r.check = LineCheck::UnknownCommand;
    else if (r.given != r.needed)
        r.check = LineCheck::WrongArgumentCount;
    return r;
}

LineOutcome outcomeOfEntry(std::string_view entry, int lineNumber)
{
    if (entry == unknownCommandMessage(lineNumber))
        return LineOutcome::CheckFailed;
    const std::string prefix = lineLogPrefix(lineNumber);
    static const std::string wrongCount = rt::gb("错误，参数不对，实际需要");
    if (entry.substr(0, prefix.size() + wrongCount.size()) == prefix + wrongCount)
        return LineOutcome::CheckFailed;
    std::string_view result = entry;
    if (result.substr(0, prefix.size()) == prefix)
        result.remove_prefix(prefix.size());
    if (result.size() >= 2 && result.substr(result.size() - 2) == "\r\n")
        result.remove_suffix(2);
    if (result == "error")
        return LineOutcome::Error;
    if (result == "undefined")
        return LineOutcome::Undefined;
    return LineOutcome::Passed;
}

std::string renumberEntry(std::string_view entry, int from, int to)
{
    const std::string prefix = lineLogPrefix(from);
    if (entry.substr(0, prefix.size()) != prefix)
        return std::string(entry);
    return lineLogPrefix(to) + std::string(entry.substr(prefix.size()));
}

}  // namespace fillscript
