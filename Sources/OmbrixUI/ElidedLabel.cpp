#include "OmbrixUI/ElidedLabel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include "OmbrixTheme/Palette.h"

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent)
    : QWidget(parent), text_(text), color_(Palette::text) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text) {
    if (text_ == text) return;
    text_ = text;
    updateGeometry();
    update();
}

void ElidedLabel::setColor(const QColor& color) {
    color_ = color;
    update();
}

void ElidedLabel::setAlignment(Qt::Alignment alignment) {
    alignment_ = alignment & Qt::AlignHorizontal_Mask;
    update();
}

void ElidedLabel::setElideMode(Qt::TextElideMode mode) {
    elideMode_ = mode == Qt::ElideNone ? Qt::ElideRight : mode;
    update();
}

QString ElidedLabel::displayedText() const {
    // Line breaks would start a second line; a one-line text shows them as blanks.
    QString line = text_;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QFontMetricsF(font()).elidedText(line, elideMode_, width());
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetricsF fm(font());
    QString line = text_;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QSize(qCeil(fm.horizontalAdvance(line)), qCeil(fm.height()));
}

QSize ElidedLabel::minimumSizeHint() const {
    const QFontMetricsF fm(font());
    const qreal ellipsis = text_.isEmpty() ? 0 : fm.horizontalAdvance(QStringLiteral("…"));
    return QSize(qMin(qCeil(ellipsis), sizeHint().width()), qCeil(fm.height()));
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    if (text_.isEmpty()) return;
    QPainter p(this);
    p.setFont(font());
    p.setPen(color_);
    p.drawText(rect(), int(alignment_ | Qt::AlignVCenter) | Qt::TextSingleLine, displayedText());
}

void ElidedLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) updateGeometry();
    QWidget::changeEvent(event);
}
