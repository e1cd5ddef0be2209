#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

#include "OmbrixState/GroupTree.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/GroupOutlineView.h"
#include "OmbrixUI/GroupRowDelegate.h"
#include "OmbrixUI/GroupTreeModel.h"
#include "OmbrixUI/GroupTreeView.h"
#include "Support/MainWindowFixture.h"
#include "Support/MenuKeys.h"
#include "Support/WidgetProbe.h"

using namespace mainwindow;

namespace {

std::string text(const QString& s) {
    return s.toStdString();
}

QStringList actionTexts(QMenu& menu) {
    QStringList texts;
    for (QAction* action : menu.actions())
        texts << (action->isSeparator() ? QStringLiteral("—") : action->text());
    return texts;
}

struct TreeFixture : Fixture {
    GroupTreeView view{*state};

    TreeFixture() {
        view.resize(210, 400);
        view.show();
        settle();
    }

    GroupOutlineView& tree() { return *view.tree(); }
    QModelIndex indexOf(const KdbxGroup& g) { return view.model().indexOf(g.id); }
    QPoint rowCenter(const KdbxGroup& g) { return tree().visualRect(indexOf(g)).center(); }
    const KdbxGroup& stored(const KdbxGroup& g) {
        return *GroupTree::findGroup(state->database()->root, g.id);
    }
};

}  // namespace

TEST(GroupTreeModel, Roles) {
    Fixture f;
    f.state->edit(QStringLiteral("Ekle"), [&](KdbxDatabase& db) {
        GroupTree::mutateGroup(db.root, f.sample.empty.id, [](KdbxGroup& g) {
            KdbxGroup nameless = fakes::group("");
            KdbxGroup deep = fakes::group("Derin", {fakes::entry("x")});
            deep.groups = CowList<KdbxGroup>({fakes::group("Daha derin", {}, {fakes::group("En derin")})});
            nameless.groups = CowList<KdbxGroup>({deep});
            g.groups.push_back(nameless);
        });
    });
    GroupTreeModel model(*f.state);
    const QModelIndex root = model.index(0, 0);
    const QModelIndex mail = model.index(0, 0, root);
    const QModelIndex banks = model.index(1, 0, root);
    const QModelIndex empty = model.index(2, 0, root);
    const QModelIndex nameless = model.index(0, 0, empty);
    const QModelIndex enDerin = model.index(0, 0, model.index(0, 0, model.index(0, 0, nameless)));

    struct Case {
        const char* note;
        QModelIndex index;
        const char* display;
        QVariant tooltip;
        qint64 count;
        int depth;
        bool hasChildren;
        bool isRoot;
    };
    const Case cases[] = {
        {"root: every entry of the database", root, "Kasa", QStringLiteral("Kasa"), 6, 0, true, true},
        {"own entries", mail, "E-posta", QStringLiteral("E-posta"), 2, 1, false, false},
        {"notes win the tool tip; entries below count", banks, "Bankalar",
         QStringLiteral("Vadesiz ve kredi hesapları"), 1, 1, true, false},
        {"nothing below: no count", empty, "Boş grup", QStringLiteral("Boş grup"), 1, 1, true, false},
        {"an empty name, no notes, no tip", nameless, "Adsız grup", QVariant(), 1, 2, true, false},
        {"depth keeps counting", enDerin, "En derin", QStringLiteral("En derin"), 0, 5, false, false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.index.isValid()) << c.note;
        EXPECT_EQ(text(c.index.data(Qt::DisplayRole).toString()), c.display) << c.note;
        EXPECT_EQ(c.index.data(Qt::ToolTipRole), c.tooltip) << c.note;
        EXPECT_EQ(c.index.data(GroupTreeModel::EntryCountRole).toLongLong(), c.count) << c.note;
        EXPECT_EQ(c.index.data(GroupTreeModel::DepthRole).toInt(), c.depth) << c.note;
        EXPECT_EQ(c.index.data(GroupTreeModel::HasChildrenRole).toBool(), c.hasChildren) << c.note;
        EXPECT_EQ(c.index.data(GroupTreeModel::IsRootRole).toBool(), c.isRoot) << c.note;
        EXPECT_EQ(model.parent(c.index), c.index == root ? QModelIndex() : model.parent(c.index)) << c.note;
    }
    EXPECT_EQ(model.parent(mail), root);
    EXPECT_EQ(model.indexOf(f.sample.banks.id), banks);
    EXPECT_TRUE(root.data(GroupTreeModel::SelectedRole).toBool());  // unlocking selects the root
    f.state->setSelectedGroupID(std::nullopt);
    EXPECT_FALSE(root.data(GroupTreeModel::SelectedRole).toBool());
}

