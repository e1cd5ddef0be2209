#include "OmbrixState/AppState.h"

#include "OmbrixCore/Kdbx/KdbxError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>

#include <QFileInfo>
#include <QMetaObject>

#include "OmbrixCore/Kdbx/KdbxKeyDerivation.h"
#include "OmbrixState/BrandNumber.h"
#include "OmbrixState/GroupTree.h"
#include "OmbrixState/Preferences.h"
#include "OmbrixState/SecretText.h"

namespace {

QString savingStatus() {
    return QStringLiteral("Kaydediliyor…");
}

QString noFileChosen() {
    return QStringLiteral("Önce bir veritabanı dosyası seçin.");
}

KdbxGroup newGroup(const std::string& name, Timestamp now) {
    KdbxGroup group;
    group.id = UUID::random();
    group.name = name;
    group.iconID = 48;
    group.isExpanded = true;
    group.created = now;
    group.modified = now;
    return group;
}

// The credentials as typed: an empty field is no password.
KdbxKey typedKey(const QString& password, std::optional<SecretBytes> keyFileData) {
    return KdbxKey(password.isEmpty() ? std::nullopt : std::optional<SecretBytes>(SecretText::utf8(password)),
                   std::move(keyFileData));
}

// Stores `value` and announces it through `changed`, only when it differs from what is stored.
template <class T>
void assignAndNotify(AppState& state, T& field, const T& value, void (AppState::*changed)()) {
    if (value == field) return;
    field = value;
    (state.*changed)();
}

}  // namespace

AppState::AppState(Dependencies dependencies, QObject* parent)
    : QObject(parent), deps_(std::move(dependencies)) {
    preferences_ = deps_.preferences ? deps_.preferences : &Preferences::shared();
    if (!deps_.codec) deps_.codec = std::make_shared<KdbxFileCodec>();
    if (!deps_.files) deps_.files = std::make_shared<LocalFileStore>();
    if (!deps_.clipboard) deps_.clipboard = std::make_shared<SharedClipboardAccess>();
    if (!deps_.urls) deps_.urls = std::make_shared<DesktopUrlOpener>();
    if (!deps_.autoType) deps_.autoType = std::make_shared<ServiceAutoTypeRunner>();
    if (!deps_.scheduler) deps_.scheduler = std::make_shared<TimerScheduler>();
    if (!deps_.work) deps_.work = std::make_shared<ThreadWorkRunner>();
    if (!deps_.now) {
        deps_.now = [] { return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()); };
    }
    // An unknown stored column falls back to title; the stored text stays until the sort changes.
    sort_.column =
        EntrySort::columnFromRawValue(preferences_->sortColumn()).value_or(EntrySort::Column::title);
    sort_.ascending = preferences_->sortAscending();
}

AppState::~AppState() {
    // The work refers to this state: it ends first.
    deps_.work->abandon();
}

// Published state.

void AppState::setDatabase(std::optional<KdbxDatabase> database) {
    if (!database && !database_) return;
    database_ = std::move(database);
    emit databaseChanged();
    keepSelectionListed();
}

void AppState::setDatabaseURL(const std::optional<QString>& url) {
    assignAndNotify(*this, databaseURL_, url, &AppState::databaseURLChanged);
}

void AppState::setLocked(bool locked) {
    assignAndNotify(*this, isLocked_, locked, &AppState::isLockedChanged);
}

void AppState::setDirty(bool dirty) {
    assignAndNotify(*this, isDirty_, dirty, &AppState::isDirtyChanged);
}

void AppState::setLastError(const std::optional<QString>& error) {
    assignAndNotify(*this, lastError_, error, &AppState::lastErrorChanged);
}

void AppState::setStatusMessage(const std::optional<QString>& message) {
    assignAndNotify(*this, statusMessage_, message, &AppState::statusMessageChanged);
}

void AppState::setSelectedGroupID(const std::optional<UUID>& id) {
    assignAndNotify(*this, selectedGroupID_, id, &AppState::selectedGroupIDChanged);
    keepSelectionListed();
}

void AppState::setSelectedEntryIDs(const UUIDSet& ids) {
    assignAndNotify(*this, selectedEntryIDs_, ids, &AppState::selectedEntryIDsChanged);
}

