#pragma once

#include <QColor>

// The one dark colour set of the interface. There is no light variant: every colour has a
// single value, read directly by the views.
namespace Palette {

inline constexpr QColor canvas{21, 17, 14};         // #15110E
inline constexpr QColor surface{29, 24, 21};        // #1D1815
inline constexpr QColor elevated{37, 32, 23};       // #252017
inline constexpr QColor hover{46, 40, 35};          // #2E2823
inline constexpr QColor line{52, 45, 39};           // #342D27
inline constexpr QColor lineStrong{74, 65, 57};     // #4A4139
inline constexpr QColor text{246, 240, 234};        // #F6F0EA
inline constexpr QColor textSoft{195, 184, 173};    // #C3B8AD
inline constexpr QColor textMuted{142, 131, 121};   // #8E8379
inline constexpr QColor accent{255, 107, 61};       // #FF6B3D
inline constexpr QColor accentHover{255, 128, 79};  // #FF804F
inline constexpr QColor info{123, 146, 255};        // #7B92FF
inline constexpr QColor warn{255, 194, 75};         // #FFC24B
inline constexpr QColor success{79, 203, 144};      // #4FCB90
inline constexpr QColor danger{255, 107, 107};      // #FF6B6B
// The accent at opacity 0.18, built with 16-bit channels so the alpha is 0.18 to four places.
inline constexpr QColor selection{QColor::Rgb, 11796, 255 * 0x101, 107 * 0x101, 61 * 0x101};

}  // namespace Palette

// Text and glyphs on accent-filled surfaces (primary button, brand mark). Deliberately not a
// palette member: nothing else may use it.
inline constexpr QColor accentInk{26, 15, 8};  // #1A0F08

// `color` with its opacity replaced by `opacity` (0...1).
inline QColor withOpacity(QColor color, qreal opacity) {
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}
