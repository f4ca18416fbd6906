#include "fillscript/reportmerge.h"

#include "runtime/fileio.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstdio>
#include <map>

namespace fillscript {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitRefused = 2;

// One row of a shard: its number and its records exactly as written.
struct ShardRow {
    int row = 0;
    QByteArray text;
    int tests = 0, failures = 0;  // JUnit only
};

struct Shard {
    const ShardFiles* files = nullptr;
    std::vector<ShardRow> rows;
    // JUnit: the report's text around the suites, its name and total time.
    QString prefix, suffix, suiteName;
    double seconds = 0;
    std::vector<QByteArray> outRecords;  // header first
};

struct Failure {
    QString message;
};

// Each script line runs the same command in every row of every shard; a
// shard of another script shows itself by a line that does not.
class ScriptCheck {
public:
    std::optional<Failure> see(int line, const QString& command, const QString& shard)
    {
        const auto [it, added] = commands_.emplace(line, std::make_pair(command, shard));
        if (added || it->second.first == command)
            return std::nullopt;
        return Failure{QStringLiteral("%1 and %2 come from different scripts (line %3 runs %4 in one, %5 in the other)")
                           .arg(it->second.second, shard)
                           .arg(line)
                           .arg(it->second.first, command)};
    }

private:
    std::map<int, std::pair<QString, QString>> commands_;
};

std::optional<Failure> readJsonLines(Shard& s, ScriptCheck& script)
{
    const std::string& bytes = s.files->report;
    const QString& name = s.files->reportName;
    if (!bytes.empty() && bytes.back() != '\n')
        return Failure{QStringLiteral("%1 ends in the middle of a record").arg(name)};
    QByteArray group;
    std::size_t start = 0;
    int lineNumber = 0, groupRow = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find('\n', start);
        const QByteArray line = QByteArray::fromStdString(bytes.substr(start, end - start));
        start = end + 1;
        ++lineNumber;
        QJsonParseError error;
        const QJsonObject rec = QJsonDocument::fromJson(line, &error).object();
        if (error.error != QJsonParseError::NoError || !rec.value("row").isDouble())
            return Failure{QStringLiteral("%1, line %2: not a JSON Lines report record").arg(name).arg(lineNumber)};
        const int row = rec.value("row").toInt();
        if (!group.isEmpty() && row != groupRow)
            return Failure{QStringLiteral("%1, line %2: row %3 ends without its row record").arg(name).arg(lineNumber).arg(groupRow)};
        groupRow = row;
        group += line + '\n';
        const QString type = rec.value("type").toString();
        if (type == "line") {
            if (auto f = script.see(rec.value("line").toInt(), rec.value("command").toString(), name))
                return f;
        }
        if (!s.rows.empty() && row <= s.rows.back().row)
            return Failure{QStringLiteral("%1, line %2: row %3 comes after row %4").arg(name).arg(lineNumber).arg(row).arg(s.rows.back().row)};
        if (type == "row") {
            s.rows.push_back({row, group});
            group.clear();
        }
    }
    if (!group.isEmpty())
        return Failure{QStringLiteral("%1 ends in the middle of a row").arg(name)};
    return std::nullopt;
}

// "row 12" -> 12, "line 3: command" -> {3, "command"}.
int numberAfter(QStringView text, QStringView prefix)
{
    return text.startsWith(prefix) ? text.mid(prefix.size()).toInt() : 0;
}

