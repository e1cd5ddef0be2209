#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>

#include <chrono>

#include "EntryDetailFixture.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/Card.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/Badge.h"
#include "OmbrixUI/BrandDate.h"
#include "OmbrixUI/CopyButton.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/EntryDetailCards.h"
#include "OmbrixUI/EntryDetailView.h"
#include "OmbrixUI/FieldRow.h"
#include "OmbrixUI/MetaStat.h"
#include "OmbrixUI/SectionHeader.h"
#include "OmbrixUI/SelectableText.h"
#include "OmbrixUI/StrengthMeter.h"
#include "Support/WidgetProbe.h"

using namespace std::chrono_literals;
using detailtest::DetailFixture;

namespace {

QString bullets(int n) {
    return QString(n, QChar(0x2022));
}

KdbxEntry withPassword(KdbxEntry e, const std::string& password) {
    e.password = SecureString(password);
    return e;
}

std::vector<std::string> names(std::initializer_list<const char*> list) {
    return std::vector<std::string>(list.begin(), list.end());
}

bool shown(const QWidget* widget, const QWidget* top) {
    return widget->isVisibleTo(top);
}

}  // namespace

// ---- Rules without widgets ----

TEST(EntryDetailRules, MasksClampTheCharacterCount) {
    struct Case {
        const char* value;
        int password;  // bullets for a hidden password
        int field;     // bullets for a hidden protected custom field
        const char* note;
    };
    const Case cases[] = {
        {"", 8, 6, "empty"},
        {"abcd", 8, 6, "four"},
        {"abcde", 8, 6, "five"},
        {"abcdefghij", 10, 10, "ten"},
        {"abcdefghijklmnopqrst", 20, 20, "twenty"},
        {"abcdefghijklmnopqrstuvwxyzabcd", 30, 24, "thirty"},
        {"abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwx", 32, 24, "fifty"},
        // Nine user-perceived characters: e with a combining acute accent, a flag, a family.
        {"e\xcc\x81\xf0\x9f\x87\xb9\xf0\x9f\x87\xb7\xf0\x9f\x91\xa8\xe2\x80\x8d\xf0\x9f\x91\xa9"
         "abcdef",
         9, 9, "graphemes"},
    };
    for (const Case& c : cases) {
        const QString value = QString::fromUtf8(c.value);
        EXPECT_EQ(EntryDetailView::passwordMask(value), bullets(c.password)) << c.note;
        EXPECT_EQ(CustomFieldsCard::mask(value), bullets(c.field)) << c.note;
    }
}

TEST(EntryDetailRules, CustomFieldsInScalarOrderAfterComposition) {
    struct Case {
        std::vector<std::string> names;
        std::vector<std::string> expected;
        const char* note;
    };
    const Case cases[] = {
        {names({"beta", "Alpha", "alpha"}), names({"Alpha", "alpha", "beta"}), "case-sensitive"},
        {names({"alpha", "Zeta"}), names({"Zeta", "alpha"}), "upper case first"},
        {names({"pin", "PIN"}), names({"PIN", "pin"}), "not locale-aware"},
        // "e" + U+0301 composes to U+00E9 and so sorts after "f"; the two spellings stay two fields.
        {names({"\xc3\xa9", "f", "e\xcc\x81"}), names({"f", "e\xcc\x81", "\xc3\xa9"}),
         "canonical composition"},
        {names({"İsim", "Ad", "ülke"}), names({"Ad", "ülke", "İsim"}), "Turkish letters by scalar value"},
    };
    for (const Case& c : cases) {
        std::map<std::string, KdbxFieldValue> fields;
        for (const std::string& name : c.names) fields[name] = "x";
        EXPECT_EQ(CustomFieldsCard::orderedNames(fields), c.expected) << c.note;
    }
}

TEST(EntryDetailRules, HistoryShowsTheNewestSixNewestFirst) {
    struct Case {
        std::size_t count;
        std::vector<std::size_t> expected;
    };
    const Case cases[] = {
        {0, {}}, {1, {0}}, {3, {2, 1, 0}}, {6, {5, 4, 3, 2, 1, 0}}, {9, {8, 7, 6, 5, 4, 3}},
    };
    for (const Case& c : cases) EXPECT_EQ(HistoryCard::shownVersions(c.count), c.expected) << c.count;
}

