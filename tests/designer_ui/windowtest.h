#pragma once
// A fresh, shown and active main window for every test function, and a
// temporary folder for the files a test writes.
#include "uitest.h"

#include <QPushButton>
#include <QTemporaryDir>

namespace uitest {

class WindowTest : public QObject {
    Q_OBJECT
protected:
    std::unique_ptr<designer::MainWindow> win;
    QTemporaryDir dir;

    design::Design& model() { return win->design(); }
    QPushButton* button(const char16_t* name) const
    {
        return win->findChild<QPushButton*>(QString::fromUtf16(name));
    }
    // "增加"; answers the new box.
    design::BoxHandle addBox()
    {
        QTest::mouseClick(button(u"按钮1"), Qt::LeftButton);
        return model().componentAt(model().componentCount()).boxHandle;
    }

private slots:
    void initTestCase()
    {
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        QVERIFY(dir.isValid());
    }
    void init()
    {
        win = std::make_unique<designer::MainWindow>();
        win->show();
        QVERIFY(QTest::qWaitForWindowActive(win.get()));
    }
    void cleanup()
    {
        stopModalWaits();
        win.reset();
    }
};

}  // namespace uitest
