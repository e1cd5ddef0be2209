#include "Ombrix/App/AppState.h"

#include "OmbrixCore/Kdbx/KdbxError.h"

#include <new>
#include <utility>

#include <QFileInfo>

#include "Ombrix/App/GroupTree.h"
#include "Ombrix/App/Preferences.h"
#include "Ombrix/App/SecretText.h"

namespace {

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
    if (!deps_.now) {
        deps_.now = [] { return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()); };
    }
    // An unknown stored column falls back to title; the stored text stays until the sort changes.
    sort_.column =
        EntrySort::columnFromRawValue(preferences_->sortColumn()).value_or(EntrySort::Column::title);
    sort_.ascending = preferences_->sortAscending();
}

AppState::~AppState() = default;

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
    // Clears whatever message shows by then, also a later one.
    deps_.scheduler->after(statusDuration, this, [this] { setStatusMessage(std::nullopt); });
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
    try {
        throw;
    } catch (const std::bad_alloc&) {
        setLastError(QStringLiteral("Bellek yetersiz; işlem tamamlanamadı."));
    } catch (const std::exception& error) {
        setLastError(QString::fromUtf8(error.what()));
    } catch (...) {
        setLastError(QStringLiteral("Beklenmeyen bir hata oluştu."));
    }
}

// Opening and creating.

void AppState::storeBookmark(const QString& url) {
    // The bookmark of a file is its absolute path.
    const QString path = QFileInfo(url).absoluteFilePath();
    preferences_->setRecentDatabaseBookmark(path.isEmpty() ? std::nullopt
                                                           : std::optional<QByteArray>(path.toUtf8()));
}

bool AppState::saveBeforeLeaving() {
    if (!database_ || !isDirty_) return true;
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

void AppState::unlock(const QString& password, const std::optional<QString>& keyFileURL) {
    if (!databaseURL_) {
        setLastError(noFileChosen());
        return;
    }
    if (!saveBeforeLeaving()) return;
    try {
        std::optional<SecretBytes> keyFileData;
        if (keyFileURL) keyFileData = SecretBytes(deps_.files->read(*keyFileURL));
        // An empty password is no password; one of blanks is used as typed. Without a key file
        // an empty field can only mean the empty password (the format allows one), since no
        // credentials at all open nothing.
        KdbxKey key = typedKey(password, std::move(keyFileData));
        if (password.isEmpty() && !key.keyFileData) key.password = SecretBytes();
        const Bytes file = deps_.files->read(*databaseURL_);
        // What was read is what a later save compares the file with, even if the file changed
        // between the read and this look at it.
        std::optional<FileStamp> stamp;
        try {
            stamp = deps_.files->stampFor(*databaseURL_, file);
        } catch (const FileError&) {
            // Gone or unreadable right after the read: the content read is what counts, and a
            // later save writes without a comparison.
        }
        KdbxDatabase database;
        try {
            database = deps_.codec->load(file, key);
        } catch (const KdbxError& error) {
            // A key file with an empty field is most often the key file alone, but the file may
            // also carry an empty password beside it: try that before giving up.
            if (!password.isEmpty() || key.password || error.kind() != KdbxError::Kind::invalidCredentials)
                throw;
            key.password = SecretBytes();
            database = deps_.codec->load(file, key);
        }
        GroupTree::IDSet seenGroups;
        GroupTree::IDSet seenEntries;
        const std::int64_t repaired = GroupTree::repairDuplicateIDs(database.root, seenGroups, seenEntries);

        stopAutoType();
        fileStamp_ = std::move(stamp);
        fileChangedOnDisk_ = false;
        showUnlocked(std::move(database), std::move(key));
        setSelectedEntryIDs({});
        setSearchText(QString());
        // The new ids reach the file with the next save; they are not an unsaved change.
        if (repaired > 0)
            showStatus(QString::number(repaired) + QStringLiteral(" kaydın kimliği yinelenmişti, onarıldı."));
    } catch (...) {
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
    setLastError(std::nullopt);
    clearHistory();
    setSelectedGroupID(rootID);
}

void AppState::createDatabase(const QString& url, const QString& password,
                              std::optional<SecretBytes> keyFileData) {
    if (!saveBeforeLeaving()) return;
    try {
        // The file name without its last extension names the database and its root.
        const std::string name = QFileInfo(url).completeBaseName().toStdString();
        KdbxDatabase database;
        database.meta = KdbxMeta(name, "", "", true, std::nullopt, 10, 6291456, "Ombrix");
        database.root = newGroup(name, now());
        database.root.groups = CowList<KdbxGroup>{newGroup("İnternet", now()), newGroup("E-posta", now()),
                                                  newGroup("Bankacılık", now())};
        database.cipher = KdbxCipher::aes256;
        database.kdf = deps_.newDatabaseKdf;
        database.compressed = true;
        database.formatVersion = KdbxFormatVersion{4, 1};
        KdbxKey key = typedKey(password, std::move(keyFileData));

        const Bytes bytes = deps_.codec->save(database, key);
        // Asked right before writing: the key derivation takes seconds, and a file that appeared
        // meanwhile (or was chosen by mistake) is someone's data, never replaced by a new vault.
        if (!deps_.files->isFreeForNewFile(url)) {
            throw FileError(FileError::Kind::writeFailed, QFileInfo(url).fileName(),
                            QStringLiteral("bu konumda boş olmayan bir dosya var"));
        }
        deps_.files->writeAtomically(url, bytes);
        rememberWrittenFile(url, bytes);

        stopAutoType();
        setDatabaseURL(url);
        showUnlocked(std::move(database), std::move(key));
        storeBookmark(url);
    } catch (...) {
        reportFailure();
    }
}

// Saving, locking and closing.

void AppState::saveQuietly() {
    if (!database_ || !databaseURL_ || !activeKey_) return;
    const Bytes bytes = deps_.codec->save(*database_, *activeKey_);
    // Asked right before writing, after the key derivation: someone else's copy (a sync
    // client, a second window, a restored backup) is never replaced unasked. A file that is
    // gone is written anew; that loses nothing.
    if (fileStamp_) {
        const std::optional<FileStamp> now = deps_.files->stamp(*databaseURL_);
        if (now && *now != *fileStamp_) {
            fileChangedOnDisk_ = true;
            throw FileError(FileError::Kind::changedOnDisk, QFileInfo(*databaseURL_).fileName());
        }
    }
    deps_.files->writeAtomically(*databaseURL_, bytes);
    rememberWrittenFile(*databaseURL_, bytes);
    setDirty(false);
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
    try {
        saveQuietly();
    } catch (...) {
        reportFailure();
        return;
    }
    showStatus(QStringLiteral("Kaydedildi"));
}

void AppState::saveAs(const QString& url) {
    if (!database_ || !activeKey_) return;
    try {
        const Bytes bytes = deps_.codec->save(*database_, *activeKey_);
        deps_.files->writeAtomically(url, bytes);
        rememberWrittenFile(url, bytes);
    } catch (...) {
        reportFailure();
        return;
    }
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
