// Saving, locking and closing of the application state.
#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtDebug>

#include "OmbrixState/AppState.h"
#include "OmbrixState/GroupTree.h"

// Saving, locking and closing.

// The encryption with its key derivation, on the work thread while the window answers. It works on a copy of
// its own (cheap: the lists are shared until changed), since the window's thread may still replace the open
// database meanwhile (an access time, a group opened in the tree).
Bytes AppState::encrypt(const KdbxDatabase& database, const KdbxKey& key) {
    Bytes bytes;
    const std::shared_ptr<DatabaseCodec> codec = deps_.codec;
    const KdbxDatabase copy = database;
    deps_.work->runAndWait([&](const StopFlag&) { bytes = codec->save(copy, key); });
    return bytes;
}

namespace {

// What a look at the file and its replacement, made as one step, came to.
struct Replacement {
    bool replaced = false;
    // What could not be kept of who may reach the file.
    std::optional<QString> note;
    // The file as written, when it could be looked at afterwards.
    std::optional<FileStamp> stamp;
    // Not replaced: the content found in place of the one expected.
    QByteArray found;
};

// Replaces the file unless its content is no longer `expected` (none: whatever it is). Under the
// hold, so that no other Ombrix replaces it between the look and the write; on the work thread,
// so that the window answers while the file is read, written and synced.
Replacement replaceUnlessChanged(WorkRunner& work, const std::shared_ptr<FileStore>& files,
                                 const QString& url, const Bytes& bytes,
                                 const std::optional<QByteArray>& expected) {
    Replacement result;
    work.runAndWait([&](const StopFlag&) {
        const std::unique_ptr<FileHold> hold = files->holdForSaving(url);
        if (expected) {
            // A file that is gone is written anew; that loses nothing.
            const std::optional<FileStamp> now = files->stamp(url);
            if (now && now->digest != *expected) {
                result.found = now->digest;
                return;
            }
        }
        result.note = files->writeAtomically(url, bytes);
        result.replaced = true;
        try {
            result.stamp = files->stampFor(url, bytes);
        } catch (...) {
            // The write succeeded; without a stamp the next save simply cannot compare.
        }
    });
    return result;
}

// Where a file of changes goes when it fits nowhere beside the database: the user's own data
// folder, made readable by the user alone where it is missing, as the XDG base directories are.
QString userRescueFolder(const QString& chosen) {
    const QString folder = chosen.isEmpty()
                               ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                     QStringLiteral("/Ombrix")
                               : chosen;
    QString made;
    for (const QString& part : QFileInfo(folder).absoluteFilePath().split(u'/', Qt::SkipEmptyParts)) {
        made += u'/' + part;
        ::mkdir(QFile::encodeName(made).constData(), 0700);
    }
    return folder;
}

// A name for the changes in `folder` that takes nothing's place: what they are and when.
QString rescueName(const QDir& folder, const QFileInfo& database, Timestamp now, const FileStore& files) {
    const QString suffix = database.suffix().isEmpty() ? QStringLiteral("kdbx") : database.suffix();
    // Local time, without colons: FAT takes none.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    const QString when =
        QDateTime::fromSecsSinceEpoch(seconds).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
    QString path;
    for (int n = 1;; ++n) {
        const QString name = QStringLiteral("%1 (kaydedilmemiş değişiklikler %2%3).%4")
                                 .arg(database.completeBaseName(), when,
                                      n > 1 ? QStringLiteral(" %1").arg(n) : QString(), suffix);
        path = folder.filePath(name);
        if (files.isFreeForNewFile(path) || n > 99) break;
    }
    return path;
}

}  // namespace

