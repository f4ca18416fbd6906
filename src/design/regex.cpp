#include "design/regex.h"

#include "runtime/textcodec.h"

namespace design {

bool RegexObject::execute(std::string_view pattern, std::string_view subject, bool caseSensitive,
                          bool multiLine, bool global, bool quoteToken)
{
    matches_.clear();
    hasExpression_ = true;
    global_ = global;

    pattern_ = rt::gbToQString(pattern);
    if (quoteToken)
        pattern_.replace(QStringLiteral(u"#引号"), QStringLiteral("\""));
    QRegularExpression::PatternOptions options = QRegularExpression::NoPatternOption;
    if (!caseSensitive)
        options |= QRegularExpression::CaseInsensitiveOption;
    if (multiLine)
        options |= QRegularExpression::MultilineOption;
    // "." keeps to one line, as in the ECMAScript dialect.
    expression_ = QRegularExpression(pattern_, options);

    subjectBytes_.assign(subject);
    const std::u16string wide = rt::gbToUtf16WithOffsets(subject, byteOffsets_);
    subject_ = QString(reinterpret_cast<const QChar*>(wide.data()), qsizetype(wide.size()));

    valid_ = expression_.isValid();
    if (!valid_)
        return false;

    auto take = [this](const QRegularExpressionMatch& m) {
        Match out;
        out.start = m.capturedStart(0);
        out.text = m.captured(0);
        for (int k = 1; k <= expression_.captureCount(); ++k) {
            out.groupStarts.push_back(m.capturedStart(k));
            out.groups.push_back(m.captured(k));
        }
        matches_.push_back(std::move(out));
    };
    if (global) {
        auto it = expression_.globalMatch(subject_);
        while (it.hasNext())
            take(it.next());
    } else {
        const QRegularExpressionMatch m = expression_.match(subject_);
        if (m.hasMatch())
            take(m);
    }
    return true;
}

std::string RegexObject::patternText() const
{
    return hasExpression_ ? rt::qstringToGb(pattern_) : std::string();
}

std::string RegexObject::replaceAll(std::string_view replacement) const
{
    if (!hasExpression_ || !valid_)
        return {};
    const QString rep = rt::gbToQString(replacement);
    const int groupCount = expression_.captureCount();
    QString out;
    qsizetype pos = 0;
    for (const Match& m : matches_) {
        out += QStringView(subject_).mid(pos, m.start - pos);
        for (qsizetype i = 0; i < rep.size(); ++i) {
            const QChar c = rep[i];
            if (c != u'$' || i + 1 >= rep.size()) {
                out += c;
                continue;
            }
            const QChar d = rep[i + 1];
            if (d == u'$') {
                out += u'$';
                ++i;
            } else if (d == u'&') {
                out += m.text;
                ++i;
            } else if (d == u'`') {
                out += QStringView(subject_).left(m.start);
                ++i;
            } else if (d == u'\'') {
                out += QStringView(subject_).mid(m.start + m.text.size());
                ++i;
            } else if (d.isDigit() && d.unicode() < 128) {
                // Two digits when that group exists, else one.
                int g = d.unicode() - '0';
                int used = 1;
                if (i + 2 < rep.size() && rep[i + 2].unicode() >= '0' && rep[i + 2].unicode() <= '9') {
                    const int g2 = g * 10 + (rep[i + 2].unicode() - '0');
                    if (g2 >= 1 && g2 <= groupCount) {
                        g = g2;
                        used = 2;
                    }
                }
                if (g >= 1 && g <= groupCount) {
                    out += m.groups.value(g - 1);
                    i += used;
                } else {
                    out += c;
                }
            } else {
                out += c;
            }
        }
        pos = m.start + m.text.size();
    }
    out += QStringView(subject_).mid(pos);
    return rt::qstringToGb(out);
}

int RegexObject::matchCount() const { return int(matches_.size()); }

int RegexObject::bytePosition(qsizetype utf16Index) const
{
    // The converter's offsets map each unit to the bytes it came from, so a
    // position costs one look-up and follows the subject even where its bytes
    // are malformed.
    if (utf16Index < 0)
        return -1;
    if (std::size_t(utf16Index) >= byteOffsets_.size())
        return int(subjectBytes_.size());
    return int(byteOffsets_[std::size_t(utf16Index)]);
}

std::string RegexObject::matchText(int n, int* position) const
{
    if (position)
        *position = -1;
    if (n < 1 || n > int(matches_.size()))
        return {};
    const Match& m = matches_[std::size_t(n - 1)];
    if (position)
        *position = bytePosition(m.start);
    return rt::qstringToGb(m.text);
}

std::string RegexObject::subMatchText(int n, int k, int* position) const
{
    if (position)
        *position = -1;
    if (n < 1 || n > int(matches_.size()))
        return {};
    const Match& m = matches_[std::size_t(n - 1)];
    if (k < 1 || k > int(m.groups.size()))
        return {};
    const QString& g = m.groups[k - 1];
    if (position)
        *position = bytePosition(m.groupStarts[std::size_t(k - 1)]);
    return rt::qstringToGb(g);
}

int RegexObject::subMatchCount() const
{
    return matches_.empty() ? 0 : int(matches_.front().groups.size());
}

}  // namespace design
