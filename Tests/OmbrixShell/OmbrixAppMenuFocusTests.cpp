// Menus, their shortcuts and where the keyboard goes after a sheet or a menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <memory>

#include "OmbrixAppFixture.h"
#include "OmbrixShell/OmbrixCommands.h"
#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixUI/GroupEditView.h"
#include "OmbrixUI/GroupOutlineView.h"
#include "OmbrixUI/GroupTreeModel.h"
#include "OmbrixUI/GroupTreeView.h"
#include "OmbrixUI/MainView.h"
#include "OmbrixUI/RootView.h"
#include "OmbrixUI/SettingsView.h"

namespace {

using shell::App;
using shell::settle;

}  // namespace

TEST(OmbrixApp, TheSidebarItemActsOnTheMainWindow) {
    App a;
    a.show();
    mainwindow::Sample sample;
    fakes::open(a.h, a.state(), sample.database);
    settle();
    QAction* item = a.app->commands()->action(OmbrixCommands::Command::sidebar);
    item->trigger();
    MainView* main = a.app->rootView()->mainView();
    ASSERT_TRUE(main);
    EXPECT_FALSE(main->isSidebarVisible());
    item->trigger();
    EXPECT_TRUE(main->isSidebarVisible());
    item->trigger();

    // A new main window after unlocking shows it again.
    a.state().lock();
    fakes::open(a.h, a.state(), sample.database);
    settle();
    ASSERT_TRUE(a.app->rootView()->mainView());
    EXPECT_TRUE(a.app->rootView()->mainView()->isSidebarVisible());
    EXPECT_TRUE(item->isChecked());
}

TEST(OmbrixApp, MenuShortcutsWorkFromTheSettingsWindow) {
    App a;
    a.show();
    mainwindow::Sample sample;
    fakes::open(a.h, a.state(), sample.database);
    settle();
    a.app->commands()->action(OmbrixCommands::Command::settings)->trigger();
    settle();
    SettingsView* settings = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* view = qobject_cast<SettingsView*>(top); view && view->isVisible()) settings = view;
    }
    ASSERT_NE(settings, nullptr);
    // The window lives for the process in the program; here it must not outlive this harness.
    const std::unique_ptr<SettingsView> owned(settings);
    QApplication::setActiveWindow(settings);
    settle();

    // Ctrl+L locks; the main window comes forward, where the lock screen now shows.
    QTest::keyClick(settings, Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(a.state().isLocked());
    settle();
    EXPECT_EQ(QApplication::activeWindow(), a.window());

    QApplication::setActiveWindow(settings);
    QTest::keyClick(settings, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(a.quits, 1);
}

TEST(OmbrixApp, AfterASheetTheFocusIsBackAndCtrlZUndoesTheChange) {
    App a;
    a.show();
    mainwindow::Sample sample;
    fakes::open(a.h, a.state(), sample.database);
    settle();
    GroupOutlineView* tree = a.app->rootView()->mainView()->groupTree()->tree();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    const auto groupName = [&] {
        for (const KdbxGroup& group : a.state().database()->root.groups) {
            if (group.id == sample.mail.id) return QString::fromStdString(group.name);
        }
        return QString();
    };
    // A right click on the group's row and a click on the item, as the user does it.
    QWidget* before = nullptr;
    const auto fromTheMenu = [&](const char* item) {
        before = QApplication::focusWidget();
        QTimer::singleShot(0, [item] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction* action : menu->actions()) {
                if (action->text() == QString::fromUtf8(item))
                    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            }
        });
        const QRect row = tree->visualRect(tree->groups().indexOf(sample.mail.id));
        QContextMenuEvent click(QContextMenuEvent::Mouse, row.center(),
                                tree->viewport()->mapToGlobal(row.center()));
        QApplication::sendEvent(tree->viewport(), &click);
        settle();
    };

    // "Grubu düzenle", a new name, Return.
    fromTheMenu("Grubu düzenle");
    ASSERT_NE(a.app->rootView()->sheet(), nullptr);
    QApplication::setActiveWindow(a.app->rootView()->sheet());
    auto* editor = qobject_cast<GroupEditView*>(a.app->rootView()->sheet());
    ASSERT_NE(editor, nullptr);
    QLineEdit* name = editor->nameField()->lineEdit();
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Mektuplar"));
    QTest::keyClick(name, Qt::Key_Return);
    settle();
    ASSERT_EQ(a.app->rootView()->sheet(), nullptr);
    ASSERT_EQ(groupName(), QStringLiteral("Mektuplar"));
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), before) << QApplication::focusWidget()->metaObject()->className();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(groupName(), QStringLiteral("E-posta"));

    // "Grubu sil": Ctrl+Z brings the group back.
    fromTheMenu("Grubu sil");
    ASSERT_EQ(groupName(), QString());
    // The window manager gives the main window back its activation after the menu.
    QApplication::setActiveWindow(a.window());
    settle();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), before) << QApplication::focusWidget()->metaObject()->className();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(groupName(), QStringLiteral("E-posta"));
}

// "Yeni Grup" right after the vault opens: the new, empty group hides the list that had the
// keyboard. The keyboard goes to a control that shows, not to the search field, so Ctrl+Z
// undoes the new group.
TEST(OmbrixApp, AfterANewEmptyGroupCtrlZUndoesIt) {
    struct Case {
        bool create;
        const char* note;
    };
    for (const Case c : {Case{false, "unlocked"}, Case{true, "created"}}) {
        App a;
        a.show();
        if (c.create) {
            const QString path = a.h.path(QStringLiteral("yeni.kdbx"));
            a.state().prepare(path);
            a.state().createDatabase(path, QStringLiteral("parola"), std::nullopt);
        } else {
            mainwindow::Sample sample;
            fakes::open(a.h, a.state(), sample.database);
        }
        ASSERT_FALSE(a.state().isLocked()) << c.note;
        settle();
        const int groupsBefore = static_cast<int>(a.state().database()->root.groups.size());

        QTest::keyClick(a.window(), Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
        auto* editor = qobject_cast<GroupEditView*>(a.app->rootView()->sheet());
        ASSERT_NE(editor, nullptr) << c.note;
        QApplication::setActiveWindow(editor);
        QLineEdit* name = editor->nameField()->lineEdit();
        name->setFocus();
        QTest::keyClicks(name, QStringLiteral("Yeni"));
        QTest::keyClick(name, Qt::Key_Return);
        settle();
        ASSERT_EQ(a.app->rootView()->sheet(), nullptr) << c.note;
        ASSERT_EQ(static_cast<int>(a.state().database()->root.groups.size()), groupsBefore + 1) << c.note;
        // The window manager hands the activation back to the main window.
        QApplication::setActiveWindow(a.window());
        settle();

        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << c.note;
        EXPECT_TRUE(focus->isVisible()) << c.note << ": " << focus->metaObject()->className();
        EXPECT_EQ(qobject_cast<QLineEdit*>(focus), nullptr) << c.note << ": not a text field";
        QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(static_cast<int>(a.state().database()->root.groups.size()), groupsBefore)
            << c.note << ": Ctrl+Z took the new group back";
    }
}
