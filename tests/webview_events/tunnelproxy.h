#pragma once
// A stand-in for an upstream HTTP proxy in the tests.
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

namespace events_test {

// An HTTP proxy that serves CONNECT only, sending every tunnel to one port
// of 127.0.0.1 whatever host is asked for, and recording the targets.
class TunnelProxy : public QObject {
public:
    explicit TunnelProxy(quint16 targetPort) : m_targetPort(targetPort)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = m_server.nextPendingConnection())
                tunnel(client);
        });
        if (!m_server.listen(QHostAddress::LocalHost, 0))
            qFatal("tunnel proxy cannot listen");
    }
    quint16 port() const { return m_server.serverPort(); }
    QList<QByteArray> targets;

private:
    void tunnel(QTcpSocket* client)
    {
        auto* head = new QByteArray;
        auto* target = new QTcpSocket(client);
        connect(client, &QTcpSocket::disconnected, client, [client, head] {
            delete head;
            client->deleteLater();
        });
        connect(target, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        connect(target, &QTcpSocket::readyRead, client, [client, target] { client->write(target->readAll()); });
        connect(target, &QTcpSocket::connected, client, [client] {
            client->write("HTTP/1.1 200 Connection established\r\n\r\n");
        });
        connect(client, &QTcpSocket::readyRead, client, [this, client, target, head] {
            if (target->state() != QAbstractSocket::UnconnectedState) {
                target->write(client->readAll());
                return;
            }
            *head += client->readAll();
            const qsizetype end = head->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            targets << head->split(' ').value(1);
            target->connectToHost(QHostAddress::LocalHost, m_targetPort);
            const QByteArray rest = head->mid(end + 4);
            if (!rest.isEmpty())
                connect(target, &QTcpSocket::connected, client, [target, rest] { target->write(rest); });
        });
    }

    QTcpServer m_server;
    quint16 m_targetPort;
};

}  // namespace events_test
