#pragma once
// Shared by the benchmarks: a throw-away home folder for the engine,
// the memory of a process with all its descendants, and medians.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace benchsupport {

// Points HOME and the XDG folders into dir, so that neither the benchmark
// nor the engine writes into the real home folder. Call before QApplication.
inline void isolateHome(const QTemporaryDir& dir)
{
    for (const char* sub : {"home", "data", "cache", "config", "runtime"})
        QDir().mkpath(dir.filePath(QString::fromLatin1(sub)));
    QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", dir.filePath(QStringLiteral("home")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", dir.filePath(QStringLiteral("runtime")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "qt.webenginecontext.debug=false");
}

struct Memory {
    int processes = 0;
    double rssMiB = 0;  // resident sizes added up (shared pages counted in each)
    double pssMiB = 0;  // proportional sizes added up (shared pages divided)
};

inline pid_t parentOf(const QString& pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // "pid (comm) state ppid ...": comm may hold spaces and parentheses.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 1 ? pid_t(fields[1].toInt()) : -1;
}

// The process root (this one by default) and every descendant (the engine's
// helper processes).
inline Memory processTreeMemory(pid_t root = ::getpid())
{
    std::vector<pid_t> tree{root};
    const QStringList all = QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
    for (bool grew = true; grew;) {
        grew = false;
        for (const QString& pid : all) {
            const pid_t p = pid_t(pid.toInt());
            if (std::find(tree.begin(), tree.end(), p) != tree.end())
                continue;
            if (std::find(tree.begin(), tree.end(), parentOf(pid)) != tree.end()) {
                tree.push_back(p);
                grew = true;
            }
        }
    }
    Memory m;
    for (pid_t p : tree) {
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(p));
        if (!rollup.open(QIODevice::ReadOnly))
            continue;
        ++m.processes;
        for (const QByteArray& line : rollup.readAll().split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() >= 2 && f[0] == "Rss:")
                m.rssMiB += f[1].toDouble() / 1024;
            else if (f.size() >= 2 && f[0] == "Pss:")
                m.pssMiB += f[1].toDouble() / 1024;
        }
    }
    return m;
}

// Whether a library whose path contains name is mapped into this process.
inline bool mapped(const char* name)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(name);
}

inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

}  // namespace benchsupport
