#pragma once
// Recording and picking in a web view's page. A listener in the engine's
// isolated world (recorder.js, with the page library) watches the user's
// real input in the page and its same-origin frames and queues actions with
// checked locators; while recording or picking the recorder drains that
// queue every 100 ms and hands back script lines and picked locators. Where
// the engine runs scripts in every frame, each drain also names the frames
// of another origin below, and the recorder drains (or installs) a listener
// in each of them, in that frame's own isolated world. Off, it runs nothing
// in the page.
#include "fillscript/pagerecorder.h"
#include "fillscript/recordlines.h"

#include <QElapsedTimer>
#include <QJsonValue>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

namespace webview {
class WebView;
}

namespace fillscript {

class WebViewRecorder : public QObject, public PageRecorder {
    Q_OBJECT
public:
    // Works on its own copy of `view`, which shares the view's page.
    explicit WebViewRecorder(const webview::WebView& view);
    ~WebViewRecorder() override;

    void setRecording(bool on) override;
    bool isRecording() const override { return recording_; }
    void setPicking(bool on) override;
    bool isPicking() const override { return picking_; }

    // The listener's script, page library included (UTF-16).
    static const QString& listenerScript();

private:
    void updateTimer();
    void poll();
    // Drains the listener in the frame reached through window.frames
    // indexes (none: the main frame), whose frame path is prefix.
    void drain(const std::vector<int>& frame, const QString& prefix, bool install = false);
    void onAnswer(const std::vector<int>& frame, const QString& prefix, int round,
                  std::optional<QJsonValue> value);
    void take(const QJsonValue& item);
    void checkAddress();

    std::unique_ptr<webview::WebView> view_;
    QTimer timer_;
    bool recording_ = false;
    bool picking_ = false;
    int inFlight_ = 0;  // drains of this round not answered yet
    int round_ = 0;
    QElapsedTimer sinceRound_;
    bool flushAfter_ = false;  // one more drain after switching off
    std::string lastUrl_;
    QElapsedTimer sinceAction_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace fillscript
