#include "OmbrixUI/FieldLabel.h"

#include "OmbrixTheme/BrandFont.h"

FieldLabel::FieldLabel(const QString& text, const QColor& color, QWidget* parent)
    : ElidedLabel(text, parent) {
    setFont(BrandFont::label());
    setColor(color);
}
