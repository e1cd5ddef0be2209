#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <QDir>
#include <QTemporaryDir>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QVariantAnimation>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "OmbrixServices/Services/AutoTypeService.h"
#include "OmbrixServices/Services/HotKeyService.h"
#include "OmbrixShell/OmbrixApp.h"
#include "OmbrixShell/OmbrixCommands.h"
#include "OmbrixShell/TerminationSignals.h"
#include "OmbrixShell/WindowSizer.h"
#include "OmbrixState/FilePanels.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixUI/ConflictDialog.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/EntryEditView.h"
#include "OmbrixUI/EntryList.h"
#include "OmbrixUI/EntryListView.h"
#include "OmbrixUI/ErrorBanner.h"
#include "OmbrixUI/GroupEditView.h"
#include "OmbrixUI/GroupOutlineView.h"
#include "OmbrixUI/GroupTreeModel.h"
#include "OmbrixUI/GroupTreeView.h"
#include "OmbrixUI/MainView.h"
#include "OmbrixUI/RootView.h"
#include "OmbrixUI/SettingsView.h"
#include "OmbrixUI/StatusBar.h"
#include "OmbrixUI/UnlockView.h"
#include "ShellFixture.h"
#include "Support/MainWindowFixture.h"
#include "Support/QuietDesktop.h"
#include "Support/WidgetProbe.h"

namespace {

using shell::CancelledPanels;
using shell::settle;

// The key grabs of the desktop: one combination at a time, pressed when the test says so.
struct Grabs {
    bool heldByAnotherProgram = false;  // every combination is refused while true
    std::optional<HotKeyService::Registration> grabbed;
    std::function<void(std::uint32_t)> onPress;
    std::uint32_t id = 0;

    void press() {
        if (onPress) onPress(id);
    }
};

class GrabBackend final : public HotKeyService::Backend {
  public:
    explicit GrabBackend(Grabs& grabs) : grabs_(grabs) {}
    HotKeyService::Grant grab(std::uint32_t keyCode, std::uint32_t modifiers, std::uint32_t id,
                              std::function<void(std::uint32_t)> onPress) override {
        if (grabs_.heldByAnotherProgram) {
            HotKeyService::Grant refused;
            refused.takenByOther = true;
            return refused;
        }
        grabs_.grabbed = HotKeyService::Registration{keyCode, modifiers};
        grabs_.id = id;
        grabs_.onPress = std::move(onPress);
        return true;
    }
    void ungrab() override {
        grabs_.grabbed.reset();
        grabs_.onPress = nullptr;
    }
    QString keyText(std::uint32_t) const override { return {}; }

  private:
    Grabs& grabs_;
};

// A desktop whose active window belongs to another application.
class OtherApplicationInFront final : public QuietDesktop {
  public:
    static constexpr WindowId window = 77;

    void watchActiveWindow(std::function<void()>) override { ++watches; }
    WindowId activeWindow() override { return window; }
    bool windowExists(WindowId) override { return true; }
    QString applicationName(WindowId) override { return QStringLiteral("Tarayıcı"); }

    int watches = 0;
};

// The application over fakes: the state's outside world from the harness, services over fake
// desktops, and a quit that only counts.
struct App {
    // `adjust` changes the state's outside world before the application is made.
    explicit App(const std::function<void(App&, AppStateDependencies&)>& adjust = {}) {
        auto desktopBackend = std::make_unique<OtherApplicationInFront>();
        desktop = desktopBackend.get();
        autoType = std::make_unique<AutoTypeService>(std::move(desktopBackend));
        hotKeys = std::make_unique<HotKeyService>(std::make_unique<GrabBackend>(grabs));

        OmbrixApp::Dependencies deps;
        deps.preferences = &h.preferences;
        deps.clipboard = &clipboard;
        deps.autoType = autoType.get();
        deps.hotKeys = hotKeys.get();
        deps.lockScreenMetrics = &metrics;
        deps.state = h.dependencies();
        if (adjust) adjust(*this, deps.state);
        deps.panels = std::make_shared<CancelledPanels>();
        deps.quit = [this] { ++quits; };
        deps.screenArea = [](const QWidget&) { return std::optional<QRect>(screen); };
        app = std::make_unique<OmbrixApp>(std::move(deps));
    }

