#include "webview/fillbridge/fillbridgepeer.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <unistd.h>

namespace webview {
namespace {

constexpr int kListen = 0x0A;
constexpr int kEstablished = 0x01;

// The address forms (as /proc/net/tcp* writes them: hex words in host order)
// of 127.0.0.1 and of the wildcard, which takes 127.0.0.1 too.
const QByteArray kLoopback4 = "0100007F";
const QByteArray kAny4 = "00000000";
const QByteArray kLoopback6 = "0000000000000000FFFF00000100007F";
const QByteArray kAny6 = "00000000000000000000000000000000";

struct Entry {
    QByteArray localAddress;
    quint16 localPort = 0;
    QByteArray remoteAddress;
    quint16 remotePort = 0;
    int state = 0;
    long uid = -1;
};

bool parseEndpoint(const QByteArray& field, QByteArray* address, quint16* port)
{
    const int colon = field.indexOf(':');
    if (colon <= 0)
        return false;
    bool ok = false;
    *port = quint16(field.mid(colon + 1).toUInt(&ok, 16));
    *address = field.left(colon).toUpper();
    return ok;
}

QList<Entry> socketTable()
{
    QList<Entry> out;
    for (const char* name : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(QString::fromLatin1(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> f = lines[i].simplified().split(' ');
            if (f.size() < 8)
                continue;
            Entry e;
            bool stateOk = false, uidOk = false;
            e.state = f[3].toInt(&stateOk, 16);
            e.uid = f[7].toLong(&uidOk);
            if (stateOk && uidOk && parseEndpoint(f[1], &e.localAddress, &e.localPort) &&
                parseEndpoint(f[2], &e.remoteAddress, &e.remotePort))
                out << e;
        }
    }
    return out;
}

bool reachesLoopback(const QByteArray& address)
{
    return address == kLoopback4 || address == kAny4 || address == kLoopback6 || address == kAny6;
}

bool isLoopback(const QByteArray& address) { return address == kLoopback4 || address == kLoopback6; }

}  // namespace

PortOwner listenerOwner(quint16 port)
{
    bool any = false;
    for (const Entry& e : socketTable()) {
        if (e.state != kListen || e.localPort != port || !reachesLoopback(e.localAddress))
            continue;
        if (e.uid != long(::getuid()))
            return PortOwner::Foreign;
        any = true;
    }
    return any ? PortOwner::Us : PortOwner::Nobody;
}

bool peerIsOurs(quint16 localPort, quint16 port)
{
    bool found = false;
    for (const Entry& e : socketTable()) {
        // The server's side: its local end is the port we reached, its
        // remote end is our socket.
        if (e.state != kEstablished || e.localPort != port || e.remotePort != localPort ||
            !isLoopback(e.localAddress) || !isLoopback(e.remoteAddress))
            continue;
        if (e.uid != long(::getuid()))
            return false;
        found = true;
    }
    return found;
}

}  // namespace webview
