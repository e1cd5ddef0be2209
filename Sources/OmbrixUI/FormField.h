#pragma once

#include <QWidget>

#include <optional>

class FieldLabel;
class QLabel;

// A caption above any control and an optional hint below it (11 px regular, Palette::textMuted,
// wrapping), 6 apart, across the full width with everything at the leading edge. Without a
// hint there is no line below the control. The form field takes ownership of `content`.
class FormField : public QWidget {
    Q_OBJECT

  public:
    FormField(const QString& label, const std::optional<QString>& hint, QWidget* content,
              QWidget* parent = nullptr);

    FieldLabel* label() const { return label_; }
    QWidget* content() const { return content_; }

    std::optional<QString> hint() const;
    void setHint(const std::optional<QString>& hint);
    QLabel* hintLabel() const { return hint_; }

  private:
    FieldLabel* label_;
    QWidget* content_;
    QLabel* hint_;
    bool hasHint_ = false;
};
