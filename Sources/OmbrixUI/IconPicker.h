#pragma once

#include <QWidget>

#include <array>
#include <cstdint>
#include <map>

class QAbstractButton;

// Chooses the standard icon number of an entry or group: the caption "Simge", a 30 × 30 tile
// button showing the current icon, and, while expanded, a popup below the button with a grid
// of the choices (six columns, three rows) in which the current number is ringed in the accent.
// Pressing a cell sets the number and closes the popup; a click outside, Escape or the tile
// button closes it and leaves the number as it was. A number that is not among the choices is
// shown on the button with its own symbol and rings no cell.
//
// From the keyboard: Tab reaches the tile button, which then shows the focus ring; Space or
// Return opens the grid with the keyboard on the current icon's cell (the first cell when the
// number is not offered); the arrows move from cell to cell, Space or Return chooses, Escape
// closes. Either way the keyboard is back on the tile button.
class IconPicker : public QWidget {
    Q_OBJECT

  public:
    explicit IconPicker(std::int64_t iconID = 0, QWidget* parent = nullptr);

    // The icon numbers offered, in the order shown.
    static const std::array<std::int64_t, 18>& choices();

    std::int64_t iconID() const { return iconID_; }
    // Emits iconIDChanged() when the number changes.
    void setIconID(std::int64_t iconID);

    bool isExpanded() const { return expanded_; }
    void setExpanded(bool expanded);

    QAbstractButton* pickerButton() const { return button_; }
    QWidget* popup() const { return popup_; }
    // The cell of a number of choices() (checked while it is the current number); nullptr for
    // other numbers.
    QAbstractButton* cell(std::int64_t number) const;

  signals:
    void iconIDChanged(std::int64_t iconID);
    void expandedChanged(bool expanded);

  private:
    void openFromKeyboard();
    // The arrow `key` pressed on the cell `from` moves the keyboard to the neighbouring cell.
    void moveFocus(QAbstractButton* from, int key);
    void choose(std::int64_t number);
    void popupHidden();
    void placePopup();
    void markCells();

    std::int64_t iconID_;
    bool expanded_ = false;
    QAbstractButton* button_;
    QWidget* popup_;
    std::map<std::int64_t, QAbstractButton*> cells_;
};
