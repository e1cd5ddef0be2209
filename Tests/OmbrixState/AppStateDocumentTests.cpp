// Opening, creating, saving, locking and closing, and the state object's own small rules.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include "Support/AppStateFakes.h"
#include "Support/WipedBlocks.h"

using namespace fakes;

namespace {

std::string fileText(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll().toStdString();
}

KdbxDatabase sampleDatabase() {
    return database(group("Kök", {entry("Posta", "ayse")}, {group("İş", {entry("Sunucu", "root")})}));
}

}  // namespace

TEST(AppStateObject, StartsLockedWithTheStoredSortOrder) {
    Harness h;
    h.preferences.setSortColumn("modified");
    h.preferences.setSortAscending(false);
    const auto state = h.makeState();
    EXPECT_TRUE(state->isLocked());
    EXPECT_FALSE(state->database());
    EXPECT_FALSE(state->databaseURL());
    EXPECT_FALSE(state->isDirty());
    EXPECT_EQ(state->sort(), (EntrySort{EntrySort::Column::modified, false}));
    EXPECT_EQ(state->searchFocusToken(), 0);
    EXPECT_EQ(state->databaseName(), "Ombrix");

    h.preferences.setSortColumn("size");
    EXPECT_EQ(h.makeState()->sort(), (EntrySort{EntrySort::Column::title, false}));
    EXPECT_EQ(h.preferences.sortColumn(), "size");  // kept until the order next changes
}

TEST(AppStateObject, WritesTheSortOrderBackOnlyWhenItChanges) {
    Harness h;
    const auto state = h.makeState();
    SignalCounter changes(state.get(), &AppState::sortChanged);
    state->setSort(EntrySort{EntrySort::Column::title, true});
    EXPECT_TRUE(h.store->values().isEmpty());
    EXPECT_EQ(changes.count(), 0);

    state->setSort(EntrySort{EntrySort::Column::title, false});
    EXPECT_EQ(h.store->values().value("sortColumn"), "title");
    EXPECT_EQ(h.store->values().value("sortAscending"), false);
    EXPECT_EQ(changes.count(), 1);
}

TEST(AppStateObject, RoutesAreKnownByCaseAndIdentifier) {
    const UUID id = *UUID::fromString("0F8FAD5B-D9CB-469F-A165-70867728950E");
    const QString text = "0F8FAD5B-D9CB-469F-A165-70867728950E";
    EXPECT_EQ(Route::newEntry(id).id(), "newEntry-" + text);
    EXPECT_EQ(Route::editEntry(id).id(), "editEntry-" + text);
    EXPECT_EQ(Route::newGroup(id).id(), "newGroup-" + text);
    EXPECT_EQ(Route::editGroup(id).id(), "editGroup-" + text);
    EXPECT_EQ(Route::generator(id).id(), "generator-" + text);
    EXPECT_EQ(Route::generator().id(), "generator--");
    EXPECT_NE(Route::editEntry(id), Route::editGroup(id));
    EXPECT_EQ(Route::generator(), Route(Route::Generator{}));
    EXPECT_NE(Route::generator(), Route::generator(id));
    EXPECT_EQ(Route::editEntry(id), Route(Route::EditEntry{id}));
}

TEST(AppStateObject, StatusMessagesClearTwoSecondsAfterTheyAreShown) {
    Harness h;
    const auto state = h.makeState();
    state->showStatus("bir");
    h.scheduler->advance(1500ms);
    state->showStatus("iki");
    EXPECT_EQ(state->statusMessage(), "iki");
    h.scheduler->advance(500ms);  // the first message's clear takes whatever shows
    EXPECT_FALSE(state->statusMessage());
    state->setStatusMessage("doğrudan");  // assigned without a clear of its own
    h.scheduler->advance(1500ms);
    EXPECT_FALSE(state->statusMessage());

    state->focusSearch();
    state->focusSearch();
    EXPECT_EQ(state->searchFocusToken(), 2);
}

