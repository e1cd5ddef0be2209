#include "OmbrixUI/EntryListModel.h"

#include <QDateTime>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

#include "OmbrixState/AppState.h"
#include "OmbrixState/EntrySearch.h"
#include "OmbrixState/GroupTree.h"
#include "OmbrixUI/EntryDrag.h"

namespace {

// What AppState::visibleEntries() lists, as pointers into `db`: matches of the whole tree while
// searching, else the selected group's own entries (the root when none is selected or it is
// gone), in the sort order.
std::vector<const KdbxEntry*> listedEntries(const AppState& state, const KdbxDatabase& db) {
    std::vector<const KdbxEntry*> listed;
    if (state.isSearching()) {
        const EntrySearch search(state.searchText());
        GroupTree::forEachEntry(db.root, [&](const KdbxEntry& entry) {
            if (search.matches(entry)) listed.push_back(&entry);
        });
    } else {
        const KdbxGroup* group = nullptr;
        if (state.selectedGroupID()) group = GroupTree::findGroup(db.root, *state.selectedGroupID());
        if (!group) group = &db.root;
        listed.reserve(group->entries.size());
        for (const KdbxEntry& entry : group->entries) listed.push_back(&entry);
    }
    std::vector<const KdbxEntry*> ordered;
    ordered.reserve(listed.size());
    for (std::size_t i : state.sort().order(listed)) ordered.push_back(listed[i]);
    return ordered;
}

}  // namespace

EntryListModel::EntryListModel(AppState& state, QObject* parent) : QAbstractListModel(parent), state_(state) {
    connect(&state_, &AppState::databaseChanged, this, &EntryListModel::refresh);
    connect(&state_, &AppState::selectedGroupIDChanged, this, &EntryListModel::refresh);
    connect(&state_, &AppState::searchTextChanged, this, &EntryListModel::refresh);
    connect(&state_, &AppState::sortChanged, this, &EntryListModel::refresh);
    connect(&state_, &AppState::selectedEntryIDsChanged, this, &EntryListModel::selectionChanged);
    refresh();
}

void EntryListModel::refresh() {
    std::optional<KdbxDatabase> database = state_.database();
    std::vector<const KdbxEntry*> rows;
    if (database) rows = listedEntries(state_, *database);

    const bool sameRows = std::equal(rows.begin(), rows.end(), rows_.begin(), rows_.end(),
                                     [](const KdbxEntry* a, const KdbxEntry* b) { return a->id == b->id; });
    if (sameRows) {
        database_ = std::move(database);
        rows_ = std::move(rows);
        if (!rows_.empty()) emit dataChanged(index(0), index(rowCount() - 1));
    } else {
        beginResetModel();
        database_ = std::move(database);
        rows_ = std::move(rows);
        rowOf_.clear();
        rowOf_.reserve(rows_.size());
        // With duplicate ids (never left by AppState, but cheap to survive) the first row wins.
        for (std::size_t i = 0; i < rows_.size(); ++i) rowOf_.emplace(rows_[i]->id, static_cast<int>(i));
        endResetModel();
    }
    emit refreshed();
}

void EntryListModel::selectionChanged() {
    if (!rows_.empty()) emit dataChanged(index(0), index(rowCount() - 1), {SelectedRole});
}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

const KdbxEntry& EntryListModel::entry(int row) const {
    return *rows_.at(static_cast<std::size_t>(row));
}

std::optional<int> EntryListModel::rowOf(const UUID& id) const {
    const auto found = rowOf_.find(id);
    if (found == rowOf_.end()) return std::nullopt;
    return found->second;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const KdbxEntry& e = entry(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case TitleRole:
            return title(e);
        case IdRole:
            return QString::fromStdString(e.id.uuidString());
        case HasTitleRole:
            return !e.title.empty();
        case SubtitleRole:
            return subtitle(e);
        case ModifiedRole:
            return QDateTime::fromSecsSinceEpoch(e.modified.time_since_epoch().count());
        case IconIDRole:
            return QVariant::fromValue<qint64>(e.iconID);
        case ExpiredRole:
            return e.isExpired();
        case CanCopyUsernameRole:
            return !e.username.empty();
        case AutoTypeEnabledRole:
            return e.autoTypeEnabled;
        case SelectedRole:
            return state_.selectedEntryIDs().contains(e.id);
        default:
            return {};
    }
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled |
           Qt::ItemNeverHasChildren;
}

QHash<int, QByteArray> EntryListModel::roleNames() const {
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(IdRole, "id");
    names.insert(TitleRole, "title");
    names.insert(SubtitleRole, "subtitle");
    return names;
}

QStringList EntryListModel::mimeTypes() const {
    return {QStringLiteral("text/plain")};
}

QMimeData* EntryListModel::mimeData(const QModelIndexList& indexes) const {
    std::vector<int> rows;
    for (const QModelIndex& index : indexes)
        if (index.isValid() && index.model() == this) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty()) return nullptr;
    std::vector<UUID> ids;
    ids.reserve(rows.size());
    for (int row : rows) ids.push_back(entry(row).id);
    return EntryDrag::mimeData(ids);
}

Qt::DropActions EntryListModel::supportedDragActions() const {
    return Qt::CopyAction | Qt::MoveAction;
}

QString EntryListModel::title(const KdbxEntry& entry) {
    if (entry.title.empty()) return QStringLiteral("Adsız kayıt");
    return QString::fromStdString(entry.title);
}

QString EntryListModel::displayURL(const std::string& url) {
    if (url.empty()) return {};
    const QString text = QString::fromStdString(url);
    const QUrl parsed(text, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty()) return text;
    return parsed.host();
}

QString EntryListModel::subtitle(const KdbxEntry& entry) {
    QStringList parts;
    if (!entry.username.empty()) parts.append(QString::fromStdString(entry.username));
    if (!entry.url.empty()) parts.append(displayURL(entry.url));
    if (parts.isEmpty()) return QStringLiteral("—");
    return parts.join(QStringLiteral("  ·  "));
}
