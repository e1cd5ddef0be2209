// Hairlines, focus rings, shadows, cards and panels.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "OmbrixTheme/Card.h"
#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "Support/WidgetProbe.h"

namespace {
const QColor backdrop(200, 0, 200);  // a colour no theme element uses
}

TEST(Painting, HairlineLiesInsideTheBounds) {
    QImage image(40, 34, QImage::Format_ARGB32);
    image.fill(backdrop);
    QPainter p(&image);
    Painting::hairline(p, QRectF(2, 2, 36, 30), Palette::line, Radius::control, 1);
    p.end();
    const int mid = 20;
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, mid, 1), backdrop));  // just outside
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, mid, 2), Palette::line));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, mid, 3), backdrop));  // one pixel wide
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, mid, 31), Palette::line));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, mid, 32), backdrop));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 2, 17), Palette::line));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 1, 17), backdrop));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 37, 17), Palette::line));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 38, 17), backdrop));
}

TEST(Painting, FocusRingIsThreePixelsInsideTheBounds) {
    QImage image(40, 34, QImage::Format_ARGB32);
    image.fill(Palette::canvas);
    QPainter p(&image);
    Painting::focusRing(p, QRectF(2, 2, 36, 30), Radius::control, 1.0);
    p.end();
    const QColor ring = probe::over(withOpacity(Palette::accent, 0.35), Palette::canvas);
    for (int y : {2, 3, 4, 29, 30, 31}) EXPECT_TRUE(probe::colorNear(probe::pixel(image, 20, y), ring)) << y;
    for (int y : {1, 5, 28, 32})
        EXPECT_TRUE(probe::colorNear(probe::pixel(image, 20, y), Palette::canvas)) << y;
}

TEST(Painting, PillRadiusMakesACapsule) {
    const QPainterPath path = Painting::roundedPath(QRectF(0, 0, 38, 22), Radius::pill);
    EXPECT_FALSE(path.contains(QPointF(0.5, 0.5)));  // corner cut away
    EXPECT_TRUE(path.contains(QPointF(1.0, 11.0)));  // round end reaches the side
    EXPECT_TRUE(path.contains(QPointF(19.0, 0.5)));  // straight top
}

TEST(Card, WithoutPaddingSpansTheWidthAndHugsItsContent) {
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* card = new Card(Palette::elevated, Radius::card, Palette::line);
    auto* content = new QLabel(QStringLiteral("İçerik"));
    card->contentLayout()->addWidget(content);
    layout->addWidget(card);
    layout->addStretch();
    host.resize(400, 200);
    host.show();
    QApplication::processEvents();
    EXPECT_EQ(card->width(), 400);
    EXPECT_EQ(content->geometry().topLeft(), QPoint(0, 0));
    EXPECT_EQ(card->height(), content->height());

    const QImage image = probe::render(*card, backdrop);
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 200, 0), Palette::line));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 0, image.height() / 2), Palette::line));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 398, image.height() / 2), Palette::elevated));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 0, 0), backdrop));  // rounded corner
}

TEST(Card, PaddingInsetsTheContent) {
    Card card(Palette::elevated, Radius::card, Palette::line, 16);
    auto* content = new QLabel(QStringLiteral("İçerik"));
    card.contentLayout()->addWidget(content);
    card.resize(300, 80);
    card.show();
    QApplication::processEvents();
    EXPECT_EQ(content->geometry().topLeft(), QPoint(16, 16));
    EXPECT_EQ(content->width(), 300 - 32);
}

TEST(Panel, IsARadius16CardWithALineBorderAndAShadowBelow) {
    QWidget host;
    host.setAutoFillBackground(true);
    QPalette pal = host.palette();
    pal.setColor(QPalette::Window, Palette::canvas);
    host.setPalette(pal);
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(40, 20, 40, 40);
    auto* panel = new Panel(Palette::surface, 24);
    panel->contentLayout()->addWidget(new QLabel(QStringLiteral("Kasa")));
    layout->addWidget(panel);
    host.resize(300, 160);
    host.show();
    QApplication::processEvents();

    const QImage image = host.grab().toImage();
    const QRect g = panel->geometry();
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, g.center().x(), g.top()), Palette::line));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, g.left() + 4, g.center().y()), Palette::surface));
    // The corner is a quarter circle of 16: 4 in along the diagonal lies outside it (a card's
    // 12 would cover it), 6 in lies inside.
    EXPECT_FALSE(probe::colorNear(probe::pixel(image, g.left() + 4, g.top() + 4), Palette::surface));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, g.left() + 6, g.top() + 6), Palette::surface));
    // Below the panel the shadow darkens the canvas; far away it does not.
    const QColor under = probe::pixel(image, g.center().x(), g.bottom() + 6);
    EXPECT_LT(under.lightness(), Palette::canvas.lightness());
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 2, 2), Palette::canvas));
}
