#include <gtest/gtest.h>

#include <QColor>
#include <QLineEdit>
#include <QVBoxLayout>

#include <functional>

#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixUI/ConflictDialog.h"
#include "OmbrixUI/GroupOutlineView.h"
#include "OmbrixUI/GroupTreeModel.h"
#include "OmbrixUI/GroupTreeView.h"
#include "OmbrixUI/StrengthMeter.h"
#include "Support/MainWindowFixture.h"
#include "Support/WidgetProbe.h"

namespace {

// A colour no element of the interface uses: whatever a sample finds, the widget drew it.
const QColor backdrop(200, 0, 200);

struct Picture {
    QImage image;
    // Where to look: a fill is checked at the area's top-left pixel, a glyph anywhere in the
    // area (its fully covered stems have the colour).
    QRect area;
};

Picture buttonFill(ButtonVariant variant, bool hovered, int x) {
    AppButton button(QStringLiteral("Kaydet"), variant);
    button.resize(button.sizeHint());
    if (hovered) probe::hoverIn(button);
    const QImage image = probe::render(button, backdrop);
    return {image, QRect(x, image.height() / 2, 1, 1)};
}

Picture buttonLabel(ButtonVariant variant, bool hovered) {
    AppButton button(QStringLiteral("Kaydet"), variant);
    button.resize(button.sizeHint());
    if (hovered) probe::hoverIn(button);
    const QImage image = probe::render(button, backdrop);
    return {image, image.rect().adjusted(10, 6, -10, -6)};
}

// A text field with `text`, or with `placeholder` shown while empty, while another widget has the
// keyboard.
Picture field(const QString& text, const QString& placeholder, bool inside) {
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* other = new QLineEdit;
    layout->addWidget(other);
    auto* field = new AppTextField;
    field->lineEdit()->setText(text);
    field->lineEdit()->setPlaceholderText(placeholder);
    layout->addWidget(field);
    host.resize(200, 80);
    host.show();
    QApplication::setActiveWindow(&host);
    other->setFocus();
    QApplication::processEvents();
    const QImage image = probe::render(*field, backdrop);
    if (!inside) return {image, QRect(image.width() / 2, 0, 1, 1)};
    return {image, field->lineEdit()->geometry()};
}

Picture strengthSegment(const QString& password) {
    StrengthMeter meter;
    meter.setPassword(password);
    meter.resize(203, meter.sizeHint().height());
    return {probe::render(meter, backdrop), QRect(24, 2, 1, 1)};
}

Picture dialogBackground() {
    ConflictDialog dialog(QStringLiteral("kasa.kdbx"));
    return {probe::render(dialog, backdrop), QRect(2, 2, 1, 1)};
}

// The sidebar with its root group selected.
Picture selectedGroupRow() {
    mainwindow::Fixture f;
    f.state->setSelectedGroupID(f.state->database()->root.id);
    GroupTreeView view(*f.state);
    view.resize(210, 400);
    view.show();
    mainwindow::settle();
    GroupOutlineView& tree = *view.tree();
    const QRect row = tree.visualRect(view.model().indexOf(f.state->database()->root.id))
                          .translated(tree.viewport()->mapTo(&view, QPoint(0, 0)));
    // Right of the name, left of the count.
    return {probe::render(view, backdrop), QRect(row.center() + QPoint(40, 0), QSize(1, 1))};
}

}  // namespace

// The design's colours, written out, where the interface draws them: a changed value shows here
// as what the user would see change.
TEST(Palette, TheInterfaceDrawsInTheDesignsColours) {
    const QString blank;
    struct Case {
        std::function<Picture()> draw;
        bool fill;
        const char* hex;
        const char* note;
    };
    const Case cases[] = {
        {[] { return buttonFill(ButtonVariant::primary, false, 4); }, true, "#ff6b3d",
         "accent: primary button"},
        {[] { return buttonFill(ButtonVariant::primary, true, 4); }, true, "#ff804f",
         "accent hover: primary button under the pointer"},
        {[] { return buttonLabel(ButtonVariant::primary, false); }, false, "#1a0f08",
         "ink on accent: primary button's label"},
        {[] { return buttonFill(ButtonVariant::secondary, false, 4); }, true, "#252017",
         "elevated: secondary button"},
        {[] { return buttonFill(ButtonVariant::secondary, true, 4); }, true, "#2e2823",
         "hover: secondary button under the pointer"},
        {[] { return buttonFill(ButtonVariant::secondary, false, 0); }, true, "#342d27",
         "line: secondary button's border"},
        {[] { return buttonFill(ButtonVariant::secondary, true, 0); }, true, "#4a4139",
         "strong line: secondary button's border under the pointer"},
        {[] { return buttonLabel(ButtonVariant::secondary, false); }, false, "#c3b8ad",
         "soft text: secondary button's label"},
        {[] { return buttonLabel(ButtonVariant::secondary, true); }, false, "#f6f0ea",
         "text: secondary button's label under the pointer"},
        {[] { return buttonLabel(ButtonVariant::danger, false); }, false, "#ff6b6b",
         "danger: danger button's label"},
        {[&] { return field(blank, QStringLiteral("Ara"), false); }, true, "#342d27",
         "line: text field's border"},
        {[&] { return field(blank, QStringLiteral("Ara"), true); }, false, "#8e8379",
         "muted text: text field's placeholder"},
        {[&] { return field(QStringLiteral("Kasa"), blank, true); }, false, "#f6f0ea", "text: typed text"},
        {[&] {
             Picture p = field(QStringLiteral("Kasa"), blank, true);
             p.area = QRect(4, p.image.height() / 2, 1, 1);
             return p;
         },
         true, "#15110e", "canvas: behind a text field's content"},
        {dialogBackground, true, "#1d1815", "surface: a dialog's background"},
        {[] { return strengthSegment(QStringLiteral("password")); }, true, "#ff6b6b",
         "danger: very weak password"},
        {[] { return strengthSegment(QStringLiteral("kuşlar")); }, true, "#ffc24b", "warn: weak password"},
        {[] { return strengthSegment(QStringLiteral("Xk9#mQ2v")); }, true, "#7b92ff", "info: good password"},
        {[] { return strengthSegment(QStringLiteral("Xk9#mQ2v!Lp7@Wz4$Rt8&Yb3*Nc6^Hd")); }, true, "#4fcb90",
         "success: very strong password"},
        // The accent at 18 % over the surface #1d1815.
        {selectedGroupRow, true, "#46271c", "selection: the selected group's row"},
    };
    for (const Case& c : cases) {
        const Picture p = c.draw();
        const QColor expected(QString::fromLatin1(c.hex));
        if (c.fill) {
            EXPECT_TRUE(probe::colorNear(probe::pixel(p.image, p.area.x(), p.area.y()), expected, 1))
                << c.note;
        } else {
            EXPECT_TRUE(probe::containsColor(p.image, p.area, expected, 2)) << c.note << ": " << c.hex;
        }
    }
}

TEST(Metric, MotionIsAnEaseOutOf140Milliseconds) {
    EXPECT_EQ(Metric::motion.durationMs, 140);
    const QEasingCurve curve = Metric::motion.easing();
    EXPECT_NEAR(curve.valueForProgress(0), 0, 1e-9);
    EXPECT_NEAR(curve.valueForProgress(1), 1, 1e-9);
    // Ease-out: fast start, slow finish.
    EXPECT_GT(curve.valueForProgress(0.25), 0.35);
    EXPECT_GT(curve.valueForProgress(0.5), 0.65);
    EXPECT_LT(curve.valueForProgress(0.9), 1.0);
}
