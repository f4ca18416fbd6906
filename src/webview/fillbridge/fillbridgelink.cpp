#include "webview/fillbridge/fillbridgelink.h"

#include "webview/fillbridge/fillbridge.h"
#include "webview/fillbridge/fillbridgepeer.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QWebSocket>

#include <algorithm>

namespace webview {
namespace {

constexpr int kRetryMs = 1000;
constexpr int kHeartbeatMs = 5000;
// How soon a replaced document (a navigation, a reload) closes the
// connection, as the page's own socket would close at unload.
constexpr int kDocumentCheckMs = 500;

QString randomToken()
{
    const quint64 a = QRandomGenerator::system()->generate64();
    const quint64 b = QRandomGenerator::system()->generate64();
    return QString::number(a, 16) + QString::number(b, 16);
}

QString literal(const QString& text)
{
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

const QString& requestScript()
{
    static const QString script = [] {
        QFile file(QStringLiteral(":/webview/fillrequest.js"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }();
    return script;
}

}  // namespace

FillBridgeLink::FillBridgeLink(int port, QString identifier, QString origin, ScriptRunner runner)
    : QObject(QCoreApplication::instance()),
      m_port(port),
      m_identifier(std::move(identifier)),
      m_origin(std::move(origin)),
      m_run(std::move(runner)),
      m_token(randomToken()),
      m_pageMark(QStringLiteral("tolvaneFill") + randomToken()),
      m_goneMark(QStringLiteral("\x01tolvane:fill-document-gone:") + randomToken()),
      m_failMark(QStringLiteral("\x01tolvane:fill-request-failed:") + randomToken())
{
    m_retry.setInterval(kRetryMs);
    m_heartbeat.setInterval(kHeartbeatMs);
    m_documentCheck.setInterval(kDocumentCheckMs);
    connect(&m_retry, &QTimer::timeout, this, &FillBridgeLink::connectToServer);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] {
        if (m_current && m_current->state() == QAbstractSocket::ConnectedState)
            m_current->sendTextMessage(QStringLiteral("xt"));
    });
    connect(&m_documentCheck, &QTimer::timeout, this, &FillBridgeLink::checkDocument);
}

FillBridgeLink::~FillBridgeLink()
{
    m_finished = true;
    for (QWebSocket* socket : findChildren<QWebSocket*>())
        socket->abort();
}

void FillBridgeLink::start()
{
    const QString mark = QStringLiteral("(window.tolvaneFillTokens=window.tolvaneFillTokens||{})[%1]=true;")
                             .arg(literal(m_token));
    if (!m_run(World::Isolated, mark, [](std::optional<QJsonValue>) {})) {
        finish();
        return;
    }
    // The same document marked in the page's world, where requests run: a
    // request checks it in the very run that executes it, so one prepared
    // just before a navigation never runs in the next document.
    const QString pageMark =
        QStringLiteral("try{Object.defineProperty(document,%1,{value:true});}catch(e){}").arg(literal(m_pageMark));
    m_run(World::Page, pageMark, [](std::optional<QJsonValue>) {});
    m_documentCheck.start();
    connectToServer();
}

void FillBridgeLink::connectToServer()
{
    log(QStringLiteral("【填表】正在尝试填表连接"));
    // Checked before a byte goes out: a server that another user started
    // on the port first must not learn even the page's origin.
    if (listenerOwner(quint16(m_port)) == PortOwner::Foreign) {
        refuse();
        attemptEnded();
        return;
    }
    auto* socket = new QWebSocket(m_origin, QWebSocketProtocol::VersionLatest, this);
    socket->setProxy(QNetworkProxy::NoProxy);  // the server is on this machine
    m_current = socket;
    connect(socket, &QWebSocket::connected, this, [this, socket] { onOpened(socket); });
    connect(socket, &QWebSocket::stateChanged, this, [this, socket](QAbstractSocket::SocketState state) {
        // A socket that never opened closes too, as the page's would.
        if (state == QAbstractSocket::UnconnectedState && !socket->property("closed").toBool()) {
            socket->setProperty("closed", true);
            onClosed(socket);
        }
    });
    connect(socket, &QWebSocket::textMessageReceived, this,
            [this, socket](const QString& data) { onMessage(socket, data); });
    // A binary message joins the request as a page adds a Blob to a text.
    connect(socket, &QWebSocket::binaryMessageReceived, this,
            [this, socket](const QByteArray&) { onMessage(socket, QStringLiteral("[object Blob]")); });
    socket->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/echo").arg(m_port)));
}

void FillBridgeLink::onOpened(QWebSocket* socket)
{
    // The connection itself: the listener may have changed hands since.
    if (!peerIsOurs(socket->localPort(), quint16(m_port))) {
        refuse();
        socket->abort();
        return;
    }
    m_refusalSaid = false;
    log(QStringLiteral("【填表】连接到填表服务器成功：") +
        (m_retryId ? QString::number(*m_retryId) : QStringLiteral("undefined")));
    socket->sendTextMessage(QStringLiteral("csh->") + m_identifier);
    m_retry.stop();
    m_retryId = 0;
    m_heartbeat.start();  // restarted: a late attempt never adds a second heartbeat
}

void FillBridgeLink::onClosed(QWebSocket* socket)
{
    socket->deleteLater();
    if (m_finished)
        return;
    attemptEnded();
}

void FillBridgeLink::refuse()
{
    if (m_refusalSaid)
        return;
    m_refusalSaid = true;
    log(QStringLiteral("【填表】端口%1上的填表服务器属于其他用户，已拒绝连接").arg(m_port));
}

void FillBridgeLink::attemptEnded()
{
    // Retry only after a connection that had opened; a first failure stays.
    if (m_retryId && *m_retryId <= 0) {
        log(QStringLiteral("【填表】断开连接，正常重试"));
        m_retry.start();
        m_retryId = m_retry.timerId();
        m_heartbeat.stop();
    }
    if (!m_retry.isActive() && !m_retryId) {
        const auto sockets = findChildren<QWebSocket*>();
        if (std::all_of(sockets.begin(), sockets.end(),
                        [](QWebSocket* s) { return s->property("closed").toBool(); }))
            finish();  // the first connection failed: nothing will happen any more
    }
}

void FillBridgeLink::onMessage(QWebSocket* socket, const QString& data)
{
    if (m_clearReceived) {
        m_received.clear();
        m_clearReceived = false;
    }
    m_received += data;
    if (!m_received.endsWith(QLatin1String("##")))
        return;
    m_clearReceived = true;
    m_received.chop(2);
    m_requests.push_back({socket, m_received});
    runNextRequest();
}

// One request at a time: decoded and compiled in the isolated world, then run
// in the page's world; the answer goes back on the socket it came from.
void FillBridgeLink::runNextRequest()
{
    if (m_running || m_requests.empty() || m_finished)
        return;
    m_running = true;
    const QString prepare = requestScript() + QStringLiteral("(%1,%2,%3)").arg(
        literal(m_token), literal(m_requests.front().text), literal(m_failMark));
    const bool started = m_run(World::Isolated, prepare, [self = QPointer(this)](std::optional<QJsonValue> value) {
        if (!self)
            return;
        const QJsonArray prepared = value ? value->toArray() : QJsonArray();
        const QString kind = prepared.at(0).toString();
        if (!value || kind == QLatin1String("gone")) {
            self->finish();
            return;
        }
        if (kind != QLatin1String("text") && kind != QLatin1String("completion")) {
            self->finishRequest();  // it failed: no answer
            return;
        }
        const bool asText = kind == QLatin1String("text");
        const QString guarded = QStringLiteral("if(document[%1]!==true){%2}else{\n%3\n}")
                                    .arg(literal(self->m_pageMark), literal(self->m_goneMark),
                                         prepared.at(1).toString());
        const bool ran = self->m_run(World::Page, guarded, [self, asText](std::optional<QJsonValue> result) {
            if (!self)
                return;
            // Replaced between preparing and running: it ran nowhere and
            // gets no answer, as a failed request.
            if (!result || (result->isString() && result->toString() == self->m_goneMark)) {
                self->finish();
                return;
            }
            std::optional<QString> text;
            if (asText && result->toArray().at(0).toString() == QLatin1String("v"))
                text = result->toArray().at(1).toString();
            else if (!asText && result->toString() != self->m_failMark)
                text = scriptValueText(*result);
            QWebSocket* socket = self->m_requests.front().socket;
            if (text && socket && socket->state() == QAbstractSocket::ConnectedState)
                socket->sendTextMessage(QStringLiteral("dat->") + *text + QStringLiteral("<-dat"));
            self->finishRequest();
        });
        if (!ran)
            self->finish();
    });
    if (!started)
        finish();
}

void FillBridgeLink::finishRequest()
{
    m_requests.pop_front();
    m_running = false;
    runNextRequest();
}

void FillBridgeLink::checkDocument()
{
    if (m_checking || m_finished)
        return;
    m_checking = true;
    const QString check = QStringLiteral("!!(window.tolvaneFillTokens&&window.tolvaneFillTokens[%1]===true)")
                              .arg(literal(m_token));
    const bool started = m_run(World::Isolated, check, [self = QPointer(this)](std::optional<QJsonValue> value) {
        if (!self)
            return;
        self->m_checking = false;
        if (!value || !value->toBool())
            self->finish();
    });
    if (!started)
        finish();
}

void FillBridgeLink::log(const QString& line)
{
    m_run(World::Page, QStringLiteral("console.log(%1)").arg(literal(line)), [](std::optional<QJsonValue>) {});
}

// The document or the view is gone: close as the page's socket closes at
// unload, and go.
void FillBridgeLink::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_retry.stop();
    m_heartbeat.stop();
    m_documentCheck.stop();
    for (QWebSocket* socket : findChildren<QWebSocket*>())
        socket->close(QWebSocketProtocol::CloseCodeGoingAway);
    deleteLater();
}

}  // namespace webview
