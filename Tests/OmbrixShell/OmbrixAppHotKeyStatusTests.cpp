// A hot key the program cannot have when it starts is said in the main window's status bar, once,
// and not only in the settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>

#include <optional>

#include "OmbrixAppFixture.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/MainView.h"
#include "OmbrixUI/RootView.h"
#include "OmbrixUI/StatusBar.h"

namespace {

using shell::App;
using shell::settle;

}  // namespace

TEST(OmbrixApp, AHotKeyThatCannotBeHadAtStartIsSaidOnceInTheStatusBar) {
    struct Case {
        const char* note;
        bool heldByAnotherProgram;
        bool refused;
        QStringList lockStatesTaken;
        std::optional<QString> said;
    };
    const QString taken = QStringLiteral(
        "Genel kısayolu (Ctrl+Alt+A) başka bir program kullanıyor; Ombrix'in kısayolu çalışmıyor. "
        "Ayarlar'dan başka bir kısayol seçebilirsin.");
    const Case cases[] = {
        {"held by another program", true, false, {}, taken},
        {"held by another program with every lock key off",
         false,
         false,
         {QString(), QStringLiteral("Num Lock")},
         taken},
        {"held by another program with Num Lock on",
         false,
         false,
         {QStringLiteral("Num Lock")},
         QStringLiteral("Genel kısayolu (Ctrl+Alt+A) bazı kilit tuşları açıkken başka bir program "
                        "kullanıyor; o durumda Ombrix'in kısayolu çalışmaz. Ayrıntılar Ayarlar'da.")},
        {"refused by the desktop",
         false,
         true,
         {},
         QStringLiteral(
             "Genel kısayol (Ctrl+Alt+A) alınamadı: bu oturumda genel kısayol kullanılamıyor ya da "
             "klavyede bu tuş yok.")},
        {"Ombrix's", false, false, {}, std::nullopt},
    };
    for (const Case& c : cases) {
        App a;
        a.grabs.heldByAnotherProgram = c.heldByAnotherProgram;
        a.grabs.refused = c.refused;
        a.grabs.lockStatesTaken = c.lockStatesTaken;
        a.show();
        mainwindow::Sample sample;
        fakes::open(a.h, a.state(), sample.database);
        settle();
        MainView* main = a.app->rootView()->mainView();
        ASSERT_NE(main, nullptr) << c.note;
        StatusBar* bar = main->statusBar();
        EXPECT_EQ(bar->statusLabel()->isVisibleTo(a.window()), c.said.has_value()) << c.note;
        if (c.said) {
            EXPECT_EQ(bar->statusLabel()->text().toStdString(), c.said->toStdString()) << c.note;
        }

        // Once: another try when the user comes back, or the window shown again, says nothing more.
        a.state().setStatusMessage(std::nullopt);
        QApplication::setActiveWindow(a.window());
        a.window()->hide();
        a.show();
        EXPECT_FALSE(a.state().statusMessage().has_value()) << c.note;
    }
}

// The program gets the key after all (the other program let go): what was said no longer holds.
TEST(OmbrixApp, WhatWasSaidOfTheHotKeyGoesOnceTheKeyIsHad) {
    App a;
    a.grabs.heldByAnotherProgram = true;
    a.show();
    ASSERT_TRUE(a.state().statusMessage().has_value());
    a.grabs.heldByAnotherProgram = false;
    a.window()->hide();
    a.show();
    ASSERT_EQ(a.hotKeys->status(), HotKeyService::Status::registered);
    EXPECT_FALSE(a.state().statusMessage().has_value());
}
