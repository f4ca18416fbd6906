// Editing beyond the button flows, through real windows and real mouse and
// key events: undo and redo, selecting without editing, several boxes at
// once, the keyboard, copy and paste between windows, unsaved changes.
#include "windowtest.h"

#include "design/document.h"

#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QWheelEvent>
#include <QTemporaryDir>
#include <QUndoStack>

using designer::DesignCanvas;
using designer::MainWindow;
using namespace uitest;

class TestDesignerEditing : public WindowTest {
    Q_OBJECT

    QLineEdit* edit(const char16_t* name) const { return win->findChild<QLineEdit*>(QString::fromUtf16(name)); }
    QPlainTextEdit* extraBox() const { return win->findChild<QPlainTextEdit*>(QStringLiteral("编辑框7")); }
    QWidget* boxWidget(design::BoxHandle b) const { return win->designCanvas()->box(b); }

    design::BoxHandle boxAt(int position) { return model().componentAt(position).boxHandle; }
    // Presses the box, moves the cursor by (dx, dy) in two steps, releases.
    void drag(design::BoxHandle b, int dx, int dy, Qt::KeyboardModifiers mods = {})
    {
        QWidget* w = boxWidget(b);
        const QPoint start = w->mapToGlobal(QPoint(5, 5));
        QTest::mousePress(w, Qt::LeftButton, mods, QPoint(5, 5));
        QTest::mouseMove(w, w->mapFromGlobal(start + QPoint(dx / 2, dy / 2)));
        QTest::mouseMove(w, w->mapFromGlobal(start + QPoint(dx, dy)));
        QTest::mouseRelease(w, Qt::LeftButton, mods, w->mapFromGlobal(start + QPoint(dx, dy)));
    }
    void click(design::BoxHandle b, Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseClick(boxWidget(b), Qt::LeftButton, mods, QPoint(5, 5));
    }
    void key(int k, Qt::KeyboardModifiers mods = {})
    {
        // Shortcuts reach the active window only (a dialog may just have closed).
        win->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(win.get()));
        QTest::keyClick(win->designCanvas(), Qt::Key(k), mods);
    }
    // The page a save would write now, as its bytes on disk.
    QByteArray savedPage()
    {
        const QString path = dir.filePath(QStringLiteral("page.html"));
        // A failed save gives no bytes, which no page equals.
        return model().saveDocumentTo(path).ok ? fileBytes(path) : QByteArray();
    }
    std::string pageText() { return model().generateDocument(); }

