#include "fillscript/scriptrun.h"

#include "fillscript/catalogue.h"
#include "runtime/gbtext.h"
#include "runtime/textcodec.h"

#include <QChar>

#include <chrono>

namespace fillscript {
namespace {

bool isNameChar(std::string_view ch)
{
    if (ch.size() == 1) {
        const auto c = static_cast<unsigned char>(ch[0]);
        return c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    }
    const std::u16string u = rt::gbToUtf16(ch);
    char32_t cp = 0;
    if (u.size() == 1)
        cp = u[0];
    else if (u.size() == 2 && QChar::isHighSurrogate(u[0]) && QChar::isLowSurrogate(u[1]))
        cp = QChar::surrogateToUcs4(u[0], u[1]);
    // A malformed sequence decodes to U+FFFD, which is no letter.
    return cp != 0 && QChar::isLetterOrNumber(cp);
}

// Length of the variable name that starts at s[i] (0 when none).
std::size_t nameLength(std::string_view s, std::size_t i)
{
    std::size_t k = i;
    while (k < s.size()) {
        const std::size_t n = rt::gbCharLen(s, k);
        if (!isNameChar(s.substr(k, n)))
            break;
        k += n;
    }
    return k - i;
}

std::string_view trimAsciiSpaces(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

constexpr std::string_view kLiteralOpen = "{{{{}}";

}  // namespace

bool isVariableName(std::string_view name)
{
    return !name.empty() && nameLength(name, 0) == name.size();
}

std::optional<Assignment> splitAssignment(std::string_view name)
{
    const std::size_t eq = rt::gbFind(name, "=");
    if (eq == std::string_view::npos)
        return std::nullopt;
    const std::string_view variable = trimAsciiSpaces(name.substr(0, eq));
    const std::string_view command = trimAsciiSpaces(name.substr(eq + 1));
    if (!isVariableName(variable) || command.empty())
        return std::nullopt;
    return Assignment{std::string(variable), std::string(command)};
}

NamedCommand namedCommand(std::string_view name)
{
    NamedCommand c{std::string(name), {}, findParamCount(name)};
    if (c.needed == -1)
        if (const std::optional<Assignment> a = splitAssignment(name)) {
            if (const int n = findParamCount(a->command); n != -1)
                c = NamedCommand{a->command, a->variable, n};
        }
    return c;
}

std::vector<std::string> assignedVariables(const std::vector<std::string>& lines)
{
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const std::string& raw : lines) {
        const NamedCommand c = namedCommand(parseLine(normaliseLine(raw, true)).name);
        if (!c.variable.empty() && seen.insert(c.variable).second)
            names.push_back(c.variable);
    }
    return names;
}

std::string substitute(std::string_view arg, const std::map<std::string, std::string>& values,
                       std::set<std::string>& unknown)
{
    if (arg.find("{{") == std::string_view::npos)
        return std::string(arg);
    std::string out;
    std::size_t i = 0;
    while (i < arg.size()) {
        if (arg.compare(i, kLiteralOpen.size(), kLiteralOpen) == 0) {
            out += "{{";
            i += kLiteralOpen.size();
            continue;
        }
        if (arg.compare(i, 2, "{{") == 0) {
            const std::size_t n = nameLength(arg, i + 2);
            if (n > 0 && arg.compare(i + 2 + n, 2, "}}") == 0) {
                const std::string name(arg.substr(i + 2, n));
                const auto found = values.find(name);
                if (found != values.end()) {
                    out += found->second;
                } else {
                    unknown.insert(name);
                    out.append(arg, i, n + 4);
                }
                i += n + 4;
                continue;
            }
        }
        const std::size_t n = rt::gbCharLen(arg, i);
        out.append(arg, i, n);
        i += n;
    }
    return out;
}

std::string LineResult::logEntry() const
{
    return lineLogEntry(line, executed() ? result : checkError);
}

ScriptRun::ScriptRun(const std::vector<std::string>& lines, CommandExecutor& executor,
                     std::map<std::string, std::string> values)
    : lines_(lines), executor_(executor), values_(std::move(values)),
      // The editor always has at least one line.
      count_(lines.empty() ? 1 : lines.size())
{
}

LineResult ScriptRun::step()
{
    const auto started = std::chrono::steady_clock::now();
    LineResult o;
    o.line = int(next_) + 1;
    const std::string raw = lines_.empty() ? std::string() : lines_[next_];
    ++next_;
    const ParsedLine p = parseLine(normaliseLine(raw, true));
    const NamedCommand c = namedCommand(p.name);
    const int need = c.needed;
    o.command = c.command;
    o.variable = c.variable;
    std::set<std::string> unknown;
    for (const std::string& a : p.args)
        o.args.push_back(substitute(a, values_, unknown));
    o.unknownNames.assign(unknown.begin(), unknown.end());
    if (need == -1) {
        o.checkError = unknownCommandText();
    } else if (int(o.args.size()) != need) {
        o.checkError = wrongArgumentCountText(need, int(o.args.size()));
    } else {
        o.result = executor_.execute(o.command, o.args);
        o.unanswered = executor_.lastUnanswered();
        o.reason = executor_.failureReason();
        if (!o.variable.empty())
            values_[o.variable] = o.result;
    }
    o.micros = std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now() - started).count();
    return o;
}

RunResult runScriptToLog(const std::vector<std::string>& lines, CommandExecutor& executor,
                         const std::function<void(const std::string&)>& appendToLog,
                         const std::function<bool()>& stopRequested,
                         std::map<std::string, std::string>* values)
{
    RunResult r;
    ScriptRun run(lines, executor, values ? std::move(*values) : std::map<std::string, std::string>{});
    while (!run.atEnd()) {
        if (stopRequested && stopRequested())
            break;
        const LineResult o = run.step();
        ++r.lines;
        if (!o.executed())
            ++r.failedChecks;
        appendToLog(o.logEntry());
    }
    if (values)
        *values = run.values();
    return r;
}

}  // namespace fillscript
