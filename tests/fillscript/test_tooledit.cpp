// The script editor's own checks and files, without a page: the squiggle
// and colours follow the run's checks line by line; script files open in
// UTF-8 and GB18030, save as UTF-8 with CR LF, name themselves in the
// caption, and closing with unsaved changes asks first.
#include "fillscript/catalogue.h"
#include "fillscript/linecheck.h"
#include "fillscript/pagerecorder.h"
#include "fillscript/scriptfile.h"
#include "fillscript/runmarkers.h"
#include "fillscript/scriptlexer.h"
#include "fillscript/scriptrun.h"
#include "fillscript/scripttoolwindow.h"
#include "runtime/textcodec.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace fillscript;

namespace {

using B = QsciScintillaBase;

// Logs what it is given; the checks under test happen before it is called.
class ResultExecutor : public CommandExecutor {
public:
    std::string execute(const std::string&, const std::vector<std::string>&) override { return "ok"; }
};

// Answers every command with one text.
class AnswerExecutor : public CommandExecutor {
public:
    explicit AnswerExecutor(std::string answer) : answer_(std::move(answer)) {}
    std::string execute(const std::string&, const std::vector<std::string>&) override { return answer_; }

private:
    std::string answer_;
};

// Answers with the command's first argument, so that a later line shows
// what an earlier line's variable held.
class EchoExecutor : public CommandExecutor {
public:
    std::string execute(const std::string&, const std::vector<std::string>& args) override
    {
        return args.empty() ? std::string("none") : args.front();
    }
};

// Answers the next message box with `button`; the flag tells it was shown.
std::shared_ptr<QString> answerNextBox(QMessageBox::StandardButton button)
{
    auto text = std::make_shared<QString>();
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, text, button] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && box->isVisible()) {
            *text = box->text();
            timer->stop();
            timer->deleteLater();
            box->button(button)->click();
        }
    });
    timer->start(10);
    QTimer::singleShot(5000, timer, &QObject::deleteLater);
    return text;
}

// Puts path into the next file dialog's name field and presses Enter; the
// flag tells it was shown. It waits for the dialog while `scope` lives.
std::shared_ptr<bool> answerNextFileDialog(const QString& path, QObject* scope)
{
    auto shown = std::make_shared<bool>(false);
    auto* timer = new QTimer(scope);
    QObject::connect(timer, &QTimer::timeout, [timer, shown, path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* name = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        if (name && dialog->isVisible()) {
            *shown = true;
            timer->stop();
            timer->deleteLater();
            // Set, not typed: the name field's completer would take the keys.
            name->setFocus();
            name->setText(path);
            QTest::keyClick(name, Qt::Key_Return);
            // A dialog still open later would hold the test: it goes.
            QTimer::singleShot(3000, dialog, [dialog = QPointer<QFileDialog>(dialog)] {
                if (dialog && dialog->isVisible())
                    dialog->reject();
            });
        }
    });
    timer->start(10);
    QTimer::singleShot(5000, timer, &QObject::deleteLater);
    return shown;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

class TestToolEdit : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void checksFollowTheRun_data();
    void checksFollowTheRun();
    void pickedLocatorGoesIntoTheCommand_data();
    void pickedLocatorGoesIntoTheCommand();
    void recordedLinesGoBelowTheCaret();
    void variablesLastAcrossSteps();
    void markersComeFromResults_data();
    void markersComeFromResults();
    void filesOpen_data();
    void filesOpen();
    void savedFileReadsAsTheEditorHoldsIt();
    void closingWithUnsavedChanges_data();
    void closingWithUnsavedChanges();
    void openingOverUnsavedChanges_data();
    void openingOverUnsavedChanges();

private:
    long send(unsigned msg, unsigned long w = 0, long l = 0)
    {
        return tool->scriptEditor()->SendScintilla(msg, w, l);
    }
    std::unique_ptr<ScriptToolWindow> tool;
    QTemporaryDir dir;
};

void TestToolEdit::init()
{
    tool = std::make_unique<ScriptToolWindow>();
    tool->show();
    QVERIFY(QTest::qWaitForWindowExposed(tool.get()));
}

void TestToolEdit::cleanup()
{
    tool.reset();
}

