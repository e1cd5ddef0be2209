#include <QApplication>

#include "Ombrix/App/OmbrixApp.h"
#include "Ombrix/Theme/ApplicationTheme.h"
#include "Ombrix/Theme/FontRegistrar.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Before anything reads the preferences: QSettings files them under these names.
    QApplication::setOrganizationName(QStringLiteral("Ombrix"));
    QApplication::setApplicationName(QStringLiteral("Ombrix"));
    // Every font the views build depends on whether the bundled families could be registered.
    FontRegistrar::registerBundledFonts();
    ApplicationTheme::apply(application);

    OmbrixApp ombrix;
    ombrix.show();
    return QApplication::exec();
}
