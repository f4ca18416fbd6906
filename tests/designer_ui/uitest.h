#pragma once
// Helpers for driving the designer's real windows in tests.
#include "design/component.h"
#include "design/rule.h"
#include "designer_ui/designcanvas.h"
#include "designer_ui/mainwindow.h"
#include "runtime/textcodec.h"

#include <QApplication>
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
    auto* timer = new QTimer;
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        *waited += 10;
        auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
        if ((w && w->isVisible()) || *waited > timeoutMs) {
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

inline void resetDesign()
{
    for (int i = design::componentCount(); i >= 1; --i)
        if (design::canvas())
            design::canvas()->destroyBox(design::componentAt(i).boxHandle);
    design::clearComponents();
    design::selectedBox = 0;
    design::pendingStyleCode.clear();
}

inline QString ruleOf(design::BoxHandle box)
{
    const int pos = design::findComponentByBox(box);
    return pos ? rt::gbToQString(design::componentAt(pos).rule) : QString();
}

inline QRect boxRect(designer::MainWindow& w, design::BoxHandle box)
{
    designer::CanvasBox* b = w.designCanvas()->box(box);
    return b ? b->geometry() : QRect();
}

}  // namespace uitest
