#pragma once

#include <QWidget>

class AppState;

// The right-hand column of the main window; placeholder until the detail pane lands.
class EntryDetailPane : public QWidget {
    Q_OBJECT

  public:
    explicit EntryDetailPane(AppState& state, QWidget* parent = nullptr);
};
