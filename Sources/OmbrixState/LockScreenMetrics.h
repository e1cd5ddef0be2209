#pragma once

#include <QObject>
#include <QPointer>

class QEvent;
class QWidget;

// The height the lock screen's content needs to show without scrolling, as last measured. One
// shared value for the whole process: it survives locking and unlocking, so a window that
// locks again takes the last known height at once.
class LockScreenMetrics : public QObject {
    Q_OBJECT
    Q_PROPERTY(qreal cardHeight READ cardHeight WRITE setCardHeight NOTIFY cardHeightChanged)

  public:
    // The width of the locked window, at which the lock screen is laid out and measured.
    static constexpr int width = 480;

    explicit LockScreenMetrics(QObject* parent = nullptr) : QObject(parent) {}

    static LockScreenMetrics& shared();

    // 0 until the lock screen has been measured.
    qreal cardHeight() const { return cardHeight_; }
    void setCardHeight(qreal height);

  signals:
    void cardHeightChanged();

  private:
    qreal cardHeight_ = 0;
};

// Reports the height of `measured` to `metrics` when the widget is shown and whenever its
// height changes while it is visible. It lives as long as the widget it measures.
class CardHeightReader : public QObject {
    Q_OBJECT

  public:
    CardHeightReader(QWidget* measured, LockScreenMetrics& metrics);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void report();

    QPointer<QWidget> measured_;
    QPointer<LockScreenMetrics> metrics_;
};
