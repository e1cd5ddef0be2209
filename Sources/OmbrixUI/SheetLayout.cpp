#include "OmbrixUI/SheetLayout.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPalette>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/SlimScrollBar.h"

namespace SheetLayout {

void applySurface(QWidget* window) {
    QPalette pal = window->palette();
    for (auto role : {QPalette::Window, QPalette::Base}) pal.setColor(role, Palette::surface);
    for (auto role : {QPalette::WindowText, QPalette::Text}) pal.setColor(role, Palette::text);
    window->setPalette(pal);
    window->setAutoFillBackground(true);
}

QWidget* header(ElidedLabel* title, ElidedLabel* subtitle) {
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(12);
    auto* texts = new QVBoxLayout;
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(1);
    title->setFont(BrandFont::sheetTitle());
    title->setColor(Palette::text);
    texts->addWidget(title);
    if (subtitle) {
        subtitle->setFont(BrandFont::body(11, QFont::Normal));
        subtitle->setColor(Palette::textMuted);
        texts->addWidget(subtitle);
    }
    row->addLayout(texts, 1);
    return header;
}

QWidget* cardColumn(std::initializer_list<QWidget*> cards) {
    auto* body = new QWidget;
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);
    for (QWidget* card : cards) column->addWidget(card);
    column->addStretch(1);
    return body;
}

QScrollArea* scrollingBody(QWidget* body) {
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Tab goes to the fields and buttons; the area itself has no way to show the keyboard.
    scroll->setFocusPolicy(Qt::NoFocus);
    makeSlim(scroll->verticalScrollBar());
    scroll->setWidget(body);
    scroll->viewport()->setAutoFillBackground(false);
    body->setAutoFillBackground(false);
    keepFocusInView(scroll);
    return scroll;
}

void keepFocusInView(QScrollArea* area) {
    QObject::connect(qApp, &QApplication::focusChanged, area, [area](QWidget*, QWidget* now) {
        QWidget* body = area->widget();
        if (!now || !body || !body->isAncestorOf(now)) return;
        // The whole control, its field frame included: the area itself would bring only a text
        // box's cursor into view.
        QWidget* control = now;
        for (QWidget* up = now->parentWidget(); up && up != body; up = up->parentWidget())
            if (qobject_cast<FieldChrome*>(up)) control = up;
        const QRect r(control->mapTo(body, QPoint(0, 0)), control->size());
        area->ensureVisible(r.center().x(), r.center().y(), r.width() / 2 + 12, r.height() / 2 + 12);
    });
}

void relaxMinimumHeight(QWidget* widget) {
    widget->setMinimumHeight(widget->fontMetrics().height());
}

QWidget* footer(std::initializer_list<QWidget*> buttons) {
    auto* footer = new QWidget;
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(8);
    row->addStretch(1);
    for (QWidget* button : buttons) row->addWidget(button);
    return footer;
}

}  // namespace SheetLayout
