#include "fillscript/roworder.h"

namespace fillscript {

void RowOrder::lineEnded(std::size_t index, int row, const LineRecord& line)
{
    RowRecord& r = underWay_[index];
    r.row = row;
    r.lines.push_back(line);
    if (index == next_)
        stream(index);
}

void RowOrder::restarted(std::size_t index)
{
    underWay_.erase(index);
    streamed_.erase(index);
}

void RowOrder::finished(std::size_t index, RowRecord record)
{
    underWay_.erase(index);
    finished_[index] = std::move(record);
    deliver(false);
}

void RowOrder::flush() { deliver(true); }

void RowOrder::stream(std::size_t index)
{
    const auto done = finished_.find(index);
    const RowRecord* r = nullptr;
    if (done != finished_.end()) {
        r = &done->second;
    } else {
        const auto going = underWay_.find(index);
        if (going == underWay_.end())
            return;
        r = &going->second;
    }
    std::size_t& out = streamed_[index];
    for (; out < r->lines.size(); ++out)
        if (lineDone_)
            lineDone_(r->row, r->lines[out]);
}

void RowOrder::deliver(bool all)
{
    while (!finished_.empty()) {
        const auto first = finished_.begin();
        if (!all && first->first != next_)
            break;
        const std::size_t index = first->first;
        next_ = index + 1;
        stream(index);
        streamed_.erase(index);
        const RowRecord r = std::move(first->second);
        finished_.erase(first);
        rowDone_(r);
    }
    // The row now first in order gives what it has done so far.
    stream(next_);
}

}  // namespace fillscript
