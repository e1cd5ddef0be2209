#pragma once

#include <QAbstractItemModel>

#include <memory>
#include <optional>
#include <vector>

#include "OmbrixCore/Kdbx/Models.h"

class AppState;

// The groups of the open database as a tree with the root group as its one top-level row. It is
// rebuilt from AppState on every change of the database; while the groups keep their places it
// only reports new data, so the view keeps its state. Selection is AppState's selected group.
class GroupTreeModel : public QAbstractItemModel {
    Q_OBJECT

  public:
    enum Role {
        IdRole = Qt::UserRole + 1,  // canonical upper-case UUID text
        NameRole,                   // the stored name, possibly empty
        NotesRole,
        IconIDRole,      // qint64
        DepthRole,       // 0 for the root group
        EntryCountRole,  // qint64: entries of the group and all its subgroups
        ExpandedRole,    // the group's stored expansion
        HasChildrenRole,
        IsRootRole,
        SelectedRole,  // AppState::selectedGroupID names this group
    };

    explicit GroupTreeModel(AppState& state, QObject* parent = nullptr);
    ~GroupTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Display: the name, or "Adsız grup" when it is empty. Tool tip: the notes when there are
    // any, else the name (none for an empty name).
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The row of a group, or an invalid index when the tree has no such group.
    QModelIndex indexOf(const UUID& id) const;
    std::optional<UUID> groupID(const QModelIndex& index) const;

    // One group of the tree (internal to the model).
    struct Node;

  signals:
    // After every rebuild: the stored expansion may differ from what a view shows.
    void expansionChanged();

  private:
    void refresh();
    void announceData(const QModelIndex& parent, const QList<int>& roles);
    const Node* node(const QModelIndex& index) const;

    AppState& state_;
    std::unique_ptr<Node> top_;
};
