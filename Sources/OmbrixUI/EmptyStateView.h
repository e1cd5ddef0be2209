#pragma once

#include <QWidget>

#include <functional>
#include <optional>

class AppButton;
class QLabel;

// The placeholder for an empty or missing thing: a symbol (22 px, Palette::textMuted) in a
// 52-pixel circle of Palette::elevated, the title (BrandFont::sectionTitle(),
// Palette::textSoft) and the message (BrandFont::secondary(), Palette::textMuted, wrapping
// within 280 and never cut), all centred, 12 apart, padded 16; and, only when both an action
// title and an action are given, a small secondary button that runs the action. It takes the
// full width offered; with `fills` also the full height, its content centred.
class EmptyStateView : public QWidget {
    Q_OBJECT

  public:
    EmptyStateView(const QString& icon, const QString& title, const QString& message,
                   const std::optional<QString>& actionTitle = std::nullopt,
                   std::function<void()> action = {}, bool fills = false, QWidget* parent = nullptr);

    bool fills() const { return fills_; }

    // The action button, or null when the view has none.
    AppButton* actionButton() const { return button_; }
    QLabel* titleLabel() const { return title_; }
    QLabel* messageLabel() const { return message_; }

  private:
    QLabel* title_;
    QLabel* message_;
    AppButton* button_ = nullptr;
    bool fills_;
};
