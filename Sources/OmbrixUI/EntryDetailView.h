#pragma once

#include <QScrollArea>
#include <QString>

#include <optional>
#include <set>
#include <string>

#include "OmbrixCore/Kdbx/Models.h"

class AppButton;
class AppState;
class AutoTypeCard;
class Badge;
class Card;
class ClipboardService;
class CopyButton;
class CustomFieldsCard;
class ElidedLabel;
class FieldRow;
class HistoryCard;
class IconButton;
class IconTile;
class LocationCard;
class NotesCard;
class Preferences;
class SelectableText;
class StrengthMeter;
class TimestampsRow;

// The read-only page of one entry: header (icon, title, group, edit button, warning badges),
// the action bar (copy user name, copy password, auto-type), the credentials card and the
// lower cards, in a vertical scroll view at most 720 wide at the leading edge.
//
// Everything it does goes through AppState (copying, opening, auto-typing, opening the editor)
// or, for custom fields, the clipboard service. Its own state is only which secrets are shown
// in clear; that state is dropped whenever the page is given an entry with another id, so a
// newly shown entry starts with every secret hidden.
class EntryDetailView : public QScrollArea {
    Q_OBJECT

  public:
    static constexpr int maximumContentWidth = 720;

    // The bullets standing for the hidden password: as many as it has characters (as the user
    // counts them), but at least 8 and at most 32, so the mask hardly tells the length.
    static QString passwordMask(const QString& password);
    // The name of the group holding the entry (only that group, not a path), or "Kayıt" when no
    // database is open or no group holds it.
    static QString groupName(const std::optional<KdbxDatabase>& database, const UUID& entryID);

    EntryDetailView(AppState& state, ClipboardService& clipboard, Preferences& preferences,
                    const KdbxEntry& entry, QWidget* parent = nullptr);

    const KdbxEntry& entry() const { return entry_; }
    // Shows another entry, or a new copy of this one. Another id hides every secret again.
    void setEntry(const KdbxEntry& entry);

    bool isPasswordRevealed() const { return revealPassword_; }
    void setPasswordRevealed(bool revealed);
    const std::set<std::string>& revealedCustomFields() const { return revealedCustomFields_; }
    void toggleCustomFieldReveal(const std::string& name);

    // The password box's text as shown: the mask while hidden, the password while revealed.
    QString displayedPassword() const;

    // The parts of the page, for the window's own tests and screenshots.
    SelectableText* titleText() const { return title_; }
    ElidedLabel* groupLabel() const { return group_; }
    IconButton* editButton() const { return edit_; }
    QWidget* badgeRow() const { return badgeRow_; }
    Badge* expiredBadge() const { return expiredBadge_; }
    Badge* autoTypeOffBadge() const { return autoTypeOffBadge_; }
    CopyButton* copyUsernameButton() const { return copyUsername_; }
    CopyButton* copyPasswordButton() const { return copyPassword_; }
    AppButton* autoTypeButton() const { return autoType_; }
    FieldRow* usernameRow() const { return usernameRow_; }
    AppButton* usernameCopyButton() const { return usernameCopy_; }
    IconButton* passwordRevealButton() const { return reveal_; }
    AppButton* passwordCopyButton() const { return passwordCopy_; }
    StrengthMeter* strengthMeter() const { return strength_; }
    LocationCard* locationCard() const { return location_; }
    CustomFieldsCard* customFieldsCard() const { return customFields_; }
    AutoTypeCard* autoTypeCard() const { return autoTypeCard_; }
    NotesCard* notesCard() const { return notes_; }
    TimestampsRow* timestamps() const { return timestamps_; }
    HistoryCard* historyCard() const { return history_; }
    // The column of sections inside the scroll view.
    QWidget* contentColumn() const { return column_; }

  private:
    QWidget* buildHeader();
    QWidget* buildActionBar(ClipboardService& clipboard);
    Card* buildCredentials();
    void sync();
    void syncPassword();

    AppState& state_;
    KdbxEntry entry_;
    bool revealPassword_ = false;
    std::set<std::string> revealedCustomFields_;

    QWidget* column_;
    IconTile* icon_ = nullptr;
    SelectableText* title_ = nullptr;
    ElidedLabel* group_ = nullptr;
    IconButton* edit_ = nullptr;
    QWidget* badgeRow_ = nullptr;
    Badge* expiredBadge_ = nullptr;
    Badge* autoTypeOffBadge_ = nullptr;
    CopyButton* copyUsername_ = nullptr;
    CopyButton* copyPassword_ = nullptr;
    AppButton* autoType_ = nullptr;
    FieldRow* usernameRow_ = nullptr;
    AppButton* usernameCopy_ = nullptr;
    IconButton* reveal_ = nullptr;
    AppButton* passwordCopy_ = nullptr;
    ElidedLabel* maskedPassword_ = nullptr;
    SelectableText* clearPassword_ = nullptr;
    StrengthMeter* strength_ = nullptr;
    LocationCard* location_ = nullptr;
    CustomFieldsCard* customFields_ = nullptr;
    AutoTypeCard* autoTypeCard_ = nullptr;
    NotesCard* notes_ = nullptr;
    TimestampsRow* timestamps_ = nullptr;
    HistoryCard* history_ = nullptr;
};
