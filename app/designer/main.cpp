#include "runtime/textcodec.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Tolvanehtml界面制作"));
    window.setGeometry(50, 50, 989, 707);
    window.show();
    return app.exec();
}
