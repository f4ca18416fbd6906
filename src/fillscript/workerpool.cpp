#include "fillscript/workerpool.h"

#include <QEventLoop>
#include <QProcess>
#include "runtime/textcodec.h"

#include <algorithm>

namespace fillscript {

struct WorkerPool::Worker {
    QProcess process;
    MessageLines lines;
    bool ready = false;                // it has said it has its setup
    std::optional<std::size_t> row;    // the row index it holds
    QElapsedTimer clock;               // since it was given that row
    bool gone = false;                 // ended, or told to end
};

WorkerPool::WorkerPool(DataRunSetup setup, QString program, QStringList arguments,
                       std::function<void(const RowRecord&)> rowDone)
    : setup_(std::move(setup)), program_(std::move(program)), arguments_(std::move(arguments)),
      order_(std::move(rowDone), [this](int row, const LineRecord& l) {
          if (lineDone_)
              lineDone_(row, l);
      }),
      variables_(assignedVariables(setup_.scriptLines)),
      retriesLeft_(setup_.rows.size(), std::max(0, setup_.retries)), earlier_(setup_.rows.size())
{
    for (std::size_t k = 0; k < setup_.rows.size(); ++k)
        queue_.push_back(k);
}

WorkerPool::~WorkerPool()
{
    for (auto& w : workers_) {
        w->process.disconnect();
        if (w->process.state() != QProcess::NotRunning) {
            w->process.kill();
            w->process.waitForFinished(5000);
        }
    }
}

int WorkerPool::number(std::size_t index) const
{
    return index < setup_.rowNumbers.size() ? setup_.rowNumbers[index] : setup_.firstRowNumber + int(index);
}

void WorkerPool::exec()
{
    const int n = std::min<int>(std::max(1, setup_.jobs), int(queue_.size()));
    for (int k = 0; k < n; ++k)
        startWorker();
    QEventLoop loop;
    quit_ = [&loop] { loop.quit(); };
    if (!workers_.empty())
        loop.exec();
    quit_ = nullptr;
    order_.flush();
}

void WorkerPool::stop()
{
    stopping_ = true;
    for (auto& w : workers_)
        if (!w->gone && w->process.state() == QProcess::Running) {
            // It ends after its current line; the row it held is not handed out.
            const std::string bye = stopMessage();
            w->process.write(bye.data(), qint64(bye.size()));
            w->process.closeWriteChannel();
        }
}

void WorkerPool::startWorker()
{
    auto owned = std::make_unique<Worker>();
    Worker* w = owned.get();
    workers_.push_back(std::move(owned));
    // Its standard error is the user's: the engine's own fatal messages.
    w->process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&w->process, &QProcess::readyReadStandardOutput, this, [this, w] { readFrom(*w); });
    connect(&w->process, &QProcess::finished, this, [this, w] {
        readFrom(*w);  // what it sent before it ended
        ended(w);
    });
    connect(&w->process, &QProcess::errorOccurred, this, [this, w](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            ended(w);
    });
    w->process.start(program_, arguments_);
    DataRunSetup header = setup_;
    header.rows.clear();
    const std::string setup = setupMessage(header);
    w->process.write(setup.data(), qint64(setup.size()));
}

void WorkerPool::giveRow(Worker& w)
{
    if (stopping_ || queue_.empty()) {
        // Nothing more for it: the end of its input ends it.
        w.process.closeWriteChannel();
        return;
    }
    const std::size_t index = queue_.front();
    queue_.pop_front();
    w.row = index;
    w.clock.start();
    order_.restarted(index);
    const std::string row = rowMessage(number(index), setup_.rows[index], retriesLeft_[index]);
    w.process.write(row.data(), qint64(row.size()));
}

void WorkerPool::readFrom(Worker& w)
{
    if (w.gone)
        return;
    w.lines.append(w.process.readAllStandardOutput());
    while (const std::optional<std::string> line = w.lines.next()) {
        const std::optional<FromWorker> m = readFromWorker(*line);
        if (!m || !take(w, *m)) {
            failRow(w, "the worker process sent a malformed message");
            return;
        }
    }
    if (w.lines.overflowed())
        failRow(w, "the worker process sent a malformed message");
}

// False for a message that does not fit what the worker is doing.
bool WorkerPool::take(Worker& w, const FromWorker& m)
{
    if (m.kind == FromWorker::Ready) {
        if (w.ready)
            return false;
        w.ready = true;
        giveRow(w);
        return true;
    }
    if (m.kind == FromWorker::Error) {
        setError(rt::gbToQString(m.error).left(4096));
        return true;
    }
    if (!w.row)
        return false;
    const std::size_t index = *w.row;
    const int row = number(index);
    switch (m.kind) {
    case FromWorker::Line:
        order_.lineEnded(index, row, m.line);
        return true;
    case FromWorker::Dialog:
        if (dialogAnswered_)
            dialogAnswered_(row, m.dialog);
        return true;
    case FromWorker::Retry:
        if (retriesLeft_[index] <= 0)
            return false;
        --retriesLeft_[index];
        order_.restarted(index);
        if (retrying_)
            retrying_(row, m.attempt);
        return true;
    case FromWorker::Done: {
        if (m.row.row != row)
            return false;
        RowRecord done = m.row;
        auto& before = earlier_[index];
        done.attempts.insert(done.attempts.begin(), before.begin(), before.end());
        w.row.reset();
        finished(order_, index, std::move(done));
        giveRow(w);
        return true;
    }
    default:
        return false;
    }
}

void WorkerPool::failRow(Worker& w, const std::string& reason)
{
    // A worker that breaks the protocol is ended as if it had crashed.
    w.process.disconnect(this);
    if (w.process.state() != QProcess::NotRunning) {
        w.process.kill();
        w.process.waitForFinished(5000);
    }
    ended(&w, reason);
}

void WorkerPool::ended(Worker* w, const std::string& reason)
{
    if (w->gone && !w->row)
        return;
    const bool wasReady = w->ready;
    w->gone = true;
    if (w->row) {
        const std::size_t index = *w->row;
        w->row.reset();
        if (!stopping_) {
            const std::string why =
                !reason.empty() ? reason
                : w->process.exitStatus() == QProcess::CrashExit
                    ? "the worker process ended on a signal"
                    : "the worker process ended with status " + std::to_string(w->process.exitCode());
            const Attempt a{why, w->clock.nsecsElapsed() / 1000};
            order_.restarted(index);
            if (retriesLeft_[index] > 0) {
                --retriesLeft_[index];
                earlier_[index].push_back(a);
                if (retrying_)
                    retrying_(number(index), a);
                queue_.push_front(index);
            } else {
                RowRecord failed;
                failed.row = number(index);
                failed.status = RowStatus::Crashed;
                failed.crash = a.reason;
                failed.attempts = earlier_[index];
                failed.micros = a.micros;
                finished(order_, index, std::move(failed));
            }
        }
    }
    if (!wasReady && !stopping_ && !queue_.empty()) {
        // One that never came up: others would not either.
        setError(QStringLiteral("cannot start a worker process (%1)").arg(program_));
        stopping_ = true;
    }
    // The run goes on with a new worker while rows wait.
    const auto live = [this] {
        return std::count_if(workers_.begin(), workers_.end(), [](const auto& x) { return !x->gone; });
    };
    if (!stopping_ && !queue_.empty() && live() < setup_.jobs)
        startWorker();
    if (live() == 0 && quit_)
        quit_();
}

void WorkerPool::setError(const QString& error)
{
    if (error_.isEmpty())
        error_ = error;
}

}  // namespace fillscript