    void show() {
        app->show();
        QApplication::setActiveWindow(window());
        settle();
    }

    QMainWindow* window() const { return app->mainWindow(); }
    AppState& state() const { return app->state(); }

    // A 1600 × 1000 screen whose top 25 pixels belong to a panel.
    static constexpr QRect screen{0, 25, 1600, 975};

    fakes::Harness h;
    HandClipboard clipboard;
    Grabs grabs;
    OtherApplicationInFront* desktop = nullptr;
    std::unique_ptr<AutoTypeService> autoType;
    std::unique_ptr<HotKeyService> hotKeys;
    LockScreenMetrics metrics;
    int quits = 0;
    std::unique_ptr<OmbrixApp> app;
};

}  // namespace

TEST(OmbrixApp, StartsLockedOnTheRecentDatabaseWithTheHotKeyRegistered) {
    App a;
    const QString recent = a.h.path(QStringLiteral("son.kdbx"));
    {
        QFile file(recent);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("KDBX");
    }
    a.h.preferences.setRecentDatabaseBookmark(recent.toUtf8());
    a.h.preferences.setHotKey(40, 256);

    a.show();
    EXPECT_TRUE(a.window()->isVisible());
    EXPECT_EQ(a.window()->windowTitle(), QStringLiteral("Ombrix"));
    EXPECT_EQ(a.window()->centralWidget(), a.app->rootView());
    ASSERT_FALSE(a.window()->menuBar()->actions().isEmpty());
    EXPECT_EQ(a.window()->menuBar()->actions().first()->text(), QStringLiteral("Dosya"));
    ASSERT_NE(a.app->rootView()->unlockView(), nullptr);
    EXPECT_EQ(a.state().databaseURL(), std::optional<QString>(recent));
    EXPECT_TRUE(a.state().isLocked());
    EXPECT_EQ(a.grabs.grabbed, std::optional(HotKeyService::Registration{40, 256}));
    EXPECT_EQ(a.desktop->watches, 1) << "the frontmost application is followed";

    // Another combination recorded in the settings replaces the registration.
    a.h.preferences.setHotKey(1, 2304);
    EXPECT_EQ(a.grabs.grabbed, std::optional(HotKeyService::Registration{1, 2304}));

    // A press while locked takes the application in front as the auto-type target.
    a.grabs.press();
    settle();
    ASSERT_TRUE(a.autoType->targetApplication().has_value());
    EXPECT_EQ(a.autoType->targetApplication()->window, OtherApplicationInFront::window);

    // Showing the window again neither replaces the chosen file nor follows twice.
    a.state().prepare(a.h.path(QStringLiteral("diger.kdbx")));
    a.window()->hide();
    a.show();
    EXPECT_EQ(a.state().databaseURL(), std::optional<QString>(a.h.path(QStringLiteral("diger.kdbx"))));
    EXPECT_EQ(a.desktop->watches, 1);
    EXPECT_EQ(a.grabs.grabbed, std::optional(HotKeyService::Registration{1, 2304}));
}

TEST(OmbrixApp, TheWindowIsTitledAfterWhatItShowsAndSizedToIt) {
    App a;
    a.show();
    mainwindow::Sample sample;
    fakes::open(a.h, a.state(), sample.database);
    EXPECT_EQ(a.window()->windowTitle(), QStringLiteral("Kasa — 5 kayıt"));
    settle();
    // The exact size is the X11 suite's: here the offscreen screen is too small for it.
    EXPECT_EQ(a.window()->minimumSize(), WindowSizer::minimumUnlockedSize);
    EXPECT_EQ(a.window()->maximumWidth(), QWIDGETSIZE_MAX);

    a.state().lock();
    settle();
    EXPECT_EQ(a.window()->windowTitle(), QStringLiteral("Ombrix"));
    EXPECT_EQ(a.window()->width(), WindowSizer::lockedWidth);
    EXPECT_EQ(a.window()->minimumSize(), a.window()->maximumSize()) << "not resizable while locked";
}

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

