#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QWidget>

class QPainter;

// A widget of type Base that shows one symbol of the icon set in one colour, centred: the
// symbol, colour and size that the view and the button below share.
template <class Base>
class SymbolWidget : public Base {
  public:
    QString symbol() const { return symbol_; }
    void setSymbol(const QString& symbol);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    qreal symbolSize() const { return size_; }

  protected:
    SymbolWidget(const QString& symbol, qreal size, const QColor& color, QWidget* parent);

    // Draws the symbol in a square of its size centred in the widget.
    void paintSymbol(QPainter& p) const;

  private:
    QString symbol_;
    qreal size_;
    QColor color_;
};

// One symbol of the icon set drawn in one colour, centred in a square of `size` pixels. It
// takes no input; a stand-in for a symbol image in a row of text.
class SymbolView : public SymbolWidget<QWidget> {
    Q_OBJECT

  public:
    SymbolView(const QString& symbol, qreal size, const QColor& color, QWidget* parent = nullptr);

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A plain button that is only its symbol: no fill, no border, no hover look; a press dims it.
// It never takes the keyboard focus, so pressing it leaves the focus where it was.
class SymbolButton : public SymbolWidget<QAbstractButton> {
    Q_OBJECT

  public:
    SymbolButton(const QString& symbol, qreal size, const QColor& color, QWidget* parent = nullptr);

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};
