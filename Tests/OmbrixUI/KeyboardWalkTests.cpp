// A whole session from the keyboard: Tab walks every sheet and window in the order its controls
// are drawn, every stop shows that it has the keyboard, and none is hidden out of view.
//
// Each walk starts on the last control as drawn, so the first Tab goes round to the top; a
// scrolling body is scrolled to its far end first, so that the top is out of view.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "EditorFixture.h"
#include "GeneratorSheetFixture.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/AppSwitch.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixUI/EntryEditView.h"
#include "OmbrixUI/EntryListView.h"
#include "OmbrixUI/GroupEditView.h"
#include "OmbrixUI/MainView.h"
#include "OmbrixUI/SecretField.h"
#include "OmbrixUI/SettingsView.h"
#include "OmbrixUI/UnlockView.h"
#include "Support/AppStateFakes.h"
#include "Support/CancelledPanels.h"
#include "Support/MainWindowFixture.h"
#include "Support/TabWalk.h"

namespace {

using Names = std::vector<std::string>;

// From `last` (given the keyboard as Tab gives it), round the window once: the stops in the order
// drawn, each on screen with its focus mark.
void expectWalk(QWidget* last, const Names& expected, bool drawnOrder = true) {
    last->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    const std::vector<tabwalk::Stop> stops = tabwalk::walk(last->window());
    EXPECT_EQ(tabwalk::names(stops), expected);
    if (drawnOrder) {
        EXPECT_TRUE(tabwalk::inDrawnOrder(stops));
    }
    EXPECT_TRUE(tabwalk::everyStopShows(stops));
}

void scrollToTheEnd(QScrollArea* area) {
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    QApplication::processEvents();
}

// The lock screen in an active window.
struct LockCard {
    fakes::Harness h;
    std::unique_ptr<AppState> state = h.makeState();
    CancelledPanels panels;
    LockScreenMetrics metrics;
    std::unique_ptr<UnlockView> view;

    // `vault`: a database locked by "parola" is written at `file` first.
    explicit LockCard(const std::optional<QString>& file, bool vault = false) {
        if (file && vault)
            h.files->writeAtomically(h.path(*file),
                                     h.codec->save(fakes::database(fakes::group("Kök")),
                                                   KdbxKey(std::string("parola"), std::nullopt)));
        if (file) state->prepare(h.path(*file));
        view = std::make_unique<UnlockView>(*state, panels, metrics);
        view->resize(480, 760);
        view->show();
        QApplication::setActiveWindow(view.get());
        for (int turn = 0; turn < 8; ++turn) QApplication::processEvents();
    }

    QAbstractButton* button(const char* textOrTip) const {
        for (QAbstractButton* b : view->findChildren<QAbstractButton*>())
            if ((b->text() == QString::fromUtf8(textOrTip) || b->toolTip() == QString::fromUtf8(textOrTip)) &&
                b->isVisibleTo(view.get()))
                return b;
        ADD_FAILURE() << "no button " << textOrTip;
        return nullptr;
    }
};

}  // namespace

// A custom field added with "+" takes its place where its row is drawn: Tab from its value goes
// on to the notes, so what is typed next never lands on "Vazgeç".
TEST(KeyboardWalk, TheEntryEditorWithANewCustomField) {
    editortest::Vault vault;
    auto* editor =
        vault.present(new EntryEditView(*vault.state, vault.h.preferences,
                                        EntryEditView::Mode::create(vault.personal), vault.mainWindow.get()),
                      Route::newEntry(vault.personal));
    editortest::type(editor->titleField(), QStringLiteral("Banka"));
    // "+" from the keyboard: the new row's name has the keyboard.
    editor->addFieldButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(editor->addFieldButton(), Qt::Key_Space);
    ASSERT_EQ(editor->customFieldRows().size(), 1);
    EXPECT_EQ(QApplication::focusWidget(), editor->customFieldRows()[0]->nameField()->lineEdit());
    // Tab from the row's value: the notes, whatever is typed next goes there.
    editor->customFieldRows()[0]->valueField()->lineEdit()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("not "));
    EXPECT_EQ(editor->notesEditor()->text(), QStringLiteral("not "));
    EXPECT_TRUE(editor->isVisible()) << "the space pressed nothing";

    scrollToTheEnd(editor->scrollArea());
    expectWalk(editor->confirmButton(),
               {"Simge seç", "alan: örn. GitHub", "alan: örn. ayse@ornek.com", "alan: https://…",
                "alan: iş, kritik", "Son kullanma tarihi var", "alan: Parola", "Parola üret", "Üreteci aç…",
                "Bu kayıt için etkin", "Özel sekans kullan", "Alan ekle", "alan: Alan adı", "Düz metin",
                "Alanı sil", "alan: Değer", "metin kutusu", "Vazgeç", "Oluştur"});
}

