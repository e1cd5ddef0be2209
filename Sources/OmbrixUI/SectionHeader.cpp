#include "OmbrixUI/SectionHeader.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"

SectionHeader::SectionHeader(const QString& title, const std::optional<QString>& subtitle, QWidget* trailing,
                             QWidget* parent)
    : QWidget(parent), title_(new ElidedLabel(title)), subtitle_(new ElidedLabel), trailing_(trailing) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);

    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);
    title_->setFont(BrandFont::sectionTitle());
    title_->setColor(Palette::text);
    column->addWidget(title_);
    subtitle_->setFont(BrandFont::body(11, QFont::Normal));
    subtitle_->setColor(Palette::textMuted);
    column->addWidget(subtitle_);
    setSubtitle(subtitle);
    row->addLayout(column, 1);
    if (trailing_) row->addWidget(trailing_, 0, Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QString SectionHeader::title() const {
    return title_->text();
}

void SectionHeader::setTitle(const QString& title) {
    title_->setText(title);
}

std::optional<QString> SectionHeader::subtitle() const {
    if (!hasSubtitle_) return std::nullopt;
    return subtitle_->text();
}

void SectionHeader::setSubtitle(const std::optional<QString>& subtitle) {
    hasSubtitle_ = subtitle.has_value();
    subtitle_->setText(subtitle.value_or(QString()));
    subtitle_->setHidden(!hasSubtitle_);
}
