#pragma once

#include <QColor>
#include <QWidget>

// A line exactly one pixel high across the whole width offered.
class HairlineDivider : public QWidget {
    Q_OBJECT

  public:
    explicit HairlineDivider(const QColor& color, QWidget* parent = nullptr);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    QSize sizeHint() const override { return QSize(0, 1); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor color_;
};
