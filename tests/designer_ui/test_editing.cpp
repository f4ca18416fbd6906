// Editing beyond the button flows, through real windows and real mouse and
// key events: undo and redo, selecting without editing, several boxes at
// once, the keyboard, copy and paste between windows, unsaved changes.
#include "windowtest.h"

#include "design/document.h"

#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUndoStack>

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
        QCOMPARE(model().selectedBox, b);
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
        QCOMPARE(win->selection(), (std::vector<design::BoxHandle>{a, b}));
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
        QCOMPARE(win->selection(), (std::vector<design::BoxHandle>{a}));
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
            QCOMPARE(design::readRuleClass(to.rule), design::readRuleClass(from.rule));
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
        QTest::addColumn<bool>("alt");
        QTest::addColumn<QPoint>("expected");  // the dragged box's top-left
        QTest::addColumn<int>("guideX");       // -1: none
        QTest::addColumn<int>("guideY");
        // The other box stands at 200, 150, 160 x 80 (centre 280, 190); the
        // dragged one, 100 x 60, starts at 16, 24.
        QTest::newRow("left to its left") << QPoint(181, 40) << false << QPoint(200, 64) << 200 << -1;
        QTest::newRow("right to its left") << QPoint(88, 40) << false << QPoint(100, 64) << 200 << -1;
        QTest::newRow("centres") << QPoint(216, 138) << false << QPoint(230, 160) << 280 << 190;
        QTest::newRow("top to its bottom") << QPoint(40, 209) << false << QPoint(56, 230) << -1 << 230;
        QTest::newRow("too far") << QPoint(178, 40) << false << QPoint(194, 64) << -1 << -1;
        QTest::newRow("with Alt") << QPoint(181, 40) << true << QPoint(197, 64) << -1 << -1;
        QTest::newRow("canvas left edge") << QPoint(-13, 40) << false << QPoint(0, 64) << 0 << -1;
    }
    void snappedDrag()
    {
        QFETCH(QPoint, move);
        QFETCH(bool, alt);
        QFETCH(QPoint, expected);
        QFETCH(int, guideX);
        QFETCH(int, guideY);
        model().createComponentWithBox("div", "still", 200, 150, 160, 80, "", "");
        const design::BoxHandle b = addBox();  // at 16, 24
        QWidget* w = boxWidget(b);
        const Qt::KeyboardModifiers mods = alt ? Qt::AltModifier : Qt::NoModifier;
        const QPoint from = w->mapToGlobal(QPoint(50, 30));
        QTest::mousePress(w, Qt::LeftButton, mods, QPoint(50, 30));
        QTest::mouseEvent(QTest::MouseMove, w, Qt::NoButton, mods, w->mapFromGlobal(from + move));
        QCOMPARE(boxRect(*win, b).topLeft(), expected);
        QCOMPARE(win->designCanvas()->guideX().value_or(-1), guideX);
        QCOMPARE(win->designCanvas()->guideY().value_or(-1), guideY);
        QTest::mouseRelease(w, Qt::LeftButton, mods, w->mapFromGlobal(from + move));
        QVERIFY(!win->designCanvas()->guideX() && !win->designCanvas()->guideY());
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
        QCOMPARE(win->selection(), (std::vector<design::BoxHandle>{boxAt(5)}));
        QCOMPARE(win->designCanvas()->childAt(QPoint(530, 110)), boxWidget(boxAt(5)));
        win->sendToBack();
        QCOMPARE(model().componentAt(1).rule, first);
        QCOMPARE(win->designCanvas()->childAt(QPoint(530, 110)), boxWidget(boxAt(4)));
    }
};

QTEST_MAIN(TestDesignerEditing)
#include "test_editing.moc"
