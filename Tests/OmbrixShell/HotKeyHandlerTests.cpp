#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "OmbrixServices/Services/AutoTypeService.h"
#include "OmbrixShell/HotKeyHandler.h"
#include "Support/AppStateFakes.h"
#include "Support/QuietDesktop.h"

namespace {

using WindowId = AutoTypeService::WindowId;

constexpr WindowId ownWindow = 1;
constexpr WindowId browser = 2;

// The desktop as far as the handler looks at it: which window is active, which are ours, and
// their titles and application names. Nothing is ever typed through it.
struct Desktop {
    WindowId active = 0;
    std::set<WindowId> own{ownWindow};
    std::map<WindowId, QString> titles;
    std::map<WindowId, QString> names;
};

class DesktopBackend final : public QuietDesktop {
  public:
    explicit DesktopBackend(Desktop& desktop) : d_(desktop) {}
    WindowId activeWindow() override { return d_.active; }
    bool isOwnWindow(WindowId window) override { return d_.own.count(window) != 0; }
    bool windowExists(WindowId window) override { return window != 0; }
    QString applicationName(WindowId window) override {
        return d_.names.count(window) ? d_.names[window] : QString();
    }
    std::optional<QString> windowTitle(WindowId window) override {
        if (!d_.titles.count(window)) return std::nullopt;
        return d_.titles[window];
    }

  private:
    Desktop& d_;
};

KdbxEntry withAssociations(KdbxEntry entry, std::vector<std::string> windows) {
    for (std::string& window : windows)
        entry.autoTypeWindowAssociations.push_back({std::move(window), std::nullopt});
    return entry;
}

struct HandlerFixture {
    fakes::Harness h;
    std::unique_ptr<AppState> state = h.makeState();
    Desktop desktop;
    AutoTypeService autoType{std::make_unique<DesktopBackend>(desktop)};
    HotKeyHandler handler{*state, autoType};

    // Root: "Posta" (auto-type off), "GitHub", "Hesabım"; group "İş": "GitHub İş" and an entry
    // without a title whose address has no scheme.
    KdbxEntry mailOff = fakes::entry("Posta", "", "https://mail.example.com");
    KdbxEntry github = fakes::entry("GitHub", "ayse", "https://github.com/login");
    KdbxEntry bank = fakes::entry("Hesabım", "", "https://www.Banka.com.tr/giris");
    KdbxEntry githubWork = fakes::entry("GitHub İş", "ayse-is", "");
    KdbxEntry server = withAssociations(fakes::entry("", "", "sunucu.local:8080"), {"*Terminal*"});

    HandlerFixture() {
        mailOff.autoTypeEnabled = false;
        const KdbxGroup work = fakes::group("İş", {githubWork, server});
        fakes::open(h, *state, fakes::database(fakes::group("Kasa", {mailOff, github, bank}, {work})));
    }

    void front(const QString& title) {
        desktop.active = browser;
        desktop.titles[browser] = title;
    }

    std::vector<std::string> typed() const {
        std::vector<std::string> out;
        for (const auto& run : h.autoType->runs) out.push_back(run.entry.title);
        return out;
    }
};

}  // namespace

TEST(HotKeyHandler, WhileLockedOnlyTheTargetIsCaptured) {
    HandlerFixture f;
    f.state->lock();
    f.front(QStringLiteral("GitHub — Tarayıcı"));
    f.desktop.names[browser] = QStringLiteral("Tarayıcı");

    f.handler();
    ASSERT_TRUE(f.autoType.targetApplication());
    EXPECT_EQ(f.autoType.targetApplication()->window, browser);
    EXPECT_TRUE(f.h.autoType->runs.empty());
    EXPECT_FALSE(f.state->lastError());
}

