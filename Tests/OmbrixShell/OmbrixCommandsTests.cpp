#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "OmbrixShell/OmbrixCommands.h"
#include "OmbrixState/FilePanels.h"
#include "OmbrixUI/EntryList.h"
#include "OmbrixUI/EntryListView.h"
#include "OmbrixUI/MainView.h"
#include "Support/MainWindowFixture.h"

using namespace mainwindow;
using C = OmbrixCommands::Command;

namespace {

// Every dialog answers with `answer` and is written down with what it proposed.
class ScriptedPanels final : public FilePanels {
  public:
    std::optional<QString> chooseDatabase() override { return ask("open"); }
    std::optional<QString> chooseKeyFile() override { return ask("key file"); }
    std::optional<QString> newDatabaseDestination() override { return ask("new"); }
    std::optional<QString> saveAsDestination(const QString& suggested) override {
        return ask("save as " + suggested.toStdString());
    }

    std::optional<QString> answer;
    std::vector<std::string> asked;

  private:
    std::optional<QString> ask(const std::string& what) {
        asked.push_back(what);
        return answer;
    }
};

const std::map<C, const char*> names = {
    {C::newDatabase, "newDatabase"},
    {C::openDatabase, "openDatabase"},
    {C::save, "save"},
    {C::saveAs, "saveAs"},
    {C::lock, "lock"},
    {C::closeDatabase, "closeDatabase"},
    {C::quit, "quit"},
    {C::undo, "undo"},
    {C::redo, "redo"},
    {C::settings, "settings"},
    {C::search, "search"},
    {C::sidebar, "sidebar"},
    {C::copyUsername, "copyUsername"},
    {C::copyPassword, "copyPassword"},
    {C::copyURL, "copyURL"},
    {C::autoType, "autoType"},
    {C::openURL, "openURL"},
    {C::newEntry, "newEntry"},
    {C::newGroup, "newGroup"},
    {C::editEntry, "editEntry"},
    {C::deleteEntries, "deleteEntries"},
    {C::generator, "generator"},
    {C::clearClipboard, "clearClipboard"},
};

std::set<std::string> nameSet(std::initializer_list<std::set<C>> parts) {
    std::set<std::string> out;
    for (const std::set<C>& part : parts)
        for (const C command : part) out.insert(names.at(command));
    return out;
}

struct CommandsFixture : Fixture {
    explicit CommandsFixture(bool openDatabase = true) : Fixture(openDatabase) {}

    void run(C command) { commands.action(command)->trigger(); }

    bool has(const UUID& entryID) const {
        return state->database() && GroupTree::findEntry(state->database()->root, entryID);
    }

    std::set<std::string> enabledCommands() const {
        std::set<std::string> out;
        for (const auto& [command, name] : names)
            if (commands.action(command)->isEnabled()) out.insert(name);
        return out;
    }

    void select(std::initializer_list<KdbxEntry> entries) {
        UUIDSet ids;
        for (const KdbxEntry& e : entries) ids.insert(e.id);
        state->setSelectedEntryIDs(ids);
    }

    ScriptedPanels panels;
    int settingsOpened = 0;
    int quits = 0;
    std::vector<bool> sidebarShown;
    OmbrixCommands commands{*state,
                            panels,
                            clipboard,
                            {[this] { ++settingsOpened; }, [this] { ++quits; },
                             [this](bool shown) { sidebarShown.push_back(shown); }}};
};

// Each item as the menu shows it: "title|key", "-" for a divider.
std::vector<std::string> shown(const QMenu& menu) {
    std::vector<std::string> out;
    for (const QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            out.push_back("-");
            continue;
        }
        const QString text = action->text();
        const QString key = text.contains(u'\t') ? text.section(u'\t', 1)
                                                 : action->shortcut().toString(QKeySequence::NativeText);
        out.push_back((text.section(u'\t', 0, 0) + u'|' + key).toStdString());
    }
    return out;
}

const std::set<C> always = {C::newDatabase, C::openDatabase, C::quit,
                            C::settings,    C::generator,    C::clearClipboard};
const std::set<C> withDatabase = {C::saveAs,  C::lock,     C::closeDatabase, C::search,
                                  C::sidebar, C::newEntry, C::newGroup};
const std::set<C> withFocusedEntry = {C::copyUsername, C::copyPassword, C::copyURL,      C::autoType,
                                      C::openURL,      C::editEntry,    C::deleteEntries};

}  // namespace

