#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>

class AppButton;
class AppSlider;
class AppTextField;
class AutoTypeService;
class ElidedLabel;
class HotKeyRecorder;
class HotKeyService;
class Preferences;
class QLabel;
class QTimer;
class SymbolView;

// The settings window: three cards in a scrolling column.
//  - "Pano": the clipboard time-out (slider 5...120 s, presets 10, 12, 30, 60 s).
//  - "Otomatik yazma": the default auto-type sequence (written through on every edit, with
//    "Varsayılana dön") and whether auto-type can work in this session: it can on an X11
//    display with the XTEST extension and cannot under Wayland, where there is nothing to grant,
//    so the row only says so. It is checked when the window shows and every 1.5 s while it shows.
//  - "Genel kısayol": the global hot key, recorded by pressing it, with "Varsayılana dön", and,
//    once the window follows the hot-key service, what stands in its way when another program
//    holds the combination (in the box and in a line under it).
// There is no apply step: every control writes straight into the preferences, and the window
// follows changes made to them elsewhere. The hot key is written as one pair
// (Preferences::setHotKey), so registering it again on Preferences::hotKeyChanged always sees a
// whole combination; the window never talks to the hot-key service itself.
//
// It is a top-level window, not a sheet. The application has one: presentShared() makes it on
// first use and brings it to the front on every call. Closing it (also with Escape) only hides
// it.
class SettingsView : public QWidget {
    Q_OBJECT

  public:
    // Whether auto-type can synthesise key presses now.
    using Availability = std::function<bool()>;

    static constexpr int timeoutPresets[] = {10, 12, 30, 60};
    static constexpr int minimumTimeout = 5;
    static constexpr int maximumTimeout = 120;
    static constexpr int availabilityPollMs = 1500;
    // The default size, grown in height to what the cards need.
    static constexpr int idealWidth = 520;
    static constexpr int idealHeight = 620;

    // Auto-type availability from AutoTypeService::hasAccessibilityPermission.
    SettingsView(Preferences& preferences, AutoTypeService& autoType, QWidget* parent = nullptr);
    SettingsView(Preferences& preferences, Availability autoTypeAvailable, QWidget* parent = nullptr);

    // The application's one settings window over these objects, made on the first call (the
    // arguments of later calls are not looked at) and presented on every call. It lives until
    // the application quits.
    static SettingsView& presentShared(Preferences& preferences, AutoTypeService& autoType);

    // Shows the window, or brings it to the front and activates it when it already shows.
    void present();

    bool isAutoTypeAvailable() const { return available_; }
    // Asks again now; the window does so itself while it shows.
    void refreshAvailability();

    // From now on the hot-key card shows whether the desktop granted the combination registered
    // with this service. The window still never registers anything itself.
    void followHotKey(HotKeyService& hotKeys);

    ElidedLabel* timeoutLabel() const { return timeoutLabel_; }
    AppSlider* timeoutSlider() const { return timeoutSlider_; }
    const QList<AppButton*>& timeoutPresetButtons() const { return timeoutPresets_; }
    AppTextField* sequenceField() const { return sequence_; }
    AppButton* resetSequenceButton() const { return resetSequence_; }
    SymbolView* availabilitySymbol() const { return availabilitySymbol_; }
    QLabel* availabilityTitle() const { return availabilityTitle_; }
    QLabel* availabilityDetail() const { return availabilityDetail_; }
    HotKeyRecorder* hotKeyRecorder() const { return recorder_; }
    QLabel* hotKeyStatusLabel() const { return hotKeyStatus_; }
    AppButton* resetHotKeyButton() const { return resetHotKey_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    QWidget* clipboardCard();
    QWidget* autoTypeCard();
    QWidget* hotKeyCard();
    void refreshTimeout();
    void refreshSequence();
    void refreshHotKey();
    void showHotKeyStatus();
    void showAvailability();
    // The height the cards need at `width`.
    int neededHeight(int width) const;
    // Grows the window, as far as the screen allows, when the cards say more than it shows (a
    // line about the hot key that another program holds): the window fits its content rather
    // than scrolling it.
    void fitContent();

    Preferences& preferences_;
    Availability autoTypeAvailable_;
    bool available_ = false;
    bool syncing_ = false;
    QTimer* poll_;
    QWidget* body_ = nullptr;

    ElidedLabel* timeoutLabel_ = nullptr;
    AppSlider* timeoutSlider_ = nullptr;
    QList<AppButton*> timeoutPresets_;
    AppTextField* sequence_ = nullptr;
    AppButton* resetSequence_ = nullptr;
    SymbolView* availabilitySymbol_ = nullptr;
    QLabel* availabilityTitle_ = nullptr;
    QLabel* availabilityDetail_ = nullptr;
    HotKeyRecorder* recorder_ = nullptr;
    QLabel* hotKeyStatus_ = nullptr;
    QPointer<HotKeyService> hotKeys_;
    AppButton* resetHotKey_ = nullptr;
};
