#include "fillscript/recorder.h"

#include "runtime/textcodec.h"
#include "webview/bridge/scripts.h"
#include "webview/engine/qtfeatures.h"
#include "webview/engineloader.h"
#include "webview/webview.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace fillscript {
namespace {

// A click or submit made just before the address changed caused the change;
// only a change without one is a navigation the user made by hand.
constexpr qint64 kCausedByActionMs = 2000;
constexpr int kPollMs = 100;
// A round whose frames have not all answered by then is given up: a frame
// removed while its drain was under way may never answer.
constexpr qint64 kRoundGiveUpMs = 3000;

struct Pending {
    std::weak_ptr<bool> alive;
    std::function<void(std::optional<QJsonValue>)> answer;
};

void answerRun(wkeWebView, void* param, const char16_t* json)
{
    const std::unique_ptr<Pending> pending(static_cast<Pending*>(param));
    if (pending->alive.expired())
        return;
    if (!json) {
        pending->answer(std::nullopt);
        return;
    }
    const QJsonArray value = QJsonDocument::fromJson(QString::fromUtf16(json).toUtf8()).array();
    pending->answer(value.isEmpty() ? QJsonValue() : value.at(0));
}

std::string gbOf(const QJsonValue& v)
{
    return rt::qstringToGb(v.toVariant().toString());
}

RecordedLocator locatorOf(const QJsonObject& loc)
{
    RecordedLocator l;
    l.tag = gbOf(loc.value(QLatin1String("tag")));
    l.key = gbOf(loc.value(QLatin1String("key")));
    l.skip = loc.value(QLatin1String("skip")).toInt();
    l.frame = gbOf(loc.value(QLatin1String("frame")));
    l.attribute = gbOf(loc.value(QLatin1String("attr")));
    return l;
}

}  // namespace

WebViewRecorder::WebViewRecorder(const webview::WebView& view)
    : view_(std::make_unique<webview::WebView>(view))
{
    timer_.setInterval(kPollMs);
    connect(&timer_, &QTimer::timeout, this, &WebViewRecorder::poll);
}

WebViewRecorder::~WebViewRecorder()
{
    *alive_ = false;
}

const QString& WebViewRecorder::listenerScript()
{
    static const QString script = [] {
        QFile file(QStringLiteral(":/fillscript/recorder.js"));
        file.open(QIODevice::ReadOnly);
        // The page library's frame search writes to the console; here it
        // stays quiet.
        return QStringLiteral("(function(){var console={log:function(){}};\n") +
               QString::fromStdU16String(webview::bridge::pageLibraryUtf16()) +
               QString::fromUtf8(file.readAll()) + QStringLiteral("\n})();");
    }();
    return script;
}

void WebViewRecorder::setRecording(bool on)
{
    if (on == recording_)
        return;
    recording_ = on;
    if (on) {
        lastUrl_ = view_->getUrl();
        sinceAction_.invalidate();
    }
    updateTimer();
}

void WebViewRecorder::setPicking(bool on)
{
    if (on == picking_)
        return;
    picking_ = on;
    updateTimer();
}

void WebViewRecorder::updateTimer()
{
    if (recording_ || picking_) {
        timer_.start();
        poll();
    } else {
        timer_.stop();
        // What was queued while on still arrives, and the page leaves its
        // picking mode.
        flushAfter_ = true;
        poll();
    }
    if (onStateChanged)
        onStateChanged();
}

void WebViewRecorder::poll()
{
    if (inFlight_ > 0 && sinceRound_.elapsed() < kRoundGiveUpMs)
        return;
    const bool on = recording_ || picking_;
    if (!on && !flushAfter_)
        return;
    flushAfter_ = false;
    ++round_;
    inFlight_ = 0;
    sinceRound_.start();
    drain({}, QString());
}

