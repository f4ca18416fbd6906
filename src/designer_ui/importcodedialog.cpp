#include "designer_ui/importcodedialog.h"

#include "designer_ui/windowgeometry.h"
#include "runtime/textcodec.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

namespace designer {

ImportCodeDialog::ImportCodeDialog(QWidget* parent) : QDialog(parent)
{
    setModal(true);
    setWindowTitle(QStringLiteral("导入代码"));

    codeBox_ = new QPlainTextEdit(this);
    codeBox_->setObjectName(QStringLiteral("编辑框1"));
    codeBox_->setGeometry(0, 0, 328, 424);

    pasteButton_ = new QPushButton(QStringLiteral("粘贴"), this);
    pasteButton_->setObjectName(QStringLiteral("按钮1"));
    pasteButton_->setGeometry(328, 0, 96, 32);
    pasteButton_->setAutoDefault(false);

    confirmButton_ = new QPushButton(QStringLiteral("确认"), this);
    confirmButton_->setObjectName(QStringLiteral("按钮2"));
    confirmButton_->setGeometry(328, 48, 96, 32);
    confirmButton_->setAutoDefault(false);

    auto* format = new QLabel(QStringLiteral(
        "导入的代码格式如下：\n\n（标签类.或#）（名称） {\n（代码）\n}\n\n"
        "代码段可设置各种参数，额外代码也可以包含入内\n\n这类代码可以在lunacy等设计软件中复制"), this);
    format->setObjectName(QStringLiteral("标签1"));
    format->setGeometry(336, 88, 88, 200);
    format->setWordWrap(true);
    format->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* note = new QLabel(QStringLiteral(
        "注意：导入代码中所有的属性（如标签类、名称、宽度、高度、额外代码等）都会覆盖原组件属性"), this);
    note->setObjectName(QStringLiteral("标签2"));
    note->setGeometry(336, 288, 88, 96);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    connect(pasteButton_, &QPushButton::clicked, this, &ImportCodeDialog::paste);
    connect(confirmButton_, &QPushButton::clicked, this, &ImportCodeDialog::confirm);

    setOuterGeometry(this, QRect(50, 50, 434, 452));
}

void ImportCodeDialog::paste()
{
    QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty())
        return;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // Appended at the end, wherever the caret is.
    QTextCursor end(codeBox_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
}

void ImportCodeDialog::confirm()
{
    QString code = codeBox_->toPlainText();
    code.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    confirmed_ = rt::qstringToGb(code);
    accept();
}

std::string ImportCodeDialog::askForCode(QWidget* parent)
{
    ImportCodeDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.confirmedCode();
}

}  // namespace designer
