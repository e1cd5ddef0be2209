#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>

#include "OmbrixTheme/Icons.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/EntryIcon.h"

namespace {

const std::map<std::int64_t, const char*> namedIcons = {
    {1, "globe"},
    {2, "exclamationmark.triangle.fill"},
    {3, "server.rack"},
    {4, "wrench.and.screwdriver.fill"},
    {5, "envelope.fill"},
    {6, "gearshape.fill"},
    {7, "note.text"},
    {9, "person.crop.circle.fill"},
    {10, "display"},
    {11, "camera.fill"},
    {12, "antenna.radiowaves.left.and.right"},
    {13, "lock.fill"},
    {15, "checkmark.seal.fill"},
    {16, "creditcard.fill"},
    {17, "printer.fill"},
    {19, "envelope.badge.fill"},
    {20, "terminal.fill"},
    {21, "doc.text.fill"},
    {22, "list.bullet.clipboard.fill"},
    {24, "network"},
    {25, "archivebox.fill"},
    {27, "iphone"},
    {29, "banknote.fill"},
    {30, "shippingbox.fill"},
    {34, "desktopcomputer"},
    {36, "wifi"},
    {37, "clock.fill"},
    {43, "star.fill"},
    {47, "externaldrive.fill"},
    {48, "folder.fill"},
    {49, "folder.fill.badge.plus"},
    {50, "chart.bar.fill"},
    {53, "checkmark.circle.fill"},
    {60, "shield.lefthalf.filled"},
    {62, "person.2.fill"},
    {68, "car.fill"},
};

const QColor tintCycle[] = {Palette::accent, Palette::info, Palette::warn, Palette::success,
                            Palette::textSoft};

}  // namespace

TEST(EntryIcon, EveryNumberFromMinusTenToEightyHasItsSymbolAndTint) {
    ASSERT_EQ(namedIcons.size(), 36u);
    for (std::int64_t id = -10; id <= 80; ++id) {
        const auto named = namedIcons.find(id);
        const QString expected =
            named != namedIcons.end() ? QString::fromLatin1(named->second) : QStringLiteral("key.fill");
        EXPECT_EQ(EntryIcon::symbol(id), expected) << "icon " << id;
        EXPECT_EQ(EntryIcon::tint(id), tintCycle[(id < 0 ? -id : id) % 5]) << "icon " << id;
    }
}

TEST(EntryIcon, ExtremeNumbersFallBackWithoutFailing) {
    struct Case {
        std::int64_t id;
        QColor tint;
        const char* note;
    };
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    constexpr auto min = std::numeric_limits<std::int64_t>::min();
    const Case cases[] = {
        {max, Palette::warn, "largest: 9223372036854775807 mod 5 = 2"},
        {min, Palette::success, "smallest: |-9223372036854775808| mod 5 = 3"},
        {min + 1, Palette::warn, "smallest + 1 mirrors the largest"},
        {-7, Palette::warn, "negative: same tint as 7"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EntryIcon::symbol(c.id), QStringLiteral("key.fill")) << c.note;
        EXPECT_EQ(EntryIcon::tint(c.id), c.tint) << c.note;
    }
}

TEST(EntryIcon, EverySymbolOfTheTableHasAnIconOfItsOwn) {
    for (const auto& [id, symbol] : namedIcons)
        EXPECT_TRUE(Icons::isKnown(QString::fromLatin1(symbol))) << symbol;
    EXPECT_TRUE(Icons::isKnown(QStringLiteral("key.fill")));
}
