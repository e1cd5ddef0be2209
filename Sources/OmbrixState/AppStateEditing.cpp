// The undo history and the entry and group operations of the application state.
#include <algorithm>
#include <unordered_map>

#include "OmbrixState/AppState.h"
#include "OmbrixState/BrandNumber.h"
#include "OmbrixState/GroupTree.h"

namespace {

QString missingGroupForEntry() {
    return QStringLiteral("Kayıt eklenemedi: seçilen grup artık yok. Başka bir grup seçip yeniden deneyin.");
}

QString missingParentForGroup() {
    return QStringLiteral("Grup eklenemedi: üst grup artık yok. Başka bir grup seçip yeniden deneyin.");
}

// Gives what is added fresh ids where the tree already uses them.
void freshenIDs(const KdbxGroup& tree, KdbxGroup& added) {
    GroupTree::IDSet groups;
    GroupTree::IDSet entries;
    GroupTree::collectIDs(tree, groups, entries);
    GroupTree::repairDuplicateIDs(added, groups, entries);
}

}  // namespace

// Undo history.

bool AppState::refuseWhileSaving() {
    if (!saving_) return false;
    // Said, so that a key or a button that seems to do nothing leaves nobody guessing; an editor
    // that asked keeps what was typed.
    setLastError(
        QStringLiteral("Veritabanı kaydedilirken değişiklik yapılamaz; kaydetme bitince yeniden deneyin."));
    return true;
}

bool AppState::edit(const QString& label, const std::function<void(KdbxDatabase&)>& change) {
    if (!database_) return false;
    // The database is being written: a change now would be neither in the file nor unsaved.
    if (refuseWhileSaving()) return false;
    KdbxDatabase copy = *database_;
    undoStack_.push_back(Snapshot{*database_, label, sort_.column});
    if (undoStack_.size() > undoLimit) undoStack_.pop_front();
    redoStack_.clear();
    change(copy);
    setDatabase(std::move(copy));
    setDirty(true);
    changesDropped_ = false;
    refreshUndoLabels();
    emit historyChanged();
    return true;
}

void AppState::undo() {
    restore(undoStack_, redoStack_);
}

void AppState::redo() {
    restore(redoStack_, undoStack_);
}

// Undo and redo are the same move in opposite directions: the newest step of one history
// replaces the open database, which goes onto the other.
void AppState::restore(std::deque<Snapshot>& from, std::deque<Snapshot>& to) {
    if (from.empty()) return;
    if (database_ && refuseWhileSaving()) return;
    Snapshot step = std::move(from.back());
    from.pop_back();
    if (!database_) {
        emit historyChanged();
        return;
    }
    to.push_back(Snapshot{*database_, step.label, sort_.column});
    setDatabase(std::move(step.database));
    setSort(EntrySort{step.sortColumn, sort_.ascending});
    setDirty(true);
    changesDropped_ = false;
    pruneSelection();
    refreshUndoLabels();
    emit historyChanged();
}

void AppState::pruneSelection() {
    if (!database_) return;
    const KdbxGroup& root = database_->root;
    UUIDSet kept;
    for (const UUID& id : selectedEntryIDs_) {
        if (GroupTree::findEntry(root, id)) kept.insert(id);
    }
    setSelectedEntryIDs(kept);
    if (selectedGroupID_ && !GroupTree::findGroup(root, *selectedGroupID_)) setSelectedGroupID(root.id);
}

// Entry operations.

void AppState::addEntry(KdbxEntry entry, const UUID& groupID) {
    if (!database_ || !GroupTree::findGroup(database_->root, groupID)) {
        setLastError(missingGroupForEntry());
        return;
    }
    if (GroupTree::findEntry(database_->root, entry.id)) GroupTree::renumberEntry(entry);
    const UUID id = entry.id;
    const Timestamp stamp = now();
    const bool added = edit(QStringLiteral("Kayıt Ekle"), [&](KdbxDatabase& db) {
        GroupTree::mutateGroup(db.root, groupID, [&](KdbxGroup& group) {
            group.entries.push_back(std::move(entry));
            group.modified = stamp;
        });
    });
    if (added) setSelectedEntryIDs({id});
}

