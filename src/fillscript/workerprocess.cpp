#include "fillscript/workerprocess.h"

#include "fillscript/catalogue.h"
#include "fillscript/datarun.h"
#include "fillscript/workerprotocol.h"
#include "runtime/textcodec.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace fillscript {
namespace {

int channel = -1;  // where messages go: the parent's pipe, kept off fd 1

void send(const std::string& message)
{
    for (std::size_t done = 0; done < message.size();) {
        const ssize_t n = ::write(channel, message.data() + done, message.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            std::_Exit(2);  // the parent is gone: nobody wants the rows
        done += std::size_t(n);
    }
}

// Reads what is there on fd 0; false at its end.
bool readInput(MessageLines& lines)
{
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        if (n <= 0)
            return false;
        lines.append(QByteArray(buf, qsizetype(n)));
        if (n < qsizetype(sizeof buf))
            return true;
    }
}

}  // namespace

int runWorkerProcess()
{
    // It lives only as long as the run that started it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1)
        return 2;
    // Ctrl-C reaches the whole group: the parent decides what stops.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    // Messages get a descriptor of their own; whatever the engine or a
    // library prints on standard output goes to standard error instead, and
    // the engine's helper processes never inherit the channel.
    channel = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (channel < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 2;

    MessageLines input;
    std::optional<ToWorker> setup;
    while (!setup) {
        if (!readInput(input))
            return 2;
        if (const std::optional<std::string> line = input.next()) {
            setup = readToWorker(*line);
            if (!setup || setup->kind != ToWorker::Setup)
                return 2;
        } else if (input.overflowed()) {
            return 2;
        }
    }
    DataRunSetup s = std::move(setup->setup);
    s.jobs = 1;
    s.fedRows = true;
    s.rows.clear();
    s.rowNumbers.clear();
    DataRun run(std::move(s), [](const RowRecord& row) { send(doneMessage(row)); });
    run.setLineDone([](int, const LineRecord& l) { send(lineMessage(l)); });
    run.setDialogAnswered([](int, const AnsweredDialog& d) { send(dialogMessage(d)); });
    run.setRetrying([](int, const Attempt& a) { send(retryMessage(a)); });

    ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
    QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
    bool bad = false;
    const auto take = [&] {
        const bool open = readInput(input);
        while (const std::optional<std::string> line = input.next()) {
            const std::optional<ToWorker> m = readToWorker(*line);
            if (!m || m->kind == ToWorker::Setup) {
                bad = true;
                run.stop();
                break;
            }
            if (m->kind == ToWorker::Stop)
                run.stop();
            else
                run.addRow(m->number, m->values, m->retries);
        }
        if (input.overflowed()) {
            bad = true;
            run.stop();
        }
        if (!open || bad) {
            notifier.setEnabled(false);
            run.noMoreRows();
        }
    };
    QObject::connect(&notifier, &QSocketNotifier::activated, &run, take);
    send(readyMessage());
    take();  // rows that came with the setup
    run.exec();
    if (!run.runError().isEmpty())
        send(errorMessage(rt::qstringToGb(run.runError())));
    return bad ? 2 : 0;
}

}  // namespace fillscript
