#pragma once

#include <QWidget>

class ElidedLabel;
class FieldLabel;

// A caption over a one-line value (BrandFont::secondary(), Palette::textSoft, cut with "…"),
// 2 apart, at least 130 wide, kept at the leading edge.
class MetaStat : public QWidget {
    Q_OBJECT

  public:
    MetaStat(const QString& label, const QString& value, QWidget* parent = nullptr);

    QString label() const;
    QString value() const;
    void setValue(const QString& value);

    ElidedLabel* valueLabel() const { return value_; }

  private:
    FieldLabel* label_;
    ElidedLabel* value_;
};
