#pragma once
// RegexObject: runs a regular expression over a text and hands out the
// matches one by one. Texts in and out are GB18030 byte text; positions are
// 0-based byte offsets into the subject.
#include <QRegularExpression>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace design {

class RegexObject {
public:
    // Compiles `pattern` and runs it over `subject`. Case is ignored unless
    // `caseSensitive`; `multiLine` lets ^ and $ match at line breaks; with
    // `global` every match is collected, otherwise only the first. With
    // `quoteToken` every "#引号" in the pattern stands for a double quote.
    // False when the pattern does not compile (then there are no matches).
    bool execute(std::string_view pattern, std::string_view subject, bool caseSensitive = false,
                 bool multiLine = true, bool global = true, bool quoteToken = false);

    // The pattern of the last execute (after "#引号" replacement); empty before.
    std::string patternText() const;
    // The subject with the matches replaced ($1..$99, $&, $`, $', $$ expand);
    // empty when the last execute failed or there was none.
    std::string replaceAll(std::string_view replacement) const;
    int matchCount() const;
    // Match n (1-based); empty when there is no such match. `position`, when
    // given, receives its byte offset in the subject, -1 when none.
    std::string matchText(int n, int* position = nullptr) const;
    // Captured group k (1-based) of match n (1-based); empty when absent.
    std::string subMatchText(int n, int k, int* position = nullptr) const;
    // Number of captured groups of the first match; 0 when there is no match.
    int subMatchCount() const;

private:
    struct Match {
        qsizetype start = 0;  // UTF-16 index in subject_
        QString text;
        std::vector<qsizetype> groupStarts;  // -1 for a group that took no part
        QStringList groups;
    };
    int bytePosition(qsizetype utf16Index) const;

    bool hasExpression_ = false;
    bool valid_ = false;
    bool global_ = true;
    QRegularExpression expression_;
    QString pattern_;
    QString subject_;
    std::string subjectBytes_;
    std::vector<std::int32_t> byteOffsets_;  // byte offset of each UTF-16 unit of subject_
    std::vector<Match> matches_;
};

}  // namespace design
