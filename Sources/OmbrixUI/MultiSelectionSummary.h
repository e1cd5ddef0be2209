#pragma once

#include <QWidget>

class AppButton;
class AppState;
class EmptyStateView;

// What the detail column shows while several entries are selected: how many, and buttons that
// duplicate or delete them all at once (deleting asks nothing; undo brings them back). The
// buttons act on the selection as it is when pressed.
class MultiSelectionSummary : public QWidget {
    Q_OBJECT

  public:
    // "3 kayıt seçildi", "1.234 kayıt seçildi": the count grouped in thousands.
    static QString title(qsizetype count);

    MultiSelectionSummary(AppState& state, qsizetype count, QWidget* parent = nullptr);

    qsizetype count() const { return count_; }
    void setCount(qsizetype count);

    EmptyStateView* notice() const { return notice_; }
    AppButton* duplicateButton() const { return duplicate_; }
    AppButton* deleteButton() const { return delete_; }

  private:
    AppState& state_;
    qsizetype count_;
    EmptyStateView* notice_;
    AppButton* duplicate_;
    AppButton* delete_;
};
