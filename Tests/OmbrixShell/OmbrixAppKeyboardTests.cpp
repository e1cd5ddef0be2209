// Where the keyboard is after a command empties the list or a sheet closes: on a control that
// shows, shows that it has the keyboard, and leaves Ctrl+Z to the undo command.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <functional>

#include "OmbrixAppFixture.h"
#include "OmbrixState/GroupTree.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixUI/EntryEditView.h"
#include "OmbrixUI/EntryList.h"
#include "OmbrixUI/EntryListView.h"
#include "OmbrixUI/GroupOutlineView.h"
#include "OmbrixUI/GroupTreeModel.h"
#include "OmbrixUI/GroupTreeView.h"
#include "OmbrixUI/MainToolbar.h"
#include "OmbrixUI/MainView.h"
#include "OmbrixUI/PasswordGeneratorView.h"
#include "OmbrixUI/RootView.h"
#include "Support/MenuKeys.h"
#include "Support/TabWalk.h"

namespace {

using shell::App;
using shell::settle;

// Chooses `path` (item, then submenu item…) in the context menu the list opens for `key`, with
// the arrows and Return, as a keyboard user does.
void chooseFromTheMenu(EntryList* list, const MenuKey& key, const QStringList& path) {
    QTimer::singleShot(0, [path] {
        for (const QString& item : path) {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr) << item.toStdString();
            for (int i = 0;
                 i < 40 && (!menu->activeAction() || menu->activeAction()->text().trimmed() != item); ++i)
                QTest::keyClick(menu, Qt::Key_Down);
            ASSERT_TRUE(menu->activeAction()) << item.toStdString();
            ASSERT_EQ(menu->activeAction()->text().trimmed(), item);
            QTest::keyClick(menu, menu->activeAction()->menu() ? Qt::Key_Right : Qt::Key_Return);
        }
    });
    QTest::sendKeyEvent(QTest::Click, list, key.key, QString(), key.modifiers);
    settle();
}

std::size_t entriesIn(const AppState& state, const UUID& group) {
    const KdbxGroup* found = GroupTree::findGroup(state.database()->root, group);
    return found ? found->entries.size() : 0;
}

// The mark the widget with the keyboard draws: its picture now against its picture once the
// keyboard has gone to `elsewhere`.
tabwalk::Difference focusMark(QWidget* focused, QWidget* elsewhere) {
    const QImage with = focused->grab().toImage();
    elsewhere->setFocus(Qt::OtherFocusReason);
    settle();
    const tabwalk::Difference mark = tabwalk::difference(with, focused->grab().toImage());
    focused->setFocus(Qt::OtherFocusReason);
    settle();
    return mark;
}

}  // namespace

// "Kartlar" holds one entry. Each command takes it out of the group from the keyboard: the list
// empties, the keyboard lands on a control that shows (not the search field, and not nowhere),
// Down keeps it out of the search field, and Ctrl+Z brings the entry back.
TEST(OmbrixApp, AfterACommandEmptiesTheListTheKeyboardStaysAndCtrlZUndoes) {
    struct Case {
        std::function<void(EntryList*)> command;
        const char* note;
    };
    const auto move = [](const MenuKey& key) {
        return [key](EntryList* list) {
            chooseFromTheMenu(list, key, {QStringLiteral("Taşı…"), QStringLiteral("Kasa")});
        };
    };
    const Case cases[] = {
        {move(contextMenuKeys[0]), "Taşı… from the Menu key"},
        {move(contextMenuKeys[1]), "Taşı… from Shift+F10"},
        {[](EntryList* list) { QTest::keyClick(list, Qt::Key_Delete); }, "Delete"},
    };
    for (const Case& c : cases) {
        App a;
        a.show();
        mainwindow::Sample sample;
        fakes::open(a.h, a.state(), sample.database);
        settle();
        a.state().setSelectedGroupID(sample.cards.id);
        settle();
        EntryList* list = a.app->rootView()->mainView()->entryList()->list();
        list->setFocus(Qt::TabFocusReason);
        QTest::keyClick(list, Qt::Key_Home);
        ASSERT_EQ(a.state().selectedEntryIDs(), UUIDSet{sample.card.id}) << c.note;

        c.command(list);
        // The window manager hands the activation back after the menu.
        QApplication::setActiveWindow(a.window());
        settle();
        ASSERT_EQ(entriesIn(a.state(), sample.cards.id), 0u) << c.note;

        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << c.note << ": the keyboard is somewhere";
        EXPECT_TRUE(focus->isVisible()) << c.note << ": " << focus->metaObject()->className();
        EXPECT_EQ(qobject_cast<QLineEdit*>(focus), nullptr) << c.note << ": not a text field";
        EXPECT_GE(focusMark(focus, a.app->rootView()->mainView()->toolbar()->lockButton()).pixels, 40)
            << c.note << ": " << tabwalk::describe(focus) << " shows it has the keyboard";
        QTest::keyClick(focus, Qt::Key_Down);
        focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << c.note;
        EXPECT_EQ(qobject_cast<QLineEdit*>(focus), nullptr)
            << c.note << ": Down stays out of the search field";
        QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier);
        settle();
        EXPECT_EQ(entriesIn(a.state(), sample.cards.id), 1u) << c.note << ": Ctrl+Z brought the entry back";
    }
}

// The list gets the keyboard back when a sheet closes, and shows on its rows that it has it:
// with a row selected or none, after a cancelled editor or the generator.
TEST(OmbrixApp, TheListShowsTheKeyboardAfterASheet) {
    struct Case {
        bool selected;
        Route route;
        const char* note;
    };
    mainwindow::Sample sample;
    const Case cases[] = {
        {true, Route::editEntry(sample.github.id), "editor cancelled, a row selected"},
        {false, Route::newEntry(sample.database.root.id), "new entry cancelled, nothing selected"},
        {false, Route::generator(), "generator closed"},
    };
    for (const Case& c : cases) {
        App a;
        a.show();
        fakes::open(a.h, a.state(), sample.database);
        settle();
        if (c.selected) a.state().setSelectedEntryIDs({sample.github.id});
        MainView* main = a.app->rootView()->mainView();
        EntryList* list = main->entryList()->list();
        list->setFocus(Qt::TabFocusReason);
        settle();

        a.state().setRoute(c.route);
        settle();
        QDialog* sheet = a.app->rootView()->sheet();
        ASSERT_NE(sheet, nullptr) << c.note;
        QApplication::setActiveWindow(sheet);
        settle();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : sheet, Qt::Key_Escape);
        settle();
        ASSERT_EQ(a.app->rootView()->sheet(), nullptr) << c.note;
        QApplication::setActiveWindow(a.window());
        settle();

        ASSERT_EQ(QApplication::focusWidget(), list) << c.note;
        const tabwalk::Difference mark = focusMark(list, main->entryList()->newEntryButton());
        EXPECT_GE(mark.pixels, 40) << c.note << ": the list shows it has the keyboard";
        EXPECT_GE(mark.box.width(), 16) << c.note;
    }
}
