#pragma once

#include <QColor>
#include <QString>

#include <cstdint>

// The standard icon numbers of entries and groups shown as symbols of the icon set. Numbers the
// table does not name (0, negatives and everything above 68 included) show "key.fill"; the
// number itself is never changed.
namespace EntryIcon {

// The symbol name for an icon number; total over all integers.
QString symbol(std::int64_t iconID);

// The tint for an icon number: accent, info, warn, success, textSoft by |iconID| mod 5.
QColor tint(std::int64_t iconID);

}  // namespace EntryIcon
