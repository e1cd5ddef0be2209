#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "OmbrixTheme/AppSlider.h"
#include "OmbrixTheme/AppSwitch.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "Support/WidgetProbe.h"

namespace {

const QColor backdrop = Palette::surface;

void click(QWidget& w, QPoint at) {
    const QPointF p(at);
    QMouseEvent down(QEvent::MouseButtonPress, p, w.mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QMouseEvent up(QEvent::MouseButtonRelease, p, w.mapToGlobal(p), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(&w, &down);
    QApplication::sendEvent(&w, &up);
}

// The brightest pixel of the label area: the colour of fully covered glyph stems.
int brightestRed(const QImage& image, const QRect& area) {
    int best = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) best = qMax(best, probe::pixel(image, x, y).red());
    return best;
}

}  // namespace

TEST(AppSwitch, KnobAndCapsuleFollowTheValue) {
    struct Case {
        bool on;
        QColor track, knob, outline;
        const char* note;
    };
    const Case cases[] = {
        {false, Palette::canvas, Palette::textMuted, Palette::line, "off"},
        {true, Palette::accent, Qt::white, Palette::accent, "on"},
    };
    for (const Case& c : cases) {
        AppSwitch sw(QStringLiteral("Rakam  0–9"));
        sw.resize(260, sw.heightForWidth(260));
        sw.setChecked(c.on);
        const QRectF capsule = sw.switchRect();
        const QRectF knob = sw.knobRect();
        EXPECT_EQ(capsule.size(), QSizeF(38, 22)) << c.note;
        EXPECT_EQ(capsule.right(), 260) << c.note;  // at the trailing edge
        EXPECT_EQ(knob.size(), QSizeF(16, 16)) << c.note;
        EXPECT_EQ(knob.top(), capsule.top() + 3) << c.note;
        if (c.on) {
            EXPECT_EQ(knob.right(), capsule.right() - 3) << c.note;
        } else {
            EXPECT_EQ(knob.left(), capsule.left() + 3) << c.note;
        }

        const QImage image = probe::render(sw, backdrop);
        const QPoint k = knob.center().toPoint();
        EXPECT_TRUE(probe::colorNear(probe::pixel(image, k.x(), k.y()), c.knob)) << c.note << ": knob";
        // The track on the side the knob left free.
        const int freeX = c.on ? int(capsule.left()) + 6 : int(capsule.right()) - 6;
        EXPECT_TRUE(probe::colorNear(probe::pixel(image, freeX, int(capsule.center().y())), c.track))
            << c.note << ": track";
        EXPECT_TRUE(
            probe::colorNear(probe::pixel(image, int(capsule.center().x()), int(capsule.top())), c.outline))
            << c.note << ": outline";
    }
}

TEST(AppSwitch, ClickAnywhereOnTheRowFlipsIt) {
    AppSwitch sw(QStringLiteral("Küçük harf  a–z"));
    sw.resize(300, sw.heightForWidth(300));
    int toggles = 0;
    QObject::connect(&sw, &QAbstractButton::toggled, [&] { ++toggles; });
    const QPoint places[] = {{4, sw.height() / 2},                 // on the label
                             {180, sw.height() / 2},               // in the space
                             sw.switchRect().center().toPoint()};  // on the switch
    bool expected = false;
    for (const QPoint& at : places) {
        click(sw, at);
        expected = !expected;
        EXPECT_EQ(sw.isChecked(), expected) << at.x();
    }
    EXPECT_EQ(toggles, 3);
}

TEST(AppSwitch, HoverBrightensTheLabelEvenWhenDisabled) {
    for (bool enabled : {true, false}) {
        AppSwitch sw(QStringLiteral("Sembol  !@#$…"));
        sw.resize(300, sw.heightForWidth(300));
        sw.setEnabled(enabled);
        const QRect label(0, 0, 120, sw.height());
        EXPECT_NEAR(brightestRed(probe::render(sw, backdrop), label), Palette::textSoft.red(), 3) << enabled;
        probe::hoverIn(sw);
        EXPECT_TRUE(sw.isHovering());
        EXPECT_NEAR(brightestRed(probe::render(sw, backdrop), label), Palette::text.red(), 3) << enabled;
        probe::hoverOut(sw);
        EXPECT_FALSE(sw.isHovering());
    }
}

TEST(AppSwitch, SwitchSitsOnTheFirstBaselineOfAWrappedLabel) {
    const QString text =
        QStringLiteral("Benzer görünen karakterleri parolaya hiç koyma, böylece okunması kolay olur");
    AppSwitch wide(text);
    AppSwitch narrow(text);
    wide.resize(900, wide.heightForWidth(900));
    narrow.resize(160, narrow.heightForWidth(160));
    const QFontMetricsF fm(BrandFont::body(13, QFont::Normal));
    EXPECT_LT(wide.height(), 2 * fm.lineSpacing());
    EXPECT_GT(narrow.height(), 3 * fm.lineSpacing());  // wrapped onto several lines
    // Same place in both: the bottom 6 below the first baseline, not centred on the label.
    EXPECT_EQ(narrow.switchRect().top(), wide.switchRect().top());
    EXPECT_LT(narrow.switchRect().bottom(), narrow.height() / 2.0);
    // The label's first baseline is the switch's bottom minus 6: find the first label row
    // with ink and check it lies one ascent above that baseline.
    const QImage image = probe::render(narrow, backdrop);
    int firstInk = -1;
    for (int y = 0; y < image.height() && firstInk < 0; ++y)
        for (int x = 0; x < 100; ++x)
            if (!probe::colorNear(probe::pixel(image, x, y), backdrop, 20)) {
                firstInk = y;
                break;
            }
    const qreal baseline = narrow.switchRect().bottom() - 6;
    EXPECT_NEAR(firstInk, baseline - fm.capHeight(), 2.5);
}

TEST(AppSlider, TheWheelMovesItOnlyWithTheFocus) {
    QScrollArea area;
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* field = new QLineEdit;
    auto* slider = new AppSlider(8, 128, Palette::accent);
    slider->setValue(64);
    layout->addWidget(field);
    layout->addWidget(slider);
    layout->addSpacing(2000);
    area.setWidget(page);
    area.setWidgetResizable(true);
    area.resize(300, 200);
    area.show();
    QApplication::setActiveWindow(&area);
    field->setFocus();
    QApplication::processEvents();

    // Whether the slider kept the turn of the wheel: one it leaves goes on to the page under it.
    const auto wheel = [&] {
        const QPointF at(slider->width() / 2.0, slider->height() / 2.0);
        QWheelEvent event(at, slider->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(slider, &event);
        return event.isAccepted();
    };
    EXPECT_FALSE(wheel());
    EXPECT_EQ(slider->value(), 64);

    slider->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(wheel());
    EXPECT_NE(slider->value(), 64);
}
