#pragma once

#include <QFont>

// Font builders and named text styles. Sizes are in device-independent pixels. Every call
// makes a new font from the registration state at that moment, so nothing is cached.
//
// The display family only has semibold and heavy faces, the text family regular, medium,
// semibold and bold; requested weights snap onto those (QFont::DemiBold is semibold,
// QFont::ExtraBold heavy), and the system-font fallback uses the same snapped weight so a
// view looks equally heavy either way.
namespace BrandFont {

enum class Family { display, text };

// "Ombrix Display" when the bundled families are registered, else the system font.
QFont display(qreal size, QFont::Weight weight);
// "Ombrix Text" when the bundled families are registered, else the system font.
QFont body(qreal size, QFont::Weight weight);
// Always the system monospaced font with the weight passed unchanged.
QFont mono(qreal size, QFont::Weight weight);

// The font `display` or `body` gives when the bundled families are (`bundled`) or are not
// registered; the two builders pass FontRegistrar::isAvailable().
QFont make(Family family, qreal size, QFont::Weight weight, bool bundled);

QFont screenTitle();   // display 26, heavy
QFont sheetTitle();    // display 19, heavy
QFont sectionTitle();  // body 14, semibold
QFont rowTitle();      // body 13, semibold
QFont bodyText();      // body 13, regular
QFont secondary();     // body 12, regular
QFont label();         // body 11, medium

}  // namespace BrandFont
