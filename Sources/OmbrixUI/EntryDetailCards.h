#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "OmbrixCore/Kdbx/Models.h"
#include "OmbrixTheme/Card.h"

class AppButton;
class AppState;
class Badge;
class ClipboardService;
class ElidedLabel;
class FieldRow;
class IconButton;
class MetaStat;
class Preferences;
class SectionHeader;
class SelectableText;

// The lower sections of an entry's detail page. Each is built once and then follows the entry
// it is given with setEntry(): widgets are changed in place, and lists are rebuilt only when
// their data changed, so that a button being pressed, a selection or the scroll position
// survive the republishing that a copy or open action causes. None of them changes data
// except through AppState or the clipboard service.

// The web address with copy and open buttons, and the tags. Present only when the entry has an
// address or tags; each half only when it has content.
class LocationCard : public Card {
    Q_OBJECT

  public:
    explicit LocationCard(AppState& state, QWidget* parent = nullptr);

    void setEntry(const KdbxEntry& entry);
    // Whether the entry has anything for this card.
    static bool isShown(const KdbxEntry& entry);

    FieldRow* addressRow() const { return address_; }
    AppButton* copyButton() const { return copy_; }
    AppButton* openButton() const { return open_; }
    QWidget* tagsBlock() const { return tagsBlock_; }
    // The tags' badges in order.
    QList<Badge*> tagBadges() const;

  private:
    AppState& state_;
    KdbxEntry entry_;
    FieldRow* address_;
    AppButton* copy_;
    AppButton* open_;
    QWidget* tagsBlock_;
    QWidget* tagFlow_;
    std::vector<std::string> tags_;
};

// One row per custom field, by name. A protected field stays masked until its eye button is
// pressed; copying always takes the real value, as a secret for a protected field.
class CustomFieldsCard : public Card {
    Q_OBJECT

  public:
    // The bullets standing for a hidden protected value: as many as it has characters (as the
    // user counts them), but at least 6 and at most 24, so the mask hardly tells the length.
    static QString mask(const QString& value);
    // Names in ascending order of their Unicode scalar values after canonical composition:
    // case-sensitive and not locale-aware ("Zeta" before "alpha", "PIN" before "pin").
    static std::vector<std::string> orderedNames(const std::map<std::string, KdbxFieldValue>& fields);

    explicit CustomFieldsCard(ClipboardService& clipboard, QWidget* parent = nullptr);

    // `revealed` names the protected fields shown in clear.
    void setEntry(const KdbxEntry& entry, const std::set<std::string>& revealed);
    static bool isShown(const KdbxEntry& entry) { return !entry.customFields.empty(); }

    struct Row {
        std::string name;
        FieldRow* field;
        IconButton* reveal;  // null for a field that is not protected
        AppButton* copy;
    };
    const std::vector<Row>& rows() const { return rows_; }

  signals:
    // The eye button of a protected field was pressed.
    void revealToggled(const std::string& name);

  private:
    void rebuildRows();
    void syncValues();

    ClipboardService& clipboard_;
    KdbxEntry entry_;
    std::set<std::string> revealed_;
    std::map<std::string, KdbxFieldValue> shownFields_;
    std::set<std::string> shownProtected_;
    std::vector<Row> rows_;
};

// The auto-type sequence (the entry's own, else the default of the preferences) with a badge
// saying which, and the window associations.
class AutoTypeCard : public Card {
    Q_OBJECT

  public:
    // The sequence shown: the entry's own (also an empty one), else the preference's. Group
    // defaults are not consulted here.
    static QString shownSequence(const KdbxEntry& entry, const QString& preferredDefault);

    // Follows the preference's default sequence as it changes.
    explicit AutoTypeCard(Preferences& preferences, QWidget* parent = nullptr);

    void setEntry(const KdbxEntry& entry);

    Badge* kindBadge() const { return badge_; }
    SelectableText* sequenceText() const { return sequence_; }
    QWidget* associationsBlock() const { return associations_; }
    // Per association its lines as shown: the window text, then "→ " and its sequence if any.
    std::vector<QStringList> associationLines() const;

  private:
    void sync();
    void rebuildAssociations();

    Preferences& preferences_;
    KdbxEntry entry_;
    Badge* badge_;
    SelectableText* sequence_;
    QWidget* associations_;
    QWidget* associationList_;
    std::vector<AutoTypeAssociation> shownAssociations_;
};

class NotesCard : public Card {
    Q_OBJECT

  public:
    explicit NotesCard(QWidget* parent = nullptr);

    void setEntry(const KdbxEntry& entry);
    // Notes of only spaces count as notes.
    static bool isShown(const KdbxEntry& entry) { return !entry.notes.empty(); }

  private:
    SelectableText* notes_;
};

// Creation, modification, access and (when the entry expires and has a time) expiry, each as
// a caption over the formatted time. Not a card.
class TimestampsRow : public QWidget {
    Q_OBJECT

  public:
    explicit TimestampsRow(QWidget* parent = nullptr);

    void setEntry(const KdbxEntry& entry);

    // The items shown, in order.
    QList<MetaStat*> items() const;

  private:
    MetaStat* created_;
    MetaStat* modified_;
    MetaStat* accessed_;
    MetaStat* expiry_;
};

// One older version: its title (11 px, Palette::textSoft) and, at the trailing edge, its
// modification time (10 px, Palette::textMuted) on one shared baseline, each on one line. When
// the row is narrow the date is cut first; the title only once the date is gone.
class HistoryRow : public QWidget {
    Q_OBJECT

  public:
    HistoryRow(const QString& title, const QString& date, QWidget* parent = nullptr);

    QString title() const { return title_; }
    QString date() const { return date_; }

    // The two texts as drawn at the current width ("…" where cut).
    QString displayedTitle() const;
    QString displayedDate() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Placement {
        int titleWidth;
        int dateWidth;
    };
    Placement placement() const;

    QString title_;
    QString date_;
};

// The newest older versions of the entry, newest first; they can only be looked at.
class HistoryCard : public Card {
    Q_OBJECT

  public:
    static constexpr std::size_t maximumRows = 6;

    // The positions in `historyItems` (oldest first) of the rows shown: the newest six,
    // newest first.
    static std::vector<std::size_t> shownVersions(std::size_t count);

    explicit HistoryCard(QWidget* parent = nullptr);

    void setEntry(const KdbxEntry& entry);
    static bool isShown(const KdbxEntry& entry) { return !entry.historyItems.empty(); }

    SectionHeader* header() const { return header_; }
    QList<HistoryRow*> historyRows() const;

  private:
    SectionHeader* header_;
    QWidget* list_;
    std::vector<std::pair<std::string, Timestamp>> shown_;
};
