#include "fillscript/runreport.h"

#include "runtime/textcodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamWriter>

namespace fillscript {
namespace {

QString text(const std::string& gb) { return rt::gbToQString(gb); }

double millis(std::int64_t micros) { return double(micros) / 1000.0; }

const char* rowStatusName(RowStatus s)
{
    switch (s) {
    case RowStatus::Passed: return "passed";
    case RowStatus::Failed: return "failed";
    case RowStatus::LoadFailed: return "load-failed";
    case RowStatus::Crashed: return "crashed";
    }
    return "";
}

int failedLines(const RowRecord& row)
{
    int n = 0;
    for (const LineRecord& l : row.lines)
        n += l.status == LineStatus::Failed;
    return n;
}

std::string jsonLine(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

// XML 1.0 cannot carry most control characters; page texts may hold them.
QString xmlSafe(QString s)
{
    for (QChar& c : s) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r')
            c = QChar(0xFFFD);
        else if (u == 0xFFFE || u == 0xFFFF)
            c = QChar(0xFFFD);
    }
    return s;
}

QString seconds(std::int64_t micros) { return QString::number(double(micros) / 1e6, 'f', 3); }

}  // namespace

LineStatus lineStatus(const LineResult& o, bool strict)
{
    if (!o.executed())
        return LineStatus::Failed;
    if (strict && (o.result == "error" || o.result == "undefined" || o.unanswered))
        return LineStatus::Failed;
    return LineStatus::Passed;
}

std::string dialogNote(const AnsweredDialog& d)
{
    return "answered " + d.kind + (d.message.empty() ? std::string() : ": " + d.message);
}

bool isFailingLine(const LineResult& o) { return lineStatus(o, true) == LineStatus::Failed; }

RowStatus rowStatus(const std::vector<LineRecord>& lines)
{
    for (const LineRecord& l : lines)
        if (l.status == LineStatus::Failed)
            return RowStatus::Failed;
    return RowStatus::Passed;
}

std::string retryReason(const RowRecord& row)
{
    switch (row.status) {
    case RowStatus::Passed:
        return {};
    case RowStatus::LoadFailed:
        return "the page failed to load" + (row.httpStatus ? " (HTTP " + std::to_string(row.httpStatus) + ")" : std::string());
    case RowStatus::Crashed:
        return row.crash;
    case RowStatus::Failed:
        break;
    }
    int unanswered = 0;
    for (const LineRecord& l : row.lines) {
        if (l.status != LineStatus::Failed)
            continue;
        if (!l.outcome.unanswered)
            return {};  // the script's own failure
        if (!unanswered)
            unanswered = l.outcome.line;
    }
    return unanswered ? "line " + std::to_string(unanswered) + " got no answer in time" : std::string();
}

std::string jsonLinesRecords(const RowRecord& row)
{
    std::string out;
    for (const LineRecord& l : row.lines) {
        const LineResult& o = l.outcome;
        QJsonObject rec{{"type", "line"},
                        {"row", row.row},
                        {"line", o.line},
                        {"command", text(o.command)},
                        {"result", text(o.result)},
                        {"check", text(o.checkError)},
                        {"ms", millis(o.micros)},
                        {"status", l.status == LineStatus::Passed ? "passed" : "failed"}};
        QJsonArray args;
        for (const std::string& a : o.args)
            args.append(text(a));
        rec.insert("args", args);
        if (!o.variable.empty())
            rec.insert("variable", text(o.variable));
        if (!l.screenshot.empty())
            rec.insert("screenshot", text(l.screenshot));
        if (o.unanswered)
            rec.insert("unanswered", true);
        QJsonArray dialogs;
        for (const AnsweredDialog& d : row.dialogs)
            if (d.line == o.line)
                dialogs.append(QJsonObject{{"kind", text(d.kind)}, {"message", text(d.message)}});
        if (!dialogs.isEmpty())
            rec.insert("dialogs", dialogs);
        if (!o.unknownNames.empty()) {
            QJsonArray unknown;
            for (const std::string& n : o.unknownNames)
                unknown.append(text(n));
            rec.insert("unknown", unknown);
        }
        out += jsonLine(rec);
    }
    QJsonObject rec{{"type", "row"},
                    {"row", row.row},
                    {"status", rowStatusName(row.status)},
                    {"lines", int(row.lines.size())},
                    {"failed", failedLines(row)},
                    {"ms", millis(row.micros)}};
    if (!row.loadError.empty())
        rec.insert("error", text(row.loadError));
    if (row.httpStatus)
        rec.insert("http", row.httpStatus);
    if (!row.crash.empty())
        rec.insert("error", text(row.crash));
    if (!row.attempts.empty()) {
        QJsonArray attempts;
        for (const Attempt& a : row.attempts)
            attempts.append(QJsonObject{{"reason", text(a.reason)}, {"ms", millis(a.micros)}});
        rec.insert("attempts", attempts);
    }
    QJsonArray loadDialogs;
    for (const AnsweredDialog& d : row.dialogs)
        if (d.line == 0)
            loadDialogs.append(QJsonObject{{"kind", text(d.kind)}, {"message", text(d.message)}});
    if (!loadDialogs.isEmpty())
        rec.insert("dialogs", loadDialogs);
    out += jsonLine(rec);
    return out;
}

namespace {

// A row whose page did not load or whose process ended counts as one failed
// test; otherwise each line is a test.
int testCount(const RowRecord& r)
{
    return r.status == RowStatus::LoadFailed || r.status == RowStatus::Crashed ? 1 : int(r.lines.size());
}

int failureCount(const RowRecord& r)
{
    return r.status == RowStatus::LoadFailed || r.status == RowStatus::Crashed ? 1 : failedLines(r);
}

// The dialogs answered on a line (0: while the page loaded), as system-err.
void writeDialogs(QXmlStreamWriter& w, const RowRecord& r, int line)
{
    QString notes;
    for (const AnsweredDialog& d : r.dialogs)
        if (d.line == line)
            notes += text(dialogNote(d)) + QLatin1Char('\n');
    if (!notes.isEmpty())
        w.writeTextElement("system-err", xmlSafe(notes));
}

}  // namespace

std::string junitReport(const std::vector<RowRecord>& rows, const std::string& suiteName)
{
    int tests = 0, failures = 0;
    std::int64_t micros = 0;
    for (const RowRecord& r : rows) {
        tests += testCount(r);
        failures += failureCount(r);
        micros += r.micros;
    }
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement("testsuites");
    w.writeAttribute("name", xmlSafe(text(suiteName)));
    w.writeAttribute("tests", QString::number(tests));
    w.writeAttribute("failures", QString::number(failures));
    w.writeAttribute("time", seconds(micros));
    for (const RowRecord& r : rows) {
        const QString rowName = QStringLiteral("row %1").arg(r.row);
        w.writeStartElement("testsuite");
        w.writeAttribute("name", rowName);
        w.writeAttribute("tests", QString::number(testCount(r)));
        w.writeAttribute("failures", QString::number(failureCount(r)));
        w.writeAttribute("time", seconds(r.micros));
        // The attempts run again, oldest first, as properties of the row.
        if (!r.attempts.empty()) {
            w.writeStartElement("properties");
            for (std::size_t k = 0; k < r.attempts.size(); ++k) {
                w.writeStartElement("property");
                w.writeAttribute("name", QStringLiteral("attempt %1").arg(k + 1));
                w.writeAttribute("value", xmlSafe(text(r.attempts[k].reason) +
                                                  QStringLiteral(" (%1 s)").arg(seconds(r.attempts[k].micros))));
                w.writeEndElement();
            }
            w.writeEndElement();
        }
        // A row that never reached its lines fails as one case of its own.
        const auto failedCase = [&](const char* name, const QString& message) {
            w.writeStartElement("testcase");
            w.writeAttribute("classname", rowName);
            w.writeAttribute("name", name);
            w.writeStartElement("failure");
            w.writeAttribute("message", xmlSafe(message));
            w.writeEndElement();
            w.writeEndElement();
        };
        if (r.status == RowStatus::Crashed)
            failedCase("row process", text(r.crash));
        if (r.status == RowStatus::LoadFailed)
            failedCase("page load", "the page failed to load: " + text(r.loadError) +
                                        (r.httpStatus ? QStringLiteral(" (HTTP %1)").arg(r.httpStatus) : QString()));
        for (const LineRecord& l : r.lines) {
            const LineResult& o = l.outcome;
            w.writeStartElement("testcase");
            w.writeAttribute("classname", rowName);
            w.writeAttribute("name", xmlSafe(QStringLiteral("line %1: ").arg(o.line) + text(o.command)));
            w.writeAttribute("time", seconds(o.micros));
            if (l.status == LineStatus::Failed) {
                w.writeStartElement("failure");
                w.writeAttribute("message", xmlSafe(o.unanswered ? QStringLiteral("the page gave no answer in time")
                                                                 : text(o.executed() ? o.result : o.checkError)));
                if (!l.screenshot.empty())
                    w.writeCharacters(xmlSafe("screenshot: " + text(l.screenshot)));
                w.writeEndElement();
            }
            w.writeTextElement("system-out", xmlSafe(text(o.logEntry())));
            writeDialogs(w, r, o.line);
            w.writeEndElement();
        }
        writeDialogs(w, r, 0);
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndDocument();
    return xml.toStdString();
}

}  // namespace fillscript
