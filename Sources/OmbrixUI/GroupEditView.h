#pragma once

#include <QString>

#include <optional>
#include <string>
#include <utility>

#include "OmbrixCore/Kdbx/Models.h"
#include "OmbrixUI/SheetMode.h"
#include "OmbrixUI/SheetScaffold.h"

class AppButton;
class AppState;
class AppSwitch;
class AppTextField;
class Card;
class IconPicker;
class NotesEditor;
class QLabel;

// The sheet that creates a group under a parent or changes a group's name, notes, icon and
// default auto-type sequence, and from which a group other than the root is deleted.
//
// Opening and closing. The shell builds it for the routes newGroup (Mode::create with the
// route's parent) and editGroup (Mode::edit with the group as it is in the database), over the
// main window, and shows it with open() (window-modal; the event loop runs on). The form is
// filled once, in the constructor. "Vazgeç" and Escape set AppState's route to none and close
// the sheet with done(Rejected). The confirm button and Return commit through
// AppState::addGroup or AppState::update, "Grubu sil" through AppState::deleteGroup; each then
// sets the route to none and closes the sheet with done(Accepted). The sheet never deletes
// itself: the shell owns it and deletes it with deleteLater() once finished() arrives, or
// closes it itself when the route moves elsewhere (locking clears the route).
//
// A new group whose parent has disappeared meanwhile is not lost: the sheet stays open and
// shows AppState's error above the form.
class GroupEditView : public SheetScaffold {
    Q_OBJECT

  public:
    // A new group under the group with `parentID`, or changes to a copy of a stored one.
    struct ModeCreate {
        UUID parentID;
    };
    struct ModeEdit {
        KdbxGroup group;
    };
    using Mode = SheetMode<ModeCreate, ModeEdit, KdbxGroup>;

    static constexpr int minimumWidth = 380;
    static constexpr int minimumHeight = 320;
    static constexpr int idealWidth = 520;
    static constexpr int idealHeight = 540;
    // The icon of a new group: the folder, which the picker does not offer but shows.
    static constexpr std::int64_t newGroupIcon = 48;

    GroupEditView(AppState& state, Mode mode, QWidget* parent = nullptr);
    ~GroupEditView() override;

    const Mode& mode() const { return mode_; }

    // The parts of the form, for the application's own tests and screenshots.
    IconPicker* iconPicker() const { return iconPicker_; }
    AppTextField* nameField() const { return name_; }
    NotesEditor* notesEditor() const { return notes_; }
    AppSwitch* sequenceSwitch() const { return useSequence_; }
    QWidget* sequenceBlock() const { return sequenceBlock_; }
    AppTextField* sequenceField() const { return sequence_; }
    // The delete zone; null when the sheet creates a group or edits the root.
    Card* deleteZone() const { return deleteZone_; }
    AppButton* deleteButton() const { return delete_; }
    QLabel* deleteNote() const { return deleteNote_; }

  private:
    QWidget* nameCard();
    QWidget* autoTypeCard();
    QWidget* makeDeleteZone(const KdbxGroup& group);
    void load();
    void validate();
    void cancel();
    void commit();
    void deleteGroup();
    void finish(int result);
    // A change the state did not take because a save runs: the sheet stays open and says why.
    bool keptWhileSaving();
    std::optional<std::string> sequence() const;

    AppState& state_;
    const Mode mode_;

    IconPicker* iconPicker_ = nullptr;
    AppTextField* name_ = nullptr;
    NotesEditor* notes_ = nullptr;
    AppSwitch* useSequence_ = nullptr;
    QWidget* sequenceBlock_ = nullptr;
    AppTextField* sequence_ = nullptr;
    Card* deleteZone_ = nullptr;
    AppButton* delete_ = nullptr;
    QLabel* deleteNote_ = nullptr;
};
