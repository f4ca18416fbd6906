#include "fillscript/workerprotocol.h"

#include "fillscript/rowjournal.h"
#include "runtime/textcodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace fillscript {
namespace {

std::string message(const char* name, const QJsonValue& value)
{
    return QJsonDocument(QJsonObject{{name, value}}).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

QJsonArray texts(const std::vector<std::string>& list)
{
    QJsonArray a;
    for (const std::string& s : list)
        a.append(rt::gbToQString(s));
    return a;
}

// Every element a string; nullopt otherwise.
std::optional<std::vector<std::string>> readTexts(const QJsonValue& v)
{
    if (!v.isArray())
        return std::nullopt;
    std::vector<std::string> out;
    for (const QJsonValue& s : v.toArray()) {
        if (!s.isString())
            return std::nullopt;
        out.push_back(rt::qstringToGb(s.toString()));
    }
    return out;
}

bool isCount(const QJsonValue& v, double max = 1e9)
{
    return v.isDouble() && v.toDouble() >= 0 && v.toDouble() <= max && v.toDouble() == double(qint64(v.toDouble()));
}

// The one member of a message object: its name and value.
std::optional<std::pair<QString, QJsonValue>> member(std::string_view line)
{
    QJsonParseError e;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(line.data(), qsizetype(line.size())), &e);
    if (e.error != QJsonParseError::NoError || !doc.isObject() || doc.object().size() != 1)
        return std::nullopt;
    const QJsonObject o = doc.object();
    return std::pair{o.begin().key(), o.begin().value()};
}

bool lineShape(const QJsonValue& v)
{
    const QJsonObject l = v.toObject();
    return v.isObject() && isCount(l.value("line")) && l.value("command").isString() && l.value("result").isString() &&
           l.value("check").isString() && l.value("failed").isBool() && l.value("args").isArray() &&
           readTexts(l.value("args")) && readTexts(l.value("unknown"));
}

bool dialogShape(const QJsonValue& v)
{
    const QJsonObject d = v.toObject();
    return v.isObject() && isCount(d.value("line")) && d.value("kind").isString() && d.value("message").isString();
}

bool attemptShape(const QJsonValue& v)
{
    const QJsonObject a = v.toObject();
    return v.isObject() && a.value("reason").isString() && isCount(a.value("us"), 1e15);
}

bool rowShape(const QJsonValue& v)
{
    const QJsonObject r = v.toObject();
    if (!v.isObject() || !isCount(r.value("row")) || !r.value("lines").isArray() || !readTexts(r.value("variables")) ||
        !r.value("dialogs").isArray() || !isCount(r.value("us"), 1e15))
        return false;
    for (const QJsonValue& l : r.value("lines").toArray())
        if (!lineShape(l))
            return false;
    for (const QJsonValue& d : r.value("dialogs").toArray())
        if (!dialogShape(d))
            return false;
    for (const QJsonValue& a : r.value("attempts").toArray())
        if (!attemptShape(a))
            return false;
    return true;
}

}  // namespace

std::string setupMessage(const DataRunSetup& s)
{
    return message("setup", QJsonObject{{"lines", texts(s.scriptLines)},
                                        {"page", rt::gbToQString(s.pageAddress)},
                                        {"columns", texts(s.columns)},
                                        {"strict", s.strict},
                                        {"screenshots", s.screenshotDir},
                                        {"loadTimeoutMs", s.loadTimeoutMs},
                                        {"dialogs", s.dialogs},
                                        {"fileFolder", s.fileFolder},
                                        {"allowHttpErrors", s.allowHttpErrors},
                                        {"keepSession", s.keepSession}});
}

std::string rowMessage(int number, const std::vector<std::string>& values, int retries)
{
    return message("row", QJsonObject{{"number", number}, {"values", texts(values)}, {"retries", retries}});
}

std::string stopMessage() { return message("stop", true); }

