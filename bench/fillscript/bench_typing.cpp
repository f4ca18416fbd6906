// Typing in a 5,000-line script: the cost of the text-change handling
// (caret line and column, hint, word before the caret, completion list) per
// keystroke, and of the whole key press including the editor's own work.
#include "fillscript/scripttoolwindow.h"
#include "runtime/textcodec.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace fillscript;

namespace {

struct Stats {
    double median, p99, max;
};

Stats stats(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)], us.back()};
}

void sendKey(QWidget* w, int key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ScriptToolWindow w;
    w.show();

    QString script;
    for (int i = 0; i < 5000; ++i) {
        if (i)
            script += "\r\n";
        script += i % 3 == 0 ? QString("填表操作_写内容(input,kw%1,值%1,0,,,,假)").arg(i)
                  : i % 3 == 1 ? QString("填表操作_取属性(input,kw%1,value,0,,,,假)").arg(i)
                               : QString("填表事件_点击(button,提交%1,0,,,,假)").arg(i);
    }
    QElapsedTimer t;
    t.start();
    w.scriptEditor()->setText(script);
    w.scriptEditor()->setCursorPosition(4999, 0);
    w.onScriptChanged();  // first measurement after loading converts every line once
    const double loadMs = t.nsecsElapsed() / 1e6;

    std::vector<double> handler, keystroke;
    // Time the change handling where it really runs: at the end of each input
    // event, after the editor has changed the text.
    bool measuring = false;
    const auto flush = w.scriptEditor()->afterInput;
    w.scriptEditor()->afterInput = [&] {
        QElapsedTimer h;
        h.start();
        flush();
        if (measuring)
            handler.push_back(h.nsecsElapsed() / 1e3);
    };
    const QString typed = "tbcz_qnr";
    for (int line : {10, 2500, 4999}) {
        for (int round = 0; round < 20; ++round) {
            w.scriptEditor()->setCursorPosition(line, w.scriptEditor()->text(line).trimmed().size());
            sendKey(w.scriptEditor(), Qt::Key_Return, "\r");  // a new line below to type on
            for (const QChar ch : typed) {
                measuring = true;
                t.restart();
                sendKey(w.scriptEditor(), ch.toUpper().unicode(), QString(ch));
                keystroke.push_back(t.nsecsElapsed() / 1e3);
                measuring = false;
            }
            // Inside parentheses, with a hint: a Chinese argument typed through
            // the input method.
            for (const QString& piece : {QString("("), QString("a"), QString(",")}) {
                sendKey(w.scriptEditor(), piece.at(0).unicode(), piece);
            }
            QInputMethodEvent ime;
            ime.setCommitString("值");
            measuring = true;
            t.restart();
            QApplication::sendEvent(w.scriptEditor(), &ime);
            keystroke.push_back(t.nsecsElapsed() / 1e3);
            measuring = false;
            // Remove the typed line again, with the line break before it.
            using B = QsciScintillaBase;
            ScriptEditor* e = w.scriptEditor();
            e->SendScintilla(B::SCI_SETSEL, (unsigned long)e->SendScintilla(B::SCI_GETLINEENDPOSITION, (unsigned long)line),
                             e->SendScintilla(B::SCI_GETLINEENDPOSITION, (unsigned long)line + 1));
            e->removeSelectedText();
        }
    }
    const Stats h = stats(handler), k = stats(keystroke);
    std::printf("script: 5000 lines, %d keystrokes measured\n", int(handler.size()));
    std::printf("first change handling after loading: %.2f ms\n", loadMs);
    std::printf("onScriptChanged per keystroke: median %.1f us, p99 %.1f us, max %.1f us\n",
                h.median, h.p99, h.max);
    std::printf("whole key press (editor + handling): median %.1f us, p99 %.1f us, max %.1f us\n",
                k.median, k.p99, k.max);
    return w.scriptEditor()->lines() == 5000 ? 0 : 1;
}
