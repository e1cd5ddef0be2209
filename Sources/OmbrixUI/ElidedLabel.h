#pragma once

#include <QColor>
#include <QWidget>

// One line of plain text in one colour. When the width it gets is too small the text is cut
// with "…" (at the end unless another elide mode is set) instead of wrapping or overflowing. Its size hint is
// the whole text; it can shrink down to the ellipsis. The font is the widget's font.
class ElidedLabel : public QWidget {
    Q_OBJECT

  public:
    explicit ElidedLabel(const QString& text = {}, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    // Horizontal placement of the text inside the widget; it is always centred vertically.
    Qt::Alignment alignment() const { return alignment_; }
    void setAlignment(Qt::Alignment alignment);

    // Where the text is cut: Qt::ElideRight (the default), Qt::ElideMiddle or Qt::ElideLeft.
    void setElideMode(Qt::TextElideMode mode);

    // The text as drawn at the current width ("…" at its end when it does not fit).
    QString displayedText() const;
    bool isElided() const { return displayedText() != text_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    QString text_;
    QColor color_;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    Qt::TextElideMode elideMode_ = Qt::ElideRight;
};
