#include "fileio.h"

#include <QFile>
#include <QSaveFile>

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

WriteResult writeFileAtomically(const QString& path, const std::string& bytes)
{
    QSaveFile f(path);
    // Some folders let us replace a file but not create a sibling; the
    // direct-write fallback would risk the old file, so it stays off.
    f.setDirectWriteFallback(false);
    if (!f.open(QIODevice::WriteOnly))
        return {false, f.errorString()};
    if (f.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())) {
        QString reason = f.errorString();
        f.cancelWriting();
        return {false, reason};
    }
    if (!f.commit())
        return {false, f.errorString()};
    return {true, {}};
}

}  // namespace rt
