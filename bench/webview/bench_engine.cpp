// Engine start-up figures, offscreen: loading the engine library, and the
// first usable view (from the first engine call to the page's first paint,
// engine start included, checked in a grab of the host). One sample per process: the figures are of a cold
// start, so the program runs itself once per sample and reports the median.
//
//   bench_engine [samples]        (default 5)
#include "webview/appsetup.h"
#include "webview/engineloader.h"
#include "webview/webview.h"

#include "runtime/paths.h"
#include "runtime/textcodec.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLibrary>
#include <QProcess>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Counts the paints the engine reports.
void paintUpdated(wkeWebView, void* param, const void*, int, int, int, int)
{
    ++*static_cast<int*>(param);
}

// One cold sample: prints "<load ms> <first view ms>".
int sample()
{
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("page.html"));
    QFile file(page);
    file.open(QIODevice::WriteOnly);
    file.write("<!doctype html><body style='margin:0'><div style='width:100px;height:60px;"
               "background:#f00'></div></body>");
    file.close();

    QElapsedTimer timer;
    timer.start();
    QLibrary library(webview::engineLibraryPath());
    if (!library.load()) {
        std::fprintf(stderr, "%s\n", qPrintable(library.errorString()));
        return 1;
    }
    const double loadMs = timer.nsecsElapsed() / 1e6;

    QWidget host;
    host.resize(640, 480);
    host.show();
    timer.restart();
    webview::WebView web;
    web.create(&host, "bench", rt::qstringToGb(page), "");
    int paints = 0;
    int paintsChecked = 0;
    bool shown = false;
    WKE_CALL(wkeOnPaintUpdated)(web.engine().getViewHandle(), paintUpdated, &paints);
    // Usable: loaded, and its red box on screen; looked for after each paint
    // the engine reports. A real event loop: Chromium's UI-thread work runs
    // through it.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!web.isLoadingSucceeded() || paints == paintsChecked)
            return;
        paintsChecked = paints;
        if (host.grab().toImage().pixelColor(50, 30) == QColor(255, 0, 0)) {
            shown = true;
            loop.quit();
        }
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    poll.start(1);
    loop.exec();
    const double viewMs = timer.nsecsElapsed() / 1e6;
    if (!shown) {
        std::fprintf(stderr, "the page was not shown\n");
        return 1;
    }
    std::printf("%.1f %.1f\n", loadMs, viewMs);
    return 0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--sample") {
        webview::prepareApplication();
        QApplication app(argc, argv);
        return sample();
    }
    QCoreApplication app(argc, argv);
    const int samples = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;
    QTemporaryDir home;  // the samples write nothing into the real home folder
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.webenginecontext.debug=false"));
    std::vector<double> loads, views;
    for (int i = 0; i < samples; ++i) {
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--sample")});
        child.waitForFinished(60000);
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        if (child.exitCode() != 0 || figures.size() != 2) {
            std::fprintf(stderr, "sample failed:\n%s\n", child.readAllStandardError().constData());
            return 1;
        }
        loads.push_back(figures[0].toDouble());
        views.push_back(figures[1].toDouble());
        std::printf("sample %d: library load %.1f ms, first usable view %.1f ms\n", i + 1,
                    loads.back(), views.back());
    }
    std::printf("median of %d: library load %.1f ms, first usable view %.1f ms\n", samples,
                median(loads), median(views));
    return 0;
}
