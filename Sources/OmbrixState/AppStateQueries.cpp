// The derived queries, the search and the entry actions of the application state.
#include <QFileInfo>
#include <QPointer>
#include <QUrl>

#include "OmbrixState/AppState.h"
#include "OmbrixState/EntrySearch.h"
#include "OmbrixState/GroupTree.h"
#include "OmbrixState/Preferences.h"

// Queries.

std::optional<KdbxGroup> AppState::root() const {
    if (!database_) return std::nullopt;
    return database_->root;
}

bool AppState::isSearching() const {
    return !EntrySearch::trimmed(searchText_).isEmpty();
}

QString AppState::databaseName() const {
    if (database_) {
        const QString name = QString::fromStdString(database_->meta.databaseName);
        if (!EntrySearch::trimmed(name).isEmpty()) return name;
    }
    if (databaseURL_) {
        const QFileInfo file(*databaseURL_);
        // Only the last extension goes; a name without one stays whole.
        return file.suffix().isEmpty() ? file.fileName() : file.completeBaseName();
    }
    return QStringLiteral("Ombrix");
}

const KdbxGroup* AppState::listedGroup() const {
    if (!database_) return nullptr;
    if (selectedGroupID_) {
        if (const KdbxGroup* group = GroupTree::findGroup(database_->root, *selectedGroupID_)) return group;
    }
    return &database_->root;
}

std::optional<KdbxGroup> AppState::selectedGroup() const {
    if (const KdbxGroup* group = listedGroup()) return *group;
    return std::nullopt;
}

std::vector<const KdbxEntry*> AppState::visibleEntryPointers() const {
    std::vector<const KdbxEntry*> listed;
    if (!database_) return listed;
    if (isSearching()) {
        const EntrySearch search(searchText_);
        GroupTree::forEachEntry(database_->root, [&](const KdbxEntry& entry) {
            if (search.matches(entry)) listed.push_back(&entry);
        });
    } else {
        const KdbxGroup* group = listedGroup();
        listed.reserve(group->entries.size());
        for (const KdbxEntry& entry : group->entries) listed.push_back(&entry);
    }
    std::vector<const KdbxEntry*> ordered;
    ordered.reserve(listed.size());
    for (std::size_t i : sort_.order(listed)) ordered.push_back(listed[i]);
    return ordered;
}

std::vector<KdbxEntry> AppState::visibleEntries() const {
    std::vector<KdbxEntry> entries;
    const std::vector<const KdbxEntry*> listed = visibleEntryPointers();
    entries.reserve(listed.size());
    for (const KdbxEntry* entry : listed) entries.push_back(*entry);
    return entries;
}

std::vector<KdbxEntry> AppState::selectedEntries() const {
    std::vector<KdbxEntry> entries;
    if (!database_) return entries;
    for (const UUID& id : selectedEntryIDs_) {
        if (const KdbxEntry* entry = GroupTree::findEntry(database_->root, id)) entries.push_back(*entry);
    }
    return entries;
}

void AppState::keepSelectionListed() {
    if (selectedEntryIDs_.empty()) return;
    // Only the selected entries are looked at, so a long list costs one pass of id look-ups.
    UUIDSet kept;
    if (database_ && isSearching()) {
        const EntrySearch search(searchText_);
        GroupTree::forEachEntry(database_->root, [&](const KdbxEntry& entry) {
            if (selectedEntryIDs_.contains(entry.id) && search.matches(entry)) kept.insert(entry.id);
        });
    } else if (const KdbxGroup* group = listedGroup()) {
        for (const KdbxEntry& entry : group->entries)
            if (selectedEntryIDs_.contains(entry.id)) kept.insert(entry.id);
    }
    setSelectedEntryIDs(kept);
}

std::optional<KdbxEntry> AppState::focusedEntry() const {
    if (!database_ || selectedEntryIDs_.size() != 1) return std::nullopt;
    return GroupTree::entryWithID(database_->root, *selectedEntryIDs_.begin());
}

// Entry actions.

const KdbxEntry* AppState::actionEntry(const std::optional<KdbxEntry>& entry) const {
    if (!database_) return nullptr;
    if (entry) {
        // The caller's copy is used as given, but only for an entry of the open database.
        return GroupTree::findEntry(database_->root, entry->id) ? &*entry : nullptr;
    }
    if (selectedEntryIDs_.size() != 1) return nullptr;
    return GroupTree::findEntry(database_->root, *selectedEntryIDs_.begin());
}

