#include "OmbrixTheme/FontRegistrar.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QtDebug>

#include "OmbrixCore/Foundation/Precondition.h"
#include "OmbrixTheme/ThemeResources.h"

namespace {

bool didRun = false;
bool available = false;

void logLine(const QString& line) {
    qWarning().noquote() << line;
}

}  // namespace

namespace FontRegistrar {

bool registerFolder(const QString& folder, const QStringList& families) {
    const QDir dir(folder);
    if (!dir.exists()) {
        logLine(
            QStringLiteral("[Ombrix] Fonts directory missing from bundle — falling back to system fonts."));
        return false;
    }
    // A folder that cannot be listed gives an empty list; the family lookup below reports it.
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        const QString extension = entry.suffix().toLower();
        if (extension != QLatin1String("ttf") && extension != QLatin1String("otf")) continue;
        if (QFontDatabase::addApplicationFont(entry.filePath()) < 0) {
            logLine(QStringLiteral("[Ombrix] Could not register %1: the file holds no usable font")
                        .arg(entry.fileName()));
        }
    }
    for (const QString& family : families) {
        if (!QFontDatabase::hasFamily(family)) {
            logLine(QStringLiteral(
                "[Ombrix] Bundled families unavailable after registration — falling back to system fonts."));
            return false;
        }
    }
    return true;
}

void registerBundledFonts() {
    if (didRun) return;
    OMBRIX_PRECONDITION(qGuiApp != nullptr, "FontRegistrar::registerBundledFonts needs a QGuiApplication");
    didRun = true;
    // The resources are compiled in, so the folder is always there; were it missing, the pass
    // logs it and the interface keeps the system fonts instead of stopping.
    ensureThemeResources();
    available = registerFolder(QStringLiteral(":/Fonts"), {displayFamily, textFamily});
}

bool isAvailable() {
    return available;
}

}  // namespace FontRegistrar
