#include "OmbrixState/GroupTree.h"

#include <cstddef>

namespace GroupTree {

namespace {

using Path = std::vector<std::size_t>;

// Index path from root to the first group with the id (root itself: an empty path).
bool findGroupPath(const KdbxGroup& group, const UUID& id, Path& path) {
    if (group.id == id) return true;
    for (std::size_t i = 0; i < group.groups.size(); ++i) {
        path.push_back(i);
        if (findGroupPath(group.groups[i], id, path)) return true;
        path.pop_back();
    }
    return false;
}

// Path to the group holding the first entry with the id, and the entry's index in it.
bool findEntryPath(const KdbxGroup& group, const UUID& id, Path& path, std::size_t& index) {
    for (std::size_t i = 0; i < group.entries.size(); ++i) {
        if (group.entries[i].id == id) {
            index = i;
            return true;
        }
    }
    for (std::size_t i = 0; i < group.groups.size(); ++i) {
        path.push_back(i);
        if (findEntryPath(group.groups[i], id, path, index)) return true;
        path.pop_back();
    }
    return false;
}

// Path to the parent of the first descendant with the id, looking at direct children first.
bool findParentPath(const KdbxGroup& group, const UUID& id, Path& path, std::size_t& index) {
    for (std::size_t i = 0; i < group.groups.size(); ++i) {
        if (group.groups[i].id == id) {
            index = i;
            return true;
        }
    }
    for (std::size_t i = 0; i < group.groups.size(); ++i) {
        path.push_back(i);
        if (findParentPath(group.groups[i], id, path, index)) return true;
        path.pop_back();
    }
    return false;
}

const KdbxGroup& groupAt(const KdbxGroup& root, const Path& path) {
    const KdbxGroup* group = &root;
    for (std::size_t i : path) group = &group->groups[i];
    return *group;
}

// Detaches every group on the path from the lists it shares with other copies of the tree.
KdbxGroup& mutableGroupAt(KdbxGroup& root, const Path& path) {
    KdbxGroup* group = &root;
    for (std::size_t i : path) group = &group->groups.mutableAt(i);
    return *group;
}

void visitEntries(const KdbxGroup& group, const std::function<void(const KdbxEntry&)>& visit) {
    for (const KdbxEntry& entry : group.entries) visit(entry);
    for (const KdbxGroup& child : group.groups) visitEntries(child, visit);
}

}  // namespace

const KdbxGroup* findGroup(const KdbxGroup& root, const UUID& id) {
    Path path;
    return findGroupPath(root, id, path) ? &groupAt(root, path) : nullptr;
}

const KdbxEntry* findEntry(const KdbxGroup& root, const UUID& id) {
    Path path;
    std::size_t index = 0;
    return findEntryPath(root, id, path, index) ? &groupAt(root, path).entries[index] : nullptr;
}

const KdbxGroup* findGroupContainingEntry(const KdbxGroup& root, const UUID& entryID) {
    Path path;
    std::size_t index = 0;
    return findEntryPath(root, entryID, path, index) ? &groupAt(root, path) : nullptr;
}

std::optional<KdbxGroup> groupWithID(const KdbxGroup& root, const UUID& id) {
    if (const KdbxGroup* group = findGroup(root, id)) return *group;
    return std::nullopt;
}

std::optional<KdbxEntry> entryWithID(const KdbxGroup& root, const UUID& id) {
    if (const KdbxEntry* entry = findEntry(root, id)) return *entry;
    return std::nullopt;
}

std::optional<KdbxGroup> groupContainingEntry(const KdbxGroup& root, const UUID& entryID) {
    if (const KdbxGroup* group = findGroupContainingEntry(root, entryID)) return *group;
    return std::nullopt;
}

std::optional<std::vector<KdbxGroup>> pathToGroup(const KdbxGroup& root, const UUID& id) {
    Path path;
    if (!findGroupPath(root, id, path)) return std::nullopt;
    std::vector<KdbxGroup> chain{root};
    const KdbxGroup* group = &root;
    for (std::size_t i : path) {
        group = &group->groups[i];
        chain.push_back(*group);
    }
    return chain;
}

std::optional<KdbxGroup> parentOfGroup(const KdbxGroup& root, const UUID& id) {
    Path path;
    std::size_t index = 0;
    if (!findParentPath(root, id, path, index)) return std::nullopt;
    return groupAt(root, path);
}

bool mutateGroup(KdbxGroup& root, const UUID& id, const std::function<void(KdbxGroup&)>& change) {
    Path path;
    if (!findGroupPath(root, id, path)) return false;
    change(mutableGroupAt(root, path));
    return true;
}

bool mutateEntry(KdbxGroup& root, const UUID& id, const std::function<void(KdbxEntry&)>& change) {
    Path path;
    std::size_t index = 0;
    if (!findEntryPath(root, id, path, index)) return false;
    change(mutableGroupAt(root, path).entries.mutableAt(index));
    return true;
}

std::optional<KdbxEntry> removeEntry(KdbxGroup& root, const UUID& id) {
    Path path;
    std::size_t index = 0;
    if (!findEntryPath(root, id, path, index)) return std::nullopt;
    KdbxGroup& holder = mutableGroupAt(root, path);
    KdbxEntry removed = holder.entries[index];
    holder.entries.erase(index);
    return removed;
}

std::optional<KdbxGroup> removeGroup(KdbxGroup& root, const UUID& id) {
    Path path;
    std::size_t index = 0;
    if (!findParentPath(root, id, path, index)) return std::nullopt;
    KdbxGroup& parent = mutableGroupAt(root, path);
    KdbxGroup removed = parent.groups[index];
    parent.groups.erase(index);
    return removed;
}

void renumberEntry(KdbxEntry& entry) {
    entry.id = UUID::random();
    for (std::size_t v = 0; v < entry.historyItems.size(); ++v) {
        entry.historyItems.mutate(v, [&](KdbxEntry& version) { version.id = entry.id; });
    }
}

std::int64_t repairDuplicateIDs(KdbxGroup& root, IDSet& seenGroups, IDSet& seenEntries) {
    std::int64_t count = 0;
    if (seenGroups.contains(root.id)) {
        root.id = UUID::random();
        ++count;
    }
    seenGroups.insert(root.id);
    for (std::size_t i = 0; i < root.entries.size(); ++i) {
        if (seenEntries.contains(root.entries[i].id)) {
            root.entries.mutate(i, renumberEntry);
            ++count;
        }
        seenEntries.insert(root.entries[i].id);
    }
    for (std::size_t i = 0; i < root.groups.size(); ++i) {
        count += repairDuplicateIDs(root.groups.mutableAt(i), seenGroups, seenEntries);
    }
    return count;
}

void collectIDs(const KdbxGroup& root, IDSet& groups, IDSet& entries) {
    groups.insert(root.id);
    for (const KdbxEntry& entry : root.entries) entries.insert(entry.id);
    for (const KdbxGroup& child : root.groups) collectIDs(child, groups, entries);
}

std::int64_t totalEntryCount(const KdbxGroup& root) {
    std::int64_t count = static_cast<std::int64_t>(root.entries.size());
    for (const KdbxGroup& child : root.groups) count += totalEntryCount(child);
    return count;
}

void forEachEntry(const KdbxGroup& root, const std::function<void(const KdbxEntry&)>& visit) {
    visitEntries(root, visit);
}

}  // namespace GroupTree
