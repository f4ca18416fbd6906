#include "fillscript/datarun.h"

#include "fillscript/executor.h"
#include "runtime/fileio.h"
#include "runtime/textcodec.h"
#include "webview/webview.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace fillscript {
namespace {

// How long a view nobody watches waits between two frames it draws.
constexpr int kUnwatchedFrameMs = 100;

}  // namespace

struct DataRun::Lane {
    DataRun* owner = nullptr;
    bool running = false;  // a row is loading or running
    QWidget host;
    webview::WebView view;
    std::unique_ptr<WebViewExecutor> executor;
    QTimer poll;
    QElapsedTimer clock;  // since the row's load began
    bool sawLoadStart = false;
    std::size_t row = 0;  // index into the rows
    std::unique_ptr<ScriptRun> run;
    RowRecord record;
};

DataRun::DataRun(DataRunSetup setup, std::function<void(const RowRecord&)> rowDone)
    : setup_(std::move(setup)),
      order_(std::move(rowDone), [this](int row, const LineRecord& l) {
          if (lineDone_)
              lineDone_(row, l);
      }),
      variables_(assignedVariables(setup_.scriptLines)),
      retriesLeft_(setup_.rows.size(), std::max(0, setup_.retries))
{
    const int n = setup_.fedRows ? std::max(1, setup_.jobs)
                                 : std::max(1, std::min<int>(setup_.jobs, int(setup_.rows.size())));
    for (int k = 0; k < n; ++k) {
        auto w = std::make_unique<Lane>();
        // A view that is never shown on a display.
        w->host.resize(1024, 768);
        w->host.setAttribute(Qt::WA_DontShowOnScreen);
        w->host.show();
        // Polls without sleeping: the engine's tasks run in this loop.
        w->poll.setInterval(5);
        Lane* raw = w.get();
        raw->owner = this;
        connect(&w->poll, &QTimer::timeout, this, [this, raw] { pollLoad(*raw); });
        lanes_.push_back(std::move(w));
    }
}

DataRun::~DataRun() = default;

void DataRun::exec()
{
    QEventLoop loop;
    quit_ = [&loop] { loop.quit(); };
    for (auto& w : lanes_)
        startNextRow(*w);
    if (busy_ > 0 || (setup_.fedRows && !noMoreRows_ && !stopping_))
        loop.exec();
    quit_ = nullptr;
    order_.flush();
}

void DataRun::stop()
{
    stopping_ = true;
    quitWhenIdle();
}

void DataRun::addRow(int number, std::vector<std::string> values, int retries)
{
    setup_.rows.push_back(std::move(values));
    setup_.rowNumbers.resize(setup_.rows.size() - 1, 0);
    setup_.rowNumbers.push_back(number);
    retriesLeft_.push_back(std::max(0, retries));
    for (auto& w : lanes_)
        if (!w->running) {
            startNextRow(*w);
            break;
        }
}

void DataRun::noMoreRows()
{
    noMoreRows_ = true;
    quitWhenIdle();
}

void DataRun::quitWhenIdle()
{
    if (busy_ == 0 && quit_ && (!setup_.fedRows || noMoreRows_ || stopping_))
        quit_();
}

void DataRun::startNextRow(Lane& w)
{
    if (stopping_ || nextRow_ >= setup_.rows.size()) {
        quitWhenIdle();
        return;
    }
    ++busy_;
    w.running = true;
    w.row = nextRow_++;
    w.record = RowRecord();
    w.record.row = w.row < setup_.rowNumbers.size() ? setup_.rowNumbers[w.row]
                                                    : setup_.firstRowNumber + int(w.row);
    loadRow(w, !setup_.keepSession);
}

void DataRun::loadRow(Lane& w, bool freshSession)
{
    w.clock.start();
    if (!w.executor) {
        // Set before control returns to the event loop, so before the page
        // can open its first dialog.
        w.view.create(&w.host, std::string(), "about:blank", {});
        w.view.setDialogAnswers(setup_.dialogs, &DataRun::onDialog, &w);
        // Nobody watches: the page draws ten frames a second, so that its
        // rendering does not stand between one line and the next.
        w.view.setFrameInterval(kUnwatchedFrameMs);
        w.executor = std::make_unique<WebViewExecutor>(w.view);
        w.executor->setFileFolder(setup_.fileFolder);
        // Every view has a private session of its own, from its first row.
        w.view.engine().startPrivateSession();
        w.view.loadUrl(setup_.pageAddress);
        w.sawLoadStart = true;  // the session's new page has no load finished
    } else {
        // A row starts as a new user would: no cookies, storage or cache
        // from the rows before, unless the script logs in once for all.
        if (freshSession)
            w.view.engine().startPrivateSession();
        w.view.loadUrl(setup_.pageAddress);
        // The previous load's end stays visible until this load has started.
        w.sawLoadStart = false;
    }
    w.poll.start();
}

