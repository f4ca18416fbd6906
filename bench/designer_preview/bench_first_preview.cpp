// The first preview of a run, offscreen, one cold sample per process: from
// the press of "开启实时预览" to the first page painted in the preview frame,
// loading the engine library and starting the engine included; then the
// resident memory of the designer with the preview open, the engine's helper
// processes included. Also whether the engine was loaded before the press.
//
// Two cases: the preview file on disk already holds the design (as after an
// earlier run), and no preview file yet (the design appears with the first
// refresh, one timer interval after opening).
//
//   bench_preview_first [samples]     (default 5 per case)
#include "benchsupport.h"

#include "design/design.h"
#include "design/document.h"
#include "designer_ui/mainwindow.h"
#include "designer_ui/previewwindow.h"
#include "runtime/fileio.h"
#include "webview/appsetup.h"
#include "webview/webview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QtTest/QTest>

#include <cstdio>

namespace {

const QColor kBox(255, 0, 0);

// One sample: prints "<press to painted ms> <engine loaded before 0|1>
// <processes> <rss MiB> <pss MiB> <designer alone rss MiB> <pss MiB>".
int sample(bool fileOnDisk)
{
    webview::WebView web;
    designer::MainWindow main;
    QTemporaryDir folder;
    designer::LivePreview preview(main, web, folder.path());
    main.show();
    if (!QTest::qWaitForWindowExposed(&main))
        return 1;
    main.design().createComponentWithBox("div", "box", 100, 80, 200, 120, "background-color:#ff0000;", "");
    if (fileOnDisk)
        rt::writeFileAtomically(folder.filePath(QStringLiteral("preview.html")),
                                design::encodeUtf8(main.design().generateDocument()));
    QTest::qWait(200);
    const bool engineBefore = benchsupport::mapped("libnode") || benchsupport::mapped("WebEngine");
    const benchsupport::Memory alone = benchsupport::processTreeMemory();

    auto* open = main.findChild<QPushButton*>(QStringLiteral("按钮4"));
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(open, Qt::LeftButton);
    bool painted = false;
    while (!painted && timer.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        if (designer::PreviewWindow* w = preview.window())
            painted = w->previewFrame()->grab().toImage().pixelColor(200, 140) == kBox;
    }
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (!painted) {
        std::fprintf(stderr, "the design was not shown\n");
        return 1;
    }
    // Memory once the engine has settled, a few refreshes later.
    QTest::qWait(3000);
    const benchsupport::Memory open_ = benchsupport::processTreeMemory();
    std::printf("%.1f %d %d %.1f %.1f %.1f %.1f\n", ms, engineBefore ? 1 : 0, open_.processes,
                open_.rssMiB, open_.pssMiB, alone.rssMiB, alone.pssMiB);
    return 0;
}

struct Figures {
    std::vector<double> ms, rss, pss, aloneRss, alonePss;
    int processes = 0;
    bool engineBefore = false;
};

bool runCase(const char* mode, int samples, Figures& f)
{
    for (int i = 0; i < samples; ++i) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--sample"), QString::fromLatin1(mode)});
        child.waitForFinished(90000);
        const QList<QByteArray> v = child.readAllStandardOutput().trimmed().split(' ');
        if (child.exitCode() != 0 || v.size() != 7) {
            std::fprintf(stderr, "sample failed:\n%s\n", child.readAllStandardError().constData());
            return false;
        }
        f.ms.push_back(v[0].toDouble());
        f.engineBefore = f.engineBefore || v[1] == "1";
        f.processes = v[2].toInt();
        f.rss.push_back(v[3].toDouble());
        f.pss.push_back(v[4].toDouble());
        f.aloneRss.push_back(v[5].toDouble());
        f.alonePss.push_back(v[6].toDouble());
        std::printf("  %s sample %d: %.1f ms\n", mode, i + 1, f.ms.back());
    }
    return true;
}

double median(const std::vector<double>& v) { return benchsupport::percentile(v, 0.5); }

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && QByteArray(argv[1]) == "--sample") {
        webview::prepareApplication();
        QApplication app(argc, argv);
        return sample(QByteArray(argv[2]) == "file");
    }
    QTemporaryDir home;
    benchsupport::isolateHome(home);  // inherited by the samples
    QCoreApplication app(argc, argv);
    const int samples = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;

    Figures withFile, withoutFile;
    if (!runCase("file", samples, withFile) || !runCase("nofile", samples, withoutFile))
        return 1;
    std::printf("press to first page painted (preview file on disk), median of %d: %.0f ms\n", samples,
                median(withFile.ms));
    std::printf("press to the design shown (no preview file yet), median of %d: %.0f ms\n", samples,
                median(withoutFile.ms));
    std::printf("engine library loaded before the press: %s\n",
                withFile.engineBefore || withoutFile.engineBefore ? "yes" : "no");
    std::printf("designer before opening: RSS %.0f MiB, PSS %.0f MiB\n", median(withFile.aloneRss),
                median(withFile.alonePss));
    std::printf("designer with the preview open, %d processes: RSS sum %.0f MiB, PSS sum %.0f MiB\n",
                withFile.processes, median(withFile.rss), median(withFile.pss));
    return withFile.engineBefore || withoutFile.engineBefore ? 2 : 0;
}
