#pragma once

#include <QString>
#include <QStringList>

// Makes the application's own font families usable by the process, once at start-up, and
// records whether both can be found afterwards. The font builders fall back to the system
// fonts while `isAvailable()` is false.
namespace FontRegistrar {

inline constexpr QLatin1StringView displayFamily{"Ombrix Display"};
inline constexpr QLatin1StringView textFamily{"Ombrix Text"};

// Registers the font files in the compiled-in resource folder ":/Fonts". Runs once per
// process; later calls do nothing, even after a failed run. Needs a QGuiApplication.
void registerBundledFonts();

// True once a run of registerBundledFonts() has found both families; false before.
bool isAvailable();

// One registration pass over `folder`: registers each of its .ttf and .otf files (any letter
// case; other and hidden files are skipped without a message), writes an "[Ombrix] ..." line
// to standard error for each file that fails, and reports whether every family in
// `families` can be found afterwards (writing a line when not). registerBundledFonts() is
// this pass over ":/Fonts" with the two families above.
bool registerFolder(const QString& folder, const QStringList& families);

}  // namespace FontRegistrar
