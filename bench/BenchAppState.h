#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <QCoreApplication>
#include <QString>
#include <QUrl>

#include "OmbrixState/AppState.h"
#include "OmbrixState/Preferences.h"

// An application state unlocked on a database built in memory, with every outside service a
// no-op: the figures measure the state and the views, never the disk, the clipboard or timers.
struct BenchAppState {
    explicit BenchAppState(KdbxDatabase db) : preferences(std::make_unique<MemoryPreferencesStore>()) {
        AppStateDependencies deps;
        deps.preferences = &preferences;
        deps.codec = std::make_shared<PreparedCodec>(std::move(db));
        deps.files = std::make_shared<NoFiles>();
        deps.clipboard = std::make_shared<NoClipboard>();
        deps.urls = std::make_shared<NoUrls>();
        deps.autoType = std::make_shared<NoAutoType>();
        deps.scheduler = std::make_shared<NoTimers>();
        deps.work = std::make_shared<InlineWorkRunner>();
        state = std::make_unique<AppState>(deps);
        state->prepare(QStringLiteral("/kasa.kdbx"));
        state->unlock(QStringLiteral("parola"), std::nullopt);
    }

    Preferences preferences;
    std::unique_ptr<AppState> state;

  private:
    // Hands the prepared database over on unlock; nothing touches the disk.
    class PreparedCodec final : public DatabaseCodec {
      public:
        explicit PreparedCodec(KdbxDatabase db) : db_(std::move(db)) {}
        KdbxDatabase load(const Bytes&, const KdbxKey&) const override { return std::move(db_); }
        Bytes save(const KdbxDatabase&, const KdbxKey&) const override { return {}; }

      private:
        mutable KdbxDatabase db_;
    };

    class NoFiles final : public FileStore {
      public:
        Bytes read(const QString&) const override { return {}; }
        std::optional<QString> writeAtomically(const QString&, const Bytes&) override { return std::nullopt; }
        bool fileExists(const QString&) const override { return true; }
        bool isFreeForNewFile(const QString&) const override { return true; }
    };

    class NoClipboard final : public ClipboardAccess {
      public:
        void copySecret(const QString&) override {}
        void copyPlain(const QString&) override {}
        void clearNow() override {}
    };

    class NoUrls final : public UrlOpener {
      public:
        void open(const QUrl&) override {}
    };

    class NoAutoType final : public AutoTypeRunner {
      public:
        void run(const QString&, const KdbxEntry&, Completion done) override { done(std::nullopt); }
        void cancel() override {}
    };

    class NoTimers final : public Scheduler {
      public:
        void after(std::chrono::milliseconds, QObject*, std::function<void()>) override {}
    };
};

// The main() of a benchmark program of the application state: Qt's application object lives
// while the benchmarks run.
inline int runAppStateBenchmarks(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
