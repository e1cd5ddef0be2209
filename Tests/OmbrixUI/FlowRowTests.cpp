#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <optional>
#include <vector>

#include "OmbrixUI/FlowRow.h"

namespace {

struct FlowCase {
    const char* note;
    std::vector<QSizeF> sizes;
    std::optional<qreal> width;
    qreal spacing;
    qreal lineSpacing;
    QSizeF expectedSize;
    std::vector<QPointF> expectedOrigins;  // placed in (0, 0, expectedSize)
};

const FlowCase flowCases[] = {
    {"no items, width proposed", {}, 120.0, 8, 6, {120, 0}, {}},
    {"no items, no width", {}, std::nullopt, 8, 6, {0, 0}, {}},
    {"no width never wraps",
     {{40, 10}, {60, 22}, {30, 14}},
     std::nullopt,
     8,
     6,
     {146, 22},
     {{0, 0}, {48, 0}, {116, 0}}},
    {"second wraps, third fits beside it",
     {{60, 20}, {50, 24}, {30, 10}},
     100.0,
     8,
     6,
     {100, 50},
     {{0, 0}, {0, 26}, {58, 26}}},
    {"zero width puts every item on its own line",
     {{10, 5}, {20, 7}, {30, 9}},
     0.0,
     4,
     2,
     {0, 25},
     {{0, 0}, {0, 7}, {0, 16}}},
    {"a first item wider than the row stays in the first line",
     {{150, 10}, {20, 10}},
     100.0,
     4,
     4,
     {100, 24},
     {{0, 0}, {0, 14}}},
    {"exact fit does not wrap", {{46, 10}, {50, 12}}, 100.0, 4, 4, {100, 12}, {{0, 0}, {50, 0}}},
    {"one pixel too wide wraps", {{47, 10}, {50, 12}}, 100.0, 4, 4, {100, 26}, {{0, 0}, {0, 14}}},
    {"a line is as tall as its tallest item",
     {{20, 8}, {20, 30}, {20, 12}, {90, 5}},
     70.0,
     5,
     3,
     {70, 38},
     {{0, 0}, {25, 0}, {50, 0}, {0, 33}}},
};

}  // namespace

TEST(FlowRow, MeasureAndPlaceFollowTheSizesInOrder) {
    for (const FlowCase& c : flowCases) {
        const QSizeF size = FlowRow::measure(c.sizes, c.width, c.spacing, c.lineSpacing);
        EXPECT_EQ(size, c.expectedSize) << c.note;
        const std::vector<QPointF> origins =
            FlowRow::place(QRectF(QPointF(0, 0), c.expectedSize), c.sizes, c.spacing, c.lineSpacing);
        EXPECT_EQ(origins, c.expectedOrigins) << c.note;
    }
}

TEST(FlowRow, PlacementStartsAtTheGivenOrigin) {
    const std::vector<QSizeF> sizes{{60, 20}, {50, 24}, {30, 10}};
    const std::vector<QPointF> origins = FlowRow::place(QRectF(10, 5, 100, 50), sizes, 8, 6);
    EXPECT_EQ(origins, (std::vector<QPointF>{{10, 5}, {10, 31}, {68, 31}}));
}

namespace {

// A widget that only has an ideal size.
class Block : public QWidget {
  public:
    explicit Block(QSize size) : size_(size) {}
    QSize sizeHint() const override { return size_; }

  private:
    QSize size_;
};

}  // namespace

TEST(FlowRow, LayoutWrapsItsWidgetsAndReportsHeightForWidth) {
    QWidget host;
    auto* flow = new FlowRow(8, 6, &host);
    auto* a = new Block({60, 20});
    auto* b = new Block({50, 24});
    auto* hidden = new Block({500, 500});
    auto* c = new Block({30, 10});
    flow->addWidget(a);
    flow->addWidget(b);
    flow->addWidget(hidden);
    flow->addWidget(c);
    hidden->hide();

    EXPECT_TRUE(flow->hasHeightForWidth());
    EXPECT_EQ(flow->sizeHint(), QSize(156, 24));  // one line: 60 + 8 + 50 + 8 + 30
    EXPECT_EQ(flow->heightForWidth(100), 50);
    EXPECT_EQ(flow->heightForWidth(200), 24);
    EXPECT_EQ(flow->minimumSize().width(), 60);  // the widest item is never squeezed

    host.resize(100, 50);
    host.show();
    QApplication::processEvents();
    EXPECT_EQ(a->geometry(), QRect(0, 0, 60, 20));
    EXPECT_EQ(b->geometry(), QRect(0, 26, 50, 24));
    EXPECT_EQ(c->geometry(), QRect(58, 26, 30, 10));
}
