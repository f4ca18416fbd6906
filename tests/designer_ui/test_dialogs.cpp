// The file dialogs behind "生成" and "读入" and the style code dialog behind
// "导入代码", driven through the real windows.
#include "uitest.h"

#include "design/document.h"
#include "designer_ui/filedialogs.h"
#include "designer_ui/importcodedialog.h"
#include "runtime/qttranslations.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>
#include <QUndoStack>

using designer::ImportCodeDialog;
using designer::MainWindow;
using namespace uitest;

namespace {

struct Snapshot {
    std::string rule, innerText;
    QRect box;
    bool operator==(const Snapshot&) const = default;
};
}  // namespace

class TestDesignerDialogs : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindow> win;

    QPushButton* button(const QString& name) const { return win->findChild<QPushButton*>(name); }
    std::vector<Snapshot> snapshot() const
    {
        std::vector<Snapshot> s;
        for (int i = 1; i <= win->design().componentCount(); ++i) {
            const design::Component& c = win->design().componentAt(i);
            s.push_back({c.rule, c.innerText, boxRect(*win, c.boxHandle)});
        }
        return s;
    }
    void selectBox(design::BoxHandle b)
    {
        QTest::mouseClick(win->designCanvas()->box(b), Qt::LeftButton);
        QCOMPARE(win->design().selectedBox(), b);
    }

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
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

    void qtFiltersFromPipeLists_data()
    {
        QTest::addColumn<QString>("pipe");
        QTest::addColumn<QStringList>("qt");
        QTest::newRow("page") << "网页文件(*.html)|*.html" << QStringList{"网页文件(*.html)"};
        QTest::newRow("bare text") << "Pages|*.html;*.htm|All|*.*"
                                   << QStringList{"Pages (*.html *.htm)", "All (*.*)"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("odd entry dropped") << "A|*.a|B" << QStringList{"A (*.a)"};
    }
    void qtFiltersFromPipeLists()
    {
        QFETCH(QString, pipe);
        QFETCH(QStringList, qt);
        QCOMPARE(designer::qtNameFilters(pipe), qt);
    }

    void saveAndReadBackThroughTheDialogs()
    {
        win->design().createComponentWithBox("div", "head", 10, 20, 300, 40, "color:red;\r\n", rt::gb("标题"));
        win->design().createComponentWithBox("p", "body", 10, 80, 500, 200, "", "text <i>x");
        win->design().createComponentWithBox("span", "foot", -5, 300, 120, 30, "", "");
        const std::vector<Snapshot> saved = snapshot();

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("页面.html"));
        const QString cwd = QDir::currentPath();
        {
            MessageBoxWatcher messages;
            auto seen = pickInNextFileDialog(path);
            QTest::mouseClick(button(QStringLiteral("按钮3")), Qt::LeftButton);
            QCOMPARE(seen->title, QStringLiteral("生成html代码"));
            QCOMPARE(seen->filters, QStringList{QStringLiteral("网页文件(*.html)")});
            QCOMPARE(seen->mode, QFileDialog::AcceptSave);
            QVERIFY(messages.texts.isEmpty());  // success says nothing
        }
        QCOMPARE(QDir::currentPath(), cwd);
        const QByteArray bytes = fileBytes(path);
        QCOMPARE(bytes, QByteArray::fromStdString(design::encodeUtf8(win->design().generateDocument())));
        QVERIFY(bytes.contains("标题"));
        QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));

        // Saving over an existing file replaces it without a question.
        QTest::mouseClick(button(QStringLiteral("按钮1")), Qt::LeftButton);
        {
            MessageBoxWatcher messages;
            pickInNextFileDialog(path);
            QTest::mouseClick(button(QStringLiteral("按钮3")), Qt::LeftButton);
            QVERIFY(messages.texts.isEmpty());
        }
        QCOMPARE(fileBytes(path), QByteArray::fromStdString(design::encodeUtf8(win->design().generateDocument())));

        // Read the three-box version back over the four-box design.
        QVERIFY(QFile::remove(path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        auto seen = pickInNextFileDialog(path);
        QTest::mouseClick(button(QStringLiteral("按钮5")), Qt::LeftButton);
        QCOMPARE(seen->title, QStringLiteral("打开html代码"));
        QCOMPARE(seen->filters, QStringList{QStringLiteral("网页文件(*.html)")});
        QCOMPARE(seen->mode, QFileDialog::AcceptOpen);
        QCOMPARE(QDir::currentPath(), cwd);
        QCOMPARE(win->design().componentCount(), 3);
        QCOMPARE(win->designCanvas()->boxCount(), 3);
        QCOMPARE(snapshot(), saved);
        for (int i = 1; i <= 3; ++i)
            QVERIFY(win->designCanvas()->box(win->design().componentAt(i).boxHandle)->isVisible());
    }

    // As root, folder permissions stop nothing; a name at the file system's
    // length limit leaves no room for the temporary file beside it, so the
    // save fails for real while the old file stays.
    void failedSaveShowsTheReasonAndKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QString(250, QLatin1Char('a')) + QStringLiteral(".html"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old page");
        }
        QTest::mouseClick(button(QStringLiteral("按钮1")), Qt::LeftButton);
        MessageBoxWatcher messages;
        pickInNextFileDialog(path);
        QTest::mouseClick(button(QStringLiteral("按钮3")), Qt::LeftButton);
        QCOMPARE(fileBytes(path), QByteArray("old page"));
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY2(messages.texts[0].contains(path), qPrintable(messages.texts[0]));
        QVERIFY(messages.texts[0].contains(QStringLiteral("无法保存文件")));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QFileInfo(path).fileName()});
    }

    void cancellingOrPickingNoFileKeepsTheDesign()
    {
        win->design().createComponentWithBox("div", "keep", 1, 2, 3, 4, "", "x");
        const std::vector<Snapshot> before = snapshot();
        QTemporaryDir dir;
        // A name that does not exist is refused by the open dialog.
        win->design().undoStack()->setClean();  // nothing to ask about
        MessageBoxWatcher notFound;
        auto seen = pickInNextFileDialog(dir.filePath(QStringLiteral("missing.html")));
        QTest::mouseClick(button(QStringLiteral("按钮5")), Qt::LeftButton);
        QVERIFY(seen->stillOpenAfterAccept);
        QCOMPARE(snapshot(), before);
        // Cancelling the save dialog writes nothing.
        whenModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
        QTest::mouseClick(button(QStringLiteral("按钮3")), Qt::LeftButton);
        QVERIFY(QDir(dir.path()).isEmpty());
        QCOMPARE(snapshot(), before);
    }

    void importCodeDialogLayout()
    {
        ImportCodeDialog d(win.get());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY(d.isModal());
        QCOMPARE(d.windowTitle(), QStringLiteral("导入代码"));
        QCOMPARE(d.frameGeometry(), QRect(50, 50, 434, 452));
        QCOMPARE(d.codeBox()->geometry(), QRect(0, 0, 328, 424));
        QCOMPARE(d.pasteButton()->geometry(), QRect(328, 0, 96, 32));
        QCOMPARE(d.pasteButton()->text(), QStringLiteral("粘贴"));
        QCOMPARE(d.confirmButton()->geometry(), QRect(328, 48, 96, 32));
        QCOMPARE(d.confirmButton()->text(), QStringLiteral("确认"));
        QMap<QString, QRect> labels;
        for (QLabel* l : d.findChildren<QLabel*>())
            labels[l->text()] = l->geometry();
        QCOMPARE(labels.size(), 2);
        QCOMPARE(labels.value(QStringLiteral(
                     "导入的代码格式如下：\n\n（标签类.或#）（名称） {\n（代码）\n}\n\n"
                     "代码段可设置各种参数，额外代码也可以包含入内\n\n这类代码可以在lunacy等设计软件中复制")),
                 QRect(336, 88, 88, 200));
        QCOMPARE(labels.value(QStringLiteral(
                     "注意：导入代码中所有的属性（如标签类、名称、宽度、高度、额外代码等）都会覆盖原组件属性")),
                 QRect(336, 288, 88, 96));
        QVERIFY(d.codeBox()->toPlainText().isEmpty());
    }

    void pasteAppendsClipboardTextAtTheEnd()
    {
        ImportCodeDialog d;
        d.show();
        QGuiApplication::clipboard()->setText(QStringLiteral("a {\r\n  left:1px;\r\n}"));
        d.codeBox()->setPlainText(QStringLiteral("X"));
        d.codeBox()->moveCursor(QTextCursor::Start);  // caret at the start: still appended
        QTest::mouseClick(d.pasteButton(), Qt::LeftButton);
        QTest::mouseClick(d.pasteButton(), Qt::LeftButton);
        QCOMPARE(d.codeBox()->toPlainText(),
                 QStringLiteral("Xa {\n  left:1px;\n}a {\n  left:1px;\n}"));
        QGuiApplication::clipboard()->clear();
        QTest::mouseClick(d.pasteButton(), Qt::LeftButton);
        QCOMPARE(d.codeBox()->toPlainText().size(), 35);
    }

    // The whole flow: button, dialog, paste, confirm, applied to the
    // selected Component through the design model.
    void styleCodeIsAppliedThroughTheDialog()
    {
        QTest::mouseClick(button(QStringLiteral("按钮1")), Qt::LeftButton);
        const design::BoxHandle box = win->design().componentAt(1).boxHandle;
        design::ComponentUpdate u;
        u.left = 40;
        u.extra = "color:blue;";
        u.innerText = "inner";
        win->design().updateComponent(box, u);
        selectBox(box);

        QGuiApplication::clipboard()->setText(QStringLiteral("#card {\r\n  width: 50px;\r\n}"));
        auto ran = whenModal<ImportCodeDialog>([](ImportCodeDialog* d) {
            QVERIFY(d->codeBox()->toPlainText().isEmpty());
            QTest::mouseClick(d->pasteButton(), Qt::LeftButton);
            QTest::mouseClick(d->confirmButton(), Qt::LeftButton);
        });
        QTest::mouseClick(button(QStringLiteral("按钮6")), Qt::LeftButton);
        QVERIFY(*ran);
        const std::string rule = win->design().componentAt(1).rule;
        QCOMPARE(design::readRuleTag(rule), std::string("div"));
        QCOMPARE(design::readRuleClass(rule), std::string("card"));
        QCOMPARE(design::readRuleWidth(rule), std::string("50"));
        QCOMPARE(design::readRuleLeft(rule), std::string("40"));
        QCOMPARE(design::readRuleHeight(rule), std::string("60"));
        QCOMPARE(design::readRuleExtra(rule), std::string("color:blue;"));
        QCOMPARE(win->design().componentAt(1).innerText, std::string("inner"));
        QCOMPARE(boxRect(*win, box), QRect(40, 24, 50, 60));
        QCOMPARE(win->design().pendingStyleCode, rt::qstringToGb(QStringLiteral("#card {\r\n  width: 50px;\r\n}")));
        // The panel shows the Component as it now is.
        QCOMPARE(win->findChild<QLineEdit*>(QStringLiteral("编辑框2"))->text(), QStringLiteral("card"));
        QCOMPARE(win->findChild<QLineEdit*>(QStringLiteral("编辑框5"))->text(), QStringLiteral("50"));

        // Declarations replace the extra text; CR LF reaches the model.
        whenModal<ImportCodeDialog>([](ImportCodeDialog* d) {
            d->codeBox()->setPlainText(QStringLiteral("div.x {\n  left:5px;\n  color:red;\n  font-size:12px;\n}"));
            QTest::mouseClick(d->confirmButton(), Qt::LeftButton);
        });
        QTest::mouseClick(button(QStringLiteral("按钮6")), Qt::LeftButton);
        QCOMPARE(design::readRuleExtra(win->design().componentAt(1).rule),
                 std::string("color:red;\r\nfont-size:12px;\r\n"));
        QCOMPARE(design::readRuleLeft(win->design().componentAt(1).rule), std::string("5"));
    }

    void closingTheCodeDialogOtherwiseAppliesNothing_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("confirm");
        QTest::newRow("closed with code") << "#gone {\n  width: 9px;\n}" << false;
        QTest::newRow("confirmed empty") << "" << true;
    }
    void closingTheCodeDialogOtherwiseAppliesNothing()
    {
        QFETCH(QString, code);
        QFETCH(bool, confirm);
        QTest::mouseClick(button(QStringLiteral("按钮1")), Qt::LeftButton);
        const design::BoxHandle box = win->design().componentAt(1).boxHandle;
        selectBox(box);
        win->design().pendingStyleCode = "stale";
        const std::string before = win->design().componentAt(1).rule;
        auto ran = whenModal<ImportCodeDialog>([&](ImportCodeDialog* d) {
            d->codeBox()->setPlainText(code);
            if (confirm)
                QTest::mouseClick(d->confirmButton(), Qt::LeftButton);
            else
                d->close();
        });
        QTest::mouseClick(button(QStringLiteral("按钮6")), Qt::LeftButton);
        QVERIFY(*ran);
        QCOMPARE(win->design().componentAt(1).rule, before);
        QVERIFY(win->design().pendingStyleCode.empty());
    }
    // Qt's own buttons speak the user's language when Qt's translations for
    // it are installed; without them they stay English.
    void qtTextsInTheUsersLanguage_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("buttons");  // Save, Discard, Cancel
        QTest::newRow("Chinese") << QStringLiteral("zh_CN") << QStringList{"保存", "丢弃", "取消"};
        QTest::newRow("German") << QStringLiteral("de_DE") << QStringList{"Speichern", "Verwerfen", "Abbrechen"};
        QTest::newRow("no translation") << QStringLiteral("C") << QStringList{"Save", "Discard", "Cancel"};
    }
    void qtTextsInTheUsersLanguage()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, buttons);
        QCOMPARE(rt::installQtTranslations(QLocale(locale)), locale != QStringLiteral("C"));
        // The question that "读入" asks over unsaved work, raised by real clicks.
        QTest::mouseClick(button(QStringLiteral("按钮1")), Qt::LeftButton);
        QStringList seen;
        auto ran = whenModal<QMessageBox>([&](QMessageBox* m) {
            for (auto b : {QMessageBox::Save, QMessageBox::Discard, QMessageBox::Cancel})
                seen << m->button(b)->text().remove(QLatin1Char('&'));
            m->button(QMessageBox::Cancel)->click();
        });
        QTest::mouseClick(button(QStringLiteral("按钮5")), Qt::LeftButton);
        for (QTranslator* t : qApp->findChildren<QTranslator*>(Qt::FindDirectChildrenOnly)) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
        QVERIFY(*ran);
        QCOMPARE(seen, buttons);
    }
};

QTEST_MAIN(TestDesignerDialogs)
#include "test_dialogs.moc"
