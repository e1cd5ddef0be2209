#include "OmbrixShell/QtTurkish.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QtDebug>

bool installQtTurkish(QCoreApplication& application) {
    // Owned by the application, so it lives as long as the texts it translates.
    auto* translator = new QTranslator(&application);
    const QLocale turkish(QLocale::Turkish, QLocale::Turkey);
    // Texts Qt takes from the locale rather than from a translation (the file types' names).
    QLocale::setDefault(turkish);
    if (!translator->load(turkish, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        qWarning().noquote() << QStringLiteral(
            "[Ombrix] Qt's Turkish translations are missing; Qt's own words stay English.");
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
