#include "OmbrixServices/Platform/X11HotKeyBackend.h"
#include "OmbrixServices/Services/HotKeyService.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "ServicesApplication.h"

namespace {

void processPostedEvents() {
    QCoreApplication::sendPostedEvents();
}

// The desktop's key grabs, kept by the test: it can refuse combinations and press the grabbed one.
struct FakeDesktop {
    struct Grab {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        std::uint32_t id;
    };
    std::optional<Grab> grab;
    std::function<void(std::uint32_t)> onPress;
    std::set<std::pair<std::uint32_t, std::uint32_t>> heldByOthers;
    // Combinations another program holds only in some states of the lock keys, with those states.
    std::map<std::pair<std::uint32_t, std::uint32_t>, QStringList> heldByOthersWithLocks;
    std::vector<std::uint32_t> grabIds;
    int ungrabs = 0;
    std::map<std::uint32_t, QString> layout{{0, "a"}, {42, "\\"}, {41, "ş"}};

    // What the X11 layer does for a press of the grabbed combination.
    void press() {
        if (grab && onPress) onPress(grab->id);
    }
};

class FakeBackend final : public HotKeyService::Backend {
  public:
    explicit FakeBackend(std::shared_ptr<FakeDesktop> desktop) : desktop_(std::move(desktop)) {}
    ~FakeBackend() override { ungrab(); }
    HotKeyService::Grant grab(std::uint32_t keyCode, std::uint32_t modifiers, std::uint32_t id,
                              std::function<void(std::uint32_t)> onPress) override {
        desktop_->grabIds.push_back(id);
        HotKeyService::Grant grant(true);
        if (desktop_->heldByOthers.count({keyCode, modifiers})) {
            grant.granted = false;
            grant.takenByOther = true;
            return grant;
        }
        if (const auto partly = desktop_->heldByOthersWithLocks.find({keyCode, modifiers});
            partly != desktop_->heldByOthersWithLocks.end()) {
            grant.lockStatesTaken = partly->second;
        }
        desktop_->grab = FakeDesktop::Grab{keyCode, modifiers, id};
        desktop_->onPress = std::move(onPress);
        return grant;
    }
    void ungrab() override {
        if (!desktop_->grab) return;
        desktop_->grab.reset();
        desktop_->onPress = nullptr;
        ++desktop_->ungrabs;
    }
    QString keyText(std::uint32_t keyCode) const override {
        auto found = desktop_->layout.find(keyCode);
        return found == desktop_->layout.end() ? QString() : found->second;
    }

  private:
    std::shared_ptr<FakeDesktop> desktop_;
};

class HotKeyServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureApplication();
        QObject::connect(&service, &HotKeyService::registrationChanged, [this] { ++notifications; });
    }

    std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
    HotKeyService service{std::make_unique<FakeBackend>(desktop)};
    int notifications = 0;
    int presses = 0;
    std::function<void()> countPress = [this] { ++presses; };
};

TEST_F(HotKeyServiceTest, PressRunsTheHandlerOnALaterTurnOfTheEventLoop) {
    service.registerHotKey(HotKeyService::defaultKeyCode, HotKeyService::defaultModifiers, countPress);
    ASSERT_TRUE(service.isRegistered());
    EXPECT_EQ(service.registration(), (HotKeyService::Registration{0, 0x900}));
    EXPECT_EQ(service.currentId(), 1u);

    desktop->press();
    EXPECT_EQ(presses, 0);
    processPostedEvents();
    EXPECT_EQ(presses, 1);
}

