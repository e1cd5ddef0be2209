#pragma once

#include <QColor>
#include <QList>
#include <QWidget>

class FieldLabel;
class FlowRow;
class SelectableText;

// A read-only value under its caption. The caption (at least 24 high, to line up with small
// buttons) and the trailing widgets share a wrapping row, 4 apart, so the buttons sit right
// after the caption and wrap under it when the width runs out. Below, 4 apart, the value as
// selectable text wrapping onto as many lines as it needs, 13 px (monospaced when `mono`), in
// `accent`; an empty value shows `placeholder` in Palette::textMuted instead. The row takes
// ownership of the trailing widgets.
class FieldRow : public QWidget {
    Q_OBJECT

  public:
    FieldRow(const QString& label, const QString& value, bool mono, const QColor& accent,
             const QString& placeholder, const QList<QWidget*>& trailing = {}, QWidget* parent = nullptr);

    QString value() const { return value_; }
    void setValue(const QString& value);

    FieldLabel* label() const { return label_; }
    FlowRow* captionRow() const { return captionRow_; }
    SelectableText* valueText() const { return text_; }

  private:
    void syncValue();

    QString value_;
    QColor accent_;
    QString placeholder_;
    FieldLabel* label_;
    FlowRow* captionRow_;
    SelectableText* text_;
};
