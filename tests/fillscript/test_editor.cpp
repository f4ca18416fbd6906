// The script tool window driven through key and input-method events:
// completion, hints, Enter rewriting, whole-character caret keys, the run
// button and the log.
#include "fillscript/catalogue.h"
#include "fillscript/gbeditor.h"
#include "fillscript/scripttoolwindow.h"
#include "runtime/textcodec.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QtTest>

using namespace fillscript;

namespace {

QString Q(const std::string& gb) { return rt::gbToQString(gb); }

class EchoExecutor : public CommandExecutor {
public:
    int calls = 0;
    std::string execute(const std::string& name, const std::vector<std::string>&) override
    {
        ++calls;
        return "echo " + name;
    }
};

}  // namespace

class TestEditor : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void typingTListsEveryTianName();
    void completionNarrowsAndStaysPut();
    void familiesByInitials_data();
    void familiesByInitials();
    void enterCompletesWithCommas_data();
    void enterCompletesWithCommas();
    void typedFullNameThenEnter();
    void spaceOrDownEnterInsertsFirstItem();
    void upAndDownWalkTheList();
    void hintShowsParameterUnderCaret();
    void enterRewritesFullWidthLine();
    void enterOnLastLineOnlyRewrites();
    void caretLineAndColumn_data();
    void caretLineAndColumn();
    void wordBeforeCaretRange();
    void caretKeysOverWholeCharacters();
    void runAppendsToLog();

private:
    void key(int qtKey, const QString& text = QString());
    void type(const QString& text);
    QString editorText() const { return w->scriptEditor()->text(); }
    QStringList listItems() const;
    std::unique_ptr<ScriptToolWindow> w;
};

void TestEditor::init()
{
    w = std::make_unique<ScriptToolWindow>();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
}

void TestEditor::cleanup()
{
    w.reset();
}

void TestEditor::key(int qtKey, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
    QApplication::sendEvent(w->scriptEditor(), &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::NoModifier, text);
    QApplication::sendEvent(w->scriptEditor(), &release);
}

// ASCII goes in as key presses, everything else as input-method commits, the
// way a user types Chinese.
void TestEditor::type(const QString& text)
{
    for (const char32_t cp : text.toUcs4()) {
        const QString ch = QString::fromUcs4(&cp, 1);
        if (cp < 0x80) {
            const int k = cp == ' ' ? int(Qt::Key_Space) : int(ch.toUpper().at(0).unicode());
            key(k, ch);
        } else {
            QInputMethodEvent ime;
            ime.setCommitString(ch);
            QApplication::sendEvent(w->scriptEditor(), &ime);
        }
    }
}

QStringList TestEditor::listItems() const
{
    QStringList out;
    for (int i = 0; i < w->completionList()->count(); ++i)
        out << w->completionList()->item(i)->text();
    return out;
}

void TestEditor::typingTListsEveryTianName()
{
    type("t");
    QListWidget* list = w->completionList();
    QVERIFY(list->isVisible());
    QCOMPARE(list->count(), 47);
    QVERIFY(!listItems().contains(QStringLiteral("内部_构造对象代码")));
    const QRect caret = w->caretRect();
    QCOMPARE(list->pos(), QPoint(caret.left(), w->scriptEditor()->y() + caret.top() + 15));
    QCOMPARE(list->item(0)->data(Qt::UserRole).toInt(), 1);  // item value: parameter count
}

void TestEditor::completionNarrowsAndStaysPut()
{
    type("t");
    const QPoint first = w->completionList()->pos();
    type("b_");
    QCOMPARE(listItems(),
             QStringList({"填表_跳转地址", "填表_取网址", "填表_取页面属性", "填表_取页面文本", "填表_取页面源码",
                          "填表_控制滚动条", "填表_取滚动条位置", "填表_屏蔽信息框", "填表_坐标点击",
                          "填表_取网页来路", "填表_遍历元素", "填表_执行框架内JS代码", "填表_执行自定义JS代码"}));
    QCOMPARE(w->completionList()->pos(), first);
    // A space ends the word: nothing is offered and the list goes away.
    w->completionList()->hide();  // Space would accept; clear it another way
    key(Qt::Key_Space, " ");
    QVERIFY(w->completionList()->isHidden());
    QCOMPARE(w->completionList()->count(), 0);
}

void TestEditor::familiesByInitials_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("tbsj events") << "tbsj" << 12 << "填表事件_";
    QTest::newRow("tbcz operations") << "tbcz" << 22 << "填表操作_";
    QTest::newRow("tbcz_qnr one") << "tbcz_qnr" << 1 << "填表操作_取内容";
    QTest::newRow("tbczqnr none") << "tbczqnr" << 0 << "";
    QTest::newRow("nb internal") << "nb" << 1 << "内部_";
    // After "variable=" at the start of a line the command is completed; an
    // "=" inside an argument is no variable.
    QTest::newRow("after a variable") << "订单号=tbcz" << 22 << "填表操作_";
    QTest::newRow("= in an argument") << "f(a, v=tbcz" << 0 << "";
}