TEST(OmbrixApp, QuittingSavesUnsavedChangesFirst) {
    struct Case {
        bool closeWindow;
        const char* note;
    };
    for (const Case c : {Case{true, "closing the window"}, Case{false, "the menu's quit command"}}) {
        App a;
        a.show();
        mainwindow::Sample sample;
        fakes::open(a.h, a.state(), sample.database);
        a.state().edit(QStringLiteral("Sınama"), [](KdbxDatabase& db) { db.meta.databaseName = "Yeni ad"; });
        const int writesBefore = a.h.files->writes;

        if (c.closeWindow) {
            EXPECT_TRUE(a.window()->close()) << c.note;
            EXPECT_FALSE(a.window()->isVisible()) << c.note;
        } else {
            a.app->commands()->action(OmbrixCommands::Command::quit)->trigger();
        }
        EXPECT_EQ(a.quits, 1) << c.note;
        EXPECT_EQ(a.h.files->writes, writesBefore + 1) << c.note;
        EXPECT_FALSE(a.state().isDirty()) << c.note;
        const Bytes file = a.h.files->read(a.h.path(QStringLiteral("kasa.kdbx")));
        EXPECT_EQ(a.h.codec->saved(file).meta.databaseName, "Yeni ad") << c.note;
    }
}

TEST(OmbrixApp, QuittingWithNothingToSaveWritesNothing) {
    App a;
    a.show();
    EXPECT_TRUE(a.window()->close()) << "locked";
    EXPECT_EQ(a.quits, 1);
    EXPECT_EQ(a.h.files->writes, 0);
}

TEST(OmbrixApp, AFailingSaveKeepsTheProgramOpenWithTheError) {
    App a;
    a.show();
    mainwindow::Sample sample;
    fakes::open(a.h, a.state(), sample.database);
    a.state().edit(QStringLiteral("Sınama"), [](KdbxDatabase& db) { db.meta.databaseName = "Yeni ad"; });
    a.h.files->failWrites = true;

    EXPECT_FALSE(a.window()->close());
    EXPECT_FALSE(a.app->prepareToQuit());
    a.app->quit();
    EXPECT_EQ(a.quits, 0);
    EXPECT_TRUE(a.window()->isVisible());
    EXPECT_FALSE(a.state().isLocked());
    EXPECT_TRUE(a.state().isDirty()) << "the changes are still there";
    ASSERT_TRUE(a.state().lastError().has_value());
    MainView* main = a.app->rootView()->mainView();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->statusBar()->errorLabel()->isVisible()) << "the status bar shows why";
    EXPECT_EQ(main->statusBar()->errorText()->text(), *a.state().lastError());

    // Once the file can be written the program can end.
    a.h.files->failWrites = false;
    EXPECT_TRUE(a.window()->close());
    EXPECT_EQ(a.quits, 1);
    EXPECT_FALSE(a.state().isDirty());
}

TEST(OmbrixApp, ShutdownClearsOurSecretAndReleasesTheHotKey) {
    App a;
    a.show();
    ASSERT_TRUE(a.grabs.grabbed);
    a.clipboard.copySecret(QStringLiteral("gizli"));
    ASSERT_TRUE(a.clipboard.hasPendingSecret());

    a.app->shutdown();
    EXPECT_FALSE(a.clipboard.hasPendingSecret());
    EXPECT_FALSE(a.grabs.grabbed);
    EXPECT_FALSE(a.hotKeys->isRegistered());
}

