#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include <QFile>
#include <QTemporaryDir>

#include "OmbrixState/Preferences.h"
#include "Support/AppStateFakes.h"

namespace {

using fakes::generatorOptions;

using Options = PasswordGenerator::Options;

struct Made {
    MemoryPreferencesStore* store;
    std::unique_ptr<Preferences> preferences;
    std::vector<double> handedOver;
};

std::unique_ptr<Made> make(QVariantMap stored = {}) {
    auto made = std::make_unique<Made>();
    auto store = std::make_unique<MemoryPreferencesStore>(std::move(stored));
    made->store = store.get();
    Made* raw = made.get();
    made->preferences =
        std::make_unique<Preferences>(std::move(store), [raw](double s) { raw->handedOver.push_back(s); });
    return made;
}

// Every value at its default.
void expectDefaults(const Preferences& p, const char* note) {
    EXPECT_EQ(p.clipboardTimeout(), 12.0) << note;
    EXPECT_EQ(p.sortColumn(), "title") << note;
    EXPECT_TRUE(p.sortAscending()) << note;
    EXPECT_EQ(p.defaultAutoTypeSequence(), "{USERNAME}{TAB}{PASSWORD}{ENTER}") << note;
    EXPECT_EQ(p.hotKeyCode(), 0u) << note;
    EXPECT_EQ(p.hotKeyModifiers(), 2304u) << note;
    EXPECT_FALSE(p.recentDatabaseBookmark()) << note;
    EXPECT_EQ(p.generatorOptions(), Options::defaults()) << note;
}

}  // namespace

TEST(Preferences, AnEmptyStoreGivesTheDefaultsAndStaysEmpty) {
    const auto m = make();
    expectDefaults(*m->preferences, "empty store");
    EXPECT_EQ(m->handedOver, std::vector<double>{12.0});
    EXPECT_TRUE(m->store->values().isEmpty());
}

TEST(Preferences, ValuesSurviveTheSettingsFile) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("Ombrix.conf");
    const Options generator = generatorOptions(32, false, true, true, false, true);
    {
        Preferences p(std::make_unique<SettingsPreferencesStore>(ini));
        p.setClipboardTimeout(7.5);
        p.setSortColumn("modified");
        p.setSortAscending(false);
        p.setDefaultAutoTypeSequence("{USERNAME}, {TAB}{PASSWORD}");
        p.setHotKeyCode(4294967295u);
        p.setHotKeyModifiers(4096 | 512);
        p.setRecentDatabaseBookmark(QByteArray("/ev/kasa ğüş.kdbx"));
        p.setGeneratorOptions(generator);
    }
    Preferences again(std::make_unique<SettingsPreferencesStore>(ini));
    EXPECT_EQ(again.clipboardTimeout(), 7.5);
    EXPECT_EQ(again.sortColumn(), "modified");
    EXPECT_FALSE(again.sortAscending());
    EXPECT_EQ(again.defaultAutoTypeSequence(), "{USERNAME}, {TAB}{PASSWORD}");
    EXPECT_EQ(again.hotKeyCode(), 4294967295u);
    EXPECT_EQ(again.hotKeyModifiers(), 4096u | 512u);
    EXPECT_EQ(again.recentDatabaseBookmark(), QByteArray("/ev/kasa ğüş.kdbx"));
    EXPECT_EQ(again.generatorOptions(), generator);

    again.setRecentDatabaseBookmark(std::nullopt);
    Preferences third(std::make_unique<SettingsPreferencesStore>(ini));
    EXPECT_FALSE(third.recentDatabaseBookmark());
}

