#include <gtest/gtest.h>

#include <QLabel>

#include "EditorFixture.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/AppSwitch.h"
#include "OmbrixTheme/Card.h"
#include "OmbrixUI/ErrorBanner.h"
#include "OmbrixUI/GroupEditView.h"
#include "OmbrixUI/IconPicker.h"
#include "OmbrixUI/NotesEditor.h"

using namespace std::chrono_literals;
using editortest::click;
using editortest::press;
using editortest::replace;
using editortest::type;
using editortest::Vault;
using Mode = GroupEditView::Mode;

namespace {

GroupEditView* newGroupSheet(Vault& v, const UUID& parentID) {
    return v.present(new GroupEditView(*v.state, Mode::create(parentID), v.mainWindow.get()),
                     Route::newGroup(parentID));
}

GroupEditView* editSheet(Vault& v, const UUID& id) {
    return v.present(new GroupEditView(*v.state, Mode::edit(v.group(id)), v.mainWindow.get()),
                     Route::editGroup(id));
}

}  // namespace

TEST(GroupEditView, CreatingAppendsTheGroupUnderItsParentAndSelectsIt) {
    Vault v;
    v.state->setGroupExpanded(v.personal, false);
    GroupEditView* sheet = newGroupSheet(v, v.personal);
    EXPECT_EQ(sheet->title(), QStringLiteral("Yeni grup"));
    EXPECT_EQ(sheet->confirmTitle(), QStringLiteral("Oluştur"));
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->iconPicker()->iconID(), 48);
    EXPECT_EQ(sheet->deleteZone(), nullptr);
    EXPECT_FALSE(sheet->sequenceBlock()->isVisible());
    EXPECT_FALSE(sheet->isConfirmEnabled());

    type(sheet->nameField(), QStringLiteral(" \t"));
    EXPECT_EQ(sheet->subtitle(), QStringLiteral(" \t"));
    EXPECT_FALSE(sheet->isConfirmEnabled());
    type(sheet->nameField(), QStringLiteral("Bankacılık "));
    EXPECT_EQ(sheet->subtitle(), QStringLiteral(" \tBankacılık "));
    EXPECT_TRUE(sheet->isConfirmEnabled());
    sheet->notesEditor()->textEdit()->setFocus();
    editortest::keys(sheet->notesEditor()->textEdit(), QStringLiteral(" hesaplar"));
    press(sheet, Qt::Key_Return);  // a line break in the notes
    EXPECT_TRUE(sheet->isVisible());
    click(sheet->sequenceSwitch());
    EXPECT_TRUE(sheet->sequenceBlock()->isVisible());
    EXPECT_EQ(sheet->sequenceField()->lineEdit()->text(), QStringLiteral("{USERNAME}{TAB}{PASSWORD}{ENTER}"));

    sheet->nameField()->lineEdit()->setFocus();
    press(sheet, Qt::Key_Return);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(v.state->route(), std::nullopt);
    EXPECT_EQ(v.state->undoLabel(), QStringLiteral("Grup Ekle"));
    const KdbxGroup& parent = v.group(v.personal);
    EXPECT_TRUE(parent.isExpanded);
    ASSERT_EQ(parent.groups.size(), 2u);
    const KdbxGroup& added = parent.groups[1];  // after the existing subgroup
    EXPECT_EQ(v.state->selectedGroupID(), added.id);
    EXPECT_EQ(added.name, "Bankacılık");
    EXPECT_EQ(added.notes, " hesaplar\n");
    EXPECT_EQ(added.iconID, 48);
    EXPECT_EQ(added.defaultAutoTypeSequence, std::optional<std::string>("{USERNAME}{TAB}{PASSWORD}{ENTER}"));
    EXPECT_TRUE(added.isExpanded);
    EXPECT_TRUE(added.entries.empty());
    EXPECT_EQ(added.created, added.modified);
}

