#pragma once
// A script run once per data row, each row on a fresh load of the page, on
// one or more web views in this process. Each view takes the next row; the
// rows are handed out in row order whatever order they finish in.
#include "fillscript/runreport.h"
#include "webview/wke.h"

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
    std::vector<int> rowNumbers;           // the number of each row, when not counted from firstRowNumber
    int jobs = 1;                          // views
    bool strict = false;
    QString screenshotDir;                 // PNG per failing line; empty: none
    int loadTimeoutMs = 60000;
    int dialogs = 1;                       // WKE_DIALOGS_ACCEPT or WKE_DIALOGS_DISMISS
    QString fileFolder;                    // relative upload paths start here; empty: working folder
    bool allowHttpErrors = false;          // a page served with an error status still runs
    bool keepSession = false;              // one private session per view, not one per row
};

class DataRun : public QObject {
    Q_OBJECT
public:
    // rowDone gets each finished row, in row order.
    DataRun(DataRunSetup setup, std::function<void(const RowRecord&)> rowDone);
    ~DataRun() override;
    // Each line as soon as it ends, in row order (a row's lines come once
    // the rows before it are done), and always before its row's rowDone.
    void setLineDone(std::function<void(int row, const LineRecord&)> lineDone) { lineDone_ = std::move(lineDone); }
    // Each dialog the run answered, as it happens (any row order).
    void setDialogAnswered(std::function<void(int row, const AnsweredDialog&)> answered)
    {
        dialogAnswered_ = std::move(answered);
    }

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
    void streamLines(std::size_t rowIndex, const RowRecord& record);
    std::string screenshot(Worker& w, int line);
    static void onDialog(wkeWebView, void* param, int kind, const char16_t* message);

    DataRunSetup setup_;
    std::function<void(const RowRecord&)> rowDone_;
    std::function<void(int, const LineRecord&)> lineDone_;
    std::function<void(int, const AnsweredDialog&)> dialogAnswered_;
    std::map<std::size_t, std::size_t> streamed_;  // row index -> lines handed to lineDone_
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