TEST(AppStateDocument, CreatesANewDatabaseNamedAfterItsFile) {
    Harness h;
    const auto state = h.makeState();
    state->prepare(h.path("Radir.kdbx"));
    state->createDatabase(h.path("Radir.kdbx"), "parola", std::nullopt);

    ASSERT_TRUE(state->database());
    const KdbxDatabase& db = *state->database();
    EXPECT_EQ(db.meta.databaseName, "Radir");
    EXPECT_EQ(db.meta.historyMaxItems, 10);
    EXPECT_EQ(db.meta.historyMaxSize, 6291456);
    EXPECT_EQ(db.meta.generator, "Ombrix");
    EXPECT_TRUE(db.meta.recycleBinEnabled);
    EXPECT_EQ(db.root.name, "Radir");
    EXPECT_EQ(db.root.iconID, 48);
    ASSERT_EQ(db.root.groups.size(), 3u);
    const char* names[] = {"İnternet", "E-posta", "Bankacılık"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(db.root.groups[i].name, names[i]);
        EXPECT_EQ(db.root.groups[i].iconID, 48);
        EXPECT_TRUE(db.root.groups[i].isExpanded);
        EXPECT_EQ(db.root.groups[i].created, startTime);
    }
    EXPECT_EQ(db.root.entries.size(), 0u);
    EXPECT_EQ(db.cipher, KdbxCipher::aes256);
    EXPECT_EQ(db.kdf, KdfSettings::argon2id(64, 1, 1));  // injected; the default is the recommended one
    EXPECT_TRUE(db.compressed);
    EXPECT_EQ(db.formatVersion, (KdbxFormatVersion{4, 1}));

    EXPECT_FALSE(state->isLocked());
    EXPECT_FALSE(state->isDirty());
    EXPECT_EQ(state->selectedGroupID(), db.root.id);
    EXPECT_EQ(h.preferences.recentDatabaseBookmark(), h.path("Radir.kdbx").toUtf8());
    EXPECT_EQ(h.files->writes, 1);
    EXPECT_EQ(AppStateDependencies{}.newDatabaseKdf, KdfSettings::recommended());

    // The file opens again in a fresh state with the same content and identifiers.
    Harness& same = h;
    const auto reopened = same.makeState();
    reopened->restoreRecentDatabase();
    ASSERT_EQ(reopened->databaseURL(), h.path("Radir.kdbx"));
    reopened->unlock("parola", std::nullopt);
    ASSERT_TRUE(reopened->database());
    EXPECT_EQ(reopened->database()->root, db.root);
    EXPECT_EQ(reopened->database()->root.groups[2].id, db.root.groups[2].id);
}

TEST(AppStateDocument, CreatingStartsWithoutTheUndoHistoryOfTheDatabaseBefore) {
    Harness h;
    const auto state = h.makeState();
    open(h, *state, sampleDatabase());
    state->deleteEntries({state->database()->root.entries[0].id});
    state->save();
    ASSERT_TRUE(state->canUndo());
    state->prepare(h.path("yeni.kdbx"));
    state->createDatabase(h.path("yeni.kdbx"), "", std::nullopt);
    EXPECT_FALSE(state->canUndo());
    EXPECT_FALSE(state->undoLabel());
    const std::string rootName = state->database()->root.name;
    state->undo();
    EXPECT_EQ(state->database()->root.name, rootName);
}

TEST(AppStateDocument, AFailedCreationChangesNothingButTheError) {
    Harness h;
    const auto state = h.makeState();
    state->prepare(h.path("yok/Radir.kdbx"));
    state->createDatabase(h.path("yok/Radir.kdbx"), "parola", std::nullopt);
    EXPECT_TRUE(state->isLocked());
    EXPECT_FALSE(state->database());
    EXPECT_EQ(state->databaseURL(), h.path("yok/Radir.kdbx"));
    ASSERT_TRUE(state->lastError());
    EXPECT_TRUE(state->lastError()->startsWith("“Radir.kdbx” kaydedilemedi: "));
    EXPECT_FALSE(QFile::exists(h.path("yok/Radir.kdbx")));
}

TEST(AppStateDocument, UnlockingNeedsAFileAndTheRightCredentials) {
    Harness h;
    const auto state = h.makeState();
    state->unlock("parola", std::nullopt);
    EXPECT_EQ(state->lastError(), "Önce bir veritabanı dosyası seçin.");
    EXPECT_TRUE(state->isLocked());

    const KdbxDatabase db = sampleDatabase();
    h.files->writeAtomically(h.path("kasa.kdbx"), h.codec->save(db, KdbxKey("parola", std::nullopt)));
    state->prepare(h.path("kasa.kdbx"));
    EXPECT_FALSE(state->lastError());
    state->unlock("yanlış", std::nullopt);
    EXPECT_TRUE(state->isLocked());
    EXPECT_EQ(state->databaseURL(), h.path("kasa.kdbx"));
    EXPECT_EQ(state->lastError(), QString::fromStdString(KdbxError::invalidCredentials().description()));

    state->setSearchText("eski arama");
    state->setRoute(Route::generator());
    state->unlock("parola", std::nullopt);
    EXPECT_FALSE(state->isLocked());
    EXPECT_FALSE(state->lastError());
    EXPECT_FALSE(state->isDirty());
    EXPECT_EQ(state->selectedGroupID(), db.root.id);
    EXPECT_TRUE(state->searchText().isEmpty());
    EXPECT_EQ(state->route(), Route::generator());  // an open sheet stays
    EXPECT_FALSE(state->statusMessage());
}

