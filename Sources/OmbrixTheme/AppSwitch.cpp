#include "OmbrixTheme/AppSwitch.h"

#include <QFontMetricsF>
#include <QPainter>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/KeyboardFocus.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Motion.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"

namespace {

constexpr qreal switchWidth = 38;
constexpr qreal switchHeight = 22;
constexpr qreal knobInset = 3;
constexpr qreal minimumGap = 8;
// The switch's bottom lies this far below the label's first baseline.
constexpr qreal baselineDrop = 6;

QFont labelFont() {
    return BrandFont::body(13, QFont::Normal);
}

// Height of `text` wrapped to `width`, and the ascent of its first line.
QSizeF wrappedSize(const QString& text, qreal width) {
    const QFontMetricsF fm(labelFont());
    const QRectF r =
        fm.boundingRect(QRectF(0, 0, qMax<qreal>(1, width), 1e6), Qt::TextWordWrap | Qt::AlignLeft,
                        text.isEmpty() ? QStringLiteral(" ") : text);
    return r.size();
}

}  // namespace

AppSwitch::AppSwitch(const QString& label, QWidget* parent)
    : QAbstractButton(parent),
      on_(new MotionValue(0, this)),
      hover_(new MotionValue(0, this)),
      focus_(new MotionValue(0, this)),
      keyboard_(new KeyboardFocus(this, [this] { focus_->setTarget(keyboard_->isShown() ? 1 : 0); })) {
    setText(label);
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

AppSwitch::Layout AppSwitch::layoutFor(int width) const {
    const QFontMetricsF fm(labelFont());
    const qreal labelWidth = qMax<qreal>(1, width - minimumGap - switchWidth);
    const qreal labelHeight = wrappedSize(text(), labelWidth).height();
    // Rows align on the first baseline; when the switch reaches higher than the label's
    // ascent, the label moves down instead of the switch leaving the row.
    const qreal switchAboveBaseline = switchHeight - baselineDrop;
    const qreal labelTop = qMax<qreal>(0, switchAboveBaseline - fm.ascent());
    const qreal baseline = labelTop + fm.ascent();
    Layout l;
    l.label = QRectF(0, labelTop, labelWidth, labelHeight);
    l.capsule =
        QRectF(width - switchWidth, baseline + baselineDrop - switchHeight, switchWidth, switchHeight);
    return l;
}

QSize AppSwitch::sizeHint() const {
    const QFontMetricsF fm(labelFont());
    const qreal natural = fm.horizontalAdvance(text());
    const int width = qCeil(natural + minimumGap + switchWidth);
    return QSize(width, heightForWidth(width));
}

QSize AppSwitch::minimumSizeHint() const {
    const int width = qCeil(minimumGap + switchWidth + 40);
    return QSize(width, heightForWidth(width));
}

int AppSwitch::heightForWidth(int width) const {
    const Layout l = layoutFor(width);
    return qCeil(qMax(l.label.bottom(), l.capsule.bottom()));
}

QRectF AppSwitch::switchRect() const {
    return layoutFor(width()).capsule;
}

QRectF AppSwitch::knobRect() const {
    return knobRectAt(switchRect(), isChecked() ? 1 : 0);
}

QRectF AppSwitch::knobRectAt(const QRectF& capsule, qreal on) const {
    const qreal knob = switchHeight - 2 * knobInset;
    const qreal travel = switchWidth - 2 * knobInset - knob;
    return QRectF(capsule.left() + knobInset + travel * on, capsule.top() + knobInset, knob, knob);
}

void AppSwitch::checkStateSet() {
    QAbstractButton::checkStateSet();
    on_->setTarget(isChecked() ? 1 : 0);
}

void AppSwitch::nextCheckState() {
    QAbstractButton::nextCheckState();
    on_->setTarget(isChecked() ? 1 : 0);
}

bool AppSwitch::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

void AppSwitch::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    hover_->setTarget(1);
    QAbstractButton::enterEvent(event);
}

void AppSwitch::leaveEvent(QEvent* event) {
    hovering_ = false;
    hover_->setTarget(0);
    QAbstractButton::leaveEvent(event);
}

void AppSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Layout l = layoutFor(width());
    const qreal on = on_->value();

    p.setFont(labelFont());
    p.setPen(Painting::blend(Palette::textSoft, Palette::text, hover_->value()));
    p.drawText(l.label, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text());

    const QColor track = Painting::blend(Palette::canvas, Palette::accent, on);
    Painting::fill(p, l.capsule, Radius::pill, track);
    const QRectF knob = knobRectAt(l.capsule, on);
    p.setPen(Qt::NoPen);
    p.setBrush(Painting::blend(Palette::textMuted, Qt::white, on));
    p.drawEllipse(knob);
    Painting::hairline(p, l.capsule, Painting::blend(Palette::line, Qt::transparent, on), Radius::pill,
                       Metric::hairline);
    Painting::focusRing(p, l.capsule, Radius::pill, focus_->value(), track);
}