void WebViewRecorder::drain(const std::vector<int>& frame, const QString& prefix, bool install)
{
    const wkeWebView handle = view_->engine().getViewHandle();
    if (!handle)
        return;
    const QString mode = picking_ ? QStringLiteral("pick") : recording_ ? QStringLiteral("record") : QString();
    // The arguments as JSON, which is script text: the prefix comes from the page.
    const QString args = QString::fromUtf8(
        QJsonDocument(QJsonArray{mode, prefix, engine::kFrameScripts}).toJson(QJsonDocument::Compact));
    const QString script =
        install ? listenerScript() + QStringLiteral(";window.__tolvaneRecorder.drain.apply(null, %1)").arg(args)
                : QStringLiteral("window.__tolvaneRecorder ? window.__tolvaneRecorder.drain.apply(null, %1) : "
                                 "'install'")
                      .arg(args);
    const int round = round_;
    auto* pending = new Pending{alive_, [this, frame, prefix, round](std::optional<QJsonValue> v) {
                                    onAnswer(frame, prefix, round, std::move(v));
                                }};
    // Each frame's listener lives in that frame's isolated world, where the
    // page's own scripts cannot reach its queue.
    if (WKE_CALL(wkeRunScriptInFrameWorld)(handle, frame.data(), int(frame.size()), WKE_WORLD_ISOLATED,
                                           script.toStdU16String().c_str(), answerRun, pending)) {
        ++inFlight_;
        return;
    }
    delete pending;
}

void WebViewRecorder::onAnswer(const std::vector<int>& frame, const QString& prefix, int round,
                               std::optional<QJsonValue> value)
{
    const bool current = round == round_;
    if (current)
        --inFlight_;
    if (current && value && value->toString() == QLatin1String("install")) {
        drain(frame, prefix, true);
        return;
    }
    if (value && value->isObject()) {
        const QJsonObject answer = value->toObject();
        // Actions a late answer brings are still the user's.
        for (const QJsonValue& item : answer.value(QLatin1String("q")).toArray())
            take(item);
        // (A pick among them may have started the next round already.)
        if (round == round_ && engine::kFrameScripts) {
            for (const QJsonValue& closed : answer.value(QLatin1String("f")).toArray()) {
                const QJsonObject f = closed.toObject();
                std::vector<int> inner = frame;
                for (const QJsonValue& index : f.value(QLatin1String("at")).toArray())
                    inner.push_back(index.toInt(-1));
                drain(inner, f.value(QLatin1String("path")).toString());
            }
        }
        if (frame.empty() && recording_)
            checkAddress();
    }
    // Switched off while this round was under way: one more.
    if (flushAfter_ && inFlight_ == 0)
        poll();
}

void WebViewRecorder::take(const QJsonValue& item)
{
    const QJsonObject o = item.toObject();
    const QString kind = o.value(QLatin1String("kind")).toString();
    const RecordedLocator loc = locatorOf(o.value(QLatin1String("loc")).toObject());
    if (kind == QLatin1String("pick")) {
        picking_ = false;
        updateTimer();
        if (onPick)
            onPick(loc);
        return;
    }
    RecordedAction a;
    a.locator = loc;
    if (kind == QLatin1String("write")) {
        a.kind = RecordedAction::Write;
        a.value = gbOf(o.value(QLatin1String("value")));
    } else if (kind == QLatin1String("select")) {
        a.kind = RecordedAction::Select;
        a.value = gbOf(o.value(QLatin1String("text")));
        a.index = o.value(QLatin1String("index")).toInt(-1);
    } else if (kind == QLatin1String("check")) {
        a.kind = RecordedAction::Check;
        a.checked = o.value(QLatin1String("checked")).toBool();
    } else if (kind == QLatin1String("click")) {
        a.kind = RecordedAction::Click;
    } else {
        return;
    }
    sinceAction_.start();
    if (onLine)
        for (const std::string& line : linesForAction(a))
            onLine(line);
}

void WebViewRecorder::checkAddress()
{
    const std::string url = view_->getUrl();
    if (url == lastUrl_ || url.empty())
        return;
    lastUrl_ = url;
    if (sinceAction_.isValid() && sinceAction_.elapsed() < kCausedByActionMs)
        return;
    RecordedAction a;
    a.kind = RecordedAction::Navigate;
    a.value = url;
    if (onLine)
        for (const std::string& line : linesForAction(a))
            onLine(line);
}

}  // namespace fillscript
