// A save that takes a while: the window keeps answering, and nothing tried meanwhile is lost.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "OmbrixAppFixture.h"
#include "OmbrixShell/OmbrixCommands.h"
#include "OmbrixShell/TerminationSignals.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/EntryEditView.h"
#include "OmbrixUI/EntryList.h"
#include "OmbrixUI/EntryListView.h"
#include "OmbrixUI/ErrorBanner.h"
#include "OmbrixUI/GroupEditView.h"
#include "OmbrixUI/MainView.h"
#include "OmbrixUI/RootView.h"
#include "OmbrixUI/StatusBar.h"

namespace {

using shell::App;
using shell::settle;

}  // namespace

namespace {

// The engine's save as long as the test wants: each save waits until the test lets it go (or
// ten seconds have passed, so that a window that stopped answering fails the test instead of
// holding it).
class GatedCodec final : public DatabaseCodec {
  public:
    explicit GatedCodec(std::shared_ptr<fakes::MemoryCodec> inner) : inner_(std::move(inner)) {}

    KdbxDatabase load(const Bytes& file, const KdbxKey& key) const override {
        return inner_->load(file, key);
    }
    Bytes save(const KdbxDatabase& database, const KdbxKey& key) const override {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            released_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
        }
        return inner_->save(database, key);
    }
    // Every save from now on goes through at once.
    void release() {
        const std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        released_.notify_all();
    }
    void close() {
        const std::lock_guard<std::mutex> lock(mutex_);
        open_ = false;
    }

  private:
    std::shared_ptr<fakes::MemoryCodec> inner_;
    mutable std::mutex mutex_;
    mutable std::condition_variable released_;
    bool open_ = true;
};

// The application over the fakes, its saves held at the gate on a thread of their own, with the
// sample database open.
struct SlowSaves {
    explicit SlowSaves(shell::AppOptions options = {})
        : a(
              [this](App& app, AppStateDependencies& deps) {
                  gate = std::make_shared<GatedCodec>(app.h.codec);
                  deps.codec = gate;
                  deps.work = std::make_shared<ThreadWorkRunner>();
              },
              std::move(options)) {
        a.show();
        fakes::open(a.h, a.state(), sample.database);
        for (int turn = 0; turn < 1000 && a.state().isWorking(); ++turn) QTest::qWait(10);
        settle();
    }

    std::shared_ptr<GatedCodec> gate;
    App a;
    mainwindow::Sample sample;

    StatusBar* bar() const { return a.app->rootView()->mainView()->statusBar(); }
    const KdbxDatabase& onDisk() const {
        return a.h.codec->saved(a.h.files->read(a.h.path(QStringLiteral("kasa.kdbx"))));
    }
};

// Counts the paint events a widget gets.
class PaintCounter final : public QObject {
  public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

Qt::CursorShape pointer() {
    return QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
}

const KdbxEntry* findEntry(const KdbxDatabase& database, const UUID& id) {
    return GroupTree::findEntry(database.root, id);
}

}  // namespace

