#include "OmbrixState/Scheduler.h"

#include <QTimer>

void TimerScheduler::after(std::chrono::milliseconds delay, QObject* context, std::function<void()> call) {
    QTimer::singleShot(delay, context, std::move(call));
}