std::optional<ToWorker> readToWorker(std::string_view line)
{
    const auto m = member(line);
    if (!m)
        return std::nullopt;
    const auto& [name, value] = *m;
    const QJsonObject o = value.toObject();
    ToWorker w;
    if (name == "setup" && value.isObject()) {
        w.kind = ToWorker::Setup;
        const auto lines = readTexts(o.value("lines"));
        const auto columns = readTexts(o.value("columns"));
        if (!lines || !columns || !o.value("page").isString() || !isCount(o.value("loadTimeoutMs")))
            return std::nullopt;
        DataRunSetup& s = w.setup;
        s.scriptLines = *lines;
        s.pageAddress = rt::qstringToGb(o.value("page").toString());
        s.columns = *columns;
        s.strict = o.value("strict").toBool();
        s.screenshotDir = o.value("screenshots").toString();
        s.loadTimeoutMs = o.value("loadTimeoutMs").toInt();
        s.dialogs = o.value("dialogs").toInt(1);
        s.fileFolder = o.value("fileFolder").toString();
        s.allowHttpErrors = o.value("allowHttpErrors").toBool();
        s.keepSession = o.value("keepSession").toBool();
        return w;
    }
    if (name == "row" && value.isObject()) {
        w.kind = ToWorker::Row;
        const auto values = readTexts(o.value("values"));
        if (!values || !isCount(o.value("number")) || !isCount(o.value("retries"), 1000))
            return std::nullopt;
        w.number = o.value("number").toInt();
        w.values = *values;
        w.retries = o.value("retries").toInt();
        return w;
    }
    if (name == "stop" && value.isBool())
        return w;
    return std::nullopt;
}

std::string readyMessage() { return message("ready", true); }
std::string lineMessage(const LineRecord& line) { return message("line", lineJson(line)); }
std::string dialogMessage(const AnsweredDialog& d) { return message("dialog", dialogJson(d)); }
std::string retryMessage(const Attempt& a) { return message("retry", attemptJson(a)); }
std::string doneMessage(const RowRecord& row) { return message("done", rowJson(row)); }
std::string errorMessage(const std::string& gbText) { return message("error", rt::gbToQString(gbText)); }

std::optional<FromWorker> readFromWorker(std::string_view line)
{
    const auto m = member(line);
    if (!m)
        return std::nullopt;
    const auto& [name, value] = *m;
    FromWorker f;
    if (name == "ready" && value.isBool()) {
        f.kind = FromWorker::Ready;
    } else if (name == "line" && lineShape(value)) {
        f.kind = FromWorker::Line;
        f.line = readLineJson(value.toObject());
    } else if (name == "dialog" && dialogShape(value)) {
        f.kind = FromWorker::Dialog;
        f.dialog = readDialogJson(value.toObject());
    } else if (name == "retry" && attemptShape(value)) {
        f.kind = FromWorker::Retry;
        f.attempt = readAttemptJson(value.toObject());
    } else if (name == "done" && rowShape(value)) {
        f.kind = FromWorker::Done;
        const std::optional<RowRecord> row = readRowJson(value.toObject());
        if (!row)
            return std::nullopt;
        f.row = *row;
    } else if (name == "error" && value.isString()) {
        f.kind = FromWorker::Error;
        f.error = rt::qstringToGb(value.toString());
    } else {
        return std::nullopt;
    }
    return f;
}

std::optional<std::string> MessageLines::next()
{
    const qsizetype end = buffer_.indexOf('\n', from_);
    if (end < 0 || end - from_ > kMaxWorkerMessage) {
        // Keep only what is not taken yet.
        if (from_ > 0) {
            buffer_.remove(0, from_);
            from_ = 0;
        }
        return std::nullopt;
    }
    std::string line(buffer_.constData() + from_, std::size_t(end - from_));
    from_ = end + 1;
    return line;
}

bool MessageLines::overflowed() const
{
    const qsizetype end = buffer_.indexOf('\n', from_);
    return (end < 0 ? buffer_.size() : end) - from_ > kMaxWorkerMessage;
}

}  // namespace fillscript
