#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include "Support/AppStateFakes.h"

using namespace fakes;

namespace {

// The memory codec's files, padded to a chosen size so that a database can be small or large.
class PaddedCodec final : public DatabaseCodec {
  public:
    KdbxDatabase load(const Bytes& file, const KdbxKey& key) const override {
        Bytes token = file;
        while (!token.empty() && token.back() == '#') token.pop_back();
        return inner.load(token, key);
    }
    Bytes save(const KdbxDatabase& database, const KdbxKey& key) const override {
        Bytes bytes = inner.save(database, key);
        if (bytes.size() < size) bytes.resize(size, '#');
        return bytes;
    }

    MemoryCodec inner;
    std::size_t size = 0;
};

// What goes wrong during the next write.
enum class Fault { none, fileSizeLimit, diskFull, writeIOError, syncIOError, folderSyncIOError, renameFails };

struct Injection {
    Fault fault = Fault::none;
    std::size_t writtenBeforeFault = 4096;
    std::size_t written = 0;
};

FileSystemCalls injected(const std::shared_ptr<Injection>& injection) {
    FileSystemCalls calls = FileSystemCalls::system();
    const FileSystemCalls real = FileSystemCalls::system();
    calls.write = [injection, real](int fd, const void* data, std::size_t size) -> ssize_t {
        const bool failing = injection->fault == Fault::diskFull || injection->fault == Fault::writeIOError;
        if (failing && injection->written >= injection->writtenBeforeFault) {
            errno = injection->fault == Fault::diskFull ? ENOSPC : EIO;
            return -1;
        }
        // Short writes, as a nearly full disk gives them.
        const std::size_t chunk =
            failing ? std::min(size, injection->writtenBeforeFault - injection->written) : size;
        const ssize_t n = real.write(fd, data, chunk);
        if (n > 0) injection->written += static_cast<std::size_t>(n);
        return n;
    };
    calls.fdatasync = [injection, real](int fd) {
        if (injection->fault == Fault::syncIOError) {
            errno = EIO;
            return -1;
        }
        return real.fdatasync(fd);
    };
    calls.fsyncFolder = [injection, real](int fd) {
        if (injection->fault == Fault::folderSyncIOError) {
            errno = EIO;
            return -1;
        }
        return real.fsyncFolder(fd);
    };
    calls.rename = [injection, real](const char* from, const char* to) {
        if (injection->fault == Fault::renameFails) {
            errno = EXDEV;
            return -1;
        }
        return real.rename(from, to);
    };
    return calls;
}

// Lowers the process's file-size limit for its lifetime; writes beyond it fail with EFBIG
// instead of killing the process.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &previous_), 0);
        rlimit lowered = previous_;
        lowered.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

  private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

QByteArray contentOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QByteArrayLiteral("<yok>");
    return file.readAll();
}

struct SaveSetup {
    explicit SaveSetup(std::size_t size) : injection(std::make_shared<Injection>()) {
        codec->size = size;
        AppStateDependencies deps = h.dependencies();
        deps.codec = codec;
        deps.files = std::make_shared<LocalFileStore>(injected(injection));
        state = std::make_unique<AppState>(deps);
    }

    Harness h;
    std::shared_ptr<PaddedCodec> codec = std::make_shared<PaddedCodec>();
    std::shared_ptr<Injection> injection;
    std::unique_ptr<AppState> state;
};

struct FaultCase {
    const char* note;
    Fault fault;
    const char* cause;
};

const FaultCase faultCases[] = {
    {"dosya boyutu sınırı", Fault::fileSizeLimit, "izin verilen en büyük dosya boyutunu aşıyor"},
    {"disk dolu", Fault::diskFull, "diskte yer kalmadı"},
    {"yazarken G/Ç hatası", Fault::writeIOError, "giriş/çıkış hatası"},
    {"eşitlemede G/Ç hatası", Fault::syncIOError, "giriş/çıkış hatası"},
    {"klasör eşitlemesinde G/Ç hatası", Fault::folderSyncIOError, "giriş/çıkış hatası"},
    {"yeniden adlandırma", Fault::renameFails, "başka bir dosya sistemine"},
};

