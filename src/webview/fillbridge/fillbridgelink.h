#pragma once
// The program's end of the form-fill bridge of one page. The program, not
// the page, holds the WebSocket to the local form-fill server, so the page's
// Content-Security-Policy (connect-src, eval) does not stop the bridge; the
// server sees the same protocol as from a page-held socket. Requests run in
// the page's main world through the engine's own script runs. Nothing goes
// from the page to the program: the page has no way to steer the link.
#include <QJsonValue>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>

class QWebSocket;

namespace webview {

class FillBridgeLink : public QObject {
public:
    enum class World { Page, Isolated };
    // The completion value of a run (nullopt: the page went away unanswered).
    using Answer = std::function<void(std::optional<QJsonValue> value)>;
    // Runs script, unwrapped, in the given world of the bridge's page and
    // calls answer once later; false (no call) when there is no page.
    using ScriptRunner = std::function<bool(World world, const QString& script, Answer answer)>;

    // origin: the page's origin, sent in the handshake as the page's own
    // socket would ("null" for pages that have none, such as file pages).
    FillBridgeLink(int port, QString identifier, QString origin, ScriptRunner runner);
    ~FillBridgeLink() override;

    // Marks the page's document as the bridge's, then connects. The link
    // deletes itself when that document or the view is gone, or when it has
    // nothing left to do (a first connection that failed).
    void start();

private:
    struct Request {
        QPointer<QWebSocket> socket;
        QString text;
    };

    void connectToServer();
    void onOpened(QWebSocket* socket);
    void onClosed(QWebSocket* socket);
    void attemptEnded();
    void refuse();
    void onMessage(QWebSocket* socket, const QString& data);
    void runNextRequest();
    void finishRequest();
    void checkDocument();
    void log(const QString& line);
    void finish();

    const int m_port;
    const QString m_identifier;
    const QString m_origin;
    const ScriptRunner m_run;
    const QString m_token;     // marks the page's document in the isolated world
    const QString m_pageMark;  // names the document's mark in the page's world
    const QString m_goneMark;  // the answer of a run whose document was replaced
    const QString m_failMark;  // the answer of a request that threw

    QPointer<QWebSocket> m_current;  // the latest attempt, which heartbeats use
    std::optional<int> m_retryId;    // no value until the first connection opens; 0 while connected
    QTimer m_retry;
    QTimer m_heartbeat;
    QTimer m_documentCheck;
    bool m_checking = false;
    QString m_received;
    bool m_clearReceived = false;
    std::deque<Request> m_requests;
    bool m_running = false;
    bool m_finished = false;
    bool m_refusalSaid = false;  // one console line per run of refusals
};

}  // namespace webview
