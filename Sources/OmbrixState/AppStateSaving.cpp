// Saving, locking and closing of the application state.
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QtDebug>

#include "OmbrixState/AppState.h"
#include "OmbrixState/GroupTree.h"

// Saving, locking and closing.

// The encryption with its key derivation, on the work thread while the window waits drawing.
// It works on a copy of its own (cheap: the lists are shared until changed), since the window's
// thread may still replace the open database meanwhile (an access time, a group opened in the
// tree).
Bytes AppState::encrypt(const KdbxDatabase& database, const KdbxKey& key) {
    Bytes bytes;
    const std::shared_ptr<DatabaseCodec> codec = deps_.codec;
    const KdbxDatabase copy = database;
    deps_.work->runAndWait([&](const StopFlag&) { bytes = codec->save(copy, key); });
    return bytes;
}

AppState::SaveOutcome AppState::saveQuietly(Asking asking) {
    if (!database_ || !databaseURL_ || !activeKey_) return SaveOutcome::saved;
    // Nothing may change the database while its copy is encrypted, and no second save start.
    const SavingMark savingMark = markSaving();

    const Bytes bytes = encrypt(*database_, *activeKey_);
    // Asked right before writing, after the key derivation: someone else's copy (a sync
    // client, a second window, a restored backup) is never replaced unasked. Only the content
    // counts: a file touched, or copied over with the same bytes, is no change. A file that is
    // gone is written anew; that loses nothing.
    if (fileStamp_) {
        const std::optional<FileStamp> now = deps_.files->stamp(*databaseURL_);
        if (now && now->digest != fileStamp_->digest) {
            fileChangedOnDisk_ = true;
            const QString name = QFileInfo(*databaseURL_).fileName();
            ConflictChoice choice;
            if (asking == Asking::nobody)
                choice.action = ConflictChoice::Action::writeBeside;
            else if (resolver_)
                choice = resolver_(name);
            switch (choice.action) {
                case ConflictChoice::Action::keepEditing:
                    throw FileError(FileError::Kind::changedOnDisk, name);
                case ConflictChoice::Action::overwrite:
                    break;
                case ConflictChoice::Action::discardMine:
                    return SaveOutcome::discarded;
                case ConflictChoice::Action::writeBeside:
                    writeBeside(bytes);
                    return SaveOutcome::keptBeside;
                case ConflictChoice::Action::saveElsewhere: {
                    const QString url = choice.elsewhere;
                    const std::optional<QString> note = deps_.files->writeAtomically(url, bytes);
                    rememberWrittenFile(url, bytes);
                    setDatabaseURL(url);
                    setDirty(false);
                    storeBookmark(url);
                    if (note) setLastError(note);
                    return SaveOutcome::savedElsewhere;
                }
            }
        }
    }
    const std::optional<QString> note = deps_.files->writeAtomically(*databaseURL_, bytes);
    rememberWrittenFile(*databaseURL_, bytes);
    setDirty(false);
    // Said once: the new file is ours from now on, and the next save keeps what it has.
    if (note) setLastError(note);
    return SaveOutcome::saved;
}

void AppState::writeBeside(const Bytes& bytes) {
    const QFileInfo info(*databaseURL_);
    const QString suffix = info.suffix().isEmpty() ? QStringLiteral("kdbx") : info.suffix();
    // Local time, without colons: FAT takes none.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now().time_since_epoch()).count();
    const QString when =
        QDateTime::fromSecsSinceEpoch(seconds).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
    QString path;
    for (int n = 1;; ++n) {
        const QString name =
            QStringLiteral("%1 (kaydedilmemiş değişiklikler %2%3).%4")
                .arg(info.completeBaseName(), when, n > 1 ? QStringLiteral(" %1").arg(n) : QString(), suffix);
        path = info.dir().filePath(name);
        if (deps_.files->isFreeForNewFile(path) || n > 99) break;
    }
    deps_.files->writeAtomically(path, bytes);
    setDirty(false);
    qWarning().noquote()
        << QStringLiteral("[Ombrix] Kaydedilmemiş değişiklikler şuraya yazıldı: %1").arg(path);
}

