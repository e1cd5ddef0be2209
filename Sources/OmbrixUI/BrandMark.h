#pragma once

#include <QWidget>

class QPainter;

// The application mark: a key leaning 45° to the left, in the dark ink, on a rounded square
// (radius 0.28 of the side) shading from Palette::warn at the top left to Palette::accent at the
// bottom right. The widget is `size` × `size`.
class BrandMark : public QWidget {
    Q_OBJECT

  public:
    explicit BrandMark(qreal size, QWidget* parent = nullptr);

    qreal side() const { return size_; }

    // Draws the mark into the square `square`.
    static void paint(QPainter& painter, const QRectF& square);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    qreal size_;
};
