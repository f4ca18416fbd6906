#include "fileio.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

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

// QSaveFile reports some failures (a temporary name that is too long, a
// rename refused) as "Unknown error"; the system's errno says more.
QString reasonFor(const QSaveFile& f, int err)
{
    if (f.errorString().isEmpty() || f.errorString() == QLatin1String("Unknown error")) {
        if (err != 0)
            return QString::fromLocal8Bit(std::strerror(err));
    }
    return f.errorString();
}

}  // namespace

WriteResult writeFileAtomically(const QString& path, const std::string& bytes)
{
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
