// The main window, the property panel and mouse editing of the canvas,
// driven through the real widgets.
#include "uitest.h"

#include "design/document.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>

using designer::MainWindow;
using namespace uitest;

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindow> win;

    template <typename T = QWidget>
    T* child(const QString& name) const
    {
        T* w = win->findChild<T*>(name);
        if (!w)
            qFatal("no control %s", qPrintable(name));
        return w;
    }
    QLineEdit* edit(const QString& name) const { return child<QLineEdit>(name); }
    QPlainTextEdit* extraBox() const { return child<QPlainTextEdit>(QStringLiteral("编辑框7")); }
    QPushButton* button(const QString& name) const { return child<QPushButton>(name); }

    design::BoxHandle addBox()
    {
        QTest::mouseClick(button(QStringLiteral("按钮1")), Qt::LeftButton);
        return win->design().componentAt(win->design().componentCount()).boxHandle;
    }
    QWidget* boxWidget(design::BoxHandle b) const { return win->designCanvas()->box(b); }
    void setGeometryOf(design::BoxHandle b, int left, int top)
    {
        design::ComponentUpdate u;
        u.left = left;
        u.top = top;
        win->design().updateComponent(b, u);
    }
    // The eight panel texts in panel order.
    QStringList panelTexts() const
    {
        QStringList t;
        for (const char16_t* n : {u"编辑框1", u"编辑框2", u"编辑框3", u"编辑框4", u"编辑框5", u"编辑框6"})
            t << edit(QString::fromUtf16(n))->text();
        t << extraBox()->toPlainText() << edit(QStringLiteral("编辑框8"))->text();
        return t;
    }
    QStringList allRules() const
    {
        QStringList r;
        for (int i = 1; i <= win->design().componentCount(); ++i)
            r << rt::gbToQString(win->design().componentAt(i).rule);
        return r;
    }

