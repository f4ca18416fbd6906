#include "fillscript/linecheck.h"

#include "fillscript/parser.h"
#include "fillscript/scriptrun.h"
#include "runtime/gbtext.h"
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

LineOutcome outcomeOf(const LineResult& result)
{
    if (!result.executed())
        return LineOutcome::CheckFailed;
    if (result.result == "error")
        return LineOutcome::Error;
    if (result.result == "undefined")
        return LineOutcome::Undefined;
    return LineOutcome::Passed;
}

std::string failureReasonText(LineOutcome outcome, std::string_view executorReason)
{
    const std::string prefix = rt::gb("原因：");
    // The engine's own reasons, in the tool's language; a page's exception
    // message is shown as the page wrote it.
    if (executorReason.substr(0, 8) == "timeout:")
        return prefix + rt::gb("页面没有及时应答（超时）");
    if (executorReason.substr(0, 7) == "syntax:")
        return prefix + rt::gb("脚本有语法错误，页面无法运行");
    if (!executorReason.empty()) {
        // A page's message may be as long as it likes; a tooltip is not.
        constexpr std::size_t kLongest = 400;
        std::size_t end = 0;
        while (end < executorReason.size() && end < kLongest)
            end += rt::gbCharLen(executorReason, end);
        return prefix + std::string(executorReason.substr(0, end)) +
               (end < executorReason.size() ? "..." : "");
    }
    if (outcome == LineOutcome::Undefined)
        return prefix + rt::gb("没有找到匹配的元素");
    return {};
}

}  // namespace fillscript
