#pragma once

#include <QColor>
#include <QWidget>

#include <optional>

// A small tinted pill: an optional symbol (9 px) and one line of text in BrandFont::label(),
// 4 apart, both in the tint, padded 8 left and right and 3 above and below, on a capsule of the
// tint at opacity 0.14. The text is cut with "…" when the badge is given less than it needs.
class Badge : public QWidget {
    Q_OBJECT

  public:
    Badge(const QString& text, const std::optional<QString>& icon, const QColor& tint,
          QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);

    const std::optional<QString>& icon() const { return icon_; }
    void setIcon(const std::optional<QString>& icon);

    QColor tint() const { return tint_; }
    void setTint(const QColor& tint);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    qreal iconWidth() const;

    QString text_;
    std::optional<QString> icon_;
    QColor tint_;
};
