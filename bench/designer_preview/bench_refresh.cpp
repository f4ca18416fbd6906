// One preview refresh on the UI thread with a large design: generating the
// document, writing the preview file and asking the engine to load it, as the
// refresh timer runs it, against the real engine (offscreen). Also the three
// steps on their own.
//
//   bench_preview_refresh [components] [refreshes]   (defaults 1000 and 200)
#include "benchsupport.h"

#include "design/design.h"
#include "design/document.h"
#include "designer_ui/mainwindow.h"
#include "designer_ui/previewwindow.h"
#include "runtime/fileio.h"
#include "runtime/textcodec.h"
#include "webview/appsetup.h"
#include "webview/webview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QtTest/QTest>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// Lets the engine work between refreshes, as it does between timer ticks.
void runEventsFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
}

std::vector<double> timeEach(int runs, const std::function<void()>& step)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        step();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        runEventsFor(20);
    }
    return ms;
}

void report(const char* what, const std::vector<double>& ms)
{
    std::printf("%-34s median %.2f ms, p95 %.2f ms, max %.2f ms\n", what,
                benchsupport::percentile(ms, 0.5), benchsupport::percentile(ms, 0.95),
                benchsupport::percentile(ms, 1.0));
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    benchsupport::isolateHome(home);
    webview::prepareApplication();
    QApplication app(argc, argv);
    const int components = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int refreshes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;

    webview::WebView web;
    designer::MainWindow main;
    main.show();
    if (!QTest::qWaitForWindowExposed(&main))
        return 1;
    for (int i = 0; i < components; ++i)
        main.design().createComponentWithBox("div", "c" + std::to_string(i), (i * 37) % 600, (i * 53) % 560,
                                       40 + i % 50, 20 + i % 30, "background-color:#3366cc;\r\ncolor:#fff;",
                                       rt::gb("文本") + std::to_string(i));

    QTemporaryDir folder;
    designer::LivePreview preview(main, web, folder.path());
    preview.openPreview();
    designer::PreviewWindow* window = preview.window();
    window->refreshTimer()->stop();  // refreshes are driven from here
    window->refreshPreview();
    QElapsedTimer wait;
    wait.start();
    while (!web.isLoadingSucceeded() && wait.elapsed() < 30000)
        runEventsFor(10);
    if (!web.isLoadingSucceeded()) {
        std::fprintf(stderr, "the preview did not load\n");
        return 1;
    }

    const std::string document = main.design().generateDocument();
    const std::string bytes = design::encodeUtf8(document);
    const QString path = window->previewFilePath();
    const std::string pathText = rt::qstringToGb(path);
    std::printf("%d components, document %.0f KB, %d refreshes\n", components, bytes.size() / 1024.0,
                refreshes);
    report("refresh (generate, write, load):", timeEach(refreshes, [&] { window->refreshPreview(); }));
    report("  generate + encode:", timeEach(refreshes, [&] {
               const std::string b = design::encodeUtf8(main.design().generateDocument());
               if (b.empty())
                   std::abort();
           }));
    report("  write (temporary + rename, as the preview):", timeEach(refreshes, [&] {
               rt::writeFileAtomically(path, bytes, rt::Durability::Replaced);
           }));
    report("  (the same with a disk flush, as saving):",
           timeEach(refreshes, [&] { rt::writeFileAtomically(path, bytes); }));
    report("  load request:", timeEach(refreshes, [&] { web.loadUrl(pathText); }));
    return 0;
}
