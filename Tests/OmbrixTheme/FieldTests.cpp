#include <gtest/gtest.h>

#include <QLineEdit>
#include <QVBoxLayout>

#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixTheme/FontRegistrar.h"
#include "OmbrixTheme/Palette.h"
#include "Support/WidgetProbe.h"

namespace {
const QColor backdrop = Palette::surface;
}

TEST(AppTextField, StylesGiveHeightAndFont) {
    struct Case {
        AppTextFieldStyle style;
        int height;
        int pixels;
        bool monospaced;
        const char* note;
    };
    const Case cases[] = {
        {AppTextFieldStyle::app, 30, 13, false, "app"},
        {AppTextFieldStyle::appLarge, 38, 14, false, "appLarge"},
        {AppTextFieldStyle::appMono, 30, 12, true, "appMono"},
        {AppTextFieldStyle{true, true}, 38, 14, true, "mono and large"},
    };
    for (const Case& c : cases) {
        QWidget host;
        auto* layout = new QVBoxLayout(&host);
        auto* field = new AppTextField(c.style);
        layout->addWidget(field);
        layout->addStretch();
        host.resize(300, 120);
        host.show();
        QApplication::processEvents();
        EXPECT_EQ(field->height(), c.height) << c.note;
        const QFont font = field->lineEdit()->font();
        EXPECT_EQ(font.pixelSize(), c.pixels) << c.note;
        EXPECT_EQ(font.weight(), QFont::Normal) << c.note;
        EXPECT_EQ(bool(probe::monospaced(font)), c.monospaced) << c.note;
        if (!c.monospaced) {
            EXPECT_EQ(font.family(), FontRegistrar::textFamily) << c.note;
        }
        // 12 of side padding inside the frame.
        EXPECT_EQ(field->lineEdit()->geometry().left(), 12) << c.note;
        EXPECT_EQ(field->lineEdit()->geometry().right(), field->width() - 13) << c.note;
    }
}

TEST(AppTextField, KeyboardFocusTurnsTheBorderToAccentAndShowsTheRing) {
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    auto* other = new QLineEdit;
    auto* field = new AppTextField(AppTextFieldStyle::app);
    layout->addWidget(other);
    layout->addWidget(field);
    host.resize(300, 100);
    host.show();
    QApplication::setActiveWindow(&host);
    other->setFocus();
    QApplication::processEvents();

    const int x = field->width() / 2;
    QImage image = probe::render(*field, backdrop);
    EXPECT_FALSE(field->isFocused());
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, x, 0), Palette::line));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, x, 1), Palette::canvas));

    field->lineEdit()->setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
    EXPECT_TRUE(field->isFocused());
    image = probe::render(*field, backdrop);
    const QColor ring = probe::over(withOpacity(Palette::accent, 0.35), Palette::canvas);
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, x, 0), Palette::accent));  // border under the ring
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, x, 1), ring));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, x, 2), ring));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, x, 3), Palette::canvas));

    other->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(field->isFocused());
    image = probe::render(*field, backdrop);
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, x, 0), Palette::line));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, x, 1), Palette::canvas));
}

TEST(FieldChrome, ShowsTheFocusedLookWithoutOwningFocus) {
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    auto* edit = new QLineEdit;
    auto* chrome = new FieldChrome(false);
    auto* inner = new QLineEdit;
    FieldChrome::prepareLineEdit(inner);
    chrome->contentLayout()->addWidget(inner);
    layout->addWidget(edit);
    layout->addWidget(chrome);
    host.resize(300, 100);
    host.show();
    QApplication::setActiveWindow(&host);
    edit->setFocus();
    QApplication::processEvents();

    chrome->setFocused(true);
    const QImage image = probe::render(*chrome, backdrop);
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 0, image.height() / 2), Palette::accent));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 2, image.height() / 2),
                                 probe::over(withOpacity(Palette::accent, 0.35), Palette::canvas)));
    EXPECT_EQ(QApplication::focusWidget(), edit);
    EXPECT_EQ(chrome->height(), 30);

    FieldChrome large(true);
    EXPECT_EQ(large.minimumHeight(), 38);
}

TEST(FieldChrome, PreparedLineEditDrawsNoBackgroundOfItsOwn) {
    FieldChrome chrome(false);
    auto* inner = new QLineEdit(QStringLiteral("metin"));
    FieldChrome::prepareLineEdit(inner);
    chrome.contentLayout()->addWidget(inner);
    chrome.resize(200, 30);
    chrome.show();
    QApplication::processEvents();
    const QImage image = probe::render(chrome, backdrop);
    // Right of the text, inside the line edit: the frame's canvas shows through.
    const QPoint inside = inner->geometry().topRight() + QPoint(-3, inner->height() / 2);
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, inside.x(), inside.y()), Palette::canvas));
    EXPECT_FALSE(inner->hasFrame());
    EXPECT_EQ(inner->palette().color(QPalette::Text), Palette::text);
    EXPECT_EQ(inner->palette().color(QPalette::PlaceholderText), Palette::textMuted);
}