TEST(OmbrixApp, ACrashLeavesNoCoreFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A user who allows core files, in a folder of the test's own.
        rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        ::setrlimit(RLIMIT_CORE, &unlimited);
        if (::chdir(QFile::encodeName(dir.path()).constData()) != 0) ::_exit(2);
        const bool hardened = OmbrixApp::keepSecretsOutOfCrashDumps();
        const char dumpable = hardened && ::prctl(PR_GET_DUMPABLE) == 0 ? 'n' : 'y';
        if (::write(pipeFds[1], &dumpable, 1) != 1) ::_exit(4);
        std::signal(SIGABRT, SIG_DFL);
        ::raise(SIGABRT);
        ::_exit(5);
    }
    ::close(pipeFds[1]);
    char dumpable = 0;
    EXPECT_EQ(::read(pipeFds[0], &dumpable, 1), 1);
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(dumpable, 'n');
    EXPECT_FALSE(WCOREDUMP(status));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
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

namespace {

QByteArray fileContent(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeContent(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(content), content.size());
    ASSERT_TRUE(file.flush());
    file.close();
}

// Answers the conflict dialog whenever it shows, with "Vazgeç", and keeps what it said.
struct DialogWatch {
    DialogWatch() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<ConflictDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible()) return;
            messages << dialog->message()->text();
            dialog->button(ConflictDialog::keepEditing)->click();
        });
        timer.start(10);
    }
    QTimer timer;
    QStringList messages;
};

}  // namespace

