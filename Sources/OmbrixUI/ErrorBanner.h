#pragma once

#include <QWidget>

#include <functional>

class MotionValue;
class QLabel;
class SymbolButton;

// A danger-tinted message bar: the warning symbol (12 px, Palette::danger), the message
// (BrandFont::secondary(), Palette::text, wrapping, never cut, taking the remaining width) and,
// only when an `onDismiss` is given, a plain "xmark" button (10 px, Palette::textMuted) that
// calls it; top-aligned, 8 apart, padded 12, on a rounded rectangle (radius 8) of the danger
// colour at 0.12 with a 1-pixel border of it at 0.35.
//
// The banner never hides itself: the close button only calls `onDismiss`. Its owner decides
// with setPresent(), which slides it in from (or out towards) its top edge while fading.
class ErrorBanner : public QWidget {
    Q_OBJECT

  public:
    explicit ErrorBanner(const QString& message, std::function<void()> onDismiss = {},
                         QWidget* parent = nullptr);

    QString message() const;
    void setMessage(const QString& message);

    // Shows the banner with the entrance transition, or plays the exit transition and then hides
    // it. Without motion both happen at once.
    void setPresent(bool present);
    bool isPresent() const { return present_; }

    // The close button, or null when the banner has no `onDismiss`.
    SymbolButton* dismissButton() const { return dismiss_; }
    QLabel* messageLabel() const { return message_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void transitionFinished();

    QLabel* message_;
    SymbolButton* dismiss_ = nullptr;
    MotionValue* presence_;
    bool present_ = true;
};