// An unlock on its own thread hands its result over to the window's thread: the database is open
// (or the error shown) once the work has ended, and nothing is left running.
TEST(AppStateDocument, WaitingForWorkUnderWayHandsOverItsResult) {
    for (const bool rightPassword : {true, false}) {
        Harness h;
        AppStateDependencies deps = h.dependencies();
        deps.work = std::make_shared<ThreadWorkRunner>();
        AppState state(deps);
        const KdbxDatabase db = sampleDatabase();
        h.files->writeAtomically(h.path("kasa.kdbx"), h.codec->save(db, KdbxKey("parola", std::nullopt)));
        state.prepare(h.path("kasa.kdbx"));
        state.unlock(rightPassword ? "parola" : "yanlış", std::nullopt);
        EXPECT_TRUE(state.isWorking()) << rightPassword;
        QElapsedTimer waited;
        waited.start();
        while (state.isWorking() && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_FALSE(state.isWorking()) << rightPassword;
        EXPECT_EQ(state.isLocked(), !rightPassword) << rightPassword;
        EXPECT_EQ(state.lastError().has_value(), !rightPassword) << rightPassword;
        if (rightPassword) {
            ASSERT_TRUE(state.database());
            EXPECT_EQ(state.database()->root.id, db.root.id);
        }
    }
}

TEST(AppStateDocument, PasswordsAndKeyFilesMakeTheCredentials) {
    struct Case {
        QString password;
        bool withKeyFile;
        KdbxKey key;
        const char* note;
    };
    const Bytes keyBytes{1, 2, 3, 4};
    const Case cases[] = {
        {"", true, KdbxKey(std::nullopt, keyBytes), "key file only"},
        {"", false, KdbxKey("", std::nullopt), "an empty field alone is the empty password"},
        {"", true, KdbxKey("", keyBytes), "key file with an empty password"},
        {"   ", false, KdbxKey("   ", std::nullopt), "blanks are a password"},
        {"şifre", true, KdbxKey("şifre", keyBytes), "both"},
    };
    for (const Case& c : cases) {
        Harness h;
        h.files->writeAtomically(h.path("anahtar.key"), keyBytes);
        h.files->writeAtomically(h.path("kasa.kdbx"), h.codec->save(sampleDatabase(), c.key));
        const auto state = h.makeState();
        state->prepare(h.path("kasa.kdbx"));
        state->unlock(c.password,
                      c.withKeyFile ? std::optional<QString>(h.path("anahtar.key")) : std::nullopt);
        EXPECT_FALSE(state->isLocked()) << c.note;
    }
}

TEST(AppStateDocument, AKeyFileThatIsNoRegularFileIsRefusedBeforeTheDatabaseIsRead) {
    Harness h;
    h.files->writeAtomically(h.path("kasa.kdbx"),
                             h.codec->save(sampleDatabase(), KdbxKey("p", std::nullopt)));
    const QString fifo = h.path("anahtar");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& keyFile : {fifo, h.dir.path(), h.path("yok.key")}) {
        const auto state = h.makeState();
        state->prepare(h.path("kasa.kdbx"));
        h.files->reads.clear();
        state->unlock("p", keyFile);
        EXPECT_TRUE(state->isLocked());
        ASSERT_TRUE(state->lastError());
        EXPECT_EQ(h.files->reads, std::vector<QString>{keyFile});  // the database file was not read
    }
    const auto state = h.makeState();
    state->prepare(h.path("kasa.kdbx"));
    state->unlock("p", fifo);
    EXPECT_EQ(state->lastError(),
              "“anahtar” bir dosya değil (klasör, aygıt ya da adlandırılmış boru); lütfen bir "
              "dosya seçin.");
}

