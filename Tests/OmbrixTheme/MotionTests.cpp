#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include "OmbrixTheme/Motion.h"

#include "Support/WidgetProbe.h"

using probe::MotionOn;

TEST(Motion, TransitionsRunToTheirEndWhenOnAndJumpWhenOff) {
    QWidget widget;
    widget.show();
    MotionValue value(0, &widget);
    {
        MotionOn on;
        value.setTarget(1);
        EXPECT_TRUE(value.isRunning());
        EXPECT_LT(value.value(), 1.0);
        QEventLoop loop;
        QObject::connect(&value, &MotionValue::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);  // a guard, not a timing check
        loop.exec();
        EXPECT_FALSE(value.isRunning());
        EXPECT_EQ(value.value(), 1.0);

        // Reversing mid-way starts from where the value is.
        value.setTarget(0);
        EXPECT_EQ(value.value(), 1.0);
        EXPECT_EQ(value.target(), 0.0);
    }
    value.setTarget(0.5);
    EXPECT_FALSE(value.isRunning());
    EXPECT_EQ(value.value(), 0.5);
}

TEST(Motion, HiddenWidgetsDoNotAnimate) {
    MotionOn on;
    QWidget widget;
    MotionValue value(0, &widget);
    value.setTarget(1);
    EXPECT_FALSE(value.isRunning());
    EXPECT_EQ(value.value(), 1.0);
}