TEST(OmbrixCommands, MenuBarHasFiveMenusWithTheirItemsAndKeys) {
    CommandsFixture f;
    QMenuBar bar;
    f.commands.populate(bar);

    std::vector<std::string> titles;
    std::map<std::string, std::vector<std::string>> items;
    for (QAction* menuAction : bar.actions()) {
        titles.push_back(menuAction->text().toStdString());
        items[menuAction->text().toStdString()] = shown(*menuAction->menu());
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"Dosya", "Düzen", "Görünüm", "Kayıt", "Araçlar"}));
    EXPECT_EQ(items["Dosya"], (std::vector<std::string>{
                                  "Yeni Veritabanı…|Ctrl+N", "Veritabanı Aç…|Ctrl+O", "-", "Kaydet|Ctrl+S",
                                  "Farklı Kaydet…|Ctrl+Shift+S", "-", "Kasayı Kilitle|Ctrl+L",
                                  "Veritabanını Kapat|Ctrl+Shift+W", "-", "Çıkış|Ctrl+Q"}));
    EXPECT_EQ(items["Düzen"],
              (std::vector<std::string>{"Geri Al|Ctrl+Z", "Yinele|Ctrl+Shift+Z", "-", "Ayarlar…|Ctrl+,"}));
    EXPECT_EQ(items["Görünüm"], (std::vector<std::string>{"Ara|Ctrl+F", "-", "Kenar Çubuğunu Göster|F9"}));
    EXPECT_EQ(items["Kayıt"],
              (std::vector<std::string>{"Kullanıcı Adını Kopyala|Ctrl+B", "Parolayı Kopyala|Ctrl+C",
                                        "Adresi Kopyala|Ctrl+Shift+U", "-", "Otomatik Yaz|Ctrl+Shift+V",
                                        "Adresi Tarayıcıda Aç|Ctrl+Shift+Dönüş", "-", "Yeni Kayıt…|Ctrl+I",
                                        "Yeni Grup…|Ctrl+Shift+G", "Düzenle…|Ctrl+E", "Sil|Sil"}));
    EXPECT_EQ(items["Araçlar"],
              (std::vector<std::string>{"Parola Üret…|Ctrl+G", "Panoyu Şimdi Temizle|Ctrl+Shift+K"}));

    // The entry list's two keys are shown, not bound.
    for (const C command : {C::copyPassword, C::deleteEntries}) {
        EXPECT_TRUE(f.commands.boundKey(command).isEmpty()) << names.at(command);
        EXPECT_FALSE(f.commands.shownKey(command).isEmpty()) << names.at(command);
    }
    EXPECT_EQ(f.commands.title(C::copyPassword).toStdString(), "Parolayı Kopyala");
    EXPECT_EQ(f.commands.boundKey(C::save), QKeySequence(Qt::CTRL | Qt::Key_S));
}

