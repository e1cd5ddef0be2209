#pragma once

#include <optional>

#include <QGraphicsEffect>
#include <QString>
#include <QWidget>

#include "OmbrixState/FileStore.h"
#include "OmbrixState/LockScreenMetrics.h"

class AppButton;
class AppState;
class Badge;
class ElidedLabel;
class ErrorBanner;
class FilePanels;
class FormField;
class IconButton;
class QLabel;
class QPropertyAnimation;
class QScrollArea;
class QStackedLayout;
class SecretField;
class StrengthMeter;

// Swings the widget it is set on sideways: 6 sin(4π v) pixels for the value v, so moving v from
// one whole number to the next swings twice to each side and comes back to rest.
class ShakeEffect : public QGraphicsEffect {
    Q_OBJECT
    Q_PROPERTY(qreal animatableData READ animatableData WRITE setAnimatableData)

  public:
    static constexpr qreal amplitude = 6;
    static constexpr int durationMs = 350;

    // The horizontal offset for a value.
    static qreal offset(qreal animatableData);

    explicit ShakeEffect(QObject* parent = nullptr);

    qreal animatableData() const { return value_; }
    void setAnimatableData(qreal value);

    // Moves the value to `target` over durationMs, ease-in-out; at once while motion is off.
    void animateTo(qreal target);

  protected:
    QRectF boundingRectFor(const QRectF& rect) const override;
    void draw(QPainter* painter) override;

  private:
    qreal value_ = 0;
    QPropertyAnimation* animation_;
};

// The lock screen: one card that opens or creates a database file and unlocks it. Its mode
// follows the chosen file (AppState::databaseURL):
// - none chosen: it offers to open an existing file or to create a new one;
// - a non-empty file (unlock): master password and optional key file;
// - no file, or an empty one (create): the new master password twice and an optional key file.
//
// Everything it does to the database goes through AppState and FilePanels. A failure arrives
// as AppState::lastError: the banner shows it with a swing, the master password is emptied and
// takes the focus. The card's height, margins included, is reported to the metrics so that the
// locked window fits it.
//
// Tab walks the card as it is drawn. Without a file the view itself holds the keyboard, so the
// first Tab goes to the first button, "Veritabanı aç…".
class UnlockView : public QWidget {
    Q_OBJECT

  public:
    enum class Mode { choose, unlock, create };

    UnlockView(AppState& state, FilePanels& panels, LockScreenMetrics& metrics = LockScreenMetrics::shared(),
               QWidget* parent = nullptr);
    ~UnlockView() override;

    Mode mode() const;
    bool hasDatabase() const;
    // Creating is offered only where it loses nothing: no file at the location, or an empty one.
    bool shouldOfferCreation() const;
    // A file is chosen, nothing runs, and: creating, a password equal to its confirmation
    // (compared as typed); unlocking, always (the empty password included).
    bool canSubmit() const;
    bool isBusy() const { return busy_; }
    const std::optional<QString>& keyFile() const { return keyFile_; }
    // Raised by one for each new error; the banner's swing runs to it.
    int shakeCount() const { return shake_; }

    // Unlocks or creates with what is typed. While the key derivation runs on its own thread the
    // card says so, with "Vazgeç" to stop it, and the pointer shows the program is busy; the
    // window keeps answering. Does nothing while canSubmit() is false.
    void submit();
    // Stops the unlock or creation under way; the typed password stays.
    void cancel();

    // The actions of the buttons.
    void chooseDatabase();
    void newDatabase();
    void chooseKeyFile();
    void removeKeyFile();

    // Parts, for the window that holds the view and for tests.
    SecretField* passwordField() const { return password_; }
    SecretField* confirmField() const { return confirm_; }
    AppButton* submitButton() const { return submit_; }
    ErrorBanner* errorBanner() const { return banner_; }
    // The line that shows in the actions' place while a key derivation runs, and its "Vazgeç"
    // button.
    QWidget* workingRow() const { return workingRow_; }
    ElidedLabel* workingText() const { return workingText_; }
    AppButton* cancelButton() const { return cancel_; }
    QWidget* card() const { return paddedCard_; }
    // The height the card (with its margin) needs at `width`, as it will be laid out there; known
    // before the view is shown.
    int cardHeightFor(int width) const;

  protected:
    void showEvent(QShowEvent* event) override;
    // Tab follows the card as drawn.
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Submission {
        bool creating;
        QString url;
        QString password;
        std::optional<QString> keyFile;
    };

    QWidget* buildHeader();
    QWidget* buildDatabaseBlock();
    QWidget* buildChooserBlock();
    QWidget* buildFooter();

    void run(const Submission& submission);
    void createWith(const Submission& submission);
    // The state's work ended (or never started): the view comes back to rest.
    void workEnded();
    void setBusy(bool busy);
    void setCreating(bool creating);
    void databaseChanged();
    void errorChanged();
    // Empties the master password (and the confirmation too), wiping what they held first.
    void forgetTyped(bool confirmationToo);
    void focusPassword();
    void refresh();

    AppState& state_;
    FilePanels& panels_;
    LocalFileStore files_;

    // What the user has typed and chosen.
    std::optional<QString> keyFile_;
    bool isCreating_ = false;
    bool busy_ = false;
    int shake_ = 0;

    QScrollArea* scroll_;
    QWidget* paddedCard_;
    QLabel* tagline_;
    QWidget* databaseBlock_;
    QWidget* chooserBlock_;
    ElidedLabel* fileName_;
    ElidedLabel* folder_;
    SecretField* password_;
    FormField* confirmField_;
    SecretField* confirm_;
    StrengthMeter* strength_;
    QLabel* mismatch_;
    FormField* keyFileField_;
    QWidget* keyChooser_;
    QWidget* keyChosen_;
    Badge* keyBadge_;
    QWidget* bannerHost_;
    ErrorBanner* banner_;
    ShakeEffect* shakeEffect_;
    AppButton* submit_;
    QStackedLayout* actionSlot_;
    QWidget* workingRow_;
    ElidedLabel* workingText_;
    AppButton* cancel_;
    // Whether the running work is a creation.
    bool creatingNow_ = false;
};
