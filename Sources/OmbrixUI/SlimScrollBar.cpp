#include "OmbrixUI/SlimScrollBar.h"

#include <QScrollBar>

#include "OmbrixTheme/Palette.h"

void makeSlim(QScrollBar* bar) {
    bar->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { background: transparent; width: 10px; margin: 2px 2px 2px 0; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 28px; }"
                       "QScrollBar::handle:vertical:hover { background: %2; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
            .arg(Palette::lineStrong.name(), Palette::textMuted.name()));
}