struct SizeCase {
    const char* note;
    std::size_t oldSize;
    std::size_t newSize;
};

// A database under Qt's 16 KiB write buffer, and one well above it.
const SizeCase sizeCases[] = {{"küçük", 6 * 1024, 9 * 1024}, {"büyük", 200 * 1024, 300 * 1024}};

}  // namespace

TEST(AppStateSaveSafety, AFailedSaveLeavesTheOldFileAndSaysWhy) {
    for (const SizeCase& size : sizeCases) {
        for (const FaultCase& c : faultCases) {
            const std::string note = std::string(size.note) + " / " + c.note;
            SaveSetup s(size.oldSize);
            const QString path = s.h.path("kasa.kdbx");
            s.state->createDatabase(path, "parola", std::nullopt);
            ASSERT_FALSE(s.state->lastError()) << note << ": " << s.state->lastError()->toStdString();
            const QByteArray before = contentOf(path);
            ASSERT_EQ(before.size(), static_cast<qsizetype>(size.oldSize)) << note;

            s.state->addEntry(entry("Posta"), s.state->database()->root.id);
            s.codec->size = size.newSize;
            s.injection->fault = c.fault;
            {
                std::optional<FileSizeLimit> limit;
                if (c.fault == Fault::fileSizeLimit) limit.emplace(size.oldSize + 1024);
                s.state->save();
            }

            ASSERT_TRUE(s.state->lastError()) << note;
            const std::string error = s.state->lastError()->toStdString();
            EXPECT_NE(error.find("Diskteki dosya değişmedi."), std::string::npos) << note << ": " << error;
            EXPECT_NE(error.find(c.cause), std::string::npos) << note << ": " << error;
            EXPECT_EQ(error.find("kod"), std::string::npos) << note << ": " << error;
            EXPECT_NE(s.state->statusMessage(), std::optional<QString>(QStringLiteral("Kaydedildi"))) << note;
            EXPECT_TRUE(s.state->isDirty()) << note;
            EXPECT_EQ(contentOf(path), before) << note;
            // The new content's file is gone; the old file is the only one in the folder.
            EXPECT_EQ(QDir(s.h.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kasa.kdbx"})
                << note;

            // Once the fault is gone the same changes save.
            s.injection->fault = Fault::none;
            s.state->save();
            EXPECT_FALSE(s.state->isDirty()) << note;
            EXPECT_EQ(contentOf(path).size(), static_cast<qsizetype>(size.newSize)) << note;
        }
    }
}

TEST(AppStateSaveSafety, CreatingOnAFullDiskLeavesNoFile) {
    for (const FaultCase& c : faultCases) {
        SaveSetup s(9 * 1024);
        const QString path = s.h.path("yeni.kdbx");
        s.injection->fault = c.fault;
        {
            std::optional<FileSizeLimit> limit;
            if (c.fault == Fault::fileSizeLimit) limit.emplace(4096);
            s.state->createDatabase(path, "parola", std::nullopt);
        }
        ASSERT_TRUE(s.state->lastError()) << c.note;
        const std::string error = s.state->lastError()->toStdString();
        EXPECT_NE(error.find("Diskte yeni bir dosya bırakılmadı."), std::string::npos)
            << c.note << ": " << error;
        EXPECT_NE(error.find(c.cause), std::string::npos) << c.note << ": " << error;
        EXPECT_TRUE(s.state->isLocked()) << c.note;
        EXPECT_TRUE(QDir(s.h.dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty()) << c.note;
    }
}

TEST(AppStateSaveSafety, AFileChangedByAnotherProgramIsNotOverwritten) {
    struct Change {
        const char* note;
        std::function<void(Harness&, const QString&)> make;
    };
    const Change changes[] = {
        {"başka bir kopya yazıldı",
         [](Harness& h, const QString& path) {
             h.files->writeAtomically(
                 path, h.codec->save(database(group("Öteki")), KdbxKey("parola", std::nullopt)));
         }},
        // Same size and the old modification time: only the content tells.
        {"aynı boy ve zaman",
         [](Harness& h, const QString& path) {
             const std::optional<FileStamp> before = h.files->stamp(path);
             QByteArray content = contentOf(path);
             content[content.size() - 1] = content.back() == 'x' ? 'y' : 'x';
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
             ASSERT_EQ(file.write(content), content.size());
             file.close();
             struct timespec times[2] = {
                 {0, UTIME_OMIT}, {before->modifiedNs / 1'000'000'000, before->modifiedNs % 1'000'000'000}};
             ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
         }},
    };
    for (const Change& change : changes) {
        Harness h;
        auto state = h.makeState();
        open(h, *state, database(group("Kök")));
        const QString path = h.path("kasa.kdbx");
        change.make(h, path);
        const QByteArray theirs = contentOf(path);

        state->addEntry(entry("Posta"), state->database()->root.id);
        state->save();
        ASSERT_TRUE(state->lastError()) << change.note;
        EXPECT_NE(state->lastError()->toStdString().find("başka bir program tarafından değiştirilmiş"),
                  std::string::npos)
            << change.note;
        EXPECT_NE(state->lastError()->toStdString().find("Farklı Kaydet"), std::string::npos) << change.note;
        EXPECT_TRUE(state->fileChangedOnDisk()) << change.note;
        EXPECT_TRUE(state->isDirty()) << change.note;
        EXPECT_EQ(contentOf(path), theirs) << change.note;

        // Locking would have to save first: it is refused too, and the changes stay open.
        state->lock();
        EXPECT_FALSE(state->isLocked()) << change.note;
        EXPECT_EQ(contentOf(path), theirs) << change.note;

        // Under another name the changes are kept, and that file is saved normally from then on.
        state->saveAs(h.path("kasa-benim.kdbx"));
        EXPECT_FALSE(state->isDirty()) << change.note;
        EXPECT_FALSE(state->fileChangedOnDisk()) << change.note;
        EXPECT_EQ(contentOf(path), theirs) << change.note;
        state->addEntry(entry("Banka"), state->database()->root.id);
        state->save();
        EXPECT_FALSE(state->isDirty()) << change.note;
        EXPECT_EQ(h.codec->saved(h.files->read(h.path("kasa-benim.kdbx"))).root.entries.size(), 2u)
            << change.note;
    }
}

TEST(AppStateSaveSafety, OwnSavesAndAReopenedFileSaveWithoutComplaint) {
    Harness h;
    auto state = h.makeState();
    open(h, *state, database(group("Kök")));
    for (int i = 0; i < 2; ++i) {
        state->addEntry(entry("Posta"), state->database()->root.id);
        state->save();
        EXPECT_FALSE(state->lastError()) << i;
        EXPECT_FALSE(state->isDirty()) << i;
    }
    // Someone else's copy, then opened again here: that copy is the one compared with.
    h.files->writeAtomically(h.path("kasa.kdbx"),
                             h.codec->save(database(group("Öteki")), KdbxKey("parola", std::nullopt)));
    state->lock();
    state->unlock("parola", std::nullopt);
    state->addEntry(entry("Banka"), state->database()->root.id);
    state->save();
    EXPECT_FALSE(state->lastError());
    EXPECT_FALSE(state->isDirty());
}

TEST(AppStateSaveSafety, AFileFarLargerThanAnyDatabaseIsRefusedForItsSize) {
    Harness h;
    auto state = h.makeState();
    const QString path = h.path("çöp.kdbx");
    QFile junk(path);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    ASSERT_TRUE(junk.resize(qint64{2} << 30));  // sparse: nothing on the disk
    junk.close();
    state->prepare(path);
    state->unlock("parola", std::nullopt);
    EXPECT_TRUE(state->isLocked());
    ASSERT_TRUE(state->lastError());
    EXPECT_NE(state->lastError()->toStdString().find("dosya çok büyük"), std::string::npos)
        << state->lastError()->toStdString();
    EXPECT_EQ(h.codec->loads, 0);
}

// What each answer to a conflict does to the disk and to what is open.
TEST(AppStateSaveSafety, EachAnswerToAConflictKeepsWhatItSays) {
    using Action = ConflictChoice::Action;
    struct Case {
        const char* note;
        Action action;
        // Titles in the open file afterwards, in the other file, and what is open.
        std::vector<std::string> onDisk;
        std::optional<std::vector<std::string>> elsewhere;
        std::vector<std::string> open;
        bool dirty;
    };
    const std::vector<Case> cases = {
        {"vazgeç", Action::keepEditing, {}, std::nullopt, {"Benim"}, true},
        {"üzerine yaz", Action::overwrite, {"Benim"}, std::nullopt, {"Benim"}, false},
        {"başka bir adla", Action::saveElsewhere, {}, std::vector<std::string>{"Benim"}, {"Benim"}, false},
        {"değişikliklerimi at", Action::discardMine, {}, std::nullopt, {}, false},
    };
    for (const Case& c : cases) {
        Harness h;
        auto state = h.makeState();
        open(h, *state, database(group("Kök")));
        const QString path = h.path("kasa.kdbx");
        const QString other = h.path("kasa-benim.kdbx");
        state->addEntry(entry("Benim"), state->database()->root.id);
        h.files->writeAtomically(path,
                                 h.codec->save(database(group("Öteki")), KdbxKey("parola", std::nullopt)));
        int asked = 0;
        state->setConflictResolver([&](const QString& name) {
            ++asked;
            EXPECT_EQ(name, QStringLiteral("kasa.kdbx"));
            ConflictChoice choice;
            choice.action = c.action;
            choice.elsewhere = other;
            return choice;
        });
        state->save();
        EXPECT_EQ(asked, 1) << c.note;
        EXPECT_EQ(titles(h.codec->saved(h.files->read(path)).root), c.onDisk) << c.note;
        EXPECT_EQ(QFile::exists(other), c.elsewhere.has_value()) << c.note;
        if (c.elsewhere && QFile::exists(other)) {
            EXPECT_EQ(titles(h.codec->saved(h.files->read(other)).root), *c.elsewhere) << c.note;
            EXPECT_EQ(state->databaseURL(), other) << c.note;
        }
        ASSERT_TRUE(state->database()) << c.note;
        EXPECT_EQ(titles(state->database()->root), c.open) << c.note;
        EXPECT_EQ(state->isDirty(), c.dirty) << c.note;
        EXPECT_FALSE(state->isLocked()) << c.note;
        // Once settled, the next save asks nothing.
        if (c.action != Action::keepEditing) {
            state->addEntry(entry("Sonra"), state->database()->root.id);
            state->save();
            EXPECT_EQ(asked, 1) << c.note;
            EXPECT_FALSE(state->isDirty()) << c.note;
        }
    }
}

// What a save could not keep of the file's access is said once, in the error line.
TEST(AppStateSaveSafety, WhatASaveCouldNotKeepOfTheFilesAccessIsSaid) {
    Harness h;
    auto state = h.makeState();
    open(h, *state, database(group("Kök")));
    state->addEntry(entry("Posta"), state->database()->root.id);
    h.files->note = QStringLiteral("“kasa.kdbx” kaydedildi, ancak grubu korunamadı (yeni grubu “ali”).");
    state->save();
    EXPECT_FALSE(state->isDirty());
    EXPECT_EQ(state->lastError(), h.files->note);
    EXPECT_EQ(state->statusMessage(), std::optional<QString>(QStringLiteral("Kaydedildi")));
}

namespace {

// The engine as it fails when the system gives it no thread.
class NoThreadCodec final : public DatabaseCodec {
  public:
    KdbxDatabase load(const Bytes&, const KdbxKey&) const override {
        throw std::system_error(EAGAIN, std::generic_category(), "Resource temporarily unavailable");
    }
    Bytes save(const KdbxDatabase&, const KdbxKey&) const override {
        throw std::system_error(EAGAIN, std::generic_category(), "Resource temporarily unavailable");
    }
};

}  // namespace

TEST(AppStateSaveSafety, AThreadTheSystemWouldNotGiveIsToldInTurkish) {
    Harness h;
    h.files->writeAtomically(h.path("kasa.kdbx"), Bytes{1, 2, 3, 4});
    AppStateDependencies deps = h.dependencies();
    deps.codec = std::make_shared<NoThreadCodec>();
    AppState state(deps);
    state.prepare(h.path("kasa.kdbx"));
    state.unlock("parola", std::nullopt);
    EXPECT_TRUE(state.isLocked());
    ASSERT_TRUE(state.lastError());
    const std::string error = state.lastError()->toStdString();
    EXPECT_EQ(error.find("Resource"), std::string::npos) << error;
    EXPECT_NE(error.find("iş parçacığı başlatamadı"), std::string::npos) << error;
}

namespace {

// Holds the next save's new file back at its creation (after the look at the old file, where
// the replacement begins) until the test lets it go. Waiting on the window's thread, it keeps the
// events flowing, as any wait of the window does.
struct CreationGate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::atomic<bool> reached{false};

    void release() {
        const std::lock_guard<std::mutex> lock(mutex);
        open = true;
        opened.notify_all();
    }
    void pass(bool onTheWindowsThread) {
        reached = true;
        if (onTheWindowsThread) {
            QElapsedTimer waited;
            waited.start();
            while (waited.elapsed() < 20000) {
                {
                    const std::lock_guard<std::mutex> lock(mutex);
                    if (open) return;
                }
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            return;
        }
        std::unique_lock<std::mutex> lock(mutex);
        opened.wait_for(lock, std::chrono::seconds(20), [this] { return open; });
    }
};

FileSystemCalls gatedCreation(const std::shared_ptr<CreationGate>& gate) {
    FileSystemCalls calls = FileSystemCalls::system();
    const FileSystemCalls real = FileSystemCalls::system();
    calls.create = [gate, real](const char* path, mode_t mode) {
        gate->pass(QCoreApplication::instance()->thread() == QThread::currentThread());
        return real.create(path, mode);
    };
    return calls;
}

void waitForWork(const AppState& state) {
    QElapsedTimer waited;
    waited.start();
    while (state.isWorking() && waited.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace

// Two windows on one file, each with its own change, save at the same moment: the look at the
// file and its replacement are one step, so exactly one of them writes; the other finds the file
// changed and asks, and nothing reported as saved is missing from the disk.
TEST(AppStateSaveSafety, TwoSavesOfOneFileAtTheSameMomentNeverBothWrite) {
    Harness h;
    const QString path = h.path("kasa.kdbx");
    const auto gate = std::make_shared<CreationGate>();
    const auto make = [&](std::shared_ptr<FileStore> files) {
        AppStateDependencies deps = h.dependencies();
        deps.files = std::move(files);
        deps.work = std::make_shared<ThreadWorkRunner>();
        return std::make_unique<AppState>(deps);
    };
    std::unique_ptr<AppState> first = make(std::make_shared<LocalFileStore>(gatedCreation(gate)));
    std::unique_ptr<AppState> second = make(std::make_shared<LocalFileStore>());
    h.files->writeAtomically(path, h.codec->save(database(group("Kök")), KdbxKey("parola", std::nullopt)));
    struct Seen {
        int asked = 0;
    };
    Seen seen[2];
    AppState* states[2] = {first.get(), second.get()};
    for (int i = 0; i < 2; ++i) {
        AppState& state = *states[i];
        state.prepare(path);
        state.unlock("parola", std::nullopt);
        waitForWork(state);
        ASSERT_FALSE(state.isLocked()) << i;
        state.addEntry(entry(i == 0 ? "Birinci" : "İkinci"), state.database()->root.id);
        state.setConflictResolver([&seen, i](const QString&) {
            ++seen[i].asked;
            return ConflictChoice{};
        });
    }

    // The second saves while the first is between its look at the file and its replacement; the
    // first goes on a while later, whether or not the second has ended by then.
    bool secondStarted = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (secondStarted || !gate->reached) return;
        secondStarted = true;
        QTimer::singleShot(1000, [gate] { gate->release(); });
        second->save();
    });
    poll.start(5);
    first->save();
    poll.stop();
    gate->release();
    ASSERT_TRUE(secondStarted) << "the first save never reached its replacement";

    const auto saved = [](const AppState& state) {
        return !state.isDirty() &&
               state.statusMessage() == std::optional<QString>(QStringLiteral("Kaydedildi"));
    };
    EXPECT_NE(saved(*first), saved(*second)) << "exactly one of the two saves writes";
    EXPECT_EQ(seen[0].asked + seen[1].asked, 1) << "the other one asks";
    const std::vector<std::string> onDisk = titles(h.codec->saved(h.files->read(path)).root);
    for (int i = 0; i < 2; ++i) {
        if (!saved(*states[i])) continue;
        EXPECT_EQ(onDisk, titles(states[i]->database()->root)) << i << ": reported as saved, missing on disk";
    }
    for (int i = 0; i < 2; ++i) {
        if (saved(*states[i])) continue;
        EXPECT_TRUE(states[i]->isDirty()) << i;
        EXPECT_TRUE(states[i]->fileChangedOnDisk()) << i;
    }
    EXPECT_EQ(QDir(h.dir.path()).entryList(QDir::Files | QDir::Hidden).join(" | ").toStdString(),
              "kasa.kdbx");
}

namespace {

// Two real Ombrix processes on one file, for the test below: this test program run again, once
// per role, with the folder and the role in the environment. Each writes what it sees to
// "<role>-result" in the folder, after "<role>-opened" once it has the file open and changed;
// the first also says "first-reached" when its save stands between its look at the file and its
// replacement, and waits there for "first-go".
constexpr const char* twoProcessesVariable = "OMBRIX_TWO_PROCESSES_SAVE";

bool appears(const QString& file, int milliseconds) {
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(file)) {
        if (waited.elapsed() > milliseconds) return false;
        QThread::msleep(5);
    }
    return true;
}

void touch(const QString& file, const QByteArray& text = {}) {
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size() || !f.flush()) std::_Exit(3);
    f.close();
}

pid_t startSaveProcess(const QString& folder, const char* role) {
    const QByteArray value = QFile::encodeName(folder) + ':' + role;
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv(twoProcessesVariable, value.constData(), 1);
        const char* argv[] = {"/proc/self/exe", "--gtest_filter=AppStateSaveSafety.SaveProcessChild",
                              nullptr};
        ::execv(argv[0], const_cast<char**>(argv));
        std::_Exit(5);
    }
    return child;
}

}  // namespace

TEST(AppStateSaveSafety, SaveProcessChild) {
    const char* given = std::getenv(twoProcessesVariable);
    if (!given) GTEST_SKIP() << "run by TwoOmbrixProcessesSavingOneFileNeverBothWrite";
    const QString value = QFile::decodeName(given);
    const QString folder = value.section(':', 0, -2);
    const QString role = value.section(':', -1);
    const QString path = folder + "/kasa.kdbx";
    const bool first = role == "first";

    Harness h;
    AppStateDependencies deps = h.dependencies();
    deps.codec = std::make_shared<KdbxFileCodec>();
    FileSystemCalls calls = FileSystemCalls::system();
    if (first) {
        const FileSystemCalls real = FileSystemCalls::system();
        calls.create = [real, folder](const char* name, mode_t mode) {
            touch(folder + "/first-reached");
            if (!appears(folder + "/first-go", 20000)) std::_Exit(6);
            return real.create(name, mode);
        };
    }
    deps.files = std::make_shared<LocalFileStore>(calls);
    deps.work = std::make_shared<ThreadWorkRunner>();
    AppState state(deps);
    state.prepare(path);
    state.unlock("parola", std::nullopt);
    waitForWork(state);
    ASSERT_FALSE(state.isLocked());
    state.addEntry(entry(first ? "Birinci" : "İkinci"), state.database()->root.id);
    touch(folder + "/" + role + "-opened");
    bool asked = false;
    state.setConflictResolver([&asked](const QString&) {
        asked = true;
        return ConflictChoice{};
    });
    state.save();
    waitForWork(state);
    const bool saved =
        !state.isDirty() && state.statusMessage() == std::optional<QString>(QStringLiteral("Kaydedildi"));
    touch(folder + "/" + role + "-result", saved ? "saved" : asked && state.isDirty() ? "asked" : "neither");
}

// The same as above with two real processes: the hold that makes the look at the file and its
// replacement one step is one between programs, not only within one.
TEST(AppStateSaveSafety, TwoOmbrixProcessesSavingOneFileNeverBothWrite) {
    Harness h;
    const QString folder = h.dir.path();
    const KdbxFileCodec codec;
    h.files->writeAtomically(h.path("kasa.kdbx"),
                             codec.save(database(group("Kök")), KdbxKey("parola", std::nullopt)));

    const pid_t first = startSaveProcess(folder, "first");
    ASSERT_GT(first, 0);
    const bool reached = appears(folder + "/first-reached", 20000);
    // The second opens the file and saves while the first stands between its look and its
    // replacement; the first goes on once the second has ended, or a while later if it is
    // waiting for the first.
    const pid_t second = reached ? startSaveProcess(folder, "second") : -1;
    if (second > 0 && appears(folder + "/second-opened", 20000)) appears(folder + "/second-result", 3000);
    touch(folder + "/first-go");
    int status = 0;
    ASSERT_EQ(::waitpid(first, &status, 0), first);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "first: " << status;
    ASSERT_TRUE(reached) << "the first save never reached its replacement";
    ASSERT_EQ(::waitpid(second, &status, 0), second);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "second: " << status;

    const auto result = [&](const char* role) {
        QFile f(folder + "/" + role + "-result");
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("(none)");
    };
    const std::string results[2] = {result("first"), result("second")};
    EXPECT_EQ(std::count(std::begin(results), std::end(results), "saved"), 1)
        << results[0] << " / " << results[1] << ": exactly one of the two saves writes";
    EXPECT_EQ(std::count(std::begin(results), std::end(results), "asked"), 1)
        << results[0] << " / " << results[1] << ": the other one asks";
    const KdbxDatabase onDisk =
        codec.load(h.files->read(h.path("kasa.kdbx")), KdbxKey("parola", std::nullopt));
    EXPECT_EQ(titles(onDisk.root), std::vector<std::string>{results[0] == "saved" ? "Birinci" : "İkinci"})
        << "what was reported as saved is what is on disk";
    QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    left.removeIf(
        [](const QString& name) { return name.startsWith("first-") || name.startsWith("second-"); });
    EXPECT_EQ(left.join(" | ").toStdString(), "kasa.kdbx");
}

namespace {

// A folder that takes no new file: the disk is full there.
FileSystemCalls fullFolder(const QString& folder) {
    FileSystemCalls calls = FileSystemCalls::system();
    const FileSystemCalls real = FileSystemCalls::system();
    const QByteArray prefix = QFile::encodeName(folder) + '/';
    calls.create = [prefix, real](const char* path, mode_t mode) {
        if (QByteArray(path).startsWith(prefix)) {
            errno = ENOSPC;
            return -1;
        }
        return real.create(path, mode);
    };
    return calls;
}

// Gathers what the program writes to standard error (through Qt's messages) while it lives.
class MessageCatcher {
  public:
    MessageCatcher() {
        caught().clear();
        previous_ = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& message) { caught() << message; });
    }
    ~MessageCatcher() { qInstallMessageHandler(previous_); }
    static QStringList& caught() {
        static QStringList messages;
        return messages;
    }

  private:
    QtMessageHandler previous_ = nullptr;
};

}  // namespace