// Another program's hand on the database file: a touch, an old modification time put back or an
// identical copy is no change and the changes are saved as usual; a real change is never overwritten unasked:
// the user is asked whatever needed the save, and when the program is told to end nobody is asked and the
// changes go to a file of their own beside the database.
TEST(OmbrixApp, AFileChangedElsewhereNeverTrapsTheChanges) {
    enum class Change { touched, oldTimePutBack, identicalCopy, realChange };
    enum class Operation { save, lock, quit, terminationSignal };
    const std::pair<Change, const char*> changes[] = {{Change::touched, "dokunuldu"},
                                                      {Change::oldTimePutBack, "eski tarihi geri kondu"},
                                                      {Change::identicalCopy, "aynı içerikle kopyalandı"},
                                                      {Change::realChange, "değişti"}};
    const std::pair<Operation, const char*> operations[] = {{Operation::save, "Ctrl+S"},
                                                            {Operation::lock, "kilit"},
                                                            {Operation::quit, "çıkış"},
                                                            {Operation::terminationSignal, "SIGTERM"}};
    for (const auto& [change, changeNote] : changes) {
        for (const auto& [operation, operationNote] : operations) {
            const std::string note = std::string(changeNote) + " / " + operationNote;
            App a;
            a.show();
            fakes::open(a.h, a.state(), fakes::database(fakes::group("Kök")));
            ASSERT_FALSE(a.state().isLocked()) << note;
            const QString path = a.h.path("kasa.kdbx");
            a.state().addEntry(fakes::entry("Benim"), a.state().database()->root.id);
            ASSERT_TRUE(a.state().isDirty()) << note;

            const QByteArray before = fileContent(path);
            struct stat written {};
            ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &written), 0) << note;
            // Times a second or more from the file's own, so that no file system's clock grain
            // can hide them.
            const auto setTime = [&](const QString& file, time_t seconds) {
                const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
                return ::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0) == 0;
            };
            switch (change) {
                case Change::touched:
                    // As `touch` a moment later.
                    ASSERT_TRUE(setTime(path, written.st_mtim.tv_sec + 2)) << note;
                    break;
                case Change::oldTimePutBack:
                    // As a backup tool or `touch -d` puts back the time of an older copy.
                    ASSERT_TRUE(setTime(path, written.st_mtim.tv_sec - 86400)) << note;
                    break;
                case Change::identicalCopy:
                    // Written anew elsewhere a moment later and moved over: another file, another time.
                    writeContent(path + ".kopya", before);
                    ASSERT_TRUE(setTime(path + ".kopya", written.st_mtim.tv_sec + 3)) << note;
                    ASSERT_EQ(::rename(QFile::encodeName(path + ".kopya").constData(),
                                       QFile::encodeName(path).constData()),
                              0);
                    break;
                case Change::realChange:
                    a.h.files->writeAtomically(path, a.h.codec->save(fakes::database(fakes::group("Öteki")),
                                                                     KdbxKey("parola", std::nullopt)));
                    break;
            }
            const QByteArray theirs = fileContent(path);

            DialogWatch watch;
            std::optional<TerminationSignals> termination;
            switch (operation) {
                case Operation::save:
                    a.app->commands()->action(OmbrixCommands::Command::save)->trigger();
                    break;
                case Operation::lock:
                    a.app->commands()->action(OmbrixCommands::Command::lock)->trigger();
                    break;
                case Operation::quit:
                    a.app->quit();
                    break;
                case Operation::terminationSignal:
                    termination.emplace();
                    a.app->followTerminationSignals(*termination);
                    ASSERT_EQ(::raise(SIGTERM), 0);
                    for (int turn = 0; turn < 20 && a.quits == 0; ++turn) settle();
                    break;
            }
            settle();

            const QStringList beside =
                QDir(a.h.dir.path()).entryList({QStringLiteral("kasa (kaydedilmemiş değişiklikler *).kdbx")});
            if (change != Change::realChange) {
                EXPECT_TRUE(watch.messages.isEmpty()) << note;
                EXPECT_FALSE(a.state().isDirty()) << note;
                EXPECT_EQ(fakes::titles(a.h.codec->saved(a.h.files->read(path)).root),
                          std::vector<std::string>{"Benim"})
                    << note;
                EXPECT_TRUE(beside.isEmpty()) << note;
                EXPECT_EQ(a.state().isLocked(), operation == Operation::lock) << note;
                EXPECT_EQ(a.quits,
                          operation == Operation::quit || operation == Operation::terminationSignal ? 1 : 0)
                    << note;
                continue;
            }
            // The other program's version is on disk, whatever happened.
            EXPECT_EQ(fileContent(path), theirs) << note;
            if (operation == Operation::terminationSignal) {
                EXPECT_TRUE(watch.messages.isEmpty()) << note << ": nobody is asked";
                EXPECT_EQ(a.quits, 1) << note;
                // Every row runs, whatever an earlier one found.
                EXPECT_EQ(beside.size(), 1) << note;
                if (beside.size() == 1) {
                    EXPECT_EQ(fakes::titles(a.h.codec->saved(a.h.files->read(a.h.path(beside.front()))).root),
                              std::vector<std::string>{"Benim"})
                        << note;
                }
                continue;
            }
            EXPECT_EQ(watch.messages.size(), 1) << note << ": the user is asked once";
            if (!watch.messages.isEmpty()) {
                EXPECT_TRUE(watch.messages.front().startsWith(QStringLiteral("“kasa.kdbx”, siz açtıktan")))
                    << note;
            }
            // Kept editing: nothing written, nothing dropped, nothing ended.
            EXPECT_FALSE(a.state().isLocked()) << note;
            EXPECT_TRUE(a.state().isDirty()) << note;
            EXPECT_EQ(a.quits, 0) << note;
            EXPECT_TRUE(beside.isEmpty()) << note;
        }
    }
}

