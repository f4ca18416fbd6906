#include "fillscript/progress.h"

#include <string>

namespace fillscript {
namespace {

// A redraw at most this often: a terminal is slower than a fast run.
constexpr qint64 kRedrawMs = 250;

std::string clockText(qint64 seconds)
{
    char buf[32];
    if (seconds >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", seconds / 60, seconds % 60);
    return buf;
}

}  // namespace

ProgressLine::ProgressLine(int totalRows, bool enabled, std::FILE* out)
    : total_(totalRows), enabled_(enabled && totalRows > 1), out_(out)
{
    clock_.start();
}

void ProgressLine::rowDone(bool failed)
{
    ++done_;
    failed_ += failed;
    if (!enabled_)
        return;
    const qint64 now = clock_.elapsed();
    if (lastDraw_ >= 0 && now - lastDraw_ < kRedrawMs && done_ < total_)
        return;
    draw();
}

void ProgressLine::rowRetried() { ++retried_; }

void ProgressLine::tick()
{
    if (enabled_ && done_ < total_ && (lastDraw_ < 0 || clock_.elapsed() - lastDraw_ >= 1000 || !drawn_))
        draw();
}

std::string ProgressLine::text(int done, int total, int failed, int retried, qint64 elapsedMs)
{
    const double secs = double(elapsedMs) / 1000.0;
    const double rate = secs > 0 ? done / secs : 0;
    const std::string left = rate > 0 ? clockText(qint64((total - done) / rate + 0.5)) : "?";
    char buf[160];
    std::snprintf(buf, sizeof buf, "%d/%d rows, %d passed, %d failed, %d retried, %.1f rows/s, %s left", done, total,
                  done - failed, failed, retried, rate, left.c_str());
    return buf;
}

void ProgressLine::draw()
{
    lastDraw_ = clock_.elapsed();
    std::fprintf(out_, "\r%s\x1b[K", text(done_, total_, failed_, retried_, lastDraw_).c_str());
    std::fflush(out_);
    drawn_ = true;
}

void ProgressLine::finish()
{
    if (drawn_) {
        std::fprintf(out_, "\r\x1b[K");
        std::fflush(out_);
        drawn_ = false;
    }
}

}  // namespace fillscript