TEST(OmbrixCommands, EnabledStatesAndHistoryTitlesFollowTheState) {
    struct Case {
        const char* note;
        bool open;
        std::function<void(CommandsFixture&)> setup;
        std::set<std::string> enabled;
        const char* undoTitle;
        const char* redoTitle;
    };
    // Leaves the database with a step to undo and one to redo.
    const auto withHistory = [](std::function<void(CommandsFixture&)> leave) {
        return [leave](CommandsFixture& f) {
            f.makeDirty();
            f.makeDirty();
            f.state->undo();
            leave(f);
        };
    };
    const Case cases[] = {
        {"locked", false, [](CommandsFixture&) {}, nameSet({always}), "Geri Al", "Yinele"},
        {"unlocked, nothing selected", true, [](CommandsFixture&) {}, nameSet({always, withDatabase}),
         "Geri Al", "Yinele"},
        {"one entry selected", true, [](CommandsFixture& f) { f.select({f.sample.github}); },
         nameSet({always, withDatabase, withFocusedEntry}), "Geri Al", "Yinele"},
        {"two entries selected", true,
         [](CommandsFixture& f) {
             f.select({f.sample.github, f.sample.router});
         },
         nameSet({always, withDatabase, {C::deleteEntries}}), "Geri Al", "Yinele"},
        {"a selected id that names nothing", true,
         [](CommandsFixture& f) { f.state->setSelectedEntryIDs({UUID::random()}); },
         nameSet({always, withDatabase, {C::deleteEntries}}), "Geri Al", "Yinele"},
        {"unsaved change", true, [](CommandsFixture& f) { f.makeDirty(); },
         nameSet({always, withDatabase, {C::save, C::undo}}), "Geri Al — Sınama", "Yinele"},
        {"saved", true,
         [](CommandsFixture& f) {
             f.makeDirty();
             f.state->save();
         },
         nameSet({always, withDatabase, {C::undo}}), "Geri Al — Sınama", "Yinele"},
        {"undone", true,
         [](CommandsFixture& f) {
             f.makeDirty();
             f.state->save();
             f.state->undo();
         },
         nameSet({always, withDatabase, {C::save, C::redo}}), "Geri Al", "Yinele — Sınama"},
        // Leaving a database takes its whole history along (after saving what changed).
        {"another file chosen", true,
         withHistory([](CommandsFixture& f) { f.state->prepare(f.harness.path("diger.kdbx")); }),
         nameSet({always}), "Geri Al", "Yinele"},
        {"locked again", true, withHistory([](CommandsFixture& f) { f.state->lock(); }), nameSet({always}),
         "Geri Al", "Yinele"},
        {"closed", true, withHistory([](CommandsFixture& f) { f.state->closeDatabase(); }), nameSet({always}),
         "Geri Al", "Yinele"},
    };
    for (const Case& c : cases) {
        CommandsFixture f(c.open);
        c.setup(f);
        EXPECT_EQ(f.enabledCommands(), c.enabled) << c.note;
        EXPECT_EQ(f.commands.title(C::undo).toStdString(), c.undoTitle) << c.note;
        EXPECT_EQ(f.commands.title(C::redo).toStdString(), c.redoTitle) << c.note;
    }
}

TEST(OmbrixCommands, DeleteRemovesTheSelectionAsOneStepNamedByItsCount) {
    CommandsFixture f;
    f.select({f.sample.github, f.sample.gmail});
    f.run(C::deleteEntries);
    EXPECT_TRUE(f.state->selectedEntryIDs().empty());
    EXPECT_FALSE(f.has(f.sample.github.id));
    EXPECT_FALSE(f.has(f.sample.gmail.id));
    EXPECT_EQ(f.commands.title(C::undo).toStdString(), "Geri Al — 2 Kaydı Sil");
    EXPECT_FALSE(f.commands.action(C::deleteEntries)->isEnabled());

    f.run(C::undo);
    EXPECT_TRUE(f.has(f.sample.github.id));
    EXPECT_EQ(f.commands.title(C::redo).toStdString(), "Yinele — 2 Kaydı Sil");
    f.run(C::redo);
    EXPECT_FALSE(f.has(f.sample.gmail.id));

    f.select({f.sample.router});
    f.run(C::deleteEntries);
    EXPECT_EQ(f.commands.title(C::undo).toStdString(), "Geri Al — Kaydı Sil");
}

TEST(OmbrixCommands, NewAndOpenDatabaseTakeTheChosenFileOrChangeNothing) {
    struct Case {
        const char* note;
        C command;
        bool chosen;
        const char* asked;
    };
    const Case cases[] = {
        {"new, cancelled", C::newDatabase, false, "new"},
        {"new, chosen", C::newDatabase, true, "new"},
        {"open, cancelled", C::openDatabase, false, "open"},
        {"open, chosen", C::openDatabase, true, "open"},
    };
    for (const Case& c : cases) {
        CommandsFixture f;
        const std::optional<QString> before = f.state->databaseURL();
        const QString chosen = f.harness.path("yeni.kdbx");
        f.state->setRoute(Route::newEntry(f.sample.mail.id));
        if (c.chosen) f.panels.answer = chosen;

        f.run(c.command);
        EXPECT_EQ(f.panels.asked, std::vector<std::string>{c.asked}) << c.note;
        if (c.chosen) {
            EXPECT_TRUE(f.state->isLocked()) << c.note;
            EXPECT_FALSE(f.state->database()) << c.note;
            EXPECT_EQ(f.state->databaseURL(), chosen) << c.note;
            EXPECT_FALSE(f.state->route()) << c.note;
        } else {
            EXPECT_FALSE(f.state->isLocked()) << c.note;
            EXPECT_EQ(f.state->databaseURL(), before) << c.note;
            EXPECT_TRUE(f.state->route()) << c.note;
        }
        const bool announces = c.chosen && c.command == C::newDatabase;
        EXPECT_EQ(f.state->statusMessage() == OmbrixCommands::newDatabaseStatus, announces) << c.note;
    }
}