// A save that takes a while shows that the program is working and the window keeps answering:
// the status bar says "Kaydediliyor…", the pointer is busy, timers run and the window paints.
// A change the user makes meanwhile is not made, the user is told why, and nothing typed is
// lost: an editor sheet stays open with its text and takes it once the save has ended.
// Afterwards the pointer is back, the status bar says "Kaydedildi" and changes work again.
TEST(OmbrixApp, ASaveThatTakesAWhileShowsItIsBusyAndLosesNothingTriedMeanwhile) {
    enum class Attempt { deleteInTheList, undo, entryEditor, newEntry, groupEditor, newGroup, saveAs, open };
    const std::pair<Attempt, const char*> attempts[] = {
        {Attempt::deleteInTheList, "Delete in the list"},
        {Attempt::undo, "Ctrl+Z"},
        {Attempt::entryEditor, "Kaydet in the entry editor"},
        {Attempt::newEntry, "Kaydet in a new entry"},
        {Attempt::groupEditor, "Kaydet in the group editor"},
        {Attempt::newGroup, "Kaydet in a new group"},
        // A file dialog would hold the save's end until it closed.
        {Attempt::saveAs, "Farklı Kaydet…"},
        {Attempt::open, "Veritabanı Aç…"}};
    for (const auto& pair : attempts) {
        const Attempt attempt = pair.first;
        const char* const note = pair.second;
        SlowSaves s;
        AppState& state = s.a.state();
        const UUID github = s.sample.github.id;
        state.edit(QStringLiteral("Sınama"), [](KdbxDatabase& db) { db.meta.databaseName = "Yeni ad"; });
        state.setSelectedEntryIDs({github});
        settle();
        ASSERT_TRUE(s.bar()->unsavedMark()->isVisible()) << note;

        // What the user typed into an editor before the save began.
        const UUID root = state.database()->root.id;
        const bool entrySheet = attempt == Attempt::entryEditor || attempt == Attempt::newEntry;
        const bool groupSheet = attempt == Attempt::groupEditor || attempt == Attempt::newGroup;
        SheetScaffold* sheet = nullptr;
        if (entrySheet || groupSheet) {
            switch (attempt) {
                case Attempt::entryEditor:
                    state.setRoute(Route::editEntry(github));
                    break;
                case Attempt::newEntry:
                    state.setRoute(Route::newEntry(root));
                    break;
                case Attempt::groupEditor:
                    state.setRoute(Route::editGroup(s.sample.mail.id));
                    break;
                default:
                    // A subgroup of the parent is selected, as it would be after the new one.
                    state.setSelectedGroupID(s.sample.mail.id);
                    state.setRoute(Route::newGroup(root));
                    break;
            }
            settle();
            sheet = qobject_cast<SheetScaffold*>(s.a.app->rootView()->sheet());
            ASSERT_NE(sheet, nullptr) << note;
            QLineEdit* field = entrySheet ? static_cast<EntryEditView*>(sheet)->titleField()->lineEdit()
                                          : static_cast<GroupEditView*>(sheet)->nameField()->lineEdit();
            field->selectAll();
            field->insert(QStringLiteral("Yazılan"));
        }
        // What was typed into the sheet has reached the database.
        const auto typedIsIn = [&] {
            const KdbxGroup& tree = state.database()->root;
            switch (attempt) {
                case Attempt::entryEditor:
                    return findEntry(*state.database(), github)->title == "Yazılan";
                case Attempt::newEntry:
                    return std::any_of(tree.entries.begin(), tree.entries.end(),
                                       [](const KdbxEntry& e) { return e.title == "Yazılan"; });
                case Attempt::groupEditor:
                    return GroupTree::findGroup(tree, s.sample.mail.id)->name == "Yazılan";
                default:
                    return std::any_of(tree.groups.begin(), tree.groups.end(),
                                       [](const KdbxGroup& g) { return g.name == "Yazılan"; });
            }
        };

        struct Seen {
            QString status;
            bool statusShown;
            Qt::CursorShape pointer;
        };
        std::vector<Seen> seen;
        PaintCounter painted(s.bar()->statusLabel());
        int paintsWhileSaving = 0;
        bool changedMeanwhile = false;
        std::optional<QString> toldMeanwhile;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (!state.isSaving()) return;
            seen.push_back({s.bar()->statusLabel()->text(), s.bar()->statusLabel()->isVisible(), pointer()});
            if (seen.size() == 2) painted.paints = 0;
            s.bar()->statusLabel()->update();
            if (seen.size() == 5) {
                const KdbxDatabase before = *state.database();
                switch (attempt) {
                    case Attempt::deleteInTheList: {
                        QWidget* list = s.a.app->rootView()->mainView()->entryList()->list();
                        list->setFocus();
                        QTest::keyClick(list, Qt::Key_Delete);
                        changedMeanwhile = !findEntry(*state.database(), github);
                        break;
                    }
                    case Attempt::undo:
                        s.a.app->commands()->action(OmbrixCommands::Command::undo)->trigger();
                        changedMeanwhile = state.database()->meta.databaseName != "Yeni ad";
                        break;
                    case Attempt::saveAs:
                        s.a.app->commands()->action(OmbrixCommands::Command::saveAs)->trigger();
                        break;
                    case Attempt::open:
                        s.a.app->commands()->action(OmbrixCommands::Command::openDatabase)->trigger();
                        break;
                    default:
                        QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
                        changedMeanwhile = typedIsIn();
                        break;
                }
                toldMeanwhile = state.lastError();
            }
            if (seen.size() == 8) {
                paintsWhileSaving = painted.paints;
                s.gate->release();
            }
        });
        s.gate->close();
        probe.start(10);
        s.a.app->commands()->action(OmbrixCommands::Command::save)->trigger();
        probe.stop();
        settle();

        // While it ran.
        ASSERT_GE(seen.size(), 8u) << note << ": the window stopped answering during the save";
        for (const Seen& moment : seen) {
            EXPECT_TRUE(moment.statusShown) << note;
            EXPECT_EQ(moment.status.toStdString(), "Kaydediliyor…") << note;
            EXPECT_EQ(moment.pointer, Qt::WaitCursor) << note;
        }
        EXPECT_GT(paintsWhileSaving, 0) << note << ": the window stopped painting during the save";
        EXPECT_FALSE(changedMeanwhile) << note << ": the database changed under the save";
        const QString told = toldMeanwhile.value_or(QString());
        EXPECT_TRUE(told.contains(QStringLiteral("kaydedilirken")))
            << note << ": a change refused without a word: " << told.toStdString();

        // Afterwards: saved as it was when the save began, and all back to normal.
        EXPECT_EQ(s.onDisk().meta.databaseName, "Yeni ad") << note;
        EXPECT_NE(findEntry(s.onDisk(), github), nullptr) << note;
        EXPECT_FALSE(state.isSaving()) << note;
        EXPECT_FALSE(state.isDirty()) << note;
        EXPECT_EQ(pointer(), Qt::ArrowCursor) << note;
        EXPECT_EQ(s.bar()->statusLabel()->text().toStdString(), "Kaydedildi") << note;
        EXPECT_FALSE(s.bar()->unsavedMark()->isVisible()) << note;
        EXPECT_TRUE(s.bar()->errorLabel()->isVisible()) << note << ": the refusal still shows";

        // What was typed is still there, and goes in now.
        if (sheet) {
            EXPECT_EQ(s.a.app->rootView()->sheet(), sheet)
                << note << ": the editor closed with what was typed";
            if (s.a.app->rootView()->sheet() != sheet) continue;
            EXPECT_TRUE(sheet->errorBanner()->isPresent()) << note;
            EXPECT_EQ(sheet->errorBanner()->message().toStdString(), told.toStdString()) << note;
            QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
            settle();
            EXPECT_EQ(s.a.app->rootView()->sheet(), nullptr) << note;
            EXPECT_TRUE(typedIsIn()) << note;
        } else {
            if (attempt == Attempt::deleteInTheList) {
                s.a.app->rootView()->mainView()->entryList()->list()->setFocus();
                QTest::keyClick(s.a.app->rootView()->mainView()->entryList()->list(), Qt::Key_Delete);
                EXPECT_EQ(findEntry(*state.database(), github), nullptr) << note;
            } else if (attempt == Attempt::undo) {
                s.a.app->commands()->action(OmbrixCommands::Command::undo)->trigger();
                EXPECT_NE(state.database()->meta.databaseName, "Yeni ad") << note;
            } else {
                continue;
            }
        }
        EXPECT_TRUE(state.isDirty()) << note;
    }
}