void AppState::setSearchText(const QString& text) {
    assignAndNotify(*this, searchText_, text, &AppState::searchTextChanged);
    keepSelectionListed();
}

void AppState::setSort(const EntrySort& sort) {
    if (sort == sort_) return;
    sort_ = sort;
    preferences_->setSortColumn(EntrySort::rawValue(sort.column));
    preferences_->setSortAscending(sort.ascending);
    emit sortChanged();
}

void AppState::setRoute(const std::optional<Route>& route) {
    assignAndNotify(*this, route_, route, &AppState::routeChanged);
}

void AppState::focusSearch() {
    // Wraps instead of overflowing; only the change matters to the search field.
    searchFocusToken_ = static_cast<qint64>(static_cast<quint64>(searchFocusToken_) + 1);
    emit searchFocusTokenChanged();
}

void AppState::clearSearch() {
    setSearchText(QString());
}

void AppState::showStatus(const QString& message) {
    setStatusMessage(message);
    // Clears whatever message shows by then, also a later one; while a save runs the status bar
    // goes back to saying so.
    deps_.scheduler->after(statusDuration, this, [this] {
        setStatusMessage(savingSaysSo_ ? std::optional<QString>(savingStatus()) : std::nullopt);
    });
}

void AppState::clearSelection() {
    setSelectedGroupID(std::nullopt);
    setSelectedEntryIDs({});
    setRoute(std::nullopt);
}

void AppState::refreshUndoLabels() {
    const std::optional<QString> undo =
        undoStack_.empty() ? std::nullopt : std::optional<QString>(undoStack_.back().label);
    const std::optional<QString> redo =
        redoStack_.empty() ? std::nullopt : std::optional<QString>(redoStack_.back().label);
    assignAndNotify(*this, undoLabel_, undo, &AppState::undoLabelChanged);
    assignAndNotify(*this, redoLabel_, redo, &AppState::redoLabelChanged);
}

void AppState::clearHistory() {
    const bool had = !undoStack_.empty() || !redoStack_.empty();
    undoStack_.clear();
    redoStack_.clear();
    refreshUndoLabels();
    if (had) emit historyChanged();
}

Timestamp AppState::now() const {
    return deps_.now();
}

void AppState::reportFailure() {
    reportFailure(std::current_exception());
}

void AppState::reportFailure(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Stopped&) {
        // Asked for: nothing to tell.
    } catch (const std::bad_alloc&) {
        setLastError(QStringLiteral("Bellek yetersiz; işlem tamamlanamadı."));
    } catch (const std::system_error& error) {
        // A thread or another resource the system would not give (the engine starts threads
        // for every load): its own words are English and say nothing to the user.
        const int code = error.code().value();
        setLastError(
            code == EAGAIN || code == ENOMEM
                ? QStringLiteral("İşlem tamamlanamadı: sistem yeni bir iş parçacığı başlatamadı "
                                 "(kaynak sınırına ulaşıldı). Biraz sonra yeniden deneyin ya da "
                                 "başka programları kapatın.")
                : QStringLiteral("İşlem tamamlanamadı: beklenmeyen bir sistem hatası (%1).")
                      .arg(QString::fromLatin1(::strerrorname_np(code) ? ::strerrorname_np(code) : "?")));
    } catch (const std::exception& error) {
        setLastError(QString::fromUtf8(error.what()));
    } catch (...) {
        setLastError(QStringLiteral("Beklenmeyen bir hata oluştu."));
    }
}

void AppState::setWorking(bool working) {
    assignAndNotify(*this, working_, working, &AppState::isWorkingChanged);
}

void AppState::setSaving(bool saving) {
    assignAndNotify(*this, saving_, saving, &AppState::isSavingChanged);
    // On the next turn: the save's own caller finishes first.
    if (!saving_ && leaveAfterSave_ != Leave::none)
        QMetaObject::invokeMethod(this, &AppState::leaveAsAsked, Qt::QueuedConnection);
}

void AppState::beginSaving(bool saysSo) {
    if (saysSo) {
        savingSaysSo_ = true;
        setStatusMessage(savingStatus());
    }
    setSaving(true);
}

void AppState::endSaving(bool saysSo) {
    if (saysSo) {
        savingSaysSo_ = false;
        if (statusMessage_ == savingStatus()) setStatusMessage(std::nullopt);
    }
    setSaving(false);
}

