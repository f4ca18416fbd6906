#pragma once
// After a crash: offering the work the last run's autosave kept.
#include <QString>

namespace designer {

class MainWindow;

// When `folder` holds recovery files of designers that are gone, asks once
// whether to restore the newest into the window's design (as an unsaved
// change). The files are removed either way. Answers whether it restored.
bool offerRecovery(MainWindow& window, const QString& folder);

}  // namespace designer
