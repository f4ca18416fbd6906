#pragma once
// Helpers for driving the designer's real windows in tests.
#include "design/design.h"
#include "design/rule.h"
#include "designer_ui/designcanvas.h"
#include "designer_ui/mainwindow.h"
#include "runtime/textcodec.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace uitest {

// Runs `action` on the first visible modal window of type T that opens within
// `timeoutMs`. The returned flag tells whether it ran.
template <typename T>
std::shared_ptr<bool> whenModal(std::function<void(T*)> action, int timeoutMs = 5000)
{
    auto ran = std::make_shared<bool>(false);
    // Owned by the application and named, so that a test can end the waits it
    // left (stopModalWaits): a wait that outlived its test would act on the
    // next test's dialog.
    auto* timer = new QTimer(qApp);
    timer->setObjectName(QStringLiteral("uitest-whenModal"));
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
        if ((w && w->isVisible()) || clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            if (w && w->isVisible()) {
                *ran = true;
                action(w);
            }
        }
    });
    timer->start(10);
    return ran;
}

// Ends every whenModal wait still pending.
inline void stopModalWaits()
{
    qDeleteAll(qApp->findChildren<QTimer*>(QStringLiteral("uitest-whenModal"), Qt::FindDirectChildrenOnly));
}

// Answers the next question box with the given button, as a click on it.
inline std::shared_ptr<bool> answerNextQuestion(QMessageBox::StandardButton answer)
{
    return whenModal<QMessageBox>([answer](QMessageBox* m) {
        QVERIFY(m->button(answer));
        m->button(answer)->click();
    });
}

// While alive, closes every message box that opens and keeps its text.
class MessageBoxWatcher {
public:
    MessageBoxWatcher()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                box && box->isVisible()) {
                texts.append(box->text());
                box->accept();
            }
        });
        timer_.start(10);
    }
    QStringList texts;

private:
    QTimer timer_;
};

// Types text one character at a time, non-Latin characters included.
inline void typeText(QWidget* w, const QString& text)
{
    for (QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// Picks `path` in the next file dialog and records how the dialog was set up.
struct FileDialogPick {
    QString title;
    QStringList filters;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    bool stillOpenAfterAccept = false;
};

inline std::shared_ptr<FileDialogPick> pickInNextFileDialog(const QString& path)
{
    auto seen = std::make_shared<FileDialogPick>();
    whenModal<QFileDialog>([seen, path](QFileDialog* d) {
        seen->title = d->windowTitle();
        seen->filters = d->nameFilters();
        seen->mode = d->acceptMode();
        // Typed into the file name box, as a user would.
        auto* nameBox = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(nameBox);
        nameBox->setText(path);
        static_cast<QDialog*>(d)->accept();  // as the dialog's own button does
        // A choice the dialog refuses leaves it open; cancel it then.
        seen->stillOpenAfterAccept = d->isVisible();
        if (d->isVisible())
            d->reject();
    });
    return seen;
}

inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QString ruleOf(designer::MainWindow& w, design::BoxHandle box)
{
    const int pos = w.design().findComponentByBox(box);
    return pos ? rt::gbToQString(w.design().componentAt(pos).rule) : QString();
}

inline QRect boxRect(designer::MainWindow& w, design::BoxHandle box)
{
    designer::CanvasBox* b = w.designCanvas()->box(box);
    return b ? b->geometry() : QRect();
}

}  // namespace uitest
