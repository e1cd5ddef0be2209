#include "OmbrixUI/EntryIcon.h"

#include "OmbrixTheme/Palette.h"

namespace EntryIcon {

QString symbol(std::int64_t iconID) {
    switch (iconID) {
        case 1:
            return QStringLiteral("globe");
        case 2:
            return QStringLiteral("exclamationmark.triangle.fill");
        case 3:
            return QStringLiteral("server.rack");
        case 4:
            return QStringLiteral("wrench.and.screwdriver.fill");
        case 5:
            return QStringLiteral("envelope.fill");
        case 6:
            return QStringLiteral("gearshape.fill");
        case 7:
            return QStringLiteral("note.text");
        case 9:
            return QStringLiteral("person.crop.circle.fill");
        case 10:
            return QStringLiteral("display");
        case 11:
            return QStringLiteral("camera.fill");
        case 12:
            return QStringLiteral("antenna.radiowaves.left.and.right");
        case 13:
            return QStringLiteral("lock.fill");
        case 15:
            return QStringLiteral("checkmark.seal.fill");
        case 16:
            return QStringLiteral("creditcard.fill");
        case 17:
            return QStringLiteral("printer.fill");
        case 19:
            return QStringLiteral("envelope.badge.fill");
        case 20:
            return QStringLiteral("terminal.fill");
        case 21:
            return QStringLiteral("doc.text.fill");
        case 22:
            return QStringLiteral("list.bullet.clipboard.fill");
        case 24:
            return QStringLiteral("network");
        case 25:
            return QStringLiteral("archivebox.fill");
        case 27:
            return QStringLiteral("iphone");
        case 29:
            return QStringLiteral("banknote.fill");
        case 30:
            return QStringLiteral("shippingbox.fill");
        case 34:
            return QStringLiteral("desktopcomputer");
        case 36:
            return QStringLiteral("wifi");
        case 37:
            return QStringLiteral("clock.fill");
        case 43:
            return QStringLiteral("star.fill");
        case 47:
            return QStringLiteral("externaldrive.fill");
        case 48:
            return QStringLiteral("folder.fill");
        case 49:
            return QStringLiteral("folder.fill.badge.plus");
        case 50:
            return QStringLiteral("chart.bar.fill");
        case 53:
            return QStringLiteral("checkmark.circle.fill");
        case 60:
            return QStringLiteral("shield.lefthalf.filled");
        case 62:
            return QStringLiteral("person.2.fill");
        case 68:
            return QStringLiteral("car.fill");
        default:
            return QStringLiteral("key.fill");
    }
}

QColor tint(std::int64_t iconID) {
    static constexpr QColor tints[] = {Palette::accent, Palette::info, Palette::warn, Palette::success,
                                       Palette::textSoft};
    // The remainder first: |INT64_MIN| does not exist, but its remainder's magnitude does, and
    // it equals |iconID| mod 5 for every number.
    const std::int64_t remainder = iconID % 5;
    return tints[remainder < 0 ? -remainder : remainder];
}

}  // namespace EntryIcon
