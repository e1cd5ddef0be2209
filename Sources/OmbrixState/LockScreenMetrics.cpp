#include "OmbrixState/LockScreenMetrics.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

LockScreenMetrics& LockScreenMetrics::shared() {
    static LockScreenMetrics metrics;
    return metrics;
}

void LockScreenMetrics::setCardHeight(qreal height) {
    if (height == cardHeight_) return;
    cardHeight_ = height;
    emit cardHeightChanged();
}

CardHeightReader::CardHeightReader(QWidget* measured, LockScreenMetrics& metrics)
    : QObject(measured), measured_(measured), metrics_(&metrics) {
    measured->installEventFilter(this);
    if (measured->isVisible()) metrics.setCardHeight(measured->height());
}

bool CardHeightReader::eventFilter(QObject* watched, QEvent* event) {
    if (watched == measured_ && metrics_) {
        if (event->type() == QEvent::Show) {
            // A widget shows before the layouts above it have placed it: until they have, its
            // height is a stub. Their work is queued before this, so the next turn sees it done.
            QTimer::singleShot(0, this, &CardHeightReader::report);
        } else if (event->type() == QEvent::Resize && measured_->isVisible()) {
            report();
        }
    }
    return QObject::eventFilter(watched, event);
}

void CardHeightReader::report() {
    if (measured_ && metrics_ && measured_->isVisible()) metrics_->setCardHeight(measured_->height());
}
