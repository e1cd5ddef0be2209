#pragma once

#include <QStyledItemDelegate>

#include <array>
#include <optional>

#include "OmbrixTheme/Motion.h"

// Paints one row of the entry list (EntryListModel's roles): the icon tile, the title with the
// expiry mark and the relative modification time, the second line with the user name and the
// address's host, the selection fill and bar, the hover fill, the drop marker, the focus ring
// on the row the keys act on while the list has the keyboard, and three
// quick-action buttons that show only while the pointer is over the row. The buttons are
// painted, not widgets; the delegate also answers where they are, so that the list hit-tests
// clicks and tool tips with the same geometry it paints. The hover and selection fills, the
// selection bar and the buttons follow their state with the theme's motion.
class EntryRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    enum class Button { username, password, autoType };
    static constexpr std::array<Button, 3> buttons = {Button::username, Button::password, Button::autoType};

    // What the list tells the delegate about the pointer and a drag in progress.
    struct Interaction {
        int hoveredRow = -1;
        std::optional<Button> hoveredButton;
        // A button held down: its row and which one.
        int pressedRow = -1;
        std::optional<Button> pressedButton;
        // The row a drag with text is over; the marker goes along its top edge.
        int dropRow = -1;
    };

    // Where each part of a row goes, in view coordinates.
    struct Layout {
        QRectF background;  // the rounded fill
        QRectF tile;
        QRectF title;
        std::optional<QRectF> expiredMark;
        QRectF modified;
        QRectF subtitle;
        std::array<QRectF, 3> buttons;
    };

    static constexpr int buttonSize = 24;

    // `view` is the widget the rows are painted on, repainted while a transition runs.
    EntryRowDelegate(const Interaction& interaction, QWidget* view, QObject* parent = nullptr);

    // The same height for every row, from the fonts.
    static int rowHeight();
    static Layout layout(const QRect& rowRect, const QModelIndex& index);

    // The button under `pos` in the row `rowRect`, whether or not it is enabled.
    static std::optional<Button> buttonAt(const QRect& rowRect, const QPoint& pos);
    static bool isEnabled(Button button, const QModelIndex& index);
    static QString symbol(Button button);
    static QColor tint(Button button);
    static QString tooltip(Button button);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    void paintButtons(QPainter& p, const Layout& layout, const QModelIndex& index, qreal shown) const;

    const Interaction& interaction_;
    // Per entry id: how far the hover (0...1) and the selection (0...1) have come.
    mutable MotionSet hover_;
    mutable MotionSet selection_;
};
