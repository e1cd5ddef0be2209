#pragma once

#include <QDir>
#include <QString>

#include "Support/Fixtures.h"

// The folder the gallery tests leave their PNGs in for a person to look at:
// <test output>/gallery, created on first use.
inline QString galleryDir() {
    const QString dir = QString::fromStdString((testsupport::outputDir() / "gallery").string());
    QDir().mkpath(dir);
    return dir;
}
