// Start-up time of tolvane-designer: from starting the process to its main
// window's first paint, over several runs. Also checks that the web engine
// library is not loaded at that point.
//
//   bench_designer_startup [runs]      (default 20; platform from QT_QPA_PLATFORM,
//                                       offscreen when neither it nor DISPLAY is set)
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Run {
    double ms = -1;
    bool engineLoaded = false;
};

Run runOnce(const std::string& program)
{
    int out[2];
    if (pipe(out) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);

    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    Run run;
    if (rc != 0) {
        close(out[0]);
        return run;
    }
    // The designer prints "painted" after its first paint.
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    const auto end = std::chrono::steady_clock::now();
    if (line == "painted") {
        run.ms = std::chrono::duration<double, std::milli>(end - start).count();
        QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
        if (maps.open(QIODevice::ReadOnly))
            run.engineLoaded = maps.readAll().contains("WebEngine");
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    close(out[0]);
    return run;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::string program =
        (QCoreApplication::applicationDirPath() + QStringLiteral("/tolvane-designer")).toStdString();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TOLVANE_STARTUP_PROBE", "1");

    runOnce(program);  // warm the file cache
    std::vector<double> times;
    bool engineLoaded = false;
    for (int i = 0; i < runs; ++i) {
        const Run r = runOnce(program);
        if (r.ms < 0) {
            std::fprintf(stderr, "run %d: the designer did not report its first paint\n", i + 1);
            return 1;
        }
        times.push_back(r.ms);
        engineLoaded = engineLoaded || r.engineLoaded;
    }
    std::sort(times.begin(), times.end());
    std::printf("start-up to first paint (%s), %d runs: min %.1f ms, median %.1f ms, max %.1f ms\n",
                qgetenv("QT_QPA_PLATFORM").isEmpty() ? "xcb" : qgetenv("QT_QPA_PLATFORM").constData(),
                runs, times.front(), times[times.size() / 2], times.back());
    std::printf("web engine library loaded at first paint: %s\n", engineLoaded ? "yes" : "no");
    return engineLoaded ? 2 : 0;
}
