#include "OmbrixUI/EmptyStateView.h"
#include "OmbrixUI/WrappingLabel.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Icons.h"
#include "OmbrixTheme/Palette.h"

namespace {

constexpr int circleSize = 52;
constexpr qreal symbolSize = 22;
constexpr int messageWidth = 280;

// The symbol on its circle.
class SymbolDisc : public QWidget {
  public:
    explicit SymbolDisc(const QString& symbol) : symbol_(symbol) { setFixedSize(circleSize, circleSize); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Palette::elevated);
        p.drawEllipse(QRectF(rect()));
        const QPointF c = QRectF(rect()).center();
        Icons::paint(p, QRectF(c.x() - symbolSize / 2, c.y() - symbolSize / 2, symbolSize, symbolSize),
                     symbol_, Palette::textMuted);
    }

  private:
    QString symbol_;
};

QLabel* centredText(const QString& text, const QFont& font, const QColor& color) {
    QLabel* label = wrappingLabel(text, font, color);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return label;
}

}  // namespace

EmptyStateView::EmptyStateView(const QString& icon, const QString& title, const QString& message,
                               const std::optional<QString>& actionTitle, std::function<void()> action,
                               bool fills, QWidget* parent)
    : QWidget(parent),
      title_(centredText(title, BrandFont::sectionTitle(), Palette::textSoft)),
      message_(centredText(message, BrandFont::secondary(), Palette::textMuted)),
      fills_(fills) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);
    if (fills) column->addStretch(1);
    column->addWidget(new SymbolDisc(icon), 0, Qt::AlignHCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(title_);
    // The message is at most 280 wide and centred: equal stretches on both sides of it.
    auto* messageRow = new QHBoxLayout;
    messageRow->addStretch(1);
    message_->setMaximumWidth(messageWidth);
    QSizePolicy policy = message_->sizePolicy();  // keeps the height-for-width of wrapping text
    policy.setHorizontalPolicy(QSizePolicy::Expanding);
    message_->setSizePolicy(policy);
    messageRow->addWidget(message_, 100);
    messageRow->addStretch(1);
    texts->addLayout(messageRow);
    column->addLayout(texts);

    if (actionTitle && action) {
        button_ = new AppButton(*actionTitle, ButtonVariant::secondary);
        button_->setSmall(true);
        connect(button_, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
        column->addSpacing(4);
        column->addWidget(button_, 0, Qt::AlignHCenter);
    }
    if (fills) column->addStretch(1);
    setSizePolicy(QSizePolicy::Expanding, fills ? QSizePolicy::Expanding : QSizePolicy::Fixed);
}
