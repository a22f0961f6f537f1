#include "Translations.h"

#include <QCoreApplication>
#include <QTranslator>

namespace Tessavo::Ui {

bool installTranslations(QCoreApplication& application)
{
    auto* translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral(":/i18n/tessavo_en.qm")) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace Tessavo::Ui