private slots:
    void init()
    {
        win = std::make_unique<MainWindow>();
        win->show();
        QVERIFY(QTest::qWaitForWindowExposed(win.get()));
    }
    void cleanup()
    {
        win.reset();
    }

    void windowMatchesLayoutTable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        auto row = [](const char* n, const char16_t* name, const char16_t* parent, QRect g,
                      const char16_t* caption) {
            QTest::newRow(n) << QString::fromUtf16(name) << QString::fromUtf16(parent) << g
                             << QString::fromUtf16(caption);
        };
        row("operations", u"分组框3", u"", {8, 8, 264, 176}, u"操作");
        row("add", u"按钮1", u"分组框3", {16, 24, 96, 32}, u"增加");
        row("delete", u"按钮2", u"分组框3", {152, 24, 96, 32}, u"删除");
        row("read", u"按钮5", u"分组框3", {16, 72, 96, 32}, u"读入");
        row("generate", u"按钮3", u"分组框3", {152, 72, 96, 32}, u"生成");
        row("open preview", u"按钮4", u"分组框3", {16, 120, 96, 32}, u"开启实时预览");
        row("close preview", u"按钮7", u"分组框3", {152, 120, 96, 32}, u"关闭实时预览");
        row("properties", u"分组框4", u"", {8, 192, 264, 480}, u"属性");
        row("tag label", u"标签1", u"分组框4", {16, 24, 80, 24}, u"种类：");
        row("class label", u"标签2", u"分组框4", {16, 64, 80, 24}, u"名称：");
        row("left label", u"标签3", u"分组框4", {16, 104, 80, 24}, u"左边：");
        row("top label", u"标签4", u"分组框4", {16, 144, 80, 24}, u"顶边：");
        row("width label", u"标签5", u"分组框4", {16, 184, 80, 24}, u"宽度：");
        row("height label", u"标签6", u"分组框4", {16, 224, 80, 24}, u"高度：");
        row("extra label", u"标签7", u"分组框4", {16, 264, 80, 24}, u"其他：");
        row("text label", u"标签8", u"分组框4", {16, 384, 80, 24}, u"文本：");
        row("tag box", u"编辑框1", u"分组框4", {64, 16, 168, 32}, u"");
        row("class box", u"编辑框2", u"分组框4", {64, 56, 168, 32}, u"");
        row("left box", u"编辑框3", u"分组框4", {64, 96, 168, 32}, u"");
        row("top box", u"编辑框4", u"分组框4", {64, 136, 168, 32}, u"");
        row("width box", u"编辑框5", u"分组框4", {64, 176, 168, 32}, u"");
        row("height box", u"编辑框6", u"分组框4", {64, 216, 168, 32}, u"");
        row("extra box", u"编辑框7", u"分组框4", {64, 256, 168, 112}, u"");
        row("text box", u"编辑框8", u"分组框4", {64, 376, 168, 32}, u"");
        row("import code", u"按钮6", u"分组框4", {96, 424, 96, 32}, u"导入代码");
        // Laid out for the 989 x 707 window: width - 293, height - 51, then - 16, - 24.
        row("drawing area", u"分组框1", u"", {280, 8, 696, 656}, u"绘制区");
        row("canvas", u"分组框2", u"分组框1", {8, 16, 680, 632}, u"");
        row("prototype", u"外形框_母体", u"分组框2", {16, 24, 100, 60}, u"");
    }
    void windowMatchesLayoutTable()
    {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        QWidget* w = child(name);
        QCOMPARE(w->parentWidget() == win.get() ? QString() : w->parentWidget()->objectName(), parent);
        QCOMPARE(w->geometry(), geometry);
        QString text;
        if (auto* g = qobject_cast<QGroupBox*>(w))
            text = g->title();
        else if (auto* b = qobject_cast<QPushButton*>(w))
            text = b->text();
        else if (auto* l = qobject_cast<QLabel*>(w))
            text = l->text();
        QCOMPARE(text, caption);
        QCOMPARE(w->isVisible(), name != QStringLiteral("外形框_母体"));
    }

    void windowCaptionAndOuterGeometry()
    {
        QCOMPARE(win->windowTitle(), QStringLiteral("Tolvanehtml界面制作"));
        QCOMPARE(win->outerGeometry(), QRect(50, 50, 989, 707));
        QCOMPARE(win->designCanvasSize(), QSize(680, 632));
        // Only the extra box is multi-line.
        QCOMPARE(win->findChildren<QPlainTextEdit*>().size(), 1);
        QCOMPARE(win->findChildren<QLineEdit*>().size(), 7);
        QCOMPARE(panelTexts(), QStringList(8, QString()));
    }

    void addTwiceStacksTwoBoxesAndSelectsNothing()
    {
        const design::BoxHandle a = addBox();
        const design::BoxHandle b = addBox();
        QCOMPARE(win->design().componentCount(), 2);
        QVERIFY(a != 0 && b != 0 && a != b);
        const QRegularExpression defaultRule(QStringLiteral(
            "^div\\.Tolvane_\\d{4} \\{\r\n  position:absolute;\r\n  left:16px;\r\n  top:24px;\r\n"
            "  width:100px;\r\n  height:60px;\r\n/\\* other1 \\*/\r\n\r\n/\\* other2 \\*/\r\n\\}$"));
        for (design::BoxHandle h : {a, b}) {
            QVERIFY2(defaultRule.match(ruleOf(*win, h)).hasMatch(), qPrintable(ruleOf(*win, h)));
            QCOMPARE(boxRect(*win, h), QRect(16, 24, 100, 60));
            QVERIFY(boxWidget(h)->isVisible());
            QCOMPARE(win->design().componentAt(win->design().findComponentByBox(h)).innerText, std::string());
        }
        QCOMPARE(win->design().selectedBox(), design::BoxHandle(0));
        QCOMPARE(panelTexts(), QStringList(8, QString()));
    }

    void pressingABoxSelectsItAndFillsThePanel()
    {
        addBox();
        const design::BoxHandle b = addBox();
        QTest::mouseClick(boxWidget(b), Qt::LeftButton);
        QCOMPARE(win->design().selectedBox(), b);
        const QStringList t = panelTexts();
        QCOMPARE(t[0], QStringLiteral("div"));
        QVERIFY(QRegularExpression(QStringLiteral("^Tolvane_\\d{4}$")).match(t[1]).hasMatch());
        QCOMPARE(t.mid(2), (QStringList{"16", "24", "100", "60", "", ""}));
        // The click ended the drag it began; the selection stays.
        QCOMPARE(win->editState().dragActive, 0);
    }

    // Window at 50, 50; box at 40, 30; cursor 500,300 -> 520,290.
    void dragMovesRuleBoxAndPanelByCursorDisplacement()
    {
        const design::BoxHandle b = addBox();
        setGeometryOf(b, 40, 30);
        QCOMPARE(win->outerGeometry().topLeft(), QPoint(50, 50));

        win->beginDrag(b, {500, 300});
        QCOMPARE(win->editState().dragActive, 1);
        QCOMPARE(win->editState().dragBox, b);
        QCOMPARE(win->editState().dragOffsetX, 410);
        QCOMPARE(win->editState().dragOffsetY, 220);
        QCOMPARE(win->design().selectedBox(), b);
        QCOMPARE(panelTexts().mid(2, 2), (QStringList{"40", "30"}));

        win->continueDrag({520, 290}, false);
        QVERIFY(ruleOf(*win, b).contains(QStringLiteral("\r\n  left:60px;\r\n  top:20px;\r\n  width:100px;\r\n  height:60px;\r\n")));
        QCOMPARE(boxRect(*win, b), QRect(60, 20, 100, 60));
        QCOMPARE(panelTexts().mid(2, 4), (QStringList{"60", "20", "100", "60"}));

        // No clamping: far left gives negative values.
        win->continueDrag({435, 290}, false);
        QVERIFY(ruleOf(*win, b).contains(QStringLiteral("\r\n  left:-25px;\r\n")));
        QCOMPARE(boxRect(*win, b), QRect(-25, 20, 100, 60));

        win->endDrag();
        QCOMPARE(win->editState().dragActive, 0);
        QCOMPARE(win->editState().dragBox, design::BoxHandle(0));
        QCOMPARE(win->design().selectedBox(), b);
        win->continueDrag({600, 400}, false);  // no drag: ignored
        QCOMPARE(boxRect(*win, b), QRect(-25, 20, 100, 60));
    }

    // From the window itself a move counts only strictly inside the canvas
    // area estimated from the outer corner: x in (338, 1018), y in (94, 726).
    void windowMovesCountOnlyInsideTheCanvasArea_data()
    {
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<bool>("moves");
        QTest::newRow("inside") << QPoint(500, 300) << true;
        QTest::newRow("left edge") << QPoint(338, 300) << false;
        QTest::newRow("just right of left edge") << QPoint(339, 300) << true;
        QTest::newRow("right edge") << QPoint(1018, 300) << false;
        QTest::newRow("just left of right edge") << QPoint(1017, 300) << true;
        QTest::newRow("top edge") << QPoint(500, 94) << false;
        QTest::newRow("just below top edge") << QPoint(500, 95) << true;
        QTest::newRow("bottom edge") << QPoint(500, 726) << false;
        QTest::newRow("just above bottom edge") << QPoint(500, 725) << true;
        QTest::newRow("over the panel") << QPoint(100, 300) << false;
    }
    void windowMovesCountOnlyInsideTheCanvasArea()
    {
        QFETCH(QPoint, cursor);
        QFETCH(bool, moves);
        const design::BoxHandle b = addBox();
        win->beginDrag(b, {400, 200});  // offsets 334, 126
        win->continueDrag(cursor, true);
        const QRect expected = moves ? QRect(cursor.x() - 50 - 334, cursor.y() - 50 - 126, 100, 60)
                                     : QRect(16, 24, 100, 60);
        QCOMPARE(boxRect(*win, b), expected);
        // The same position from the box itself is never tested against the area.
        win->continueDrag(cursor, false);
        QCOMPARE(boxRect(*win, b).topLeft(), QPoint(cursor.x() - 384, cursor.y() - 176));
    }

    // The whole road through real mouse events on a box and on the window.
    void realMouseEventsDragABox()
    {
        const design::BoxHandle b = addBox();
        QWidget* box = boxWidget(b);
        const QPoint start = box->mapToGlobal(QPoint(10, 10));
        QTest::mousePress(box, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(win->design().selectedBox(), b);
        QCOMPARE(win->editState().dragActive, 1);

        const QPoint to = start + QPoint(25, -7);
        QTest::mouseMove(box, box->mapFromGlobal(to));
        QCOMPARE(boxRect(*win, b), QRect(41, 17, 100, 60));
        QCOMPARE(panelTexts().mid(2, 2), (QStringList{"41", "17"}));

        // Over the window outside the canvas (the panel): ignored; inside: followed.
        QTest::mouseMove(win.get(), QPoint(100, 300));
        QCOMPARE(boxRect(*win, b), QRect(41, 17, 100, 60));
        const QPoint inside = win->mapToGlobal(QPoint(600, 400));
        QTest::mouseMove(win.get(), QPoint(600, 400));
        QCOMPARE(boxRect(*win, b).topLeft(), QPoint(16, 24) + (inside - start));

        QTest::mouseRelease(win.get(), Qt::LeftButton, {}, QPoint(600, 400));
        QCOMPARE(win->editState().dragActive, 0);
        QTest::mouseMove(win.get(), QPoint(650, 450));  // no drag any more
        QCOMPARE(boxRect(*win, b).topLeft(), QPoint(16, 24) + (inside - start));
        QVERIFY(ruleOf(*win, b).contains(QStringLiteral("  left:%1px;").arg(16 + inside.x() - start.x())));
    }

    void deleteModeDeletesOnDoubleClickOnly()
    {
        const design::BoxHandle a = addBox();
        const design::BoxHandle b = addBox();
        setGeometryOf(b, 300, 200);
        QTest::mouseClick(boxWidget(b), Qt::LeftButton);  // select b: the panel shows it
        QCOMPARE(win->design().selectedBox(), b);

        QString text, caption;
        int buttons = 0;
        auto ran = whenModal<QMessageBox>([&](QMessageBox* box) {
            text = box->text();
            caption = box->windowTitle();
            buttons = box->buttons().size();
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        QTest::mouseClick(button(QStringLiteral("按钮2")), Qt::LeftButton);
        QVERIFY(*ran);
        QCOMPARE(text, QStringLiteral("双击组件进行删除"));
        QCOMPARE(caption, QStringLiteral("信息："));
        QCOMPARE(buttons, 1);
        QCOMPARE(win->editState().deleteMode, 1);
        QVERIFY(!button(QStringLiteral("按钮2"))->isEnabled());

        // A single click neither selects nor drags.
        QTest::mousePress(boxWidget(a), Qt::LeftButton);
        QCOMPARE(win->design().selectedBox(), b);
        QCOMPARE(win->editState().dragActive, 0);
        QTest::mouseRelease(boxWidget(a), Qt::LeftButton);
        QCOMPARE(win->editState().deleteMode, 1);

        const QString classOfB = panelTexts()[1];
        QPointer<QWidget> boxB = boxWidget(b);
        QTest::mouseDClick(boxB, Qt::LeftButton);
        QCOMPARE(win->design().componentCount(), 1);
        QCOMPARE(win->design().findComponentByBox(b), 0);
        QCOMPARE(win->design().componentAt(1).boxHandle, a);
        QVERIFY(!rt::gbToQString(win->design().generateDocument()).contains(classOfB));
        QCOMPARE(win->designCanvas()->box(b), nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(boxB.isNull());
        QCOMPARE(panelTexts(), QStringList(8, QString()));
        QCOMPARE(win->design().selectedBox(), design::BoxHandle(0));
        QCOMPARE(win->editState().deleteMode, 0);
        QVERIFY(button(QStringLiteral("按钮2"))->isEnabled());

        // Nothing selected now: edits anywhere in the panel change no Component.
        const QStringList before = allRules();
        for (const char16_t* n : {u"编辑框1", u"编辑框3", u"编辑框5"}) {
            QLineEdit* e = edit(QString::fromUtf16(n));
            QTest::keyClicks(e, "77");
            QTest::keyClick(e, Qt::Key_Return);
        }
        QTest::keyClicks(extraBox(), "color:red;");
        QTest::keyClicks(edit(QStringLiteral("编辑框8")), "hello");
        QCOMPARE(allRules(), before);
        QCOMPARE(win->design().componentAt(1).innerText, std::string());
    }

    void doubleClickOutsideDeleteModeSelects()
    {
        const design::BoxHandle a = addBox();
        addBox();
        QTest::mouseDClick(boxWidget(a), Qt::LeftButton);
        QCOMPARE(win->design().componentCount(), 2);
        QCOMPARE(win->design().selectedBox(), a);
        QCOMPARE(panelTexts()[2], QStringLiteral("16"));
        QCOMPARE(win->editState().dragActive, 0);  // a double-click starts no drag
    }

    // The six one-line boxes commit on Enter only; the box keeps the typed text.
    void oneLineBoxesCommitOnEnterOnly_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expectedInRule");
        QTest::newRow("width") << "编辑框5" << "150" << "\r\n  width:150px;\r\n";
        QTest::newRow("left truncates") << "编辑框3" << "12.9" << "\r\n  left:12px;\r\n";
        QTest::newRow("top negative") << "编辑框4" << "-7" << "\r\n  top:-7px;\r\n";
        QTest::newRow("height no number") << "编辑框6" << "abc" << "\r\n  height:0px;\r\n";
        QTest::newRow("full-width digits") << "编辑框5" << "１２" << "\r\n  width:12px;\r\n";
        QTest::newRow("tag letters only") << "编辑框1" << "h1" << "h.Tolvane_";
        QTest::newRow("class as typed") << "编辑框2" << "card-1" << "div.card-1 {";
    }
    void oneLineBoxesCommitOnEnterOnly()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, expectedInRule);
        const design::BoxHandle b = addBox();
        setGeometryOf(b, 40, 30);
        design::ComponentUpdate withText;
        withText.innerText = "inner";
        withText.extra = "color:red;";
        win->design().updateComponent(b, withText);
        QTest::mouseClick(boxWidget(b), Qt::LeftButton);
        const QString before = ruleOf(*win, b);

        QLineEdit* e = edit(box);
        e->setFocus();
        e->selectAll();
        typeText(e, typed);
        QCOMPARE(ruleOf(*win, b), before);
        QTest::keyClick(e, Qt::Key_Tab);  // leaving the box does not commit
        QCOMPARE(ruleOf(*win, b), before);

        QTest::keyClick(e, Qt::Key_Return);
        const QString after = ruleOf(*win, b);
        QVERIFY2(after.contains(expectedInRule), qPrintable(after));
        QCOMPARE(e->text(), typed);
        // Every other field is kept.
        const std::string rule = rt::qstringToGb(after);
        if (box != QStringLiteral("编辑框1"))
            QCOMPARE(design::readRuleTag(rule), std::string("div"));
        if (box != QStringLiteral("编辑框3"))
            QCOMPARE(design::readRuleLeft(rule), std::string("40"));
        if (box != QStringLiteral("编辑框5"))
            QCOMPARE(design::readRuleWidth(rule), std::string("100"));
        QCOMPARE(design::readRuleExtra(rule), std::string("color:red;"));
        QCOMPARE(win->design().componentAt(1).innerText, std::string("inner"));
        // The box follows the rule.
        const QRect r = boxRect(*win, b);
        QCOMPARE(r, QRect(design::ruleNumber(design::readRuleLeft(rule)),
                          design::ruleNumber(design::readRuleTop(rule)),
                          design::ruleNumber(design::readRuleWidth(rule)),
                          design::ruleNumber(design::readRuleHeight(rule))));
    }

    void keypadEnterCommitsToo()
    {
        const design::BoxHandle b = addBox();
        QTest::mouseClick(boxWidget(b), Qt::LeftButton);
        QLineEdit* e = edit(QStringLiteral("编辑框6"));
        e->setText(QStringLiteral("33"));
        QTest::keyClick(e, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(ruleOf(*win, b).contains(QStringLiteral("  height:33px;")));
    }

    void extraBoxRewritesTheRuleOnEveryKeystroke()
    {
        const design::BoxHandle b = addBox();
        QTest::mouseClick(boxWidget(b), Qt::LeftButton);
        QPlainTextEdit* extra = extraBox();
        extra->setFocus();
        const QString typed = QStringLiteral("color:red;");
        for (int i = 0; i < typed.size(); ++i) {
            QTest::keyClick(extra, typed[i].toLatin1());
            QCOMPARE(rt::gbToQString(design::readRuleExtra(rt::qstringToGb(ruleOf(*win, b)))),
                     typed.left(i + 1));
        }
        QTest::keyClick(extra, Qt::Key_Return);
        QTest::keyClicks(extra, "b:1;");
        QVERIFY2(ruleOf(*win, b).endsWith(QStringLiteral(
                     "\r\n/* other1 */\r\ncolor:red;\r\nb:1;\r\n/* other2 */\r\n}")),
                 qPrintable(ruleOf(*win, b)));
        // Re-selecting shows the lines again.
        QTest::mouseClick(boxWidget(b), Qt::LeftButton);
        QCOMPARE(extra->toPlainText(), QStringLiteral("color:red;\nb:1;"));
    }

    void textBoxCommitsEveryChange()
    {
        const design::BoxHandle b = addBox();
        QTest::mouseClick(boxWidget(b), Qt::LeftButton);
        const QString before = ruleOf(*win, b);
        QLineEdit* text = edit(QStringLiteral("编辑框8"));
        typeText(text, QStringLiteral("页"));
        QCOMPARE(win->design().componentAt(1).innerText, rt::gb("页"));
        QTest::keyClicks(text, "<b>");
        QCOMPARE(win->design().componentAt(1).innerText, rt::gb("页<b>"));
        QTest::keyClick(text, Qt::Key_Backspace);
        QCOMPARE(win->design().componentAt(1).innerText, rt::gb("页<b"));
        QCOMPARE(ruleOf(*win, b), before);
    }

    // Selecting another box moves the panel over without writing one
    // Component's values into the other.
    void switchingSelectionKeepsComponentsApart()
    {
        const design::BoxHandle a = addBox();
        const design::BoxHandle b = addBox();
        design::ComponentUpdate ua;
        ua.extra = "color:red;\r\nmargin:0;";
        ua.innerText = "A";
        win->design().updateComponent(a, ua);
        const QString ruleA = ruleOf(*win, a), ruleB = ruleOf(*win, b);
        QTest::mouseClick(boxWidget(a), Qt::LeftButton);
        QCOMPARE(extraBox()->toPlainText(), QStringLiteral("color:red;\nmargin:0;"));
        QTest::mouseClick(boxWidget(b), Qt::LeftButton);
        QCOMPARE(panelTexts().mid(6), (QStringList{"", ""}));
        QCOMPARE(ruleOf(*win, a), ruleA);
        QCOMPARE(ruleOf(*win, b), ruleB);
        QCOMPARE(win->design().componentAt(1).innerText, std::string("A"));
        QCOMPARE(win->design().componentAt(2).innerText, std::string());
    }

    void resizingMovesOnlyTheDrawingAreaEdges()
    {
        const design::BoxHandle b = addBox();
        setGeometryOf(b, 200, 100);
        QSignalSpy laidOut(win.get(), &MainWindow::canvasLaidOut);
        win->resize(win->size() + QSize(100, 40));
        QVERIFY(laidOut.count() >= 1);
        QCOMPARE(child(QStringLiteral("分组框1"))->geometry(), QRect(280, 8, 796, 696));
        QCOMPARE(win->designCanvasSize(), QSize(780, 672));
        QCOMPARE(child(QStringLiteral("分组框3"))->geometry(), QRect(8, 8, 264, 176));
        QCOMPARE(child(QStringLiteral("分组框4"))->geometry(), QRect(8, 192, 264, 480));
        QCOMPARE(boxRect(*win, b), QRect(200, 100, 100, 60));
        // Too small for a drawing area: sizes stop at 0.
        win->resize(200, 40);
        QCOMPARE(child(QStringLiteral("分组框1"))->size(), QSize(0, 0));
        QCOMPARE(win->designCanvasSize(), QSize(0, 0));
    }

    void placementAndPreviewButtonsAreAnnounced()
    {
        QSignalSpy follow(win.get(), &MainWindow::geometryFollowNeeded);
        QSignalSpy open(win.get(), &MainWindow::previewOpenRequested);
        QSignalSpy close(win.get(), &MainWindow::previewCloseRequested);
        win->move(120, 80);
        QVERIFY(follow.count() >= 1);
        const int afterMove = follow.count();
        win->showMinimized();
        QTRY_VERIFY(follow.count() > afterMove);
        QTest::mouseClick(button(QStringLiteral("按钮4")), Qt::LeftButton);
        QTest::mouseClick(button(QStringLiteral("按钮7")), Qt::LeftButton);
        QCOMPARE(open.count(), 1);
        QCOMPARE(close.count(), 1);
    }

    // Closing the main window ends the program even while another top-level
    // window (such as the preview) is open; that window goes with it.
    void closingTheMainWindowEndsTheProgram()
    {
        QWidget other;
        other.show();
        QTimer::singleShot(0, win.get(), [this] { win->close(); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        watchdog.start(5000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!other.isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
