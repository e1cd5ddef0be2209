#pragma once

#include <QAbstractListModel>

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "OmbrixCore/Kdbx/Models.h"

class AppState;

// The rows of the entry list: the entries AppState lists (the selected group's own entries, or
// every match while searching) in the sort order. It keeps a copy of the database, which
// shares the entries' storage with the state's, so that the rows are pointers and a change
// costs no copy of the listed entries. When a change leaves the same entries in the same
// order, the rows only report new data; otherwise the model resets.
class EntryListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    enum Role {
        IdRole = Qt::UserRole + 1,  // the canonical upper-case UUID text
        TitleRole,                  // the title, or "Adsız kayıt" when it is empty
        HasTitleRole,               // the stored title is not empty
        SubtitleRole,               // user name and address host, or "—"
        ModifiedRole,               // QDateTime of the last change
        IconIDRole,                 // qint64
        ExpiredRole,                // the entry expires and its time has passed
        CanCopyUsernameRole,        // the user name is not empty
        AutoTypeEnabledRole,
        SelectedRole,  // AppState::selectedEntryIDs holds the entry
    };

    explicit EntryListModel(AppState& state, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Drag source: the ids of the dragged rows in list order, one per line.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    // The entry of a row; valid until the model next changes.
    const KdbxEntry& entry(int row) const;
    std::optional<int> rowOf(const UUID& id) const;

    // The row's texts.
    static QString title(const KdbxEntry& entry);
    // The user name and the address's host, "  ·  " between them; "—" with neither.
    static QString subtitle(const KdbxEntry& entry);
    // The host of the address, or the address unchanged when it has none (no scheme).
    static QString displayURL(const std::string& url);

  signals:
    // After every recomputation of the rows, whether or not they changed.
    void refreshed();

  private:
    void refresh();
    void selectionChanged();

    AppState& state_;
    std::optional<KdbxDatabase> database_;
    std::vector<const KdbxEntry*> rows_;
    std::unordered_map<UUID, int> rowOf_;
};