std::optional<Failure> readJUnit(Shard& s, ScriptCheck& script)
{
    const QString& name = s.files->reportName;
    const QString text = QString::fromUtf8(s.files->report);
    const auto notReport = [&](const QString& why) {
        return Failure{QStringLiteral("%1 is not a JUnit XML report of a run (%2)").arg(name, why)};
    };
    QXmlStreamReader xml(text);
    qsizetype suiteStart = -1, firstStart = -1, lastEnd = -1;
    bool sawRoot = false;
    ShardRow current;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QXmlStreamAttributes a = xml.attributes();
            if (xml.name() == u"testsuites" && !sawRoot) {
                sawRoot = true;
                s.suiteName = a.value("name").toString();
                s.seconds = a.value("time").toDouble();
            } else if (!sawRoot) {
                return notReport(QStringLiteral("it holds no testsuites"));
            } else if (xml.name() == u"testsuite") {
                if (suiteStart >= 0)
                    return notReport(QStringLiteral("a testsuite inside a testsuite"));
                suiteStart = text.lastIndexOf(QLatin1String("<testsuite"), xml.characterOffset() - 1);
                current = ShardRow{numberAfter(a.value("name"), u"row "), {}, a.value("tests").toInt(),
                                   a.value("failures").toInt()};
                if (current.row <= 0)
                    return notReport(QStringLiteral("a suite named \"%1\"").arg(a.value("name")));
                if (!s.rows.empty() && current.row <= s.rows.back().row)
                    return notReport(QStringLiteral("row %1 comes after row %2").arg(current.row).arg(s.rows.back().row));
            } else if (xml.name() == u"testcase") {
                const QStringView caseName = a.value("name");
                const int line = numberAfter(caseName, u"line ");
                const qsizetype colon = caseName.indexOf(u": ");
                if (line > 0 && colon > 0)
                    if (auto f = script.see(line, caseName.mid(colon + 2).toString(), name))
                        return f;
            }
        } else if (token == QXmlStreamReader::EndElement && xml.name() == u"testsuite") {
            const qsizetype end = xml.characterOffset();
            current.text = text.mid(suiteStart, end - suiteStart).toUtf8();
            if (firstStart < 0)
                firstStart = suiteStart;
            lastEnd = end;
            suiteStart = -1;
            s.rows.push_back(std::move(current));
        }
    }
    if (xml.hasError())
        return notReport(xml.errorString());
    if (!sawRoot)
        return notReport(QStringLiteral("it holds no testsuites"));
    if (firstStart >= 0) {
        s.prefix = text.left(firstStart);
        s.suffix = text.mid(lastEnd);
    } else {
        s.prefix = text;
    }
    return std::nullopt;
}

// The records of an --out file, each with its CR LF; a line break inside a
// quoted value belongs to its record.
std::optional<Failure> readOut(Shard& s)
{
    const std::string& bytes = *s.files->out;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        if (bytes[k] == '"')
            quoted = !quoted;
        else if (bytes[k] == '\n' && !quoted) {
            s.outRecords.push_back(QByteArray::fromStdString(bytes.substr(start, k + 1 - start)));
            start = k + 1;
        }
    }
    if (start != bytes.size() || s.outRecords.empty())
        return Failure{QStringLiteral("%1 is not a whole --out file").arg(s.files->outName)};
    if (s.outRecords.size() - 1 != s.rows.size())
        return Failure{QStringLiteral("%1 holds %2 rows, its report %3 holds %4")
                           .arg(s.files->outName)
                           .arg(s.outRecords.size() - 1)
                           .arg(s.files->reportName)
                           .arg(s.rows.size())};
    return std::nullopt;
}

// Every row from firstRow to lastRow once, in order; the shards sorted.
std::optional<Failure> checkRows(std::vector<Shard>& shards, int firstRow, int lastRow)
{
    std::stable_sort(shards.begin(), shards.end(), [](const Shard& a, const Shard& b) {
        return !a.rows.empty() && (b.rows.empty() || a.rows.front().row < b.rows.front().row);
    });
    const auto missing = [](int from, int to) {
        return Failure{from == to ? QStringLiteral("row %1 is in no report").arg(from)
                                  : QStringLiteral("rows %1-%2 are in no report").arg(from).arg(to)};
    };
    int next = firstRow;
    const Shard* previous = nullptr;
    for (const Shard& s : shards) {
        for (const ShardRow& r : s.rows) {
            if (r.row < firstRow)
                return Failure{QStringLiteral("row %1 of %2 is before row %3").arg(r.row).arg(s.files->reportName).arg(firstRow)};
            // Sorted by first row and whole so far: a row seen already is
            // one of the shard before.
            if (r.row < next)
                return Failure{QStringLiteral("row %1 is in both %2 and %3").arg(r.row).arg(previous->files->reportName, s.files->reportName)};
            if (r.row > next)
                return missing(next, r.row - 1);
            if (lastRow > 0 && r.row > lastRow)
                return Failure{QStringLiteral("row %1 of %2 is after row %3").arg(r.row).arg(s.files->reportName).arg(lastRow)};
            next = r.row + 1;
        }
        if (!s.rows.empty())
            previous = &s;
    }
    if (lastRow > 0 && next <= lastRow)
        return missing(next, lastRow);
    return std::nullopt;
}

