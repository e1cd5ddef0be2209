#include <QApplication>

#include "OmbrixServices/Platform/DesktopServices.h"
#include "OmbrixShell/OmbrixApp.h"
#include "OmbrixShell/QtTurkish.h"
#include "OmbrixShell/TerminationSignals.h"
#include "OmbrixTheme/ApplicationTheme.h"
#include "OmbrixTheme/FontRegistrar.h"

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
    installDesktopServices();

    OmbrixApp ombrix;
    // Being told to end (the session, kill, a closed terminal) asks nothing: unsaved changes are
    // saved, or kept in a file beside the database where another program changed it.
    TerminationSignals termination;
    ombrix.followTerminationSignals(termination);
    ombrix.show();
    return QApplication::exec();
}
