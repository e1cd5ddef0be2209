#include "OmbrixUI/StrengthMeter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QVariantAnimation>

#include <cmath>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Motion.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"

namespace {

constexpr int segmentCount = 4;
constexpr qreal segmentGap = 3;
constexpr int lineGap = 8;
constexpr qreal textGap = 8;
constexpr qreal minimumSpacer = 4;
// The fills change with an ease-out of 0.2 s, a little slower than the interface's own motion.
constexpr MotionTiming fillMotion{200};

QFont verdictFont() {
    return BrandFont::body(11, QFont::DemiBold);
}

QFont detailFont() {
    return BrandFont::body(11, QFont::Normal);
}

}  // namespace

StrengthMeter::Band StrengthMeter::band(std::int64_t score) {
    if (score < 25) return {QStringLiteral("Çok zayıf"), Palette::danger};
    if (score < 50) return {QStringLiteral("Zayıf"), Palette::warn};
    if (score < 75) return {QStringLiteral("İyi"), Palette::info};
    if (score < 90) return {QStringLiteral("Güçlü"), Palette::success};
    return {QStringLiteral("Çok güçlü"), Palette::success};
}

bool StrengthMeter::isSegmentLit(int index, std::int64_t score) {
    return std::int64_t(index) * 25 < score;
}

int StrengthMeter::litSegments(std::int64_t score) {
    int lit = 0;
    for (int i = 0; i < segmentCount; ++i) lit += isSegmentLit(i, score) ? 1 : 0;
    return lit;
}

QString StrengthMeter::entropyText(double bits) {
    return QStringLiteral("· %1 bit entropi").arg(static_cast<qint64>(std::llround(bits)));
}

std::int64_t StrengthMeter::characterCount(const QString& password) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, password);
    std::int64_t count = 0;
    while (finder.toNextBoundary() != -1) ++count;
    return count;
}

QString StrengthMeter::lengthText(const QString& password) {
    return QStringLiteral("%1 karakter").arg(characterCount(password));
}

StrengthMeter::StrengthMeter(bool compact, QWidget* parent)
    : QWidget(parent), compact_(compact), animation_(new QVariantAnimation(this)) {
    from_ = segmentColors();
    animation_->setDuration(fillMotion.durationMs);
    animation_->setEasingCurve(fillMotion.easing());
    animation_->setStartValue(0.0);
    animation_->setEndValue(1.0);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this] { update(); });
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StrengthMeter::setPassword(const QString& password) {
    const PasswordGenerator::Strength rating = PasswordGenerator::strength(password);
    length_ = characterCount(password);
    if (rating.score != strength_.score) {
        // Start from what is on screen, so a score changing mid-animation stays continuous.
        const qreal t =
            animation_->state() == QAbstractAnimation::Running ? animation_->currentValue().toReal() : 1;
        const std::array<QColor, 4> shown = segmentColors();
        for (int i = 0; i < segmentCount; ++i) from_[i] = Painting::blend(from_[i], shown[i], t);
        animation_->stop();
        strength_ = rating;
        if (Motion::isEnabled() && isVisible()) animation_->start();
    } else {
        strength_ = rating;
    }
    updateGeometry();
    update();
}

std::array<QColor, 4> StrengthMeter::segmentColors() const {
    const QColor lit = band(strength_.score).color;
    std::array<QColor, 4> colors;
    for (int i = 0; i < segmentCount; ++i) colors[i] = isSegmentLit(i, strength_.score) ? lit : Palette::line;
    return colors;
}

int StrengthMeter::lineHeight() const {
    return qCeil(qMax(QFontMetricsF(verdictFont()).height(), QFontMetricsF(detailFont()).height()));
}

QSize StrengthMeter::sizeHint() const {
    if (compact_) return QSize(120, int(segmentHeight()));
    const QFontMetricsF verdict(verdictFont()), detail(detailFont());
    const qreal width = verdict.horizontalAdvance(band(strength_.score).verdict) + textGap +
                        detail.horizontalAdvance(entropyText(strength_.entropyBits)) + minimumSpacer +
                        Painting::tabularWidth(detail, QStringLiteral("%1 karakter").arg(length_));
    return QSize(qCeil(width), int(segmentHeight()) + lineGap + lineHeight());
}

QSize StrengthMeter::minimumSizeHint() const {
    return QSize(4 * 4 + 3 * int(segmentGap), sizeHint().height());
}

void StrengthMeter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal width = this->width();

    const qreal t =
        animation_->state() == QAbstractAnimation::Running ? animation_->currentValue().toReal() : 1;
    const std::array<QColor, 4> target = segmentColors();
    const qreal segmentWidth = qMax<qreal>(0, (width - segmentGap * (segmentCount - 1)) / segmentCount);
    for (int i = 0; i < segmentCount; ++i) {
        const QRectF capsule(i * (segmentWidth + segmentGap), 0, segmentWidth, segmentHeight());
        Painting::fill(p, capsule, Radius::pill, Painting::blend(from_[i], target[i], t));
    }
    if (compact_) return;

    const Band b = band(strength_.score);
    const QFontMetricsF verdictMetrics(verdictFont()), detailMetrics(detailFont());
    const qreal top = segmentHeight() + lineGap;
    const qreal baseline = top + (lineHeight() - detailMetrics.height()) / 2 + detailMetrics.ascent();

    const QString length = QStringLiteral("%1 karakter").arg(length_);
    const qreal lengthWidth = Painting::tabularWidth(detailMetrics, length);
    p.setFont(detailFont());
    p.setPen(Palette::textMuted);
    Painting::drawTabular(p, width - lengthWidth, baseline, length);

    // One line: the entropy gives way first, then the verdict.
    const qreal room = width - lengthWidth - minimumSpacer;
    const QString verdict = verdictMetrics.elidedText(b.verdict, Qt::ElideRight, qMax<qreal>(0, room));
    const qreal verdictWidth = verdictMetrics.horizontalAdvance(verdict);
    p.setFont(verdictFont());
    p.setPen(b.color);
    p.drawText(QPointF(0, baseline), verdict);

    const qreal entropyRoom = room - verdictWidth - textGap;
    if (entropyRoom > 0) {
        p.setFont(detailFont());
        p.setPen(Palette::textMuted);
        p.drawText(QPointF(verdictWidth + textGap, baseline),
                   detailMetrics.elidedText(entropyText(strength_.entropyBits), Qt::ElideRight, entropyRoom));
    }
}