TEST(GroupEditView, EditingChangesNameNotesIconAndSequenceOnly) {
    struct Case {
        std::optional<std::string> stored;
        std::optional<bool> useSequence;  // flip the switch to this
        std::optional<QString> typed;     // replace the field's text
        std::optional<std::string> expected;
        const char* note;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, "none stays none"},
        {std::nullopt, true, std::nullopt, "{USERNAME}{TAB}{PASSWORD}{ENTER}",
         "switched on: the built-in one"},
        {"{PASSWORD}", std::nullopt, QString(), "", "cleared with the switch on: empty"},
        {"{PASSWORD}", false, std::nullopt, std::nullopt, "switched off: removed"},
        {"{PASSWORD}", std::nullopt, QStringLiteral("{TAB}{PASSWORD} "), "{TAB}{PASSWORD} ",
         "typed: as typed"},
    };
    for (const Case& c : cases) {
        Vault v;
        KdbxGroup stored = v.group(v.personal);
        stored.defaultAutoTypeSequence = c.stored;
        v.state->update(stored);
        v.h.tick(60s);
        GroupEditView* sheet = editSheet(v, v.personal);
        EXPECT_EQ(sheet->title(), QStringLiteral("Grubu düzenle")) << c.note;
        EXPECT_EQ(sheet->confirmTitle(), QStringLiteral("Kaydet")) << c.note;
        EXPECT_EQ(sheet->subtitle(), QStringLiteral("Kişisel")) << c.note;
        EXPECT_EQ(sheet->sequenceSwitch()->isChecked(), c.stored.has_value()) << c.note;
        EXPECT_EQ(sheet->sequenceField()->lineEdit()->text(),
                  QString::fromStdString(c.stored.value_or("{USERNAME}{TAB}{PASSWORD}{ENTER}")))
            << c.note;

        replace(sheet->nameField(), QStringLiteral("  Aile "));
        sheet->notesEditor()->setText(QStringLiteral("ortak "));
        sheet->iconPicker()->setIconID(62);
        if (c.useSequence && *c.useSequence != sheet->sequenceSwitch()->isChecked())
            click(sheet->sequenceSwitch());
        if (c.typed) replace(sheet->sequenceField(), *c.typed);
        click(sheet->confirmButton());

        EXPECT_FALSE(sheet->isVisible()) << c.note;
        EXPECT_EQ(v.state->route(), std::nullopt) << c.note;
        EXPECT_EQ(v.state->undoLabel(), QStringLiteral("Grubu Düzenle")) << c.note;
        const KdbxGroup& g = v.group(v.personal);
        EXPECT_EQ(g.name, "Aile") << c.note;
        EXPECT_EQ(g.notes, "ortak ") << c.note;
        EXPECT_EQ(g.iconID, 62) << c.note;
        EXPECT_EQ(g.defaultAutoTypeSequence, c.expected) << c.note;
        EXPECT_EQ(g.modified, *v.h.clock) << c.note;
        EXPECT_EQ(g.entries.size(), 2u) << c.note;
        EXPECT_EQ(g.groups.size(), 1u) << c.note;
    }
}

TEST(GroupEditView, EscapeAndCancelCloseWithoutAChange) {
    for (bool editing : {false, true}) {
        Vault v;
        GroupEditView* sheet = editing ? editSheet(v, v.work) : newGroupSheet(v, v.work);
        type(sheet->nameField(), QStringLiteral("Yeni"));
        if (editing) {
            press(sheet, Qt::Key_Escape);
        } else {
            click(sheet->cancelButton());
        }
        EXPECT_FALSE(sheet->isVisible()) << editing;
        EXPECT_EQ(sheet->result(), QDialog::Rejected) << editing;
        EXPECT_EQ(v.state->route(), std::nullopt) << editing;
        EXPECT_FALSE(v.state->canUndo()) << editing;
        EXPECT_EQ(v.group(v.work).name, "İş") << editing;
        EXPECT_TRUE(v.group(v.work).groups.empty()) << editing;
    }
}

TEST(GroupEditView, TheDeleteZoneCountsEveryEntryBelowAndDeletesAtOnce) {
    Vault v;
    EXPECT_EQ(editSheet(v, v.root)->deleteZone(), nullptr) << "the root";

    struct Case {
        UUID id;
        QString note;
    };
    const Case cases[] = {
        {v.personal, QStringLiteral("3 kayıt ve tüm alt gruplar silinir.")},
        {v.old, QStringLiteral("1 kayıt ve tüm alt gruplar silinir.")},
        {v.work, QStringLiteral("0 kayıt ve tüm alt gruplar silinir.")},
    };
    for (const Case& c : cases) {
        GroupEditView* sheet = editSheet(v, c.id);
        ASSERT_NE(sheet->deleteZone(), nullptr);
        EXPECT_TRUE(sheet->deleteZone()->isVisible());
        EXPECT_EQ(sheet->deleteButton()->text(), QStringLiteral("Grubu sil"));
        EXPECT_EQ(sheet->deleteButton()->variant(), ButtonVariant::danger);
        EXPECT_EQ(sheet->deleteNote()->text(), c.note);
        sheet->done(QDialog::Rejected);
    }

    GroupEditView* sheet = editSheet(v, v.personal);
    v.state->setSelectedGroupID(v.personal);
    click(sheet->deleteButton());
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(v.state->route(), std::nullopt);
    EXPECT_EQ(v.state->undoLabel(), QStringLiteral("Grubu Sil"));
    EXPECT_EQ(v.state->selectedGroupID(), v.root);
    EXPECT_EQ(GroupTree::findGroup(v.state->database()->root, v.personal), nullptr);
    EXPECT_EQ(GroupTree::totalEntryCount(v.state->database()->root), 1);
    v.state->undo();
    EXPECT_NE(GroupTree::findGroup(v.state->database()->root, v.personal), nullptr);
}

TEST(GroupEditView, AddingUnderAVanishedParentKeepsTheSheetOpenWithTheError) {
    Vault v;
    GroupEditView* sheet = newGroupSheet(v, v.old);
    v.state->deleteGroup(v.old);
    v.state->setRoute(Route::newGroup(v.old));
    type(sheet->nameField(), QStringLiteral("Yeni"));
    press(sheet, Qt::Key_Return);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->errorBanner()->isVisible());
    ASSERT_TRUE(v.state->lastError());
    EXPECT_EQ(sheet->errorBanner()->message(), *v.state->lastError());
    EXPECT_EQ(v.state->route(), Route::newGroup(v.old));
    EXPECT_EQ(v.state->undoLabel(), QStringLiteral("Grubu Sil"));
    EXPECT_EQ(sheet->nameField()->lineEdit()->text(), QStringLiteral("Yeni"));
}
