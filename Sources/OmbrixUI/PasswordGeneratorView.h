#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <optional>

#include "OmbrixServices/Services/PasswordGenerator.h"

class AppButton;
class AppSlider;
class AppState;
class AppSwitch;
class ClipboardService;
class CopyButton;
class ElidedLabel;
class ErrorBanner;
class IconButton;
class Preferences;
class QLabel;
class SelectableText;
class StrengthMeter;

// The password-generator sheet: a preview of a fresh password with its strength, the length
// (slider and presets 12, 16, 20, 32, 64), the four character classes and the exclusion of
// look-alike characters. The options are the "generatorOptions" preference: every change is
// stored at once and generates anew. Ctrl+R (bound to this sheet's window only) and
// "Yeniden üret" generate again without touching the options. The sheet never changes the
// database. Open it with open(): it is window-modal over its parent's window.
//
// Each showing loads the stored options, reveals the preview and generates a new password;
// hiding drops the password. When the random source fails the preview
// stays empty and the sheet shows the failure's text instead.
//
// It works in one of two modes, chosen by the constructor:
//  - Route mode, for AppState.route = generator(target): the root view builds it with the first
//    constructor. "Panoya kopyala" (Return) copies the password as a secret and closes;
//    "Kapat" (Escape, the window's close button) closes. Closing sets AppState.route to none
//    and then hides the sheet (finished() follows). The sheet also hides itself when the route
//    stops being a generator route while it shows (another sheet, locking).
//  - Use mode, for the entry editor, which stacks the sheet over itself with the second
//    constructor (parent = the editor). The confirm button reads "Parolayı kullan": it hands
//    the password to `onUse` and closes; "Kapat" closes without handing anything. The route is
//    never written; any change of it (the editor below goes away) closes the sheet.
// Either way the sheet only hides itself, emitting finished(); its owner deletes it, with
// deleteLater() when that happens in answer to the route's change or to finished().
class PasswordGeneratorView : public QDialog {
    Q_OBJECT

  public:
    using UseCallback = std::function<void(const QString& password)>;

    static constexpr int presets[] = {12, 16, 20, 32, 64};
    static constexpr int minimumSliderLength = 6;
    static constexpr int maximumSliderLength = 128;

    // Route mode.
    PasswordGeneratorView(AppState& state, Preferences& preferences, ClipboardService& clipboard,
                          QWidget* parent = nullptr);
    // Use mode: `onUse` receives the chosen password.
    PasswordGeneratorView(AppState& state, Preferences& preferences, ClipboardService& clipboard,
                          UseCallback onUse, QWidget* parent = nullptr);

    bool isUseMode() const { return static_cast<bool>(onUse_); }

    const PasswordGenerator::Options& options() const { return options_; }
    // Stores changed options in the preferences and generates anew; the same options do nothing.
    void setOptions(const PasswordGenerator::Options& options);
    void setLength(std::int64_t length);

    // At least one of the four classes is on (the look-alike switch does not count).
    bool anySetEnabled() const;

    QString generated() const { return generated_; }
    // The failure of the last generation, or none.
    std::optional<QString> generationError() const { return error_; }
    void regenerate();

    bool isRevealed() const { return revealed_; }
    void setRevealed(bool revealed);

    // Where random bytes come from; the system's generator unless replaced (tests).
    void setRandomSource(PasswordGenerator::RandomSource random);

    // "Kapat" / Escape; "Panoya kopyala" or "Parolayı kullan" / Return (only while enabled).
    void closeSheet();
    void confirm();
    void reject() override;

    SelectableText* previewText() const { return preview_; }
    IconButton* revealButton() const { return reveal_; }
    StrengthMeter* strengthMeter() const { return meter_; }
    AppButton* regenerateButton() const { return regenerate_; }
    CopyButton* copyButton() const { return copy_; }
    ErrorBanner* errorBanner() const { return errorBanner_; }
    ElidedLabel* lengthLabel() const { return lengthLabel_; }
    AppSlider* lengthSlider() const { return slider_; }
    const QList<AppButton*>& presetButtons() const { return presetButtons_; }
    // Upper, lower, digits, symbols.
    const std::array<AppSwitch*, 4>& classSwitches() const { return classSwitches_; }
    AppSwitch* ambiguousSwitch() const { return ambiguous_; }
    QLabel* classHint() const { return classHint_; }
    AppButton* closeButton() const { return close_; }
    AppButton* confirmButton() const { return confirm_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void build(AppState& state);
    QWidget* previewCard();
    QWidget* lengthCard();
    QWidget* characterCard();
    void load();
    void finish(int result);
    void hideIfShown();
    void refresh();
    void refreshPreview();

    AppState& state_;
    Preferences& preferences_;
    ClipboardService& clipboard_;
    UseCallback onUse_;
    PasswordGenerator::RandomSource random_;

    PasswordGenerator::Options options_;
    QString generated_;
    std::optional<QString> error_;
    bool revealed_ = true;
    bool syncing_ = false;
    int closeResult_ = QDialog::Rejected;

    SelectableText* preview_ = nullptr;
    IconButton* reveal_ = nullptr;
    StrengthMeter* meter_ = nullptr;
    AppButton* regenerate_ = nullptr;
    CopyButton* copy_ = nullptr;
    ErrorBanner* errorBanner_ = nullptr;
    ElidedLabel* lengthLabel_ = nullptr;
    AppSlider* slider_ = nullptr;
    QList<AppButton*> presetButtons_;
    std::array<AppSwitch*, 4> classSwitches_{};
    AppSwitch* ambiguous_ = nullptr;
    QLabel* classHint_ = nullptr;
    AppButton* close_ = nullptr;
    AppButton* confirm_ = nullptr;
};
