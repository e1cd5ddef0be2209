#include "OmbrixUI/FormField.h"

#include <QLabel>
#include <QVBoxLayout>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/FieldLabel.h"

FormField::FormField(const QString& label, const std::optional<QString>& hint, QWidget* content,
                     QWidget* parent)
    : QWidget(parent),
      label_(new FieldLabel(label, Palette::textMuted)),
      content_(content),
      hint_(new QLabel) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(label_);
    if (content_) column->addWidget(content_);

    hint_->setTextFormat(Qt::PlainText);
    hint_->setWordWrap(true);
    hint_->setFont(BrandFont::body(11, QFont::Normal));
    QPalette pal = hint_->palette();
    pal.setColor(QPalette::WindowText, Palette::textMuted);
    hint_->setPalette(pal);
    column->addWidget(hint_);
    setHint(hint);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

std::optional<QString> FormField::hint() const {
    if (!hasHint_) return std::nullopt;
    return hint_->text();
}

void FormField::setHint(const std::optional<QString>& hint) {
    hasHint_ = hint.has_value();
    hint_->setText(hint.value_or(QString()));
    hint_->setHidden(!hasHint_);
}
