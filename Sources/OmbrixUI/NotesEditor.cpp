#include "OmbrixUI/NotesEditor.h"

#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>
#include <QVBoxLayout>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/SlimScrollBar.h"

NotesEditor::NotesEditor(int minimumHeight, QWidget* parent) : QWidget(parent), edit_(new QPlainTextEdit) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(0);
    layout->addWidget(edit_);

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

void NotesEditor::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRectF bounds = rect();
    Painting::fill(p, bounds, Radius::control, Palette::canvas);
    Painting::hairline(p, bounds, Palette::line, Radius::control, Metric::hairline);
}