TEST(HotKeyHandler, PicksTheFirstMatchingEnabledEntryOrSaysNothingMatches) {
    struct Case {
        const char* note;
        std::optional<QString> windowTitle;  // none: the window gives no title
        std::optional<std::string> typed;    // none: the no-match message
    };
    const Case cases[] = {
        {"title, other letter case", QStringLiteral("GITHUB · Pull requests"), "GitHub"},
        {"first in depth-first order wins over the more precise match", QStringLiteral("GitHub İş — Panel"),
         "GitHub"},
        {"host of the address", QStringLiteral("Giriş | www.banka.com.tr - Chromium"), "Hesabım"},
        {"auto-type switched off is passed over", QStringLiteral("Posta — Gelen kutusu"), std::nullopt},
        {"address without a scheme: the whole text", QStringLiteral("http://sunucu.local:8080/panel"), ""},
        {"address without a scheme: a part is not enough", QStringLiteral("sunucu.local - Yönetim"),
         std::nullopt},
        {"word between stars", QStringLiteral("Root@Host: ~ — terminal"), ""},
        {"nothing in common", QStringLiteral("Metin Düzenleyici"), std::nullopt},
        {"no title at all", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        HandlerFixture f;
        f.desktop.active = browser;
        if (c.windowTitle) f.desktop.titles[browser] = *c.windowTitle;

        f.handler();
        if (c.typed) {
            EXPECT_EQ(f.typed(), std::vector<std::string>{*c.typed}) << c.note;
            EXPECT_FALSE(f.state->lastError()) << c.note;
        } else {
            EXPECT_TRUE(f.h.autoType->runs.empty()) << c.note;
            EXPECT_EQ(f.state->lastError().value_or(QString()).toStdString(),
                      HotKeyHandler::noMatchMessage.toStdString())
                << c.note;
        }
    }
}

TEST(HotKeyHandler, NothingMatchingIsForgottenOnceAPressTypes) {
    HandlerFixture f;
    f.front(QStringLiteral("Metin Düzenleyici"));
    f.handler();
    EXPECT_EQ(f.state->lastError(), HotKeyHandler::noMatchMessage);

    f.front(QStringLiteral("GitHub — Tarayıcı"));
    f.handler();
    ASSERT_EQ(f.typed(), std::vector<std::string>{"GitHub"});
    f.h.autoType->finish();
    EXPECT_FALSE(f.state->lastError());
}

TEST(HotKeyHandler, OurOwnWindowInFrontKeepsTheEarlierTarget) {
    HandlerFixture f;
    f.front(QStringLiteral("GitHub"));
    f.handler();
    ASSERT_EQ(f.typed().size(), 1u);

    // Back in our own window: the browser stays the target and its title is matched again.
    f.desktop.active = ownWindow;
    f.desktop.titles[ownWindow] = QStringLiteral("Ombrix");
    f.h.autoType->finish();
    f.handler();
    EXPECT_EQ(f.autoType.targetApplication()->window, browser);
    EXPECT_EQ(f.typed(), (std::vector<std::string>{"GitHub", "GitHub"}));
}

TEST(HotKeyHandler, TheApplicationNameStandsInForAMissingTitle) {
    HandlerFixture f;
    f.desktop.active = browser;
    f.desktop.names[browser] = QStringLiteral("GitHub Desktop");
    f.handler();
    EXPECT_EQ(f.typed(), std::vector<std::string>{"GitHub"});
}

TEST(HotKeyHandler, MatcherComparesPlainLowerCasedTextAndNeverAnEmptyCandidate) {
    struct Case {
        const char* note;
        KdbxEntry entry;
        const char* title;  // already lower-cased
        bool matches;
    };
    const Case cases[] = {
        {"nothing to compare", fakes::entry(""), "herhangi bir pencere", false},
        {"blank title", fakes::entry("  "), "iki  boşluklu  pencere", false},
        {"only stars", withAssociations(fakes::entry(""), {"*", "**", ""}), "herhangi bir pencere", false},
        {"stars are dropped, not wildcards", withAssociations(fakes::entry(""), {"*ban*ka*"}), "banka şubesi",
         true},
        {"a star between words is no pattern", withAssociations(fakes::entry(""), {"ev*bank"}), "ev bankası",
         false},
        {"address whose host is not in the title", fakes::entry("", "", "https://www.banka.com.tr/giris"),
         "banka.com.tr", false},
        {"whole host", fakes::entry("", "", "https://www.banka.com.tr/giris"), "www.banka.com.tr — giriş",
         true},
        {"empty window title", fakes::entry("Banka"), "", false},
        {"later association", withAssociations(fakes::entry(""), {"*", "Giriş*"}), "giriş yap", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HotKeyHandler::matches(c.entry, QString::fromUtf8(c.title)), c.matches) << c.note;
}

TEST(HotKeyHandler, LowerCasingIgnoresTheTurkishLocale) {
    // The root mapping takes "I" to "i" (not to the dotless "ı") whatever locale is set.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    HandlerFixture f;
    f.state->edit(QStringLiteral("Sınama"), [](KdbxDatabase& db) {
        db.root.entries = CowList<KdbxEntry>(std::vector<KdbxEntry>{fakes::entry("IBAN")});
    });
    f.front(QStringLiteral("IBAN Hesabı"));
    f.handler();
    QLocale::setDefault(before);
    EXPECT_EQ(f.typed(), std::vector<std::string>{"IBAN"});
    EXPECT_TRUE(HotKeyHandler::matches(fakes::entry("IBAN"), QStringLiteral("iban")));
}
