#include "OmbrixUI/NotesEditor.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/SlimScrollBar.h"

NotesEditor::NotesEditor(int minimumHeight, QWidget* parent)
    : FieldChrome(false, parent), edit_(new QPlainTextEdit) {
    contentLayout()->setContentsMargins(8, 8, 8, 8);
    contentLayout()->addWidget(edit_);

    edit_->setFrameShape(QFrame::NoFrame);
    edit_->setFont(BrandFont::bodyText());
    edit_->setTabChangesFocus(true);
    edit_->document()->setDocumentMargin(0);
    // The box draws the background; the editor's own stays transparent.
    QPalette pal = edit_->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, Qt::transparent);
        pal.setColor(group, QPalette::Window, Qt::transparent);
        pal.setColor(group, QPalette::Text, Palette::text);
        pal.setColor(group, QPalette::Highlight, withOpacity(Palette::accent, 0.35));
        pal.setColor(group, QPalette::HighlightedText, Palette::text);
    }
    edit_->setPalette(pal);
    edit_->viewport()->setAutoFillBackground(false);
    makeSlim(edit_->verticalScrollBar());
    setFocusProxy(edit_);
    followFocusOf(edit_);

    setMinimumHeight(minimumHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    connect(edit_, &QPlainTextEdit::textChanged, this, &NotesEditor::textChanged);
}

QString NotesEditor::documentText() const {
    QString raw = edit_->document()->toRawText();
    // Blocks end in U+2029; Shift+Return puts a U+2028 within one. Both are a new line here.
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    raw.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return raw;
}

QString NotesEditor::text() const {
    const QString current = documentText();
    return current == shown_ ? given_ : current;
}

void NotesEditor::setText(const QString& text) {
    if (text == this->text()) return;
    edit_->setPlainText(text);
    given_ = text;
    shown_ = documentText();
}

QSize NotesEditor::sizeHint() const {
    return QSize(QWidget::sizeHint().width(), minimumHeight());
}