TEST(OmbrixCommands, TheNewDatabaseHintGoesOnceTheVaultIsCreated) {
    CommandsFixture f;
    const QString chosen = f.harness.path("yeni.kdbx");
    f.panels.answer = chosen;
    f.run(C::newDatabase);
    ASSERT_EQ(f.state->statusMessage(), OmbrixCommands::newDatabaseStatus);
    f.state->createDatabase(chosen, QStringLiteral("uzun bir ana parola"), std::nullopt);
    ASSERT_TRUE(f.state->database());
    EXPECT_EQ(f.state->statusMessage(), std::nullopt);
}

TEST(OmbrixCommands, AnotherFileIsTakenOnlyAfterUnsavedChangesAreSaved) {
    struct Case {
        const char* note;
        C command;
        bool saveFails;
    };
    const Case cases[] = {
        {"new, saved first", C::newDatabase, false},
        {"new, save fails", C::newDatabase, true},
        {"open, saved first", C::openDatabase, false},
        {"open, save fails", C::openDatabase, true},
    };
    for (const Case& c : cases) {
        CommandsFixture f;
        const std::optional<QString> before = f.state->databaseURL();
        f.makeDirty();
        f.harness.files->failWrites = c.saveFails;
        const int writes = f.harness.files->writes;
        f.panels.answer = f.harness.path("diger.kdbx");

        f.run(c.command);
        if (c.saveFails) {
            EXPECT_FALSE(f.state->isLocked()) << c.note;
            EXPECT_TRUE(f.state->isDirty()) << c.note;
            EXPECT_EQ(f.state->databaseURL(), before) << c.note;
            EXPECT_TRUE(f.state->lastError()) << c.note;
            EXPECT_NE(f.state->statusMessage(), OmbrixCommands::newDatabaseStatus) << c.note;
        } else {
            EXPECT_EQ(f.harness.files->writes, writes + 1) << c.note;
            EXPECT_FALSE(f.state->isDirty()) << c.note;
            EXPECT_TRUE(f.state->isLocked()) << c.note;
            EXPECT_EQ(f.state->databaseURL(), f.harness.path("diger.kdbx")) << c.note;
        }
    }
}

TEST(OmbrixCommands, SaveSaveAsLockAndClose) {
    {
        CommandsFixture f;
        f.makeDirty();
        f.run(C::save);
        EXPECT_FALSE(f.state->isDirty());
        EXPECT_EQ(f.state->statusMessage().value_or(QString()).toStdString(), "Kaydedildi");
        EXPECT_FALSE(f.commands.action(C::save)->isEnabled());
    }
    {
        CommandsFixture f;
        const int writes = f.harness.files->writes;
        f.run(C::saveAs);
        // Proposed in the database's own folder.
        EXPECT_EQ(f.panels.asked,
                  std::vector<std::string>{"save as " + f.harness.path("kasa.kdbx").toStdString()});
        EXPECT_EQ(f.harness.files->writes, writes) << "cancelled";

        f.panels.answer = f.harness.path("kopya.kdbx");
        f.run(C::saveAs);
        EXPECT_EQ(f.harness.files->writes, writes + 1);
        EXPECT_EQ(f.state->databaseURL(), f.harness.path("kopya.kdbx"));
    }
    {
        // A file another program changed is not overwritten, and nothing else is done unasked:
        // without anyone to ask, the error says so and no save dialog opens.
        CommandsFixture f;
        f.makeDirty();
        const QString path = *f.state->databaseURL();
        f.harness.files->writeAtomically(path,
                                         f.harness.codec->save(KdbxDatabase{}, KdbxKey("x", std::nullopt)));
        const Bytes theirs = f.harness.files->read(path);
        f.panels.answer = f.harness.path("benim.kdbx");
        f.run(C::save);
        EXPECT_EQ(f.panels.asked, std::vector<std::string>{});
        EXPECT_EQ(f.harness.files->read(path), theirs);
        EXPECT_EQ(f.state->databaseURL(), path);
        EXPECT_TRUE(f.state->isDirty());
        EXPECT_TRUE(f.state->lastError());
    }
    {
        CommandsFixture f;
        f.run(C::lock);
        EXPECT_TRUE(f.state->isLocked());
        EXPECT_TRUE(f.state->databaseURL());
    }
    {
        // Closing saves unsaved changes first, then forgets the file.
        CommandsFixture f;
        f.makeDirty();
        const int writes = f.harness.files->writes;
        f.run(C::closeDatabase);
        EXPECT_EQ(f.harness.files->writes, writes + 1);
        EXPECT_TRUE(f.state->isLocked());
        EXPECT_FALSE(f.state->databaseURL());
    }
}