// Leaving while a save runs (closing the window, Ctrl+Q, the signal to end, locking): the
// request is kept and carried out once the save has ended, saving what is still unsaved; a save
// that failed keeps the program open with the reason.
TEST(OmbrixApp, LeavingDuringASaveHappensOnceItEnds) {
    enum class Leaving { windowClosed, quitCommand, terminationSignal, lockCommand };
    const std::pair<Leaving, const char*> ways[] = {{Leaving::windowClosed, "pencere kapatıldı"},
                                                    {Leaving::quitCommand, "Ctrl+Q"},
                                                    {Leaving::terminationSignal, "SIGTERM"},
                                                    {Leaving::lockCommand, "Ctrl+L"}};
    for (const auto& pair : ways) {
        // A name of its own: the probe below captures it.
        const Leaving way = pair.first;
        const char* const wayNote = pair.second;
        for (const bool fails : {false, true}) {
            const std::string note =
                std::string(wayNote) + (fails ? ", the save fails" : ", the save succeeds");
            SlowSaves s;
            AppState& state = s.a.state();
            state.edit(QStringLiteral("Sınama"), [](KdbxDatabase& db) { db.meta.databaseName = "Yeni ad"; });
            s.a.h.files->failWrites = fails;
            std::optional<TerminationSignals> termination;
            if (way == Leaving::terminationSignal) {
                termination.emplace();
                s.a.app->followTerminationSignals(*termination);
            }
            bool closed = true;
            int quitsMeanwhile = -1;
            bool lockedMeanwhile = false;
            QTimer probe;
            QObject::connect(&probe, &QTimer::timeout, [&] {
                if (!state.isSaving() || quitsMeanwhile >= 0) return;
                switch (way) {
                    case Leaving::windowClosed:
                        closed = s.a.window()->close();
                        break;
                    case Leaving::quitCommand:
                        s.a.app->commands()->action(OmbrixCommands::Command::quit)->trigger();
                        break;
                    case Leaving::terminationSignal:
                        ::raise(SIGTERM);
                        // Its news reaches the window's thread through the event loop.
                        for (int turn = 0; turn < 20; ++turn) QCoreApplication::processEvents();
                        break;
                    case Leaving::lockCommand:
                        s.a.app->commands()->action(OmbrixCommands::Command::lock)->trigger();
                        break;
                }
                quitsMeanwhile = s.a.quits;
                lockedMeanwhile = state.isLocked();
                s.gate->release();
            });
            s.gate->close();
            probe.start(10);
            s.a.app->commands()->action(OmbrixCommands::Command::save)->trigger();
            probe.stop();
            for (int turn = 0; turn < 20; ++turn) settle();

            EXPECT_EQ(quitsMeanwhile, 0) << note << ": ended in the middle of the save";
            EXPECT_FALSE(lockedMeanwhile) << note << ": locked in the middle of the save";
            if (way == Leaving::windowClosed) {
                EXPECT_FALSE(closed) << note << ": closed in the middle of the save";
            }
            EXPECT_EQ(pointer(), Qt::ArrowCursor) << note;
            const bool ends = way != Leaving::lockCommand;
            // Where the file cannot be written at all (nor a file for the changes anywhere else).
            if (fails) {
                EXPECT_EQ(s.a.quits, 0) << note;
                EXPECT_FALSE(state.isLocked()) << note;
                EXPECT_TRUE(state.isDirty()) << note;
                EXPECT_TRUE(s.a.window()->isVisible()) << note;
                EXPECT_TRUE(s.bar()->errorLabel()->isVisible()) << note;
                continue;
            }
            EXPECT_EQ(s.a.quits, ends ? 1 : 0) << note;
            EXPECT_EQ(state.isLocked(), !ends) << note;
            EXPECT_EQ(s.onDisk().meta.databaseName, "Yeni ad") << note;
        }
    }
}

