#pragma once

// Stand-ins for what the application state reaches outside itself, and a harness that wires
// them up over a temporary folder.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixServices/Services/PasswordGenerator.h"
#include "OmbrixState/AppState.h"
#include "OmbrixState/GroupTree.h"
#include "OmbrixState/Preferences.h"

namespace fakes {

using namespace std::chrono_literals;

inline const Timestamp startTime = Timestamp(1'700'000'000s);

// A codec that keeps the databases it "saves" in memory and hands out a token per file. Loading
// checks the credentials as the engine would.
class MemoryCodec final : public DatabaseCodec {
  public:
    KdbxDatabase load(const Bytes& file, const KdbxKey& key) const override {
        ++loads;
        const auto found = files_.find(std::string(file.begin(), file.end()));
        if (found == files_.end()) throw KdbxError::notAKdbxFile();
        if (found->second.key.password != key.password || found->second.key.keyFileData != key.keyFileData) {
            throw KdbxError::invalidCredentials();
        }
        return found->second.database;
    }

    Bytes save(const KdbxDatabase& database, const KdbxKey& key) const override {
        if (failSaves) throw KdbxError::cryptoFailure("sınama");
        const std::string token = "MEMKDBX-" + std::to_string(++saves);
        files_[token] = Stored{database, key};
        return Bytes(token.begin(), token.end());
    }

    // The database a token stands for, as it was saved.
    const KdbxDatabase& saved(const Bytes& file) const {
        return files_.at(std::string(file.begin(), file.end())).database;
    }

    bool failSaves = false;
    mutable int saves = 0;
    mutable int loads = 0;

  private:
    struct Stored {
        KdbxDatabase database;
        KdbxKey key;
    };
    mutable std::map<std::string, Stored> files_;
};

// The local file system, with writes that can be made to fail.
class ScriptedFiles final : public FileStore {
  public:
    Bytes read(const QString& path) const override {
        reads.push_back(path);
        return local_.read(path);
    }
    std::optional<QString> writeAtomically(const QString& path, const Bytes& bytes) override {
        if (failWrites) throw FileError(FileError::Kind::writeFailed, path, QStringLiteral("sınama"));
        ++writes;
        local_.writeAtomically(path, bytes);
        return note;
    }
    std::unique_ptr<FileHold> holdForSaving(const QString& path) override {
        return local_.holdForSaving(path);
    }
    bool fileExists(const QString& path) const override { return local_.fileExists(path); }
    bool isFreeForNewFile(const QString& path) const override { return local_.isFreeForNewFile(path); }
    std::optional<FileStamp> stamp(const QString& path) const override { return local_.stamp(path); }
    std::optional<FileStamp> stampFor(const QString& path, const Bytes& content) const override {
        return local_.stampFor(path, content);
    }

    bool failWrites = false;
    // What every write says could not be kept of the file's access.
    std::optional<QString> note;
    int writes = 0;
    mutable std::vector<QString> reads;

  private:
    LocalFileStore local_;
};

class RecordingClipboard final : public ClipboardAccess {
  public:
    struct Copy {
        QString text;
        bool secret;
    };
    void copySecret(const QString& text) override { copies.push_back({text, true}); }
    void copyPlain(const QString& text) override { copies.push_back({text, false}); }
    void clearNow() override { ++clears; }

    std::vector<Copy> copies;
    int clears = 0;
};

class RecordingUrlOpener final : public UrlOpener {
  public:
    void open(const QUrl& url) override { opened.push_back(url); }
    std::vector<QUrl> opened;
};

// Keeps each run open until the test finishes it.
class ScriptedAutoType final : public AutoTypeRunner {
  public:
    struct Run {
        QString sequence;
        KdbxEntry entry;
        Completion done;
    };
    void run(const QString& sequence, const KdbxEntry& entry, Completion done) override {
        runs.push_back({sequence, entry, std::move(done)});
    }
    void cancel() override { ++cancels; }

    void finish(std::optional<QString> error = std::nullopt) {
        Completion done = runs.back().done;
        done(std::move(error));
    }

    std::vector<Run> runs;
    int cancels = 0;
};

// Timers that fire only when the test moves time on.
class ManualScheduler final : public Scheduler {
  public:
    void after(std::chrono::milliseconds delay, QObject* context, std::function<void()> call) override {
        pending_.push_back({now_ + delay, QPointer<QObject>(context), std::move(call)});
    }

    void advance(std::chrono::milliseconds by) {
        now_ += by;
        for (std::size_t i = 0; i < pending_.size();) {
            if (pending_[i].due <= now_) {
                Pending due = std::move(pending_[i]);
                pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
                if (due.context) due.call();
            } else {
                ++i;
            }
        }
    }

  private:
    struct Pending {
        std::chrono::milliseconds due;
        QPointer<QObject> context;
        std::function<void()> call;
    };
    std::chrono::milliseconds now_{0};
    std::vector<Pending> pending_;
};

// Everything an AppState needs, faked, over a fresh temporary folder and in-memory preferences.
struct Harness {
    Harness()
        : store(new MemoryPreferencesStore),
          preferences(std::unique_ptr<PreferencesStore>(store)),
          codec(std::make_shared<MemoryCodec>()),
          files(std::make_shared<ScriptedFiles>()),
          clipboard(std::make_shared<RecordingClipboard>()),
          urls(std::make_shared<RecordingUrlOpener>()),
          autoType(std::make_shared<ScriptedAutoType>()),
          scheduler(std::make_shared<ManualScheduler>()),
          clock(std::make_shared<Timestamp>(startTime)) {}

    AppStateDependencies dependencies() {
        AppStateDependencies deps;
        deps.preferences = &preferences;
        deps.codec = codec;
        deps.files = files;
        deps.clipboard = clipboard;
        deps.urls = urls;
        deps.autoType = autoType;
        deps.scheduler = scheduler;
        deps.now = [clock = clock] { return *clock; };
        deps.newDatabaseKdf = KdfSettings::argon2id(64, 1, 1);
        // Every operation done when it returns; tests of the work thread set their own.
        deps.work = std::make_shared<InlineWorkRunner>();
        // Never the user's own data folder.
        deps.rescueFolder = path(QStringLiteral("kurtarılan"));
        return deps;
    }

    std::unique_ptr<AppState> makeState() { return std::make_unique<AppState>(dependencies()); }

    QString path(const QString& name) const { return dir.filePath(name); }

    void tick(std::chrono::seconds by = 1s) { *clock += by; }

    QTemporaryDir dir;
    MemoryPreferencesStore* store;  // owned by `preferences`
    Preferences preferences;
    std::shared_ptr<MemoryCodec> codec;
    std::shared_ptr<ScriptedFiles> files;
    std::shared_ptr<RecordingClipboard> clipboard;
    std::shared_ptr<RecordingUrlOpener> urls;
    std::shared_ptr<ScriptedAutoType> autoType;
    std::shared_ptr<ManualScheduler> scheduler;
    std::shared_ptr<Timestamp> clock;
};

// Counts the emissions of one signal.
class SignalCounter {
  public:
    template <class Sender, class Signal>
    SignalCounter(const Sender* sender, Signal signal) {
        QObject::connect(sender, signal, &context_, [this] { ++count_; });
    }
    int count() const { return count_; }

  private:
    QObject context_;
    int count_ = 0;
};

// Model builders.

inline KdbxEntry entry(const std::string& title, const std::string& username = {},
                       const std::string& url = {}) {
    KdbxEntry e;
    e.id = UUID::random();
    e.title = title;
    e.username = username;
    e.url = url;
    e.created = startTime;
    e.modified = startTime;
    e.accessed = startTime;
    return e;
}

inline KdbxGroup group(const std::string& name, std::vector<KdbxEntry> entries = {},
                       std::vector<KdbxGroup> groups = {}) {
    KdbxGroup g;
    g.id = UUID::random();
    g.name = name;
    g.created = startTime;
    g.modified = startTime;
    g.entries = CowList<KdbxEntry>(std::move(entries));
    g.groups = CowList<KdbxGroup>(std::move(groups));
    return g;
}

inline KdbxDatabase database(KdbxGroup root, std::string name = "Kasa") {
    KdbxDatabase db;
    db.meta.databaseName = std::move(name);
    db.meta.historyMaxItems = 10;
    db.kdf = KdfSettings::argon2id(64, 1, 1);
    db.root = std::move(root);
    return db;
}

inline PasswordGenerator::Options generatorOptions(std::int64_t length, bool upper, bool lower, bool digits,
                                                   bool symbols, bool excludeAmbiguous) {
    PasswordGenerator::Options o;
    o.length = length;
    o.upper = upper;
    o.lower = lower;
    o.digits = digits;
    o.symbols = symbols;
    o.excludeAmbiguous = excludeAmbiguous;
    return o;
}

inline std::vector<std::string> titles(const std::vector<KdbxEntry>& entries) {
    std::vector<std::string> out;
    for (const KdbxEntry& e : entries) out.push_back(e.title);
    return out;
}

inline std::vector<std::string> titles(const KdbxGroup& group) {
    return titles(group.entries.toVector());
}

// Writes `db` as a file through the harness's codec and opens it in `state`.
inline void open(Harness& h, AppState& state, const KdbxDatabase& db, const QString& fileName = "kasa.kdbx",
                 const QString& password = "parola") {
    const KdbxKey key(password.isEmpty() ? std::nullopt : std::optional<std::string>(password.toStdString()),
                      std::nullopt);
    h.files->writeAtomically(h.path(fileName), h.codec->save(db, key));
    state.prepare(h.path(fileName));
    state.unlock(password, std::nullopt);
}

}  // namespace fakes
