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
#include <QLabel>
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
