#include "fillscript/scriptlexer.h"

#include "fillscript/linecheck.h"
#include "runtime/textcodec.h"

#include <QFontDatabase>
#include <Qsci/qsciscintilla.h>

#include <string_view>

namespace fillscript {
namespace {

using B = QsciScintillaBase;

constexpr std::string_view kWideOpen = "\xEF\xBC\x88";   // （ in UTF-8
constexpr std::string_view kWideComma = "\xEF\xBC\x8C";  // ，
constexpr std::string_view kWideClose = "\xEF\xBC\x89";  // ）
constexpr std::string_view kWideSpace = "\xE3\x80\x80";  // the full-width space

bool at(std::string_view s, std::size_t i, std::string_view what)
{
    return s.substr(i, what.size()) == what;
}

// Length of the punctuation mark at i (ASCII or full-width), 0 for none.
std::size_t punctuationAt(std::string_view s, std::size_t i)
{
    if (s[i] == '(' || s[i] == ')' || s[i] == ',')
        return 1;
    if (at(s, i, kWideOpen) || at(s, i, kWideClose) || at(s, i, kWideComma))
        return 3;
    return 0;
}

}  // namespace

ScriptLexer::ScriptLexer(QObject* parent) : QsciLexerCustom(parent) {}

QString ScriptLexer::description(int style) const
{
    switch (style) {
    case Default: return QStringLiteral("Default");
    case Command: return QStringLiteral("Command");
    case Argument: return QStringLiteral("Argument");
    case Punctuation: return QStringLiteral("Punctuation");
    case UnknownCommand: return QStringLiteral("Unknown command");
    default: return QString();
    }
}

QColor ScriptLexer::defaultColor(int style) const
{
    switch (style) {
    case Command: return QColor(0, 0, 190);
    case Argument: return QColor(150, 60, 0);
    case Punctuation: return QColor(110, 110, 110);
    case UnknownCommand: return QColor(0, 0, 0);
    default: return QColor(0, 0, 0);
    }
}

QFont ScriptLexer::defaultFont(int style) const
{
    QFont f = QsciLexerCustom::defaultFont(style);
    if (style == Command)
        f.setBold(true);
    return f;
}

void ScriptLexer::styleText(int start, int end)
{
    QsciScintilla* ed = editor();
    if (!ed || end <= start)
        return;
    ed->SendScintilla(B::SCI_INDICSETSTYLE, (unsigned long)kCheckIndicator, long(B::INDIC_SQUIGGLE));
    ed->SendScintilla(B::SCI_INDICSETFORE, (unsigned long)kCheckIndicator, QColor(220, 0, 0));
    ed->SendScintilla(B::SCI_SETINDICATORCURRENT, (unsigned long)kCheckIndicator);

    // Whole lines, so that a line's name and arguments are seen together.
    const int firstLine = int(ed->SendScintilla(B::SCI_LINEFROMPOSITION, (unsigned long)start));
    const int lastLine = int(ed->SendScintilla(B::SCI_LINEFROMPOSITION, (unsigned long)(end - 1)));
    const long from = ed->SendScintilla(B::SCI_POSITIONFROMLINE, (unsigned long)firstLine);
    startStyling(int(from));
    for (int line = firstLine; line <= lastLine; ++line) {
        const long ls = ed->SendScintilla(B::SCI_POSITIONFROMLINE, (unsigned long)line);
        const long len = ed->SendScintilla(B::SCI_LINELENGTH, (unsigned long)line);
        std::string u8(std::size_t(std::max(0L, len)) + 1, '\0');
        ed->SendScintilla(B::SCI_GETLINE, (unsigned long)line, (void*)u8.data());
        u8.resize(std::size_t(std::max(0L, len)));
        const std::string_view s = u8;

        std::size_t body = s.size();
        while (body > 0 && (s[body - 1] == '\r' || s[body - 1] == '\n'))
            --body;
        std::size_t lead = 0;
        while (lead < body && (s[lead] == ' ' || at(s, lead, kWideSpace)))
            lead += s[lead] == ' ' ? 1 : kWideSpace.size();
        std::size_t open = lead;
        while (open < body && s[open] != '(' && !at(s, open, kWideOpen))
            ++open;

        const LineCheckResult check = checkScriptLine(rt::utf8ToGb(s));
        setStyling(int(lead), Default);
        setStyling(int(open - lead), check.check == LineCheck::UnknownCommand ? UnknownCommand : Command);
        for (std::size_t i = open; i < body;) {
            const std::size_t p = punctuationAt(s, i);
            std::size_t j = i + std::max<std::size_t>(p, 1);
            if (!p)
                while (j < body && !punctuationAt(s, j))
                    ++j;
            setStyling(int(j - i), p ? Punctuation : Argument);
            i = j;
        }
        setStyling(int(s.size() - body), Default);

        ed->SendScintilla(B::SCI_INDICATORCLEARRANGE, (unsigned long)ls, long(s.size()));
        if (body > lead && check.check != LineCheck::Ok) {
            // The name when it is unknown, else the arguments.
            const std::size_t a = check.check == LineCheck::UnknownCommand ? lead : open;
            const std::size_t b = check.check == LineCheck::UnknownCommand && open > lead ? open : body;
            if (b > a)
                ed->SendScintilla(B::SCI_INDICATORFILLRANGE, (unsigned long)(ls + long(a)), long(b - a));
        }
    }
}

}  // namespace fillscript