void DataRun::pollLoad(Lane& w)
{
    if (stopping_) {
        w.poll.stop();
        w.running = false;
        --busy_;
        startNextRow(w);
        return;
    }
    const bool ended = w.view.isLoadingCompleted() || w.view.isLoadingFailed();
    if (!w.sawLoadStart) {
        w.sawLoadStart = !ended;
        if (!w.sawLoadStart && w.clock.elapsed() < setup_.loadTimeoutMs)
            return;
    }
    if (!ended && w.clock.elapsed() < setup_.loadTimeoutMs)
        return;
    w.poll.stop();
    const int httpStatus = ended ? w.view.httpErrorStatus() : 0;
    const bool loaded = ended && ((w.view.isLoadingSucceeded() && !w.view.isLoadingFailed()) ||
                                  (setup_.allowHttpErrors && httpStatus != 0));
    if (!loaded || (httpStatus != 0 && !setup_.allowHttpErrors)) {
        w.record.status = RowStatus::LoadFailed;
        w.record.loadError = setup_.pageAddress;
        w.record.httpStatus = httpStatus;
        finishRow(w);
        return;
    }
    std::map<std::string, std::string> values;
    const std::vector<std::string>& data = setup_.rows[w.row];
    for (std::size_t c = 0; c < setup_.columns.size() && c < data.size(); ++c)
        values[setup_.columns[c]] = data[c];
    w.run = std::make_unique<ScriptRun>(setup_.scriptLines, *w.executor, std::move(values));
    QTimer::singleShot(0, this, [this, &w] { stepLine(w); });
}

void DataRun::stepLine(Lane& w)
{
    if (stopping_) {
        // The row is cut short: it is not reported.
        w.run.reset();
        w.running = false;
        --busy_;
        releaseWaitingView();
        startNextRow(w);
        return;
    }
    if (inLine_) {
        waitingForLine_.push_back(&w);
        return;
    }
    inLine_ = true;
    LineRecord rec;
    rec.outcome = w.run->step();
    rec.status = lineStatus(rec.outcome, setup_.strict);
    if (!setup_.screenshotDir.isEmpty() && isFailingLine(rec.outcome))
        rec.screenshot = screenshot(w, rec.outcome.line);
    w.record.lines.push_back(std::move(rec));
    order_.lineEnded(w.row, w.record.row, w.record.lines.back());
    inLine_ = false;
    // The views that waited go first, in the order they came.
    releaseWaitingView();
    if (!w.run->atEnd()) {
        QTimer::singleShot(0, this, [this, &w] { stepLine(w); });
        return;
    }
    w.record.status = rowStatus(w.record.lines);
    const auto& values = w.run->values();
    for (const std::string& v : variables_) {
        const auto found = values.find(v);
        // A column of that name without an assignment in this row is no
        // extracted value.
        const bool assigned = std::any_of(w.record.lines.begin(), w.record.lines.end(),
                                          [&](const LineRecord& l) {
                                              return l.outcome.variable == v && l.outcome.executed();
                                          });
        w.record.variables.push_back(assigned && found != values.end() ? found->second : std::string());
    }
    w.run.reset();
    finishRow(w);
}

void DataRun::releaseWaitingView()
{
    if (inLine_ || waitingForLine_.empty())
        return;
    Lane* next = waitingForLine_.front();
    waitingForLine_.pop_front();
    QTimer::singleShot(0, this, [this, next] { stepLine(*next); });
}

void DataRun::finishRow(Lane& w)
{
    w.record.micros = w.clock.nsecsElapsed() / 1000;
    // A row that failed for a reason not the script's runs again, on a
    // fresh session, while it has retries left.
    const std::string reason = retryReason(w.record);
    int& left = retriesLeft_[w.row];
    if (!reason.empty() && left > 0 && !stopping_) {
        --left;
        RowRecord again;
        again.row = w.record.row;
        again.attempts = std::move(w.record.attempts);
        again.attempts.push_back({reason, w.record.micros});
        w.record = std::move(again);
        order_.restarted(w.row);
        if (retrying_)
            retrying_(w.record.row, w.record.attempts.back());
        loadRow(w, true);
        return;
    }
    w.running = false;
    --busy_;
    finished(order_, w.row, std::move(w.record));
    startNextRow(w);
}

void DataRun::onDialog(wkeWebView, void* param, int kind, const char16_t* message)
{
    static const char* const kinds[] = {"alert", "confirm", "prompt", "beforeunload", "file chooser"};
    auto& w = *static_cast<Lane*>(param);
    AnsweredDialog d;
    // The line running now; 0 while the row's page loads.
    d.line = w.run ? int(w.record.lines.size()) + 1 : 0;
    d.kind = kind >= 0 && kind < 5 ? kinds[kind] : "dialog";
    d.message = rt::utf16ToGb(message ? std::u16string(message) : std::u16string());
    w.record.dialogs.push_back(d);
    if (w.owner->dialogAnswered_)
        w.owner->dialogAnswered_(w.record.row, d);
}

std::string DataRun::screenshot(Lane& w, int line)
{
    const QImage image = QImage::fromData(w.view.capturePage(), "BMP");
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    const std::string name = "row" + std::to_string(w.record.row) + "-line" + std::to_string(line) + ".png";
    const QString path = QDir(setup_.screenshotDir).filePath(QString::fromStdString(name));
    const rt::WriteResult written = rt::writeFileAtomically(path, png.toStdString(), rt::Durability::Replaced, rt::Access::Private);
    if (!written.ok) {
        if (screenshotError_.isEmpty())
            screenshotError_ = QStringLiteral("cannot write the screenshot %1: %2").arg(path, written.error);
        return {};
    }
    return name;
}

}  // namespace fillscript
