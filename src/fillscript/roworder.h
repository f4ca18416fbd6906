#pragma once
// Rows of a data run finish in any order, on several views or processes;
// what the run hands out keeps row order. RowOrder does the holding back,
// RowRunner is what main() drives, in one process or with worker processes.
#include "fillscript/runreport.h"

#include <QObject>

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fillscript {

// Rows are known by their index in the run (0 first). Each line goes out as
// soon as its row is the first not yet done; a row goes out once all rows
// before it did.
class RowOrder {
public:
    using RowDone = std::function<void(const RowRecord&)>;
    using LineDone = std::function<void(int row, const LineRecord&)>;
    RowOrder(RowDone rowDone, LineDone lineDone) : rowDone_(std::move(rowDone)), lineDone_(std::move(lineDone)) {}

    // A line of the row at index (numbered row in the data) has ended.
    void lineEnded(std::size_t index, int row, const LineRecord& line);
    // The row runs again from its first line: the lines of the attempt
    // before are dropped (those already out stay out).
    void restarted(std::size_t index);
    void finished(std::size_t index, RowRecord record);
    // Hands out every finished row in order, over gaps (a stopped run).
    void flush();

private:
    void deliver(bool all);
    void stream(std::size_t index);

    RowDone rowDone_;
    LineDone lineDone_;
    std::size_t next_ = 0;                        // index of the next row to hand out
    std::map<std::size_t, RowRecord> underWay_;   // lines so far, of rows not finished
    std::map<std::size_t, RowRecord> finished_;
    std::map<std::size_t, std::size_t> streamed_; // index -> lines handed out
};

// A data run as main() drives it. Callbacks are set before exec().
class RowRunner : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Each row as soon as it is finished, in any order, before it is held
    // back for row order: what must be kept durably at once.
    void setRowFinished(std::function<void(const RowRecord&)> f) { rowFinished_ = std::move(f); }
    // Each line as soon as it ends, in row order, always before its row.
    void setLineDone(std::function<void(int row, const LineRecord&)> f) { lineDone_ = std::move(f); }
    // Each dialog the run answered, as it happens (any row order).
    void setDialogAnswered(std::function<void(int row, const AnsweredDialog&)> f) { dialogAnswered_ = std::move(f); }
    // Each attempt that failed for a reason not the script's, before the
    // row runs again (any row order).
    void setRetrying(std::function<void(int row, const Attempt&)> f) { retrying_ = std::move(f); }

    // Runs until every row is done, or stop() was called and the rows under
    // way finished their current line; rows cut short are not handed out.
    virtual void exec() = 0;
    virtual void stop() = 0;
    virtual bool stopped() const = 0;
    // The variables the script assigns: the values of RowRecord::variables.
    virtual const std::vector<std::string>& variables() const = 0;
    // The first thing that went wrong outside the rows (a screenshot not
    // written, workers that could not start): one line; empty when none.
    virtual QString runError() const = 0;

protected:
    // Tells rowFinished and hands the row to order.
    void finished(RowOrder& order, std::size_t index, RowRecord row)
    {
        if (rowFinished_)
            rowFinished_(row);
        order.finished(index, std::move(row));
    }

    std::function<void(const RowRecord&)> rowFinished_;
    std::function<void(int, const LineRecord&)> lineDone_;
    std::function<void(int, const AnsweredDialog&)> dialogAnswered_;
    std::function<void(int, const Attempt&)> retrying_;
};

}  // namespace fillscript