// Every save says so while it runs, whatever asked for it: the save command, locking, closing the
// database, quitting, opening another file.
TEST(OmbrixApp, EverySaveSaysItIsSaving) {
    enum class Asker { saveCommand, lockCommand, closeCommand, quitCommand, openCommand };
    const std::pair<Asker, const char*> askers[] = {{Asker::saveCommand, "Ctrl+S"},
                                                    {Asker::lockCommand, "Ctrl+L"},
                                                    {Asker::closeCommand, "Veritabanını Kapat"},
                                                    {Asker::quitCommand, "Ctrl+Q"},
                                                    {Asker::openCommand, "Ctrl+O"}};
    struct OtherFile final : FilePanels {
        QString path;
        std::optional<QString> chooseDatabase() override { return path; }
        std::optional<QString> chooseKeyFile() override { return std::nullopt; }
        std::optional<QString> newDatabaseDestination() override { return std::nullopt; }
        std::optional<QString> saveAsDestination(const QString&) override { return std::nullopt; }
    };
    for (const auto& [asker, note] : askers) {
        auto other = std::make_shared<OtherFile>();
        SlowSaves s({.panels = other});
        other->path = s.a.h.path(QStringLiteral("öteki.kdbx"));
        AppState& state = s.a.state();
        state.edit(QStringLiteral("Sınama"), [](KdbxDatabase& db) { db.meta.databaseName = "Yeni ad"; });
        std::vector<QString> seen;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (!state.isSaving()) return;
            seen.push_back(s.bar()->statusLabel()->isVisible() ? s.bar()->statusLabel()->text()
                                                               : QStringLiteral("<gizli>"));
            if (seen.size() == 3) s.gate->release();
        });
        s.gate->close();
        probe.start(10);
        const OmbrixCommands::Command command =
            asker == Asker::saveCommand    ? OmbrixCommands::Command::save
            : asker == Asker::lockCommand  ? OmbrixCommands::Command::lock
            : asker == Asker::closeCommand ? OmbrixCommands::Command::closeDatabase
            : asker == Asker::quitCommand  ? OmbrixCommands::Command::quit
                                           : OmbrixCommands::Command::openDatabase;
        s.a.app->commands()->action(command)->trigger();
        probe.stop();
        s.gate->release();
        settle();

        EXPECT_GE(seen.size(), 3u) << note;
        for (const QString& status : seen) EXPECT_EQ(status.toStdString(), "Kaydediliyor…") << note;
        EXPECT_EQ(s.onDisk().meta.databaseName, "Yeni ad") << note;
        EXPECT_FALSE(state.isSaving()) << note;
        // Said no longer once it has ended (a leaving status keeps its last words as it fades).
        EXPECT_NE(state.statusMessage(), std::optional<QString>(QStringLiteral("Kaydediliyor…"))) << note;
    }
}