void TestEditor::familiesByInitials()
{
    QFETCH(QString, typed);
    QFETCH(int, count);
    QFETCH(QString, prefix);
    type(typed);
    const QStringList items = listItems();
    QCOMPARE(items.size(), count);
    for (const QString& s : items)
        QVERIFY2(s.startsWith(prefix), qPrintable(s));
    QCOMPARE(w->completionList()->isVisible(), count > 0);
}

void TestEditor::enterCompletesWithCommas_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::newRow("seven parameters") << "tbcz_qnr" << "填表操作_取内容(, , , , , , )";
    QTest::newRow("one parameter") << "tb_tzdz" << "填表_跳转地址()";
    QTest::newRow("none") << "tb_qymwb" << "填表_取页面文本()";
    QTest::newRow("fourteen") << "tbsj_sbsj" << "填表事件_鼠标事件(, , , , , , , , , , , , , )";
}

void TestEditor::enterCompletesWithCommas()
{
    QFETCH(QString, typed);
    QFETCH(QString, result);
    type("x ");  // the completion replaces only the word before the caret
    type(typed);
    key(Qt::Key_Return);
    QCOMPARE(editorText(), "x " + result);
    // The caret ends after ")", the list is gone.
    QCOMPARE(w->gbEditor().currentPos(), int(rt::qstringToGb(editorText()).size()));
    QVERIFY(w->completionList()->isHidden());
}

void TestEditor::typedFullNameThenEnter()
{
    type("填表_跳转地址");
    QCOMPARE(w->completionList()->count(), 0);
    QVERIFY(w->completionList()->isHidden());
    key(Qt::Key_Return);
    QCOMPARE(editorText(), QStringLiteral("填表_跳转地址()"));
}

void TestEditor::spaceOrDownEnterInsertsFirstItem()
{
    type("tb_");
    QCOMPARE(w->completionList()->currentRow(), -1);
    key(Qt::Key_Space, " ");
    QCOMPARE(editorText(), QStringLiteral("填表_跳转地址()"));
    QVERIFY(w->completionList()->isHidden());

    w->scriptEditor()->clear();
    type("tb_");
    key(Qt::Key_Down);
    QCOMPARE(w->completionList()->currentRow(), 0);
    key(Qt::Key_Return);
    QCOMPARE(editorText(), QStringLiteral("填表_跳转地址()"));
}

void TestEditor::upAndDownWalkTheList()
{
    type("tb_");
    QListWidget* list = w->completionList();
    key(Qt::Key_Up);
    QCOMPARE(list->currentRow(), 12);  // nothing selected: Up selects the last
    key(Qt::Key_Up);
    QCOMPARE(list->currentRow(), 11);
    key(Qt::Key_Down);
    key(Qt::Key_Down);  // past the last item: no selection
    QCOMPARE(list->currentRow(), -1);
    key(Qt::Key_Down);
    QCOMPARE(list->currentRow(), 0);
    key(Qt::Key_Up);
    QCOMPARE(list->currentRow(), 0);
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    key(Qt::Key_Return);
    QCOMPARE(editorText(), QStringLiteral("填表_取页面属性()"));
    // The arrows only walk the list; the caret did not move.
    QVERIFY(list->isHidden());
}

void TestEditor::hintShowsParameterUnderCaret()
{
    type("填表操作_取属性(input,kw)");
    key(Qt::Key_Left);
    QVERIFY(w->hintLabel()->isHidden());  // hints follow text changes, not caret moves
    type(",");
    QVERIFY(w->hintLabel()->isVisible());
    QCOMPARE(w->hintLabel()->text(), QStringLiteral("   读取属性,文本型,"));
    const QRect caret = w->caretRect();
    QCOMPARE(w->hintLabel()->pos(), QPoint(caret.left(), w->scriptEditor()->y() + caret.top() + 15));

    // A line that keeps its result in a variable hints its command.
    w->scriptEditor()->clear();
    type("值 = 填表操作_取属性(input,kw)");
    key(Qt::Key_Left);
    type(",");
    QVERIFY(w->hintLabel()->isVisible());
    QCOMPARE(w->hintLabel()->text(), QStringLiteral("   读取属性,文本型,"));

    // Without the ")" no hint.
    w->scriptEditor()->clear();
    type("填表操作_取属性(input,kw,");
    QVERIFY(w->hintLabel()->isHidden());
    // An unknown name, or a parameter past the last, shows nothing either.
    w->scriptEditor()->clear();
    type("填表_跳转地址(a,)");
    key(Qt::Key_Left);
    QVERIFY(w->hintLabel()->isHidden());
}

