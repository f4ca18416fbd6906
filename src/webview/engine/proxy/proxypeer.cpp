#include "engine/proxy/proxypeer.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <dirent.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

// The inode of the socket whose own end is from and whose other end is to,
// asked of the kernel for that one socket; 0 when it cannot tell.
unsigned long askedInode(const sockaddr_in& from, const sockaddr_in& to)
{
    const int channel = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (channel < 0)
        return 0;
    struct {
        nlmsghdr head;
        inet_diag_req_v2 body;
    } request{};
    request.head.nlmsg_len = sizeof request;
    request.head.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.head.nlmsg_flags = NLM_F_REQUEST;
    request.body.sdiag_family = AF_INET;
    request.body.sdiag_protocol = IPPROTO_TCP;
    request.body.idiag_states = ~0u;
    request.body.id.idiag_sport = from.sin_port;
    request.body.id.idiag_dport = to.sin_port;
    request.body.id.idiag_src[0] = from.sin_addr.s_addr;
    request.body.id.idiag_dst[0] = to.sin_addr.s_addr;
    request.body.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    request.body.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    unsigned long inode = 0;
    alignas(nlmsghdr) char reply[1024];
    if (send(channel, &request, sizeof request, 0) == ssize_t(sizeof request)) {
        const ssize_t size = recv(channel, reply, sizeof reply, 0);
        const auto* head = reinterpret_cast<const nlmsghdr*>(reply);
        if (size >= ssize_t(NLMSG_LENGTH(sizeof(inet_diag_msg))) && NLMSG_OK(head, size) &&
            head->nlmsg_type == SOCK_DIAG_BY_FAMILY)
            inode = static_cast<const inet_diag_msg*>(NLMSG_DATA(head))->idiag_inode;
    }
    ::close(channel);
    return inode;
}

// The same from the kernel's whole socket table, where the kernel cannot be
// asked for one socket.
unsigned long listedInode(const sockaddr_in& from, const sockaddr_in& to)
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

// Whether one of this process's descriptors is the socket inode: a socket's
// descriptor reports the socket's inode to fstat.
bool holdsSocket(unsigned long inode)
{
    DIR* fds = opendir("/proc/self/fd");
    if (!fds)
        return false;
    bool found = false;
    while (const dirent* entry = readdir(fds)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        struct stat info;
        if (end != entry->d_name && *end == '\0' && fstat(int(fd), &info) == 0 && S_ISSOCK(info.st_mode) &&
            info.st_ino == inode) {
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
    unsigned long inode = askedInode(peer, self);
    if (!inode)
        inode = listedInode(peer, self);
    return inode != 0 && holdsSocket(inode);
}

}  // namespace engine::proxy