TEST(OmbrixApp, AHotKeyAnotherProgramHeldIsTakenWhenTheUserComesBack) {
    App a;
    a.grabs.heldByAnotherProgram = true;
    a.show();
    EXPECT_EQ(a.hotKeys->status(), HotKeyService::Status::taken);
    EXPECT_FALSE(a.grabs.grabbed);

    a.app->showSettings();
    settle();
    SettingsView* settings = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* view = qobject_cast<SettingsView*>(top); view && view->isVisible()) settings = view;
    }
    ASSERT_NE(settings, nullptr);
    // The window lives for the process in the program; here it must not outlive this harness.
    const std::unique_ptr<SettingsView> owned(settings);
    EXPECT_FALSE(settings->hotKeyStatusLabel()->isHidden()) << "the card says the key is taken";

    // The other program lets go; the user goes back to the main window.
    a.grabs.heldByAnotherProgram = false;
    QApplication::setActiveWindow(a.window());
    settle();
    EXPECT_EQ(a.hotKeys->status(), HotKeyService::Status::registered);
    EXPECT_EQ(a.grabs.grabbed, std::optional(HotKeyService::Registration{0, 2304}));
    EXPECT_TRUE(settings->hotKeyStatusLabel()->isHidden());

    // Taken again with another combination; this time the user comes back to the settings.
    a.grabs.heldByAnotherProgram = true;
    a.h.preferences.setHotKey(40, 2304);
    EXPECT_EQ(a.hotKeys->status(), HotKeyService::Status::taken);
    EXPECT_FALSE(settings->hotKeyStatusLabel()->isHidden());
    a.grabs.heldByAnotherProgram = false;
    QApplication::setActiveWindow(settings);
    settle();
    EXPECT_EQ(a.grabs.grabbed, std::optional(HotKeyService::Registration{40, 2304}));
    EXPECT_TRUE(settings->hotKeyStatusLabel()->isHidden());

    // A press of the key taken late runs the handler: the target is captured.
    a.grabs.press();
    settle();
    EXPECT_TRUE(a.autoType->targetApplication().has_value());
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

namespace {

// Every size a widget takes, in order.
class SizeLog : public QObject {
  public:
    explicit SizeLog(QWidget* watched) { watched->installEventFilter(this); }
    std::vector<QSize> sizes;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) sizes.push_back(static_cast<QResizeEvent*>(event)->size());
        return QObject::eventFilter(watched, event);
    }
};

// Lets deferred work run until nothing is left that moves the window.
void settleWindow() {
    for (int turn = 0; turn < 10; ++turn) settle();
}

}  // namespace

// Locking and unlocking three times: the unlocked window comes back exactly where the user put
// it, at the user's size; the lock card is centred on it and the locked window takes no height
// but the card's.
TEST(OmbrixApp, TheWindowStaysWhereTheUserPutItAcrossLocking) {
    App a;
    a.show();
    mainwindow::Sample sample;
    fakes::open(a.h, a.state(), sample.database);
    settleWindow();
    a.window()->resize(1100, 700);
    a.window()->move(300, 150);
    settleWindow();
    const QRect unlocked = a.window()->frameGeometry();
    ASSERT_EQ(a.window()->size(), QSize(1100, 700));
    ASSERT_EQ(unlocked.topLeft(), QPoint(300, 150));

    for (int cycle = 1; cycle <= 3; ++cycle) {
        SizeLog log(a.window());
        a.state().lock();
        settleWindow();
        const QRect locked = a.window()->frameGeometry();
        const QSize lockedSize = a.window()->size();
        EXPECT_EQ(lockedSize.width(), WindowSizer::lockedWidth) << "cycle " << cycle;
        EXPECT_LE((QRectF(locked).center() - QRectF(unlocked).center()).manhattanLength(), 1.0)
            << "cycle " << cycle << ": the lock card is centred on the window, at " << locked.x() << ","
            << locked.y() << " " << locked.width() << "x" << locked.height();
        for (const QSize& size : log.sizes) {
            if (size.width() == WindowSizer::lockedWidth) {
                EXPECT_EQ(size, lockedSize)
                    << "cycle " << cycle << ": a locked height the card does not have";
            }
        }
        a.state().unlock(QStringLiteral("parola"), std::nullopt);
        ASSERT_FALSE(a.state().isLocked());
        settleWindow();
        EXPECT_EQ(a.window()->frameGeometry(), unlocked) << "cycle " << cycle;
    }
}

