#include "fillscript/recordlines.h"

#include "fillscript/catalogue.h"
#include "fillscript/parser.h"
#include "runtime/gbtext.h"
#include "runtime/textcodec.h"

#include <QString>
#include <QtGlobal>

#include <initializer_list>

namespace fillscript {
namespace {

// Characters a line cannot carry inside an argument: separators, quotes
// (removed before a run), the escape character, line breaks, and the
// full-width forms the run turns into ASCII punctuation.
bool breaksArgument(char16_t c)
{
    switch (c) {
    case u',': case u'"': case u'\\': case u'\r': case u'\n':
    case u'\uFF0C': case u'\u201C': case u'\u201D': case u'\uFF08': case u'\uFF09':
        return true;
    default:
        return c < 0x20;
    }
}

// A run reads "{{name}}" in an argument as a data column or variable and
// "{{{{}}" as a literal "{{"; every "{{" written as "{{{{}}" reads back as
// itself, in plain and data runs alike.
std::string literal(const std::string& gbText)
{
    if (gbText.find("{{") == std::string::npos)
        return gbText;
    std::string out;
    for (std::size_t i = 0; i < gbText.size();) {
        if (gbText.compare(i, 2, "{{") == 0) {
            out += "{{{{}}";
            i += 2;
        } else {
            // By whole characters: a GB18030 trail byte may be "{".
            const std::size_t n = rt::gbCharLen(gbText, i);
            out.append(gbText, i, n);
            i += n;
        }
    }
    return out;
}

using Arguments = std::vector<std::string>;

// The locator's first two arguments: tag and key.
Arguments head(const RecordedLocator& l)
{
    return {literal(l.tag), literal(l.key)};
}

// The locator's last five arguments: skip count, frame, attribute, member
// step (none) and the encoding flag. The flag is written out: an empty last
// argument would be dropped with the comma before it.
Arguments tail(const RecordedLocator& l)
{
    return {std::to_string(l.skip), literal(l.frame), literal(l.attribute), std::string(), rt::gb("假")};
}

// The line of the command in table row `row`: its name and the arguments,
// which must be as many as the table gives it.
std::string line(std::size_t row, std::initializer_list<Arguments> parts)
{
    std::string out = commandName(row) + '(';
    int count = 0;
    for (const Arguments& part : parts)
        for (const std::string& argument : part)
            out += (count++ ? "," : "") + argument;
    Q_ASSERT(count == kCommands[row].count);
    return out + ')';
}

}  // namespace

bool fitsOneArgument(const std::string& gbText)
{
    const QString t = rt::gbToQString(gbText);
    for (const QChar c : t)
        if (breaksArgument(c.unicode()))
            return false;
    // Spaces at either end are trimmed away by the run.
    return normaliseLine(gbText, true) == gbText;
}

std::string scriptStringExpression(const std::string& gbText)
{
    const QString t = rt::gbToQString(gbText);
    QString out;
    QString run;
    const auto flush = [&] {
        if (!run.isEmpty()) {
            out += (out.isEmpty() ? QString() : QStringLiteral("+")) + QLatin1Char('\'') + run + QLatin1Char('\'');
            run.clear();
        }
    };
    for (const QChar c : t) {
        if (breaksArgument(c.unicode()) || c == QLatin1Char('\'') || c == QChar(0x3000) ||
            c == QLatin1Char(' ')) {
            flush();
            out += (out.isEmpty() ? QString() : QStringLiteral("+")) +
                   QStringLiteral("String.fromCharCode(%1)").arg(int(c.unicode()));
        } else {
            run += c;
        }
    }
    flush();
    return out.isEmpty() ? std::string("''") : rt::qstringToGb(out);
}

std::vector<std::string> linesForAction(const RecordedAction& a)
{
    const RecordedLocator& l = a.locator;
    switch (a.kind) {
    case RecordedAction::Write: {
        const std::string write =
            fitsOneArgument(a.value)
                ? line(commandRow("填表操作_写内容"), {head(l), {literal(a.value)}, tail(l)})
                : line(commandRow("填表操作_执行自定义代码_返回值"),
                       {head(l), {"value=" + literal(scriptStringExpression(a.value))}, tail(l)});
        // Pages that follow their fields through events learn of the value.
        return {write, line(commandRow("填表事件_改变内容"), {head(l), tail(l)})};
    }
    case RecordedAction::Select:
        if (fitsOneArgument(a.value))
            return {line(commandRow("填表操作_置组合框按内容选中"), {head(l), {literal(a.value)}, tail(l)})};
        return {line(commandRow("填表操作_置组合框索引"), {head(l), {std::to_string(a.index)}, tail(l)})};
    case RecordedAction::Check:
        return {line(commandRow("填表操作_置选中状态"), {head(l), {rt::gb(a.checked ? "真" : "假")}, tail(l)})};
    case RecordedAction::Click:
        return {line(commandRow("填表事件_点击"), {head(l), tail(l)})};
    case RecordedAction::Navigate: {
        // A comma would split the address; %2C means the same to the server.
        std::string url;
        for (const char c : a.value)
            url += c == ',' ? std::string("%2C") : std::string(1, c);
        return {line(commandRow("填表_跳转地址"), {{literal(url)}})};
    }
    }
    return {};
}

}  // namespace fillscript
