#include "OmbrixUI/SecretField.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>

#include <memory>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ContextMenuKey.h"
#include "OmbrixUI/SymbolView.h"
#include "OmbrixUI/Tooltip.h"

SecretField::SecretField(const QString& placeholder, bool large, QWidget* parent)
    : FieldChrome(large, parent),
      edit_(new QLineEdit),
      eye_(new SymbolButton(QStringLiteral("eye"), 12, Palette::textMuted)) {
    prepareLineEdit(edit_);
    edit_->setFont(BrandFont::mono(large ? 14 : 12, QFont::Normal));
    edit_->setPlaceholderText(placeholder);
    edit_->setEchoMode(QLineEdit::Password);

    contentLayout()->setSpacing(8);
    contentLayout()->addWidget(edit_);
    contentLayout()->addWidget(eye_);
    setFocusProxy(edit_);
    followFocusOf(edit_);
    syncLook();

    connect(edit_, &QLineEdit::textChanged, this, &SecretField::textChanged);
    connect(edit_, &QLineEdit::returnPressed, this, &SecretField::submitted);
    connect(eye_, &QAbstractButton::clicked, this, [this] { setRevealed(!revealed_); });

    edit_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(edit_, &QWidget::customContextMenuRequested, this, &SecretField::showMenu);
    edit_->installEventFilter(this);
}

bool SecretField::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        if (opensContextMenu(*static_cast<QKeyEvent*>(event))) {
            showMenu(edit_->inputMethodQuery(Qt::ImCursorRectangle).toRect().bottomLeft());
            return true;
        }
    }
    return FieldChrome::eventFilter(watched, event);
}

QString SecretField::revealWords() const {
    return revealed_ ? QStringLiteral("Parolayı gizle") : QStringLiteral("Parolayı göster");
}

void SecretField::showMenu(const QPoint& at) {
    const std::unique_ptr<QMenu> menu(edit_->createStandardContextMenu());
    QAction* first = menu->actions().value(0);
    auto* reveal = new QAction(revealWords(), menu.get());
    connect(reveal, &QAction::triggered, this, [this] { setRevealed(!revealed_); });
    menu->insertAction(first, reveal);
    menu->insertSeparator(first);
    menu->exec(edit_->mapToGlobal(at));
}

QString SecretField::text() const {
    return edit_->text();
}

void SecretField::setText(const QString& text) {
    if (text != edit_->text()) edit_->setText(text);
}

QString SecretField::placeholder() const {
    return edit_->placeholderText();
}

void SecretField::setPlaceholder(const QString& placeholder) {
    edit_->setPlaceholderText(placeholder);
}

void SecretField::setRevealed(bool revealed) {
    if (revealed_ == revealed) return;
    revealed_ = revealed;
    syncLook();
    emit revealedChanged(revealed);
}

void SecretField::syncLook() {
    edit_->setEchoMode(revealed_ ? QLineEdit::Normal : QLineEdit::Password);
    eye_->setSymbol(revealed_ ? QStringLiteral("eye.slash") : QStringLiteral("eye"));
    eye_->setColor(revealed_ ? Palette::accent : Palette::textMuted);
    setTooltip(eye_, revealWords());
}
