#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <optional>

#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/SheetScaffold.h"
#include "Support/WidgetProbe.h"

namespace {

// A main window with a sheet opened over it; the form holds a line edit (focused) and a button
// of its own. The test counts what the sheet asks for.
struct OpenSheet {
    QWidget mainWindow;
    SheetScaffold* sheet;
    QLineEdit* field = new QLineEdit;
    AppButton* formButton = new AppButton(QStringLiteral("Oluştur"), ButtonVariant::ghost);
    // Stock push buttons make themselves the default button when they take the focus.
    QPushButton* stockButton = new QPushButton(QStringLiteral("Ekle"));
    int confirms = 0;
    int cancels = 0;
    int formButtonClicks = 0;

    explicit OpenSheet(std::optional<QString> subtitle = QStringLiteral("Genel")) {
        mainWindow.resize(700, 500);
        mainWindow.show();
        sheet =
            new SheetScaffold(QStringLiteral("Yeni kayıt"), subtitle, QStringLiteral("Kaydet"), &mainWindow);
        auto* form = new QWidget;
        auto* layout = new QVBoxLayout(form);
        layout->addWidget(field);
        layout->addWidget(formButton);
        layout->addWidget(stockButton);
        sheet->setContent(form);
        QObject::connect(sheet, &SheetScaffold::confirmRequested, [this] { ++confirms; });
        QObject::connect(sheet, &SheetScaffold::cancelRequested, [this] { ++cancels; });
        QObject::connect(formButton, &QAbstractButton::clicked, [this] { ++formButtonClicks; });
        QObject::connect(stockButton, &QAbstractButton::clicked, [this] { ++formButtonClicks; });
        sheet->resize(440, 360);
        sheet->open();
        QApplication::setActiveWindow(sheet);
        field->setFocus();
        QApplication::processEvents();
    }

    void press(Qt::Key key) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : sheet;
        QTest::keyClick(target, key);
    }
};

}  // namespace

TEST(SheetScaffold, ReturnConfirmsOnlyWhileEnabledEscapeAndCancelAlwaysAsk) {
    for (bool enabled : {true, false}) {
        OpenSheet s;
        s.sheet->setConfirmEnabled(enabled);
        EXPECT_EQ(s.sheet->confirmButton()->isEnabled(), enabled);

        s.press(Qt::Key_Return);
        s.press(Qt::Key_Enter);
        EXPECT_EQ(s.confirms, enabled ? 2 : 0) << "enabled " << enabled;
        QTest::mouseClick(s.sheet->confirmButton(), Qt::LeftButton);
        EXPECT_EQ(s.confirms, enabled ? 3 : 0) << "enabled " << enabled;

        s.press(Qt::Key_Escape);
        QTest::mouseClick(s.sheet->cancelButton(), Qt::LeftButton);
        s.sheet->close();  // the window's close button
        EXPECT_EQ(s.cancels, 3) << "enabled " << enabled;
        EXPECT_EQ(s.confirms, enabled ? 3 : 0) << "enabled " << enabled;
        // Asking is all it does: the owner closes the sheet.
        EXPECT_TRUE(s.sheet->isVisible()) << "enabled " << enabled;
        EXPECT_EQ(s.sheet->windowModality(), Qt::WindowModal);
        EXPECT_EQ(s.sheet->parentWidget(), &s.mainWindow);
    }
}

TEST(SheetScaffold, ReturnMeansConfirmWhateverButtonHasTheFocus) {
    OpenSheet s;
    const QList<QWidget*> buttons{s.formButton, s.stockButton, s.sheet->cancelButton(),
                                  s.sheet->confirmButton()};
    for (QWidget* focused : buttons) {
        focused->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(focused->hasFocus());
        s.press(Qt::Key_Return);
    }
    EXPECT_EQ(s.confirms, 4);
    EXPECT_EQ(s.cancels, 0);
    EXPECT_EQ(s.formButtonClicks, 0);

    // With the confirm button disabled Return presses nothing else either.
    s.sheet->setConfirmEnabled(false);
    s.stockButton->setFocus(Qt::TabFocusReason);
    s.press(Qt::Key_Return);
    s.formButton->setFocus(Qt::TabFocusReason);
    s.press(Qt::Key_Return);
    EXPECT_EQ(s.confirms, 4);
    EXPECT_EQ(s.formButtonClicks, 0);
    // Space still presses the focused button.
    s.press(Qt::Key_Space);
    EXPECT_EQ(s.formButtonClicks, 1);
}

