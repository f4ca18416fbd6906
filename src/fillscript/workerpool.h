#pragma once
// A data run over worker processes: N copies of this program (started with
// --worker), each with its own engine, each given one row at a time as it
// becomes free. The parent alone hands out lines, rows and dialogs, in row
// order. A worker that ends while it holds a row fails that row, or runs
// it again elsewhere while the row has retries left, and is replaced.
#include "fillscript/roworder.h"
#include "fillscript/workerprotocol.h"

#include <QElapsedTimer>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QProcess;

namespace fillscript {

class WorkerPool : public RowRunner {
    Q_OBJECT
public:
    // program and arguments start one worker; rowDone gets each finished
    // row, in row order.
    WorkerPool(DataRunSetup setup, QString program, QStringList arguments,
               std::function<void(const RowRecord&)> rowDone);
    ~WorkerPool() override;

    void exec() override;
    void stop() override;
    bool stopped() const override { return stopping_; }
    const std::vector<std::string>& variables() const override { return variables_; }
    QString runError() const override { return error_; }

private:
    struct Worker;
    void startWorker();
    void giveRow(Worker& w);
    void readFrom(Worker& w);
    bool take(Worker& w, const FromWorker& m);
    void ended(Worker* w, const std::string& reason = {});
    void failRow(Worker& w, const std::string& reason);
    void setError(const QString& error);
    int number(std::size_t index) const;

    DataRunSetup setup_;
    QString program_;
    QStringList arguments_;
    RowOrder order_;
    std::vector<std::string> variables_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::deque<std::size_t> queue_;           // row indexes not yet given out
    std::vector<int> retriesLeft_;            // per row index
    std::vector<std::vector<Attempt>> earlier_; // per row index: attempts whose worker ended
    bool stopping_ = false;
    QString error_;
    std::function<void()> quit_;
};

}  // namespace fillscript
