#include "designer_ui/recovery.h"

#include "design/autosave.h"
#include "designer_ui/mainwindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QUndoStack>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace designer {

namespace {

int signalPipe[2] = {-1, -1};
bool signalled = false;

// Only the write is safe in a handler; the application hears of it through
// the socket, in its own loop.
extern "C" void onEndSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

bool offerRecovery(MainWindow& window, const QString& folder)
{
    const QStringList orphans = design::Autosave::orphans(folder);
    if (orphans.isEmpty())
        return false;
    const auto answer = QMessageBox::question(
        &window, window.windowTitle(),
        QStringLiteral("设计器上次没有正常退出，留下了未保存的设计。是否恢复？"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes && answer != QMessageBox::No)
        return false;  // not answered: offered again next time
    const bool restore = answer == QMessageBox::Yes;
    if (restore)
        if (const auto list = design::Autosave::read(orphans.front()))
            window.design().replaceComponents(*list, QStringLiteral("恢复"));
    for (const QString& f : orphans)
        QFile::remove(f);
    return restore;
}

void followSaves(MainWindow& window, design::Autosave& autosave)
{
    QUndoStack* undo = window.design().undoStack();
    QObject::connect(undo, &QUndoStack::cleanChanged, &autosave, [&autosave](bool clean) {
        if (clean)
            autosave.discard();
    });
    // A write that a change started just before the save lands after it.
    QObject::connect(&autosave, &design::Autosave::written, &autosave, [&autosave, undo](bool) {
        if (undo->isClean())
            autosave.discard();
    });
}

void quitOnEndSignals()
{
    if (signalPipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        signalled = true;
        // Leaves every loop, the dialogs' too: a question open at a logout
        // must not hold the designer.
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
}

bool endedBySignal() { return signalled; }

void settleRecovery(MainWindow& window, design::Autosave& autosave)
{
    if (signalled && window.isModified()) {
        autosave.flush();
        autosave.waitForWrites();
    } else {
        autosave.discard();
    }
}

}  // namespace designer
