// Quitting, shutting down and crashing: unsaved changes are saved first, and nothing secret stays
// behind.
#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QTemporaryDir>

#include "OmbrixAppFixture.h"
#include "OmbrixShell/OmbrixCommands.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/MainView.h"
#include "OmbrixUI/RootView.h"
#include "OmbrixUI/StatusBar.h"

namespace {

using shell::App;

}  // namespace

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
