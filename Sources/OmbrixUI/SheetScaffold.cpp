#include "OmbrixUI/SheetScaffold.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/ErrorBanner.h"
#include "OmbrixUI/HairlineDivider.h"
#include "OmbrixUI/SheetLayout.h"
#include "OmbrixUI/TabOrder.h"

SheetScaffold::SheetScaffold(const QString& title, const std::optional<QString>& subtitle,
                             const QString& confirmTitle, QWidget* parent)
    : QDialog(parent),
      title_(new ElidedLabel(title)),
      subtitleLabel_(new ElidedLabel),
      cancel_(new AppButton(QStringLiteral("Vazgeç"), ButtonVariant::secondary)),
      confirm_(new AppButton(confirmTitle, ButtonVariant::primary)) {
    setWindowTitle(title);
    SheetLayout::applySurface(this);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    stack->addWidget(SheetLayout::header(title_, subtitleLabel_));
    stack->addWidget(new HairlineDivider(Palette::line));

    auto* body = new QWidget;
    bodyLayout_ = new QVBoxLayout(body);
    bodyLayout_->setContentsMargins(16, 16, 16, 16);
    bodyLayout_->setSpacing(0);
    // The form sits at the top at its natural height; spare room stays below it.
    bodyLayout_->addStretch(1);
    scroll_ = SheetLayout::scrollingBody(body);
    stack->addWidget(scroll_, 1);
    stack->addWidget(new HairlineDivider(Palette::line));
    stack->addWidget(SheetLayout::footer({cancel_, confirm_}));

    // The buttons belong to the dialog now, so the default button is registered with it.
    cancel_->setAutoDefault(false);
    confirm_->setAutoDefault(false);
    confirm_->setDefault(true);
    connect(cancel_, &QAbstractButton::clicked, this, &SheetScaffold::cancelRequested);
    connect(confirm_, &QAbstractButton::clicked, this, &SheetScaffold::confirmRequested);

    // A push button of the form that takes the focus would otherwise make itself the default
    // button and take Return from the confirm button.
    qApp->installEventFilter(this);
    setSubtitle(subtitle);
}

SheetScaffold::~SheetScaffold() {
    qApp->removeEventFilter(this);
}

QString SheetScaffold::title() const {
    return title_->text();
}

void SheetScaffold::setTitle(const QString& title) {
    title_->setText(title);
    setWindowTitle(title);
}

void SheetScaffold::setSubtitle(const std::optional<QString>& subtitle) {
    subtitle_ = subtitle;
    subtitleLabel_->setText(subtitle.value_or(QString()));
    subtitleLabel_->setHidden(subtitleLabel_->text().isEmpty());
}

QString SheetScaffold::confirmTitle() const {
    return confirm_->text();
}

bool SheetScaffold::isConfirmEnabled() const {
    return confirm_->isEnabled();
}

void SheetScaffold::setConfirmEnabled(bool enabled) {
    confirm_->setEnabled(enabled);
}

void SheetScaffold::setContent(QWidget* content) {
    if (content == content_) return;
    delete content_;
    content_ = content;
    if (content_) bodyLayout_->insertWidget(0, content_);
}

QVBoxLayout* SheetScaffold::makeFormColumn() {
    auto* form = new QWidget;
    auto* column = new QVBoxLayout(form);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    error_ = new ErrorBanner(QString(), [this] { error_->setPresent(false); });
    error_->hide();
    SheetLayout::relaxMinimumHeight(error_->messageLabel());
    column->addWidget(error_);
    setContent(form);
    return column;
}

void SheetScaffold::showError(const QString& message) {
    error_->setMessage(message);
    error_->setPresent(true);
    // The banner heads the form.
    scroll_->verticalScrollBar()->setValue(0);
}

void SheetScaffold::reject() {
    emit cancelRequested();
}

bool SheetScaffold::focusNextPrevChild(bool next) {
    return TabOrder::moveFocus(this, next) || QDialog::focusNextPrevChild(next);
}

bool SheetScaffold::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button && button != confirm_ && button->window() == this) button->setAutoDefault(false);
    }
    return QDialog::eventFilter(watched, event);
}
