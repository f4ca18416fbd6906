#include "paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace rt {

QString programDirectory()
{
    QString dir = QCoreApplication::applicationDirPath();
    while (dir.size() > 1 && dir.endsWith('/'))
        dir.chop(1);
    return dir;
}

QString userDataBase()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!base.endsWith('/'))
        base += '/';
    return base;
}

}  // namespace rt
