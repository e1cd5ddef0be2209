#include "OmbrixTheme/FieldChrome.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>

#include <limits>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Motion.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"

namespace {
constexpr int sidePadding = 12;
constexpr int largeHeight = 38;
}  // namespace

FieldChrome::FieldChrome(bool large, QWidget* parent)
    : QWidget(parent), layout_(new QHBoxLayout(this)), focus_(new MotionValue(0, this)) {
    layout_->setContentsMargins(sidePadding, 0, sidePadding, 0);
    layout_->setSpacing(0);
    setMinimumHeight(large ? largeHeight : qRound(Metric::controlHeight));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void FieldChrome::setFocused(bool focused) {
    if (focused_ == focused) return;
    focused_ = focused;
    focus_->setTarget(focused ? 1 : 0);
}

void FieldChrome::followFocusOf(QWidget* widget) {
    if (focusSource_) focusSource_->removeEventFilter(this);
    focusSource_ = widget;
    if (!widget) return;
    widget->installEventFilter(this);
    setFocused(widget->hasFocus());
}

bool FieldChrome::eventFilter(QObject* watched, QEvent* event) {
    if (watched == focusSource_) {
        if (event->type() == QEvent::FocusIn) setFocused(true);
        if (event->type() == QEvent::FocusOut) setFocused(false);
    }
    return QWidget::eventFilter(watched, event);
}

void FieldChrome::prepareLineEdit(QLineEdit* edit) {
    edit->setFrame(false);
    edit->setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette pal = edit->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, Qt::transparent);
        pal.setColor(group, QPalette::Window, Qt::transparent);
        pal.setColor(group, QPalette::Text, group == QPalette::Disabled ? Palette::textMuted : Palette::text);
        pal.setColor(group, QPalette::PlaceholderText, Palette::textMuted);
        // A translucent accent keeps selected text readable in its own colour.
        pal.setColor(group, QPalette::Highlight, withOpacity(Palette::accent, 0.35));
        pal.setColor(group, QPalette::HighlightedText, Palette::text);
    }
    edit->setPalette(pal);
    edit->setAutoFillBackground(false);
    edit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    // A line edit cuts any text to 32767 characters, also in setText(); a long stored value
    // (a key or a certificate in a custom field) would come back shortened from an editor.
    edit->setMaxLength(std::numeric_limits<int>::max());
}

void FieldChrome::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRectF bounds = rect();
    const qreal t = focus_->value();
    Painting::fill(p, bounds, Radius::control, Palette::canvas);
    Painting::hairline(p, bounds, Painting::blend(Palette::line, Palette::accent, t), Radius::control,
                       Metric::hairline);
    Painting::focusRing(p, bounds, Radius::control, t);
}

QFont AppTextFieldStyle::font() const {
    return mono ? BrandFont::mono(large ? 14 : 12, QFont::Normal)
                : BrandFont::body(large ? 14 : 13, QFont::Normal);
}

int AppTextFieldStyle::height() const {
    return large ? largeHeight : qRound(Metric::controlHeight);
}

AppTextField::AppTextField(AppTextFieldStyle style, QWidget* parent)
    : FieldChrome(style.large, parent), style_(style), edit_(new QLineEdit(this)) {
    prepareLineEdit(edit_);
    edit_->setFont(style.font());
    contentLayout()->addWidget(edit_);
    setFocusProxy(edit_);
    followFocusOf(edit_);
}
