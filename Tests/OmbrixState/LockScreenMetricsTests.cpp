#include <gtest/gtest.h>

#include <QApplication>
#include <QVBoxLayout>
#include <QWidget>

#include "OmbrixState/LockScreenMetrics.h"

TEST(CardHeightReader, ReportsTheHeightOnceShownAndWhenItChanges) {
    LockScreenMetrics metrics;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* card = new QWidget;
    card->setFixedHeight(200);
    layout->addWidget(card);
    new CardHeightReader(card, metrics);
    EXPECT_EQ(metrics.cardHeight(), 0) << "not shown yet";

    window.show();
    QApplication::processEvents();
    EXPECT_EQ(metrics.cardHeight(), 200);
    card->setFixedHeight(260);
    QApplication::processEvents();
    EXPECT_EQ(metrics.cardHeight(), 260);

    // The value stays when the lock screen goes away.
    window.hide();
    card->setFixedHeight(100);
    QApplication::processEvents();
    EXPECT_EQ(metrics.cardHeight(), 260);
}