TEST(OmbrixCommands, EntryCommandsActOnTheFocusedEntry) {
    struct Case {
        C command;
        std::function<bool(CommandsFixture&)> happened;
    };
    const Case cases[] = {
        {C::copyUsername,
         [](CommandsFixture& f) {
             const auto& copies = f.harness.clipboard->copies;
             return copies.size() == 1 && copies[0].text == "ayse" && copies[0].secret;
         }},
        {C::copyPassword,
         [](CommandsFixture& f) {
             const auto& copies = f.harness.clipboard->copies;
             return copies.size() == 1 && copies[0].text == "gh-parola" && copies[0].secret;
         }},
        {C::copyURL,
         [](CommandsFixture& f) {
             const auto& copies = f.harness.clipboard->copies;
             return copies.size() == 1 && copies[0].text == "https://github.com/login" && !copies[0].secret;
         }},
        {C::autoType,
         [](CommandsFixture& f) {
             const auto& runs = f.harness.autoType->runs;
             return runs.size() == 1 && runs[0].entry.id == f.sample.github.id;
         }},
        {C::openURL,
         [](CommandsFixture& f) {
             return f.harness.urls->opened == std::vector<QUrl>{QUrl("https://github.com/login")};
         }},
        {C::editEntry,
         [](CommandsFixture& f) { return f.state->route() == Route::editEntry(f.sample.github.id); }},
    };
    for (const Case& c : cases) {
        CommandsFixture f;
        f.select({f.sample.github});
        f.run(c.command);
        EXPECT_TRUE(c.happened(f)) << names.at(c.command);
    }
}

TEST(OmbrixCommands, NewEntryAndGroupGoToTheSelectedGroupElseTheRoot) {
    for (const bool groupSelected : {false, true}) {
        CommandsFixture f;
        if (groupSelected) f.state->setSelectedGroupID(f.sample.mail.id);
        const UUID target = groupSelected ? f.sample.mail.id : f.sample.database.root.id;
        f.run(C::newEntry);
        EXPECT_EQ(f.state->route(), Route::newEntry(target)) << groupSelected;
        f.run(C::newGroup);
        EXPECT_EQ(f.state->route(), Route::newGroup(target)) << groupSelected;
    }
    CommandsFixture locked(false);
    locked.run(C::newEntry);
    locked.run(C::newGroup);
    EXPECT_FALSE(locked.state->route());
}

TEST(OmbrixCommands, ToolsSearchSettingsAndQuit) {
    CommandsFixture f(false);
    f.run(C::generator);
    EXPECT_EQ(f.state->route(), Route::generator()) << "opens over the lock screen";

    f.clipboard.copySecret(QStringLiteral("gizli"));
    ASSERT_TRUE(f.clipboard.hasPendingSecret());
    f.run(C::clearClipboard);
    EXPECT_FALSE(f.clipboard.hasPendingSecret());

    f.run(C::settings);
    EXPECT_EQ(f.settingsOpened, 1);
    f.run(C::quit);
    EXPECT_EQ(f.quits, 1);

    CommandsFixture open;
    const qint64 token = open.state->searchFocusToken();
    open.run(C::search);
    EXPECT_EQ(open.state->searchFocusToken(), token + 1);
}

TEST(OmbrixCommands, SidebarItemHidesAndShowsTheSidebarAndIsCheckedAgainAfterLocking) {
    CommandsFixture f;
    QAction* item = f.commands.action(C::sidebar);
    ASSERT_TRUE(item->isCheckable());
    EXPECT_TRUE(item->isChecked());
    f.run(C::sidebar);
    EXPECT_FALSE(item->isChecked());
    f.run(C::sidebar);
    EXPECT_TRUE(item->isChecked());
    f.run(C::sidebar);
    EXPECT_EQ(f.sidebarShown, (std::vector<bool>{false, true, false}));

    // The next main window shows the sidebar, and the item says so.
    f.state->lock();
    EXPECT_TRUE(item->isChecked());
    EXPECT_FALSE(item->isEnabled());
}

