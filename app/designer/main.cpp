// The designer: one main window; closing it ends the program.
#include "designer_ui/mainwindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {
// With TOLVANE_STARTUP_PROBE set, prints "painted" once the main window has
// been painted for the first time (used by the start-up benchmark).
class FirstPaintProbe : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Children paint in the same pass; report after it.
            QTimer::singleShot(0, [] {
                std::fputs("painted\n", stdout);
                std::fflush(stdout);
            });
        }
        return false;
    }
};
}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    designer::MainWindow window;
    if (qEnvironmentVariableIsSet("TOLVANE_STARTUP_PROBE"))
        window.installEventFilter(new FirstPaintProbe(&window));
    window.show();
    return app.exec();
}
