#pragma once

#include <QAbstractButton>
#include <QPointer>

#include <cstdint>

class ElidedLabel;
class KeyboardFocus;
class MotionValue;
class SymbolView;

// Shows the global hot key and records a new one. A click, or Space or Return while it has the
// keyboard (Tab reaches it and it then shows the focus ring), starts recording: from then on every
// key press of the application is captured (shortcuts and text fields included) until
//   - Escape, which ends recording and keeps the combination;
//   - a key with at least one of Ctrl, Alt, Shift and Super, which becomes the combination and
//     is emitted as hotKeyRecorded(); recording ends;
//   - another click on the box, which ends recording and keeps the combination.
// A key without a modifier is refused with "En az bir değiştirici tuş gerekli" under the box and
// recording goes on; the message stays until recording starts again. Modifier keys alone, and
// keys without a Carbon code, change nothing.
//
// The combination is a Carbon key code and modifier mask (see CarbonKeyTable and
// HotKeyFormatter), as the preferences store it. The recorder only reports a new one: the owner
// stores it and shows stored values with setHotKey().
//
// The box: a symbol and the combination (or, while recording, "Tuş kombinasyonuna bas…" and the
// hint "esc ile vazgeç") on Palette::canvas, radius 8, at least 38 high, as wide as offered;
// accent text, border and focus ring while recording. The refusal message hangs 16 below the
// box's bottom-leading corner over whatever lies there, in the recorder's parent; it takes no
// room in the layout.
class HotKeyRecorder : public QAbstractButton {
    Q_OBJECT

  public:
    // How far the refusal message's bottom edge lies below the box; it takes no layout space,
    // so whatever follows the recorder keeps that much room free.
    static constexpr int rejectionDrop = 16;

    HotKeyRecorder(std::uint32_t keyCode, std::uint32_t modifiers, QWidget* parent = nullptr);
    ~HotKeyRecorder() override;

    std::uint32_t keyCode() const { return keyCode_; }
    std::uint32_t modifiers() const { return modifiers_; }
    // Shows a stored combination; emits nothing.
    void setHotKey(std::uint32_t keyCode, std::uint32_t modifiers);

    bool isRecording() const { return recording_; }
    // Starting clears the refusal; stopping keeps the combination. Hiding the recorder (closing
    // its window) stops recording too.
    void setRecording(bool recording);

    // A key without a modifier was pressed since recording last started.
    bool isRejected() const { return rejected_; }

    // What stands in the way of the combination shown ("Başka bir program kullanıyor"), shown at
    // the right of the box in the danger colour, with a warning symbol, while not recording;
    // empty: nothing.
    void setConflictText(const QString& text);
    const QString& conflictText() const { return conflict_; }

    SymbolView* symbolView() const { return symbol_; }
    ElidedLabel* textLabel() const { return text_; }
    ElidedLabel* hintLabel() const { return hint_; }
    ElidedLabel* rejectionLabel() const { return rejection_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void hotKeyRecorded(std::uint32_t keyCode, std::uint32_t modifiers);
    void recordingChanged(bool recording);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void handleKeyPress(const QKeyEvent& event);
    void updateLook();
    void placeRejection();

    std::uint32_t keyCode_;
    std::uint32_t modifiers_;
    bool recording_ = false;
    bool rejected_ = false;
    QString conflict_;
    SymbolView* symbol_;
    ElidedLabel* text_;
    ElidedLabel* hint_;
    QPointer<ElidedLabel> rejection_;
    MotionValue* ring_;
    KeyboardFocus* keyboard_;
};
