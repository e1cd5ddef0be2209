#include "OmbrixUI/GroupTreeView.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "OmbrixState/AppState.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/BrandMark.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/GroupOutlineView.h"
#include "OmbrixUI/GroupTreeModel.h"
#include "OmbrixUI/HairlineDivider.h"
#include "OmbrixUI/MainActions.h"
#include "OmbrixUI/Tooltip.h"

namespace {

// A one-line label shortened in the middle, so that a long name keeps its start and its end.
class MiddleElidedLabel : public ElidedLabel {
  public:
    using ElidedLabel::ElidedLabel;

  protected:
    void paintEvent(QPaintEvent*) override {
        if (text().isEmpty()) return;
        QPainter p(this);
        p.setFont(font());
        p.setPen(color());
        QString line = text();
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   QFontMetricsF(font()).elidedText(line, Qt::ElideMiddle, width()));
    }
};

}  // namespace

GroupTreeView::GroupTreeView(AppState& state, QWidget* parent)
    : QWidget(parent),
      state_(state),
      model_(new GroupTreeModel(state, this)),
      name_(new MiddleElidedLabel),
      file_(new MiddleElidedLabel),
      newGroup_(new IconButton(QStringLiteral("folder.badge.plus"), Palette::textSoft, 24)),
      tree_(new GroupOutlineView(state, *model_)) {
    // The sidebar is opaque: the surface colour, never a translucent material.
    Painting::fillBackground(this, Palette::surface);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(12, 10, 8, 10);
    header->setSpacing(8);
    header->addWidget(new BrandMark(26), 0, Qt::AlignVCenter);
    auto* names = new QVBoxLayout;
    names->setContentsMargins(0, 0, 0, 0);
    names->setSpacing(0);
    name_->setFont(BrandFont::body(13, QFont::DemiBold));
    name_->setColor(Palette::text);
    file_->setFont(BrandFont::body(10, QFont::Normal));
    file_->setColor(Palette::textMuted);
    names->addWidget(name_);
    names->addWidget(file_);
    header->addLayout(names, 1);
    header->addWidget(newGroup_, 0, Qt::AlignVCenter);
    setTooltip(newGroup_, QStringLiteral("Yeni grup (Ctrl+Shift+G)"));
    column->addLayout(header);
    column->addWidget(new HairlineDivider(Palette::line));
    column->addWidget(tree_, 1);

    connect(newGroup_, &QAbstractButton::clicked, this, [this] { MainActions::newGroup(state_); });
    connect(&state_, &AppState::databaseChanged, this, &GroupTreeView::refreshHeader);
    connect(&state_, &AppState::databaseURLChanged, this, &GroupTreeView::refreshHeader);
    refreshHeader();
}

void GroupTreeView::refreshHeader() {
    name_->setText(state_.databaseName());
    file_->setText(state_.databaseURL() ? QFileInfo(*state_.databaseURL()).fileName() : QString());
}