void AppState::update(const KdbxEntry& edited) {
    KdbxEntry replacement = edited;
    replacement.modified = now();
    edit(QStringLiteral("Kaydı Düzenle"), [&](KdbxDatabase& db) {
        const std::int64_t limit = db.meta.historyMaxItems;
        GroupTree::mutateEntry(db.root, replacement.id, [&](KdbxEntry& stored) {
            KdbxEntry previous = stored;
            previous.historyItems.clear();
            CowList<KdbxEntry> history = stored.historyItems;
            history.push_back(std::move(previous));
            // A negative limit is the format's "no limit"; otherwise at least the version just
            // replaced is kept.
            if (limit >= 0) {
                const std::size_t keep = static_cast<std::size_t>(std::max<std::int64_t>(limit, 1));
                while (history.size() > keep) history.erase(0);
            }
            stored = std::move(replacement);
            stored.historyItems = std::move(history);
        });
    });
}

void AppState::deleteEntries(const UUIDSet& ids) {
    if (ids.empty()) return;
    // Grouped in thousands ("1.000"), as every count the user reads.
    const QString label = ids.size() == 1
                              ? QStringLiteral("Kaydı Sil")
                              : brandCount(std::int64_t(ids.size())) + QStringLiteral(" Kaydı Sil");
    const bool deleted = edit(label, [&](KdbxDatabase& db) {
        for (const UUID& id : ids) GroupTree::removeEntry(db.root, id);
    });
    // Not deleted (a save runs): still selected, for another try.
    if (deleted) setSelectedEntryIDs({});
}

void AppState::duplicateEntries(const UUIDSet& ids) {
    if (!database_ || ids.empty()) return;
    // Look-ups go to the tree as it was, so a copy made in this step is never copied again.
    const KdbxGroup original = database_->root;
    const Timestamp stamp = now();
    UUIDSet copies;
    const QString label =
        ids.size() == 1 ? QStringLiteral("Kaydı Çoğalt") : QStringLiteral("Kayıtları Çoğalt");
    const bool copied = edit(label, [&](KdbxDatabase& db) {
        for (const UUID& id : ids) {
            const KdbxEntry* source = GroupTree::findEntry(original, id);
            const KdbxGroup* holder = GroupTree::findGroupContainingEntry(original, id);
            if (!source || !holder) continue;
            KdbxEntry copy = *source;
            copy.id = UUID::random();
            copy.title += " kopya";
            copy.created = stamp;
            copy.modified = stamp;
            copy.historyItems.clear();
            copies.insert(copy.id);
            GroupTree::mutateGroup(db.root, holder->id,
                                   [&](KdbxGroup& group) { group.entries.push_back(std::move(copy)); });
        }
    });
    if (copied) setSelectedEntryIDs(copies);
}

void AppState::moveEntriesToGroup(const UUIDSet& ids, const UUID& groupID) {
    if (!database_) return;
    // A target that is not in the tree would take the entries out and put them nowhere.
    if (!GroupTree::findGroup(database_->root, groupID)) return;
    std::vector<KdbxEntry> moving;
    for (const UUID& id : ids) {
        if (const KdbxEntry* entry = GroupTree::findEntry(database_->root, id)) moving.push_back(*entry);
    }
    if (moving.empty()) return;
    const Timestamp stamp = now();
    edit(QStringLiteral("Kayıtları Taşı"), [&](KdbxDatabase& db) {
        for (const UUID& id : ids) GroupTree::removeEntry(db.root, id);
        GroupTree::mutateGroup(db.root, groupID, [&](KdbxGroup& group) {
            for (KdbxEntry& entry : moving) group.entries.push_back(std::move(entry));
            group.modified = stamp;
        });
    });
}

void AppState::moveEntriesBefore(const UUIDSet& ids, const UUID& target) {
    if (ids.contains(target)) return;
    moveListedEntries(ids, target);
}

void AppState::moveEntriesToEnd(const UUIDSet& ids) {
    moveListedEntries(ids, std::nullopt);
}

void AppState::moveListedEntries(const UUIDSet& ids, const std::optional<UUID>& before) {
    if (isSearching()) return;
    const KdbxGroup* group = listedGroup();
    if (!group) return;
    const UUID groupID = group->id;
    std::vector<UUID> rest;
    std::vector<UUID> moving;
    for (const KdbxEntry* entry : visibleEntryPointers()) {
        (ids.contains(entry->id) ? moving : rest).push_back(entry->id);
    }
    if (moving.empty()) return;
    auto at = rest.end();
    if (before) {
        at = std::find(rest.begin(), rest.end(), *before);
        if (at == rest.end()) return;
    }
    rest.insert(at, moving.begin(), moving.end());
    applyOrder(rest, groupID);
}

