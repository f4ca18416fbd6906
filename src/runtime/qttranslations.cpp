#include "runtime/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace rt {

bool installQtTranslations(const QLocale& locale)
{
    auto* app = QCoreApplication::instance();
    if (!app)
        return false;
    // "qt" is the catalogue that pulls in qtbase and the other modules' files.
    auto* translator = new QTranslator(app);
    if (!translator->load(locale, QStringLiteral("qt"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace rt
