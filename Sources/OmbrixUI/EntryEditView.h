#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "OmbrixCore/Kdbx/Models.h"
#include "OmbrixUI/SheetMode.h"
#include "OmbrixUI/SheetScaffold.h"

class AppButton;
class AppState;
class AppSwitch;
class AppTextField;
class IconButton;
class IconPicker;
class NotesEditor;
class Preferences;
class QDateTimeEdit;
class QLabel;
class SecretField;
class StrengthMeter;

// The sheet that creates an entry in a group or changes an existing one: title, user name,
// password (with a quick generate button and a way to the generator), address, tags, expiry,
// icon, auto-type, custom fields and notes, in five cards inside a SheetScaffold.
//
// Opening and closing. The shell builds it for the routes newEntry (Mode::create with the
// route's group) and editEntry (Mode::edit with the entry as it is in the database), over the
// main window, and shows it with open() (window-modal; the event loop runs on). The form is
// filled once, in the constructor. "Vazgeç" and Escape set AppState's route to none and close
// the sheet with done(Rejected). The confirm button and Return commit through
// AppState::addEntry or AppState::update, set the route to none and close it with
// done(Accepted). The sheet never deletes itself: the shell owns it and deletes it with
// deleteLater() once finished() arrives, or closes it itself when the route moves elsewhere
// (locking clears the route).
//
// A new entry whose group has disappeared meanwhile is not lost: the sheet stays open and
// shows AppState's error above the form. A custom field named like a standard field or like
// another custom field keeps the confirm button disabled and says why under its row.
//
// The generator. "Üreteci aç…" does not leave the editor: it asks the generator factory for a
// dialog over the editor and opens it with open(). The dialog hands its chosen password to the
// `deliver` callback it was given, which puts it into the password field (shown in clear), and
// closes itself (done()); the editor stays as it was, and deletes the dialog once it has
// finished. Closing the editor closes a generator still open over it. The dialog must not change
// AppState's route, as that would close the editor. Without a factory (the default) the button
// does nothing.
class EntryEditView : public SheetScaffold {
    Q_OBJECT

  public:
    // A new entry under the group with `groupID`, or changes to a copy of a stored one.
    struct ModeCreate {
        UUID groupID;
    };
    struct ModeEdit {
        KdbxEntry entry;
    };
    using Mode = SheetMode<ModeCreate, ModeEdit, KdbxEntry>;

    // Receives the password chosen in the generator.
    using PasswordSink = std::function<void(const QString& password)>;
    // Makes the generator dialog, a child of `editor`, that hands its result to `deliver`; the
    // editor opens it. Returning null opens nothing.
    using GeneratorFactory = std::function<QDialog*(QWidget* editor, PasswordSink deliver)>;

    // The field names of the format's standard fields; a custom field may not take one.
    static const QStringList& standardFieldNames();
    // The pieces of a tag text, split at commas and semicolons, each trimmed of spaces and
    // tabs; empty pieces are dropped, order and repeats stay as typed.
    static std::vector<std::string> splitTags(const QString& text);

    // One custom field of the form: name, a lock that marks the value protected, a delete
    // button, the value (masked while protected) and, when the name cannot be used, why.
    class CustomFieldRow : public QWidget {
      public:
        CustomFieldRow(const QString& name, const QString& value, bool isProtected,
                       QWidget* parent = nullptr);

        QString name() const;
        QString value() const;
        bool isProtected() const { return protected_; }
        void setProtected(bool isProtected);

        AppTextField* nameField() const { return name_; }
        AppTextField* valueField() const { return value_; }
        IconButton* lockButton() const { return lock_; }
        IconButton* deleteButton() const { return delete_; }
        // Empty while the name is usable.
        QString problem() const;
        void setProblem(const QString& problem);
        QLabel* problemLabel() const { return problem_; }

      protected:
        void paintEvent(QPaintEvent* event) override;

      private:
        AppTextField* name_;
        AppTextField* value_;
        IconButton* lock_;
        IconButton* delete_;
        QLabel* problem_;
        bool protected_ = false;
    };