TEST(EntryDetailRules, GroupNameIsTheImmediateHolder) {
    KdbxEntry top = fakes::entry("Kök kaydı");
    KdbxEntry deep = fakes::entry("Derin kayıt");
    KdbxEntry unnamed = fakes::entry("Adsız grupta");
    KdbxGroup mail = fakes::group("Posta", {deep});
    KdbxGroup work = fakes::group("İş", {}, {mail});
    KdbxGroup blank = fakes::group("", {unnamed});
    const std::optional<KdbxDatabase> db = fakes::database(fakes::group("Kasa", {top}, {work, blank}));
    struct Case {
        std::optional<KdbxDatabase> database;
        UUID id;
        const char* expected;
    };
    const Case cases[] = {
        {std::nullopt, top.id, "Kayıt"}, {db, top.id, "Kasa"}, {db, deep.id, "Posta"},
        {db, UUID::random(), "Kayıt"},   {db, unnamed.id, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EntryDetailView::groupName(c.database, c.id), QString::fromUtf8(c.expected)) << c.expected;
}

// ---- The page ----

TEST_F(DetailFixture, HeaderTitleBadgesAndActionStates) {
    const Timestamp past = fakes::startTime - 24h * 30;
    const Timestamp future =
        std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now()) + 24h * 365;
    struct Case {
        const char* note;
        std::function<void(KdbxEntry&)> setUp;
        const char* title;
        bool expired;
        bool autoTypeOff;
    };
    const Case cases[] = {
        {"plain", [](KdbxEntry&) {}, "Banka", false, false},
        {"no title", [](KdbxEntry& e) { e.title.clear(); }, "Adsız kayıt", false, false},
        {"expired",
         [&](KdbxEntry& e) {
             e.expires = true;
             e.expiryTime = past;
         },
         "Banka", true, false},
        {"expiry passed but not expiring", [&](KdbxEntry& e) { e.expiryTime = past; }, "Banka", false, false},
        {"expires later",
         [&](KdbxEntry& e) {
             e.expires = true;
             e.expiryTime = future;
         },
         "Banka", false, false},
        {"auto-type off", [](KdbxEntry& e) { e.autoTypeEnabled = false; }, "Banka", false, true},
        {"both",
         [&](KdbxEntry& e) {
             e.expires = true;
             e.expiryTime = past;
             e.autoTypeEnabled = false;
         },
         "Banka", true, true},
    };
    for (const Case& c : cases) {
        KdbxEntry e = fakes::entry("Banka", "ayse");
        c.setUp(e);
        open(fakes::group("Kasa", {}, {fakes::group("Finans", {e})}));
        select({e.id});
        auto pane = makePane();
        EntryDetailView* view = pane->detailView();
        ASSERT_NE(view, nullptr) << c.note;
        EXPECT_EQ(view->titleText()->text(), QString::fromUtf8(c.title)) << c.note;
        EXPECT_EQ(view->groupLabel()->text(), QStringLiteral("Finans")) << c.note;
        EXPECT_EQ(shown(view->badgeRow(), pane.get()), c.expired || c.autoTypeOff) << c.note;
        EXPECT_EQ(shown(view->expiredBadge(), pane.get()), c.expired) << c.note;
        EXPECT_EQ(shown(view->autoTypeOffBadge(), pane.get()), c.autoTypeOff) << c.note;
        if (c.expired && c.autoTypeOff) {
            EXPECT_LT(view->expiredBadge()->x(), view->autoTypeOffBadge()->x()) << "expired badge first";
        }
        EXPECT_EQ(view->autoTypeButton()->isEnabled(), !c.autoTypeOff) << c.note;
        EXPECT_TRUE(view->copyUsernameButton()->isEnabled()) << c.note;
        EXPECT_TRUE(view->copyPasswordButton()->isEnabled()) << c.note;
    }
}

