#include "design/autosave.h"

#include "design/design.h"
#include "design/packing.h"
#include "runtime/fileio.h"
#include "runtime/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace design {

namespace {
const QString kSuffix = QStringLiteral(".recovery");
}

Autosave::Autosave(Design& design, const QString& folder, int delayMs)
    : design_(design)
{
    rt::makePrivateFolder(folder);  // the user's unsaved work: for the user alone
    const QString base = QDir(folder).filePath(QString::number(QCoreApplication::applicationPid()));
    path_ = base + kSuffix;
    // Held while this process runs; a lock left by a dead process is stale,
    // which is how orphans() tells a crash from a designer still open.
    lock_ = std::make_unique<QLockFile>(base + QStringLiteral(".lock"));
    lock_->setStaleLockTime(0);
    lock_->tryLock(0);

    pool_.setMaxThreadCount(1);
    timer_.setSingleShot(true);
    timer_.setInterval(delayMs);
    connect(&timer_, &QTimer::timeout, this, &Autosave::write);
    connect(&design_, &Design::changed, this, [this] {
        pending_ = true;
        timer_.start();  // restarted by every change: one write per burst
    });
}

Autosave::~Autosave() { pool_.waitForDone(); }

QString Autosave::defaultFolder() { return rt::userDataBase() + QStringLiteral("tolvane/recovery"); }

std::optional<ComponentList> Autosave::read(const QString& file)
{
    const std::optional<std::string> bytes = rt::readWholeFile(file);
    return bytes ? unpackComponents(*bytes) : std::nullopt;
}

QStringList Autosave::orphans(const QString& folder)
{
    QStringList out;
    const QFileInfoList files =
        QDir(folder).entryInfoList({QLatin1Char('*') + kSuffix}, QDir::Files, QDir::Time);
    for (const QFileInfo& f : files) {
        QLockFile lock(f.absolutePath() + '/' + f.completeBaseName() + QStringLiteral(".lock"));
        lock.setStaleLockTime(0);
        if (lock.tryLock(0)) {
            lock.unlock();
            out << f.absoluteFilePath();
        }
    }
    return out;
}

void Autosave::flush()
{
    if (pending_)
        write();
}

void Autosave::waitForWrites() { pool_.waitForDone(); }

void Autosave::write()
{
    timer_.stop();
    if (design_.inStep()) {
        // A drag or another step is under way: its end is a change again.
        timer_.start();
        return;
    }
    pending_ = false;
    // Only the copy of the list happens here; it is packed and written on
    // the writer thread, so editing never waits for the disk. The exact
    // texts are kept: a page would lose inner texts holding "</".
    ComponentList snapshot = design_.components();
    const QString path = path_;
    pool_.start([this, snapshot = std::move(snapshot), path] {
        // Renamed into place without a disk flush: readers never see half a
        // file and a crash of the designer keeps it; flushing every second
        // would make the disk the bottleneck of editing.
        const bool ok =
            rt::writeFileAtomically(path, packComponents(snapshot), rt::Durability::Replaced, rt::Access::Private).ok;
        QMetaObject::invokeMethod(this, [this, ok] { emit written(ok); }, Qt::QueuedConnection);
    });
}

void Autosave::discard()
{
    timer_.stop();
    pending_ = false;
    pool_.waitForDone();
    QFile::remove(path_);
}

}  // namespace design