// INI keeps only text; hand-edited files hold anything.
TEST(Preferences, TextInTheSettingsFileIsReadAsItsType) {
    struct Case {
        const char* line;
        std::function<bool(const Preferences&)> holds;
        const char* note;
    };
    const Case cases[] = {
        {"clipboardTimeout=30", [](const Preferences& p) { return p.clipboardTimeout() == 30.0; },
         "number text"},
        {"clipboardTimeout=yarım", [](const Preferences& p) { return p.clipboardTimeout() == 12.0; }, "word"},
        {"clipboardTimeout=-5", [](const Preferences& p) { return p.clipboardTimeout() == 12.0; },
         "negative"},
        {"clipboardTimeout=0", [](const Preferences& p) { return p.clipboardTimeout() == 12.0; }, "zero"},
        {"clipboardTimeout=nan", [](const Preferences& p) { return p.clipboardTimeout() == 12.0; }, "nan"},
        {"clipboardTimeout=inf", [](const Preferences& p) { return p.clipboardTimeout() == 12.0; },
         "infinite"},
        {"sortAscending=false", [](const Preferences& p) { return !p.sortAscending(); }, "false"},
        {"sortAscending=0", [](const Preferences& p) { return !p.sortAscending(); }, "0"},
        {"sortAscending=NO", [](const Preferences& p) { return p.sortAscending(); }, "NO"},
        {"sortAscending=2", [](const Preferences& p) { return p.sortAscending(); }, "2"},
        {"sortColumn=3", [](const Preferences& p) { return p.sortColumn() == "3"; }, "number as text"},
        {"hotKeyCode=3.0", [](const Preferences& p) { return p.hotKeyCode() == 3u; }, "integral number"},
        {"hotKeyCode=3.5", [](const Preferences& p) { return p.hotKeyCode() == 0u; }, "fraction"},
        {"hotKeyCode=-1", [](const Preferences& p) { return p.hotKeyCode() == 0u; }, "negative key"},
        {"hotKeyModifiers=4294967296", [](const Preferences& p) { return p.hotKeyModifiers() == 2304u; },
         "wider than 32 bits"},
        {"hotKeyModifiers=tuş", [](const Preferences& p) { return p.hotKeyModifiers() == 2304u; }, "word"},
        {"defaultAutoTypeSequence={USERNAME}, {ENTER}",
         [](const Preferences& p) { return p.defaultAutoTypeSequence() == "{USERNAME}, {ENTER}"; },
         "unquoted comma"},
        {"recentDatabaseBookmark=/ev/kasa.kdbx",
         [](const Preferences& p) { return !p.recentDatabaseBookmark(); }, "text, not bytes"},
        {"generatorOptions=20",
         [](const Preferences& p) { return p.generatorOptions() == Options::defaults(); },
         "not a dictionary"},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString ini = dir.filePath("Ombrix.conf");
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\n");
        file.write(c.line);
        file.write("\n");
        file.close();
        const Preferences p(std::make_unique<SettingsPreferencesStore>(ini));
        EXPECT_TRUE(c.holds(p)) << c.note;
    }
}

TEST(Preferences, ValuesOfTheWrongTypeGiveTheDefaults) {
    const auto m = make({
        {"clipboardTimeout", true},
        {"sortColumn", QVariantList{1, 2}},
        {"sortAscending", QStringLiteral("evet")},
        {"defaultAutoTypeSequence", QByteArray("{TAB}")},
        {"hotKeyCode", std::numeric_limits<double>::infinity()},
        {"hotKeyModifiers", false},
        {"recentDatabaseBookmark", 42},
        {"generatorOptions", QStringLiteral("uzun")},
    });
    expectDefaults(*m->preferences, "wrong types");

    const auto typed = make({{"clipboardTimeout", 30}, {"sortAscending", 0}, {"hotKeyCode", 3.0}});
    EXPECT_EQ(typed->preferences->clipboardTimeout(), 30.0);
    EXPECT_FALSE(typed->preferences->sortAscending());
    EXPECT_EQ(typed->preferences->hotKeyCode(), 3u);
    EXPECT_EQ(typed->handedOver, std::vector<double>{30.0});
}

