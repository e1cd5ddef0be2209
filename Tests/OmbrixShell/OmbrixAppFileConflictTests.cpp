// The database file changed by another program while it is open.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "OmbrixAppFixture.h"
#include "OmbrixShell/OmbrixCommands.h"
#include "OmbrixShell/TerminationSignals.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixUI/ConflictDialog.h"

namespace {

using shell::App;
using shell::settle;

}  // namespace

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

// How the user answers the conflict dialog.
enum class Answer { vazgecClicked, escapePressed, elsewhereClicked, discardClicked };

// Answers the conflict dialog whenever it shows and keeps what it said; cancels every file
// dialog that shows and keeps the folder it opened in.
struct DialogWatch {
    explicit DialogWatch(Answer answer = Answer::vazgecClicked) {
        QObject::connect(&timer, &QTimer::timeout, [this, answer] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible()) return;
            if (auto* files = qobject_cast<QFileDialog*>(modal)) {
                fileDialogFolders << QFileInfo(files->directory().absolutePath()).canonicalFilePath();
                fileDialogNames << files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
                files->reject();
                return;
            }
            auto* dialog = qobject_cast<ConflictDialog*>(modal);
            if (!dialog) return;
            messages << dialog->message()->text();
            switch (answer) {
                case Answer::vazgecClicked:
                    dialog->button(ConflictDialog::keepEditing)->click();
                    break;
                case Answer::escapePressed:
                    QTest::keyClick(dialog, Qt::Key_Escape);
                    break;
                case Answer::elsewhereClicked:
                    dialog->button(ConflictDialog::saveElsewhere)->click();
                    break;
                case Answer::discardClicked:
                    dialog->button(ConflictDialog::discardMine)->click();
                    break;
            }
        });
        timer.start(10);
    }
    QTimer timer;
    QStringList messages;
    QStringList fileDialogFolders;
    QStringList fileDialogNames;
};

// Another program's version of the open file.
void changeElsewhere(App& a) {
    a.h.files->writeAtomically(a.h.path("kasa.kdbx"), a.h.codec->save(fakes::database(fakes::group("Öteki")),
                                                                      KdbxKey("parola", std::nullopt)));
}

}  // namespace

// Another program's hand on the database file: a touch, an old modification time put back or an
// identical copy is no change and the changes are saved as usual; a real change is never overwritten unasked:
// the user is asked whatever needed the save, and when the program is told to end nobody is asked and the
// changes go to a file of their own beside the database.
TEST(OmbrixApp, AFileChangedElsewhereNeverTrapsTheChanges) {
    enum class Change { touched, oldTimePutBack, identicalCopy, realChange };
    enum class Operation { save, saveWithEscape, lock, quit, terminationSignal };
    const std::pair<Change, const char*> changes[] = {{Change::touched, "dokunuldu"},
                                                      {Change::oldTimePutBack, "eski tarihi geri kondu"},
                                                      {Change::identicalCopy, "aynı içerikle kopyalandı"},
                                                      {Change::realChange, "değişti"}};
    const std::pair<Operation, const char*> operations[] = {{Operation::save, "Ctrl+S"},
                                                            {Operation::saveWithEscape, "Ctrl+S, Escape"},
                                                            {Operation::lock, "kilit"},
                                                            {Operation::quit, "çıkış"},
                                                            {Operation::terminationSignal, "SIGTERM"}};
    for (const auto& [change, changeNote] : changes) {
        for (const auto& [operation, operationNote] : operations) {
            const std::string note = std::string(changeNote) + " / " + operationNote;
            // Qt's own file dialogs: one that opens is seen.
            App a({}, {.panels = nullptr});
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
                    changeElsewhere(a);
                    break;
            }
            const QByteArray theirs = fileContent(path);

            DialogWatch watch(operation == Operation::saveWithEscape ? Answer::escapePressed
                                                                     : Answer::vazgecClicked);
            std::optional<TerminationSignals> termination;
            switch (operation) {
                case Operation::save:
                case Operation::saveWithEscape:
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
            // Kept editing: nothing written, nothing dropped, nothing ended, nothing else asked.
            EXPECT_FALSE(a.state().isLocked()) << note;
            EXPECT_TRUE(a.state().isDirty()) << note;
            EXPECT_EQ(a.quits, 0) << note;
            EXPECT_TRUE(beside.isEmpty()) << note;
            EXPECT_TRUE(watch.fileDialogFolders.isEmpty()) << note << ": a save dialog opened";
            EXPECT_FALSE(a.state().lastError()) << note << ": " << a.state().lastError()->toStdString();
        }
    }
}

