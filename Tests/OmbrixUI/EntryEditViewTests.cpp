#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <chrono>

#include "EditorFixture.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/AppSwitch.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/EntryEditView.h"
#include "OmbrixUI/ErrorBanner.h"
#include "OmbrixUI/IconPicker.h"
#include "OmbrixUI/NotesEditor.h"
#include "OmbrixUI/SecretField.h"
#include "OmbrixUI/StrengthMeter.h"
#include "Support/WidgetProbe.h"

using namespace std::chrono_literals;
using editortest::click;
using editortest::press;
using editortest::replace;
using editortest::type;
using editortest::Vault;
using Mode = EntryEditView::Mode;

namespace {

Timestamp systemNow() {
    return std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
}

EntryEditView* newEntrySheet(Vault& v, const UUID& groupID) {
    return v.present(new EntryEditView(*v.state, v.h.preferences, Mode::create(groupID), v.mainWindow.get()),
                     Route::newEntry(groupID));
}

EntryEditView* editSheet(Vault& v, const std::string& title) {
    const KdbxEntry entry = v.entry(title);
    return v.present(new EntryEditView(*v.state, v.h.preferences, Mode::edit(entry), v.mainWindow.get()),
                     Route::editEntry(entry.id));
}

// A stand-in for the generator sheet: "Kullan" hands over its password and closes it.
class FakeGenerator : public QDialog {
  public:
    FakeGenerator(QWidget* over, EntryEditView::PasswordSink deliver)
        : QDialog(over), deliver_(std::move(deliver)) {
        use = new QPushButton(QStringLiteral("Kullan"), this);
        connect(use, &QPushButton::clicked, this, [this] {
            deliver_(QStringLiteral("Gen-9#xQ2!vb"));
            done(QDialog::Accepted);
        });
        resize(300, 200);
    }
    QPushButton* use;

  private:
    EntryEditView::PasswordSink deliver_;
};

}  // namespace

