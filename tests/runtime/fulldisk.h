#pragma once
// A real full file system for tests: a small tmpfs mounted for the test and
// filled to the last block. Mounting needs root (CI runs as root).
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace testfs {

class FullDisk {
public:
    // Mounts a 256 KiB tmpfs; skipReason() says why not when it could not.
    FullDisk()
    {
        if (::geteuid() != 0) {
            skip_ = QStringLiteral("mounting a tmpfs needs root");
            return;
        }
        const QByteArray at = QFile::encodeName(holder_.path());
        if (::mount("tolvane-full", at.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0755") != 0) {
            const int err = errno;
            skip_ = QStringLiteral("cannot mount a tmpfs: %1").arg(QString::fromLocal8Bit(std::strerror(err)));
            mountError_ = err != EPERM;  // no right to mount is a skip, anything else a fault
            return;
        }
        mounted_ = true;
    }
    ~FullDisk()
    {
        if (mounted_)
            ::umount2(QFile::encodeName(holder_.path()).constData(), MNT_DETACH);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool mounted() const { return mounted_; }
    QString skipReason() const { return skip_; }
    bool mountFailed() const { return mountError_; }
    QString path() const { return holder_.path(); }
    QString filePath(const QString& name) const { return QDir(holder_.path()).filePath(name); }

    // Takes every free block; new names can still be made (tmpfs has inodes
    // to spare), so a writer gets as far as its first data block.
    bool fill()
    {
        const int fd = ::open(QFile::encodeName(filePath(QStringLiteral(".filler"))).constData(),
                              O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        const QByteArray block(4096, 'f');
        bool full = false;
        for (;;) {
            const ssize_t n = ::write(fd, block.constData(), size_t(block.size()));
            if (n <= 0) {
                full = n < 0 && errno == ENOSPC;
                break;
            }
        }
        // The last partial block too.
        while (::write(fd, "f", 1) == 1) {
        }
        ::close(fd);
        return full;
    }

private:
    QTemporaryDir holder_;
    QString skip_;
    bool mounted_ = false;
    bool mountError_ = false;
};

}  // namespace testfs

// Skips the test when no tmpfs can be mounted (not root, no right to mount);
// any other mount failure fails it.
#define TOLVANE_NEED_FULL_DISK(disk)                                  \
    do {                                                              \
        if (!(disk).mounted()) {                                      \
            if ((disk).mountFailed())                                 \
                QFAIL(qPrintable((disk).skipReason()));               \
            QSKIP(qPrintable((disk).skipReason()));                   \
        }                                                             \
    } while (false)