TEST(SheetScaffold, HeaderShowsTitleAndASubtitleLineOnlyWhenThereIsText) {
    struct Case {
        std::optional<QString> subtitle;
        bool subtitleShown;
        const char* note;
    };
    const Case cases[] = {
        {std::nullopt, false, "absent"},
        {QString(), false, "empty"},
        {QStringLiteral("Kişisel › Bankalar"), true, "present"},
    };
    int titleOnlyHeight = -1;
    for (const Case& c : cases) {
        OpenSheet s(c.subtitle);
        EXPECT_EQ(s.sheet->titleLabel()->text(), QStringLiteral("Yeni kayıt")) << c.note;
        EXPECT_EQ(s.sheet->titleLabel()->font(), BrandFont::sheetTitle()) << c.note;
        EXPECT_EQ(s.sheet->subtitle(), c.subtitle) << c.note;
        EXPECT_EQ(s.sheet->subtitleLabel()->isVisible(), c.subtitleShown) << c.note;
        EXPECT_EQ(s.sheet->confirmButton()->text(), QStringLiteral("Kaydet")) << c.note;
        EXPECT_EQ(s.sheet->cancelButton()->text(), QStringLiteral("Vazgeç")) << c.note;
        EXPECT_EQ(s.sheet->confirmButton()->variant(), ButtonVariant::primary) << c.note;
        EXPECT_EQ(s.sheet->cancelButton()->variant(), ButtonVariant::secondary) << c.note;
        const int headerHeight = s.sheet->titleLabel()->parentWidget()->height();
        if (!c.subtitleShown) {
            if (titleOnlyHeight >= 0) {
                EXPECT_EQ(headerHeight, titleOnlyHeight) << c.note;
            }
            titleOnlyHeight = headerHeight;
        } else {
            EXPECT_GT(headerHeight, titleOnlyHeight) << c.note;
        }
    }

    // Texts wider than the sheet stay on one line and are cut.
    OpenSheet s(QStringLiteral("Bu alt başlık da sayfanın genişliğinden çok daha uzun, tek satırda kalır"));
    s.sheet->setTitle(
        QStringLiteral("Çok uzun bir başlık: Şirket e-posta hesabı ve bütün yardımcı hesapları"));
    s.sheet->resize(300, 360);
    QApplication::processEvents();
    EXPECT_TRUE(s.sheet->titleLabel()->isElided());
    EXPECT_TRUE(s.sheet->subtitleLabel()->isElided());
    EXPECT_LE(s.sheet->titleLabel()->height(), s.sheet->titleLabel()->sizeHint().height());
}

TEST(SheetScaffold, TallContentScrollsBetweenFixedHeaderAndFooter) {
    OpenSheet s;
    QPointer<QWidget> previousForm = s.sheet->content();
    auto* tall = new QWidget;
    tall->setMinimumHeight(1200);
    s.sheet->setContent(tall);
    EXPECT_TRUE(previousForm.isNull());
    QApplication::processEvents();
    QScrollBar* bar = s.sheet->scrollArea()->verticalScrollBar();
    // The scroll bar follows the new form's size a few turns of the event loop later.
    ASSERT_TRUE(QTest::qWaitFor([bar] { return bar->isVisible(); }, 2000));
    EXPECT_GT(bar->maximum(), 0);
    // The slim bar of the rest of the interface: narrow, with no arrow buttons and no groove,
    // so the bar's ends show the sheet's surface.
    EXPECT_LE(bar->width(), 10);
    const QImage shot = s.sheet->grab().toImage();
    const QRect area(bar->mapTo(s.sheet, QPoint(0, 0)), bar->size());
    for (int y : {area.top(), area.bottom()})
        for (int x = area.left(); x <= area.right(); ++x)
            EXPECT_TRUE(probe::colorNear(probe::pixel(shot, x, y), Palette::surface)) << x << "," << y;
    EXPECT_TRUE(probe::containsColor(shot, area, Palette::lineStrong)) << "the handle";

    const QPoint titleBefore = s.sheet->titleLabel()->mapTo(s.sheet, QPoint());
    const QPoint confirmBefore = s.sheet->confirmButton()->mapTo(s.sheet, QPoint());
    const QPoint contentBefore = tall->mapTo(s.sheet, QPoint());
    EXPECT_TRUE(s.sheet->rect().contains(QRect(confirmBefore, s.sheet->confirmButton()->size())));
    bar->setValue(bar->maximum());
    QApplication::processEvents();
    EXPECT_EQ(s.sheet->titleLabel()->mapTo(s.sheet, QPoint()), titleBefore);
    EXPECT_EQ(s.sheet->confirmButton()->mapTo(s.sheet, QPoint()), confirmBefore);
    EXPECT_LT(tall->mapTo(s.sheet, QPoint()).y(), contentBefore.y());
}
