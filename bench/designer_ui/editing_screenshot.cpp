// Draws the picture of the editing guide: a real main window (offscreen)
// with a few boxes, two of them selected, one being dragged so that it snaps
// to another with a guide line showing, grabbed to a PNG file.
//
//   editing_screenshot docs/designer-editing.png
#include "designer_ui/designcanvas.h"
#include "designer_ui/mainwindow.h"
#include "runtime/textcodec.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QtTest/QTest>

#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: editing_screenshot <file.png>\n");
        return 2;
    }
    designer::MainWindow w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    design::Design& d = w.design();
    d.createComponentWithBox("div", "header", 20, 20, 620, 60, "background:#eef;\r\n", rt::gb("标题"));
    d.createComponentWithBox("div", "menu", 20, 100, 140, 300, "", "");
    d.createComponentWithBox("div", "content", 180, 100, 460, 200, "", "");
    d.createComponentWithBox("button", "ok", 180, 330, 120, 40, "", rt::gb("确定"));
    const design::BoxHandle cancel = d.createComponentWithBox("button", "cancel", 340, 336, 120, 40, "", rt::gb("取消"));
    QTest::mouseClick(w.designCanvas()->box(d.componentAt(4).boxHandle), Qt::LeftButton);
    // Drag "cancel" up by 4 pixels: its top snaps to the top of "ok".
    QWidget* box = w.designCanvas()->box(cancel);
    const QPoint from = box->mapToGlobal(QPoint(60, 20));
    QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, QPoint(60, 20));
    QTest::mouseMove(box, box->mapFromGlobal(from + QPoint(6, -4)));
    QCoreApplication::processEvents();
    // The guide lines are small windows of their own over the canvas: draw
    // them into the window's picture where they stand.
    QPixmap shot = w.grab();
    {
        QPainter painter(&shot);
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible() && top->windowType() == Qt::ToolTip)
                painter.drawPixmap(w.mapFromGlobal(top->geometry().topLeft()), top->grab());
    }
    if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, box->mapFromGlobal(from + QPoint(6, -4)));
    return 0;
}
