#pragma once
// A script run once per data row, each row on a fresh load of the page, on
// one or more web views in this process. Each view takes the next row; the
// rows are handed out in row order whatever order they finish in.
#include "fillscript/roworder.h"
#include "webview/wke.h"

#include <QString>

#include <deque>
#include <functional>
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
    int retries = 0;                       // runs again of a row failed for a reason not the script's
    bool fedRows = false;                  // rows come through DataRun::addRow, not in rows
};

class DataRun : public RowRunner {
    Q_OBJECT
public:
    // rowDone gets each finished row, in row order.
    DataRun(DataRunSetup setup, std::function<void(const RowRecord&)> rowDone);
    ~DataRun() override;

    void exec() override;
    void stop() override;
    bool stopped() const override { return stopping_; }
    const std::vector<std::string>& variables() const override { return variables_; }
    // The first screenshot that could not be written (one line, with the
    // system's reason); empty when every one was.
    QString runError() const override { return screenshotError_; }

    // With fedRows, rows come one at a time (a worker process): exec()
    // returns once noMoreRows() was called and the rows given are done.
    void addRow(int number, std::vector<std::string> values, int retries);
    void noMoreRows();

private:
    struct Lane;
    void startNextRow(Lane& w);
    void pollLoad(Lane& w);
    void stepLine(Lane& w);
    void loadRow(Lane& w, bool freshSession);
    void releaseWaitingView();
    void finishRow(Lane& w);
    void quitWhenIdle();
    std::string screenshot(Lane& w, int line);
    static void onDialog(wkeWebView, void* param, int kind, const char16_t* message);

    DataRunSetup setup_;
    RowOrder order_;
    std::vector<std::string> variables_;
    std::vector<std::unique_ptr<Lane>> lanes_;
    std::vector<int> retriesLeft_;  // per row index
    std::size_t nextRow_ = 0;       // index into setup_.rows
    int busy_ = 0;
    bool stopping_ = false;
    bool noMoreRows_ = false;
    QString screenshotError_;
    // A line's page call waits in a nested event loop. The engine defers
    // some of its own tasks while loops are nested, so a second view's line
    // started inside that wait can stall both until their time-outs: one
    // line runs at a time, the other views wait here (their page loads still
    // go on meanwhile).
    bool inLine_ = false;
    std::deque<Lane*> waitingForLine_;
    std::function<void()> quit_;
};

}  // namespace fillscript