TEST_F(DetailFixture, EmptyUserNameAndPasswordStillCopyTheirParts) {
    KdbxEntry e = fakes::entry("Yalnız başlık");
    open(fakes::group("Kasa", {e}));
    select({e.id});
    auto pane = makePane();
    EntryDetailView* view = pane->detailView();
    ASSERT_NE(view, nullptr);

    EXPECT_FALSE(view->copyUsernameButton()->isEnabled());
    EXPECT_EQ(view->usernameRow()->valueText()->text(), QStringLiteral("—"));
    EXPECT_FALSE(shown(view->usernameCopyButton(), pane.get()));
    EXPECT_EQ(view->displayedPassword(), bullets(8));
    EXPECT_TRUE(view->copyPasswordButton()->isEnabled());
    EXPECT_TRUE(shown(view->passwordCopyButton(), pane.get()));
    EXPECT_TRUE(shown(view->strengthMeter(), pane.get()));

    QTest::mouseClick(view->passwordCopyButton(), Qt::LeftButton);
    EXPECT_EQ(clipboardText(), QString());
    EXPECT_TRUE(clipboardIsSecret());
    EXPECT_EQ(state->statusMessage(), QStringLiteral("Parola kopyalandı"));

    view->passwordRevealButton()->click();
    EXPECT_EQ(view->displayedPassword(), QString());
}

TEST_F(DetailFixture, PasswordStaysMaskedUntilRevealedAndTheMaskHidesTheLength) {
    struct Case {
        std::string password;
        int bullets;
    };
    const Case cases[] = {{"abcde", 8}, {std::string(20, 'k'), 20}, {std::string(50, 'k'), 32}};
    for (const Case& c : cases) {
        KdbxEntry e = withPassword(fakes::entry("Site", "ayse"), c.password);
        open(fakes::group("Kasa", {e}));
        select({e.id});
        auto pane = makePane();
        EntryDetailView* view = pane->detailView();
        ASSERT_NE(view, nullptr);
        // Never print the password itself, also not here.
        EXPECT_TRUE(view->displayedPassword() == bullets(c.bullets)) << c.bullets << " bullets expected";
        EXPECT_EQ(view->passwordRevealButton()->symbol(), QStringLiteral("eye"));
        EXPECT_EQ(view->passwordRevealButton()->toolTip(), QStringLiteral("Göster"));
        EXPECT_EQ(view->strengthMeter()->length(), std::int64_t(c.password.size()));

        QTest::mouseClick(view->passwordRevealButton(), Qt::LeftButton);
        EXPECT_TRUE(view->isPasswordRevealed());
        EXPECT_TRUE(view->displayedPassword() == QString::fromStdString(c.password)) << "revealed";
        EXPECT_EQ(view->passwordRevealButton()->symbol(), QStringLiteral("eye.slash"));
        EXPECT_EQ(view->passwordRevealButton()->toolTip(), QStringLiteral("Gizle"));

        view->passwordRevealButton()->click();
        EXPECT_TRUE(view->displayedPassword() == bullets(c.bullets)) << "hidden again";
    }
}

TEST_F(DetailFixture, RevealSurvivesRepublishingAndResetsForAnotherEntry) {
    KdbxEntry a = withPassword(fakes::entry("A", "ayse"), "birinci-parola");
    a.customFields = {{"PIN", "4821"}, {"Soru", "Kedi"}, {"Kod", "99"}};
    a.protectedCustomFields = {"PIN", "Kod"};
    KdbxEntry b = withPassword(fakes::entry("B", "mehmet"), "ikinci-parola");
    b.customFields = {{"PIN", "1234"}};
    b.protectedCustomFields = {"PIN"};
    open(fakes::group("Kasa", {a, b}));
    select({a.id});
    auto pane = makePane();
    EntryDetailView* view = pane->detailView();
    ASSERT_NE(view, nullptr);

    view->passwordRevealButton()->click();
    const auto& rows = view->customFieldsCard()->rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, "Kod");
    EXPECT_EQ(rows[1].name, "PIN");
    EXPECT_EQ(rows[2].name, "Soru");
    EXPECT_EQ(rows[2].reveal, nullptr) << "an unprotected field has no eye";
    QTest::mouseClick(rows[1].reveal, Qt::LeftButton);
    EXPECT_EQ(rows[1].field->value(), QStringLiteral("4821"));
    EXPECT_EQ(rows[0].field->value(), bullets(6)) << "the other protected field stays hidden";
    EXPECT_EQ(rows[1].reveal->symbol(), QStringLiteral("eye.slash"));

    // A copy stamps the access time and republishes the entry: the same page shows it, and the
    // reveals stay.
    const QString before = view->timestamps()->items()[2]->value();
    h.tick(2h);
    QTest::mouseClick(view->copyPasswordButton(), Qt::LeftButton);
    EXPECT_EQ(pane->detailView(), view);
    EXPECT_NE(view->timestamps()->items()[2]->value(), before);
    EXPECT_TRUE(view->isPasswordRevealed());
    EXPECT_EQ(view->revealedCustomFields(), std::set<std::string>{"PIN"});

    select({b.id});
    ASSERT_EQ(pane->detailView(), view);
    EXPECT_FALSE(view->isPasswordRevealed());
    EXPECT_TRUE(view->displayedPassword() == bullets(13)) << "entry B hidden";
    EXPECT_TRUE(view->revealedCustomFields().empty());
    EXPECT_EQ(view->customFieldsCard()->rows()[0].field->value(), bullets(6));

    select({a.id});
    EXPECT_FALSE(view->isPasswordRevealed());
    EXPECT_TRUE(view->displayedPassword() == bullets(14)) << "entry A hidden on return";

    // Another content in between drops the page: the next one starts hidden too.
    view->passwordRevealButton()->click();
    select({a.id, b.id});
    select({a.id});
    ASSERT_NE(pane->detailView(), nullptr);
    EXPECT_FALSE(pane->detailView()->isPasswordRevealed());
}