namespace {

// The sizes the lock screen and the main view take while they are shown, and the window's size
// at each of those moments.
class ViewSizeLog : public QObject {
  public:
    struct Seen {
        QSize view;
        QSize window;
    };
    explicit ViewSizeLog(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~ViewSizeLog() override { qApp->removeEventFilter(this); }
    std::vector<Seen> seen;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* view = qobject_cast<QWidget*>(watched);
        const bool ours = qobject_cast<MainView*>(watched) || qobject_cast<UnlockView*>(watched);
        const bool shownOrResized =
            event->type() == QEvent::Show || (event->type() == QEvent::Resize && view && view->isVisible());
        if (ours && shownOrResized) seen.push_back({view->size(), window_->size()});
        return QObject::eventFilter(watched, event);
    }

  private:
    QWidget* window_;
};

int difference(const QColor& a, const QColor& b) {
    return qMax(qAbs(a.red() - b.red()), qMax(qAbs(a.green() - b.green()), qAbs(a.blue() - b.blue())));
}

}  // namespace

// Locking and unlocking: the new view is shown only once the window has its new shape, laid out
// once at its final size, and the picture of the view left behind fades out over it where it
// stood on the screen, through frames that blend the two.
TEST(OmbrixApp, LockAndUnlockCrossFadeBetweenFinishedPictures) {
    App a;
    a.show();
    mainwindow::Sample sample;
    fakes::open(a.h, a.state(), sample.database);
    settleWindow();
    a.window()->move(300, 150);
    settleWindow();
    probe::MotionOn motion;
    RootView* root = a.app->rootView();

    for (const bool locking : {true, false}) {
        const char* note = locking ? "locking" : "unlocking";
        const QImage before = root->grab().toImage();
        const QPoint beforeAt = root->mapToGlobal(QPoint(0, 0));
        ViewSizeLog log(a.window());
        if (locking)
            a.state().lock();
        else
            a.state().unlock(QStringLiteral("parola"), std::nullopt);

        // Before the event loop turns: the window has its new shape and the new view fills it.
        QWidget* shown = locking ? static_cast<QWidget*>(root->unlockView()) : root->mainView();
        ASSERT_NE(shown, nullptr) << note;
        const QSize windowNow = a.window()->size();
        EXPECT_EQ(windowNow.width() == WindowSizer::lockedWidth, locking) << note;
        EXPECT_EQ(shown->size(), root->size()) << note;
        for (const ViewSizeLog::Seen& s : log.seen) {
            EXPECT_EQ(s.window, windowNow) << note << ": a view shown in a window of another size";
            EXPECT_EQ(s.view, root->size()) << note << ": a view laid out at another size";
        }

        // The old picture, unchanged, where it stood.
        QWidget* fade = root->fadingPicture();
        ASSERT_NE(fade, nullptr) << note;
        EXPECT_EQ(fade->mapToGlobal(QPoint(0, 0)), beforeAt) << note;
        EXPECT_EQ(fade->size(), before.size()) << note;
        auto* animation = fade->findChild<QVariantAnimation*>();
        ASSERT_NE(animation, nullptr) << note;
        const QPoint offset = beforeAt - root->mapToGlobal(QPoint(0, 0));
        const QImage start = root->grab().toImage();
        animation->setCurrentTime(RootView::fadeMs / 2);
        const QImage middle = root->grab().toImage();
        animation->setCurrentTime(RootView::fadeMs);
        settleWindow();
        EXPECT_EQ(root->fadingPicture(), nullptr) << note << ": the picture is gone at the end";
        const QImage end = root->grab().toImage();
        const QRect shared = QRect(offset, before.size())
                                 .intersected(start.rect())
                                 .intersected(middle.rect())
                                 .intersected(end.rect());
        ASSERT_FALSE(shared.isEmpty()) << note;

        // Where the two views differ: the start shows the old one, the end the new one, and the
        // middle a blend of both.
        int compared = 0;
        for (int y = shared.top(); y <= shared.bottom() && compared < 50; y += 7) {
            for (int x = shared.left(); x <= shared.right() && compared < 50; x += 7) {
                const QColor old = probe::pixel(before, x - offset.x(), y - offset.y());
                const QColor fresh = probe::pixel(end, x, y);
                if (difference(old, fresh) < 90) continue;
                ++compared;
                EXPECT_LE(difference(probe::pixel(start, x, y), old), 3) << note << " at " << x << "," << y;
                const QColor blended = probe::pixel(middle, x, y);
                EXPECT_GE(difference(blended, old), 9) << note << " at " << x << "," << y;
                EXPECT_GE(difference(blended, fresh), 9) << note << " at " << x << "," << y;
            }
        }
        EXPECT_GT(compared, 10) << note;
    }
}

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
    std::shared_ptr<GatedCodec> gate;
    App a{[this](App& app, AppStateDependencies& deps) {
        gate = std::make_shared<GatedCodec>(app.h.codec);
        deps.codec = gate;
        deps.work = std::make_shared<ThreadWorkRunner>();
    }};
    mainwindow::Sample sample;

    SlowSaves() {
        a.show();
        fakes::open(a.h, a.state(), sample.database);
        for (int turn = 0; turn < 1000 && a.state().isWorking(); ++turn) QTest::qWait(10);
        settle();
    }

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
    enum class Attempt { deleteInTheList, undo, entryEditor, newEntry, groupEditor, newGroup };
    const std::pair<Attempt, const char*> attempts[] = {
        {Attempt::deleteInTheList, "Delete in the list"},     {Attempt::undo, "Ctrl+Z"},
        {Attempt::entryEditor, "Kaydet in the entry editor"}, {Attempt::newEntry, "Kaydet in a new entry"},
        {Attempt::groupEditor, "Kaydet in the group editor"}, {Attempt::newGroup, "Kaydet in a new group"}};
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
            } else {
                s.a.app->commands()->action(OmbrixCommands::Command::undo)->trigger();
                EXPECT_NE(state.database()->meta.databaseName, "Yeni ad") << note;
            }
        }
        EXPECT_TRUE(state.isDirty()) << note;
    }
}

