#pragma once
// What a data run and its worker processes say to each other over the
// worker's standard input and output: one JSON object a line, UTF-8, each
// object with exactly one member naming the message. The parent reads what
// a worker sends as untrusted: bounded lines, every member checked.
#include "fillscript/datarun.h"

#include <QByteArray>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fillscript {

// Longer lines end the worker that sent them.
constexpr qsizetype kMaxWorkerMessage = 32 * 1024 * 1024;

// To the worker: "setup" once, then "row" for each row it is to run, "stop"
// to cut the run short; the end of its input means no more rows.
struct ToWorker {
    enum Kind { Setup, Row, Stop } kind = Stop;
    DataRunSetup setup;  // Setup: everything but the rows
    int number = 0;      // Row: its number in the data
    std::vector<std::string> values;
    int retries = 0;
};
std::string setupMessage(const DataRunSetup& setup);
std::string rowMessage(int number, const std::vector<std::string>& values, int retries);
std::string stopMessage();
std::optional<ToWorker> readToWorker(std::string_view line);

// From the worker: "ready" once it has its setup, then for the row it
// holds: "line" as each line ends, "dialog" as each is answered, "retry"
// before the row runs again, "done" with the whole row; "error" once, for
// what went wrong outside a row (a screenshot not written).
struct FromWorker {
    enum Kind { Ready, Line, Dialog, Retry, Done, Error } kind = Ready;
    LineRecord line;
    AnsweredDialog dialog;
    Attempt attempt;
    RowRecord row;
    std::string error;
};
std::string readyMessage();
std::string lineMessage(const LineRecord& line);
std::string dialogMessage(const AnsweredDialog& d);
std::string retryMessage(const Attempt& a);
std::string doneMessage(const RowRecord& row);
std::string errorMessage(const std::string& gbText);
std::optional<FromWorker> readFromWorker(std::string_view line);

// Cuts a byte stream into lines of at most kMaxWorkerMessage bytes.
class MessageLines {
public:
    void append(const QByteArray& bytes) { buffer_ += bytes; }
    // The next whole line without its "\n"; nullopt when none is complete.
    std::optional<std::string> next();
    // A line too long to be a message has begun.
    bool overflowed() const;

private:
    QByteArray buffer_;
    qsizetype from_ = 0;
};

}  // namespace fillscript