TEST_F(DetailFixture, CopyActionsGoThroughTheStateAndStartTheCountdown) {
    KdbxEntry e = withPassword(fakes::entry("Banka", "ayse.yilmaz", "banka.example.com"), "s3cret-parola");
    open(fakes::group("Kasa", {e}));
    select({e.id});
    auto pane = makePane();
    EntryDetailView* view = pane->detailView();
    ASSERT_NE(view, nullptr);

    struct Case {
        const char* note;
        QAbstractButton* button;
        QString text;
        bool secret;
        const char* status;
    };
    const Case cases[] = {
        {"action bar user name", view->copyUsernameButton(), "ayse.yilmaz", true, "Kullanıcı adı kopyalandı"},
        {"action bar password", view->copyPasswordButton(), "s3cret-parola", true, "Parola kopyalandı"},
        {"user-name row", view->usernameCopyButton(), "ayse.yilmaz", true, "Kullanıcı adı kopyalandı"},
        {"password row", view->passwordCopyButton(), "s3cret-parola", true, "Parola kopyalandı"},
        {"address", view->locationCard()->copyButton(), "banka.example.com", false, "Adres kopyalandı"},
    };
    for (const Case& c : cases) {
        state->setStatusMessage(std::nullopt);
        QTest::mouseClick(c.button, Qt::LeftButton);
        EXPECT_TRUE(clipboardText() == c.text) << c.note;
        EXPECT_EQ(clipboardIsSecret(), c.secret) << c.note;
        EXPECT_EQ(clipboard->secondsRemaining(), c.secret ? 12 : 0) << c.note;
        EXPECT_EQ(state->statusMessage(), QString::fromUtf8(c.status)) << c.note;
    }
    // The copy button shows the countdown while it confirms.
    QTest::mouseClick(view->copyPasswordButton(), Qt::LeftButton);
    EXPECT_EQ(view->copyPasswordButton()->text(), QStringLiteral("12 sn"));
    clipboard->advanceOneSecond();
    EXPECT_EQ(view->copyPasswordButton()->text(), QStringLiteral("11 sn"));
}

