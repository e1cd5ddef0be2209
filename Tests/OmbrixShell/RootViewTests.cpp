#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <optional>

#include "OmbrixShell/WindowSizer.h"
#include "OmbrixState/FilePanels.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixUI/EmptyStateView.h"
#include "OmbrixUI/EntryEditView.h"
#include "OmbrixUI/ErrorBanner.h"
#include "OmbrixUI/GroupEditView.h"
#include "OmbrixUI/MainView.h"
#include "OmbrixUI/PasswordGeneratorView.h"
#include "OmbrixUI/RootView.h"
#include "OmbrixUI/SecretField.h"
#include "OmbrixUI/UnlockView.h"
#include "ShellFixture.h"
#include "Support/MainWindowFixture.h"

namespace {

using shell::CancelledPanels;
using shell::settle;

// The root view over the main window's sample database, shown in a window of its own.
struct Root {
    explicit Root(bool unlocked) : f(unlocked) {
        view = std::make_unique<RootView>(*f.state, f.harness.preferences, f.clipboard, panels, metrics);
        view->resize(WindowSizer::defaultUnlockedSize);
        view->show();
        QApplication::setActiveWindow(view.get());
        settle();
    }

    AppState& state() { return *f.state; }

    mainwindow::Fixture f;
    CancelledPanels panels;
    LockScreenMetrics metrics;
    std::unique_ptr<RootView> view;
};

}  // namespace

TEST(RootView, ShowsAFreshLockScreenWhileLockedAndTheMainViewOtherwise) {
    Root root(false);
    QPointer<UnlockView> firstLockScreen = root.view->unlockView();
    ASSERT_TRUE(firstLockScreen);
    EXPECT_EQ(root.view->mainView(), nullptr);
    EXPECT_TRUE(firstLockScreen->isVisible());
    EXPECT_EQ(root.view->windowTitleText(), QStringLiteral("Ombrix"));

    fakes::open(root.f.harness, root.state(), root.f.sample.database);
    QPointer<MainView> main = root.view->mainView();
    ASSERT_TRUE(main);
    EXPECT_EQ(root.view->unlockView(), nullptr);
    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(firstLockScreen->isVisible()) << "hidden at once";
    settle();
    EXPECT_FALSE(firstLockScreen) << "deleted once control has returned";
    EXPECT_EQ(root.view->windowTitleText(), QStringLiteral("Kasa — 5 kayıt"));

    root.f.makeDirty();
    EXPECT_EQ(root.view->windowTitleText(), QStringLiteral("Kasa — 5 kayıt · kaydedilmedi"));

    root.state().lock();
    settle();
    EXPECT_FALSE(main);
    ASSERT_NE(root.view->unlockView(), nullptr);
    EXPECT_TRUE(root.view->unlockView()->isVisible());
    EXPECT_TRUE(root.view->unlockView()->passwordField()->text().isEmpty()) << "a lock screen starts empty";
    EXPECT_EQ(root.view->windowTitleText(), QStringLiteral("Ombrix"));
}

TEST(RootView, AnErrorOfTheMainWindowIsNotShownOnTheLockScreen) {
    Root root(true);
    root.state().setLastError(QStringLiteral("Otomatik yazma başlatılamadı."));
    root.state().lock();
    settle();
    UnlockView* lockScreen = root.view->unlockView();
    ASSERT_NE(lockScreen, nullptr);
    EXPECT_FALSE(lockScreen->errorBanner()->isVisible());
    EXPECT_FALSE(root.state().lastError());
}

TEST(RootView, TheTitleIsAnnouncedWhenItChanges) {
    Root root(true);
    QSignalSpy titles(root.view.get(), &RootView::windowTitleTextChanged);
    root.f.makeDirty();
    root.state().lock();
    ASSERT_GE(titles.count(), 2);
    EXPECT_EQ(titles.first().at(0).toString(), QStringLiteral("Kasa — 5 kayıt · kaydedilmedi"));
    EXPECT_EQ(titles.last().at(0).toString(), QStringLiteral("Ombrix"));
    EXPECT_EQ(root.view->windowTitleText(), QStringLiteral("Ombrix"));
}

