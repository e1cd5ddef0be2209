#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include <QMetaType>
#include <QObject>
#include <QString>

#include "OmbrixCore/Kdbx/Models.h"
#include "OmbrixState/AutoTypeRunner.h"
#include "OmbrixState/ClipboardAccess.h"
#include "OmbrixState/DatabaseCodec.h"
#include "OmbrixState/EntrySort.h"
#include "OmbrixState/FileStore.h"
#include "OmbrixState/Route.h"
#include "OmbrixState/Scheduler.h"
#include "OmbrixState/UrlOpener.h"
#include "OmbrixState/WorkRunner.h"

class Preferences;

using UUIDSet = std::set<UUID>;

// What the user wants done with unsaved changes when another program has changed their file
// since it was opened or last saved here.
struct ConflictChoice {
    enum class Action {
        // Nothing: the save is not made, the changes stay open.
        keepEditing,
        // The changes go to another file, which becomes the open one.
        saveElsewhere,
        // The changes replace the other program's version.
        overwrite,
        // The changes are dropped and the version on disk is opened.
        discardMine,
        // Nobody can be asked (the program is told to end): the changes go to a new file beside
        // the database, and neither version is lost.
        writeBeside,
    };
    Action action = Action::keepEditing;
    // For saveElsewhere: the file chosen.
    QString elsewhere;
};

// Asked, with the file's name, whenever a save meets such a change.
using ConflictResolver = std::function<ConflictChoice(const QString& fileName)>;

// What the state reaches outside itself. Members left empty get the real ones: the shared
// preferences, the KDBX engine, the local file system, the clipboard service, the desktop's
// URL handler, the auto-type service, the main loop's timers and the system clock.
struct AppStateDependencies {
    Preferences* preferences = nullptr;
    std::shared_ptr<DatabaseCodec> codec;
    std::shared_ptr<FileStore> files;
    std::shared_ptr<ClipboardAccess> clipboard;
    std::shared_ptr<UrlOpener> urls;
    std::shared_ptr<AutoTypeRunner> autoType;
    std::shared_ptr<Scheduler> scheduler;
    std::function<Timestamp()> now;
    // Key derivation of a new database.
    KdfSettings newDatabaseKdf = KdfSettings::recommended();
    // Where unlocking, creating and saving do their costly part; a thread of its own.
    std::shared_ptr<WorkRunner> work;
    // Where unsaved changes go when the program is told to end and they fit nowhere beside the
    // database; the user's own data folder ($XDG_DATA_HOME/Ombrix) when empty.
    QString rescueFolder;
};

