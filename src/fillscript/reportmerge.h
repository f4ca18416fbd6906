#pragma once
// Joins the reports of shards (runs of one script over ranges of rows of one
// data file, e.g. on several machines) into the report one run over all those
// rows writes. Each row's records are taken byte for byte from its shard; the
// merge only orders them, checks that every row is there exactly once and
// that the shards ran the same script, and sums the totals of a JUnit report.
// The rows' --out lines are joined the same way.
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace fillscript {

enum class ReportKind { JsonLines, JUnit };

// A report kind from its file name, as --report chooses it.
ReportKind reportKindFor(const QString& path);

struct ShardFiles {
    QString reportName;              // for messages
    std::string report;              // the report's bytes
    QString outName;
    std::optional<std::string> out;  // the shard's --out file, when merged too
};

struct MergeResult {
    bool ok = false;
    QString error;    // when !ok: one line naming the files and the fault
    std::string report;
    std::string out;  // when the shards have --out files
};

// The rows must run without a gap from firstRow (1 unless given) to lastRow
// (0: to the last row of any shard). Shards may come in any order; a shard
// with no rows (past the end of the table) adds nothing.
MergeResult mergeShards(const std::vector<ShardFiles>& shards, ReportKind kind, int firstRow = 1,
                        int lastRow = 0);

// tolvane-fill --merge-reports OUT IN... [--out OUT.csv IN.csv...] [--rows A-B]:
// reads the files, writes the merged ones and returns the exit status (0
// written, 2 refused or not written, with one line on standard error).
int mergeReportsCommand(const QStringList& args);

}  // namespace fillscript
