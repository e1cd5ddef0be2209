#pragma once

#include "OmbrixUI/ElidedLabel.h"

// The small caption above a value: one line in BrandFont::label() (11 px, medium).
class FieldLabel : public ElidedLabel {
    Q_OBJECT

  public:
    FieldLabel(const QString& text, const QColor& color, QWidget* parent = nullptr);
};
