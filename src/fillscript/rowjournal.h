#pragma once
// The durable record of a data run: one line of JSON per finished row,
// appended and synced to disk before the row counts as done, so that a run
// killed at any moment keeps every row it finished and can be resumed. The
// reports are made from these records.
#include "fillscript/runreport.h"

#include <QFile>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fillscript {

// One row as one line (UTF-8 JSON, no line break inside), and back; nullopt
// for a line that is not a whole record (cut short by a crash).
std::string journalLine(const RowRecord& row);
std::optional<RowRecord> readJournalLine(std::string_view line);
// The parts of a record as JSON objects, and back (the worker processes send
// lines, dialogs and attempts as they happen).
QJsonObject lineJson(const LineRecord& line);
LineRecord readLineJson(const QJsonObject& o);
QJsonObject dialogJson(const AnsweredDialog& d);
AnsweredDialog readDialogJson(const QJsonObject& o);
QJsonObject attemptJson(const Attempt& a);
Attempt readAttemptJson(const QJsonObject& o);
QJsonObject rowJson(const RowRecord& row);
std::optional<RowRecord> readRowJson(const QJsonObject& o);

class RowJournal {
public:
    // The journal kept beside a report file.
    static QString pathFor(const QString& reportPath);

    // Opens path for appending; with resume the rows recorded so far are
    // read (a last line cut short is dropped from the file), otherwise the
    // file starts empty. False, with error set, when it cannot be opened.
    bool open(const QString& path, bool resume);
    const std::vector<RowRecord>& recorded() const { return recorded_; }
    // Appends the row and waits until it is on disk; false when it is not.
    bool append(const RowRecord& row);
    QString error() const { return error_; }

private:
    QFile file_;
    std::vector<RowRecord> recorded_;
    QString error_;
};

}  // namespace fillscript