// The JUnit document: the first shard's text around its suites, with the
// totals of all of them; the time is the sum of the shards' times.
std::string joinJUnit(const std::vector<Shard>& shards)
{
    const Shard* frame = nullptr;
    int tests = 0, failures = 0;
    double seconds = 0;
    for (const Shard& s : shards) {
        if (!frame && !s.rows.empty())
            frame = &s;
        seconds += s.seconds;
        for (const ShardRow& r : s.rows) {
            tests += r.tests;
            failures += r.failures;
        }
    }
    if (!frame)
        return shards.front().files->report;  // no rows anywhere: an empty run's report
    QString prefix = frame->prefix;
    const qsizetype root = prefix.indexOf(QLatin1String("<testsuites"));
    const auto setAttribute = [&](const QString& attribute, const QString& value) {
        // Attribute values hold no bare quotation mark, so the first match
        // after the element's start is the attribute itself.
        const QRegularExpression re(QStringLiteral(" %1=\"[^\"]*\"").arg(attribute));
        const QRegularExpressionMatch m = re.match(prefix, root);
        if (m.hasMatch())
            prefix.replace(m.capturedStart(), m.capturedLength(), QStringLiteral(" %1=\"%2\"").arg(attribute, value));
    };
    setAttribute("tests", QString::number(tests));
    setAttribute("failures", QString::number(failures));
    setAttribute("time", QString::number(seconds, 'f', 3));
    const QByteArray between = prefix.mid(prefix.lastIndexOf('\n')).toUtf8();
    QByteArray out = prefix.toUtf8();
    bool first = true;
    for (const Shard& s : shards)
        for (const ShardRow& r : s.rows) {
            if (!first)
                out += between;
            first = false;
            out += r.text;
        }
    out += frame->suffix.toUtf8();
    return out.toStdString();
}

bool looksLikeXml(const std::string& bytes)
{
    const std::size_t first = bytes.find_first_not_of(" \t\r\n");
    return first != std::string::npos && bytes[first] == '<';
}

void note(const QString& message)
{
    std::fprintf(stderr, "tolvane-fill: %s\n", message.toLocal8Bit().constData());
}

}  // namespace

ReportKind reportKindFor(const QString& path)
{
    return path.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive) ? ReportKind::JUnit : ReportKind::JsonLines;
}

MergeResult mergeShards(const std::vector<ShardFiles>& files, ReportKind kind, int firstRow, int lastRow)
{
    MergeResult result;
    const auto refuse = [&](const Failure& f) {
        result.error = QStringLiteral("cannot merge the reports: ") + f.message;
        return result;
    };
    if (files.empty())
        return refuse({QStringLiteral("no report to merge")});
    std::vector<Shard> shards;
    ScriptCheck script;
    const bool withOut = files.front().out.has_value();
    for (const ShardFiles& f : files) {
        Shard s;
        s.files = &f;
        if (looksLikeXml(f.report) != (kind == ReportKind::JUnit))
            return refuse({QStringLiteral("%1 is not a %2 report like the merged one")
                               .arg(f.reportName, kind == ReportKind::JUnit ? QStringLiteral("JUnit XML")
                                                                             : QStringLiteral("JSON Lines"))});
        if (auto failure = kind == ReportKind::JUnit ? readJUnit(s, script) : readJsonLines(s, script))
            return refuse(*failure);
        if (!shards.empty() && kind == ReportKind::JUnit && s.suiteName != shards.front().suiteName)
            return refuse({QStringLiteral("%1 and %2 come from different scripts (%3, %4)")
                               .arg(shards.front().files->reportName, f.reportName, shards.front().suiteName,
                                    s.suiteName)});
        if (withOut != f.out.has_value())
            return refuse({QStringLiteral("every report needs its --out file, or none")});
        if (withOut) {
            if (auto failure = readOut(s))
                return refuse(*failure);
            if (!shards.empty() && s.outRecords.front() != shards.front().outRecords.front())
                return refuse({QStringLiteral("%1 and %2 have different columns (%3, %4)")
                                   .arg(shards.front().files->outName, f.outName,
                                        QString::fromUtf8(shards.front().outRecords.front()).trimmed(),
                                        QString::fromUtf8(s.outRecords.front()).trimmed())});
        }
        shards.push_back(std::move(s));
    }
    if (auto failure = checkRows(shards, firstRow, lastRow))
        return refuse(*failure);

    if (kind == ReportKind::JUnit) {
        result.report = joinJUnit(shards);
    } else {
        for (const Shard& s : shards)
            for (const ShardRow& r : s.rows)
                result.report += r.text.toStdString();
    }
    if (withOut) {
        result.out = shards.front().outRecords.front().toStdString();
        for (const Shard& s : shards)
            for (std::size_t k = 1; k < s.outRecords.size(); ++k)
                result.out += s.outRecords[k].toStdString();
    }
    result.ok = true;
    return result;
}

