// Editing with many boxes, in a real main window (offscreen by default):
//  - one drag mouse move with snapping on (and the snap index built at the
//    press), at 1,000 and 10,000 boxes;
//  - rubber-band selection of half the boxes;
//  - undo of a 1,000-step history step by step (total time, and the memory
//    the history holds);
//  - autosave: what the user-interface thread spends on a write of the whole
//    design, the write's total time on its own thread, and drag moves made
//    while that write runs.
//
//   bench_designer_editing [box counts...]   (default 1000 10000)
#include "design/autosave.h"
#include "designer_ui/mainwindow.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest/QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

struct Stats {
    double mean, median, p99, max;
};

Stats stats(std::vector<double> v)
{
    double sum = 0;
    for (double x : v)
        sum += x;
    std::sort(v.begin(), v.end());
    return {sum / double(v.size()), v[v.size() / 2], v[std::size_t(double(v.size()) * 0.99)], v.back()};
}

long rssKiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toLong() * 4 : 0;
}

// Drag moves of the last box, in microseconds each.
std::vector<double> dragMoves(designer::MainWindow& w, int moves, double* pressMs)
{
    const design::BoxHandle box = w.design().componentAt(w.design().componentCount()).boxHandle;
    const QPoint origin = w.outerGeometry().topLeft() + QPoint(600, 350);
    const auto t0 = Clock::now();
    w.beginDrag(box, origin);
    if (pressMs)
        *pressMs = msSince(t0);
    std::vector<double> us;
    for (int i = 0; i < moves; ++i) {
        const QPoint cursor = origin + QPoint((i * 7) % 200 - 100, (i * 3) % 120 - 60);
        const auto t = Clock::now();
        w.continueDrag(cursor, false);
        us.push_back(msSince(t) * 1000);
    }
    w.endDrag();
    return us;
}

void run(int count)
{
    designer::MainWindow w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return;
    design::Design& d = w.design();
    for (int i = 0; i < count; ++i)
        d.createComponentWithBox("div", "c" + std::to_string(i), (i * 37) % 600, (i * 53) % 560, 40 + i % 50,
                                 20 + i % 30, "color:#333;\r\n", "item " + std::to_string(i));
    d.undoStack()->clear();
    QCoreApplication::processEvents();
    std::printf("--- %d boxes\n", count);

    w.setSnapping(false);
    const Stats free = stats(dragMoves(w, 500, nullptr));
    std::printf("drag move, snapping off:  mean %.3f ms, median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                free.mean / 1000, free.median / 1000, free.p99 / 1000, free.max / 1000);
    w.setSnapping(true);
    double pressMs = 0;
    const Stats drag = stats(dragMoves(w, 500, &pressMs));
    std::printf("drag move, snapping on:   mean %.3f ms, median %.3f ms, p99 %.3f ms, max %.3f ms"
                " (press with snap index: %.2f ms)\n",
                drag.mean / 1000, drag.median / 1000, drag.p99 / 1000, drag.max / 1000, pressMs);

    // Half of the canvas height covers about half of the boxes.
    auto t0 = Clock::now();
    w.selectInRect(QRect(0, 0, 800, 280));
    std::printf("rubber band selecting %zu of %d boxes: %.2f ms\n", w.selection().size(), count, msSince(t0));
    w.selectInRect(QRect(-5000, -5000, 1, 1));  // nothing selected again

    // 1,000 steps: each a one-field edit of another box.
    const long before = rssKiB();
    for (int i = 0; i < 1000; ++i) {
        design::ComponentUpdate u;
        u.width = 10 + i % 90;
        d.updateComponent(d.componentAt(1 + (i * 7919) % count).boxHandle, u);
    }
    const long history = rssKiB() - before;
    t0 = Clock::now();
    int undone = 0;
    while (d.undoStack()->canUndo()) {
        d.undoStack()->undo();
        ++undone;
    }
    std::printf("undo of a %d-step history, step by step: %.2f ms in all (%.3f ms a step);"
                " the history held about %ld KiB\n",
                undone, msSince(t0), msSince(t0) / std::max(1, undone), history);

    QTemporaryDir folder;
    design::Autosave autosave(d, folder.path(), 1000000);
    auto change = [&] {
        design::ComponentUpdate u;
        u.left = 1 + std::rand() % 100;
        d.updateComponent(d.componentAt(1).boxHandle, u);  // a change is waiting
    };
    change();
    t0 = Clock::now();
    autosave.flush();  // the user-interface thread's part: a copy of the list
    const double uiMs = msSince(t0);
    autosave.waitForWrites();
    const double totalMs = msSince(t0);
    // Drag moves while a write runs on its own thread.
    change();
    autosave.flush();
    const Stats during = stats(dragMoves(w, 200, nullptr));
    autosave.waitForWrites();
    std::printf("autosave of %d boxes (%.0f KiB): UI thread %.2f ms, written %.1f ms after the start;"
                " drag moves during a write: mean %.3f ms, max %.3f ms\n",
                count, QFile(autosave.filePath()).size() / 1024.0, uiMs, totalMs, during.mean / 1000,
                during.max / 1000);
    autosave.discard();
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // figures appear as they come
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::max(1, std::atoi(argv[i])));
    if (counts.empty())
        counts = {1000, 10000};
    for (int n : counts)
        run(n);
    return 0;
}