TEST(GroupTreeModel, EmptyWithoutADatabase) {
    Fixture f(false);
    GroupTreeModel model(*f.state);
    EXPECT_EQ(model.rowCount(), 0);
    fakes::open(f.harness, *f.state, f.sample.database);
    EXPECT_EQ(model.rowCount(), 1);
    f.state->lock();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(GroupRowDelegate, IndentStopsAtTheFourthLevel) {
    const std::pair<int, qreal> cases[] = {{0, 4}, {1, 16}, {2, 28}, {3, 40}, {4, 52}, {6, 52}, {40, 52}};
    for (const auto& [depth, indent] : cases) EXPECT_EQ(GroupRowDelegate::indent(depth), indent) << depth;
}

TEST(GroupTreeView, Header) {
    TreeFixture f;
    EXPECT_EQ(text(f.view.nameLabel()->text()), "Kasa");
    EXPECT_EQ(text(f.view.fileLabel()->text()), "kasa.kdbx");
    EXPECT_EQ(text(f.view.newGroupButton()->toolTip()), "Yeni grup (Ctrl+Shift+G)");
    f.state->setSelectedGroupID(f.sample.banks.id);
    f.view.newGroupButton()->click();
    EXPECT_EQ(f.state->route(), Route::newGroup(f.sample.banks.id));
    f.state->setSelectedGroupID(std::nullopt);
    f.view.newGroupButton()->click();
    EXPECT_EQ(f.state->route(), Route::newGroup(f.state->database()->root.id));

    // Locked: the fallback name, no file, an empty tree, and the button does nothing.
    f.state->closeDatabase();
    f.state->setRoute(std::nullopt);
    EXPECT_EQ(text(f.view.nameLabel()->text()), "Ombrix");
    EXPECT_EQ(text(f.view.fileLabel()->text()), "");
    EXPECT_EQ(f.view.model().rowCount(), 0);
    f.view.newGroupButton()->click();
    EXPECT_FALSE(f.state->route());
}

TEST(GroupTreeView, ClickSelectsTheGroupAndClearsTheEntrySelection) {
    TreeFixture f;
    f.state->setSelectedEntryIDs({f.sample.github.id});
    QTest::mouseClick(f.tree().viewport(), Qt::LeftButton, {}, f.rowCenter(f.sample.mail));
    EXPECT_EQ(f.state->selectedGroupID(), f.sample.mail.id);
    EXPECT_TRUE(f.state->selectedEntryIDs().empty());
}

TEST(GroupTreeView, ChevronOpensAndClosesWithoutAnUndoStep) {
    TreeFixture f;
    const QModelIndex banks = f.indexOf(f.sample.banks);
    EXPECT_TRUE(f.tree().isExpanded(banks));
    const GroupRowDelegate::Layout l = GroupRowDelegate::layout(f.tree().visualRect(banks), banks);
    QTest::mouseClick(f.tree().viewport(), Qt::LeftButton, {}, l.chevron.center().toPoint());
    EXPECT_FALSE(f.stored(f.sample.banks).isExpanded);
    EXPECT_FALSE(f.tree().isExpanded(f.indexOf(f.sample.banks)));
    EXPECT_FALSE(f.state->isDirty());
    EXPECT_FALSE(f.state->canUndo());
    EXPECT_EQ(f.state->selectedGroupID(), f.state->database()->root.id);  // the chevron selects nothing

    // The chevron slot of a group without subgroups is empty: a click there selects the group.
    const QModelIndex mail = f.indexOf(f.sample.mail);
    const GroupRowDelegate::Layout m = GroupRowDelegate::layout(f.tree().visualRect(mail), mail);
    QTest::mouseClick(f.tree().viewport(), Qt::LeftButton, {}, m.chevron.center().toPoint());
    EXPECT_EQ(f.state->selectedGroupID(), f.sample.mail.id);
}

TEST(GroupTreeView, ExpansionFollowsTheStoredFlagAndKeepsAHiddenSelection) {
    TreeFixture f;
    f.state->setSelectedGroupID(f.sample.cards.id);
    f.state->setGroupExpanded(f.sample.banks.id, false);
    EXPECT_FALSE(f.tree().isExpanded(f.indexOf(f.sample.banks)));
    EXPECT_EQ(f.state->selectedGroupID(), f.sample.cards.id);
    // The tree's own gestures report through the state.
    f.tree().expand(f.indexOf(f.sample.banks));
    EXPECT_TRUE(f.stored(f.sample.banks).isExpanded);
    EXPECT_FALSE(f.state->isDirty());
}

TEST(GroupTreeView, ContextMenus) {
    struct Case {
        const char* note;
        std::function<const KdbxGroup&(TreeFixture&)> group;
        const char* items;
        bool editable;
    };
    const Case cases[] = {
        {"the root", [](TreeFixture& f) -> const KdbxGroup& { return f.state->database()->root; },
         "Yeni kayıt|Yeni alt grup|—|Grubu düzenle|Grubu sil|—|Daralt", false},
        {"a group without subgroups", [](TreeFixture& f) -> const KdbxGroup& { return f.sample.mail; },
         "Yeni kayıt|Yeni alt grup|—|Grubu düzenle|Grubu sil", true},
        {"an open group with subgroups", [](TreeFixture& f) -> const KdbxGroup& { return f.sample.banks; },
         "Yeni kayıt|Yeni alt grup|—|Grubu düzenle|Grubu sil|—|Daralt", true},
    };
    for (const Case& c : cases) {
        TreeFixture f;
        const UUID id = c.group(f).id;
        const auto menu = f.tree().makeContextMenu(f.view.model().indexOf(id));
        EXPECT_EQ(actionTexts(*menu).join("|").toStdString(), c.items) << c.note;
        EXPECT_EQ(actionNamed(*menu, "Grubu düzenle")->isEnabled(), c.editable) << c.note;
        EXPECT_EQ(actionNamed(*menu, "Grubu sil")->isEnabled(), c.editable) << c.note;
        actionNamed(*menu, "Yeni kayıt")->trigger();
        EXPECT_EQ(f.state->route(), Route::newEntry(id)) << c.note;
        actionNamed(*menu, "Yeni alt grup")->trigger();
        EXPECT_EQ(f.state->route(), Route::newGroup(id)) << c.note;
    }

    TreeFixture f;
    {
        auto menu = f.tree().makeContextMenu(f.indexOf(f.sample.banks));
        actionNamed(*menu, "Grubu düzenle")->trigger();
        EXPECT_EQ(f.state->route(), Route::editGroup(f.sample.banks.id));
        actionNamed(*menu, "Daralt")->trigger();
        EXPECT_FALSE(f.stored(f.sample.banks).isExpanded);
        EXPECT_FALSE(f.state->canUndo());
    }
    {
        auto menu = f.tree().makeContextMenu(f.indexOf(f.sample.banks));
        ASSERT_NE(actionNamed(*menu, "Genişlet"), nullptr);
        actionNamed(*menu, "Grubu sil")->trigger();
        EXPECT_FALSE(GroupTree::findGroup(f.state->database()->root, f.sample.cards.id));
        EXPECT_EQ(f.state->undoLabel(), QStringLiteral("Grubu Sil"));
    }
}

TEST(GroupTreeView, DropsMoveEntriesIntoTheGroup) {
    struct Case {
        const char* note;
        std::function<QString(Fixture&)> payload;
        bool accepted;
        std::vector<std::string> cards;
    };
    const Case cases[] = {
        {"one entry", [](Fixture& f) { return uuidText(f.sample.github); }, true, {"GitHub", "Kredi kartı"}},
        {"several, one per line",
         [](Fixture& f) { return uuidText(f.sample.gmail) + "\n" + uuidText(f.sample.github); },
         true,
         {"GitHub", "Gmail", "Kredi kartı"}},
        {"a file name is refused",
         [](Fixture&) { return QStringLiteral("/home/ayse/parolalar.csv"); },
         false,
         {"Kredi kartı"}},
        {"an id that names no entry is accepted and moves nothing",
         [](Fixture&) { return QString::fromStdString(UUID::random().uuidString()); },
         true,
         {"Kredi kartı"}},
        {"an entry already there goes to the end",
         [](Fixture& f) { return uuidText(f.sample.card); },
         true,
         {"Kredi kartı"}},
    };
    for (const Case& c : cases) {
        TreeFixture f;
        EXPECT_EQ(drop(f.tree().viewport(), f.rowCenter(f.sample.cards), c.payload(f)), c.accepted) << c.note;
        // Entries moved together arrive in the order of their ids, so compare as sets.
        std::vector<std::string> titles = fakes::titles(f.stored(f.sample.cards));
        std::sort(titles.begin(), titles.end());
        EXPECT_EQ(titles, c.cards) << c.note;
        EXPECT_FALSE(f.tree().interaction().dropTarget) << c.note;
    }
}

TEST(GroupTreeView, DragOverARowTargetsIt) {
    TreeFixture f;
    QMimeData data;
    data.setText(QStringLiteral("metin"));
    QDragEnterEvent enter(f.rowCenter(f.sample.mail), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.tree().viewport(), &enter);
    EXPECT_EQ(f.tree().interaction().dropTarget, f.sample.mail.id);
    QDragLeaveEvent leave;
    QApplication::sendEvent(f.tree().viewport(), &leave);
    EXPECT_FALSE(f.tree().interaction().dropTarget);
}

TEST(GroupTreeView, CountsKeepTheirPlaceAsTheyChange) {
    // Digits of equal width: the count's first digit stays put when the number changes.
    TreeFixture f;
    const auto countStart = [&] {
        settle();
        const QImage shot = f.tree().viewport()->grab().toImage();
        const GroupRowDelegate::Layout l =
            GroupRowDelegate::layout(f.tree().visualRect(f.indexOf(f.sample.mail)), f.indexOf(f.sample.mail));
        return probe::inkColumns(shot, l.count.toAlignedRect(), Palette::surface).first;
    };
    for (int i = 0; i < 9; ++i) f.state->addEntry(fakes::entry("Ek"), f.sample.mail.id);
    ASSERT_EQ(f.indexOf(f.sample.mail).data(GroupTreeModel::EntryCountRole).toLongLong(), 11);
    const int eleven = countStart();
    for (int i = 0; i < 7; ++i) f.state->addEntry(fakes::entry("Ek"), f.sample.mail.id);
    ASSERT_EQ(f.indexOf(f.sample.mail).data(GroupTreeModel::EntryCountRole).toLongLong(), 18);
    EXPECT_EQ(countStart(), eleven);
}

TEST(GroupTreeView, ChevronTurnsAndChildRowsFadeWithTheThemesMotion) {
    TreeFixture f;
    probe::MotionOn on;
    const auto shot = [&] { return f.tree().viewport()->grab().toImage(); };
    const auto clickChevron = [&] {
        const QModelIndex banks = f.indexOf(f.sample.banks);
        const GroupRowDelegate::Layout l = GroupRowDelegate::layout(f.tree().visualRect(banks), banks);
        QTest::mouseClick(f.tree().viewport(), Qt::LeftButton, {}, l.chevron.center().toPoint());
        return l.chevron.toAlignedRect();
    };
    // The chevron's drawn shape: ">" is taller than wide, "v" wider than tall.
    const auto pointsDown = [&](const QRect& slot) {
        const QImage image = shot();
        QRect ink;
        for (int y = slot.top(); y <= slot.bottom(); ++y)
            for (int x = slot.left(); x <= slot.right(); ++x)
                if (!probe::colorNear(probe::pixel(image, x, y), Palette::surface, 24))
                    ink |= QRect(x, y, 1, 1);
        return ink.width() > ink.height();
    };
    const QRect cardsRow = f.tree().visualRect(f.indexOf(f.sample.cards));
    const int emptyRowTop = f.tree().visualRect(f.indexOf(f.sample.empty)).top();

    // Closing: the chevron starts turning from "v" and the child row fades out in place before
    // the rows below move up.
    QRect slot = clickChevron();
    EXPECT_FALSE(f.stored(f.sample.banks).isExpanded);
    EXPECT_TRUE(pointsDown(slot));
    EXPECT_EQ(f.tree().visualRect(f.indexOf(f.sample.empty)).top(), emptyRowTop);
    EXPECT_TRUE(probe::containsColor(shot(), cardsRow, Palette::textSoft, 24));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return f.tree().visualRect(f.indexOf(f.sample.empty)).top() < emptyRowTop; }, 2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !pointsDown(slot); }, 2000));

    // Opening: the child row comes in transparent and fades in; the chevron turns to "v".
    slot = clickChevron();
    EXPECT_TRUE(f.stored(f.sample.banks).isExpanded);
    EXPECT_FALSE(pointsDown(slot));
    EXPECT_FALSE(probe::containsColor(shot(), cardsRow, Palette::textSoft, 24));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return probe::containsColor(shot(), cardsRow, Palette::textSoft, 24); }, 2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return pointsDown(slot); }, 2000));
}

