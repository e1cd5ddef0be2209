#include "Ombrix/UI/EntryDetailPane.h"

#include "Ombrix/Theme/Palette.h"

// Placeholder until the detail pane lands: an empty surface-coloured column.
EntryDetailPane::EntryDetailPane(AppState&, QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Palette::surface);
    setPalette(pal);
}
