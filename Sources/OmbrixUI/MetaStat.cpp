#include "OmbrixUI/MetaStat.h"

#include <QVBoxLayout>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/FieldLabel.h"

namespace {
constexpr int leastWidth = 130;
}

MetaStat::MetaStat(const QString& label, const QString& value, QWidget* parent)
    : QWidget(parent), label_(new FieldLabel(label, Palette::textMuted)), value_(new ElidedLabel(value)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    value_->setFont(BrandFont::secondary());
    value_->setColor(Palette::textSoft);
    column->addWidget(label_);
    column->addWidget(value_);
    setMinimumWidth(leastWidth);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QString MetaStat::label() const {
    return label_->text();
}

QString MetaStat::value() const {
    return value_->text();
}

void MetaStat::setValue(const QString& value) {
    value_->setText(value);
}
