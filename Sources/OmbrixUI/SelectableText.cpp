#include "OmbrixUI/SelectableText.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QScrollBar>
#include <QTextDocument>

#include <memory>

#include "OmbrixTheme/Palette.h"

SelectableText::SelectableText(const QString& text, QWidget* parent)
    : QTextEdit(parent), color_(Palette::text) {
    setReadOnly(true);
    setAcceptRichText(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Qt's stock menu would be the only English text on screen; copying works with the keys.
    setContextMenuPolicy(Qt::NoContextMenu);
    setFocusPolicy(Qt::ClickFocus);
    document()->setDocumentMargin(0);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setColor(color_);
    setText(text);
}

void SelectableText::setText(const QString& text) {
    if (text == toPlainText()) return;
    setPlainText(text);
    updateGeometry();
}

void SelectableText::setColor(const QColor& color) {
    color_ = color;
    QPalette pal = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, Qt::transparent);
        pal.setColor(group, QPalette::Window, Qt::transparent);
        pal.setColor(group, QPalette::Text, color);
        pal.setColor(group, QPalette::Highlight, withOpacity(Palette::accent, 0.35));
        pal.setColor(group, QPalette::HighlightedText, color);
    }
    setPalette(pal);
}

int SelectableText::heightForWidth(int width) const {
    std::unique_ptr<QTextDocument> doc(document()->clone());
    doc->setTextWidth(qMax(1, width));
    return qCeil(doc->size().height());
}

QSize SelectableText::sizeHint() const {
    std::unique_ptr<QTextDocument> doc(document()->clone());
    doc->setTextWidth(-1);  // one line per paragraph: the width the text would like
    const int width = qCeil(doc->idealWidth());
    return QSize(width, heightForWidth(width));
}

QSize SelectableText::minimumSizeHint() const {
    return QSize(qCeil(fontMetrics().averageCharWidth() * 2.0), qCeil(fontMetrics().height()));
}

void SelectableText::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) updateGeometry();
    QTextEdit::changeEvent(event);
}

void SelectableText::resizeEvent(QResizeEvent* event) {
    QTextEdit::resizeEvent(event);
    // The view is as tall as the text, so nothing may stay scrolled out of sight.
    verticalScrollBar()->setValue(0);
}