void TestToolEdit::checksFollowTheRun_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("check");
    QTest::addColumn<QString>("underlined");  // the text under the squiggle
    QTest::newRow("known, right count") << "填表_跳转地址(abc)" << int(LineCheck::Ok) << "";
    QTest::newRow("full-width punctuation") << "填表_跳转地址（“abc”）" << int(LineCheck::Ok) << "";
    QTest::newRow("leading spaces") << "  填表_取页面文本()" << int(LineCheck::Ok) << "";
    QTest::newRow("unknown name") << "填表_跳转(abc)" << int(LineCheck::UnknownCommand) << "填表_跳转";
    QTest::newRow("wrong case") << "填表操作_取Canvas图片(a,b,0,,,,假)" << int(LineCheck::UnknownCommand)
                                << "填表操作_取Canvas图片";
    QTest::newRow("no parenthesis") << "hello" << int(LineCheck::UnknownCommand) << "hello";
    QTest::newRow("space before the parenthesis") << "填表_跳转地址 (a)" << int(LineCheck::UnknownCommand)
                                                  << "填表_跳转地址 ";
    QTest::newRow("too many") << "填表_跳转地址(a,b)" << int(LineCheck::WrongArgumentCount) << "(a,b)";
    QTest::newRow("blank between parentheses") << "填表_取页面文本( )" << int(LineCheck::WrongArgumentCount)
                                               << "( )";
    QTest::newRow("result kept in a variable") << "订单号=填表_取页面文本()" << int(LineCheck::Ok) << "";
    QTest::newRow("variable, wrong count") << "x=填表_跳转地址(a,b)" << int(LineCheck::WrongArgumentCount)
                                           << "(a,b)";
    QTest::newRow("variable, unknown command") << "x=填表_跳转(a)" << int(LineCheck::UnknownCommand)
                                               << "x=填表_跳转";
    QTest::newRow("no variable name") << "a-b=填表_取页面文本()" << int(LineCheck::UnknownCommand)
                                      << "a-b=填表_取页面文本";
    QTest::newRow("full-width comma splits") << "填表_跳转地址(你好，世界)"
                                             << int(LineCheck::WrongArgumentCount) << "(你好，世界)";
}

void TestToolEdit::checksFollowTheRun()
{
    QFETCH(QString, line);
    QFETCH(int, check);
    QFETCH(QString, underlined);
    const std::string gbLine = rt::qstringToGb(line);
    QCOMPARE(int(checkScriptLine(gbLine).check), check);

    // The run rejects exactly the lines the check rejects.
    ResultExecutor exec;
    const std::vector<std::string> lines{gbLine};
    ScriptRun run(lines, exec);
    QCOMPARE(outcomeOf(run.step()) == LineOutcome::CheckFailed, check != int(LineCheck::Ok));

    // Second line of the editor, so that positions are not from 0.
    tool->scriptEditor()->setText(QStringLiteral("填表_取页面文本()\r\n") + line);
    send(B::SCI_COLOURISE, 0, -1);
    const QByteArray u8 = tool->scriptEditor()->text(1).toUtf8();
    const long start = send(B::SCI_POSITIONFROMLINE, 1);
    QByteArray squiggled;
    for (int i = 0; i < u8.size(); ++i)
        if (send(B::SCI_INDICATORVALUEAT, ScriptLexer::kCheckIndicator, start + i))
            squiggled += u8[i];
    QCOMPARE(QString::fromUtf8(squiggled), underlined);
    for (long p = 0; p < send(B::SCI_POSITIONFROMLINE, 1); ++p)
        QCOMPARE(send(B::SCI_INDICATORVALUEAT, ScriptLexer::kCheckIndicator, p), 0L);

    // The name in the command colour (or the unknown one), arguments apart.
    const int nameAt = int(u8.size() - u8.trimmed().size() > 0 ? u8.indexOf(u8.trimmed().left(1)) : 0);
    const int nameStyle = int(send(B::SCI_GETSTYLEAT, start + nameAt));
    QCOMPARE(nameStyle, check == int(LineCheck::UnknownCommand) ? int(ScriptLexer::UnknownCommand)
                                                                : int(ScriptLexer::Command));
    const int letter = int(u8.indexOf('a', u8.indexOf('(')));
    if (u8.contains('(') && letter > 0)
        QCOMPARE(int(send(B::SCI_GETSTYLEAT, start + letter)), int(ScriptLexer::Argument));
}

