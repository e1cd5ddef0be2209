#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_set>
#include <vector>

#include "OmbrixCore/Kdbx/Models.h"

// Finding, changing and removing groups and entries anywhere below a group (normally a
// database's root). Every walk is depth first in stored order and stops at the first match, so
// with duplicate identifiers the walk order decides which one is found:
// - groups: the group itself, then each child's subtree in order;
// - entries: a group's own entries before its child groups' subtrees;
// - removeGroup / parentOfGroup: a group's direct children before the deeper levels.
// Group and entry identifiers are separate name spaces; entries' history versions are never
// visited. Lookups return copies (a group copy shares its subtree's storage); the changing
// operations detach only the groups on the path to what they change.
namespace GroupTree {

using IDSet = std::unordered_set<UUID>;

std::optional<KdbxGroup> groupWithID(const KdbxGroup& root, const UUID& id);
std::optional<KdbxEntry> entryWithID(const KdbxGroup& root, const UUID& id);
std::optional<KdbxGroup> groupContainingEntry(const KdbxGroup& root, const UUID& entryID);
// The groups from root down to the group with that id, both included.
std::optional<std::vector<KdbxGroup>> pathToGroup(const KdbxGroup& root, const UUID& id);
// The group one of whose direct children has that id; never an answer for root's own id.
std::optional<KdbxGroup> parentOfGroup(const KdbxGroup& root, const UUID& id);

// Borrowing forms of the lookups: valid until the tree is next changed.
const KdbxGroup* findGroup(const KdbxGroup& root, const UUID& id);
const KdbxEntry* findEntry(const KdbxGroup& root, const UUID& id);
const KdbxGroup* findGroupContainingEntry(const KdbxGroup& root, const UUID& entryID);

// Calls `change` once on the first match and returns true; false (and no call) without one.
bool mutateGroup(KdbxGroup& root, const UUID& id, const std::function<void(KdbxGroup&)>& change);
bool mutateEntry(KdbxGroup& root, const UUID& id, const std::function<void(KdbxEntry&)>& change);

std::optional<KdbxEntry> removeEntry(KdbxGroup& root, const UUID& id);
// Removes a descendant with its whole subtree; root itself is never removed.
std::optional<KdbxGroup> removeGroup(KdbxGroup& root, const UUID& id);

// Gives the entry a fresh random id; its history versions take the new id with it, so that they
// stay the versions of that entry.
void renumberEntry(KdbxEntry& entry);

// Gives every group and entry whose id is already in the matching set a fresh random id, adds
// every id it passes to its set, and returns how many ids it replaced. The first holder in walk
// order (a group's entries before its child groups) keeps an id. Entries are renumbered with
// renumberEntry.
std::int64_t repairDuplicateIDs(KdbxGroup& root, IDSet& seenGroups, IDSet& seenEntries);

// Adds every group id and every entry id of the tree to the sets.
void collectIDs(const KdbxGroup& root, IDSet& groups, IDSet& entries);

// The number of entries in root and all its descendants (history versions not counted).
std::int64_t totalEntryCount(const KdbxGroup& root);

// Calls `visit` for every entry in allEntries order without copying any of them.
void forEachEntry(const KdbxGroup& root, const std::function<void(const KdbxEntry&)>& visit);

}  // namespace GroupTree
