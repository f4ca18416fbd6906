#pragma once
// The one-line progress display of a long data run on standard error: rows
// done, passed, failed, retried, rate and time left, redrawn in place at
// least once a second.
#include <QElapsedTimer>

#include <cstdio>
#include <string>

namespace fillscript {

class ProgressLine {
public:
    // Draws only when `enabled` (standard error is a terminal) and there is
    // more than one row.
    ProgressLine(int totalRows, bool enabled, std::FILE* out = stderr);
    void rowDone(bool failed);
    // A row is run again.
    void rowRetried();
    // Redraws when the last drawing is a second old (call it more often).
    void tick();
    // Clears the line; the next row or tick draws it again.
    void finish();

    // The line's text after elapsedMs, without the terminal's controls.
    static std::string text(int done, int total, int failed, int retried, qint64 elapsedMs);

private:
    void draw();

    int total_;
    bool enabled_;
    std::FILE* out_;
    int done_ = 0;
    int failed_ = 0;
    int retried_ = 0;
    bool drawn_ = false;
    QElapsedTimer clock_;
    qint64 lastDraw_ = -1;
};

}  // namespace fillscript
