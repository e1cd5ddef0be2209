#include "OmbrixUI/IconPicker.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include <functional>

#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/FieldLabel.h"
#include "OmbrixUI/IconTile.h"
#include "OmbrixUI/Tooltip.h"

namespace {

constexpr qreal tileSide = 30;

// The tile of the current icon in a hairline frame; no chrome of its own.
class PickerButton final : public QAbstractButton {
  public:
    explicit PickerButton(const std::int64_t& iconID) : iconID_(iconID) {
        setFixedSize(int(tileSide), int(tileSide));
        setFocusPolicy(Qt::NoFocus);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (isDown()) p.setOpacity(0.6);
        const QRectF bounds(0, 0, tileSide, tileSide);
        IconTile::paint(p, bounds, iconID_);
        Painting::hairline(p, bounds, Palette::line, 8, 1);
    }

  private:
    const std::int64_t& iconID_;
};

// One choice of the grid: the tile of its number, ringed in the accent while checked.
class IconCell final : public QAbstractButton {
  public:
    explicit IconCell(std::int64_t number) : number_(number) {
        setCheckable(true);
        setFixedSize(32, int(tileSide));
        setFocusPolicy(Qt::NoFocus);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (isDown()) p.setOpacity(0.6);
        const QRectF tile((width() - tileSide) / 2, 0, tileSide, tileSide);
        IconTile::paint(p, tile, number_);
        if (isChecked()) Painting::hairline(p, tile, Palette::accent, 9, 1);
    }

  private:
    std::int64_t number_;
};

// The grid's window. A press outside closes it, as for every popup; a press on the button that
// opened it is not passed on to that button afterwards, so that it closes instead of reopening.
class GridPopup final : public QWidget {
  public:
    GridPopup(QWidget* owner, QWidget* opener, std::function<void()> onHide)
        : QWidget(owner, Qt::Popup | Qt::FramelessWindowHint), opener_(opener), onHide_(std::move(onHide)) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Palette::surface);
        Painting::hairline(p, QRectF(rect()), Palette::line, 0, 1);
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (!rect().contains(event->position().toPoint())) {
            const QRect openerArea(opener_->mapToGlobal(QPoint(0, 0)), opener_->size());
            if (openerArea.contains(event->globalPosition().toPoint())) setAttribute(Qt::WA_NoMouseReplay);
        }
        QWidget::mousePressEvent(event);
    }

    void hideEvent(QHideEvent* event) override {
        QWidget::hideEvent(event);
        onHide_();
    }

  private:
    QWidget* opener_;
    std::function<void()> onHide_;
};

}  // namespace

IconPicker::IconPicker(std::int64_t iconID, QWidget* parent)
    : QWidget(parent), iconID_(iconID), button_(new PickerButton(iconID_)) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    stack->addWidget(new FieldLabel(QStringLiteral("Simge"), Palette::textMuted));
    stack->addWidget(button_, 0, Qt::AlignLeft);
    setTooltip(button_, QStringLiteral("Simge seç"));
    connect(button_, &QAbstractButton::clicked, this, [this] { setExpanded(!expanded_); });

    popup_ = new GridPopup(this, button_, [this] { popupHidden(); });
    auto* grid = new QGridLayout(popup_);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    const auto& numbers = choices();
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        auto* cell = new IconCell(numbers[i]);
        cells_[numbers[i]] = cell;
        grid->addWidget(cell, int(i / 6), int(i % 6), Qt::AlignCenter);
        connect(cell, &QAbstractButton::clicked, this, [this, number = numbers[i]] { choose(number); });
    }
    markCells();
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

const std::array<std::int64_t, 18>& IconPicker::choices() {
    static constexpr std::array<std::int64_t, 18> numbers{0,  1,  3,  5,  6,  9,  13, 16, 19,
                                                          20, 24, 27, 29, 34, 36, 43, 60, 62};
    return numbers;
}

void IconPicker::setIconID(std::int64_t iconID) {
    if (iconID == iconID_) return;
    iconID_ = iconID;
    markCells();
    button_->update();
    emit iconIDChanged(iconID_);
}

void IconPicker::setExpanded(bool expanded) {
    if (expanded == expanded_) return;
    if (!expanded) {
        popup_->hide();  // popupHidden() records it
        return;
    }
    expanded_ = true;
    markCells();
    placePopup();
    popup_->show();
    emit expandedChanged(true);
}

QAbstractButton* IconPicker::cell(std::int64_t number) const {
    const auto found = cells_.find(number);
    return found == cells_.end() ? nullptr : found->second;
}

void IconPicker::choose(std::int64_t number) {
    setIconID(number);
    markCells();  // a click toggled the cell's own check
    setExpanded(false);
}

void IconPicker::popupHidden() {
    if (!expanded_) return;
    expanded_ = false;
    emit expandedChanged(false);
}

void IconPicker::placePopup() {
    popup_->adjustSize();
    const QSize size = popup_->sizeHint();
    // Centred under the button, a little below its bottom edge, kept on the screen.
    const QPoint anchor = button_->mapToGlobal(QPoint(button_->width() / 2, button_->height()));
    QRect area(QPoint(anchor.x() - size.width() / 2, anchor.y() + 6), size);
    if (const QScreen* screen = button_->screen()) {
        const QRect available = screen->availableGeometry();
        if (area.right() > available.right()) area.moveRight(available.right());
        if (area.left() < available.left()) area.moveLeft(available.left());
        if (area.bottom() > available.bottom()) area.moveBottom(button_->mapToGlobal(QPoint(0, 0)).y() - 6);
    }
    popup_->setGeometry(area);
}

void IconPicker::markCells() {
    for (const auto& [number, cell] : cells_) {
        cell->setChecked(number == iconID_);
        cell->update();
    }
}