// The one state object of the application: the open database, where it lives, whether it is
// locked or has unsaved changes, the selection, the search, the sort order, the open sheet, the
// undo history and the two short texts the views show (error and status). Views read its
// properties and change the database only through its operations. Main thread only.
//
// Every undoable change goes through edit(): the whole database is recorded with a Turkish
// label and the sort column (at most 50 steps), the redo history is dropped, the change is
// made on a copy, the copy is published and the document marked as changed. Recording is cheap:
// the model's lists share their storage between copies until one of them changes.
//
// Each property notifies when its value changes (`database` on every replacement).
class AppState : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<KdbxDatabase> database READ database NOTIFY databaseChanged)
    Q_PROPERTY(std::optional<QString> databaseURL READ databaseURL NOTIFY databaseURLChanged)
    Q_PROPERTY(bool isLocked READ isLocked NOTIFY isLockedChanged)
    Q_PROPERTY(bool isDirty READ isDirty NOTIFY isDirtyChanged)
    Q_PROPERTY(std::optional<QString> lastError READ lastError WRITE setLastError NOTIFY lastErrorChanged)
    Q_PROPERTY(std::optional<QString> statusMessage READ statusMessage WRITE setStatusMessage NOTIFY
                   statusMessageChanged)
    Q_PROPERTY(std::optional<UUID> selectedGroupID READ selectedGroupID WRITE setSelectedGroupID NOTIFY
                   selectedGroupIDChanged)
    Q_PROPERTY(UUIDSet selectedEntryIDs READ selectedEntryIDs WRITE setSelectedEntryIDs NOTIFY
                   selectedEntryIDsChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(EntrySort sort READ sort WRITE setSort NOTIFY sortChanged)
    Q_PROPERTY(std::optional<Route> route READ route WRITE setRoute NOTIFY routeChanged)
    Q_PROPERTY(qint64 searchFocusToken READ searchFocusToken NOTIFY searchFocusTokenChanged)
    Q_PROPERTY(std::optional<QString> undoLabel READ undoLabel NOTIFY undoLabelChanged)
    Q_PROPERTY(std::optional<QString> redoLabel READ redoLabel NOTIFY redoLabelChanged)
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY historyChanged)
    Q_PROPERTY(bool canRedo READ canRedo NOTIFY historyChanged)
    Q_PROPERTY(bool isAutoTyping READ isAutoTyping NOTIFY isAutoTypingChanged)
    Q_PROPERTY(bool isWorking READ isWorking NOTIFY isWorkingChanged)
    Q_PROPERTY(bool isSaving READ isSaving NOTIFY isSavingChanged)

  public:
    using Dependencies = AppStateDependencies;
    using Route = ::Route;

    static constexpr std::size_t undoLimit = 50;
    static constexpr std::chrono::milliseconds statusDuration{2000};

    // Locked, with no database; the sort order comes from the preferences.
    explicit AppState(Dependencies dependencies = {}, QObject* parent = nullptr);
    ~AppState() override;

    // Published state.
    const std::optional<KdbxDatabase>& database() const { return database_; }
    const std::optional<QString>& databaseURL() const { return databaseURL_; }
    bool isLocked() const { return isLocked_; }
    bool isDirty() const { return isDirty_; }
    const std::optional<QString>& lastError() const { return lastError_; }
    void setLastError(const std::optional<QString>& error);
    const std::optional<QString>& statusMessage() const { return statusMessage_; }
    // Assigning does not start the two-second clear (showStatus() does).
    void setStatusMessage(const std::optional<QString>& message);
    // None means the root.
    const std::optional<UUID>& selectedGroupID() const { return selectedGroupID_; }
    void setSelectedGroupID(const std::optional<UUID>& id);
    const UUIDSet& selectedEntryIDs() const { return selectedEntryIDs_; }
    void setSelectedEntryIDs(const UUIDSet& ids);
    const QString& searchText() const { return searchText_; }
    void setSearchText(const QString& text);
    const EntrySort& sort() const { return sort_; }
    // A real change is written to the preferences ("sortColumn" and "sortAscending").
    void setSort(const EntrySort& sort);
    const std::optional<Route>& route() const { return route_; }
    void setRoute(const std::optional<Route>& route);
    qint64 searchFocusToken() const { return searchFocusToken_; }
    const std::optional<QString>& undoLabel() const { return undoLabel_; }
    const std::optional<QString>& redoLabel() const { return redoLabel_; }

    void focusSearch();
    void clearSearch();
    // A database is open and has a file.
    bool canSave() const { return database_.has_value() && databaseURL_.has_value(); }
    // Shows a confirmation in the status bar and clears whatever message shows two seconds later.
    void showStatus(const QString& message);

    // Opening and creating. None of them throws: failures go to lastError.
    //
    // Each of these leaves the open database. When it has unsaved changes they are saved first;
    // if that save fails nothing changes and lastError says why.
    // Makes `url` the database file: drops the open database with its undo history and the key,
    // locks, clears the error and the selection and remembers the file for the next start.
    void prepare(const QString& url);
    // Reads the key file (when given) and the chosen database file and opens it; an empty
    // password means none. Duplicate identifiers are repaired and counted in the status bar.
    // The key derivation and the decryption run on a thread of their own: isWorking() is true
    // until they end, and cancelWork() stops them.
    void unlock(const QString& password, const std::optional<QString>& keyFileURL);
    // Builds a new database named after the file, with three groups, writes it and opens it.
    // Only a missing or empty file is replaced; anything else is refused and left as it is.
    // The key derivation runs as an unlock's does.
    void createDatabase(const QString& url, const QString& password, std::optional<SecretBytes> keyFileData);
    // An unlock or a creation is under way.
    bool isWorking() const { return working_; }
    // Stops the unlock or creation under way within a second: nothing is opened or written, and
    // no error is shown.
    void cancelWork();
    // With no file chosen, chooses the remembered one when it still exists.
    void restoreRecentDatabase();

    // Saving, locking and closing.
    //
    // A save never overwrites unasked a file whose content another program changed after it
    // was opened or last saved here (a file only touched, or copied over with the same content,
    // is no change). The look at the file and its replacement are one step against every other
    // Ombrix saving the same file, which waits meanwhile. The conflict resolver is asked what to
    // do; without one nothing is written and lastError says so; when the user keeps editing
    // nothing is written and nothing said. Either way fileChangedOnDisk() is true until the next
    // successful save. Saving under a name the user picks (the same one included, which the save
    // dialog confirms) writes regardless. While any save runs (also the one before locking,
    // quitting or taking another file) isSaving() is true and the status bar says so.
    void save();
    void saveAs(const QString& url);
    // Saves unsaved changes first; when that save fails the database stays open and lastError
    // says why. Then drops the database, the key, the selection, the sheet, the search and the
    // undo history, stops an auto-type run and clears a secret we put on the clipboard. Asked
    // for while a save runs, it is done as soon as that save ends.
    void lock();
    // lock(), then forgets the file; likewise done once a save under way ends.
    void closeDatabase();
    bool fileChangedOnDisk() const { return fileChangedOnDisk_; }
    void setConflictResolver(ConflictResolver resolver) { resolver_ = std::move(resolver); }
    bool isSaving() const { return saving_; }
    // Before the program ends: saves unsaved changes as lock() would (the resolver is asked);
    // false, with lastError set, when they could not be saved and the program should stay.
    bool settleBeforeQuitting();
    // When the program is told to end and nobody can be asked: saves unsaved changes; where
    // the file was changed by another program, or the save fails, the changes go to a new file
    // beside it, named for them and the time, with the same key. False (lastError set) only when
    // even that could not be written. Stops an unlock or creation under way.
    bool settleForTermination();

    // True, with lastError saying why, while a save runs: the database takes no change then,
    // nor is another file taken.
    bool refuseWhileSaving();

    // Undo history. While a save runs no change is made (nor undone or redone): lastError says
    // so, the database stays as the save writes it, and the operations below leave the selection
    // as it was. edit() tells whether the change was made.
    bool edit(const QString& label, const std::function<void(KdbxDatabase&)>& change);
    void undo();
    void redo();
    bool canUndo() const { return !undoStack_.empty(); }
    bool canRedo() const { return !redoStack_.empty(); }

    // Entry operations. An id that names nothing is passed over; a recorded step stays recorded.
    //
    // Appends the entry to the group and selects it. An id already used in the tree is replaced
    // by a fresh one. When the group does not exist nothing is recorded and lastError says so.
    void addEntry(KdbxEntry entry, const UUID& groupID);
    // Replaces the stored entry with the same id, keeping the stored one as its newest history
    // version (at most the database's history limit of versions; a negative limit keeps all).
    void update(const KdbxEntry& entry);
    void deleteEntries(const UUIDSet& ids);
    // Copies each entry into its own group: a new id, " kopya" after the title, no history.
    // Selects the copies.
    void duplicateEntries(const UUIDSet& ids);
    // Moves the entries to the end of an existing group's entries; nothing for another id.
    void moveEntriesToGroup(const UUIDSet& ids, const UUID& groupID);
    // Manual reordering of the listed group: the listed entries of `ids` go, in their listed
    // order, right before `target`. The first reorder of a sorted list switches to the manual
    // column.
    void moveEntriesBefore(const UUIDSet& ids, const UUID& target);
    void moveEntriesToEnd(const UUIDSet& ids);
    // Click selection: toggling adds or removes one entry, extending selects the listed range
    // from the anchor, a plain click selects one entry.
    void selectEntry(const UUID& id, bool extending, bool toggling);

    // Group operations.
    //
    // Appends the group under the parent, opens the parent and selects the new group. Ids
    // already used in the tree are replaced by fresh ones. When the parent does not exist
    // nothing is recorded and lastError says so.
    void addGroup(KdbxGroup group, const UUID& parentID);
    // Takes the name, notes, icon and default auto-type sequence of the edited group.
    void update(const KdbxGroup& group);
    // Deletes the group with everything under it (never the root) and selects the root.
    void deleteGroup(const UUID& id);
    // Opens or closes a group in the tree; not an undo step and not an unsaved change.
    void setGroupExpanded(const UUID& id, bool expanded);

    // Entry actions, on the given entry or else the focused one. Nothing happens while locked or
    // when the entry is not in the open database.
    void copyUsername(const std::optional<KdbxEntry>& entry = std::nullopt);
    void copyPassword(const std::optional<KdbxEntry>& entry = std::nullopt);
    void copyURL(const std::optional<KdbxEntry>& entry = std::nullopt);
    // Puts "https://" in front of an address without "://" and opens it.
    void openURL(const std::optional<KdbxEntry>& entry = std::nullopt);
    // Types the entry's sequence: its own, else the nearest group's default, else the
    // preference. One run at a time: a request while one runs only shows a status message.
    // A failure shows in lastError until a later run types successfully (or something else
    // fails meanwhile).
    void performAutoType(const std::optional<KdbxEntry>& entry = std::nullopt);
    bool isAutoTyping() const { return autoTyping_; }
    // Shows a failure to start auto-typing (the hot key found no entry) as lastError, as the
    // failure of a run is shown: a later successful run takes it away.
    void reportAutoTypeFailure(const QString& message);

    // Queries, computed on every read.
    std::optional<KdbxGroup> root() const;
    // The search text is not blank (trimmed of spaces and tabs).
    bool isSearching() const;
    // The database's name when not blank, else the file's name without extension, else "Ombrix".
    QString databaseName() const;
    // The selected group, or the root when none is selected or it no longer exists.
    std::optional<KdbxGroup> selectedGroup() const;
    // The selected group's own entries, or while searching the matches from the whole tree, in
    // the sort order.
    std::vector<KdbxEntry> visibleEntries() const;
    std::vector<KdbxEntry> selectedEntries() const;
    // The entry when exactly one is selected and it exists.
    std::optional<KdbxEntry> focusedEntry() const;

  signals:
    void databaseChanged();
    void databaseURLChanged();
    void isLockedChanged();
    void isDirtyChanged();
    void lastErrorChanged();
    void statusMessageChanged();
    void selectedGroupIDChanged();
    void selectedEntryIDsChanged();
    void searchTextChanged();
    void sortChanged();
    void routeChanged();
    void searchFocusTokenChanged();
    void undoLabelChanged();
    void redoLabelChanged();
    void historyChanged();
    void isAutoTypingChanged();
    void isWorkingChanged();
    void isSavingChanged();

  private:
    struct Snapshot {
        KdbxDatabase database;
        QString label;
        EntrySort::Column sortColumn;
    };

    void setDatabase(std::optional<KdbxDatabase> database);
    void setDatabaseURL(const std::optional<QString>& url);
    void setLocked(bool locked);
    void setDirty(bool dirty);
    void clearSelection();
    void showUnlocked(KdbxDatabase database, KdbxKey key);
    void refreshUndoLabels();
    void clearHistory();
    void restore(std::deque<Snapshot>& from, std::deque<Snapshot>& to);
    void pruneSelection();
    // Drops from the entry selection what the list no longer shows, after the database, the
    // selected group or the search changed: an entry moved away, filtered out or gone.
    void keepSelectionListed();
    void storeBookmark(const QString& url);
    Timestamp now() const;

    enum class Asking { user, nobody };
    enum class SaveOutcome { saved, savedElsewhere, discarded, keptBeside };
    // Writes the open database to its file, asking the resolver on a conflict; throws the
    // engine's or the file's error, or the conflict's when the user keeps editing.
    SaveOutcome saveQuietly(Asking asking = Asking::user);
    // Saves unsaved changes before the open database is left; false (with lastError set) when
    // that save fails or the user keeps editing. Dropping the changes knowingly is leaving.
    bool saveBeforeLeaving();
    void reportFailure();
    void reportFailure(std::exception_ptr failure);
    Bytes encrypt(const KdbxDatabase& database, const KdbxKey& key);
    void setWorking(bool working);
    void setSaving(bool saving);
    // Marks a save under way until the mark goes out of scope, however the save ends; a save
    // (not the reading of the file again) also says so in the status bar meanwhile.
    struct SavingMark {
        AppState& state;
        bool saysSo;
        ~SavingMark() { state.endSaving(saysSo); }
    };
    [[nodiscard]] SavingMark markSaving(bool saysSo = true) {
        beginSaving(saysSo);
        return SavingMark{*this, saysSo};
    }
    void beginSaving(bool saysSo);
    void endSaving(bool saysSo);
    // What was asked for while a save ran, done once it has ended.
    enum class Leave { none, lock, close };
    void leaveAfterSave(Leave leave);
    void leaveAsAsked();
    // The changes in a new file beside the database, its name saying what it holds and when;
    // where nothing can be written there, in the user's own data folder. Standard error says
    // where they went.
    void writeBeside(const Bytes& bytes);
    // Opens the version on disk again with the kept key, dropping the open one.
    void reopenFromDisk();
    // Remembers what the file looks like now, after this program wrote it.
    void rememberWrittenFile(const QString& url, const Bytes& written);
    void adoptWrittenFile(std::optional<FileStamp> stamp);

    std::vector<const KdbxEntry*> visibleEntryPointers() const;
    const KdbxGroup* listedGroup() const;
    void applyOrder(const std::vector<UUID>& order, const UUID& groupID);
    void moveListedEntries(const UUIDSet& ids, const std::optional<UUID>& before);

    const KdbxEntry* actionEntry(const std::optional<KdbxEntry>& entry) const;
    std::optional<QString> groupSequence(const UUID& entryID) const;
    void touchAccessed(const UUID& entryID);
    void stopAutoType();

    Dependencies deps_;
    Preferences* preferences_;

    std::optional<KdbxDatabase> database_;
    std::optional<QString> databaseURL_;
    bool isLocked_ = true;
    bool isDirty_ = false;
    std::optional<QString> lastError_;
    std::optional<QString> statusMessage_;
    std::optional<KdbxKey> activeKey_;
    // The database file as it was read or last written here; none when unknown.
    std::optional<FileStamp> fileStamp_;
    bool fileChangedOnDisk_ = false;
    std::optional<UUID> selectedGroupID_;
    UUIDSet selectedEntryIDs_;
    QString searchText_;
    EntrySort sort_;
    std::optional<Route> route_;
    qint64 searchFocusToken_ = 0;
    std::deque<Snapshot> undoStack_;
    std::deque<Snapshot> redoStack_;
    std::optional<QString> undoLabel_;
    std::optional<QString> redoLabel_;
    std::optional<UUID> selectionAnchor_;
    bool autoTyping_ = false;
    std::uint64_t autoTypeRun_ = 0;
    bool working_ = false;
    bool saving_ = false;
    // The status bar says a save runs.
    bool savingSaysSo_ = false;
    Leave leaveAfterSave_ = Leave::none;
    // The user chose to drop the unsaved changes for the version on disk: leaving saves nothing
    // until the next change.
    bool changesDropped_ = false;
    ConflictResolver resolver_;
    // The last auto-type failure shown as lastError.
    std::optional<QString> autoTypeFailure_;
};
