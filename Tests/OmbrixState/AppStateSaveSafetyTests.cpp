#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <cerrno>
#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <QDir>
#include <QFile>

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