void AppState::applyOrder(const std::vector<UUID>& order, const UUID& groupID) {
    const Timestamp stamp = now();
    const bool reordered = edit(QStringLiteral("Sırayı Değiştir"), [&](KdbxDatabase& db) {
        GroupTree::mutateGroup(db.root, groupID, [&](KdbxGroup& group) {
            // Positions by id; a list per id, so that two entries sharing one are both kept.
            std::unordered_map<UUID, std::deque<std::size_t>> positions;
            for (std::size_t i = 0; i < group.entries.size(); ++i)
                positions[group.entries[i].id].push_back(i);
            std::vector<bool> placed(group.entries.size(), false);
            std::vector<KdbxEntry> reordered;
            reordered.reserve(group.entries.size());
            for (const UUID& id : order) {
                auto found = positions.find(id);
                if (found == positions.end() || found->second.empty()) continue;
                const std::size_t i = found->second.front();
                found->second.pop_front();
                placed[i] = true;
                reordered.push_back(group.entries[i]);
            }
            for (std::size_t i = 0; i < group.entries.size(); ++i) {
                if (!placed[i]) reordered.push_back(group.entries[i]);
            }
            group.entries = CowList<KdbxEntry>(std::move(reordered));
            group.modified = stamp;
        });
    });
    if (reordered && sort_.column != EntrySort::Column::manual) {
        setSort(EntrySort{EntrySort::Column::manual, sort_.ascending});
        showStatus(QStringLiteral("Kendi sıralamana geçildi."));
    }
}

void AppState::selectEntry(const UUID& id, bool extending, bool toggling) {
    if (toggling) {
        UUIDSet ids = selectedEntryIDs_;
        if (!ids.erase(id)) ids.insert(id);
        setSelectedEntryIDs(ids);
        selectionAnchor_ = id;
        return;
    }
    if (extending && selectionAnchor_) {
        const std::vector<const KdbxEntry*> listed = visibleEntryPointers();
        auto position = [&](const UUID& wanted) {
            return std::find_if(listed.begin(), listed.end(),
                                [&](const KdbxEntry* e) { return e->id == wanted; });
        };
        const auto anchor = position(*selectionAnchor_);
        const auto clicked = position(id);
        if (anchor != listed.end() && clicked != listed.end()) {
            const auto [first, last] = std::minmax(anchor, clicked);
            UUIDSet range;
            for (auto it = first; it <= last; ++it) range.insert((*it)->id);
            setSelectedEntryIDs(range);
            return;
        }
    }
    setSelectedEntryIDs({id});
    selectionAnchor_ = id;
}

// Group operations.

void AppState::addGroup(KdbxGroup group, const UUID& parentID) {
    if (!database_ || !GroupTree::findGroup(database_->root, parentID)) {
        setLastError(missingParentForGroup());
        return;
    }
    freshenIDs(database_->root, group);
    const UUID id = group.id;
    const Timestamp stamp = now();
    const bool added = edit(QStringLiteral("Grup Ekle"), [&](KdbxDatabase& db) {
        GroupTree::mutateGroup(db.root, parentID, [&](KdbxGroup& parent) {
            parent.groups.push_back(std::move(group));
            parent.isExpanded = true;
            parent.modified = stamp;
        });
    });
    if (added) setSelectedGroupID(id);
}

void AppState::update(const KdbxGroup& edited) {
    const Timestamp stamp = now();
    edit(QStringLiteral("Grubu Düzenle"), [&](KdbxDatabase& db) {
        GroupTree::mutateGroup(db.root, edited.id, [&](KdbxGroup& stored) {
            stored.name = edited.name;
            stored.notes = edited.notes;
            stored.iconID = edited.iconID;
            stored.defaultAutoTypeSequence = edited.defaultAutoTypeSequence;
            stored.modified = stamp;
        });
    });
}

void AppState::deleteGroup(const UUID& id) {
    if (!database_ || id == database_->root.id) return;
    if (!edit(QStringLiteral("Grubu Sil"), [&](KdbxDatabase& db) { GroupTree::removeGroup(db.root, id); }))
        return;
    setSelectedGroupID(database_->root.id);
    pruneSelection();
}

void AppState::setGroupExpanded(const UUID& id, bool expanded) {
    if (!database_) return;
    KdbxDatabase copy = *database_;
    GroupTree::mutateGroup(copy.root, id, [&](KdbxGroup& group) { group.isExpanded = expanded; });
    setDatabase(std::move(copy));
}
