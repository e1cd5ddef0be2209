#include "OmbrixUI/IconPicker.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

#include "OmbrixTheme/KeyboardFocus.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/FieldLabel.h"
#include "OmbrixUI/IconTile.h"
#include "OmbrixUI/Tooltip.h"

namespace {

constexpr qreal tileSide = 30;

// The tile of the current icon in a hairline frame; no chrome of its own. Tab reaches it; Space
// or Return opens the grid.
class PickerButton final : public QAbstractButton {
  public:
    explicit PickerButton(const std::int64_t& iconID, std::function<void()> openFromKeyboard)
        : iconID_(iconID),
          openFromKeyboard_(std::move(openFromKeyboard)),
          keyboard_(new KeyboardFocus(this, [this] { update(); })) {
        setFixedSize(int(tileSide), int(tileSide));
        setFocusPolicy(Qt::TabFocus);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (isDown()) p.setOpacity(0.6);
        const QRectF bounds(0, 0, tileSide, tileSide);
        IconTile::paint(p, bounds, iconID_);
        Painting::hairline(p, bounds, Palette::line, 8, 1);
        Painting::focusRing(p, bounds, 8, keyboard_->isShown() ? 1 : 0);
    }

    void keyPressEvent(QKeyEvent* event) override {
        const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
        const bool opens =
            modifiers == Qt::NoModifier && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
                                            event->key() == Qt::Key_Enter);
        if (!opens) {
            QAbstractButton::keyPressEvent(event);
            return;
        }
        // Not a click on release: the grid takes the keyboard at once.
        event->accept();
        if (!event->isAutoRepeat()) openFromKeyboard_();
    }
    void keyReleaseEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Space) {
            event->accept();
            return;
        }
        QAbstractButton::keyReleaseEvent(event);
    }

  private:
    const std::int64_t& iconID_;
    std::function<void()> openFromKeyboard_;
    KeyboardFocus* keyboard_;
};

// One choice of the grid: the tile of its number, ringed in the accent while checked. The arrows
// move the keyboard to the neighbouring cell (`move` answers which, given the key), Space or
// Return chooses it.
class IconCell final : public QAbstractButton {
  public:
    IconCell(std::int64_t number, std::function<void(IconCell*, int key)> move)
        : number_(number), move_(std::move(move)) {
        setCheckable(true);
        setFixedSize(32, int(tileSide));
        setFocusPolicy(Qt::ClickFocus);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (isDown()) p.setOpacity(0.6);
        const QRectF tile((width() - tileSide) / 2, 0, tileSide, tileSide);
        IconTile::paint(p, tile, number_);
        if (isChecked()) Painting::hairline(p, tile, Palette::accent, 9, 1);
        Painting::focusRing(p, tile, 9, hasFocus() && keyboardFocus_ ? 1 : 0);
    }

    // The keyboard reaches a cell from the picker's button or from the next cell; the grid
    // opened with the pointer shows none.
    void focusInEvent(QFocusEvent* event) override {
        QAbstractButton::focusInEvent(event);
        keyboardFocus_ = event->reason() == Qt::TabFocusReason;
        update();
    }
    void focusOutEvent(QFocusEvent* event) override {
        QAbstractButton::focusOutEvent(event);
        keyboardFocus_ = false;
        update();
    }

    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
            case Qt::Key_Left:
            case Qt::Key_Right:
            case Qt::Key_Up:
            case Qt::Key_Down:
                move_(this, event->key());
                event->accept();
                return;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                event->accept();
                click();
                return;
            default:
                QAbstractButton::keyPressEvent(event);
        }
    }

  private:
    std::int64_t number_;
    std::function<void(IconCell*, int key)> move_;
    bool keyboardFocus_ = false;
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
    : QWidget(parent), iconID_(iconID), button_(new PickerButton(iconID_, [this] { openFromKeyboard(); })) {
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
        auto* cell = new IconCell(numbers[i], [this](IconCell* from, int key) { moveFocus(from, key); });
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

void IconPicker::openFromKeyboard() {
    setExpanded(true);
    if (!expanded_) return;
    // The grid takes the keyboard on the current icon, or on the first when it is not offered.
    QAbstractButton* current = cell(iconID_);
    if (!current) current = cell(choices().front());
    current->setFocus(Qt::TabFocusReason);
}

void IconPicker::moveFocus(QAbstractButton* from, int key) {
    const auto& numbers = choices();
    const auto at =
        std::find_if(cells_.begin(), cells_.end(), [&](const auto& c) { return c.second == from; });
    if (at == cells_.end()) return;
    const int columns = 6;
    const int count = int(numbers.size());
    const int index = int(std::find(numbers.begin(), numbers.end(), at->first) - numbers.begin());
    int next = index;
    if (key == Qt::Key_Left && index % columns > 0) next = index - 1;
    if (key == Qt::Key_Right && index % columns < columns - 1 && index + 1 < count) next = index + 1;
    if (key == Qt::Key_Up && index >= columns) next = index - columns;
    if (key == Qt::Key_Down && index + columns < count) next = index + columns;
    cell(numbers[std::size_t(next)])->setFocus(Qt::TabFocusReason);
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
