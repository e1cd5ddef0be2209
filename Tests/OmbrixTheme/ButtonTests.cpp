#include <gtest/gtest.h>

#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <memory>

#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Palette.h"
#include "Support/WidgetProbe.h"

namespace {

const QColor backdrop = Palette::surface;

enum class State { rest, hover, pressedHover, disabledHover };

void apply(QAbstractButton& b, State s) {
    if (s == State::disabledHover) b.setEnabled(false);
    if (s != State::rest) probe::hoverIn(b);
    if (s == State::pressedHover) b.setDown(true);
}

}  // namespace

// The views' tests tell which look a button has by its variant: tints must tell apart.
TEST(ButtonVariant, EqualityGoesByKindAndTint) {
    EXPECT_EQ(ButtonVariant::tinted(Palette::info), ButtonVariant::tinted(Palette::info));
    EXPECT_FALSE(ButtonVariant::tinted(Palette::info) == ButtonVariant::tinted(Palette::warn));
    EXPECT_FALSE(ButtonVariant::primary == ButtonVariant::secondary);
    EXPECT_FALSE(ButtonVariant::danger == ButtonVariant::tinted(Palette::danger));
}

TEST(AppButton, PaintsFillBorderAndLabelOfEachState) {
    // The colours of each layer and the opacity the whole button is drawn at; the expected
    // pixels are these layers composited over the backdrop.
    struct Case {
        ButtonVariant variant;
        State state;
        QColor fill, border, ink;
        qreal opacity;
        const char* note;
    };
    const QColor clear(Qt::transparent);
    const auto danger = [](qreal a) { return withOpacity(Palette::danger, a); };
    const auto green = [](qreal a) { return withOpacity(Palette::success, a); };
    const Case cases[] = {
        {ButtonVariant::primary, State::rest, Palette::accent, clear, accentInk, 1, "primary at rest"},
        {ButtonVariant::primary, State::hover, Palette::accentHover, clear, accentInk, 1, "primary hovered"},
        {ButtonVariant::primary, State::pressedHover, Palette::accentHover, clear, accentInk, 0.75,
         "primary pressed under the pointer"},
        {ButtonVariant::secondary, State::rest, Palette::elevated, Palette::line, Palette::textSoft, 1,
         "secondary at rest"},
        {ButtonVariant::secondary, State::hover, Palette::hover, Palette::lineStrong, Palette::text, 1,
         "secondary hovered"},
        {ButtonVariant::secondary, State::disabledHover, Palette::elevated, Palette::line, Palette::textSoft,
         0.4, "disabled secondary keeps its rest look at 0.4"},
        {ButtonVariant::ghost, State::rest, clear, clear, Palette::textSoft, 1, "ghost at rest"},
        {ButtonVariant::ghost, State::hover, Palette::hover, clear, Palette::text, 1, "ghost hovered"},
        {ButtonVariant::danger, State::rest, danger(0.14), danger(0.35), Palette::danger, 1,
         "danger at rest"},
        {ButtonVariant::danger, State::hover, danger(0.24), danger(0.35), Palette::danger, 1,
         "danger hovered"},
        {ButtonVariant::tinted(Palette::success), State::rest, green(0.15), green(0.35), Palette::success, 1,
         "tinted at rest"},
        {ButtonVariant::tinted(Palette::success), State::hover, green(0.24), green(0.35), Palette::success, 1,
         "tinted hovered"},
    };
    for (const Case& c : cases) {
        const auto layer = [&](const QColor& color, const QColor& below) {
            return probe::over(withOpacity(color, color.alphaF() * c.opacity), below);
        };
        const QColor fill = layer(c.fill, backdrop);
        const QColor border = layer(c.border, fill);
        const QColor ink = layer(c.ink, fill);

        AppButton button(QStringLiteral("Kaydet"), c.variant);
        button.resize(button.sizeHint());
        apply(button, c.state);
        const QImage image = probe::render(button, backdrop);
        const int midY = image.height() / 2;
        EXPECT_TRUE(probe::colorNear(probe::pixel(image, 4, midY), fill)) << c.note << ": fill";
        EXPECT_TRUE(probe::colorNear(probe::pixel(image, 0, midY), border)) << c.note << ": border";
        EXPECT_TRUE(probe::containsColor(image, image.rect().adjusted(10, 6, -10, -6), ink))
            << c.note << ": label";
        EXPECT_TRUE(probe::colorNear(probe::pixel(image, 0, 0), backdrop)) << c.note << ": rounded corner";
    }
}

TEST(AppButton, HoverNeedsTheButtonEnabled) {
    AppButton button(QStringLiteral("Sil"), ButtonVariant::secondary);
    button.show();
    probe::hoverIn(button);
    EXPECT_TRUE(button.isHovering());
    button.setEnabled(false);
    const QImage disabled = probe::render(button, backdrop);
    EXPECT_TRUE(probe::colorNear(probe::pixel(disabled, 4, disabled.height() / 2),
                                 probe::over(withOpacity(Palette::elevated, 0.4), backdrop)));
    button.setEnabled(true);
    const QImage enabled = probe::render(button, backdrop);
    EXPECT_TRUE(probe::colorNear(probe::pixel(enabled, 4, enabled.height() / 2), Palette::hover));
    probe::hoverOut(button);
    EXPECT_FALSE(button.isHovering());
    const QImage left = probe::render(button, backdrop);
    EXPECT_TRUE(probe::colorNear(probe::pixel(left, 4, left.height() / 2), Palette::elevated));
}