TEST(AppStateDocument, DuplicateIdentifiersAreRepairedOnUnlock) {
    Harness h;
    KdbxEntry first = entry("ilk");
    KdbxEntry second = first;
    second.title = "ikinci";
    const KdbxDatabase db = database(group("Kök", {first}, {group("Alt", {second})}));
    const auto state = h.makeState();
    open(h, *state, db);
    ASSERT_FALSE(state->isLocked());
    EXPECT_EQ(state->statusMessage(), "1 kaydın kimliği yinelenmişti, onarıldı.");
    EXPECT_FALSE(state->isDirty());
    EXPECT_EQ(state->database()->root.entries[0].id, first.id);
    EXPECT_NE(state->database()->root.groups[0].entries[0].id, first.id);
    h.scheduler->advance(2s);
    EXPECT_FALSE(state->statusMessage());
}

TEST(AppStateDocument, SavingWritesTheFileAndConfirms) {
    Harness h;
    const auto state = h.makeState();
    open(h, *state, sampleDatabase());
    EXPECT_FALSE(state->statusMessage());
    state->update(KdbxGroup(*state->selectedGroup()));
    ASSERT_TRUE(state->isDirty());
    state->save();
    EXPECT_FALSE(state->isDirty());
    EXPECT_EQ(state->statusMessage(), "Kaydedildi");
    EXPECT_EQ(h.codec->saved(h.files->read(h.path("kasa.kdbx"))).root.modified, startTime);
}

TEST(AppStateDocument, AFailedSaveKeepsTheChangesAndTheFile) {
    struct Case {
        std::function<void(Harness&)> breakIt;
        const char* note;
    };
    const Case cases[] = {
        {[](Harness& h) { h.files->failWrites = true; }, "failing writer"},
        {[](Harness& h) { h.codec->failSaves = true; }, "failing engine"},
    };
    for (const Case& c : cases) {
        Harness h;
        const auto state = h.makeState();
        open(h, *state, sampleDatabase());
        const std::string before = fileText(h.path("kasa.kdbx"));
        state->deleteEntries({state->database()->root.entries[0].id});
        c.breakIt(h);
        state->save();
        EXPECT_TRUE(state->isDirty()) << c.note;
        EXPECT_TRUE(state->lastError()) << c.note;
        EXPECT_FALSE(state->statusMessage()) << c.note;
        EXPECT_EQ(fileText(h.path("kasa.kdbx")), before) << c.note;
    }

    // The file's folder has gone away: nothing is written anywhere.
    Harness h;
    QDir(h.dir.path()).mkdir("klasör");
    const auto state = h.makeState();
    open(h, *state, sampleDatabase(), "klasör/kasa.kdbx");
    state->deleteEntries({state->database()->root.entries[0].id});
    ASSERT_TRUE(QDir(h.path("klasör")).removeRecursively());
    state->save();
    EXPECT_TRUE(state->isDirty());
    ASSERT_TRUE(state->lastError());
    EXPECT_TRUE(state->lastError()->startsWith("“kasa.kdbx” kaydedilemedi: "));
    EXPECT_FALSE(QFile::exists(h.path("klasör")));
}

TEST(AppStateDocument, SaveAsMovesToTheNewFileAndRemembersIt) {
    Harness h;
    const auto state = h.makeState();
    open(h, *state, sampleDatabase());
    const std::string original = fileText(h.path("kasa.kdbx"));
    state->deleteEntries({state->database()->root.entries[0].id});

    state->saveAs(h.path("yok/kopya.kdbx"));
    EXPECT_EQ(state->databaseURL(), h.path("kasa.kdbx"));
    EXPECT_TRUE(state->isDirty());
    ASSERT_TRUE(state->lastError());
    EXPECT_EQ(h.preferences.recentDatabaseBookmark(), h.path("kasa.kdbx").toUtf8());

    state->saveAs(h.path("kopya.kdbx"));
    EXPECT_EQ(state->databaseURL(), h.path("kopya.kdbx"));
    EXPECT_FALSE(state->isDirty());
    EXPECT_EQ(state->statusMessage(), "Kaydedildi");
    EXPECT_EQ(fileText(h.path("kasa.kdbx")), original);

    const auto later = h.makeState();
    later->restoreRecentDatabase();
    EXPECT_EQ(later->databaseURL(), h.path("kopya.kdbx"));
    later->unlock("parola", std::nullopt);
    EXPECT_EQ(later->database()->root.entries.size(), 0u);

    // A remembered file that is gone, or a file already chosen, changes nothing.
    ASSERT_TRUE(QFile::remove(h.path("kopya.kdbx")));
    const auto afterDeletion = h.makeState();
    afterDeletion->restoreRecentDatabase();
    EXPECT_FALSE(afterDeletion->databaseURL());
    afterDeletion->prepare(h.path("kasa.kdbx"));
    h.preferences.setRecentDatabaseBookmark(h.path("başka.kdbx").toUtf8());
    afterDeletion->restoreRecentDatabase();
    EXPECT_EQ(afterDeletion->databaseURL(), h.path("kasa.kdbx"));
}

