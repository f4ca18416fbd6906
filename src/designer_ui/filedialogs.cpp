#include "designer_ui/filedialogs.h"

#include <QDir>
#include <QFileDialog>

namespace designer {

QStringList qtNameFilters(const QString& pipeFilter)
{
    QStringList result;
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& display = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the last parentheses of the entry.
        if (display.endsWith(QLatin1Char(')')) && display.contains(QLatin1Char('(')))
            result << display;
        else
            result << display + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return result;
}

static QString runFileDialog(QWidget* owner, QFileDialog::AcceptMode mode, const QString& initialDir,
                             const QString& title, const QString& fileName, const QString& filter,
                             int filterIndex, bool keepCurrentDir)
{
    const QString remembered = QDir::currentPath();
    QString chosen;
    {
        QFileDialog dialog(owner, title, initialDir.isEmpty() ? remembered : initialDir);
        dialog.setAcceptMode(mode);
        if (mode == QFileDialog::AcceptSave) {
            dialog.setFileMode(QFileDialog::AnyFile);
            dialog.setOption(QFileDialog::DontConfirmOverwrite);
        } else {
            dialog.setFileMode(QFileDialog::ExistingFile);
        }
        const QStringList filters = qtNameFilters(filter);
        if (!filters.isEmpty()) {
            dialog.setNameFilters(filters);
            const int index = filterIndex >= 1 && filterIndex <= filters.size() ? filterIndex - 1 : 0;
            dialog.selectNameFilter(filters[index]);
        }
        if (!fileName.isEmpty())
            dialog.selectFile(fileName);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().constFirst();
    }
    if (!keepCurrentDir)
        QDir::setCurrent(remembered);
    return chosen;
}

QString showSaveDialog(QWidget* owner, const QString& initialDir, const QString& title,
                       const QString& fileName, const QString& filter, int filterIndex,
                       bool keepCurrentDir)
{
    return runFileDialog(owner, QFileDialog::AcceptSave, initialDir, title, fileName, filter,
                         filterIndex, keepCurrentDir);
}

QString showOpenDialog(QWidget* owner, const QString& initialDir, const QString& title,
                       const QString& filter, bool keepCurrentDir)
{
    return runFileDialog(owner, QFileDialog::AcceptOpen, initialDir, title, {}, filter, 0,
                         keepCurrentDir);
}

}  // namespace designer