void TestToolEdit::pickedLocatorGoesIntoTheCommand_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("caretIndex");
    QTest::addColumn<QString>("after");
    QTest::newRow("empty line: the seven locator arguments")
        << "" << 0 << "input,kw,2,main|0,data-x,,假";
    QTest::newRow("inside a command's parentheses: locator filled, the rest kept")
        << "填表操作_写内容(a,b,值,0,,,,真)" << 12 << "填表操作_写内容(input,kw,值,2,main|0,data-x,,真)";
    QTest::newRow("empty parentheses: every argument written")
        << "填表事件_点击()" << 8 << "填表事件_点击(input,kw,2,main|0,data-x,, )";
    QTest::newRow("full-width punctuation")
        << "填表操作_取内容（，，0，，，，假）" << 9 << "填表操作_取内容(input,kw,2,main|0,data-x,,假)";
    QTest::newRow("the internal command's own order")
        << "内部_构造对象代码(,,,,,)" << 10 << "内部_构造对象代码(input,kw,2,data-x,main|0, )";
    QTest::newRow("a command without a locator: inserted at the caret")
        << "填表_跳转地址()" << 8 << "填表_跳转地址(input,kw,2,main|0,data-x,,假)";
}

void TestToolEdit::pickedLocatorGoesIntoTheCommand()
{
    QFETCH(QString, line);
    QFETCH(int, caretIndex);
    QFETCH(QString, after);
    tool->scriptEditor()->setText(QStringLiteral("填表_取页面文本()\r\n") + line);
    tool->scriptEditor()->setCursorPosition(1, caretIndex);
    tool->insertLocator({rt::gb("input"), rt::gb("kw"), 2, rt::gb("main|0"), rt::gb("data-x")});
    QCOMPARE(tool->scriptEditor()->text(1), after);
    // A command the locator went into passes the run's checks.
    if (!line.isEmpty() && !line.startsWith(QStringLiteral("填表_跳转地址")))
        QCOMPARE(int(checkScriptLine(rt::qstringToGb(after)).check), int(LineCheck::Ok));
}

void TestToolEdit::recordedLinesGoBelowTheCaret()
{
    tool->scriptEditor()->setText(QStringLiteral("填表_取页面文本()\r\n\r\n填表_取页面源码()"));
    tool->scriptEditor()->setCursorPosition(1, 0);  // an empty line is filled
    tool->insertRecordedLine(rt::gb("填表_跳转地址(a)"));
    tool->insertRecordedLine(rt::gb("填表_跳转地址(b)"));
    tool->scriptEditor()->setCursorPosition(3, 3);  // a line with text gets a new line below
    tool->insertRecordedLine(rt::gb("填表_跳转地址(c)"));
    QCOMPARE(tool->scriptEditor()->text(),
             QStringLiteral("填表_取页面文本()\r\n填表_跳转地址(a)\r\n填表_跳转地址(b)\r\n填表_取页面源码()\r\n填表_跳转地址(c)"));
    int line = 0, index = 0;
    tool->scriptEditor()->getCursorPosition(&line, &index);
    QCOMPARE(line, 4);
}

void TestToolEdit::variablesLastAcrossSteps()
{
    tool->setExecutor(std::make_shared<EchoExecutor>());
    tool->scriptEditor()->setText(QStringLiteral("v=填表_跳转地址(甲)\r\n"
                                                 "填表_跳转地址({{v}})\r\n"
                                                 "v=填表_跳转地址(丙)"));
    const auto logLines = [&] { return tool->codeLog()->toPlainText().split('\n', Qt::SkipEmptyParts); };
    // A line run on its own sees what the step before it kept...
    tool->scriptEditor()->setCursorPosition(0, 0);
    tool->step();
    tool->step();
    QCOMPARE(logLines().last(), QStringLiteral("第2行：甲"));
    // ...and the next step may change it.
    tool->step();
    tool->scriptEditor()->setCursorPosition(1, 0);
    tool->runCurrentLine();
    QCOMPARE(logLines().last(), QStringLiteral("第2行：丙"));
    // A full run starts without the variables of earlier runs.
    tool->scriptEditor()->setText(QStringLiteral("填表_跳转地址({{v}})"));
    tool->runWholeScript();
    QCOMPARE(logLines().last(), QStringLiteral("第1行：{{v}}"));
}