TEST(RootView, ARouteOpensItsSheetAndAnotherRouteReplacesIt) {
    struct Case {
        bool unlocked;
        const char* note;
    };
    for (const Case c : {Case{true, "over the main view"}, Case{false, "over the lock screen"}}) {
        Root root(c.unlocked);
        root.state().setRoute(Route::generator());
        QPointer<QDialog> first = root.view->sheet();
        ASSERT_TRUE(first) << c.note;
        EXPECT_NE(qobject_cast<PasswordGeneratorView*>(first), nullptr) << c.note;
        EXPECT_TRUE(first->isVisible()) << c.note;
        EXPECT_EQ(first->windowModality(), Qt::WindowModal) << c.note;
        EXPECT_EQ(first->parentWidget(), root.view.get()) << c.note;

        // The same route again leaves the sheet alone.
        root.state().setRoute(Route::generator());
        EXPECT_EQ(root.view->sheet(), first.data()) << c.note;

        const UUID target = root.f.sample.github.id;
        root.state().setRoute(Route::generator(target));
        QPointer<QDialog> second = root.view->sheet();
        ASSERT_TRUE(second) << c.note;
        EXPECT_NE(second.data(), first.data()) << c.note;
        EXPECT_TRUE(second->isVisible()) << c.note;
        EXPECT_FALSE(first->isVisible()) << c.note;
        settle();
        EXPECT_FALSE(first) << c.note << ": the replaced sheet is gone, with what was typed into it";
        EXPECT_EQ(root.state().route(), std::optional<Route>(Route::generator(target))) << c.note;

        root.state().setRoute(std::nullopt);
        EXPECT_EQ(root.view->sheet(), nullptr) << c.note;
        settle();
        EXPECT_FALSE(second) << c.note;
    }
}

TEST(RootView, ASheetThatClosesItselfTakesItsRouteWithIt) {
    Root root(true);
    root.state().setRoute(Route::generator());
    auto* generator = qobject_cast<PasswordGeneratorView*>(root.view->sheet());
    ASSERT_NE(generator, nullptr);
    QPointer<QDialog> sheet = generator;
    QTest::mouseClick(generator->closeButton(), Qt::LeftButton);
    EXPECT_EQ(root.state().route(), std::nullopt);
    EXPECT_EQ(root.view->sheet(), nullptr);
    settle();
    EXPECT_FALSE(sheet);

    // Escape on the notice, as the window's own way of closing a dialog.
    root.state().setRoute(Route::editEntry(UUID::random()));
    ASSERT_TRUE(root.view->isShowingMissingItem());
    sheet = root.view->sheet();
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_EQ(root.state().route(), std::nullopt);
    settle();
    EXPECT_FALSE(sheet);
}

TEST(RootView, LockingClosesTheSheet) {
    Root root(true);
    root.state().setRoute(Route::generator());
    QPointer<QDialog> sheet = root.view->sheet();
    ASSERT_TRUE(sheet);
    root.state().lock();
    EXPECT_EQ(root.view->sheet(), nullptr);
    settle();
    EXPECT_FALSE(sheet);
    EXPECT_NE(root.view->unlockView(), nullptr);
}

TEST(RootView, AnEditRouteWhoseItemIsGoneShowsTheNotice) {
    struct Case {
        bool unlocked;
        Route route;
        const char* note;
    };
    const Case cases[] = {
        {true, Route::editEntry(UUID::random()), "an entry that does not exist"},
        {true, Route::editGroup(UUID::random()), "a group that does not exist"},
        {false, Route::editEntry(UUID::random()), "no database open"},
    };
    for (const Case& c : cases) {
        Root root(c.unlocked);
        root.state().setRoute(c.route);
        ASSERT_TRUE(root.view->isShowingMissingItem()) << c.note;
        QDialog* sheet = root.view->sheet();
        EXPECT_TRUE(sheet->isVisible()) << c.note;
        EXPECT_EQ(sheet->size(), QSize(RootView::missingWidth, RootView::missingHeight)) << c.note;
        auto* notice = sheet->findChild<EmptyStateView*>();
        ASSERT_NE(notice, nullptr) << c.note;
        EXPECT_EQ(notice->titleLabel()->text(), QStringLiteral("Bulunamadı")) << c.note;
        EXPECT_EQ(notice->messageLabel()->text(), QStringLiteral("Bu kayıt artık mevcut değil.")) << c.note;
        ASSERT_NE(notice->actionButton(), nullptr) << c.note;
        EXPECT_EQ(notice->actionButton()->text(), QStringLiteral("Kapat")) << c.note;

        const std::optional<KdbxDatabase> before = root.state().database();
        QTest::mouseClick(notice->actionButton(), Qt::LeftButton);
        EXPECT_EQ(root.state().route(), std::nullopt) << c.note;
        EXPECT_EQ(root.view->sheet(), nullptr) << c.note;
        EXPECT_EQ(root.state().database().has_value(), before.has_value()) << c.note;
        EXPECT_FALSE(root.state().isDirty()) << c.note;
    }
}