TEST(AppStateDocument, LockingSavesSilentlyAndDropsTheDatabase) {
    Harness h;
    const auto state = h.makeState();
    open(h, *state, sampleDatabase());
    state->setSelectedEntryIDs({state->database()->root.entries[0].id});
    state->deleteEntries(state->selectedEntryIDs());
    state->setSearchText("posta");
    state->setRoute(Route::generator());
    state->setLastError("önceki hata");
    h.scheduler->advance(5s);

    state->lock();
    EXPECT_TRUE(state->isLocked());
    EXPECT_FALSE(state->isDirty());
    EXPECT_FALSE(state->database());
    EXPECT_FALSE(state->statusMessage());  // no "Kaydedildi"
    EXPECT_EQ(state->lastError(), "önceki hata");
    EXPECT_EQ(state->databaseURL(), h.path("kasa.kdbx"));
    EXPECT_TRUE(state->searchText().isEmpty());
    EXPECT_FALSE(state->route());
    EXPECT_FALSE(state->selectedGroupID());
    EXPECT_TRUE(state->selectedEntryIDs().empty());
    EXPECT_FALSE(state->canUndo());
    EXPECT_FALSE(state->undoLabel());
    EXPECT_FALSE(state->canSave());
    EXPECT_EQ(h.clipboard->clears, 1);
    EXPECT_EQ(h.codec->saved(h.files->read(h.path("kasa.kdbx"))).root.entries.size(), 0u);

    state->lock();
    EXPECT_EQ(h.clipboard->clears, 1);  // already locked: nothing at all
}

TEST(AppStateDocument, LockingAndClosingStayOpenWhenTheSaveFails) {
    Harness h;
    const auto state = h.makeState();
    open(h, *state, sampleDatabase());
    state->deleteEntries({state->database()->root.entries[0].id});
    h.files->failWrites = true;

    state->lock();
    EXPECT_FALSE(state->isLocked());
    EXPECT_TRUE(state->database());
    EXPECT_TRUE(state->isDirty());
    EXPECT_TRUE(state->canUndo());
    ASSERT_TRUE(state->lastError());
    EXPECT_TRUE(state->lastError()->contains("kaydedilemedi"));
    EXPECT_EQ(h.clipboard->clears, 0);

    state->setLastError(std::nullopt);
    state->closeDatabase();
    EXPECT_FALSE(state->isLocked());
    EXPECT_EQ(state->databaseURL(), h.path("kasa.kdbx"));
    EXPECT_TRUE(state->lastError());

    h.files->failWrites = false;
    state->closeDatabase();
    EXPECT_TRUE(state->isLocked());
    EXPECT_FALSE(state->databaseURL());
    EXPECT_EQ(h.preferences.recentDatabaseBookmark(), h.path("kasa.kdbx").toUtf8());
}

TEST(AppStateDocument, LeavingADatabaseWithUnsavedChangesSavesThemFirst) {
    struct Case {
        std::function<void(Harness&, AppState&)> leave;
        const char* note;
    };
    const Case cases[] = {
        {[](Harness& h, AppState& s) { s.prepare(h.path("başka.kdbx")); }, "choosing another file"},
        {[](Harness& h, AppState& s) { s.createDatabase(h.path("yeni.kdbx"), "p", std::nullopt); },
         "creating"},
        {[](Harness&, AppState& s) { s.unlock("parola", std::nullopt); }, "unlocking again"},
    };
    for (const Case& c : cases) {
        Harness h;
        const auto state = h.makeState();
        open(h, *state, sampleDatabase());
        state->deleteEntries({state->database()->root.entries[0].id});
        const KdbxDatabase changed = *state->database();

        h.files->failWrites = true;
        c.leave(h, *state);
        EXPECT_FALSE(state->isLocked()) << c.note;
        EXPECT_EQ(state->databaseURL(), h.path("kasa.kdbx")) << c.note;
        EXPECT_EQ(state->database()->root, changed.root) << c.note;
        EXPECT_TRUE(state->isDirty()) << c.note;
        EXPECT_TRUE(state->lastError()) << c.note;

        h.files->failWrites = false;
        c.leave(h, *state);
        EXPECT_FALSE(state->isDirty()) << c.note;
        EXPECT_EQ(h.codec->saved(h.files->read(h.path("kasa.kdbx"))).root.entries.size(), 0u) << c.note;
    }
}