TEST(GroupTreeView, RowFillsFollowThePointerAndTheSelectionWithMotion) {
    TreeFixture f;
    probe::MotionOn on;
    const QModelIndex mail = f.indexOf(f.sample.mail);
    const GroupRowDelegate::Layout l = GroupRowDelegate::layout(f.tree().visualRect(mail), mail);
    const QPoint fill(qRound(l.background.left()) + 2, qRound(l.background.center().y()));
    const auto fillColor = [&] {
        const QImage image = f.tree().viewport()->grab().toImage();
        return probe::pixel(image, fill.x(), fill.y());
    };
    const QPointF at = f.rowCenter(f.sample.mail);
    QMouseEvent move(QEvent::MouseMove, at, f.tree().viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(f.tree().viewport(), &move);
    EXPECT_TRUE(probe::colorNear(fillColor(), Palette::surface));
    EXPECT_TRUE(QTest::qWaitFor([&] { return probe::colorNear(fillColor(), Palette::hover); }, 2000));
    f.state->setSelectedGroupID(f.sample.mail.id);
    EXPECT_TRUE(probe::colorNear(fillColor(), Palette::hover));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return probe::colorNear(fillColor(), probe::over(Palette::selection, Palette::surface)); },
        2000));
}

namespace {

std::string selectedName(TreeFixture& f) {
    const std::optional<KdbxGroup> group = f.state->selectedGroup();
    return group ? group->name : std::string("(yok)");
}

// Runs `drive` on the context menu once it pops up.
void onMenu(std::function<void(QMenu*)> drive) {
    QTimer::singleShot(0, [drive] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            ADD_FAILURE() << "no menu";
            return;
        }
        drive(menu);
    });
}

