#include "OmbrixUI/FieldRow.h"

#include <QVBoxLayout>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/FieldLabel.h"
#include "OmbrixUI/FlowRow.h"
#include "OmbrixUI/SelectableText.h"

namespace {
constexpr int captionHeight = 24;
}

FieldRow::FieldRow(const QString& label, const QString& value, bool mono, const QColor& accent,
                   const QString& placeholder, const QList<QWidget*>& trailing, QWidget* parent)
    : QWidget(parent),
      value_(value),
      accent_(accent),
      placeholder_(placeholder),
      label_(new FieldLabel(label, Palette::textMuted)),
      text_(new SelectableText) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);

    auto* caption = new QWidget;
    captionRow_ = new FlowRow(4, 4, caption);
    label_->setMinimumHeight(captionHeight);
    captionRow_->addWidget(label_);
    for (QWidget* widget : trailing) captionRow_->addWidget(widget);
    column->addWidget(caption);

    text_->setFont(mono ? BrandFont::mono(13, QFont::Normal) : BrandFont::body(13, QFont::Normal));
    column->addWidget(text_);
    syncValue();
}

void FieldRow::setValue(const QString& value) {
    value_ = value;
    syncValue();
}

void FieldRow::syncValue() {
    // Only the empty text counts as empty: a value of one blank is a value.
    const bool empty = value_.isEmpty();
    text_->setText(empty ? placeholder_ : value_);
    text_->setColor(empty ? Palette::textMuted : accent_);
}
