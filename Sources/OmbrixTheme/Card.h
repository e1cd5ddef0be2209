#pragma once

#include <QColor>
#include <QWidget>

#include <optional>

class QVBoxLayout;

// A framed surface: content padded on every edge, on a rounded rectangle filled with `fill`
// and bordered inside with a 1-pixel line of `border`. It takes the full width offered and
// its content starts at the leading edge. Put the content into contentLayout().
class Card : public QWidget {
    Q_OBJECT

  public:
    Card(const QColor& fill, qreal radius, const QColor& border, std::optional<qreal> padding = std::nullopt,
         QWidget* parent = nullptr);

    // The card of one section of a form or page: Palette::elevated with a Palette::line border,
    // Radius::card, padded Metric::l, its items `spacing` apart.
    static Card* section(int spacing);

    QVBoxLayout* contentLayout() const { return layout_; }

    QColor fill() const { return fill_; }
    qreal radius() const { return radius_; }
    QColor border() const { return border_; }
    qreal padding() const { return padding_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor fill_;
    qreal radius_;
    QColor border_;
    qreal padding_;
    QVBoxLayout* layout_;
};

// The card of a whole screen: radius 16, a Palette::line border and the strong soft shadow.
class Panel : public Card {
    Q_OBJECT

  public:
    Panel(const QColor& fill, qreal padding, QWidget* parent = nullptr);
};
