#pragma once
// A script run once per data row, each row on a fresh load of the page, on
// one or more web views in this process. Each view takes the next row; the
// rows are handed out in row order whatever order they finish in.
#include "fillscript/runreport.h"

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fillscript {

struct DataRunSetup {
    std::vector<std::string> scriptLines;  // as the editor holds them
    std::string pageAddress;               // loaded afresh for every row
    std::vector<std::string> columns;      // the data file's header
    std::vector<std::vector<std::string>> rows;
    int firstRowNumber = 1;                // the number of rows[0]
    int jobs = 1;                          // views
    bool strict = false;
    QString screenshotDir;                 // PNG per failing line; empty: none
    int loadTimeoutMs = 60000;
};

class DataRun : public QObject {
    Q_OBJECT
public:
    // rowDone gets each finished row, in row order.
    DataRun(DataRunSetup setup, std::function<void(const RowRecord&)> rowDone);
    ~DataRun() override;

    // Runs until every row is done or stop() was called and each view has
    // finished its current line; rows cut short are not handed out.
    void exec();
    void stop();
    bool stopped() const { return stopping_; }
    // The variables the script assigns: the values of RowRecord::variables.
    const std::vector<std::string>& variables() const { return variables_; }
    // The first screenshot that could not be written (one line, with the
    // system's reason); empty when every one was.
    const QString& screenshotError() const { return screenshotError_; }

private:
    struct Worker;
    void startNextRow(Worker& w);
    void pollLoad(Worker& w);
    void stepLine(Worker& w);
    void releaseWaitingView();
    void finishRow(Worker& w);
    void deliverReady(bool all);
    std::string screenshot(Worker& w, int line);

    DataRunSetup setup_;
    std::function<void(const RowRecord&)> rowDone_;
    std::vector<std::string> variables_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::size_t nextRow_ = 0;       // index into setup_.rows
    std::size_t nextDelivery_ = 0;  // index of the next row to hand out
    std::map<std::size_t, RowRecord> finished_;
    int busy_ = 0;
    bool stopping_ = false;
    QString screenshotError_;
    // A line's page call waits in a nested event loop. The engine defers
    // some of its own tasks while loops are nested, so a second view's line
    // started inside that wait can stall both until their time-outs: one
    // line runs at a time, the other views wait here (their page loads still
    // go on meanwhile).
    bool inLine_ = false;
    std::deque<Worker*> waitingForLine_;
    std::function<void()> quit_;
};

}  // namespace fillscript
