#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QWidget>

// One symbol of the icon set drawn in one colour, centred in a square of `size` pixels. It
// takes no input; a stand-in for a symbol image in a row of text.
class SymbolView : public QWidget {
    Q_OBJECT

  public:
    SymbolView(const QString& symbol, qreal size, const QColor& color, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    void setSymbol(const QString& symbol);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    qreal symbolSize() const { return size_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString symbol_;
    qreal size_;
    QColor color_;
};

// A plain button that is only its symbol: no fill, no border, no hover look; a press dims it.
// It never takes the keyboard focus, so pressing it leaves the focus where it was.
class SymbolButton : public QAbstractButton {
    Q_OBJECT

  public:
    SymbolButton(const QString& symbol, qreal size, const QColor& color, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    void setSymbol(const QString& symbol);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    qreal symbolSize() const { return size_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString symbol_;
    qreal size_;
    QColor color_;
};