// Told to end when the changes can reach neither the file nor a new file beside it (the disk is
// full there, or the folder became read-only): they go to the user's own data folder, readable by
// the user alone, and standard error says where.
TEST(AppStateSaveSafety, ChangesThatFitNowhereBesideTheFileGoToTheUsersDataFolder) {
    struct Case {
        const char* note;
        bool changedElsewhere;
    };
    const Case cases[] = {{"disk dolu", false}, {"başka bir programda değişti, disk dolu", true}};
    for (const Case& c : cases) {
        Harness h;
        QTemporaryDir home;
        const QByteArray previousDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("veri")));
        AppStateDependencies deps = h.dependencies();
        deps.rescueFolder.clear();  // the user's own, from the environment
        // Nothing new can be made beside the database.
        deps.files = std::make_shared<LocalFileStore>(fullFolder(h.dir.path()));
        auto state = std::make_unique<AppState>(deps);
        open(h, *state, database(group("Kök")));
        const QString path = h.path("kasa.kdbx");
        if (c.changedElsewhere)
            h.files->writeAtomically(
                path, h.codec->save(database(group("Öteki")), KdbxKey("parola", std::nullopt)));
        const QByteArray before = contentOf(path);
        state->addEntry(entry("Benim"), state->database()->root.id);

        bool settled = false;
        QStringList said;
        {
            MessageCatcher catcher;
            settled = state->settleForTermination();
            said = MessageCatcher::caught();
        }
        if (previousDataHome.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", previousDataHome);

        EXPECT_TRUE(settled) << c.note;
        EXPECT_EQ(contentOf(path), before) << c.note;
        EXPECT_EQ(QDir(h.dir.path()).entryList(QDir::Files | QDir::Hidden).join(" | ").toStdString(),
                  "kasa.kdbx")
            << c.note;
        const QDir rescue(home.filePath("veri/Ombrix"));
        const QStringList found =
            rescue.entryList({QStringLiteral("kasa (kaydedilmemiş değişiklikler *).kdbx")});
        ASSERT_EQ(found.size(), 1) << c.note;
        const QString written = rescue.filePath(found.front());
        EXPECT_EQ(titles(h.codec->saved(h.files->read(written)).root), std::vector<std::string>{"Benim"})
            << c.note;
        struct stat file {
        }, folder{};
        ASSERT_EQ(::stat(QFile::encodeName(written).constData(), &file), 0) << c.note;
        ASSERT_EQ(::stat(QFile::encodeName(rescue.path()).constData(), &folder), 0) << c.note;
        EXPECT_EQ(file.st_mode & 07777, 0600u) << c.note;
        EXPECT_EQ(folder.st_mode & 077, 0u) << c.note << ": the folder is the user's own";
        EXPECT_TRUE(std::any_of(said.begin(), said.end(),
                                [&](const QString& line) { return line.contains(written); }))
            << c.note << ": standard error names the file: " << said.join(" / ").toStdString();
    }
}