void AppState::touchAccessed(const UUID& entryID) {
    if (!database_) return;
    KdbxDatabase copy = *database_;
    const Timestamp stamp = now();
    GroupTree::mutateEntry(copy.root, entryID, [&](KdbxEntry& entry) { entry.accessed = stamp; });
    setDatabase(std::move(copy));
}

void AppState::copyUsername(const std::optional<KdbxEntry>& entry) {
    const KdbxEntry* chosen = actionEntry(entry);
    if (!chosen) return;
    const UUID id = chosen->id;
    deps_.clipboard->copySecret(QString::fromStdString(chosen->username));
    showStatus(QStringLiteral("Kullanıcı adı kopyalandı"));
    touchAccessed(id);
}

void AppState::copyPassword(const std::optional<KdbxEntry>& entry) {
    const KdbxEntry* chosen = actionEntry(entry);
    if (!chosen) return;
    const UUID id = chosen->id;
    deps_.clipboard->copySecret(QString::fromStdString(chosen->password.value()));
    showStatus(QStringLiteral("Parola kopyalandı"));
    touchAccessed(id);
}

void AppState::copyURL(const std::optional<KdbxEntry>& entry) {
    const KdbxEntry* chosen = actionEntry(entry);
    if (!chosen || chosen->url.empty()) return;
    deps_.clipboard->copyPlain(QString::fromStdString(chosen->url));
    showStatus(QStringLiteral("Adres kopyalandı"));
}

void AppState::openURL(const std::optional<KdbxEntry>& entry) {
    const KdbxEntry* chosen = actionEntry(entry);
    if (!chosen || chosen->url.empty()) return;
    const UUID id = chosen->id;
    QString text = QString::fromStdString(chosen->url);
    if (!text.contains(QStringLiteral("://"))) text.prepend(QStringLiteral("https://"));
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) return;
    deps_.urls->open(url);
    touchAccessed(id);
}

std::optional<QString> AppState::groupSequence(const UUID& entryID) const {
    if (!database_) return std::nullopt;
    const KdbxGroup* holder = GroupTree::findGroupContainingEntry(database_->root, entryID);
    if (!holder) return std::nullopt;
    const std::optional<std::vector<KdbxGroup>> chain = GroupTree::pathToGroup(database_->root, holder->id);
    if (!chain) return std::nullopt;
    // The nearest group that has one, the holding group first; an empty sequence counts.
    for (auto group = chain->rbegin(); group != chain->rend(); ++group) {
        if (group->defaultAutoTypeSequence) return QString::fromStdString(*group->defaultAutoTypeSequence);
    }
    return std::nullopt;
}

void AppState::performAutoType(const std::optional<KdbxEntry>& entry) {
    const KdbxEntry* chosen = actionEntry(entry);
    if (!chosen) return;
    // Two runs at once would interleave their key strokes in the target.
    if (autoTyping_) {
        showStatus(QStringLiteral("Otomatik yazma sürüyor; bitmesini bekleyin."));
        return;
    }
    const KdbxEntry typed = *chosen;
    QString sequence;
    if (typed.autoTypeSequence) {
        sequence = QString::fromStdString(*typed.autoTypeSequence);
    } else if (const std::optional<QString> inherited = groupSequence(typed.id)) {
        sequence = *inherited;
    } else {
        sequence = preferences_->defaultAutoTypeSequence();
    }
    touchAccessed(typed.id);

    autoTyping_ = true;
    const std::uint64_t run = ++autoTypeRun_;
    emit isAutoTypingChanged();
    QPointer<AppState> self(this);
    deps_.autoType->run(sequence, typed, [self, run](std::optional<QString> error) {
        // A run stopped by locking, or a state that is gone, reports nothing.
        if (!self || self->autoTypeRun_ != run || !self->autoTyping_) return;
        self->autoTyping_ = false;
        emit self->isAutoTypingChanged();
        if (error) {
            self->reportAutoTypeFailure(*error);
        } else if (self->autoTypeFailure_ && self->lastError_ == self->autoTypeFailure_) {
            // The earlier failure is past: this run typed.
            self->setLastError(std::nullopt);
        }
    });
}

void AppState::reportAutoTypeFailure(const QString& message) {
    autoTypeFailure_ = message;
    setLastError(message);
}

void AppState::stopAutoType() {
    if (!autoTyping_) return;
    ++autoTypeRun_;
    autoTyping_ = false;
    deps_.autoType->cancel();
    emit isAutoTypingChanged();
}