// Closing the window while a save runs: the window stays until the save has ended, then the
// program ends; a save that failed keeps it open with the reason.
TEST(OmbrixApp, ClosingTheWindowDuringASaveQuitsOnceItEnds) {
    for (const bool fails : {false, true}) {
        const char* note = fails ? "the save fails" : "the save succeeds";
        SlowSaves s;
        AppState& state = s.a.state();
        state.edit(QStringLiteral("Sınama"), [](KdbxDatabase& db) { db.meta.databaseName = "Yeni ad"; });
        s.a.h.files->failWrites = fails;
        bool closed = true;
        int quitsMeanwhile = -1;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (!state.isSaving() || quitsMeanwhile >= 0) return;
            closed = s.a.window()->close();
            quitsMeanwhile = s.a.quits;
            s.gate->release();
        });
        s.gate->close();
        probe.start(10);
        s.a.app->commands()->action(OmbrixCommands::Command::save)->trigger();
        probe.stop();
        for (int turn = 0; turn < 5; ++turn) settle();

        EXPECT_FALSE(closed) << note << ": closed in the middle of the save";
        EXPECT_EQ(quitsMeanwhile, 0) << note;
        EXPECT_EQ(s.a.quits, fails ? 0 : 1) << note;
        EXPECT_EQ(state.isDirty(), fails) << note;
        EXPECT_EQ(pointer(), Qt::ArrowCursor) << note;
        if (fails) {
            EXPECT_TRUE(s.a.window()->isVisible()) << note;
            EXPECT_TRUE(s.bar()->errorLabel()->isVisible()) << note;
        } else {
            EXPECT_EQ(s.onDisk().meta.databaseName, "Yeni ad") << note;
        }
    }
}
