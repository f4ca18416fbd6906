#include "fillscript/recorder.h"

#include "runtime/textcodec.h"
#include "webview/bridge/scripts.h"
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

bool WebViewRecorder::run(const QString& script)
{
    const wkeWebView handle = view_->engine().getViewHandle();
    if (!handle)
        return false;
    auto* pending = new Pending{alive_, [this](std::optional<QJsonValue> v) { onAnswer(std::move(v)); }};
    if (WKE_CALL(wkeRunScriptInWorld)(handle, WKE_WORLD_ISOLATED, script.toStdU16String().c_str(),
                                      answerRun, pending))
        return true;
    delete pending;
    return false;
}

void WebViewRecorder::poll()
{
    if (inFlight_)
        return;
    const bool on = recording_ || picking_;
    if (!on && !flushAfter_)
        return;
    flushAfter_ = false;
    const QString mode = picking_ ? QStringLiteral("pick") : recording_ ? QStringLiteral("record") : QString();
    inFlight_ = run(QStringLiteral("window.__tolvaneRecorder ? window.__tolvaneRecorder.drain('%1') : "
                                   "'install'").arg(mode));
}

void WebViewRecorder::onAnswer(std::optional<QJsonValue> value)
{
    inFlight_ = false;
    if (value && value->toString() == QLatin1String("install")) {
        const QString mode = picking_ ? QStringLiteral("pick") : recording_ ? QStringLiteral("record") : QString();
        inFlight_ = run(listenerScript() + QStringLiteral(";window.__tolvaneRecorder.drain('%1')").arg(mode));
        return;
    }
    if (value && value->isArray()) {
        for (const QJsonValue& item : value->toArray())
            take(item);
        if (recording_)
            checkAddress();
    }
    // Switched off while this drain was under way: one more.
    if (flushAfter_)
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
