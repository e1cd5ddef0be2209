#include <QApplication>

#include "Ombrix/App/OmbrixApp.h"
#include "Ombrix/App/QtTurkish.h"
#include "Ombrix/App/TerminationSignals.h"
#include "Ombrix/Theme/ApplicationTheme.h"
#include "Ombrix/Theme/FontRegistrar.h"

int main(int argc, char** argv) {
    // Before anything can hold a secret.
    OmbrixApp::keepSecretsOutOfCrashDumps();
    QApplication application(argc, argv);
    // Before anything reads the preferences: QSettings files them under these names.
    QApplication::setOrganizationName(QStringLiteral("Ombrix"));
    QApplication::setApplicationName(QStringLiteral("Ombrix"));
    // Every font the views build depends on whether the bundled families could be registered.
    FontRegistrar::registerBundledFonts();
    ApplicationTheme::apply(application);
    installQtTurkish(application);
    OmbrixApp::installDesktopServices();

    OmbrixApp ombrix;
    // Being told to end (the session, kill, a closed terminal) asks nothing: unsaved changes are
    // saved, or kept in a file beside the database where another program changed it.
    TerminationSignals termination;
    ombrix.followTerminationSignals(termination);
    ombrix.show();
    return QApplication::exec();
}