TEST_F(HotKeyServiceTest, EveryAttemptTakesTheNextIdentifier) {
    service.registerHotKey(0, 0x900, countPress);
    service.registerHotKey(0, 0x900, countPress);
    EXPECT_EQ(service.currentId(), 2u);
    EXPECT_EQ(desktop->ungrabs, 1);

    service.unregister();
    EXPECT_EQ(service.currentId(), 0u);
    EXPECT_FALSE(service.isRegistered());
    EXPECT_FALSE(desktop->grab);

    desktop->heldByOthers.insert({1, 0x100});
    service.registerHotKey(1, 0x100, countPress);  // refused, but it used an identifier
    service.registerHotKey(2, 0x100, countPress);
    EXPECT_EQ(desktop->grabIds, (std::vector<std::uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(service.currentId(), 4u);
}

TEST_F(HotKeyServiceTest, PressQueuedBeforeReRegisteringRunsNothing) {
    int oldPresses = 0;
    service.registerHotKey(0, 0x900, [&] { ++oldPresses; });
    desktop->press();
    service.registerHotKey(0, 0x900, countPress);
    processPostedEvents();
    EXPECT_EQ(oldPresses, 0);
    EXPECT_EQ(presses, 0);

    desktop->press();
    processPostedEvents();
    EXPECT_EQ(presses, 1);

    desktop->press();
    service.unregister();
    processPostedEvents();
    EXPECT_EQ(presses, 1);
}

TEST_F(HotKeyServiceTest, RefusedCombinationLeavesTheServiceUnregistered) {
    service.registerHotKey(0, 0x900, countPress);
    desktop->heldByOthers.insert({14, 0x900});
    notifications = 0;

    service.registerHotKey(14, 0x900, countPress);
    EXPECT_FALSE(service.isRegistered());
    EXPECT_FALSE(service.registration());
    EXPECT_EQ(service.currentId(), 2u);
    EXPECT_FALSE(desktop->grab);  // the earlier key was released first
    EXPECT_EQ(service.status(), HotKeyService::Status::taken);
    EXPECT_EQ(notifications, 2);  // the release, then the refusal

    // A press of the earlier combination still in the queue reaches nobody.
    desktop->onPress = nullptr;
    processPostedEvents();
    EXPECT_EQ(presses, 0);
}

// Another program may let go of the combination, or hold it only with a lock key on: the
// service says how it stands and tries again when asked, with the same handler.
TEST_F(HotKeyServiceTest, ARefusedCombinationIsTriedAgainWhenAsked) {
    EXPECT_EQ(service.status(), HotKeyService::Status::none);
    desktop->heldByOthers.insert({0, 0x900});
    service.registerHotKey(0, 0x900, countPress);
    EXPECT_EQ(service.status(), HotKeyService::Status::taken);
    EXPECT_FALSE(service.isRegistered());

    service.registerAgainIfRefused();
    EXPECT_EQ(service.status(), HotKeyService::Status::taken) << "still held by the other program";

    desktop->heldByOthers.clear();
    desktop->heldByOthersWithLocks[{0, 0x900}] = QStringList{QStringLiteral("Num Lock")};
    service.registerAgainIfRefused();
    EXPECT_EQ(service.status(), HotKeyService::Status::partlyTaken);
    EXPECT_EQ(service.lockStatesTaken(), QStringList{QStringLiteral("Num Lock")});
    EXPECT_TRUE(service.isRegistered());
    desktop->press();
    processPostedEvents();
    EXPECT_EQ(presses, 1) << "the handler of the first attempt";

    desktop->heldByOthersWithLocks.clear();
    service.registerAgainIfRefused();
    EXPECT_EQ(service.status(), HotKeyService::Status::registered);
    EXPECT_TRUE(service.lockStatesTaken().isEmpty());
    const std::uint32_t id = service.currentId();
    service.registerAgainIfRefused();
    EXPECT_EQ(service.currentId(), id) << "nothing to try again";

    service.unregister();
    EXPECT_EQ(service.status(), HotKeyService::Status::none);
    service.registerAgainIfRefused();
    EXPECT_FALSE(service.isRegistered()) << "nothing asked for any more";
}

TEST_F(HotKeyServiceTest, UnregisterOnAFreshServicePublishesOnly) {
    service.unregister();
    EXPECT_EQ(notifications, 1);
    EXPECT_FALSE(service.isRegistered());
    EXPECT_EQ(desktop->ungrabs, 0);
}

TEST_F(HotKeyServiceTest, DestroyedServiceReleasesItsKey) {
    auto other = std::make_shared<FakeDesktop>();
    {
        HotKeyService shortLived(std::make_unique<FakeBackend>(other));
        shortLived.registerHotKey(0, 0x900, countPress);
        other->press();
    }
    EXPECT_FALSE(other->grab);
    processPostedEvents();
    EXPECT_EQ(presses, 0);
}

TEST_F(HotKeyServiceTest, DisplayTextReadsAsOnLinux) {
    struct Case {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        const char* text;
    };
    const Case cases[] = {
        {0, 0x900, "Ctrl+Alt+A"},
        {49, 0x1A00, "Alt+Shift+Super+Space"},
        {36, 0x100, "Ctrl+Return"},
        {48, 0x1B00, "Ctrl+Alt+Shift+Super+Tab"},
        {53, 0, "Esc"},
        {122, 0x200, "Shift+F1"},
        {111, 0x900, "Ctrl+Alt+F12"},
        {42, 0x100, "Ctrl+\\"},
        {41, 0x800, "Alt+Ş"},
        // Keys the layout gives no text for read as on a US keyboard, when they have a legend.
        {1, 0x900, "Ctrl+Alt+S"},
        {18, 0x100, "Ctrl+1"},
        {24, 0x100, "Ctrl+="},
        {33, 0x100, "Ctrl+["},
        {39, 0x100, "Ctrl+'"},
        {44, 0x100, "Ctrl+/"},
        {50, 0x100, "Ctrl+`"},
        {115, 0x100, "Ctrl+#115"},  // Home: no legend
        {200, 0, "#200"},
        {70000, 0x100, "Ctrl+#70000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(service.displayText(c.keyCode, c.modifiers), QString::fromUtf8(c.text)) << c.text;
    }
}

TEST(HotKeyServiceWithoutDisplay, StaysUnregisteredWithoutCrashing) {
    ensureApplication();
    HotKeyService service(createX11HotKeyBackend([]() -> X11Connection* { return nullptr; }));
    bool ran = false;
    service.registerHotKey(0, 0x900, [&] { ran = true; });
    EXPECT_FALSE(service.isRegistered());
    EXPECT_EQ(service.status(), HotKeyService::Status::failed);
    EXPECT_EQ(service.displayText(0, 0x900), QStringLiteral("Ctrl+Alt+A"));
    EXPECT_EQ(service.displayText(40, 0x900), QStringLiteral("Ctrl+Alt+K"));
    service.unregister();
    processPostedEvents();
    EXPECT_FALSE(ran);
}

}  // namespace
