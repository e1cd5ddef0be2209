// The application object at start, and the global hot key it keeps registered.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>

#include <memory>
#include <optional>

#include "OmbrixAppFixture.h"
#include "OmbrixUI/RootView.h"
#include "OmbrixUI/SettingsView.h"
#include "OmbrixUI/UnlockView.h"

namespace {

using shell::App;
using shell::OtherApplicationInFront;
using shell::settle;

}  // namespace

TEST(OmbrixApp, StartsLockedOnTheRecentDatabaseWithTheHotKeyRegistered) {
    App a;
    const QString recent = a.h.path(QStringLiteral("son.kdbx"));
    {
        QFile file(recent);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("KDBX");
    }
    a.h.preferences.setRecentDatabaseBookmark(recent.toUtf8());
    a.h.preferences.setHotKey(40, 256);

    a.show();
    EXPECT_TRUE(a.window()->isVisible());
    EXPECT_EQ(a.window()->windowTitle(), QStringLiteral("Ombrix"));
    EXPECT_EQ(a.window()->centralWidget(), a.app->rootView());
    ASSERT_FALSE(a.window()->menuBar()->actions().isEmpty());
    EXPECT_EQ(a.window()->menuBar()->actions().first()->text(), QStringLiteral("Dosya"));
    ASSERT_NE(a.app->rootView()->unlockView(), nullptr);
    EXPECT_EQ(a.state().databaseURL(), std::optional<QString>(recent));
    EXPECT_TRUE(a.state().isLocked());
    EXPECT_EQ(a.grabs.grabbed, std::optional(HotKeyService::Registration{40, 256}));
    EXPECT_EQ(a.desktop->watches, 1) << "the frontmost application is followed";

    // Another combination recorded in the settings replaces the registration.
    a.h.preferences.setHotKey(1, 2304);
    EXPECT_EQ(a.grabs.grabbed, std::optional(HotKeyService::Registration{1, 2304}));

    // A press while locked takes the application in front as the auto-type target.
    a.grabs.press();
    settle();
    ASSERT_TRUE(a.autoType->targetApplication().has_value());
    EXPECT_EQ(a.autoType->targetApplication()->window, OtherApplicationInFront::window);

    // Showing the window again neither replaces the chosen file nor follows twice.
    a.state().prepare(a.h.path(QStringLiteral("diger.kdbx")));
    a.window()->hide();
    a.show();
    EXPECT_EQ(a.state().databaseURL(), std::optional<QString>(a.h.path(QStringLiteral("diger.kdbx"))));
    EXPECT_EQ(a.desktop->watches, 1);
    EXPECT_EQ(a.grabs.grabbed, std::optional(HotKeyService::Registration{1, 2304}));
}

TEST(OmbrixApp, AHotKeyAnotherProgramHeldIsTakenWhenTheUserComesBack) {
    App a;
    a.grabs.heldByAnotherProgram = true;
    a.show();
    EXPECT_EQ(a.hotKeys->status(), HotKeyService::Status::taken);
    EXPECT_FALSE(a.grabs.grabbed);

    a.app->showSettings();
    settle();
    SettingsView* settings = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* view = qobject_cast<SettingsView*>(top); view && view->isVisible()) settings = view;
    }
    ASSERT_NE(settings, nullptr);
    // The window lives for the process in the program; here it must not outlive this harness.
    const std::unique_ptr<SettingsView> owned(settings);
    EXPECT_FALSE(settings->hotKeyStatusLabel()->isHidden()) << "the card says the key is taken";

    // The other program lets go; the user goes back to the main window.
    a.grabs.heldByAnotherProgram = false;
    QApplication::setActiveWindow(a.window());
    settle();
    EXPECT_EQ(a.hotKeys->status(), HotKeyService::Status::registered);
    EXPECT_EQ(a.grabs.grabbed, std::optional(HotKeyService::Registration{0, 2304}));
    EXPECT_TRUE(settings->hotKeyStatusLabel()->isHidden());

    // Taken again with another combination; this time the user comes back to the settings.
    a.grabs.heldByAnotherProgram = true;
    a.h.preferences.setHotKey(40, 2304);
    EXPECT_EQ(a.hotKeys->status(), HotKeyService::Status::taken);
    EXPECT_FALSE(settings->hotKeyStatusLabel()->isHidden());
    a.grabs.heldByAnotherProgram = false;
    QApplication::setActiveWindow(settings);
    settle();
    EXPECT_EQ(a.grabs.grabbed, std::optional(HotKeyService::Registration{40, 2304}));
    EXPECT_TRUE(settings->hotKeyStatusLabel()->isHidden());

    // A press of the key taken late runs the handler: the target is captured.
    a.grabs.press();
    settle();
    EXPECT_TRUE(a.autoType->targetApplication().has_value());
}