// Walks the open menu down to `item` and presses Return on it.
void choose(QMenu* menu, const QString& item) {
    for (int i = 0; i < 20 && (!menu->activeAction() || menu->activeAction()->text() != item); ++i)
        QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
}

}  // namespace

// Tab brings the keyboard into the tree; from there the groups are walked, opened, closed,
// edited, deleted and given subgroups without the mouse. The row that has the keyboard shows
// the focus ring.
TEST(GroupTreeView, KeysWorkTheTree) {
    TreeFixture f;
    QApplication::setActiveWindow(&f.view);
    f.state->setSelectedEntryIDs({f.sample.github.id});
    f.view.newGroupButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(f.view.newGroupButton(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), &f.tree());
    settle();

    struct Step {
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* selected;  // the selected group after the key
        std::function<void(TreeFixture&)> check;
        const char* note;
    };
    const auto none = [](TreeFixture&) {};
    const Step steps[] = {
        {Qt::Key_Down,
         {},
         "E-posta",
         [](TreeFixture& f) { EXPECT_TRUE(f.state->selectedEntryIDs().empty()); },
         "Down selects the next group"},
        {Qt::Key_Down, {}, "Bankalar", none, "and the next"},
        {Qt::Key_Left,
         {},
         "Bankalar",
         [](TreeFixture& f) { EXPECT_FALSE(f.stored(f.sample.banks).isExpanded); },
         "Left closes an open group"},
        {Qt::Key_Down, {}, "Boş grup", none, "Down skips the closed group's children"},
        {Qt::Key_Up, {}, "Bankalar", none, "Up"},
        {Qt::Key_Right,
         {},
         "Bankalar",
         [](TreeFixture& f) { EXPECT_TRUE(f.stored(f.sample.banks).isExpanded); },
         "Right opens a closed group"},
        {Qt::Key_Right, {}, "Kartlar", none, "Right on an open group goes to its first child"},
        {Qt::Key_Left, {}, "Bankalar", none, "Left on a child goes to its parent"},
        {Qt::Key_End, {}, "Boş grup", none, "End"},
        {Qt::Key_Home, {}, "Kasa", none, "Home"},
        {Qt::Key_F2,
         {},
         "Kasa",
         [](TreeFixture& f) { EXPECT_FALSE(f.state->route()); },
         "the root is not edited"},
        {Qt::Key_Delete, {}, "Kasa", [](TreeFixture& f) { EXPECT_FALSE(f.state->canUndo()); }, "nor deleted"},
        {Qt::Key_Down, {}, "E-posta", none, "back to a group"},
        {Qt::Key_F2,
         {},
         "E-posta",
         [](TreeFixture& f) {
             EXPECT_EQ(f.state->route(), Route::editGroup(f.sample.mail.id));
             f.state->setRoute(std::nullopt);
         },
         "F2 edits it"},
        {Qt::Key_Return,
         {},
         "E-posta",
         [](TreeFixture& f) {
             EXPECT_EQ(f.state->route(), Route::editGroup(f.sample.mail.id));
             f.state->setRoute(std::nullopt);
         },
         "so does Return"},
        {Qt::Key_Delete,
         {},
         "Kasa",
         [](TreeFixture& f) {
             EXPECT_EQ(f.state->undoLabel(), std::optional<QString>(QStringLiteral("Grubu Sil")));
             EXPECT_FALSE(GroupTree::findGroup(f.state->database()->root, f.sample.mail.id));
             EXPECT_EQ(QApplication::focusWidget(), &f.tree()) << "the keyboard stays in the tree";
         },
         "Delete deletes it; the root is selected"},
    };
    for (const Step& step : steps) {
        QTest::sendKeyEvent(QTest::Click, &f.tree(), Qt::Key(step.key), QString(), step.modifiers);
        settle();
        EXPECT_EQ(selectedName(f), step.selected) << step.note;
        step.check(f);
    }

    // The row with the keyboard wears the ring; without the keyboard it does not.
    const QRect row = f.tree()
                          .visualRect(f.indexOf(f.state->database()->root))
                          .translated(f.tree().viewport()->mapTo(&f.view, QPoint(0, 0)));
    const QColor selected = probe::over(Palette::selection, Palette::surface);
    const QColor ring = probe::over(withOpacity(Palette::accent, 0.35), selected);
    // The ring lies inside the row's rounded fill, 3 wide, along its bottom edge (the row keeps
    // one pixel below its fill free).
    const QRect band(row.center().x() - 20, row.bottom() - 3, 40, 2);
    EXPECT_TRUE(probe::containsColor(probe::render(f.view, Palette::surface), band, ring, 6))
        << "with the keyboard";
    f.view.newGroupButton()->setFocus(Qt::OtherFocusReason);
    settle();
    const QImage without = probe::render(f.view, Palette::surface);
    EXPECT_FALSE(probe::containsColor(without, band, ring, 6)) << "without it";
    EXPECT_TRUE(probe::containsColor(without, band, selected, 3)) << "the selection's fill stays";
}

