#pragma once
// The checks a run makes on one script line, for the editor: the same
// normalising, splitting and catalogue look-up as the run loop, so a line the
// editor marks is exactly a line the run would reject. Also the outcome the
// editor marks a line with, from the line's result.
#include <string>
#include <string_view>

namespace fillscript {

enum class LineCheck {
    Ok,
    UnknownCommand,     // the run logs "错误，不存在的命令"
    WrongArgumentCount, // the run logs "错误，参数不对，…"
};

struct LineCheckResult {
    LineCheck check = LineCheck::Ok;
    int needed = -1;  // catalogue count, -1 for an unknown name
    int given = 0;    // arguments the line supplies
};

// rawLine: one editor line (GB18030, line break included or not). A line
// `variable=command(...)` is checked as its command.
LineCheckResult checkScriptLine(std::string_view rawLine);

enum class LineOutcome {
    Passed,        // executed and answered anything but "error"/"undefined"
    CheckFailed,   // rejected by a check, not executed
    Error,         // executed and answered "error"
    Undefined,     // executed and answered "undefined" (no element found)
};

struct LineResult;

// The outcome of a line the run stepped.
LineOutcome outcomeOf(const LineResult& result);

// What a marker's tooltip adds after the log entry (GB18030): "原因：" and
// why the line failed, from the executor's reason (an exception's message,
// a time-out) or, for "undefined", the missing element; empty otherwise.
std::string failureReasonText(LineOutcome outcome, std::string_view executorReason);

}  // namespace fillscript