    static constexpr int minimumWidth = 380;
    static constexpr int minimumHeight = 320;
    static constexpr int idealWidth = 560;
    static constexpr int idealHeight = 640;
    // How far ahead a new expiry date is offered.
    static constexpr std::chrono::seconds expiryPreset{365 * 24 * 3600};

    // Reads the default auto-type sequence and the generator options from the shared
    // preferences.
    EntryEditView(AppState& state, Mode mode, QWidget* parent = nullptr);
    // `preferences` must outlive the sheet.
    EntryEditView(AppState& state, Preferences& preferences, Mode mode, QWidget* parent = nullptr);
    ~EntryEditView() override;

    const Mode& mode() const { return mode_; }

    void setGeneratorFactory(GeneratorFactory factory);
    // The generator dialog while it is open, else null.
    QDialog* generatorDialog() const {
        return generator_ && generator_->isVisible() ? generator_.data() : nullptr;
    }

    // Appends an empty, unprotected custom field (the "+" of the custom-field card).
    void addCustomField();
    QList<CustomFieldRow*> customFieldRows() const;

    // The parts of the form, for the application's own tests and screenshots.
    IconPicker* iconPicker() const { return iconPicker_; }
    AppTextField* titleField() const { return title_; }
    AppTextField* usernameField() const { return username_; }
    AppTextField* urlField() const { return url_; }
    AppTextField* tagsField() const { return tags_; }
    AppSwitch* expiresSwitch() const { return expires_; }
    QWidget* expiryPicker() const { return expiryPicker_; }
    QDateTimeEdit* expiryEdit() const { return expiryEdit_; }
    SecretField* passwordField() const { return password_; }
    StrengthMeter* strengthMeter() const { return strength_; }
    AppButton* generateButton() const { return generate_; }
    AppButton* openGeneratorButton() const { return openGenerator_; }
    AppSwitch* autoTypeSwitch() const { return autoType_; }
    AppSwitch* customSequenceSwitch() const { return useSequence_; }
    QWidget* sequenceBlock() const { return sequenceBlock_; }
    AppTextField* sequenceField() const { return sequence_; }
    QLabel* defaultSequenceLabel() const { return defaultSequence_; }
    IconButton* addFieldButton() const { return addField_; }
    QLabel* noFieldsLabel() const { return noFields_; }
    NotesEditor* notesEditor() const { return notes_; }

    void done(int result) override;

  private:
    QWidget* basicsCard();
    QWidget* passwordCard();
    QWidget* autoTypeCard();
    QWidget* customFieldsCard();
    QWidget* notesCard();
    void load();
    void appendRow(CustomFieldRow* row);
    void removeRow(CustomFieldRow* row);
    void generatePassword();
    void openGenerator();
    void acceptGenerated(const QString& password);
    void syncAutoType();
    void validate();
    void cancel();
    void commit();
    // A change the state did not take because a save runs: the sheet stays open and says why.
    bool keptWhileSaving();
    KdbxEntry builtEntry() const;

    AppState& state_;
    Preferences& preferences_;
    const Mode mode_;
    GeneratorFactory generatorFactory_;
    QPointer<QDialog> generator_;
    Timestamp expiryDate_;

    IconPicker* iconPicker_ = nullptr;
    AppTextField* title_ = nullptr;
    AppTextField* username_ = nullptr;
    AppTextField* url_ = nullptr;
    AppTextField* tags_ = nullptr;
    AppSwitch* expires_ = nullptr;
    QWidget* expiryPicker_ = nullptr;
    QDateTimeEdit* expiryEdit_ = nullptr;
    SecretField* password_ = nullptr;
    StrengthMeter* strength_ = nullptr;
    AppButton* generate_ = nullptr;
    AppButton* openGenerator_ = nullptr;
    AppSwitch* autoType_ = nullptr;
    AppSwitch* useSequence_ = nullptr;
    QWidget* sequenceBlock_ = nullptr;
    AppTextField* sequence_ = nullptr;
    QLabel* defaultSequence_ = nullptr;
    IconButton* addField_ = nullptr;
    QLabel* noFields_ = nullptr;
    QWidget* fieldList_ = nullptr;
    std::vector<CustomFieldRow*> rows_;
    NotesEditor* notes_ = nullptr;
};
