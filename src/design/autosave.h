#pragma once
// Never lose work: a design's page is written to a recovery file shortly
// after each change, off the user-interface thread, and the file is removed
// on a clean exit. A recovery file whose writer no longer runs is what a
// crash left behind.
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include "design/component.h"

#include <memory>
#include <optional>

namespace design {

class Design;

class Autosave : public QObject {
    Q_OBJECT
public:
    // Writes into `folder` (made when missing) under this process's own
    // name; `delayMs` after the last change of a burst.
    Autosave(Design& design, const QString& folder, int delayMs = 1000);
    // Waits for a write in flight; the file stays (a clean exit calls discard).
    ~Autosave() override;

    // The per-user folder: rt::userDataBase() + "tolvane/recovery".
    static QString defaultFolder();
    // Recovery files in `folder` whose writer is gone, newest first.
    static QStringList orphans(const QString& folder);
    // The Components a recovery file holds; nullopt when it cannot be read.
    static std::optional<ComponentList> read(const QString& file);

    QString filePath() const { return path_; }
    // Starts the write now if a change is waiting; does not wait for it.
    void flush();
    // Waits until the writes started so far are done.
    void waitForWrites();
    // Removes this process's recovery file (clean exit, or the work was saved).
    void discard();

signals:
    // A recovery file was written (or the write failed: `ok` false).
    void written(bool ok);

private:
    void write();

    Design& design_;
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    QTimer timer_;
    QThreadPool pool_;  // one thread: writes happen in order
    bool pending_ = false;
};

}  // namespace design
