#pragma once

#include <QDir>
#include <QString>

#include "Support/Fixtures.h"

// The folder the gallery tests leave their PNGs in for a person to look at:
// <test output>/gallery, created on first use. The galleries are tools for the eye, not tests:
// `make gallery` runs them, `make test` leaves them out (every test named with "Gallery").
inline QString galleryDir() {
    const QString dir = QString::fromStdString((testsupport::outputDir() / "gallery").string());
    QDir().mkpath(dir);
    return dir;
}
