#include "Ombrix/UI/FieldLabel.h"

#include "Ombrix/Theme/BrandFont.h"

FieldLabel::FieldLabel(const QString& text, const QColor& color, QWidget* parent)
    : ElidedLabel(text, parent) {
    setFont(BrandFont::label());
    setColor(color);
}
