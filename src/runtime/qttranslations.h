#pragma once
// Qt's own texts (standard buttons, file and message dialogs) in the user's
// language, from the translations the system installs for Qt.
#include <QLocale>

namespace rt {

// Installs Qt's translation for `locale` into the running application.
// Answers whether one was found; without one Qt's texts stay English.
bool installQtTranslations(const QLocale& locale = QLocale());

}  // namespace rt
