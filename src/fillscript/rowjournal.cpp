#include "fillscript/rowjournal.h"

#include "runtime/textcodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

namespace fillscript {
namespace {

QString q(const std::string& gb) { return rt::gbToQString(gb); }
std::string gb(const QJsonValue& v) { return rt::qstringToGb(v.toString()); }

QJsonArray texts(const std::vector<std::string>& list)
{
    QJsonArray a;
    for (const std::string& s : list)
        a.append(q(s));
    return a;
}

std::vector<std::string> texts(const QJsonValue& v)
{
    std::vector<std::string> out;
    for (const QJsonValue& s : v.toArray())
        out.push_back(gb(s));
    return out;
}

}  // namespace

QJsonObject lineJson(const LineRecord& l)
{
    const LineResult& o = l.outcome;
    return QJsonObject{{"line", o.line},
                       {"command", q(o.command)},
                       {"variable", q(o.variable)},
                       {"args", texts(o.args)},
                       {"check", q(o.checkError)},
                       {"result", q(o.result)},
                       {"us", double(o.micros)},
                       {"unknown", texts(o.unknownNames)},
                       {"unanswered", o.unanswered},
                       {"failed", l.status == LineStatus::Failed},
                       {"screenshot", q(l.screenshot)}};
}

LineRecord readLineJson(const QJsonObject& l)
{
    LineRecord rec;
    LineResult& r = rec.outcome;
    r.line = l.value("line").toInt();
    r.command = gb(l.value("command"));
    r.variable = gb(l.value("variable"));
    r.args = texts(l.value("args"));
    r.checkError = gb(l.value("check"));
    r.result = gb(l.value("result"));
    r.micros = std::int64_t(l.value("us").toDouble());
    r.unknownNames = texts(l.value("unknown"));
    r.unanswered = l.value("unanswered").toBool();
    rec.status = l.value("failed").toBool() ? LineStatus::Failed : LineStatus::Passed;
    rec.screenshot = gb(l.value("screenshot"));
    return rec;
}

QJsonObject dialogJson(const AnsweredDialog& d)
{
    return QJsonObject{{"line", d.line}, {"kind", q(d.kind)}, {"message", q(d.message)}};
}

AnsweredDialog readDialogJson(const QJsonObject& d)
{
    return {d.value("line").toInt(), gb(d.value("kind")), gb(d.value("message"))};
}

QJsonObject attemptJson(const Attempt& a) { return QJsonObject{{"reason", q(a.reason)}, {"us", double(a.micros)}}; }

Attempt readAttemptJson(const QJsonObject& a) { return {gb(a.value("reason")), std::int64_t(a.value("us").toDouble())}; }

QJsonObject rowJson(const RowRecord& row)
{
    QJsonArray lines, dialogs, attempts;
    for (const LineRecord& l : row.lines)
        lines.append(lineJson(l));
    for (const AnsweredDialog& d : row.dialogs)
        dialogs.append(dialogJson(d));
    for (const Attempt& a : row.attempts)
        attempts.append(attemptJson(a));
    QJsonObject o{{"row", row.row},
                  {"status", int(row.status)},
                  {"lines", lines},
                  {"variables", texts(row.variables)},
                  {"loadError", q(row.loadError)},
                  {"http", row.httpStatus},
                  {"dialogs", dialogs},
                  {"us", double(row.micros)}};
    // Only rows that have them carry these: older records stay as they were.
    if (!row.crash.empty())
        o.insert("crash", q(row.crash));
    if (!attempts.isEmpty())
        o.insert("attempts", attempts);
    return o;
}

std::optional<RowRecord> readRowJson(const QJsonObject& o)
{
    const int status = o.value("status").toInt(-1);
    if (!o.value("row").isDouble() || status < 0 || status > int(RowStatus::Crashed))
        return std::nullopt;
    RowRecord row;
    row.row = o.value("row").toInt();
    row.status = RowStatus(status);
    for (const QJsonValue& v : o.value("lines").toArray())
        row.lines.push_back(readLineJson(v.toObject()));
    row.variables = texts(o.value("variables"));
    row.loadError = gb(o.value("loadError"));
    row.httpStatus = o.value("http").toInt();
    for (const QJsonValue& v : o.value("dialogs").toArray())
        row.dialogs.push_back(readDialogJson(v.toObject()));
    row.crash = gb(o.value("crash"));
    for (const QJsonValue& v : o.value("attempts").toArray())
        row.attempts.push_back(readAttemptJson(v.toObject()));
    row.micros = std::int64_t(o.value("us").toDouble());
    return row;
}

std::string journalLine(const RowRecord& row)
{
    return QJsonDocument(rowJson(row)).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<RowRecord> readJournalLine(std::string_view line)
{
    QJsonParseError e;
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray(line.data(), qsizetype(line.size())), &e);
    if (e.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return readRowJson(doc.object());
}

QString RowJournal::pathFor(const QString& reportPath) { return reportPath + QStringLiteral(".rows"); }

bool RowJournal::open(const QString& path, bool resume)
{
    file_.setFileName(path);
    recorded_.clear();
    if (resume && file_.exists()) {
        if (!file_.open(QIODevice::ReadWrite)) {
            error_ = file_.errorString();
            return false;
        }
        const QByteArray all = file_.readAll();
        qsizetype kept = 0;  // bytes of whole records
        for (qsizetype from = 0; from < all.size();) {
            const qsizetype end = all.indexOf('\n', from);
            if (end < 0)
                break;  // the last record was cut short
            const std::optional<RowRecord> row =
                readJournalLine(std::string_view(all.constData() + from, std::size_t(end - from)));
            if (!row)
                break;
            recorded_.push_back(*row);
            kept = end + 1;
            from = end + 1;
        }
        if (kept != all.size() && !file_.resize(kept)) {
            error_ = file_.errorString();
            return false;
        }
        file_.seek(kept);
        return true;
    }
    // Made for the user alone, as the reports are.
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate,
                    QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        error_ = file_.errorString();
        return false;
    }
    return true;
}

bool RowJournal::append(const RowRecord& row)
{
    const QByteArray line = QByteArray::fromStdString(journalLine(row) + "\n");
    if (file_.write(line) != line.size() || !file_.flush() || ::fsync(file_.handle()) != 0) {
        error_ = file_.errorString();
        return false;
    }
    return true;
}

}  // namespace fillscript