namespace {

// The main window as the shell builds it: the main view below a menu bar with the commands, and
// a plain text field standing for any other field of the window.
struct WindowFixture : CommandsFixture {
    WindowFixture() {
        auto* central = new QWidget;
        auto* layout = new QVBoxLayout(central);
        field = new QLineEdit;
        button = new QPushButton(QStringLiteral("başka"));
        view = new MainView(*state, clipboard);
        layout->addWidget(field);
        layout->addWidget(button);
        layout->addWidget(view);
        window.setCentralWidget(central);
        commands.populate(*window.menuBar());
        window.resize(1020, 760);
        window.show();
        QApplication::setActiveWindow(&window);
        settle();
    }

    QMainWindow window;
    QLineEdit* field = nullptr;
    QPushButton* button = nullptr;
    MainView* view = nullptr;
};

}  // namespace

TEST(OmbrixCommands, WindowWideShortcutsTriggerTheirCommands) {
    struct Case {
        QKeyCombination key;
        std::function<bool(WindowFixture&)> happened;
    };
    const Case cases[] = {
        {Qt::CTRL | Qt::Key_F, [](WindowFixture& f) { return f.state->searchFocusToken() == 1; }},
        {Qt::CTRL | Qt::Key_G, [](WindowFixture& f) { return f.state->route() == Route::generator(); }},
        {Qt::CTRL | Qt::Key_I,
         [](WindowFixture& f) { return f.state->route() == Route::newEntry(f.sample.database.root.id); }},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_G,
         [](WindowFixture& f) { return f.state->route() == Route::newGroup(f.sample.database.root.id); }},
        {Qt::CTRL | Qt::Key_B, [](WindowFixture& f) { return f.harness.clipboard->copies.size() == 1; }},
        {Qt::CTRL | Qt::Key_E,
         [](WindowFixture& f) { return f.state->route() == Route::editEntry(f.sample.github.id); }},
        {Qt::CTRL | Qt::Key_Comma, [](WindowFixture& f) { return f.settingsOpened == 1; }},
        {Qt::CTRL | Qt::Key_Q, [](WindowFixture& f) { return f.quits == 1; }},
        {Qt::CTRL | Qt::Key_L, [](WindowFixture& f) { return f.state->isLocked(); }},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_W, [](WindowFixture& f) { return !f.state->databaseURL(); }},
        {Qt::Key_F9, [](WindowFixture& f) { return f.sidebarShown == std::vector<bool>{false}; }},
    };
    for (const Case& c : cases) {
        WindowFixture f;
        f.select({f.sample.github});
        f.button->setFocus();
        QTest::keyClick(f.button, c.key.key(), c.key.keyboardModifiers());
        EXPECT_TRUE(c.happened(f)) << QKeySequence(c.key).toString().toStdString();
    }
}

TEST(OmbrixCommands, CopyAndDeleteKeysStayWithTheFocusedWidget) {
    WindowFixture f;
    f.select({f.sample.github});

    // A text field keeps Ctrl+C and Delete for its text.
    f.field->setText(QStringLiteral("abc"));
    f.field->setFocus();
    f.field->selectAll();
    QTest::keyClick(f.field, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "abc");
    f.field->setCursorPosition(0);
    QTest::keyClick(f.field, Qt::Key_Delete);
    EXPECT_EQ(f.field->text(), "bc");
    EXPECT_TRUE(f.harness.clipboard->copies.empty());
    EXPECT_TRUE(f.has(f.sample.github.id));
    EXPECT_FALSE(f.state->canUndo());

    // Elsewhere in the window the keys do nothing to the entries.
    f.button->setFocus();
    QTest::keyClick(f.button, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(f.button, Qt::Key_Delete);
    EXPECT_TRUE(f.harness.clipboard->copies.empty());
    EXPECT_TRUE(f.has(f.sample.github.id));

    // The entry list has them while it has the focus.
    EntryList* list = f.view->entryList()->list();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    ASSERT_EQ(f.harness.clipboard->copies.size(), 1u);
    EXPECT_EQ(f.harness.clipboard->copies[0].text, "gh-parola");
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_FALSE(f.has(f.sample.github.id));
    EXPECT_EQ(f.commands.title(C::undo).toStdString(), "Geri Al — Kaydı Sil");
}