TEST_F(DetailFixture, CustomFieldsCopyTheRealValueWithoutStatus) {
    KdbxEntry e = fakes::entry("Kart", "ayse");
    e.customFields = {{"PIN", "4821"}, {"Müşteri no", "123456789"}, {"Boş", ""}};
    e.protectedCustomFields = {"PIN", "Boş"};
    open(fakes::group("Kasa", {e}));
    select({e.id});
    auto pane = makePane();
    CustomFieldsCard* card = pane->detailView()->customFieldsCard();
    ASSERT_TRUE(shown(card, pane.get()));
    const auto& rows = card->rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, "Boş");
    EXPECT_EQ(rows[1].name, "Müşteri no");
    EXPECT_EQ(rows[2].name, "PIN");

    state->setStatusMessage(std::nullopt);
    const Timestamp accessed = state->focusedEntry()->accessed;
    h.tick(1h);
    QTest::mouseClick(rows[2].copy, Qt::LeftButton);
    EXPECT_TRUE(clipboardText() == QStringLiteral("4821")) << "the value, not its mask";
    EXPECT_TRUE(clipboardIsSecret());
    EXPECT_EQ(clipboard->secondsRemaining(), 12);

    QTest::mouseClick(rows[1].copy, Qt::LeftButton);
    EXPECT_EQ(clipboardText(), QStringLiteral("123456789"));
    EXPECT_FALSE(clipboardIsSecret());
    EXPECT_EQ(clipboard->secondsRemaining(), 0) << "a plain copy stops the countdown";
    EXPECT_EQ(state->statusMessage(), std::nullopt);
    EXPECT_EQ(state->focusedEntry()->accessed, accessed);

    // Hidden, an empty protected value still shows six bullets; revealed it shows the placeholder.
    EXPECT_EQ(rows[0].field->valueText()->text(), bullets(6));
    QTest::mouseClick(rows[0].reveal, Qt::LeftButton);
    EXPECT_EQ(rows[0].field->valueText()->text(), QStringLiteral("—"));
    EXPECT_EQ(rows[1].reveal, nullptr);
    EXPECT_EQ(rows[1].field->valueText()->text(), QStringLiteral("123456789"));
}

TEST_F(DetailFixture, SectionsAppearOnlyWithTheirContent) {
    struct Case {
        const char* note;
        std::function<void(KdbxEntry&)> setUp;
        bool location, address, tags, customFields, notes, history;
        int timestamps;
    };
    const Timestamp later = fakes::startTime + 24h;
    const Case cases[] = {
        {"bare", [](KdbxEntry&) {}, false, false, false, false, false, false, 3},
        {"address only", [](KdbxEntry& e) { e.url = "example.com"; }, true, true, false, false, false, false,
         3},
        {"tags only",
         [](KdbxEntry& e) {
             e.tags = {"iş", "kritik"};
         },
         true, false, true, false, false, false, 3},
        {"custom field",
         [](KdbxEntry& e) {
             e.customFields = {{"a", "b"}};
         },
         false, false, false, true, false, false, 3},
        {"notes of spaces", [](KdbxEntry& e) { e.notes = "   "; }, false, false, false, false, true, false,
         3},
        {"history", [](KdbxEntry& e) { e.historyItems = CowList<KdbxEntry>({fakes::entry("eski")}); }, false,
         false, false, false, false, true, 3},
        {"expiring",
         [&](KdbxEntry& e) {
             e.expires = true;
             e.expiryTime = later;
         },
         false, false, false, false, false, false, 4},
        {"expiry time without the flag", [&](KdbxEntry& e) { e.expiryTime = later; }, false, false, false,
         false, false, false, 3},
    };
    for (const Case& c : cases) {
        KdbxEntry e = fakes::entry("Kayıt");
        c.setUp(e);
        open(fakes::group("Kasa", {e}));
        select({e.id});
        auto pane = makePane();
        EntryDetailView* view = pane->detailView();
        ASSERT_NE(view, nullptr) << c.note;
        QWidget* top = pane.get();
        EXPECT_EQ(shown(view->locationCard(), top), c.location) << c.note;
        EXPECT_EQ(shown(view->locationCard()->addressRow(), top), c.address) << c.note;
        EXPECT_EQ(shown(view->locationCard()->tagsBlock(), top), c.tags) << c.note;
        EXPECT_EQ(shown(view->customFieldsCard(), top), c.customFields) << c.note;
        EXPECT_TRUE(shown(view->autoTypeCard(), top)) << c.note;
        EXPECT_EQ(shown(view->notesCard(), top), c.notes) << c.note;
        EXPECT_EQ(shown(view->historyCard(), top), c.history) << c.note;
        EXPECT_EQ(view->timestamps()->items().size(), c.timestamps) << c.note;
    }
}

