#pragma once
// One script run taken a line at a time, with the values its lines may use:
// `{{name}}` in an argument stands for a column of the current data row or a
// variable, and a line `name=command(...)` keeps its command's result as the
// variable `name`. Both forms were errors or plain text before, so a script
// that uses neither runs exactly as it always did.
#include "fillscript/parser.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace fillscript {

// Letters, digits, "_" and Chinese characters (GB18030 text), at least one.
bool isVariableName(std::string_view name);

// A line's name part "var=command" (spaces around "=" allowed) split in two;
// nullopt when it is not of that form or var is no variable name.
struct Assignment {
    std::string variable;
    std::string command;
};
std::optional<Assignment> splitAssignment(std::string_view name);

// The command a line's name part calls, directly or after "variable=", and
// its catalogue argument count; for an unknown name the name itself, no
// variable and -1. The run and the editor's line check both use it.
struct NamedCommand {
    std::string command;
    std::string variable;
    int needed = -1;
};
NamedCommand namedCommand(std::string_view name);

// The variables a script assigns, in the order of their first assignment.
std::vector<std::string> assignedVariables(const std::vector<std::string>& lines);

// Replaces each `{{name}}` whose name has a value; other `{{name}}` stay as
// written and are added to `unknown`. `{{{{}}` is a literal "{{".
std::string substitute(std::string_view arg, const std::map<std::string, std::string>& values,
                       std::set<std::string>& unknown);

// What happened on one line.
struct LineResult {
    int line = 0;               // 1-based
    std::string command;        // the command name (without a variable)
    std::string variable;       // the variable the result went to, or empty
    std::vector<std::string> args;  // after substitution
    std::string checkError;     // e.g. "错误，不存在的命令"; empty when the line executed
    std::string result;         // the executor's result (empty when it did not execute)
    std::string reason;         // the executor's failureReason(), for display only
    std::int64_t micros = 0;    // time taken
    std::vector<std::string> unknownNames;  // `{{name}}` left as written on this line
    bool unanswered = false;    // the page gave no answer in time (an endless script)
    bool executed() const { return checkError.empty(); }
    // The code log entry: "第N行：" + result or error, CR LF. The one place a
    // line's result becomes log text; whoever needs more than the text reads
    // the fields above.
    std::string logEntry() const;
};

// A script run over `lines` (as the editor holds them) with a set of named
// values (a data row's columns, then the variables its lines assign). The
// executor and the values must outlive the run.
class ScriptRun {
public:
    ScriptRun(const std::vector<std::string>& lines, CommandExecutor& executor,
              std::map<std::string, std::string> values = {});
    bool atEnd() const { return next_ >= count_; }
    // Checks and runs the next line.
    LineResult step();
    const std::map<std::string, std::string>& values() const { return values_; }

private:
    const std::vector<std::string>& lines_;
    CommandExecutor& executor_;
    std::map<std::string, std::string> values_;
    std::size_t next_ = 0;
    std::size_t count_;
};

struct RunResult {
    int lines = 0;         // lines processed (and logged)
    int failedChecks = 0;  // lines that failed a check and did not execute
};

// Runs `lines` (each a line as the editor holds it, line break included) to
// the end with a ScriptRun; every line yields exactly one log entry through
// `appendToLog`: an error, or "第N行：" + the executor's result + CR LF. A
// failing line never stops the run; `stopRequested`, when given, is asked
// before each line and ends the run there when it answers true. The
// variables live for this run, unless `values` is given: then the run starts
// from those values and leaves its variables there.
RunResult runScriptToLog(const std::vector<std::string>& lines, CommandExecutor& executor,
                         const std::function<void(const std::string&)>& appendToLog,
                         const std::function<bool()>& stopRequested = {},
                         std::map<std::string, std::string>* values = nullptr);

}  // namespace fillscript