private slots:
    // Showing a Component in the panel leaves every byte of it as it was,
    // and starts no undo step.
    void selectingNeverEdits_data()
    {
        QTest::addColumn<QString>("extra");
        QTest::addColumn<QString>("inner");
        QTest::newRow("lone LF in extra") << QStringLiteral("color:red;\nfont-size:9px;") << QString();
        QTest::newRow("lone CR in extra") << QStringLiteral("color:red;\rmargin:0;") << QString();
        QTest::newRow("CR LF and LF mixed") << QStringLiteral("a:1;\r\nb:2;\nc:3;\r\n") << QStringLiteral("x");
        QString longText;
        for (int i = 0; longText.size() < 200000; ++i)
            longText += (i % 3 == 0) ? QStringLiteral("文字") : QStringLiteral("text%1 ").arg(i % 10);
        longText.truncate(200000);
        QTest::newRow("200,000 characters of inner text") << QString() << longText;
    }
    void selectingNeverEdits()
    {
        QFETCH(QString, extra);
        QFETCH(QString, inner);
        const design::BoxHandle b = model().createComponentWithBox(
            "div", "k", 30, 40, 100, 60, rt::qstringToGb(extra), rt::qstringToGb(inner));
        model().undoStack()->clear();
        const std::string before = pageText();

        click(b);
        QCOMPARE(model().selectedBox(), b);
        QCOMPARE(edit(u"编辑框8")->text(), inner);  // shown whole, not cut
        QCOMPARE(pageText(), before);
        QCOMPARE(model().undoStack()->count(), 0);
        // Double-click selects again; still nothing changes.
        QTest::mouseDClick(boxWidget(b), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(pageText(), before);

        // Saved and read back, the text is all there.
        const QString path = dir.filePath(QStringLiteral("long.html"));
        QVERIFY(model().saveDocumentTo(path).ok);
        MainWindow other;
        other.design().importDocumentFrom(path);
        QCOMPARE(other.design().componentCount(), 1);
        QCOMPARE(rt::gbToQString(other.design().componentAt(1).innerText), inner);
    }

    // Every kind of step, made with real events; after each one the saved
    // page is kept. Undo walks back through exactly those pages, redo forward.
    void undoAndRedoGiveBackEverySavedPage()
    {
        QList<QByteArray> pages{savedPage()};
        QStringList steps;
        auto stepDone = [&](const char* what) {
            pages << savedPage();
            steps << QString::fromLatin1(what);
            QVERIFY2(pages.last() != pages.value(pages.size() - 2), what);
        };
        const design::BoxHandle a = addBox();
        stepDone("add");
        const design::BoxHandle b = addBox();
        stepDone("add again");
        drag(b, 40, 25);
        stepDone("drag");
        click(a);
        edit(u"编辑框5")->selectAll();
        QTest::keyClicks(edit(u"编辑框5"), QStringLiteral("150"));
        QTest::keyClick(edit(u"编辑框5"), Qt::Key_Return);
        stepDone("width commit");
        QTest::keyClicks(extraBox(), QStringLiteral("color:red;"));
        stepDone("typing in the extra box");
        typeText(edit(u"编辑框8"), QStringLiteral("你好"));
        stepDone("typing in the text box");
        model().importStyleCode("p.card {\r\n  top:7px;\r\n}");
        stepDone("style code");
        win->designCanvas()->setFocus();
        key(Qt::Key_Right, Qt::ShiftModifier);
        key(Qt::Key_Right);
        key(Qt::Key_Down);
        stepDone("nudges");
        key(Qt::Key_D, Qt::ControlModifier);
        stepDone("duplicate");
        click(boxAt(1));
        win->bringToFront();
        stepDone("bring to front");
        click(boxAt(2));
        key(Qt::Key_Delete);
        stepDone("delete");
        {
            MessageBoxWatcher boxes;
            QTest::mouseClick(button(u"按钮2"), Qt::LeftButton);
            QTest::mouseDClick(boxWidget(boxAt(1)), Qt::LeftButton);
        }
        stepDone("delete mode");
        const QString other = dir.filePath(QStringLiteral("other.html"));
        {
            QFile f(other);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<html><style>\r\ndiv.r1 {\r\n  left:3px;\r\n  top:4px;\r\n}\r\n</style>"
                    "<body>\r\n  <div class= \"r1\">one</div>\r\n</body></html>");
        }
        answerNextQuestion(QMessageBox::Discard);
        pickInNextFileDialog(other);
        QTest::mouseClick(button(u"按钮5"), Qt::LeftButton);
        stepDone("read");
        QCOMPARE(model().undoStack()->count(), steps.size());

        for (int i = steps.size() - 1; i >= 0; --i) {
            key(Qt::Key_Z, Qt::ControlModifier);
            QVERIFY2(savedPage() == pages[i], qPrintable(QStringLiteral("undo of ") + steps[i]));
        }
        for (int i = 0; i < steps.size(); ++i) {
            key(i % 2 ? Qt::Key_Y : Qt::Key_Z, i % 2 ? Qt::ControlModifier : Qt::ControlModifier | Qt::ShiftModifier);
            QVERIFY2(savedPage() == pages[i + 1], qPrintable(QStringLiteral("redo of ") + steps[i]));
        }
    }

    // Ctrl+click builds a selection; the panel shows what all share; an
    // edit, a drag, a nudge and Delete act on all of them, each as one step.
    void severalBoxesAtOnce()
    {
        const design::BoxHandle a = addBox();
        const design::BoxHandle b = addBox();
        const design::BoxHandle c = addBox();
        drag(b, 100, 0);
        drag(c, 0, 200);
        edit(u"编辑框1")->setFocus();
        click(a);
        QCOMPARE(QApplication::focusWidget(), win->designCanvas());  // the keys now go to the canvas
        click(b, Qt::ControlModifier);
        QCOMPARE(win->selection().boxes(), (std::vector<design::BoxHandle>{a, b}));
        // Shared: tag, top, size. Different: class (random), left.
        QCOMPARE(edit(u"编辑框1")->text(), QStringLiteral("div"));
        QCOMPARE(edit(u"编辑框3")->text(), QString());
        QCOMPARE(edit(u"编辑框4")->text(), QStringLiteral("24"));
        QCOMPARE(edit(u"编辑框5")->text(), QStringLiteral("100"));

        const int steps = model().undoStack()->count();
        edit(u"编辑框6")->setText(QStringLiteral("33"));
        QTest::keyClick(edit(u"编辑框6"), Qt::Key_Return);
        QCOMPARE(boxRect(*win, a).height(), 33);
        QCOMPARE(boxRect(*win, b).height(), 33);
        QCOMPARE(boxRect(*win, c).height(), 60);
        QCOMPARE(model().undoStack()->count(), steps + 1);

        drag(a, 10, 5);  // moves both, keeping their distance
        QCOMPARE(boxRect(*win, a).topLeft(), QPoint(26, 29));
        QCOMPARE(boxRect(*win, b).topLeft(), QPoint(126, 29));
        QCOMPARE(win->selection().size(), std::size_t(2));
        key(Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(boxRect(*win, a).topLeft(), QPoint(26, 19));
        QCOMPARE(boxRect(*win, b).topLeft(), QPoint(126, 19));
        QCOMPARE(boxRect(*win, c).topLeft(), QPoint(16, 224));

        click(b, Qt::ControlModifier);  // out again
        QCOMPARE(win->selection().boxes(), (std::vector<design::BoxHandle>{a}));
        click(c, Qt::ControlModifier);
        const std::string before = pageText();
        key(Qt::Key_Delete);
        QCOMPARE(model().componentCount(), 1);
        QCOMPARE(model().componentAt(1).boxHandle, b);
        QVERIFY(win->selection().empty());
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(pageText(), before);
        QCOMPARE(model().componentCount(), 3);
        QCOMPARE(win->selection().size(), std::size_t(2));  // the selection follows the undone step
    }

    // Undo and redo select the step's boxes in the model; the canvas marks
    // and the panel follow without the window setting them.
    void canvasAndPanelFollowTheSelectionUndoRestores()
    {
        const design::BoxHandle a = addBox();
        const design::BoxHandle b = addBox();
        const design::BoxHandle c = addBox();
        drag(b, 100, 0);
        click(a);
        click(b, Qt::ControlModifier);
        edit(u"编辑框6")->setText(QStringLiteral("33"));
        QTest::keyClick(edit(u"编辑框6"), Qt::Key_Return);
        click(c);
        DesignCanvas* canvas = win->designCanvas();
        QCOMPARE(canvas->handleBox(), c);
        QCOMPARE(edit(u"编辑框6")->text(), QStringLiteral("60"));

        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(win->selection().boxes(), (std::vector<design::BoxHandle>{a, b}));
        QVERIFY(canvas->isSelected(a) && canvas->isSelected(b) && !canvas->isSelected(c));
        QCOMPARE(canvas->handleBox(), design::BoxHandle(0));  // no handles on several boxes
        QCOMPARE(edit(u"编辑框6")->text(), QStringLiteral("60"));
        QCOMPARE(edit(u"编辑框3")->text(), QString());  // their left differs
        QCOMPARE(edit(u"编辑框3")->placeholderText(), QStringLiteral("（多个值）"));

        click(c);
        key(Qt::Key_Y, Qt::ControlModifier);
        QVERIFY(canvas->isSelected(a) && canvas->isSelected(b) && !canvas->isSelected(c));
        QCOMPARE(edit(u"编辑框6")->text(), QStringLiteral("33"));
        QCOMPARE(model().selectedBox(), b);
    }

    // Boxes copied in one window are pasted into another with their exact
    // texts; the clipboard also carries the elements' HTML.
    void copyAndPasteBetweenWindows()
    {
        const design::BoxHandle a = addBox();
        model().createComponentWithBox("p", "note", 5, 6, 70, 80, "color:red;\r\n", "<b>x</b>\r\ny");
        const design::BoxHandle b = boxAt(2);
        click(a);
        click(b, Qt::ControlModifier);
        key(Qt::Key_C, Qt::ControlModifier);
        const QString html = QGuiApplication::clipboard()->text();
        QVERIFY2(html.contains(QStringLiteral("<p class= \"note\"><b>x</b>\r\ny</p>")), qPrintable(html));
        QVERIFY(html.contains(QStringLiteral("p.note {")));

        MainWindow other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QTest::keyClick(other.designCanvas(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(other.design().componentCount(), 2);
        for (int i = 1; i <= 2; ++i) {
            const design::Component& from = model().componentAt(i);
            const design::Component& to = other.design().componentAt(i);
            // A class name of its own (see copiesGetTheirOwnClassName).
            QVERIFY(design::readRuleClass(to.rule) != design::readRuleClass(from.rule));
            QCOMPARE(design::ruleNumber(design::readRuleLeft(to.rule)), design::ruleNumber(design::readRuleLeft(from.rule)) + 10);
            QCOMPARE(design::readRuleExtra(to.rule), design::readRuleExtra(from.rule));
            QCOMPARE(rt::gbToQString(to.innerText), rt::gbToQString(from.innerText));
            QCOMPARE(other.designCanvas()->box(to.boxHandle)->geometry().topLeft(),
                     boxRect(*win, from.boxHandle).topLeft() + QPoint(10, 10));
        }
        QCOMPARE(other.selection().size(), std::size_t(2));
        QCOMPARE(other.design().undoStack()->count(), 1);  // one paste, one step
        QCOMPARE(model().componentCount(), 2);           // the source is untouched
    }

    // Handles on the selected box: the rule, the box and the panel follow,
    // and the resize is one undo step.
    void resizeByTheHandles_data()
    {
        QTest::addColumn<QPoint>("grab");  // inside the 100 x 60 box
        QTest::addColumn<QPoint>("move");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("right edge") << QPoint(97, 30) << QPoint(40, 17) << QRect(16, 24, 140, 60);
        QTest::newRow("bottom right corner") << QPoint(98, 58) << QPoint(-30, 21) << QRect(16, 24, 70, 81);
        QTest::newRow("top left corner") << QPoint(2, 2) << QPoint(13, -4) << QRect(29, 20, 87, 64);
        QTest::newRow("left edge, past the right") << QPoint(1, 30) << QPoint(150, 0) << QRect(115, 24, 1, 60);
        QTest::newRow("middle: a drag") << QPoint(50, 30) << QPoint(13, 9) << QRect(29, 33, 100, 60);
    }
    void resizeByTheHandles()
    {
        QFETCH(QPoint, grab);
        QFETCH(QPoint, move);
        QFETCH(QRect, expected);
        win->setSnapping(false);
        const design::BoxHandle b = addBox();
        click(b);  // selected: now it has handles
        const std::string before = pageText();
        QWidget* w = boxWidget(b);
        const QPoint from = w->mapToGlobal(grab);
        QTest::mousePress(w, Qt::LeftButton, {}, grab);
        QTest::mouseMove(w, w->mapFromGlobal(from + move));
        QTest::mouseRelease(w, Qt::LeftButton, {}, w->mapFromGlobal(from + move));
        QCOMPARE(boxRect(*win, b), expected);
        const QString geometry = QStringLiteral("\r\n  left:%1px;\r\n  top:%2px;\r\n  width:%3px;\r\n  height:%4px;\r\n")
                                     .arg(expected.x()).arg(expected.y()).arg(expected.width()).arg(expected.height());
        QVERIFY2(ruleOf(*win, b).contains(geometry), qPrintable(ruleOf(*win, b)));
        QCOMPARE(edit(u"编辑框5")->text(), QString::number(expected.width()));
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(pageText(), before);
    }

    // Edges and centres snap to the other boxes within a few pixels, with a
    // guide line; Alt turns snapping off for the move.
    void snappedDrag_data()
    {
        QTest::addColumn<QPoint>("move");
        QTest::addColumn<int>("held");  // modifiers held while moving (none at the press)
        QTest::addColumn<QPoint>("expected");  // the dragged box's top-left
        QTest::addColumn<int>("guideX");       // -1: none
        QTest::addColumn<int>("guideY");
        // The other box stands at 200, 150, 160 x 80 (centre 280, 190); the
        // dragged one, 100 x 60, starts at 16, 24.
        QTest::newRow("left to its left") << QPoint(181, 40) << 0 << QPoint(200, 64) << 200 << -1;
        QTest::newRow("right to its left") << QPoint(88, 40) << 0 << QPoint(100, 64) << 200 << -1;
        QTest::newRow("centres") << QPoint(216, 138) << 0 << QPoint(230, 160) << 280 << 190;
        QTest::newRow("top to its bottom") << QPoint(40, 209) << 0 << QPoint(56, 230) << -1 << 230;
        QTest::newRow("too far") << QPoint(178, 40) << 0 << QPoint(194, 64) << -1 << -1;
        QTest::newRow("with Alt") << QPoint(181, 40) << int(Qt::AltModifier) << QPoint(197, 64) << -1 << -1;
        // Window managers keep Alt+drag for themselves; Ctrl pressed after
        // the press also places freely.
        QTest::newRow("Ctrl after the press") << QPoint(216, 138) << int(Qt::ControlModifier) << QPoint(232, 162)
                                              << -1 << -1;
        QTest::newRow("canvas left edge") << QPoint(-13, 40) << 0 << QPoint(0, 64) << 0 << -1;
    }
    void snappedDrag()
    {
        QFETCH(QPoint, move);
        QFETCH(int, held);
        QFETCH(QPoint, expected);
        QFETCH(int, guideX);
        QFETCH(int, guideY);
        model().createComponentWithBox("div", "still", 200, 150, 160, 80, "", "");
        const design::BoxHandle b = addBox();  // at 16, 24
        QWidget* w = boxWidget(b);
        const auto mods = Qt::KeyboardModifiers(held);
        const QPoint from = w->mapToGlobal(QPoint(50, 30));
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(50, 30));
        QCOMPARE(win->selection().boxes(), std::vector<design::BoxHandle>{b});  // a press without Ctrl: a drag
        QTest::mouseEvent(QTest::MouseMove, w, Qt::NoButton, mods, w->mapFromGlobal(from + move));
        QCOMPARE(boxRect(*win, b).topLeft(), expected);
        QCOMPARE(win->designCanvas()->guideX().value_or(-1), guideX);
        QCOMPARE(win->designCanvas()->guideY().value_or(-1), guideY);
        // The guides are windows of their own over the canvas, at the line.
        QList<QRect> shown;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible() && top->windowType() == Qt::ToolTip)
                shown << top->geometry();
        QCOMPARE(shown.size(), int(guideX >= 0) + int(guideY >= 0));
        for (const QRect& g : shown) {
            const QPoint at = win->designCanvas()->mapFromGlobal(g.topLeft());
            QVERIFY2(g.width() == 1 ? at.x() == guideX : at.y() == guideY, qPrintable(QStringLiteral("%1,%2").arg(at.x()).arg(at.y())));
        }
        QTest::mouseRelease(w, Qt::LeftButton, mods, w->mapFromGlobal(from + move));
        QVERIFY(!win->designCanvas()->guideX() && !win->designCanvas()->guideY());
        for (QWidget* top : QApplication::topLevelWidgets())
            QVERIFY(!(top->isVisible() && top->windowType() == Qt::ToolTip));
        QVERIFY2(ruleOf(*win, b).contains(QStringLiteral("\r\n  left:%1px;\r\n  top:%2px;\r\n").arg(expected.x()).arg(expected.y())),
                 qPrintable(ruleOf(*win, b)));
        QCOMPARE(edit(u"编辑框3")->text(), QString::number(expected.x()));
    }

    // A rubber band on the empty canvas selects what it meets; align and
    // distribute act on the selection as one step each; stacking reorders.
    void bandAlignDistributeAndStacking()
    {
        const int lefts[] = {40, 300, 130, 500};
        for (int i = 0; i < 4; ++i)
            model().createComponentWithBox("div", "b" + std::to_string(i), lefts[i], 100 + 20 * i, 50, 30, "", "");
        const design::BoxHandle outside = model().createComponentWithBox("div", "far", 400, 500, 10, 10, "", "");
        model().undoStack()->clear();
        QWidget* canvas = win->designCanvas();
        QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(20, 90));
        QTest::mouseMove(canvas, QPoint(300, 150));
        QTest::mouseMove(canvas, QPoint(560, 200));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(560, 200));
        QCOMPARE(win->selection().size(), std::size_t(4));
        QVERIFY(std::find(win->selection().begin(), win->selection().end(), outside) == win->selection().end());

        win->distributeSelection(Qt::Horizontal);  // 40, 130, 300, 500 wide 50: gaps of 310 / 3
        QList<int> xs;
        for (int i = 1; i <= 4; ++i)
            xs << boxRect(*win, boxAt(i)).x();
        QCOMPARE(xs, (QList<int>{40, 347, 193, 500}));
        win->alignSelection(MainWindow::Align::Top);
        for (int i = 1; i <= 4; ++i)
            QCOMPARE(boxRect(*win, boxAt(i)).y(), 100);
        win->alignSelection(MainWindow::Align::Right);
        for (int i = 1; i <= 4; ++i)
            QCOMPARE(boxRect(*win, boxAt(i)).right(), 549);
        QCOMPARE(model().undoStack()->count(), 3);

        // Bring the first box to the front: it moves to the end of the list
        // (the page's order), and its box is stacked over the others.
        click(outside);  // pressing one of several selected boxes keeps them all
        click(boxAt(1));
        const std::string first = model().componentAt(1).rule;
        win->bringToFront();
        QCOMPARE(model().componentAt(5).rule, first);
        QCOMPARE(win->selection().boxes(), (std::vector<design::BoxHandle>{boxAt(5)}));
        QCOMPARE(win->designCanvas()->childAt(QPoint(530, 110)), boxWidget(boxAt(5)));
        win->sendToBack();
        QCOMPARE(model().componentAt(1).rule, first);
        QCOMPARE(win->designCanvas()->childAt(QPoint(530, 110)), boxWidget(boxAt(4)));
    }
    // Ctrl+D, copy and paste give every copy a class name of its own, also in
    // a window whose design already uses the copied names, so that the saved
    // page holds one rule per class.
    void copiesGetTheirOwnClassName_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Ctrl+D") << QStringLiteral("duplicate");
        QTest::newRow("copy and paste in the same window") << QStringLiteral("here");
        QTest::newRow("paste into a window using the same names") << QStringLiteral("elsewhere");
    }
    void copiesGetTheirOwnClassName()
    {
        QFETCH(QString, how);
        auto originals = [](design::Design& d) {
            d.createComponentWithBox("div", "Tolvane_1234", 20, 30, 50, 40, "", "one");
            d.createComponentWithBox("p", "card", 100, 30, 50, 40, "color:red;\r\n", "two");
        };
        originals(model());
        click(boxAt(1));
        click(boxAt(2), Qt::ControlModifier);
        MainWindow other;
        originals(other.design());
        design::Design* target = &model();
        if (how == QStringLiteral("duplicate")) {
            key(Qt::Key_D, Qt::ControlModifier);
        } else {
            key(Qt::Key_C, Qt::ControlModifier);
            if (how == QStringLiteral("here")) {
                key(Qt::Key_V, Qt::ControlModifier);
            } else {
                other.show();
                other.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&other));
                QTest::keyClick(other.designCanvas(), Qt::Key_V, Qt::ControlModifier);
                target = &other.design();
            }
        }
        QCOMPARE(target->componentCount(), 4);
        const std::string page = target->generateDocument();
        QSet<QString> names;
        for (int i = 1; i <= 4; ++i) {
            const std::string cls = design::readRuleClass(target->componentAt(i).rule);
            names.insert(QString::fromStdString(cls));
            // One rule per class in the saved page.
            const std::string selector = "." + cls + " {";
            QVERIFY2(page.find(selector) == page.rfind(selector), cls.c_str());
        }
        QCOMPARE(names.size(), 4);
        for (int i = 3; i <= 4; ++i) {
            const design::Component& copy = target->componentAt(i);
            const design::Component& from = target->componentAt(i - 2);
            QVERIFY(QRegularExpression(QStringLiteral("^Tolvane_\\d{4}$"))
                        .match(QString::fromStdString(design::readRuleClass(copy.rule)))
                        .hasMatch());
            QCOMPARE(design::readRuleTag(copy.rule), design::readRuleTag(from.rule));
            QCOMPARE(design::readRuleExtra(copy.rule), design::readRuleExtra(from.rule));
            QCOMPARE(copy.innerText, from.innerText);
        }
        // Read back, the page gives four boxes at four places.
        design::Design reread;
        reread.parseDocument(page);
        QSet<QString> places;
        for (int i = 1; i <= reread.componentCount(); ++i) {
            const design::BoxGeometry g = design::ruleGeometry(reread.componentAt(i).rule);
            places.insert(QStringLiteral("%1,%2").arg(g.left).arg(g.top));
        }
        QCOMPARE(places.size(), 4);
    }

    // "增加" never hands out a class name the design already uses, even
    // where four random digits would repeat.
    void addedBoxesNeverShareAName()
    {
        QSet<QString> names;
        for (int i = 0; i < 300; ++i)
            names.insert(QString::fromStdString(design::readRuleClass(ruleOf(*win, addBox()).toStdString())));
        QCOMPARE(names.size(), 300);
        // Every four-digit name taken: the next one has five digits.
        std::unordered_set<std::string> all;
        for (int n = 0; n < 10000; ++n)
            all.insert(QStringLiteral("Tolvane_%1").arg(n, 4, 10, QLatin1Char('0')).toStdString());
        QCOMPARE(design::makeUnusedClassName(all), std::string("Tolvane_00000"));
    }

    // After moving several boxes the panel shows their differing left and
    // top as mixed; Enter there changes nothing, a typed value sets that one
    // field of every box.
    void panelAfterMovingSeveralBoxes()
    {
        win->setSnapping(false);
        for (int i = 0; i < 4; ++i)
            model().createComponentWithBox("div", "c" + std::to_string(i), 20 + 120 * i, 30 + 30 * i, 50, 40, "", "");
        click(boxAt(1));
        for (int i = 2; i <= 4; ++i)
            click(boxAt(i), Qt::ControlModifier);
        drag(boxAt(2), 30, 20);
        QCOMPARE(boxRect(*win, boxAt(1)).topLeft(), QPoint(50, 50));
        QLineEdit* left = edit(u"编辑框3");
        QLineEdit* top = edit(u"编辑框4");
        for (QLineEdit* mixed : {left, top}) {
            QCOMPARE(mixed->text(), QString());
            QCOMPARE(mixed->placeholderText(), QStringLiteral("（多个值）"));
        }
        QCOMPARE(edit(u"编辑框5")->text(), QStringLiteral("50"));
        QCOMPARE(edit(u"编辑框5")->placeholderText(), QString());

        const std::string before = pageText();
        const int steps = model().undoStack()->count();
        QTest::keyClick(left, Qt::Key_Return);
        QTest::keyClick(top, Qt::Key_Return);
        QCOMPARE(pageText(), before);
        QCOMPARE(model().undoStack()->count(), steps);

        QTest::keyClicks(left, QStringLiteral("300"));
        QTest::keyClick(left, Qt::Key_Return);
        for (int i = 1; i <= 4; ++i)
            QCOMPARE(boxRect(*win, boxAt(i)).topLeft(), QPoint(300, 20 + 30 * i));
        QCOMPARE(model().undoStack()->count(), steps + 1);
        QCOMPARE(left->placeholderText(), QString());
        // A nudge now shows the shared left; the top stays mixed.
        key(Qt::Key_Right);
        QCOMPARE(left->text(), QStringLiteral("301"));
        QCOMPARE(top->text(), QString());
        // One box again: its own values, no hints.
        key(Qt::Key_Escape);
        click(boxAt(3));
        QCOMPARE(top->text(), QStringLiteral("110"));
        QCOMPARE(top->placeholderText(), QString());
    }

    // Boxes moved past the right or bottom edge stay reachable: the canvas
    // scrolls to them and shows them where their rules say.
    void boxesPastTheEdgeStayReachable()
    {
        win->setSnapping(false);
        DesignCanvas* canvas = win->designCanvas();
        const design::BoxHandle a = model().createComponentWithBox("div", "a", 560, 100, 80, 40, "", "");
        const design::BoxHandle b = model().createComponentWithBox("div", "b", 500, 300, 80, 40, "", "");
        QCoreApplication::processEvents();
        QVERIFY(!canvas->horizontalBar()->isVisible() && !canvas->verticalBar()->isVisible());
        click(a);
        click(b, Qt::ControlModifier);
        drag(a, 200, 0);  // both move: a to 760, past the 680 pixels of the canvas
        QVERIFY(ruleOf(*win, a).contains(QStringLiteral("  left:760px;")));
        QTRY_VERIFY(canvas->horizontalBar()->isVisible());
        QVERIFY(!canvas->rect().contains(boxWidget(a)->geometry()));

        // Paging the bar with the mouse brings the box into view.
        QScrollBar* h = canvas->horizontalBar();
        for (int i = 0; i < 10 && h->value() < h->maximum(); ++i)
            QTest::mouseClick(h, Qt::LeftButton, {}, QPoint(h->width() - 20, h->height() / 2));
        QCOMPARE(h->value(), h->maximum());
        QVERIFY(canvas->rect().contains(boxWidget(a)->geometry()));
        QCOMPARE(boxWidget(a)->geometry().topLeft() + canvas->scrollOffset(), QPoint(760, 100));
        key(Qt::Key_Escape);
        click(a);
        QCOMPARE(win->selection().boxes(), std::vector<design::BoxHandle>{a});
        QCOMPARE(edit(u"编辑框3")->text(), QStringLiteral("760"));
        // A rubber band in the scrolled canvas selects by the boxes' places.
        QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(canvas, QPoint(canvas->width() - 30, 200));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(canvas->width() - 30, 200));
        QCOMPARE(win->selection().boxes(), std::vector<design::BoxHandle>{a});

        // A typed top far below: the canvas scrolls down with the wheel.
        click(b);
        QTest::keyClicks(edit(u"编辑框4"), QStringLiteral("0"));  // 300 -> 3000
        QTest::keyClick(edit(u"编辑框4"), Qt::Key_Return);
        QTRY_VERIFY(canvas->verticalBar()->isVisible());
        for (int i = 0; i < 100 && canvas->verticalBar()->value() < canvas->verticalBar()->maximum(); ++i) {
            QWheelEvent wheel(QPointF(100, 100), canvas->mapToGlobal(QPointF(100, 100)), QPoint(), QPoint(0, -120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(canvas, &wheel);
        }
        QVERIFY(canvas->rect().contains(boxWidget(b)->geometry()));

        // Undone, everything fits again: no bars, no offset.
        key(Qt::Key_Z, Qt::ControlModifier);
        key(Qt::Key_Z, Qt::ControlModifier);
        QTRY_VERIFY(!canvas->horizontalBar()->isVisible() && !canvas->verticalBar()->isVisible());
        QCOMPARE(canvas->scrollOffset(), QPoint());
        QCOMPARE(boxRect(*win, a).topLeft(), QPoint(560, 100));
    }

    // A click on the empty canvas and Esc clear the selection and the panel;
    // nothing else changes.
    void selectionClears_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("click on the empty canvas") << QStringLiteral("click") << true;
        QTest::newRow("Esc") << QStringLiteral("esc") << true;
        QTest::newRow("Ctrl+click on the empty canvas") << QStringLiteral("ctrl-click") << false;
        QTest::newRow("Esc while typing in the panel") << QStringLiteral("esc in panel") << false;
    }
    void selectionClears()
    {
        QFETCH(QString, how);
        QFETCH(bool, cleared);
        const design::BoxHandle a = addBox();
        const design::BoxHandle b = model().createComponentWithBox("div", "b", 300, 200, 100, 60, "", "");
        click(a);
        click(b, Qt::ControlModifier);
        const std::string before = pageText();
        const int steps = model().undoStack()->count();
        QWidget* canvas = win->designCanvas();
        if (how == QStringLiteral("click")) {
            QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(600, 550));
        } else if (how == QStringLiteral("ctrl-click")) {
            QTest::mouseClick(canvas, Qt::LeftButton, Qt::ControlModifier, QPoint(600, 550));
        } else if (how == QStringLiteral("esc")) {
            key(Qt::Key_Escape);
        } else {
            edit(u"编辑框5")->setFocus();
            QTest::keyClick(edit(u"编辑框5"), Qt::Key_Escape);
        }
        QCOMPARE(win->selection().empty(), cleared);
        QCOMPARE(model().selectedBox() == 0, cleared);
        QCOMPARE(edit(u"编辑框5")->text().isEmpty(), cleared);
        QCOMPARE(pageText(), before);
        QCOMPARE(model().undoStack()->count(), steps);
        if (cleared)
            QCOMPARE(edit(u"编辑框4")->placeholderText(), QString());  // no mixed hints left
    }

    // "读入" over unsaved changes asks first: save (through the save dialog),
    // discard, or cancel.
    void readOverUnsavedWorkAsks_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("saveDialogCancelled");
        QTest::addColumn<bool>("read");
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << false;
        QTest::newRow("discard") << int(QMessageBox::Discard) << false << true;
        QTest::newRow("save") << int(QMessageBox::Save) << false << true;
        QTest::newRow("save, save dialog cancelled") << int(QMessageBox::Save) << true << false;
    }
    void readOverUnsavedWorkAsks()
    {
        QFETCH(int, answer);
        QFETCH(bool, saveDialogCancelled);
        QFETCH(bool, read);
        const QString other = dir.filePath(QStringLiteral("other.html"));
        const QString saved = dir.filePath(QStringLiteral("saved.html"));
        QFile::remove(saved);
        {
            QFile f(other);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<html><style>\r\ndiv.r1 {\r\n  left:3px;\r\n}\r\n</style>"
                    "<body>\r\n  <div class= \"r1\">one</div>\r\n</body></html>");
        }
        addBox();
        QVERIFY(win->isModified());
        const std::string before = pageText();

        auto asked = answerNextQuestion(QMessageBox::StandardButton(answer));
        auto dialogs = std::make_shared<QStringList>();
        // The dialogs that follow, in turn: the save dialog first when saving.
        std::function<void(QFileDialog*)> onDialog = [&, dialogs](QFileDialog* d) {
            dialogs->append(d->windowTitle());
            if (d->acceptMode() == QFileDialog::AcceptSave && saveDialogCancelled) {
                d->reject();
                return;
            }
            const bool saving = d->acceptMode() == QFileDialog::AcceptSave;
            d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(saving ? saved : other);
            if (saving)
                whenModal<QFileDialog>(onDialog);
            static_cast<QDialog*>(d)->accept();
        };
        whenModal<QFileDialog>(onDialog, 3000);
        QTest::mouseClick(button(u"按钮5"), Qt::LeftButton);
        QVERIFY(*asked);
        QStringList expected;
        if (answer == QMessageBox::Save)
            expected << QStringLiteral("生成html代码");
        if (read)
            expected << QStringLiteral("打开html代码");
        QCOMPARE(*dialogs, expected);
        if (read) {
            QCOMPARE(model().componentCount(), 1);
            QCOMPARE(design::readRuleClass(model().componentAt(1).rule), std::string("r1"));
            QVERIFY(!win->isModified());
        } else {
            QCOMPARE(pageText(), before);
            QVERIFY(win->isModified());
        }
        QCOMPARE(QFile::exists(saved), answer == QMessageBox::Save && !saveDialogCancelled);
        if (QFile::exists(saved))
            QCOMPARE(fileBytes(saved), QByteArray::fromStdString(design::encodeUtf8(before)));
    }
};

QTEST_MAIN(TestDesignerEditing)
#include "test_editing.moc"
