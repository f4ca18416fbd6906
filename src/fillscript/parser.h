#pragma once
// Line grammar of form-fill scripts, the checks against the catalogue and the
// run loop that writes one log entry per script line.
//
// A line is: name "(" argument { "," argument } ")". The name is everything
// before the first "(", the arguments are the text up to the last ")" split at
// every ",". There is no quoting, escaping or comment syntax.
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace fillscript {

// Full-width quotes, comma and parentheses become ASCII; with removeQuotes
// every '"' is dropped; spaces (0x20 and A1A1) are trimmed from both ends. Line
// breaks and tabs are not spaces, so a line's trailing CR LF stays.
std::string normaliseLine(std::string_view line, bool removeQuotes);

struct ParsedLine {
    std::string name;
    std::vector<std::string> args;  // trimmed
    int openPos = -1;   // 1-based position of the first "(", or -1
    int closePos = -1;  // 1-based position of the last ")", or -1
};

ParsedLine parseLine(std::string_view normalised);

// Runs one checked line (its name is known and its argument count matches)
// and gives the text to log.
class CommandExecutor {
public:
    virtual ~CommandExecutor() = default;
    virtual std::string execute(const std::string& name, const std::vector<std::string>& args) = 0;
    // Whether the page gave no answer in time to a script of the last line.
    virtual bool lastUnanswered() const { return false; }
    // Why the page failed the latest execute, when it said (an exception's
    // message, a time-out); empty otherwise. Never part of the log.
    virtual std::string failureReason() const { return {}; }
};

// The two check failures, each ending with CR LF; `line` counts from 1.
std::string unknownCommandMessage(int line);
std::string wrongArgumentCountMessage(int line, int needed, int given);
// The same texts without the line prefix and the line break.
std::string unknownCommandText();
std::string wrongArgumentCountText(int needed, int given);
// "第N行：", the start of every log entry.
std::string lineLogPrefix(int line);

struct RunResult {
    int lines = 0;         // lines processed (and logged)
    int failedChecks = 0;  // lines that failed a check and did not execute
};

// Walks `lines` (each a line as the editor holds it, line break included) in
// order; every line yields exactly one log entry through `appendToLog`: an
// error, or "第N行：" + the executor's result + CR LF. A failing line never
// stops the run; `stopRequested`, when given, is asked before each line and
// ends the run there when it answers true. Lines may use `{{name}}` and
// `name=command(...)` (see scriptrun.h); the variables live for this run,
// unless `values` is given: then the run starts from those values and leaves
// its variables there (a script run a few lines at a time).
RunResult runFillScript(const std::vector<std::string>& lines, CommandExecutor& executor,
                        const std::function<void(const std::string&)>& appendToLog,
                        const std::function<bool()>& stopRequested = {},
                        std::map<std::string, std::string>* values = nullptr);

// Splits a whole script into lines as the editor holds them: LF, CR LF or a
// lone CR ends a line and every line break becomes CR LF. An empty text is one
// empty line; a text that ends with a line break has an empty last line.
std::vector<std::string> scriptLines(std::string_view text);

}  // namespace fillscript
