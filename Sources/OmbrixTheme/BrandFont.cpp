#include "OmbrixTheme/BrandFont.h"

#include <QFontDatabase>
#include <QtMath>

#include "OmbrixTheme/FontRegistrar.h"

namespace {

// Equality against the standard weights, first match wins; anything else (including a
// non-standard value) takes the last row.
QFont::Weight snapDisplay(QFont::Weight weight) {
    switch (weight) {
        case QFont::Thin:
        case QFont::ExtraLight:
        case QFont::Light:
        case QFont::Normal:
        case QFont::Medium:
        case QFont::DemiBold:
            return QFont::DemiBold;
        default:
            return QFont::ExtraBold;
    }
}

QFont::Weight snapText(QFont::Weight weight) {
    switch (weight) {
        case QFont::Thin:
        case QFont::ExtraLight:
        case QFont::Light:
        case QFont::Normal:
            return QFont::Normal;
        case QFont::Medium:
            return QFont::Medium;
        case QFont::DemiBold:
            return QFont::DemiBold;
        default:
            return QFont::Bold;
    }
}

// Sizes are device-independent pixels; Qt sizes fonts in whole ones.
int pixels(qreal size) {
    return qMax(1, qRound(size));
}

}  // namespace

namespace BrandFont {

QFont make(Family family, qreal size, QFont::Weight weight, bool bundled) {
    const QFont::Weight snapped = family == Family::display ? snapDisplay(weight) : snapText(weight);
    QFont font = bundled ? QFont(family == Family::display ? QString(FontRegistrar::displayFamily)
                                                           : QString(FontRegistrar::textFamily))
                         : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixels(size));
    font.setWeight(snapped);
    font.setItalic(false);
    return font;
}

QFont display(qreal size, QFont::Weight weight) {
    return make(Family::display, size, weight, FontRegistrar::isAvailable());
}

QFont body(qreal size, QFont::Weight weight) {
    return make(Family::text, size, weight, FontRegistrar::isAvailable());
}

QFont mono(qreal size, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(pixels(size));
    font.setWeight(weight);
    return font;
}

QFont screenTitle() {
    return display(26, QFont::ExtraBold);
}
QFont sheetTitle() {
    return display(19, QFont::ExtraBold);
}
QFont sectionTitle() {
    return body(14, QFont::DemiBold);
}
QFont rowTitle() {
    return body(13, QFont::DemiBold);
}
QFont bodyText() {
    return body(13, QFont::Normal);
}
QFont secondary() {
    return body(12, QFont::Normal);
}
QFont label() {
    return body(11, QFont::Medium);
}

}  // namespace BrandFont
