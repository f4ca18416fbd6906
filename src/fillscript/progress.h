#pragma once
// The one-line progress display of a long data run on standard error: rows
// done, failed, rate and time left, redrawn in place a few times a second.
#include <QElapsedTimer>

#include <cstdio>

namespace fillscript {

class ProgressLine {
public:
    // Draws only when `enabled` (standard error is a terminal) and there is
    // more than one row.
    ProgressLine(int totalRows, bool enabled, std::FILE* out = stderr);
    void rowDone(bool failed);
    // Clears the line.
    void finish();

private:
    void draw();

    int total_;
    bool enabled_;
    std::FILE* out_;
    int done_ = 0;
    int failed_ = 0;
    bool drawn_ = false;
    QElapsedTimer clock_;
    qint64 lastDraw_ = -1;
};

}  // namespace fillscript
