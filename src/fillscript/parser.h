#pragma once
// Line grammar of form-fill scripts, the texts of the two check failures and
// of a log entry, and the executor a run hands its checked lines to. The run
// itself is in scriptrun.h.
//
// A line is: name "(" argument { "," argument } ")". The name is everything
// before the first "(", the arguments are the text up to the last ")" split at
// every ",". There is no quoting, escaping or comment syntax.
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
// A whole log entry: "第N行：" + `text` + CR LF.
std::string lineLogEntry(int line, std::string_view text);

// Splits a whole script into lines as the editor holds them: LF, CR LF or a
// lone CR ends a line and every line break becomes CR LF. An empty text is one
// empty line; a text that ends with a line break has an empty last line.
std::vector<std::string> scriptLines(std::string_view text);

}  // namespace fillscript
