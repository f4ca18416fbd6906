#include "designer_ui/recovery.h"

#include "design/autosave.h"
#include "designer_ui/mainwindow.h"

#include <QFile>
#include <QMessageBox>

namespace designer {

bool offerRecovery(MainWindow& window, const QString& folder)
{
    const QStringList orphans = design::Autosave::orphans(folder);
    if (orphans.isEmpty())
        return false;
    const auto answer = QMessageBox::question(
        &window, window.windowTitle(),
        QStringLiteral("设计器上次没有正常退出，留下了未保存的设计。是否恢复？"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    const bool restore = answer == QMessageBox::Yes;
    if (restore)
        if (const auto list = design::Autosave::read(orphans.front()))
            window.design().replaceComponents(*list, QStringLiteral("恢复"));
    for (const QString& f : orphans)
        QFile::remove(f);
    return restore;
}

}  // namespace designer