namespace {

// "A-B", "A-" or "A" (lastRow 0: open).
bool readRange(const QString& text, int& firstRow, int& lastRow)
{
    static const QRegularExpression re(QStringLiteral("^([1-9][0-9]{0,8})(-([1-9][0-9]{0,8})?)?$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    firstRow = m.captured(1).toInt();
    lastRow = m.captured(2).isEmpty() ? firstRow : m.captured(3).toInt();
    return lastRow == 0 || lastRow >= firstRow;
}

}  // namespace

int mergeReportsCommand(const QStringList& args)
{
    const QString usage = QStringLiteral(
        "usage: tolvane-fill --merge-reports OUT IN... [--out OUT.csv IN.csv...] [--rows A-B]");
    QString report, out;
    QStringList reports, outs;
    int firstRow = 1, lastRow = 0;
    QStringList* list = &reports;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--out" && i + 1 < args.size() && out.isEmpty()) {
            out = args[++i];
            list = &outs;
        } else if (a == "--rows" && i + 1 < args.size()) {
            if (!readRange(args[++i], firstRow, lastRow)) {
                note(usage);
                return kExitRefused;
            }
            list = nullptr;
        } else if (a.startsWith(QLatin1String("--")) || !list) {
            note(usage);
            return kExitRefused;
        } else if (report.isEmpty()) {
            report = a;
        } else {
            list->append(a);
        }
    }
    if (report.isEmpty() || reports.isEmpty() || (!out.isEmpty() && outs.size() != reports.size())) {
        note(usage);
        return kExitRefused;
    }
    std::vector<ShardFiles> shards(std::size_t(reports.size()));
    for (qsizetype k = 0; k < reports.size(); ++k) {
        ShardFiles& s = shards[std::size_t(k)];
        s.reportName = reports[k];
        std::optional<std::string> bytes = rt::readWholeFile(reports[k]);
        if (!bytes) {
            note(QStringLiteral("cannot read the report %1").arg(reports[k]));
            return kExitRefused;
        }
        s.report = std::move(*bytes);
        if (!out.isEmpty()) {
            s.outName = outs[k];
            s.out = rt::readWholeFile(outs[k]);
            if (!s.out) {
                note(QStringLiteral("cannot read the output file %1").arg(outs[k]));
                return kExitRefused;
            }
        }
    }
    const MergeResult merged = mergeShards(shards, reportKindFor(report), firstRow, lastRow);
    if (!merged.ok) {
        note(merged.error);
        return kExitRefused;
    }
    // Written for the user alone, as the shards' reports were.
    const auto write = [](const QString& path, const std::string& bytes, const char* what) {
        const rt::WriteResult w = rt::writeFileAtomically(path, bytes, rt::Durability::Flushed, rt::Access::Private);
        if (!w.ok)
            note(QStringLiteral("cannot write the %1 %2: %3").arg(QLatin1String(what), path, w.error));
        return w.ok;
    };
    if (!write(report, merged.report, "report") || (!out.isEmpty() && !write(out, merged.out, "output file")))
        return kExitRefused;
    return kExitDone;
}

}  // namespace fillscript