TEST(KeyboardWalk, TheGroupEditor) {
    editortest::Vault vault;
    auto* editor =
        vault.present(new GroupEditView(*vault.state, GroupEditView::Mode::edit(vault.group(vault.old)),
                                        vault.mainWindow.get()),
                      Route::editGroup(vault.old));
    editor->sequenceSwitch()->setChecked(true);
    scrollToTheEnd(editor->scrollArea());
    expectWalk(editor->confirmButton(),
               {"Simge seç", "alan: örn. Bankacılık", "metin kutusu", "Bu grup için varsayılan sekans",
                "alan: {USERNAME}{TAB}{PASSWORD}{ENTER}", "Grubu sil", "Vazgeç", "Kaydet"});
}

using KeyboardWalkGenerator = generatortest::GeneratorFixture;

TEST_F(KeyboardWalkGenerator, TheGeneratorSheet) {
    PasswordGeneratorView& generator = open();
    // An accent-filled preset and a switch that is on are among the stops.
    ASSERT_TRUE(generator.classSwitches()[0]->isChecked());
    scrollToTheEnd(generator.findChild<QScrollArea*>());
    expectWalk(generator.confirmButton(),
               {"Gizle", "Yeniden üret", "Kopyala", "kaydırıcı", "12", "16", "20", "32", "64",
                "Büyük harf  A–Z", "Küçük harf  a–z", "Rakam  0–9", "Sembol  !@#$…",
                "Karışabilecek karakterleri ele  (l 1 I O 0)", "Kapat", "Panoya kopyala"});
}

TEST(KeyboardWalk, TheSettingsWindowReachesTheHotKeyRecorder) {
    fakes::Harness h;
    SettingsView view(h.preferences, [] { return true; });
    view.present();
    QApplication::setActiveWindow(&view);
    QApplication::processEvents();
    expectWalk(view.resetHotKeyButton(),
               {"kaydırıcı", "10 sn", "12 sn", "30 sn", "60 sn", "alan: {USERNAME}{TAB}{PASSWORD}{ENTER}",
                "Varsayılana dön", "kısayol kaydedici", "Varsayılana dön  (Ctrl+Alt+A)"});
}

// With no database chosen the card offers two buttons side by side: Tab takes the left one
// first.
TEST(KeyboardWalk, TheChooserFromTheLeft) {
    LockCard card(std::nullopt);
    ASSERT_EQ(card.view->mode(), UnlockView::Mode::choose);
    // The window was just activated, as at the program's start: the user presses Tab.
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : card.view.get(), Qt::Key_Tab);
    EXPECT_EQ(tabwalk::describe(QApplication::focusWidget()), "Veritabanı aç…") << "the first Tab";
    expectWalk(card.button("Yeni kasa…"), {"Veritabanı aç…", "Yeni kasa…"});
}

TEST(KeyboardWalk, TheLockCardToUnlockAndToCreate) {
    {
        LockCard card(QStringLiteral("kasa.kdbx"), true);
        ASSERT_EQ(card.view->mode(), UnlockView::Mode::unlock);
        expectWalk(card.button("Yeni veritabanı oluştur"),
                   {"Değiştir", "alan: Ana parolan", "Dosya seç…", "Kilidi aç", "Başka bir veritabanı aç",
                    "Yeni veritabanı oluştur"});
    }
    {
        LockCard card(QStringLiteral("yeni.kdbx"));
        ASSERT_EQ(card.view->mode(), UnlockView::Mode::create);
        card.view->passwordField()->setText(QStringLiteral("parola"));
        card.view->confirmField()->setText(QStringLiteral("parola"));
        QApplication::processEvents();
        expectWalk(card.button("Yeni veritabanı oluştur"),
                   {"Değiştir", "alan: Güçlü bir parola seç", "alan: Tekrar yaz", "Dosya seç…",
                    "Kasayı oluştur", "Başka bir veritabanı aç", "Yeni veritabanı oluştur"});
    }
}

// The main window: every stop shows itself, the save button among them, and the list whether a
// row is selected or none.
TEST(KeyboardWalk, TheMainWindowShowsEveryStop) {
    for (const bool selected : {true, false}) {
        mainwindow::Fixture f;
        f.makeDirty();
        if (selected) f.state->setSelectedEntryIDs({f.sample.github.id});
        MainView view(*f.state, f.clipboard);
        view.resize(1020, 680);
        view.show();
        QApplication::setActiveWindow(&view);
        mainwindow::settle();
        view.entryList()->newEntryButton()->setFocus(Qt::TabFocusReason);
        const std::vector<tabwalk::Stop> stops = tabwalk::walk(&view);
        const Names walked = tabwalk::names(stops);
        EXPECT_NE(std::find(walked.begin(), walked.end(), "Kaydet (Ctrl+S)"), walked.end()) << selected;
        EXPECT_EQ(walked.front(), "kayıt listesi") << selected;
        EXPECT_TRUE(tabwalk::everyStopShows(stops)) << "selected: " << selected;
    }
}