TEST_F(DetailFixture, LocationCardListsTagsAndOpensTheAddress) {
    struct Case {
        const char* url;
        const char* opened;
    };
    const Case cases[] = {{"example.com/giris", "https://example.com/giris"},
                          {"ftp://dosyalar.example.com", "ftp://dosyalar.example.com"}};
    for (const Case& c : cases) {
        KdbxEntry e = fakes::entry("Site", "ayse", c.url);
        e.tags = {"iş", "kritik", "iş"};
        open(fakes::group("Kasa", {e}));
        select({e.id});
        auto pane = makePane();
        LocationCard* card = pane->detailView()->locationCard();
        QStringList tags;
        for (Badge* badge : card->tagBadges()) tags << badge->text();
        EXPECT_EQ(tags, (QStringList{"iş", "kritik", "iş"}));
        EXPECT_EQ(card->addressRow()->value(), QString::fromUtf8(c.url));

        h.urls->opened.clear();
        h.tick(1h);
        QTest::mouseClick(card->openButton(), Qt::LeftButton);
        ASSERT_EQ(h.urls->opened.size(), 1u) << c.url;
        EXPECT_EQ(h.urls->opened[0].toString(), QString::fromUtf8(c.opened));
        EXPECT_EQ(state->focusedEntry()->accessed, *h.clock) << "opening stamps the access time";
    }
}

TEST_F(DetailFixture, AutoTypeCardShowsOwnOrDefaultSequenceAndFollowsThePreference) {
    KdbxEntry inherits = fakes::entry("Varsayılanlı");
    inherits.autoTypeWindowAssociations = {{"*Firefox*", std::nullopt},
                                           {"Giriş — Banka", std::string("{PASSWORD}{ENTER}")}};
    KdbxEntry own = fakes::entry("Kendi dizisi");
    own.autoTypeSequence = "";
    KdbxGroup holder = fakes::group("Grup", {inherits, own});
    // A group default is typed, but the card shows the preference.
    holder.defaultAutoTypeSequence = "{USERNAME}{ENTER}";
    open(fakes::group("Kasa", {}, {holder}));
    h.preferences.setDefaultAutoTypeSequence(QStringLiteral("{USERNAME}{TAB}{PASSWORD}{ENTER}"));
    select({inherits.id});
    auto pane = makePane();
    AutoTypeCard* card = pane->detailView()->autoTypeCard();
    EXPECT_EQ(card->kindBadge()->text(), QStringLiteral("Varsayılan"));
    EXPECT_EQ(card->kindBadge()->tint(), Palette::textMuted);
    EXPECT_EQ(card->sequenceText()->text(), QStringLiteral("{USERNAME}{TAB}{PASSWORD}{ENTER}"));
    const std::vector<QStringList> expected{{"*Firefox*"}, {"Giriş — Banka", "→ {PASSWORD}{ENTER}"}};
    EXPECT_EQ(card->associationLines(), expected);

    h.preferences.setDefaultAutoTypeSequence(QStringLiteral("{PASSWORD}"));
    EXPECT_EQ(card->sequenceText()->text(), QStringLiteral("{PASSWORD}"));

    select({own.id});
    EXPECT_EQ(card->kindBadge()->text(), QStringLiteral("Özel"));
    EXPECT_EQ(card->kindBadge()->tint(), Palette::success);
    EXPECT_EQ(card->sequenceText()->text(), QString());
    EXPECT_FALSE(shown(card->associationsBlock(), pane.get()));
}

TEST_F(DetailFixture, HistoryCardCountsAllVersionsAndListsTheNewestSix) {
    KdbxEntry e = fakes::entry("Güncel");
    std::vector<KdbxEntry> versions;
    for (int i = 1; i <= 9; ++i) {
        KdbxEntry v = fakes::entry(i == 8 ? "" : "Sürüm " + std::to_string(i));
        v.id = e.id;
        v.modified = fakes::startTime - 24h * (10 - i);
        versions.push_back(v);
    }
    e.historyItems = CowList<KdbxEntry>(versions);
    open(fakes::group("Kasa", {e}));
    select({e.id});
    auto pane = makePane();
    HistoryCard* card = pane->detailView()->historyCard();
    EXPECT_EQ(card->header()->subtitle(), QStringLiteral("9 sürüm"));
    QStringList titles;
    for (HistoryRow* row : card->historyRows()) titles << row->title();
    EXPECT_EQ(titles, (QStringList{"Sürüm 9", "Adsız", "Sürüm 7", "Sürüm 6", "Sürüm 5", "Sürüm 4"}));
    EXPECT_EQ(card->historyRows()[0]->date(), brandFormatted(versions[8].modified));
}