// The save dialogs open in the database's folder, proposing its name, wherever the program was
// started: "Farklı Kaydet…" and the conflict dialog's "başka bir adla kaydet…".
TEST(OmbrixApp, SaveDialogsOpenInTheDatabasesFolder) {
    enum class Way { saveAsCommand, conflictDialog };
    const std::pair<Way, const char*> ways[] = {{Way::saveAsCommand, "Farklı Kaydet…"},
                                                {Way::conflictDialog, "başka bir adla kaydet…"}};
    for (const auto& [way, note] : ways) {
        App a({}, {.panels = nullptr});
        a.show();
        fakes::open(a.h, a.state(), fakes::database(fakes::group("Kök")));
        ASSERT_NE(QFileInfo(QDir::currentPath()).canonicalFilePath(),
                  QFileInfo(a.h.dir.path()).canonicalFilePath());
        DialogWatch watch(Answer::elsewhereClicked);
        if (way == Way::saveAsCommand) {
            a.app->commands()->action(OmbrixCommands::Command::saveAs)->trigger();
        } else {
            a.state().addEntry(fakes::entry("Benim"), a.state().database()->root.id);
            changeElsewhere(a);
            a.app->commands()->action(OmbrixCommands::Command::save)->trigger();
            EXPECT_EQ(watch.messages.size(), 1) << note;
        }
        settle();
        EXPECT_EQ(watch.fileDialogFolders, QStringList{QFileInfo(a.h.dir.path()).canonicalFilePath()})
            << note;
        EXPECT_EQ(watch.fileDialogNames, QStringList{QStringLiteral("kasa.kdbx")}) << note;
    }
}

// "Değişikliklerimi at, diskteki sürümü aç" when quitting: one answer ends the program, through
// Qt's own quit, which closes the main window (its close event asks whether it may) and then
// tells the application it is about to end.
TEST(OmbrixApp, DroppingTheChangesOnQuitAsksOnce) {
    enum class Way { quitCommand, windowClosed };
    const std::pair<Way, const char*> ways[] = {{Way::quitCommand, "Ctrl+Q"},
                                                {Way::windowClosed, "pencere kapatıldı"}};
    for (const auto& [way, note] : ways) {
        App a({}, {.qtQuit = true});
        a.show();
        fakes::open(a.h, a.state(), fakes::database(fakes::group("Kök")));
        a.state().addEntry(fakes::entry("Benim"), a.state().database()->root.id);
        changeElsewhere(a);
        const QByteArray theirs = fileContent(a.h.path("kasa.kdbx"));

        DialogWatch watch(Answer::discardClicked);
        QTimer::singleShot(0, a.window(), [&a, way = way] {
            if (way == Way::quitCommand)
                a.app->commands()->action(OmbrixCommands::Command::quit)->trigger();
            else
                a.window()->close();
        });
        // A program that never ends fails the test instead of holding it.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        guard.start(30000);
        EXPECT_EQ(QApplication::exec(), 0) << note << ": the program did not end";
        EXPECT_EQ(watch.messages.size(), 1) << note;
        EXPECT_EQ(fileContent(a.h.path("kasa.kdbx")), theirs) << note;
        EXPECT_TRUE(QDir(a.h.dir.path()).entryList({QStringLiteral("kasa (kaydedilmemiş*")}).isEmpty())
            << note;
    }
}