void AppState::leaveAfterSave(Leave leave) {
    leaveAfterSave_ = std::max(leaveAfterSave_, leave);
}

void AppState::leaveAsAsked() {
    switch (std::exchange(leaveAfterSave_, Leave::none)) {
        case Leave::none:
            break;
        case Leave::lock:
            lock();
            break;
        case Leave::close:
            closeDatabase();
            break;
    }
}

void AppState::cancelWork() {
    deps_.work->stop();
}

// Opening and creating.

void AppState::storeBookmark(const QString& url) {
    // The bookmark of a file is its absolute path.
    const QString path = QFileInfo(url).absoluteFilePath();
    preferences_->setRecentDatabaseBookmark(path.isEmpty() ? std::nullopt
                                                           : std::optional<QByteArray>(path.toUtf8()));
}

bool AppState::saveBeforeLeaving() {
    if (saving_) return false;
    if (!database_ || !isDirty_ || changesDropped_) return true;
    try {
        saveQuietly();
        return true;
    } catch (...) {
        reportFailure();
        return false;
    }
}

void AppState::prepare(const QString& url) {
    if (!saveBeforeLeaving()) return;
    // What was typed was meant for the file being left.
    deps_.work->abandon();
    setWorking(false);
    stopAutoType();
    setDatabaseURL(url);
    setDatabase(std::nullopt);
    activeKey_.reset();
    fileStamp_.reset();
    fileChangedOnDisk_ = false;
    setLocked(true);
    setLastError(std::nullopt);
    clearSelection();
    // Its snapshots are the previous database in clear: they go with it.
    clearHistory();
    storeBookmark(url);
}

void AppState::restoreRecentDatabase() {
    if (databaseURL_) return;
    const std::optional<QByteArray> bookmark = preferences_->recentDatabaseBookmark();
    if (!bookmark || bookmark->isEmpty()) return;
    const QString path = QString::fromUtf8(*bookmark);
    if (deps_.files->fileExists(path)) setDatabaseURL(path);
}

namespace {

// What the work of an unlock hands back to the window's thread.
struct Opened {
    KdbxDatabase database;
    std::optional<KdbxKey> key;
    std::int64_t repaired = 0;
};

}  // namespace

void AppState::unlock(const QString& password, const std::optional<QString>& keyFileURL) {
    if (!databaseURL_) {
        setLastError(noFileChosen());
        return;
    }
    if (working_) return;
    if (!saveBeforeLeaving()) return;
    try {
        std::optional<SecretBytes> keyFileData;
        if (keyFileURL) keyFileData = SecretBytes(deps_.files->read(*keyFileURL));
        // An empty password is no password; one of blanks is used as typed. Without a key file
        // an empty field can only mean the empty password (the format allows one), since no
        // credentials at all open nothing.
        KdbxKey key = typedKey(password, std::move(keyFileData));
        if (password.isEmpty() && !key.keyFileData) key.password = SecretBytes();
        auto file = std::make_shared<const Bytes>(deps_.files->read(*databaseURL_));
        // What was read is what a later save compares the file with, even if the file changed
        // between the read and this look at it.
        std::optional<FileStamp> stamp;
        try {
            stamp = deps_.files->stampFor(*databaseURL_, *file);
        } catch (const FileError&) {
            // Gone or unreadable right after the read: the content read is what counts, and a
            // later save writes without a comparison.
        }
        auto opened = std::make_shared<Opened>();
        opened->key = std::move(key);
        const bool typedEmpty = password.isEmpty();
        const QString url = *databaseURL_;
        std::shared_ptr<DatabaseCodec> codec = deps_.codec;
        setWorking(true);
        deps_.work->start(
            [codec, file, opened, typedEmpty](const StopFlag& stop) {
                const KdbxKeys::StopScope scope(stop);
                KdbxKey& key = *opened->key;
                try {
                    opened->database = codec->load(*file, key);
                } catch (const KdbxError& error) {
                    // A key file with an empty field is most often the key file alone, but the
                    // file may also carry an empty password beside it: try that before giving up.
                    if (!typedEmpty || key.password || error.kind() != KdbxError::Kind::invalidCredentials)
                        throw;
                    key.password = SecretBytes();
                    opened->database = codec->load(*file, key);
                }
                GroupTree::IDSet seenGroups;
                GroupTree::IDSet seenEntries;
                opened->repaired =
                    GroupTree::repairDuplicateIDs(opened->database.root, seenGroups, seenEntries);
            },
            [this, opened, stamp, url](std::exception_ptr failure) {
                // Told once the result is in: whoever waits for the end sees it.
                struct Ended {
                    AppState& state;
                    ~Ended() { state.setWorking(false); }
                } ended{*this};
                if (failure) {
                    reportFailure(failure);
                    return;
                }
                // Another file was chosen meanwhile: this one's result is not wanted.
                if (databaseURL_ != url || !isLocked_) return;
                stopAutoType();
                fileStamp_ = stamp;
                fileChangedOnDisk_ = false;
                showUnlocked(std::move(opened->database), std::move(*opened->key));
                setSelectedEntryIDs({});
                setSearchText(QString());
                // The new ids reach the file with the next save; they are not an unsaved change.
                if (opened->repaired > 0)
                    showStatus(brandCount(opened->repaired) +
                               QStringLiteral(" kaydın kimliği yinelenmişti, onarıldı."));
            },
            this);
    } catch (...) {
        setWorking(false);
        reportFailure();
    }
}

