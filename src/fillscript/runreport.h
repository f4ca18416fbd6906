#pragma once
// What a data-driven run records per row and per line, and the two report
// files made from it: JSON Lines (one record per line, then one per row) and
// JUnit XML (a test suite per row, a test case per line).
#include "fillscript/scriptrun.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fillscript {

enum class LineStatus { Passed, Failed };
// Crashed: the process running the row ended before the row did.
enum class RowStatus { Passed, Failed, LoadFailed, Crashed };

struct LineRecord {
    LineResult outcome;
    LineStatus status = LineStatus::Passed;
    std::string screenshot;  // file name in the screenshot folder, or empty
};

// A dialog the run answered itself: its line (0: while the page loaded),
// kind ("alert", "confirm", "prompt", "beforeunload", "file chooser") and
// message.
struct AnsweredDialog {
    int line = 0;
    std::string kind;
    std::string message;
};

// An attempt at a row that failed for a reason not the script's and was run
// again: why, and how long it took.
struct Attempt {
    std::string reason;
    std::int64_t micros = 0;
};

struct RowRecord {
    int row = 0;  // 1-based number in the data file (1 for a run without data)
    RowStatus status = RowStatus::Passed;
    std::vector<LineRecord> lines;
    std::vector<std::string> variables;  // values of the run's variables, in their order
    std::string loadError;               // the page address that failed to load
    int httpStatus = 0;                  // the server's error status for that load, else 0
    std::vector<AnsweredDialog> dialogs; // in the order they came
    std::string crash;                   // why the process running it ended (Crashed)
    std::vector<Attempt> attempts;       // the attempts before this one, oldest first
    std::int64_t micros = 0;
};

// A check failure always fails its line; with `strict` so do the results
// "error" and "undefined", and a line the page never answered.
LineStatus lineStatus(const LineResult& o, bool strict);
// Whether a screenshot is due: a check failure, "error" or "undefined".
bool isFailingLine(const LineResult& o);
// "answered alert: message" for the log's companion on standard error.
std::string dialogNote(const AnsweredDialog& d);
// Failed when one of its lines failed.
RowStatus rowStatus(const std::vector<LineRecord>& lines);
// Why a finished row may be run again on a fresh session: its page did not
// load, its process ended, or a line it failed on got no answer in time.
// Empty for a passed row and for one that failed a check or a result.
std::string retryReason(const RowRecord& row);

// The records of one row, UTF-8, each line ending with "\n".
std::string jsonLinesRecords(const RowRecord& row);
// A whole JUnit XML document for the rows, UTF-8; suiteName names the run
// (the script file).
std::string junitReport(const std::vector<RowRecord>& rows, const std::string& suiteName);

}  // namespace fillscript
