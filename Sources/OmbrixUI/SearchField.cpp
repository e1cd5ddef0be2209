#include "OmbrixUI/SearchField.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/SymbolView.h"
#include "OmbrixUI/Tooltip.h"

SearchField::SearchField(const QString& placeholder, int focusToken, QWidget* parent)
    : FieldChrome(false, parent),
      magnifier_(new SymbolView(QStringLiteral("magnifyingglass"), 12, Palette::textMuted)),
      edit_(new QLineEdit),
      clear_(new SymbolButton(QStringLiteral("xmark.circle.fill"), 12, Palette::textMuted)),
      focusToken_(focusToken) {
    prepareLineEdit(edit_);
    edit_->setFont(BrandFont::body(13, QFont::Normal));
    edit_->setPlaceholderText(placeholder);
    setTooltip(clear_, QStringLiteral("Aramayı temizle"));
    clear_->hide();

    contentLayout()->setSpacing(8);
    contentLayout()->addWidget(magnifier_);
    contentLayout()->addWidget(edit_);
    contentLayout()->addWidget(clear_);
    setFocusProxy(edit_);
    followFocusOf(edit_);

    connect(edit_, &QLineEdit::textChanged, this, [this](const QString& text) {
        syncLook();
        emit textChanged(text);
    });
    connect(edit_, &QLineEdit::returnPressed, this, &SearchField::submitted);
    connect(clear_, &QAbstractButton::clicked, edit_, &QLineEdit::clear);
}

QString SearchField::text() const {
    return edit_->text();
}

void SearchField::setText(const QString& text) {
    if (text != edit_->text()) edit_->setText(text);
}

QString SearchField::placeholder() const {
    return edit_->placeholderText();
}

void SearchField::setPlaceholder(const QString& placeholder) {
    edit_->setPlaceholderText(placeholder);
}

void SearchField::setFocusToken(int token) {
    if (token == focusToken_) return;
    focusToken_ = token;
    edit_->setFocus(Qt::OtherFocusReason);
}

void SearchField::syncLook() {
    clear_->setVisible(!edit_->text().isEmpty());
    magnifier_->setColor(isFocused() ? Palette::accent : Palette::textMuted);
}

bool SearchField::eventFilter(QObject* watched, QEvent* event) {
    const bool handled = FieldChrome::eventFilter(watched, event);
    if (watched != edit_) return handled;
    switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            syncLook();
            break;
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (event->type() == QEvent::KeyPress && key->key() == Qt::Key_Down &&
                key->modifiers() == Qt::NoModifier) {
                emit downPressed();
                return true;
            }
            if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier) break;
            // Claiming the override keeps a window's Escape shortcut from taking the key first.
            event->accept();
            if (event->type() == QEvent::KeyPress) {
                if (!edit_->text().isEmpty())
                    edit_->clear();
                else
                    edit_->clearFocus();
            }
            return true;
        }
        default:
            break;
    }
    return handled;
}
