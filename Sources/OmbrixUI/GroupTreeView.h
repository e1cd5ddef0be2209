#pragma once

#include <QWidget>

class AppState;
class ElidedLabel;
class GroupOutlineView;
class GroupTreeModel;
class IconButton;

// The sidebar column of the main window: a header with the application mark, the database's
// name and file name and a button for a new group, then the groups as an indented, expandable
// tree on the opaque sidebar surface.
class GroupTreeView : public QWidget {
    Q_OBJECT

  public:
    explicit GroupTreeView(AppState& state, QWidget* parent = nullptr);

    GroupTreeModel& model() const { return *model_; }
    GroupOutlineView* tree() const { return tree_; }
    ElidedLabel* nameLabel() const { return name_; }
    ElidedLabel* fileLabel() const { return file_; }
    IconButton* newGroupButton() const { return newGroup_; }

  private:
    void refreshHeader();

    AppState& state_;
    GroupTreeModel* model_;
    ElidedLabel* name_;
    ElidedLabel* file_;
    IconButton* newGroup_;
    GroupOutlineView* tree_;
};