AppState::SaveOutcome AppState::saveQuietly(Asking asking) {
    if (!database_ || !databaseURL_ || !activeKey_) return SaveOutcome::saved;
    // Nothing may change the database while its copy is encrypted, and no second save start.
    const SavingMark savingMark = markSaving();
    const QString url = *databaseURL_;
    const Bytes bytes = encrypt(*database_, *activeKey_);
    // Someone else's copy (a sync client, a second window, a restored backup) is never replaced
    // unasked. Only the content counts: a file touched, or copied over with the same bytes, is
    // no change.
    std::optional<QByteArray> expected;
    if (fileStamp_) expected = fileStamp_->digest;
    for (;;) {
        const Replacement written = replaceUnlessChanged(*deps_.work, deps_.files, url, bytes, expected);
        if (written.replaced) {
            adoptWrittenFile(written.stamp);
            setDirty(false);
            changesDropped_ = false;
            // Said once: the new file is ours from now on, and the next save keeps what it has.
            if (written.note) setLastError(written.note);
            return SaveOutcome::saved;
        }
        fileChangedOnDisk_ = true;
        const QString name = QFileInfo(url).fileName();
        if (asking == Asking::nobody) {
            writeBeside(bytes);
            return SaveOutcome::keptBeside;
        }
        if (!resolver_) throw FileError(FileError::Kind::changedOnDisk, name);
        const ConflictChoice choice = resolver_(name);
        switch (choice.action) {
            case ConflictChoice::Action::keepEditing:
                // The user's own answer: nothing is done, and nothing to tell.
                throw Stopped();
            case ConflictChoice::Action::overwrite:
                // The version the user was told of; should yet another have come meanwhile, the
                // user is asked again.
                expected = written.found;
                continue;
            case ConflictChoice::Action::discardMine:
                changesDropped_ = true;
                return SaveOutcome::discarded;
            case ConflictChoice::Action::writeBeside:
                writeBeside(bytes);
                return SaveOutcome::keptBeside;
            case ConflictChoice::Action::saveElsewhere: {
                const QString elsewhere = choice.elsewhere;
                const Replacement there =
                    replaceUnlessChanged(*deps_.work, deps_.files, elsewhere, bytes, std::nullopt);
                adoptWrittenFile(there.stamp);
                setDatabaseURL(elsewhere);
                setDirty(false);
                changesDropped_ = false;
                storeBookmark(elsewhere);
                if (there.note) setLastError(there.note);
                return SaveOutcome::savedElsewhere;
            }
        }
    }
}

void AppState::writeBeside(const Bytes& bytes) {
    const QFileInfo database(*databaseURL_);
    QString path;
    try {
        path = rescueName(database.dir(), database, now(), *deps_.files);
        deps_.files->writeAtomically(path, bytes);
    } catch (const FileError& error) {
        // The disk is full there, or the folder became read-only: the user's own folder may take
        // them.
        qWarning().noquote() << QStringLiteral("[Ombrix] %1 Kullanıcının veri klasörü deneniyor.")
                                    .arg(QString::fromUtf8(error.what()));
        path = rescueName(QDir(userRescueFolder(deps_.rescueFolder)), database, now(), *deps_.files);
        deps_.files->writeAtomically(path, bytes);
    }
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
            const SavingMark savingMark = markSaving(false);
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
    std::optional<FileStamp> stamp;
    try {
        stamp = deps_.files->stampFor(url, written);
    } catch (...) {
        // The write succeeded; without a stamp the next save simply cannot compare.
    }
    adoptWrittenFile(std::move(stamp));
}

void AppState::adoptWrittenFile(std::optional<FileStamp> stamp) {
    fileChangedOnDisk_ = false;
    fileStamp_ = std::move(stamp);
}

void AppState::save() {
    if (saving_) return;
    if (!canSave()) return;
    SaveOutcome outcome;
    try {
        outcome = saveQuietly();
    } catch (...) {
        reportFailure();
        return;
    }
    if (outcome == SaveOutcome::discarded) {
        reopenFromDisk();
        return;
    }
    showStatus(QStringLiteral("Kaydedildi"));
}

void AppState::saveAs(const QString& url) {
    if (!database_ || !activeKey_ || saving_) return;
    Replacement written;
    try {
        const SavingMark savingMark = markSaving();
        const Bytes bytes = encrypt(*database_, *activeKey_);
        written = replaceUnlessChanged(*deps_.work, deps_.files, url, bytes, std::nullopt);
    } catch (...) {
        reportFailure();
        return;
    }
    adoptWrittenFile(written.stamp);
    if (written.note) setLastError(written.note);
    setDatabaseURL(url);
    setDirty(false);
    changesDropped_ = false;
    storeBookmark(url);
    showStatus(QStringLiteral("Kaydedildi"));
}

void AppState::lock() {
    if (isLocked_) return;
    if (saving_) {
        leaveAfterSave(Leave::lock);
        return;
    }
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
    if (saving_) {
        leaveAfterSave(Leave::close);
        return;
    }
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
    if (isLocked_ || !isDirty_ || changesDropped_ || !canSave()) return true;
    // A save is under way (its dialog open): it ends first, on its own terms.
    if (saving_) return false;
    try {
        saveQuietly(Asking::nobody);
        return true;
    } catch (...) {
        reportFailure();
    }
    // The file cannot be written (full, gone read-only, ...): a file of its own may.
    try {
        const SavingMark savingMark = markSaving();
        writeBeside(encrypt(*database_, *activeKey_));
        return true;
    } catch (...) {
        reportFailure();
        return false;
    }
}