void TestEditor::enterRewritesFullWidthLine()
{
    w->scriptEditor()->setText(QStringLiteral("填表_跳转地址（“abc”，１）\r\n填表_取页面文本()"));
    w->scriptEditor()->setCursorPosition(0, QStringLiteral("填表_跳转地址（“abc”，１）").size());
    key(Qt::Key_Return);
    QCOMPARE(editorText(), QStringLiteral("填表_跳转地址(\"abc\",１)\r\n\r\n填表_取页面文本()"));
    int line = -1, index = -1;
    w->scriptEditor()->getCursorPosition(&line, &index);
    QCOMPARE(line, 1);
    QCOMPARE(index, 0);
}

void TestEditor::enterOnLastLineOnlyRewrites()
{
    type("填表_跳转地址（abc）");
    key(Qt::Key_Return);
    QCOMPARE(editorText(), QStringLiteral("填表_跳转地址(abc)"));
    key(Qt::Key_Return);
    QCOMPARE(editorText(), QStringLiteral("填表_跳转地址(abc)\r\n"));
}

void TestEditor::caretLineAndColumn_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("index");  // editor characters
    QTest::addColumn<int>("caretLine");
    QTest::addColumn<int>("caretColumn");
    QTest::newRow("empty") << "" << 0 << 0 << 0 << 0;
    QTest::newRow("first line") << "ab\r\ncd" << 0 << 2 << 0 << 2;
    QTest::newRow("line start counts as previous end") << "ab\r\ncd" << 1 << 0 << 0 << 4;
    QTest::newRow("second line") << "ab\r\ncd" << 1 << 1 << 1 << 1;
    QTest::newRow("bytes of Chinese") << "填表\r\n" << 0 << 2 << 0 << 4;
    QTest::newRow("after Chinese on line 2") << "x\r\n填a" << 1 << 2 << 1 << 3;
    QTest::newRow("empty last line") << "ab\r\n" << 1 << 0 << 0 << 4;
}

void TestEditor::caretLineAndColumn()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(int, index);
    QFETCH(int, caretLine);
    QFETCH(int, caretColumn);
    w->scriptEditor()->setText(text);
    w->scriptEditor()->setCursorPosition(line, index);  // characters
    QCOMPARE(w->caretLine(), caretLine);
    QCOMPARE(w->caretColumn(), caretColumn);
}

void TestEditor::wordBeforeCaretRange()
{
    w->scriptEditor()->setText(QStringLiteral("a b\r\n\t填(x,y"));
    w->scriptEditor()->setCursorPosition(1, 7);
    // Tabs, parentheses and commas do not end a word; the line feed does.
    QCOMPARE(Q(w->wordBeforeCaret()), QStringLiteral("\t填(x,y"));
    QCOMPARE(w->completionStart(), 5);
    QCOMPARE(w->completionEnd(), 5 + 7);
    w->scriptEditor()->setCursorPosition(0, 2);
    QCOMPARE(Q(w->wordBeforeCaret()), QString());
    QCOMPARE(w->completionStart(), 2);
}

void TestEditor::caretKeysOverWholeCharacters()
{
    type("a填b");
    GbEditor& gb = w->gbEditor();
    QCOMPARE(gb.currentPos(), 4);
    key(Qt::Key_Left);
    QCOMPARE(gb.currentPos(), 3);
    QVERIFY(w->onScriptKeyDown(KeyLeft));  // the tool moves over the character
    QCOMPARE(gb.currentPos(), 1);
    QVERIFY(!w->onScriptKeyDown(KeyLeft));  // ASCII: left to the editor
    key(Qt::Key_Right);
    QCOMPARE(gb.currentPos(), 3);
    key(Qt::Key_Backspace);
    QCOMPARE(editorText(), QStringLiteral("ab"));
    QCOMPARE(gb.currentPos(), 1);

    // A four-byte GB18030 character is also one step and one deletion.
    w->scriptEditor()->clear();
    type(QStringLiteral("x😀"));
    QCOMPARE(gb.currentPos(), 5);
    key(Qt::Key_Left);
    QCOMPARE(gb.currentPos(), 1);
    key(Qt::Key_Right);
    QCOMPARE(gb.currentPos(), 5);
    key(Qt::Key_Backspace);
    QCOMPARE(editorText(), QStringLiteral("x"));
}

void TestEditor::runAppendsToLog()
{
    auto exec = std::make_shared<EchoExecutor>();
    w->setExecutor(exec);
    w->scriptEditor()->setText(QStringLiteral("填表_取页面文本()\r\n填表_坐标点击(1)"));
    QTest::mouseClick(w->runButton(), Qt::LeftButton);
    const QString once = QStringLiteral("第1行：echo 填表_取页面文本\r\n第2行：错误，参数不对，实际需要2个参数，你只提供1个参数\r\n");
    QCOMPARE(Q(w->logText()), once);
    QTest::mouseClick(w->runButton(), Qt::LeftButton);
    QCOMPARE(Q(w->logText()), once + once);
    QCOMPARE(exec->calls, 2);
}

QTEST_MAIN(TestEditor)
#include "test_editor.moc"
