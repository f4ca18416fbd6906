#pragma once
// Runs one of this folder's Playwright drivers with Debian's Chromium, when
// setup-playwright.sh has put them in place.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <optional>

namespace bench {

// The driver's one JSON line; nullopt (after saying why) when Playwright is
// not set up or the driver failed. The Chromium path is appended to args.
// `wait` waits for the started driver (and may sample it); by default it just
// waits for it to finish.
inline std::optional<QJsonObject> runPlaywright(const QString& driver, QStringList args,
                                                const std::function<void(QProcess&)>& wait = {})
{
    const QString benchDir = QStringLiteral(TOLVANE_BENCH_DIR);
    const QString chromium = "/usr/bin/chromium";
    if (!QFile::exists(benchDir + "/node_modules/playwright-core") || !QFile::exists(chromium)) {
        std::printf("Playwright: not set up (run bench/fillscript/setup-playwright.sh)\n");
        return std::nullopt;
    }
    QProcess node;
    node.setWorkingDirectory(benchDir);
    node.setProgram("node");
    node.setArguments(QStringList{benchDir + "/" + driver} + args + QStringList{chromium});
    node.start();
    if (wait)
        wait(node);
    else
        node.waitForFinished(1800000);
    const QJsonObject r = QJsonDocument::fromJson(node.readAllStandardOutput()).object();
    if (node.exitCode() != 0 || r.isEmpty()) {
        std::printf("Playwright failed: %s\n", node.readAllStandardError().constData());
        return std::nullopt;
    }
    return r;
}

}  // namespace bench
