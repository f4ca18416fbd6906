// The tool window's script files: open, save, the file name in the caption
// and the question before unsaved changes are left (opening another file,
// closing the window).
#include "fillscript/gbeditor.h"
#include "fillscript/scriptfile.h"
#include "fillscript/scripttoolwindow.h"
#include "fillscript/toolrun.h"
#include "runtime/fileio.h"
#include "runtime/textcodec.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace fillscript {
namespace {

const QString kFilter = QStringLiteral("脚本文件 (*.txt *.fill);;所有文件 (*)");

}  // namespace

bool ScriptToolWindow::openScriptFile(const QString& path)
{
    const std::optional<std::string> bytes = rt::readWholeFile(path);
    if (!bytes)
        return false;
    // Every line break becomes CR LF, the editor's own.
    std::string text;
    const std::vector<std::string> lines = scriptLines(decodeScriptFile(*bytes));
    for (const std::string& l : lines)
        text += l;
    editor_->setText(rt::gbToQString(text));
    run_->forgetMarks();
    editor_->setModified(false);
    filePath_ = path;
    fileBound_ = true;
    updateCaption();
    return true;
}

bool ScriptToolWindow::saveScriptFile(const QString& path)
{
    QString text = editor_->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    const QByteArray utf8 = text.toUtf8();
    if (!rt::writeFileAtomically(path, std::string(utf8.constData(), std::size_t(utf8.size()))).ok)
        return false;
    editor_->setModified(false);
    filePath_ = path;
    fileBound_ = true;
    updateCaption();
    return true;
}

bool ScriptToolWindow::hasUnsavedChanges() const
{
    return fileBound_ && editor_->isModified();
}

void ScriptToolWindow::updateCaption()
{
    QString caption = QStringLiteral("动态代码调试工具");
    if (fileBound_)
        caption += QStringLiteral(" - ") + QFileInfo(filePath_).fileName() +
                   (editor_->isModified() ? QStringLiteral(" *") : QString());
    setWindowTitle(caption);
}

bool ScriptToolWindow::settleUnsavedChanges()
{
    if (!hasUnsavedChanges())
        return true;
    const auto answer = QMessageBox::question(
        this, windowTitle(), QStringLiteral("脚本已修改，是否保存？"),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save && !saveScriptFile(filePath_)) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("无法写入文件：") + filePath_);
        return false;
    }
    return answer == QMessageBox::Save || answer == QMessageBox::Discard;
}

void ScriptToolWindow::openWithDialog()
{
    if (!settleUnsavedChanges())
        return;
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("打开脚本"), filePath_, kFilter);
    if (!path.isEmpty() && !openScriptFile(path))
        QMessageBox::warning(this, windowTitle(), QStringLiteral("无法读取文件：") + path);
}

void ScriptToolWindow::saveWithDialog(bool askName)
{
    QString path = filePath_;
    if (askName || path.isEmpty())
        path = QFileDialog::getSaveFileName(this, QStringLiteral("保存脚本"), filePath_, kFilter);
    if (!path.isEmpty() && !saveScriptFile(path))
        QMessageBox::warning(this, windowTitle(), QStringLiteral("无法写入文件：") + path);
}

}  // namespace fillscript