TEST(EntryEditView, CreatingTypesEveryFieldAndReturnAddsTheEntry) {
    Vault v;
    EntryEditView* sheet = newEntrySheet(v, v.work);
    EXPECT_EQ(sheet->title(), QStringLiteral("Yeni kayıt"));
    EXPECT_EQ(sheet->confirmTitle(), QStringLiteral("Oluştur"));
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_FALSE(sheet->isConfirmEnabled());
    EXPECT_EQ(sheet->subtitle(), std::nullopt);
    EXPECT_TRUE(sheet->autoTypeSwitch()->isChecked());
    EXPECT_FALSE(sheet->customSequenceSwitch()->isChecked());
    EXPECT_FALSE(sheet->expiryPicker()->isVisible());
    EXPECT_TRUE(sheet->noFieldsLabel()->isVisible());
    EXPECT_EQ(sheet->defaultSequenceLabel()->text(),
              QStringLiteral("Varsayılan: {USERNAME}{TAB}{PASSWORD}{ENTER}"));

    // A title of spaces alone shows in the subtitle but cannot be confirmed.
    type(sheet->titleField(), QStringLiteral("  "));
    EXPECT_EQ(sheet->subtitle(), QStringLiteral("  "));
    EXPECT_FALSE(sheet->isConfirmEnabled());
    press(sheet, Qt::Key_Return);
    EXPECT_TRUE(sheet->isVisible());
    type(sheet->titleField(), QStringLiteral("GitHub "));
    EXPECT_EQ(sheet->subtitle(), QStringLiteral("  GitHub "));
    EXPECT_TRUE(sheet->isConfirmEnabled());

    type(sheet->usernameField(), QStringLiteral(" ayse "));
    sheet->passwordField()->lineEdit()->setFocus();
    editortest::keys(sheet->passwordField()->lineEdit(), QStringLiteral("s3cr3t!"));
    EXPECT_GT(sheet->strengthMeter()->length(), 0);
    type(sheet->urlField(), QStringLiteral(" github.com "));
    type(sheet->tagsField(), QStringLiteral(" iş , kritik;; ev ,"));
    sheet->iconPicker()->setIconID(20);
    click(sheet->expiresSwitch());
    EXPECT_TRUE(sheet->expiryPicker()->isVisible());
    click(sheet->customSequenceSwitch());
    EXPECT_TRUE(sheet->sequenceBlock()->isVisible());
    EXPECT_FALSE(sheet->defaultSequenceLabel()->isVisible());
    click(sheet->addFieldButton());
    ASSERT_EQ(sheet->customFieldRows().size(), 1);
    EntryEditView::CustomFieldRow* row = sheet->customFieldRows().front();
    EXPECT_TRUE(row->nameField()->lineEdit()->hasFocus());
    type(row->nameField(), QStringLiteral(" PIN "));
    type(row->valueField(), QStringLiteral("4821"));
    click(row->lockButton());
    EXPECT_EQ(row->valueField()->lineEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(row->lockButton()->toolTip(), QStringLiteral("Korumalı alan"));
    sheet->notesEditor()->textEdit()->setFocus();
    editortest::keys(sheet->notesEditor()->textEdit(), QStringLiteral("satır 1"));
    press(sheet, Qt::Key_Return);  // a new line in the notes, not the confirm button
    EXPECT_TRUE(sheet->isVisible());
    editortest::keys(sheet->notesEditor()->textEdit(), QStringLiteral("satır 2 "));

    sheet->titleField()->lineEdit()->setFocus();
    const Timestamp before = systemNow();
    press(sheet, Qt::Key_Return);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(v.state->route(), std::nullopt);
    EXPECT_EQ(v.state->undoLabel(), QStringLiteral("Kayıt Ekle"));

    ASSERT_EQ(v.group(v.work).entries.size(), 1u);
    const KdbxEntry& e = v.group(v.work).entries[0];
    EXPECT_EQ(v.state->selectedEntryIDs(), UUIDSet{e.id});
    EXPECT_EQ(e.title, "GitHub");
    EXPECT_EQ(e.username, " ayse ");
    EXPECT_EQ(e.password.value(), "s3cr3t!");
    EXPECT_EQ(e.url, "github.com");
    EXPECT_EQ(e.notes, "satır 1\nsatır 2 ");
    EXPECT_EQ(e.iconID, 20);
    EXPECT_EQ(e.tags, (std::vector<std::string>{"iş", "kritik", "ev"}));
    EXPECT_EQ(e.customFields, (std::map<std::string, KdbxFieldValue>{{"PIN", "4821"}}));
    EXPECT_EQ(e.protectedCustomFields, std::set<std::string>{"PIN"});
    EXPECT_TRUE(e.autoTypeEnabled);
    EXPECT_EQ(e.autoTypeSequence, std::optional<std::string>("{USERNAME}{TAB}{PASSWORD}{ENTER}"));
    EXPECT_TRUE(e.expires);
    ASSERT_TRUE(e.expiryTime);
    // One year after the sheet opened (the picker shows minutes; seconds are kept).
    EXPECT_LE(*e.expiryTime - before, 365 * 24h + 5s);
    EXPECT_GE(*e.expiryTime - before, 365 * 24h - 5s);
    EXPECT_GE(e.created, before - 5s);
    EXPECT_EQ(e.created, e.modified);
    EXPECT_TRUE(e.historyItems.empty());
}

TEST(EntryEditView, EditingLoadsTheEntryAndKeepsWhatTheFormDoesNotShow) {
    KdbxEntry banka = fakes::entry("Banka", "ayse", "https://banka.example");
    banka.password = SecureString("eski-parola");
    banka.tags = {"x", "y"};
    banka.iconID = 29;
    banka.customFields = {{"b", "2"}, {"A", "1"}, {"a", "3"}};
    // Protection marks of the standard fields travel with the entry, not with the rows.
    banka.protectedCustomFields = {"Title", "Notes", "a", "b", "ghost"};
    banka.autoTypeWindowAssociations = {{"*Banka*", std::nullopt}};
    banka.unknownXML = {"<Foreground>#FF0000</Foreground>"};
    // Untouched notes are stored as they were, line breaks and no-break spaces alike.
    banka.notes =
        "Şube\xC2\xA0"
        "12\r\nIBAN";
    KdbxEntry older = banka;
    older.title = "Banka (eski)";
    banka.historyItems = CowList<KdbxEntry>(std::vector<KdbxEntry>{older});
    Vault v(banka);
    v.h.preferences.setDefaultAutoTypeSequence(QStringLiteral("{PASSWORD}{ENTER}"));
    v.h.tick(60s);

    EntryEditView* sheet = editSheet(v, "Banka");
    EXPECT_EQ(sheet->title(), QStringLiteral("Kaydı düzenle"));
    EXPECT_EQ(sheet->confirmTitle(), QStringLiteral("Kaydet"));
    EXPECT_EQ(sheet->subtitle(), QStringLiteral("Banka"));
    EXPECT_EQ(sheet->passwordField()->text(), QStringLiteral("eski-parola"));
    EXPECT_FALSE(sheet->passwordField()->isRevealed());
    EXPECT_EQ(sheet->tagsField()->lineEdit()->text(), QStringLiteral("x, y"));
    EXPECT_EQ(sheet->iconPicker()->iconID(), 29);
    EXPECT_FALSE(sheet->customSequenceSwitch()->isChecked());
    EXPECT_EQ(sheet->sequenceField()->lineEdit()->text(), QStringLiteral("{PASSWORD}{ENTER}"));
    EXPECT_EQ(sheet->defaultSequenceLabel()->text(), QStringLiteral("Varsayılan: {PASSWORD}{ENTER}"));
    QStringList names;
    for (auto* row : sheet->customFieldRows())
        names << row->name() + "=" + row->value() + (row->isProtected() ? "*" : "");
    EXPECT_EQ(names, (QStringList{"A=1", "a=3*", "b=2*"}));

    // Unprotect a, delete b, rename the entry.
    click(sheet->customFieldRows()[1]->lockButton());
    click(sheet->customFieldRows()[2]->deleteButton());
    EXPECT_EQ(sheet->customFieldRows().size(), 2);
    replace(sheet->titleField(), QStringLiteral("Banka 2"));
    click(sheet->confirmButton());

    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(v.state->route(), std::nullopt);
    EXPECT_EQ(v.state->undoLabel(), QStringLiteral("Kaydı Düzenle"));
    const KdbxEntry e = v.entry("Banka 2");
    EXPECT_EQ(e.id, banka.id);
    EXPECT_EQ(e.modified, *v.h.clock);
    EXPECT_EQ(e.password.value(), "eski-parola");
    EXPECT_EQ(e.tags, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(e.customFields, (std::map<std::string, KdbxFieldValue>{{"A", "1"}, {"a", "3"}}));
    EXPECT_EQ(e.protectedCustomFields, (std::set<std::string>{"Notes", "Title"}));
    EXPECT_EQ(e.autoTypeSequence, std::nullopt);
    EXPECT_EQ(e.unknownXML, banka.unknownXML);
    EXPECT_EQ(e.notes, banka.notes);
    EXPECT_EQ(e.autoTypeWindowAssociations, banka.autoTypeWindowAssociations);
    ASSERT_EQ(e.historyItems.size(), 2u);
    EXPECT_EQ(e.historyItems[0].title, "Banka (eski)");
    EXPECT_EQ(e.historyItems[1].title, "Banka");
}

TEST(EntryEditView, ValuesLongerThanALineEditsDefaultLimitSurviveSaving) {
    // A line edit keeps 32767 characters unless told otherwise.
    const std::string longText(40000, 'k');
    KdbxEntry banka = fakes::entry("Banka", longText, "https://" + longText);
    banka.password = SecureString(longText);
    banka.customFields = {{"Sertifika", longText}, {"Anahtar", longText}};
    banka.protectedCustomFields = {"Anahtar"};
    Vault v(banka);

    EntryEditView* sheet = editSheet(v, "Banka");
    click(sheet->confirmButton());

    ASSERT_FALSE(sheet->isVisible());
    const KdbxEntry e = v.entry("Banka");
    EXPECT_EQ(e.username.size(), longText.size());
    EXPECT_EQ(e.url.size(), banka.url.size());
    EXPECT_EQ(e.password.value().size(), longText.size());
    EXPECT_EQ(e.customFields.at("Sertifika").value().size(), longText.size());
    EXPECT_EQ(e.customFields.at("Anahtar").value().size(), longText.size());
}

TEST(EntryEditView, EscapeAndCancelCloseWithoutAChange) {
    for (bool editing : {false, true}) {
        Vault v;
        EntryEditView* sheet = editing ? editSheet(v, "Banka") : newEntrySheet(v, v.personal);
        type(sheet->titleField(), QStringLiteral("Yeni ad"));
        click(sheet->addFieldButton());
        type(sheet->customFieldRows().front()->nameField(), QStringLiteral("PIN"));
        if (editing) {
            press(sheet, Qt::Key_Escape);
        } else {
            click(sheet->cancelButton());
        }
        EXPECT_FALSE(sheet->isVisible()) << editing;
        EXPECT_EQ(sheet->result(), QDialog::Rejected) << editing;
        EXPECT_EQ(v.state->route(), std::nullopt) << editing;
        EXPECT_FALSE(v.state->canUndo()) << editing;
        EXPECT_FALSE(v.state->isDirty()) << editing;
        EXPECT_EQ(v.group(v.personal).entries.size(), 2u) << editing;
        EXPECT_EQ(v.group(v.personal).entries[0].title, "Banka") << editing;
    }
}

TEST(EntryEditView, ACustomFieldMayNotTakeAStandardNameOrAnotherFieldsName) {
    struct Case {
        QStringList names;
        QList<bool> rowsWithProblem;
        const char* note;
    };
    const Case cases[] = {
        {{"PIN", "Kod"}, {false, false}, "distinct names"},
        {{"Title"}, {true}, "a standard name"},
        {{" URL\t"}, {true}, "a standard name with spaces around it"},
        {{"Password", "Notes", "UserName"}, {true, true, true}, "the other standard names"},
        {{"title", "url"}, {false, false}, "names compare case-sensitively"},
        {{"PIN", " PIN "}, {true, true}, "two fields of one name"},
        {{"", " "}, {false, false}, "unnamed rows are dropped, not refused"},
    };
    for (const Case& c : cases) {
        Vault v;
        EntryEditView* sheet = newEntrySheet(v, v.work);
        type(sheet->titleField(), QStringLiteral("Kayıt"));
        for (const QString& name : c.names) {
            sheet->addCustomField();
            type(sheet->customFieldRows().back()->nameField(), name);
        }
        const bool anyProblem = c.rowsWithProblem.contains(true);
        EXPECT_EQ(sheet->isConfirmEnabled(), !anyProblem) << c.note;
        for (int i = 0; i < c.names.size(); ++i) {
            const auto* row = sheet->customFieldRows()[i];
            EXPECT_EQ(!row->problem().isEmpty(), c.rowsWithProblem[i]) << c.note << " row " << i;
            EXPECT_EQ(row->problemLabel()->isVisible(), c.rowsWithProblem[i]) << c.note << " row " << i;
        }
        sheet->titleField()->lineEdit()->setFocus();
        press(sheet, Qt::Key_Return);
        EXPECT_EQ(sheet->isVisible(), anyProblem) << c.note;
        EXPECT_EQ(v.group(v.work).entries.size(), anyProblem ? 0u : 1u) << c.note;
    }

    Vault v;
    EntryEditView* sheet = newEntrySheet(v, v.work);
    type(sheet->titleField(), QStringLiteral("Kayıt"));
    sheet->addCustomField();
    type(sheet->customFieldRows()[0]->nameField(), QStringLiteral("Title"));
    EXPECT_EQ(sheet->customFieldRows()[0]->problem(),
              QStringLiteral("“Title” standart bir alanın adı; başka bir ad seçin."));
    sheet->addCustomField();
    type(sheet->customFieldRows()[1]->nameField(), QStringLiteral("Title"));
    EXPECT_EQ(sheet->customFieldRows()[1]->problem(), sheet->customFieldRows()[0]->problem());
    replace(sheet->customFieldRows()[0]->nameField(), QStringLiteral("Kod"));
    replace(sheet->customFieldRows()[1]->nameField(), QStringLiteral("Kod"));
    EXPECT_EQ(sheet->customFieldRows()[0]->problem(),
              QStringLiteral("Bu ad başka bir özel alanda da kullanılıyor; her alanın adı farklı olmalı."));
    EXPECT_FALSE(sheet->isConfirmEnabled());
    // Deleting one of the two frees the name.
    click(sheet->customFieldRows()[1]->deleteButton());
    EXPECT_TRUE(sheet->customFieldRows()[0]->problem().isEmpty());
    EXPECT_TRUE(sheet->isConfirmEnabled());
}

TEST(EntryEditView, TagsSplitAtCommasAndSemicolons) {
    struct Case {
        QString text;
        std::vector<std::string> tags;
        const char* note;
    };
    const Case cases[] = {
        {"", {}, "empty"},
        {"iş", {"iş"}, "one tag"},
        {" iş , kritik ,, ev ,", {"iş", "kritik", "ev"}, "spaces, an empty piece and a trailing comma"},
        {"iş;kritik; ev", {"iş", "kritik", "ev"}, "semicolons"},
        {"a, b; a", {"a", "b", "a"}, "repeats and order stay"},
        {"\tçok  kelimeli etiket\t", {"çok  kelimeli etiket"}, "inner spaces stay"},
        {" ; , ", {}, "only separators"},
    };
    for (const Case& c : cases) EXPECT_EQ(EntryEditView::splitTags(c.text), c.tags) << c.note;
}

TEST(EntryEditView, AddingToAVanishedGroupKeepsTheSheetOpenWithTheError) {
    Vault v;
    const UUID gone = v.old;
    EntryEditView* sheet = newEntrySheet(v, gone);
    v.state->deleteGroup(gone);
    v.state->setRoute(Route::newEntry(gone));  // deleting does not close a sheet
    type(sheet->titleField(), QStringLiteral("Önemli kayıt"));
    sheet->passwordField()->setText(QStringLiteral("kaybolmasın"));
    EXPECT_FALSE(sheet->errorBanner()->isVisible());
    press(sheet, Qt::Key_Return);

    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->errorBanner()->isVisible());
    ASSERT_TRUE(v.state->lastError());
    EXPECT_EQ(sheet->errorBanner()->message(), *v.state->lastError());
    EXPECT_EQ(v.state->route(), Route::newEntry(gone));
    EXPECT_EQ(v.state->undoLabel(), QStringLiteral("Grubu Sil"));
    EXPECT_EQ(sheet->titleField()->lineEdit()->text(), QStringLiteral("Önemli kayıt"));
    EXPECT_EQ(sheet->passwordField()->text(), QStringLiteral("kaybolmasın"));
}

TEST(EntryEditView, TheGeneratorOpensOverTheEditorAndFillsThePassword) {
    Vault v;
    EntryEditView* sheet = editSheet(v, "Banka");
    type(sheet->usernameField(), QStringLiteral("-yeni"));

    // Until the shell wires the generator the button opens nothing.
    click(sheet->openGeneratorButton());
    EXPECT_EQ(sheet->generatorDialog(), nullptr);
    EXPECT_TRUE(sheet->findChildren<QDialog*>().isEmpty());

    QPointer<FakeGenerator> generator;
    sheet->setGeneratorFactory([&](QWidget* editor, EntryEditView::PasswordSink deliver) {
        generator = new FakeGenerator(editor, std::move(deliver));
        return generator.data();
    });
    click(sheet->openGeneratorButton());
    ASSERT_TRUE(generator);
    EXPECT_EQ(sheet->generatorDialog(), generator.data());
    EXPECT_TRUE(generator->isVisible());
    EXPECT_EQ(generator->parentWidget(), sheet);
    EXPECT_EQ(generator->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(v.state->route(), Route::editEntry(v.entry("Banka").id));

    // Closed without a choice: the editor is as it was.
    QTest::keyClick(generator, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(sheet->generatorDialog(), nullptr);
    EXPECT_EQ(sheet->passwordField()->text(), QString());

    click(sheet->openGeneratorButton());
    ASSERT_TRUE(generator);
    click(generator->use);
    EXPECT_FALSE(generator && generator->isVisible());
    EXPECT_EQ(sheet->passwordField()->text(), QStringLiteral("Gen-9#xQ2!vb"));
    EXPECT_TRUE(sheet->passwordField()->isRevealed());
    EXPECT_EQ(sheet->usernameField()->lineEdit()->text(), QStringLiteral("ayse-yeni"));
    EXPECT_TRUE(sheet->isVisible());

    click(sheet->confirmButton());
    const KdbxEntry e = v.entry("Banka");
    EXPECT_EQ(e.password.value(), "Gen-9#xQ2!vb");
    EXPECT_EQ(e.username, "ayse-yeni");

    // Closing the editor closes a generator still open over it.
    Vault w;
    EntryEditView* other = newEntrySheet(w, w.work);
    other->setGeneratorFactory([&](QWidget* editor, EntryEditView::PasswordSink deliver) {
        generator = new FakeGenerator(editor, std::move(deliver));
        return generator.data();
    });
    click(other->openGeneratorButton());
    ASSERT_TRUE(generator && generator->isVisible());
    other->done(QDialog::Rejected);
    EXPECT_FALSE(generator && generator->isVisible());
}

TEST(EntryEditView, QuickGenerateUsesTheSavedOptions) {
    Vault v;
    PasswordGenerator::Options digits;
    digits.length = 12;
    digits.upper = digits.lower = digits.symbols = false;
    v.h.preferences.setGeneratorOptions(digits);
    EntryEditView* sheet = newEntrySheet(v, v.work);
    click(sheet->generateButton());
    const QString generated = sheet->passwordField()->text();
    EXPECT_EQ(generated.size(), 12);
    EXPECT_TRUE(std::all_of(generated.begin(), generated.end(), [](QChar c) { return c.isDigit(); }));
    EXPECT_TRUE(sheet->passwordField()->isRevealed());
    EXPECT_EQ(sheet->strengthMeter()->length(), 12);

    // With no class enabled the generator gives nothing, and the field is emptied.
    digits.digits = false;
    v.h.preferences.setGeneratorOptions(digits);
    click(sheet->generateButton());
    EXPECT_EQ(sheet->passwordField()->text(), QString());
}

TEST(EntryEditView, AutoTypeSwitchesDecideTheStoredSequence) {
    struct Case {
        std::optional<std::string> stored;
        bool autoTypeOff;
        std::optional<bool> useSequence;  // flip the switch to this
        std::optional<QString> typed;     // replace the field's text
        std::optional<std::string> expected;
        const char* note;
    };
    const Case cases[] = {
        {std::nullopt, false, true, std::nullopt, "{PASSWORD}", "switched on: the preference's sequence"},
        {"{USERNAME}", false, std::nullopt, QString(), "", "cleared with the switch on: empty"},
        {"{USERNAME}", false, false, std::nullopt, std::nullopt, "switched off: removed"},
        {"{USERNAME}", true, std::nullopt, std::nullopt, "{USERNAME}", "auto-type off keeps the sequence"},
    };
    for (const Case& c : cases) {
        KdbxEntry banka = fakes::entry("Banka");
        banka.autoTypeSequence = c.stored;
        Vault v(banka);
        v.h.preferences.setDefaultAutoTypeSequence(QStringLiteral("{PASSWORD}"));
        EntryEditView* sheet = editSheet(v, "Banka");
        if (c.autoTypeOff) {
            click(sheet->autoTypeSwitch());
            EXPECT_FALSE(sheet->customSequenceSwitch()->isEnabled()) << c.note;
            EXPECT_FALSE(sheet->sequenceField()->isEnabled()) << c.note;
        }
        if (c.useSequence && *c.useSequence != sheet->customSequenceSwitch()->isChecked())
            click(sheet->customSequenceSwitch());
        if (c.typed) replace(sheet->sequenceField(), *c.typed);
        click(sheet->confirmButton());
        const KdbxEntry e = v.entry("Banka");
        EXPECT_EQ(e.autoTypeSequence, c.expected) << c.note;
        EXPECT_EQ(e.autoTypeEnabled, !c.autoTypeOff) << c.note;
    }
}

TEST(EntryEditView, ExpiryWithoutATimeGetsThePresetAndSwitchingOffRemovesIt) {
    KdbxEntry banka = fakes::entry("Banka");
    banka.expires = true;
    const Timestamp opened = systemNow();
    Vault v(banka);
    EntryEditView* sheet = editSheet(v, "Banka");
    EXPECT_TRUE(sheet->expiryPicker()->isVisible());
    click(sheet->confirmButton());
    const std::optional<Timestamp> saved = v.entry("Banka").expiryTime;
    ASSERT_TRUE(saved);
    EXPECT_LE(*saved - opened, 365 * 24h + 5s);
    EXPECT_GE(*saved - opened, 365 * 24h);

    // A date picked in the field is stored; switching expiry off drops it.
    sheet = editSheet(v, "Banka");
    const QDateTime picked(QDate(2031, 3, 14), QTime(9, 30));
    sheet->expiryEdit()->setDateTime(picked);
    click(sheet->confirmButton());
    EXPECT_EQ(v.entry("Banka").expiryTime, Timestamp(std::chrono::seconds(picked.toSecsSinceEpoch())));
    sheet = editSheet(v, "Banka");
    click(sheet->expiresSwitch());
    EXPECT_FALSE(sheet->expiryPicker()->isVisible());
    click(sheet->confirmButton());
    EXPECT_FALSE(v.entry("Banka").expires);
    EXPECT_EQ(v.entry("Banka").expiryTime, std::nullopt);
}

// Scrolling the sheet over the date field scrolls the sheet: the stored date changes on the wheel
// only once the field has the focus.
TEST(EntryEditView, TheExpiryDateTakesTheWheelOnlyWithTheFocus) {
    KdbxEntry banka = fakes::entry("Banka");
    banka.expires = true;
    const QDateTime stored(QDate(2031, 3, 14), QTime(9, 30));
    banka.expiryTime = Timestamp(std::chrono::seconds(stored.toSecsSinceEpoch()));
    Vault v(banka);
    EntryEditView* sheet = editSheet(v, "Banka");
    sheet->resize(EntryEditView::minimumWidth, EntryEditView::minimumHeight);
    QApplication::processEvents();
    QDateTimeEdit* field = sheet->expiryEdit();
    ASSERT_TRUE(field->isVisible());
    ASSERT_FALSE(field->hasFocus());
    QScrollBar* scroll = sheet->scrollArea()->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0) << "the form is taller than the sheet";
    scroll->setValue(0);

    // A turn of the wheel over the field, delivered as the window system's is: to the widget under
    // the pointer, then on to its parents while none of them takes it.
    const auto wheel = [&field](int steps) {
        const QPointF at(field->width() / 2.0, field->height() / 2.0);
        const QPointF global = field->mapToGlobal(at);
        for (QWidget* w = field; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
            QWheelEvent event(w->mapFromGlobal(global), global, QPoint(), QPoint(0, -120 * steps),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(w, &event);
            if (event.isAccepted()) break;
        }
        QApplication::processEvents();
    };
    wheel(1);
    EXPECT_EQ(field->dateTime(), stored);
    EXPECT_FALSE(field->hasFocus());
    EXPECT_GT(scroll->value(), 0) << "the sheet scrolled instead";
    click(sheet->confirmButton());
    EXPECT_EQ(v.entry("Banka").expiryTime, banka.expiryTime);

    // Clicked into, the field is the user's to turn.
    sheet = editSheet(v, "Banka");
    field = sheet->expiryEdit();
    field->setFocus(Qt::MouseFocusReason);
    wheel(1);
    EXPECT_NE(field->dateTime(), stored);
}

// The calendar that opens from the expiry date turns its months with the interface's own
// chevrons, in its muted text colour, not the style's stock green arrows.
// The calendar turns its months with the interface's own arrows and draws its weekend in the
// interface's colours: no stock red for Saturday and Sunday, neither their names nor their digits.
TEST(EntryEditView, TheCalendarIsInTheInterfacesLook) {
    KdbxEntry banka = fakes::entry("Banka");
    banka.expires = true;
    Vault v(banka);
    EntryEditView* sheet = editSheet(v, "Banka");
    QCalendarWidget* calendar = sheet->expiryEdit()->calendarWidget();
    ASSERT_NE(calendar, nullptr);
    for (const char* name : {"qt_calendar_prevmonth", "qt_calendar_nextmonth"}) {
        auto* arrow = calendar->findChild<QToolButton*>(QLatin1String(name));
        ASSERT_NE(arrow, nullptr) << name;
        const QImage icon = arrow->icon().pixmap(16).toImage();
        int inked = 0;
        for (int y = 0; y < icon.height(); ++y) {
            for (int x = 0; x < icon.width(); ++x) {
                const QColor c = icon.pixelColor(x, y);
                if (c.alpha() < 200) continue;
                ++inked;
                EXPECT_TRUE(probe::colorNear(c, Palette::textSoft, 12)) << name << " at " << x << "," << y;
            }
        }
        EXPECT_GT(inked, 8) << name;
    }

    calendar->setSelectedDate(QDate(2024, 3, 13));
    calendar->resize(320, 260);
    const QImage shot = calendar->grab().toImage();
    int red = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            // Stock red ink, also where its antialiased edges fade into the background.
            if (c.red() > 150 && c.green() < 60 && c.blue() < 60) ++red;
        }
    EXPECT_EQ(red, 0) << "pixels in stock red";
    // The weekend's digits are there, in the interface's text colour.
    auto* days = calendar->findChild<QTableView*>(QStringLiteral("qt_calendar_calendarview"));
    ASSERT_NE(days, nullptr);
    // Saturday's column, found by its name in the header row, and 9 March in it.
    const QAbstractItemModel* model = days->model();
    const QString name = calendar->locale().dayName(Qt::Saturday, QLocale::ShortFormat);
    QModelIndex ninth;
    for (int column = 0; column < model->columnCount(); ++column) {
        if (model->index(0, column).data().toString() != name) continue;
        for (int row = 1; row < model->rowCount(); ++row)
            if (model->index(row, column).data().toString() == QStringLiteral("9"))
                ninth = model->index(row, column);
    }
    ASSERT_TRUE(ninth.isValid());
    const QRect saturday = days->visualRect(ninth);
    const QRect inShot(days->viewport()->mapTo(calendar, saturday.topLeft()), saturday.size());
    EXPECT_TRUE(probe::containsColor(shot, inShot, Palette::textSoft, 24)) << "Saturday's digits";
}
