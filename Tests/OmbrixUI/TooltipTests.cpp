#include <gtest/gtest.h>

#include <QHelpEvent>
#include <QPushButton>
#include <QTest>
#include <QToolTip>

#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/Tooltip.h"
#include "Support/WidgetProbe.h"

namespace {

// Shows the tip of `widget` as the platform does when the pointer rests at `pos`.
void restPointer(QWidget& widget, QPoint pos) {
    QHelpEvent event(QEvent::ToolTip, pos, widget.mapToGlobal(pos));
    QApplication::sendEvent(&widget, &event);
}

}  // namespace

TEST(Tooltip, AttachesReplacesAndRemovesTheText) {
    QPushButton button(QStringLiteral("Kopyala"));
    button.resize(100, 30);
    button.show();
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&clicks] { ++clicks; });

    setTooltip(&button, QStringLiteral("Parola panoya kopyala"));
    EXPECT_EQ(button.toolTip(), QStringLiteral("Parola panoya kopyala"));
    restPointer(button, {50, 15});
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Parola panoya kopyala"));

    // A tip that is showing follows a new text at once, and closes when the text goes.
    button.setAttribute(Qt::WA_UnderMouse, true);
    setTooltip(&button, QStringLiteral("Parolayı gizle"));
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Parolayı gizle"));
    setTooltip(&button, QString());
    EXPECT_TRUE(button.toolTip().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
    button.setAttribute(Qt::WA_UnderMouse, false);

    // The tip takes no part in clicks.
    setTooltip(&button, QStringLiteral("Parola panoya kopyala"));
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST(Tooltip, AreaTipShowsOnlyInsideItsArea) {
    QWidget list;
    list.resize(200, 100);
    list.show();
    const QRect area(150, 10, 24, 24);
    struct Case {
        QPoint pos;
        QString text;
        bool shown;
        const char* note;
    };
    const Case cases[] = {
        {{160, 20}, QStringLiteral("Süresi dolmuş"), true, "inside"},
        {{10, 20}, QStringLiteral("Süresi dolmuş"), false, "outside"},
        {{160, 20}, QString(), false, "empty text"},
    };
    for (const Case& c : cases) {
        QToolTip::hideText();
        ASSERT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
        const QHelpEvent event(QEvent::ToolTip, c.pos, list.mapToGlobal(c.pos));
        EXPECT_EQ(showAreaTooltip(&event, &list, area, c.text), c.shown) << c.note;
        EXPECT_EQ(QToolTip::isVisible(), c.shown) << c.note;
        if (c.shown) {
            EXPECT_EQ(QToolTip::text(), c.text) << c.note;
        }
    }
}

TEST(Tooltip, DrawsOnTheRaisedSurfaceWithAQuietFrame) {
    QWidget widget;
    widget.resize(100, 40);
    widget.show();
    setTooltip(&widget, QStringLiteral("Parola panoya kopyala"));
    restPointer(widget, {50, 20});
    ASSERT_TRUE(QToolTip::isVisible());
    QWidget* tip = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("QTipLabel") && w->isVisible()) tip = w;
    ASSERT_TRUE(tip);
    const QImage shot = tip->grab().toImage();
    const int midY = shot.height() / 2;
    for (const QPoint edge : {QPoint(0, midY), QPoint(shot.width() - 1, midY), QPoint(shot.width() / 2, 0),
                              QPoint(shot.width() / 2, shot.height() - 1)})
        EXPECT_TRUE(probe::colorNear(probe::pixel(shot, edge.x(), edge.y()), Palette::lineStrong))
            << edge.x() << "," << edge.y();
    EXPECT_TRUE(probe::colorNear(probe::pixel(shot, 2, midY), Palette::elevated));
    EXPECT_TRUE(probe::containsColor(shot, shot.rect().adjusted(3, 3, -3, -3), Palette::text)) << "its text";
    QToolTip::hideText();
}
