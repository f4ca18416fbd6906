#include "fileio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rt {

std::optional<std::string> readWholeFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return std::nullopt;
    return std::string(data.constData(), size_t(data.size()));
}

namespace {

QString systemReason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

WriteResult failed(int err) { return {false, systemReason(err != 0 ? err : EIO)}; }

// The file a write replaces: a document reached through a symbolic link is
// written where the link points, as editors do; a private file replaces the
// link itself, so that a link planted in a shared folder leads nowhere.
QByteArray targetOf(const QString& path, Access access)
{
    if (access == Access::Shared) {
        const QFileInfo info(path);
        if (info.isSymLink() && info.exists())
            return QFile::encodeName(info.canonicalFilePath());
    }
    return QFile::encodeName(path);
}

mode_t modeFor(const QByteArray& target, Access access)
{
    if (access == Access::Private)
        return 0600;
    struct stat st {};
    if (::stat(target.constData(), &st) == 0)
        return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool writeAll(int fd, const std::string& bytes)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        p += n;
        left -= std::size_t(n);
    }
    return true;
}

// The folder's entry of the renamed file reaches the disk too.
void syncFolderOf(const QByteArray& target)
{
    const int slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.left(slash);
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

WriteResult writeFileAtomically(const QString& path, const std::string& bytes, Durability durability,
                                Access access)
{
    const QByteArray target = targetOf(path, access);
    QByteArray tmp = target + ".XXXXXX";
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);  // made 0600: never readable by others
    if (fd < 0)
        return failed(errno);
    const auto fail = [&](int err) {
        ::close(fd);
        ::unlink(tmp.constData());
        return failed(err);
    };
    if (::fchmod(fd, modeFor(target, access)) != 0)
        return fail(errno);
    if (!writeAll(fd, bytes))
        return fail(errno);
    // fsync reports what delayed allocation held back (a full disk, an I/O
    // error); the close reports it on file systems that write at close.
    if (durability == Durability::Flushed && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        return fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.constData());
        return failed(err);
    }
    if (std::rename(tmp.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(tmp.constData());
        return failed(err);
    }
    if (durability == Durability::Flushed)
        syncFolderOf(target);
    return {true, {}};
}

WriteResult makePrivateFolder(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    QStringList missing;
    QString at = clean;
    while (!QFileInfo(at).exists()) {
        missing.prepend(at);
        const QString up = QFileInfo(at).path();
        if (up == at)
            break;
        at = up;
    }
    for (const QString& folder : missing) {
        const QByteArray name = QFile::encodeName(folder);
        if (::mkdir(name.constData(), 0700) == 0)
            ::chmod(name.constData(), 0700);  // whatever the umask
        else if (errno != EEXIST)
            return failed(errno);
    }
    if (!QFileInfo(clean).isDir())
        return {false, systemReason(ENOTDIR)};
    return {true, {}};
}

}  // namespace rt
