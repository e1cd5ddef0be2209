#pragma once

#include <QColor>
#include <QWidget>

#include <cstdint>
#include <optional>

class QPainter;

// The icon of an entry or group: its symbol (EntryIcon::symbol) at 0.46 of the side in the
// tint, on a rounded square (radius 0.3 of the side) of the tint at opacity 0.15. The tint is
// the one given, else EntryIcon::tint of the icon number. The widget is `size` × `size`.
class IconTile : public QWidget {
    Q_OBJECT

  public:
    IconTile(std::int64_t iconID, qreal size, std::optional<QColor> tint = std::nullopt,
             QWidget* parent = nullptr);

    std::int64_t iconID() const { return iconID_; }
    void setIconID(std::int64_t iconID);

    const std::optional<QColor>& tint() const { return tint_; }
    void setTint(std::optional<QColor> tint);

    qreal side() const { return size_; }

    // The tint drawn: the given one, else the icon number's.
    static QColor effectiveTint(std::int64_t iconID, const std::optional<QColor>& tint);

    // Draws a tile into the square `square`, e.g. from an item delegate.
    static void paint(QPainter& painter, const QRectF& square, std::int64_t iconID,
                      const std::optional<QColor>& tint = std::nullopt);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::int64_t iconID_;
    qreal size_;
    std::optional<QColor> tint_;
};