TEST(RootView, EditorRoutesOpenTheirEditors) {
    Root root(true);
    const mainwindow::Sample& sample = root.f.sample;
    const UUID rootID = root.state().database()->root.id;
    struct Case {
        Route route;
        std::function<bool(QDialog*)> check;
        const char* note;
    };
    const Case cases[] = {
        {Route::newEntry(sample.mail.id),
         [&](QDialog* sheet) {
             auto* editor = qobject_cast<EntryEditView*>(sheet);
             return editor && editor->mode().asCreate() &&
                    editor->mode().asCreate()->groupID == sample.mail.id;
         },
         "a new entry in a group"},
        {Route::editEntry(sample.gmail.id),
         [&](QDialog* sheet) {
             auto* editor = qobject_cast<EntryEditView*>(sheet);
             return editor && editor->mode().asEdit() &&
                    editor->mode().asEdit()->entry.id == sample.gmail.id &&
                    editor->titleField()->lineEdit()->text() == QStringLiteral("Gmail");
         },
         "an entry as it is stored"},
        {Route::newGroup(rootID),
         [&](QDialog* sheet) {
             auto* editor = qobject_cast<GroupEditView*>(sheet);
             return editor && editor->mode().asCreate() && editor->mode().asCreate()->parentID == rootID;
         },
         "a new group under the root"},
        {Route::editGroup(sample.banks.id),
         [&](QDialog* sheet) {
             auto* editor = qobject_cast<GroupEditView*>(sheet);
             return editor && editor->mode().asEdit() && editor->mode().asEdit()->group.id == sample.banks.id;
         },
         "a group as it is stored"},
    };
    for (const Case& c : cases) {
        root.state().setRoute(c.route);
        QDialog* sheet = root.view->sheet();
        ASSERT_NE(sheet, nullptr) << c.note;
        EXPECT_FALSE(root.view->isShowingMissingItem()) << c.note;
        EXPECT_TRUE(c.check(sheet)) << c.note;
        EXPECT_TRUE(sheet->isVisible()) << c.note;
        EXPECT_EQ(sheet->windowModality(), Qt::WindowModal) << c.note;
    }
    root.state().setRoute(std::nullopt);
    EXPECT_EQ(root.view->sheet(), nullptr);
}

TEST(RootView, AnEntryEditorKeepsWhatIsTypedUntilItsEntryIsGone) {
    Root root(true);
    const mainwindow::Sample& sample = root.f.sample;
    root.state().setRoute(Route::editEntry(sample.github.id));
    auto* editor = qobject_cast<EntryEditView*>(root.view->sheet());
    ASSERT_NE(editor, nullptr);
    editor->titleField()->lineEdit()->setText(QStringLiteral("Yazılan başlık"));

    // Another change to the database leaves the editor and its fields alone.
    root.state().deleteEntries({sample.router.id});
    EXPECT_EQ(root.view->sheet(), editor);
    EXPECT_EQ(editor->titleField()->lineEdit()->text(), QStringLiteral("Yazılan başlık"));

    // Once the entry is gone (here: its deletion), the notice stands in for the editor.
    QPointer<QDialog> gone = editor;
    root.state().deleteEntries({sample.github.id});
    EXPECT_TRUE(root.view->isShowingMissingItem());
    EXPECT_TRUE(root.view->sheet()->isVisible());
    EXPECT_EQ(root.state().route(), std::optional<Route>(Route::editEntry(sample.github.id)));
    settle();
    EXPECT_FALSE(gone);

    // Undoing the deletion does not turn the notice back into an editor.
    root.state().undo();
    EXPECT_TRUE(root.view->isShowingMissingItem());
}

TEST(RootView, TheEntryEditorOpensTheGeneratorOverItself) {
    Root root(true);
    root.state().setRoute(Route::editEntry(root.f.sample.github.id));
    auto* editor = qobject_cast<EntryEditView*>(root.view->sheet());
    ASSERT_NE(editor, nullptr);
    QTest::mouseClick(editor->openGeneratorButton(), Qt::LeftButton);
    auto* generator = qobject_cast<PasswordGeneratorView*>(editor->generatorDialog());
    ASSERT_NE(generator, nullptr);
    EXPECT_TRUE(generator->isUseMode());
    EXPECT_EQ(generator->parentWidget(), editor);
    EXPECT_EQ(root.view->sheet(), editor) << "the editor is still the sheet";

    const QString password = generator->generated();
    ASSERT_FALSE(password.isEmpty());
    QTest::mouseClick(generator->confirmButton(), Qt::LeftButton);
    EXPECT_EQ(editor->passwordField()->text(), password);
    EXPECT_EQ(root.view->sheet(), editor);
    EXPECT_EQ(root.state().route(), std::optional<Route>(Route::editEntry(root.f.sample.github.id)));
}