// The credentials are the one secret the state keeps beside the database: whichever way they are
// let go, their buffers are wiped. Lengths that no other buffer of the test has tell the key's
// blocks apart.
TEST(AppStateDocument, TheKeyIsWipedWhenItIsLetGo) {
    const QString password = QStringLiteral("yalnızca-bu-sınamanın-parolası");
    const QString wrong = QStringLiteral("yanlış");
    const Bytes keyFile(37, 0x5A);
    struct Case {
        const char* note;
        std::function<void(Harness&, AppState&)> before;
        std::function<void(Harness&, AppState&)> letGo;
        // The password whose buffer is let go.
        QString typed;
    };
    const auto none = [](Harness&, AppState&) {};
    const Case cases[] = {
        {"locked", none, [](Harness&, AppState& s) { s.lock(); }, password},
        {"closed", none, [](Harness&, AppState& s) { s.closeDatabase(); }, password},
        {"another file chosen", none, [](Harness& h, AppState& s) { s.prepare(h.path("başka.kdbx")); },
         password},
        {"replaced by unlocking again", none,
         [&](Harness& h, AppState& s) { s.unlock(password, h.path("anahtar.key")); }, password},
        {"a failed unlock", [](Harness&, AppState& s) { s.lock(); },
         [&](Harness& h, AppState& s) { s.unlock(wrong, h.path("anahtar.key")); }, wrong},
    };
    for (const Case& c : cases) {
        Harness h;
        h.files->writeAtomically(h.path("anahtar.key"), keyFile);
        h.files->writeAtomically(h.path("kasa.kdbx"),
                                 h.codec->save(sampleDatabase(), KdbxKey(password.toStdString(), keyFile)));
        const auto state = h.makeState();
        state->prepare(h.path("kasa.kdbx"));
        state->unlock(password, h.path("anahtar.key"));
        ASSERT_FALSE(state->isLocked()) << c.note;
        c.before(h, *state);

        const testsupport::WipedBlocks recorder;
        c.letGo(h, *state);
        EXPECT_GE(recorder.wipedOfSize(std::size_t(c.typed.toUtf8().size())), 1u) << c.note << ": password";
        EXPECT_GE(recorder.wipedOfSize(keyFile.size()), 1u) << c.note << ": key file";
    }
}

TEST(AppStateDocument, ChoosingAFileDropsTheDatabaseWithoutSavingWhenNothingChanged) {
    Harness h;
    const auto state = h.makeState();
    open(h, *state, sampleDatabase());
    const int writes = h.files->writes;
    state->setSelectedEntryIDs({state->database()->root.entries[0].id});
    state->setLastError("eski");
    state->prepare(h.path("başka.kdbx"));
    EXPECT_EQ(h.files->writes, writes);
    EXPECT_TRUE(state->isLocked());
    EXPECT_FALSE(state->database());
    EXPECT_FALSE(state->lastError());
    EXPECT_TRUE(state->selectedEntryIDs().empty());
    EXPECT_EQ(state->databaseName(), "başka");
    EXPECT_EQ(h.preferences.recentDatabaseBookmark(), h.path("başka.kdbx").toUtf8());
}

TEST(AppStateDocument, CreatingNeverReplacesAFileWithContent) {
    struct Case {
        QByteArray content;
        bool created;
        const char* note;
    };
    const Case cases[] = {
        {QByteArray(), true, "an empty file is replaced"},
        {QByteArray("başka veri"), false, "a file with content stays"},
    };
    for (const Case& c : cases) {
        Harness h;
        const auto state = h.makeState();
        {
            QFile file(h.path("Radir.kdbx"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.content);
        }
        state->prepare(h.path("Radir.kdbx"));
        state->createDatabase(h.path("Radir.kdbx"), "parola", std::nullopt);
        EXPECT_EQ(state->isLocked(), !c.created) << c.note;
        EXPECT_EQ(h.files->writes, c.created ? 1 : 0) << c.note;
        if (c.created) continue;
        EXPECT_EQ(
            state->lastError(),
            "“Radir.kdbx” kaydedilemedi: bu konumda boş olmayan bir dosya var. Diskteki dosya değişmedi.")
            << c.note;
        QFile file(h.path("Radir.kdbx"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), c.content) << c.note;
    }
}