void TestToolEdit::markersComeFromResults_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("outcome");
    const QString go = QStringLiteral("填表_跳转地址(a)");
    QTest::newRow("passed") << go << "ok" << int(LineOutcome::Passed);
    QTest::newRow("error") << go << "error" << int(LineOutcome::Error);
    QTest::newRow("undefined") << go << "undefined" << int(LineOutcome::Undefined);
    QTest::newRow("unknown command") << QStringLiteral("填表_跳转(a)") << "ok" << int(LineOutcome::CheckFailed);
    QTest::newRow("wrong count") << QStringLiteral("填表_跳转地址(a,b)") << "ok"
                                 << int(LineOutcome::CheckFailed);
    // A page's answer that reads like a check's message is still an answer.
    QTest::newRow("answer like an unknown command") << go << QStringLiteral("错误，不存在的命令")
                                                    << int(LineOutcome::Passed);
    QTest::newRow("answer like a wrong count")
        << go << QStringLiteral("错误，参数不对，实际需要1个参数，你只提供2个参数") << int(LineOutcome::Passed);
}

void TestToolEdit::markersComeFromResults()
{
    QFETCH(QString, line);
    QFETCH(QString, answer);
    QFETCH(int, outcome);
    tool->setExecutor(std::make_shared<AnswerExecutor>(rt::qstringToGb(answer)));
    tool->scriptEditor()->setText(QStringLiteral("填表_跳转地址(x)\r\n") + line);
    tool->runWholeScript();
    QCOMPARE(tool->runMarkers().outcomeAt(1), std::optional(LineOutcome(outcome)));
    // The tooltip's entry is the line's entry in the log.
    const QStringList log = tool->codeLog()->toPlainText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(log.size(), 2);
    QCOMPARE(tool->runMarkers().entryAt(1), log[1]);
}

void TestToolEdit::filesOpen_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QString script = QStringLiteral("填表_跳转地址(http://127.0.0.1/)\r\n填表操作_取内容(input,用户,0,,,,假)");
    QTest::newRow("UTF-8, CR LF") << script.toUtf8() << script;
    QTest::newRow("UTF-8 with a byte-order mark, LF")
        << QByteArray("\xEF\xBB\xBF") + QString(script).replace("\r\n", "\n").toUtf8() << script;
    QTest::newRow("GB18030") << QByteArray::fromStdString(rt::qstringToGb(script)) << script;
    QTest::newRow("lone CR line ends") << QString(script).replace("\r\n", "\r").toUtf8() << script;
}

void TestToolEdit::filesOpen()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString path = dir.filePath(QStringLiteral("脚本.txt"));
    writeAll(path, bytes);
    QVERIFY(tool->openScriptFile(path));
    QCOMPARE(tool->scriptEditor()->text(), text);
    QCOMPARE(tool->windowTitle(), QStringLiteral("动态代码调试工具 - 脚本.txt"));
    QVERIFY(!tool->hasUnsavedChanges());
    QTest::keyClick(tool->scriptEditor(), Qt::Key_X);
    QVERIFY(tool->hasUnsavedChanges());
    QCOMPARE(tool->windowTitle(), QStringLiteral("动态代码调试工具 - 脚本.txt *"));
    QVERIFY(!tool->openScriptFile(dir.filePath(QStringLiteral("missing.txt"))));
    QCOMPARE(tool->scriptFilePath(), path);
}

