#include "fileio.h"

#include <QFile>
#include <QSaveFile>

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

QString systemReason(int err);

// QSaveFile reports some failures (a temporary name that is too long, a
// rename refused) as "Unknown error"; the system's errno says more.
QString reasonFor(const QSaveFile& f, int err)
{
    if (f.errorString().isEmpty() || f.errorString() == QLatin1String("Unknown error")) {
        if (err != 0)
            return systemReason(err);
    }
    return f.errorString();
}

QString systemReason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Temporary file + rename without flushing to disk.
WriteResult replaceWithoutFlush(const QString& path, const std::string& bytes)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray tmp = target + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return {false, systemReason(errno)};
    // Keep the target's permissions when it exists, else the usual 0666 & ~umask.
    struct stat st {};
    if (::stat(target.constData(), &st) == 0) {
        ::fchmod(fd, st.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(tmp.constData());
            return {false, systemReason(err)};
        }
        p += n;
        left -= std::size_t(n);
    }
    if (::close(fd) != 0 || std::rename(tmp.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(tmp.constData());
        return {false, systemReason(err)};
    }
    return {true, {}};
}

}  // namespace

WriteResult writeFileAtomically(const QString& path, const std::string& bytes, Durability durability)
{
    if (durability == Durability::Replaced)
        return replaceWithoutFlush(path, bytes);
    errno = 0;
    QSaveFile f(path);
    // Some folders let us replace a file but not create a sibling; the
    // direct-write fallback would risk the old file, so it stays off.
    f.setDirectWriteFallback(false);
    if (!f.open(QIODevice::WriteOnly))
        return {false, reasonFor(f, errno)};
    if (f.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())) {
        QString reason = reasonFor(f, errno);
        f.cancelWriting();
        return {false, reason};
    }
    if (!f.commit())
        return {false, reasonFor(f, errno)};
    return {true, {}};
}

}  // namespace rt
