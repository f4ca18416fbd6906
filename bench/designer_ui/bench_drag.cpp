// One drag mouse move with 1,000 components on the canvas: the rule rewrite,
// the box move, the left and top boxes and the immediate repaint of what
// changed, as the box's mouse-move handler runs it.
//
//   bench_designer_drag [components] [moves]   (defaults 1000 and 5000; offscreen)
#include "design/rule.h"
#include "designer_ui/mainwindow.h"

#include <QApplication>
#include <QtTest/QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int components = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int moves = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5000;

    designer::MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    // Spread the boxes over the canvas.
    for (int i = 0; i < components; ++i) {
        window.addNewComponent();
        design::ComponentUpdate u;
        u.left = (i * 37) % 600;
        u.top = (i * 53) % 560;
        window.design().updateComponent(window.design().componentAt(i + 1).boxHandle, u);
    }
    QCoreApplication::processEvents();

    // Drag the last box: its lookup walks the whole list.
    const design::BoxHandle box = window.design().componentAt(components).boxHandle;
    const QPoint origin = window.outerGeometry().topLeft() + QPoint(600, 350);
    window.beginDrag(box, origin);
    std::vector<double> us;
    us.reserve(size_t(moves));
    for (int i = 0; i < moves; ++i) {
        const QPoint cursor = origin + QPoint((i * 7) % 200 - 100, (i * 3) % 120 - 60);
        const auto t0 = std::chrono::steady_clock::now();
        window.continueDrag(cursor, false);
        const auto t1 = std::chrono::steady_clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    window.endDrag();

    double sum = 0;
    for (double v : us)
        sum += v;
    std::sort(us.begin(), us.end());
    std::printf("drag move with %d components, %d moves: mean %.1f us, median %.1f us, "
                "p99 %.1f us, max %.1f us\n",
                components, moves, sum / moves, us[us.size() / 2],
                us[size_t(double(us.size()) * 0.99)], us.back());
    return 0;
}
