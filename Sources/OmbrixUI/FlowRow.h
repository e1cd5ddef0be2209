#pragma once

#include <QLayout>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>
#include <span>
#include <vector>

// A wrapping row: items at their ideal sizes (size hints), left to right in their order, a new
// line starting when the next item would pass the right edge. Lines are top-aligned and
// leading-aligned; nothing is stretched or centred. An item wider than the whole row starts a
// line of its own at full size. Hidden widgets take no place.
//
// The arithmetic lives in the two static functions, which see only sizes; the layout feeds
// them its items' size hints.
class FlowRow : public QLayout {
    Q_OBJECT

  public:
    // The size the row needs for a proposed width (none: unlimited, so one line). With a
    // width the row claims all of it; without one, the sum of the widths and gaps.
    static QSizeF measure(std::span<const QSizeF> sizes, std::optional<qreal> proposedWidth, qreal spacing,
                          qreal lineSpacing);

    // The top-left corner of each item, in order, when the row occupies `bounds`.
    static std::vector<QPointF> place(const QRectF& bounds, std::span<const QSizeF> sizes, qreal spacing,
                                      qreal lineSpacing);

    // `spacing` between neighbours in a line, `lineSpacing` between lines. No margins.
    FlowRow(qreal spacing, qreal lineSpacing, QWidget* parent = nullptr);
    ~FlowRow() override;

    qreal lineSpacing() const { return lineSpacing_; }

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

  private:
    std::vector<QSizeF> visibleSizes() const;

    qreal spacing_;
    qreal lineSpacing_;
    QList<QLayoutItem*> items_;
};