// The Menu key and Shift+F10 open the row's context menu at the row that has the keyboard.
TEST(GroupTreeView, TheContextMenuOpensFromTheKeyboard) {
    for (const MenuKey& c : contextMenuKeys) {
        TreeFixture f;
        QApplication::setActiveWindow(&f.view);
        f.state->setSelectedGroupID(f.sample.banks.id);
        f.tree().setFocus(Qt::TabFocusReason);
        settle();
        QStringList items;
        QPoint shownAt;
        onMenu([&](QMenu* menu) {
            items = actionTexts(*menu);
            shownAt = menu->pos();
            choose(menu, QStringLiteral("Yeni alt grup"));
        });
        QTest::sendKeyEvent(QTest::Click, &f.tree(), c.key, QString(), c.modifiers);
        settle();
        EXPECT_EQ(items.join("|").toStdString(),
                  "Yeni kayıt|Yeni alt grup|—|Grubu düzenle|Grubu sil|—|Daralt")
            << c.note;
        EXPECT_EQ(f.state->route(), Route::newGroup(f.sample.banks.id)) << c.note;
        const QRect row = f.tree().visualRect(f.indexOf(f.sample.banks));
        const QRect rowOnScreen(f.tree().viewport()->mapToGlobal(row.topLeft()), row.size());
        EXPECT_TRUE(
            rowOnScreen.adjusted(0, -2, 0, 2).contains(QPoint(rowOnScreen.center().x(), shownAt.y())) ||
            rowOnScreen.contains(shownAt))
            << c.note << ": the menu opens at the row";
    }
}