void AppState::reopenFromDisk() {
    if (!databaseURL_ || !activeKey_) return;
    const QString url = *databaseURL_;
    KdbxKey key = *activeKey_;
    try {
        const Bytes file = deps_.files->read(url);
        std::optional<FileStamp> stamp;
        try {
            stamp = deps_.files->stampFor(url, file);
        } catch (const FileError&) {
        }
        KdbxDatabase database;
        const std::shared_ptr<DatabaseCodec> codec = deps_.codec;
        {
            const SavingMark savingMark = markSaving();
            deps_.work->runAndWait([&](const StopFlag&) { database = codec->load(file, key); });
        }
        GroupTree::IDSet seenGroups;
        GroupTree::IDSet seenEntries;
        GroupTree::repairDuplicateIDs(database.root, seenGroups, seenEntries);
        fileStamp_ = std::move(stamp);
        fileChangedOnDisk_ = false;
        setRoute(std::nullopt);
        showUnlocked(std::move(database), std::move(key));
        setSelectedEntryIDs({});
        showStatus(QStringLiteral("Diskteki sürüm açıldı"));
    } catch (...) {
        // The other program may have changed the credentials too: the lock screen asks for them.
        setDirty(false);
        lock();
        reportFailure();
    }
}

void AppState::rememberWrittenFile(const QString& url, const Bytes& written) {
    fileChangedOnDisk_ = false;
    try {
        fileStamp_ = deps_.files->stampFor(url, written);
    } catch (...) {
        // The write succeeded; without a stamp the next save simply cannot compare.
        fileStamp_.reset();
    }
}

void AppState::save() {
    if (saving_) return;
    if (!canSave()) return;
    std::optional<QString> previous = statusMessage_;
    setStatusMessage(QStringLiteral("Kaydediliyor…"));
    SaveOutcome outcome;
    try {
        outcome = saveQuietly();
    } catch (...) {
        setStatusMessage(previous);
        reportFailure();
        return;
    }
    if (outcome == SaveOutcome::discarded) {
        setStatusMessage(previous);
        reopenFromDisk();
        return;
    }
    showStatus(QStringLiteral("Kaydedildi"));
}

void AppState::saveAs(const QString& url) {
    if (!database_ || !activeKey_ || saving_) return;
    std::optional<QString> note;
    try {
        const SavingMark savingMark = markSaving();
        const Bytes bytes = encrypt(*database_, *activeKey_);
        note = deps_.files->writeAtomically(url, bytes);
        rememberWrittenFile(url, bytes);
    } catch (...) {
        reportFailure();
        return;
    }
    if (note) setLastError(note);
    setDatabaseURL(url);
    setDirty(false);
    storeBookmark(url);
    showStatus(QStringLiteral("Kaydedildi"));
}

void AppState::lock() {
    if (isLocked_) return;
    if (!saveBeforeLeaving()) return;
    stopAutoType();
    setDatabase(std::nullopt);
    activeKey_.reset();
    setLocked(true);
    clearSelection();
    setSearchText(QString());
    clearHistory();
    deps_.clipboard->clearNow();
}

void AppState::closeDatabase() {
    lock();
    if (!isLocked_) return;
    setDatabaseURL(std::nullopt);
    fileStamp_.reset();
}

bool AppState::settleBeforeQuitting() {
    if (working_) {
        deps_.work->abandon();
        setWorking(false);
    }
    if (isLocked_ || !isDirty_ || !canSave()) return true;
    return saveBeforeLeaving();
}

bool AppState::settleForTermination() {
    if (working_) {
        deps_.work->abandon();
        setWorking(false);
    }
    if (isLocked_ || !isDirty_ || !canSave()) return true;
    // A save is under way (its dialog open): it ends first, on its own terms.
    if (saving_) return false;
    try {
        saveQuietly(Asking::nobody);
        return true;
    } catch (...) {
        reportFailure();
    }
    // The file cannot be written (full, gone read-only, ...): a file of its own beside it may.
    try {
        writeBeside(encrypt(*database_, *activeKey_));
        return true;
    } catch (...) {
        reportFailure();
        return false;
    }
}
