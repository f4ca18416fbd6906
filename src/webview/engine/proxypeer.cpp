#include "engine/proxypeer.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace engine::proxy {
namespace {

// An IPv4 endpoint as the kernel's socket table prints it.
QByteArray tableAddress(const sockaddr_in& address)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X:%04X", unsigned(address.sin_addr.s_addr), unsigned(ntohs(address.sin_port)));
    return QByteArray(text);
}

// The inode of the socket whose own end is from and whose other end is to, in
// this process's network namespace; 0 when there is none.
unsigned long socketInode(const sockaddr_in& from, const sockaddr_in& to)
{
    const std::unique_ptr<FILE, int (*)(FILE*)> table(std::fopen("/proc/self/net/tcp", "re"), &std::fclose);
    if (!table)
        return 0;
    const QByteArray local = tableAddress(from);
    const QByteArray remote = tableAddress(to);
    char line[512];
    while (std::fgets(line, sizeof line, table.get())) {
        char own[64], other[64];
        unsigned long inode = 0;
        // sl local rem st queues timer retransmits uid timeout inode
        if (std::sscanf(line, " %*s %63s %63s %*s %*s %*s %*s %*s %*s %lu", own, other, &inode) != 3)
            continue;
        if (local == own && remote == other)
            return inode;
    }
    return 0;
}

bool holdsSocket(unsigned long inode)
{
    DIR* fds = opendir("/proc/self/fd");
    if (!fds)
        return false;
    const QByteArray wanted = "socket:[" + QByteArray::number(qulonglong(inode)) + ']';
    bool found = false;
    char target[64];
    while (const dirent* entry = readdir(fds)) {
        const ssize_t size = readlinkat(dirfd(fds), entry->d_name, target, sizeof target);
        if (size == wanted.size() && std::memcmp(target, wanted.constData(), size_t(size)) == 0) {
            found = true;
            break;
        }
    }
    closedir(fds);
    return found;
}

}  // namespace

bool openedByThisProcess(qintptr descriptor)
{
    sockaddr_in self{}, peer{};
    socklen_t selfSize = sizeof self, peerSize = sizeof peer;
    if (getsockname(int(descriptor), reinterpret_cast<sockaddr*>(&self), &selfSize) != 0 ||
        getpeername(int(descriptor), reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 ||
        self.sin_family != AF_INET || peer.sin_family != AF_INET)
        return false;
    // The opening socket's own end is this connection's peer, and its other
    // end is this one.
    const unsigned long inode = socketInode(peer, self);
    return inode != 0 && holdsSocket(inode);
}

}  // namespace engine::proxy
