#include "OmbrixUI/ErrorBanner.h"

#include <QGraphicsEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Motion.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/SymbolView.h"

namespace {

constexpr qreal radius = 8;

// Draws the banner and its children shifted up by the part still to come in, faded alike.
class PresenceEffect : public QGraphicsEffect {
  public:
    PresenceEffect(MotionValue* presence, QObject* parent) : QGraphicsEffect(parent), presence_(presence) {}

  protected:
    void draw(QPainter* painter) override {
        const qreal t = presence_ ? presence_->value() : 1.0;
        QPoint offset;
        const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
        const qreal height = pixmap.height() / pixmap.devicePixelRatio();
        painter->save();
        painter->setOpacity(t);
        painter->drawPixmap(QPointF(offset) + QPointF(0, -(1 - t) * height), pixmap);
        painter->restore();
    }

  private:
    QPointer<MotionValue> presence_;
};

}  // namespace

ErrorBanner::ErrorBanner(const QString& message, std::function<void()> onDismiss, QWidget* parent)
    : QWidget(parent), message_(new QLabel(message)), presence_(new MotionValue(1, this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(8);
    row->addWidget(new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), 12, Palette::danger), 0,
                   Qt::AlignTop);

    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    message_->setFont(BrandFont::secondary());
    message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette pal = message_->palette();
    pal.setColor(QPalette::WindowText, Palette::text);
    message_->setPalette(pal);
    row->addWidget(message_, 1);

    if (onDismiss) {
        dismiss_ = new SymbolButton(QStringLiteral("xmark"), 10, Palette::textMuted);
        connect(dismiss_, &QAbstractButton::clicked, this,
                [onDismiss = std::move(onDismiss)] { onDismiss(); });
        row->addWidget(dismiss_, 0, Qt::AlignTop);
    }
    connect(presence_, &MotionValue::finished, this, &ErrorBanner::transitionFinished);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

QString ErrorBanner::message() const {
    return message_->text();
}

void ErrorBanner::setMessage(const QString& message) {
    message_->setText(message);
}

void ErrorBanner::setPresent(bool present) {
    present_ = present;
    if (present && isHidden()) {
        presence_->setTarget(0);
        show();
    }
    presence_->setTarget(present ? 1 : 0);
    if (presence_->isRunning()) {
        if (!graphicsEffect()) setGraphicsEffect(new PresenceEffect(presence_, this));
    } else {
        transitionFinished();
    }
}

void ErrorBanner::transitionFinished() {
    // The effect renders through an offscreen pixmap; it is only worth that while moving.
    setGraphicsEffect(nullptr);
    if (!present_) hide();
}

void ErrorBanner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    Painting::fill(p, bounds, radius, withOpacity(Palette::danger, 0.12));
    Painting::hairline(p, bounds, withOpacity(Palette::danger, 0.35), radius, Metric::hairline);
}