TEST(AppButton, SizeFollowsSmallAndWide) {
    struct Case {
        bool small;
        int height;
        int fontPixels;
        int padding;
    };
    for (const Case& c : {Case{false, 30, 13, 14}, Case{true, 24, 12, 10}}) {
        QWidget host;
        auto* layout = new QVBoxLayout(&host);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* natural = new AppButton(QStringLiteral("Yeni kasa…"));
        natural->setSmall(c.small);
        auto* wide = new AppButton(QStringLiteral("Yeni kasa…"));
        wide->setSmall(c.small);
        wide->setWide(true);
        layout->addWidget(natural, 0, Qt::AlignLeft);
        layout->addWidget(wide);
        host.resize(320, 100);
        host.show();
        QApplication::processEvents();

        const QFont font = BrandFont::body(c.fontPixels, QFont::DemiBold);
        const int textWidth = qCeil(QFontMetricsF(font).horizontalAdvance(QStringLiteral("Yeni kasa…")));
        EXPECT_EQ(natural->height(), c.height) << "small " << c.small;
        EXPECT_EQ(wide->height(), c.height) << "small " << c.small;
        EXPECT_NEAR(natural->width(), textWidth + 2 * c.padding, 1) << "small " << c.small;
        EXPECT_EQ(wide->width(), 320) << "small " << c.small;
    }
}

TEST(AppButton, ClickingRunsTheActionAndDefaultAnswersReturnInADialog) {
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* edit = new QLineEdit;
    auto* cancel = new AppButton(QStringLiteral("Vazgeç"), ButtonVariant::secondary);
    auto* confirm = new AppButton(QStringLiteral("Kaydet"), ButtonVariant::primary);
    confirm->setDefault(true);
    layout->addWidget(edit);
    layout->addWidget(cancel);
    layout->addWidget(confirm);
    int cancelled = 0, confirmed = 0;
    QObject::connect(cancel, &QAbstractButton::clicked, [&] { ++cancelled; });
    QObject::connect(confirm, &QAbstractButton::clicked, [&] { ++confirmed; });
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    edit->setFocus();
    QApplication::processEvents();

    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(edit, &press);
    EXPECT_EQ(confirmed, 1);
    EXPECT_EQ(cancelled, 0);
    EXPECT_TRUE(edit->hasFocus());  // Return did not move the focus

    const QPointF centre(cancel->width() / 2.0, cancel->height() / 2.0);
    QMouseEvent down(QEvent::MouseButtonPress, centre, cancel->mapToGlobal(centre), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QMouseEvent up(QEvent::MouseButtonRelease, centre, cancel->mapToGlobal(centre), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(cancel, &down);
    QApplication::sendEvent(cancel, &up);
    EXPECT_EQ(cancelled, 1);
    EXPECT_TRUE(edit->hasFocus());  // a click leaves the keyboard focus where it was
}

TEST(IconButton, PaintsGlyphAndHoverFill) {
    struct Case {
        State state;
        QColor fill, glyph;
        const char* note;
    };
    const QColor tint = Palette::accent;
    const Case cases[] = {
        {State::rest, backdrop, Palette::textSoft, "rest: soft glyph, no fill"},
        {State::hover, probe::over(withOpacity(tint, 0.16), backdrop), tint,
         "hovered: tinted glyph on tint 0.16"},
        {State::pressedHover, probe::over(withOpacity(tint, 0.16 * 0.6), backdrop),
         probe::over(withOpacity(tint, 0.6), probe::over(withOpacity(tint, 0.16 * 0.6), backdrop)),
         "pressed: 0.6 opacity"},
        {State::disabledHover, backdrop, probe::over(withOpacity(Palette::textSoft, 0.35), backdrop),
         "disabled: no hover look, 0.35 opacity"},
    };
    for (const Case& c : cases) {
        // A filled disc has fully covered pixels to compare at this size.
        IconButton button(QStringLiteral("record.circle.fill"), tint, 28);
        apply(button, c.state);
        const QImage image = probe::render(button, backdrop);
        ASSERT_EQ(image.size(), QSize(28, 28));
        EXPECT_TRUE(probe::colorNear(probe::pixel(image, 3, 14), c.fill)) << c.note;
        EXPECT_TRUE(probe::containsColor(image, QRect(8, 8, 12, 12), c.glyph)) << c.note;
    }
}

TEST(IconButton, GlyphIsFortyFourHundredthsOfTheSide) {
    IconButton button(QStringLiteral("plus"), Palette::accent, 28);
    const QImage image = probe::render(button, backdrop);
    QRect drawn;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!probe::colorNear(probe::pixel(image, x, y), backdrop, 8)) drawn |= QRect(x, y, 1, 1);
    // 28 × 0.44 = 12.32: the plus spans nearly its whole box.
    EXPECT_GE(drawn.width(), 10);
    EXPECT_LE(drawn.width(), 13);
    EXPECT_NEAR(drawn.center().x(), 14, 1);
    EXPECT_NEAR(drawn.center().y(), 14, 1);
}
