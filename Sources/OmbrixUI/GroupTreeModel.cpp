#include "OmbrixUI/GroupTreeModel.h"

#include <functional>

#include "OmbrixState/AppState.h"

struct GroupTreeModel::Node {
    UUID id;
    QString name;
    QString notes;
    qint64 iconID = 0;
    bool expanded = true;
    int depth = 0;
    qint64 entryCount = 0;
    int row = 0;
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;
};

namespace {

using Node = GroupTreeModel::Node;

std::unique_ptr<Node> build(const KdbxGroup& group, Node* parent, int row, int depth) {
    auto node = std::make_unique<Node>();
    node->id = group.id;
    node->name = QString::fromStdString(group.name);
    node->notes = QString::fromStdString(group.notes);
    node->iconID = group.iconID;
    node->expanded = group.isExpanded;
    node->depth = depth;
    node->row = row;
    node->parent = parent;
    node->entryCount = static_cast<qint64>(group.entries.size());
    int childRow = 0;
    for (const KdbxGroup& child : group.groups) {
        node->children.push_back(build(child, node.get(), childRow++, depth + 1));
        node->entryCount += node->children.back()->entryCount;
    }
    return node;
}

bool sameShape(const Node& a, const Node& b) {
    if (a.id != b.id || a.children.size() != b.children.size()) return false;
    for (std::size_t i = 0; i < a.children.size(); ++i)
        if (!sameShape(*a.children[i], *b.children[i])) return false;
    return true;
}

void copyData(Node& into, const Node& from) {
    into.name = from.name;
    into.notes = from.notes;
    into.iconID = from.iconID;
    into.expanded = from.expanded;
    into.entryCount = from.entryCount;
    for (std::size_t i = 0; i < into.children.size(); ++i) copyData(*into.children[i], *from.children[i]);
}

}  // namespace

GroupTreeModel::GroupTreeModel(AppState& state, QObject* parent) : QAbstractItemModel(parent), state_(state) {
    connect(&state_, &AppState::databaseChanged, this, &GroupTreeModel::refresh);
    connect(&state_, &AppState::selectedGroupIDChanged, this,
            [this] { announceData(QModelIndex(), {SelectedRole}); });
    refresh();
}

GroupTreeModel::~GroupTreeModel() = default;

void GroupTreeModel::refresh() {
    std::unique_ptr<Node> fresh;
    if (state_.database()) fresh = build(state_.database()->root, nullptr, 0, 0);
    if (top_ && fresh && sameShape(*top_, *fresh)) {
        copyData(*top_, *fresh);
        announceData(QModelIndex(), {});
    } else {
        beginResetModel();
        top_ = std::move(fresh);
        endResetModel();
    }
    emit expansionChanged();
}

// dataChanged for every row below `parent`, one range per parent.
void GroupTreeModel::announceData(const QModelIndex& parent, const QList<int>& roles) {
    const int rows = rowCount(parent);
    if (rows == 0) return;
    emit dataChanged(index(0, 0, parent), index(rows - 1, 0, parent), roles);
    for (int row = 0; row < rows; ++row) announceData(index(row, 0, parent), roles);
}

const GroupTreeModel::Node* GroupTreeModel::node(const QModelIndex& index) const {
    if (!index.isValid()) return nullptr;
    return static_cast<const Node*>(index.internalPointer());
}

QModelIndex GroupTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    if (!parent.isValid()) return (top_ && row == 0) ? createIndex(0, 0, top_.get()) : QModelIndex();
    const Node* p = node(parent);
    if (static_cast<std::size_t>(row) >= p->children.size()) return {};
    return createIndex(row, 0, p->children[static_cast<std::size_t>(row)].get());
}

QModelIndex GroupTreeModel::parent(const QModelIndex& child) const {
    const Node* n = node(child);
    if (!n || !n->parent) return {};
    return createIndex(n->parent->row, 0, n->parent);
}

int GroupTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return top_ ? 1 : 0;
    if (parent.column() != 0) return 0;
    return static_cast<int>(node(parent)->children.size());
}

int GroupTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant GroupTreeModel::data(const QModelIndex& index, int role) const {
    const Node* n = node(index);
    if (!n) return {};
    switch (role) {
        case Qt::DisplayRole:
            return n->name.isEmpty() ? QStringLiteral("Adsız grup") : n->name;
        case Qt::ToolTipRole:
            if (!n->notes.isEmpty()) return n->notes;
            if (!n->name.isEmpty()) return n->name;
            return {};
        case IdRole:
            return QString::fromStdString(n->id.uuidString());
        case NameRole:
            return n->name;
        case NotesRole:
            return n->notes;
        case IconIDRole:
            return QVariant::fromValue<qint64>(n->iconID);
        case DepthRole:
            return n->depth;
        case EntryCountRole:
            return QVariant::fromValue<qint64>(n->entryCount);
        case ExpandedRole:
            return n->expanded;
        case HasChildrenRole:
            return !n->children.empty();
        case IsRootRole:
            return n->parent == nullptr;
        case SelectedRole:
            return state_.selectedGroupID() == n->id;
        default:
            return {};
    }
}

Qt::ItemFlags GroupTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    // Groups take dropped entries but are not dragged themselves.
    return Qt::ItemIsEnabled | Qt::ItemIsDropEnabled;
}

QModelIndex GroupTreeModel::indexOf(const UUID& id) const {
    if (!top_) return {};
    std::function<const Node*(const Node&)> find = [&](const Node& n) -> const Node* {
        if (n.id == id) return &n;
        for (const auto& child : n.children)
            if (const Node* found = find(*child)) return found;
        return nullptr;
    };
    const Node* found = find(*top_);
    return found ? createIndex(found->row, 0, const_cast<Node*>(found)) : QModelIndex();
}

std::optional<UUID> GroupTreeModel::groupID(const QModelIndex& index) const {
    if (const Node* n = node(index)) return n->id;
    return std::nullopt;
}
