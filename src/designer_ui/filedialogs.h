#pragma once
// Modal save and open dialogs taking filters in "text|pattern|text|pattern"
// form. Both put the process's current directory back after they close.
#include <QString>
#include <QStringList>

class QWidget;

namespace designer {

// "网页文件(*.html)|*.html" -> {"网页文件(*.html)"}; a display text without
// its patterns in parentheses gets them appended. Patterns separated by ';'
// become space-separated.
QStringList qtNameFilters(const QString& pipeFilter);

// Empty result when the user cancels. `filterIndex` counts from 1; 0 selects
// the first entry. Replacing an existing file is not questioned.
QString showSaveDialog(QWidget* owner, const QString& initialDir = {}, const QString& title = {},
                       const QString& fileName = {}, const QString& filter = {},
                       int filterIndex = 0, bool keepCurrentDir = false);

// Only an existing file can be chosen.
QString showOpenDialog(QWidget* owner, const QString& initialDir = {}, const QString& title = {},
                       const QString& filter = {}, bool keepCurrentDir = false);

}  // namespace designer