// The database just read or made becomes the open document, unlocked, unchanged, with its root
// selected and no history: an undo must never bring another database's content into it.
void AppState::showUnlocked(KdbxDatabase database, KdbxKey key) {
    const UUID rootID = database.root.id;
    setDatabase(std::move(database));
    activeKey_ = std::move(key);
    setLocked(false);
    setDirty(false);
    changesDropped_ = false;
    setLastError(std::nullopt);
    clearHistory();
    setSelectedGroupID(rootID);
}

namespace {

struct Created {
    KdbxDatabase database;
    std::optional<KdbxKey> key;
    Bytes bytes;
};

}  // namespace

void AppState::createDatabase(const QString& url, const QString& password,
                              std::optional<SecretBytes> keyFileData) {
    if (working_) return;
    if (!saveBeforeLeaving()) return;
    try {
        // The file name without its last extension names the database and its root.
        const std::string name = QFileInfo(url).completeBaseName().toStdString();
        auto created = std::make_shared<Created>();
        KdbxDatabase& database = created->database;
        database.meta = KdbxMeta(name, "", "", true, std::nullopt, 10, 6291456, "Ombrix");
        database.root = newGroup(name, now());
        database.root.groups = CowList<KdbxGroup>{newGroup("İnternet", now()), newGroup("E-posta", now()),
                                                  newGroup("Bankacılık", now())};
        database.cipher = KdbxCipher::aes256;
        database.kdf = deps_.newDatabaseKdf;
        database.compressed = true;
        database.formatVersion = KdbxFormatVersion{4, 1};
        created->key = typedKey(password, std::move(keyFileData));
        std::shared_ptr<DatabaseCodec> codec = deps_.codec;
        setWorking(true);
        deps_.work->start(
            [codec, created](const StopFlag& stop) {
                const KdbxKeys::StopScope scope(stop);
                created->bytes = codec->save(created->database, *created->key);
            },
            [this, created, url](std::exception_ptr failure) {
                // Told once the result is in: whoever waits for the end sees it.
                struct Ended {
                    AppState& state;
                    ~Ended() { state.setWorking(false); }
                } ended{*this};
                try {
                    if (failure) std::rethrow_exception(failure);
                    // Asked right before writing: the key derivation takes seconds, and a file
                    // that appeared meanwhile (or was chosen by mistake) is someone's data,
                    // never replaced by a new vault.
                    if (!deps_.files->isFreeForNewFile(url)) {
                        throw FileError(FileError::Kind::writeFailed, QFileInfo(url).fileName(),
                                        QStringLiteral("bu konumda boş olmayan bir dosya var"));
                    }
                    deps_.files->writeAtomically(url, created->bytes);
                    rememberWrittenFile(url, created->bytes);
                } catch (...) {
                    reportFailure();
                    return;
                }
                stopAutoType();
                setDatabaseURL(url);
                showUnlocked(std::move(created->database), std::move(*created->key));
                storeBookmark(url);
            },
            this);
    } catch (...) {
        setWorking(false);
        reportFailure();
    }
}