TEST_F(DetailFixture, HistoryCountIsGroupedInThousands) {
    KdbxEntry e = fakes::entry("Güncel");
    std::vector<KdbxEntry> versions(1200, fakes::entry("Eski"));
    for (KdbxEntry& v : versions) v.id = e.id;
    e.historyItems = CowList<KdbxEntry>(versions);
    open(fakes::group("Kasa", {e}));
    select({e.id});
    auto pane = makePane();
    EXPECT_EQ(pane->detailView()->historyCard()->header()->subtitle(), QStringLiteral("1.200 sürüm"));
}

TEST(EntryDetailHistoryRow, TheDateIsCutBeforeTheTitle) {
    HistoryRow row(QStringLiteral("Kurumsal e-posta hesabı"), QStringLiteral("12 Mar 2024, 09:05"));
    row.resize(row.sizeHint());
    EXPECT_EQ(row.displayedTitle(), row.title());
    EXPECT_EQ(row.displayedDate(), row.date());
    row.resize(row.sizeHint().width() - 30, row.height());
    EXPECT_EQ(row.displayedTitle(), row.title());
    EXPECT_TRUE(row.displayedDate().endsWith(QChar(0x2026)));
    row.resize(60, row.height());
    EXPECT_TRUE(row.displayedTitle().endsWith(QChar(0x2026)));
    EXPECT_EQ(row.displayedDate(), QString());
}

TEST_F(DetailFixture, EditAndAutoTypeGoThroughTheState) {
    KdbxEntry e = fakes::entry("Sunucu", "root");
    open(fakes::group("Kasa", {e}));
    select({e.id});
    auto pane = makePane();
    EntryDetailView* view = pane->detailView();
    EXPECT_EQ(view->editButton()->toolTip(), QStringLiteral("Düzenle (Ctrl+E)"));
    QTest::mouseClick(view->editButton(), Qt::LeftButton);
    EXPECT_EQ(state->route(), std::optional<Route>(Route::editEntry(e.id)));

    QTest::mouseClick(view->autoTypeButton(), Qt::LeftButton);
    ASSERT_EQ(h.autoType->runs.size(), 1u);
    EXPECT_EQ(h.autoType->runs[0].entry.id, e.id);
}

TEST_F(DetailFixture, ContentStopsAt720AtTheLeadingEdge) {
    KdbxEntry e = fakes::entry("Geniş sütun", "ayse", "example.com");
    open(fakes::group("Kasa", {e}));
    select({e.id});
    auto pane = makePane(1400, 900);
    QWidget* column = pane->detailView()->contentColumn();
    EXPECT_EQ(column->width(), EntryDetailView::maximumContentWidth);
    EXPECT_EQ(column->x(), 0);

    pane->resize(EntryDetailPane::minimumPaneWidth, 900);
    QApplication::processEvents();
    EXPECT_LE(column->width(), EntryDetailPane::minimumPaneWidth);
    EXPECT_LE(column->minimumSizeHint().width(), EntryDetailPane::minimumPaneWidth)
        << "nothing on the page needs more than the pane's least width";
}

TEST_F(DetailFixture, LongPageScrollsWithTheSlimBar) {
    KdbxEntry entry = fakes::entry("Uzun notlar", "ayse", "https://ornek.com");
    for (int line = 0; line < 80; ++line) entry.notes += "Bir satır not\n";
    open(fakes::group("Kasa", {entry}));
    auto pane = makePane(420, 500);
    select({entry.id});
    QApplication::processEvents();
    EntryDetailView* view = pane->detailView();
    ASSERT_TRUE(view);
    QScrollBar* bar = view->verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_LE(bar->width(), 10);
    const QImage shot = pane->grab().toImage();
    const QRect area(bar->mapTo(pane.get(), QPoint(0, 0)), bar->size());
    // No arrow button and no groove: the bar's ends show the page's surface, the handle its
    // own quiet colour.
    for (int y : {area.top(), area.bottom() - 4})
        for (int x = area.left(); x <= area.right(); ++x)
            EXPECT_TRUE(probe::colorNear(probe::pixel(shot, x, y), Palette::surface)) << x << "," << y;
    EXPECT_TRUE(probe::containsColor(shot, area, Palette::lineStrong));
}
