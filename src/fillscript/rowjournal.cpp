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

std::string journalLine(const RowRecord& row)
{
    QJsonArray lines;
    for (const LineRecord& l : row.lines) {
        const LineResult& o = l.outcome;
        lines.append(QJsonObject{{"line", o.line},
                                 {"command", q(o.command)},
                                 {"variable", q(o.variable)},
                                 {"args", texts(o.args)},
                                 {"check", q(o.checkError)},
                                 {"result", q(o.result)},
                                 {"us", double(o.micros)},
                                 {"unknown", texts(o.unknownNames)},
                                 {"unanswered", o.unanswered},
                                 {"failed", l.status == LineStatus::Failed},
                                 {"screenshot", q(l.screenshot)}});
    }
    QJsonArray dialogs;
    for (const AnsweredDialog& d : row.dialogs)
        dialogs.append(QJsonObject{{"line", d.line}, {"kind", q(d.kind)}, {"message", q(d.message)}});
    const QJsonObject o{{"row", row.row},
                        {"status", int(row.status)},
                        {"lines", lines},
                        {"variables", texts(row.variables)},
                        {"loadError", q(row.loadError)},
                        {"http", row.httpStatus},
                        {"dialogs", dialogs},
                        {"us", double(row.micros)}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<RowRecord> readJournalLine(std::string_view line)
{
    QJsonParseError e;
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray(line.data(), qsizetype(line.size())), &e);
    if (e.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    const int status = o.value("status").toInt(-1);
    if (!o.value("row").isDouble() || status < 0 || status > int(RowStatus::LoadFailed))
        return std::nullopt;
    RowRecord row;
    row.row = o.value("row").toInt();
    row.status = RowStatus(status);
    for (const QJsonValue& v : o.value("lines").toArray()) {
        const QJsonObject l = v.toObject();
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
        row.lines.push_back(std::move(rec));
    }
    row.variables = texts(o.value("variables"));
    row.loadError = gb(o.value("loadError"));
    row.httpStatus = o.value("http").toInt();
    for (const QJsonValue& v : o.value("dialogs").toArray()) {
        const QJsonObject d = v.toObject();
        row.dialogs.push_back({d.value("line").toInt(), gb(d.value("kind")), gb(d.value("message"))});
    }
    row.micros = std::int64_t(o.value("us").toDouble());
    return row;
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