TEST(Preferences, GeneratorOptionsDecodeWithDefaultsAndTheSheetsRange) {
    struct Case {
        QVariantMap stored;
        std::optional<Options> expected;
        const char* note;
    };
    const Case cases[] = {
        {{{"length", 12}}, generatorOptions(12, true, true, true, true, false), "length only"},
        {{{"upper", false}}, std::nullopt, "no length"},
        {{}, std::nullopt, "empty"},
        {{{"length", "16"}, {"digits", "false"}},
         generatorOptions(16, true, true, false, true, false),
         "text"},
        {{{"length", 12.5}}, std::nullopt, "fractional length"},
        {{{"length", -4}, {"symbols", false}},
         generatorOptions(1, true, true, true, false, false),
         "too short"},
        {{{"length", 5000}}, generatorOptions(128, true, true, true, true, false), "too long"},
        {{{"length", 20}, {"excludeAmbiguous", 1}, {"lower", "belki"}},
         generatorOptions(20, true, true, true, true, true),
         "number as switch, garbage switch"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Preferences::decode(c.stored), c.expected) << c.note;
    }
    EXPECT_FALSE(Preferences::decode(QVariant()));
    const Options o = generatorOptions(64, false, true, false, true, true);
    EXPECT_EQ(Preferences::decode(Preferences::encode(o)), o);
    EXPECT_EQ(Preferences::encode(o).keys(),
              (QStringList{"digits", "excludeAmbiguous", "length", "lower", "symbols", "upper"}));
}

TEST(Preferences, EveryAssignmentIsWrittenButOnlyChangesNotify) {
    const auto m = make();
    Preferences& p = *m->preferences;
    fakes::SignalCounter timeout(&p, &Preferences::clipboardTimeoutChanged);
    p.setClipboardTimeout(20);
    p.setClipboardTimeout(20);
    EXPECT_EQ(timeout.count(), 1);
    EXPECT_EQ(m->handedOver, (std::vector<double>{12.0, 20.0, 20.0}));
    EXPECT_EQ(m->store->values().value("clipboardTimeout"), QVariant(20.0));

    // An odd time-out is stored and handed over as the default.
    p.setClipboardTimeout(std::nan(""));
    EXPECT_EQ(p.clipboardTimeout(), 12.0);
    EXPECT_EQ(m->handedOver.back(), 12.0);

    fakes::SignalCounter generator(&p, &Preferences::generatorOptionsChanged);
    p.setGeneratorOptions(generatorOptions(500, true, true, true, true, false));
    EXPECT_EQ(p.generatorOptions().length, 128);
    EXPECT_EQ(generator.count(), 1);

    fakes::SignalCounter bookmark(&p, &Preferences::recentDatabaseBookmarkChanged);
    p.setRecentDatabaseBookmark(QByteArray("/kasa.kdbx"));
    EXPECT_TRUE(m->store->values().contains("recentDatabaseBookmark"));
    p.setRecentDatabaseBookmark(std::nullopt);
    EXPECT_FALSE(m->store->values().contains("recentDatabaseBookmark"));
    EXPECT_EQ(bookmark.count(), 2);
}

// Whoever registers the hot key on a change signal must see the whole new combination.
TEST(Preferences, HotKeyPairIsStoredWholeBeforeAnySignal) {
    const auto m = make();
    Preferences& p = *m->preferences;
    std::vector<std::pair<quint32, quint32>> seen;
    QObject context;
    const auto record = [&] { seen.emplace_back(p.hotKeyCode(), p.hotKeyModifiers()); };
    QObject::connect(&p, &Preferences::hotKeyCodeChanged, &context, record);
    QObject::connect(&p, &Preferences::hotKeyModifiersChanged, &context, record);
    fakes::SignalCounter pair(&p, &Preferences::hotKeyChanged);

    p.setHotKey(40, 4096);
    EXPECT_EQ(seen, (std::vector<std::pair<quint32, quint32>>{{40, 4096}, {40, 4096}}));
    EXPECT_EQ(pair.count(), 1);
    EXPECT_EQ(m->store->values().value("hotKeyCode"), QVariant(qlonglong{40}));
    EXPECT_EQ(m->store->values().value("hotKeyModifiers"), QVariant(qlonglong{4096}));

    // The same pair again is stored but announces nothing; one half alone announces once.
    m->store->remove("hotKeyCode");
    p.setHotKey(40, 4096);
    EXPECT_TRUE(m->store->values().contains("hotKeyCode"));
    EXPECT_EQ(pair.count(), 1);
    p.setHotKeyModifiers(2304);
    p.setHotKeyCode(0);
    EXPECT_EQ(pair.count(), 3);
    EXPECT_EQ(seen.back(), (std::pair<quint32, quint32>{0, 2304}));
}