void TestToolEdit::savedFileReadsAsTheEditorHoldsIt()
{
    // Line breaks of any kind (a paste can bring LF) are saved as CR LF.
    tool->scriptEditor()->setText(QStringLiteral("填表_取页面文本()\n填表_跳转地址(a)\r\n"));
    const QString path = dir.filePath(QStringLiteral("saved.txt"));
    QVERIFY(tool->saveScriptFile(path));
    QCOMPARE(readAll(path), QStringLiteral("填表_取页面文本()\r\n填表_跳转地址(a)\r\n").toUtf8());
    QCOMPARE(tool->windowTitle(), QStringLiteral("动态代码调试工具 - saved.txt"));
    const std::vector<std::string> lines = scriptFileLines(decodeScriptFile(readAll(path).toStdString()));
    QCOMPARE(lines.size(), std::size_t(2));
    QCOMPARE(rt::gbToQString(lines[1]), QStringLiteral("填表_跳转地址(a)"));
    QVERIFY(!tool->saveScriptFile(dir.filePath(QStringLiteral("no/such/folder/x.txt"))));
    QCOMPARE(tool->scriptFilePath(), path);
}

void TestToolEdit::closingWithUnsavedChanges_data()
{
    QTest::addColumn<bool>("fromFile");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QString>("fileAfter");
    QTest::newRow("no file: closes without a question") << false << int(QMessageBox::NoButton) << true << "";
    QTest::newRow("cancel keeps the window") << true << int(QMessageBox::Cancel) << false << "a";
    QTest::newRow("discard closes, file unchanged") << true << int(QMessageBox::Discard) << true << "a";
    QTest::newRow("save closes, file saved") << true << int(QMessageBox::Save) << true << "ab";
}

void TestToolEdit::closingWithUnsavedChanges()
{
    QFETCH(bool, fromFile);
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(QString, fileAfter);
    const QString path = dir.filePath(QStringLiteral("close.txt"));
    writeAll(path, "a");
    if (fromFile)
        QVERIFY(tool->openScriptFile(path));
    tool->scriptEditor()->setCursorPosition(0, 1);
    QTest::keyClick(tool->scriptEditor(), Qt::Key_B);
    std::shared_ptr<QString> asked;
    if (answer != QMessageBox::NoButton)
        asked = answerNextBox(QMessageBox::StandardButton(answer));
    QCOMPARE(tool->close(), closes);
    QCOMPARE(tool->isVisible(), !closes);
    if (asked)
        QCOMPARE(*asked, QStringLiteral("脚本已修改，是否保存？"));
    if (fromFile)
        QCOMPARE(QString::fromUtf8(readAll(path)), fileAfter);
}

// Ctrl+O over unsaved changes offers what closing offers; only cancel stays
// with the script.
void TestToolEdit::openingOverUnsavedChanges_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("editorAfter");
    QTest::addColumn<QString>("fileAfter");  // the first file's bytes
    QTest::newRow("cancel keeps the script") << int(QMessageBox::Cancel) << "ab" << "a";
    QTest::newRow("discard opens the other file") << int(QMessageBox::Discard) << "other" << "a";
    QTest::newRow("save, then open the other file") << int(QMessageBox::Save) << "other" << "ab";
}

void TestToolEdit::openingOverUnsavedChanges()
{
    QFETCH(int, answer);
    QFETCH(QString, editorAfter);
    QFETCH(QString, fileAfter);
    const QString path = dir.filePath(QStringLiteral("first.txt"));
    const QString other = dir.filePath(QStringLiteral("other.txt"));
    writeAll(path, "a");
    writeAll(other, "other");
    QVERIFY(tool->openScriptFile(path));
    tool->scriptEditor()->setCursorPosition(0, 1);
    QTest::keyClick(tool->scriptEditor(), Qt::Key_B);
    const std::shared_ptr<QString> asked = answerNextBox(QMessageBox::StandardButton(answer));
    QObject scope;
    const std::shared_ptr<bool> chosen = answerNextFileDialog(other, &scope);
    QTest::keyClick(tool->scriptEditor(), Qt::Key_O, Qt::ControlModifier);
    QTRY_COMPARE(*asked, QStringLiteral("脚本已修改，是否保存？"));
    QTRY_COMPARE(tool->scriptEditor()->text(), editorAfter);
    QCOMPARE(*chosen, answer != QMessageBox::Cancel);
    QCOMPARE(QString::fromUtf8(readAll(path)), fileAfter);
    QCOMPARE(tool->scriptFilePath(), answer == QMessageBox::Cancel ? path : other);
    QCOMPARE(tool->hasUnsavedChanges(), answer == QMessageBox::Cancel);
}

QTEST_MAIN(TestToolEdit)
#include "test_tooledit.moc"
