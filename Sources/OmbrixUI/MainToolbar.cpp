#include "OmbrixUI/MainToolbar.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

#include "OmbrixState/AppState.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/FloppyDiskIcon.h"
#include "OmbrixUI/HairlineDivider.h"
#include "OmbrixUI/MainActions.h"
#include "OmbrixUI/SearchField.h"
#include "OmbrixUI/Tooltip.h"

namespace {

// The save button: the floppy-disk shape, 14 across, on the icon button.
class FloppyButton : public IconButton {
  public:
    FloppyButton(qreal side, qreal glyph) : IconButton(QString(), Palette::textSoft, side), glyph_(glyph) {}

  protected:
    void paintGlyph(QPainter& p, const QRectF& bounds, const QColor& ink) override {
        const QPointF c = bounds.center();
        FloppyDiskIcon::paint(p, QRectF(c.x() - glyph_ / 2, c.y() - glyph_ / 2, glyph_, glyph_), ink);
    }

  private:
    qreal glyph_;
};

// Holds the search field at its ideal width of 260, between 120 and 380.
class SearchSlot : public QWidget {
  public:
    explicit SearchSlot(QWidget* field) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(field);
        setMinimumWidth(120);
        setMaximumWidth(380);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override { return QSize(260, QWidget::sizeHint().height()); }
};

}  // namespace

MainToolbar::MainToolbar(AppState& state, ClipboardService& clipboard, QWidget* parent)
    : QWidget(parent),
      state_(state),
      clipboard_(clipboard),
      search_(new SearchField(QStringLiteral("Kayıtlarda ara"), static_cast<int>(state.searchFocusToken()))),
      newEntry_(new IconButton(QStringLiteral("plus"), Palette::accent, 28)),
      more_(new IconButton(QStringLiteral("ellipsis.circle"), Palette::textSoft, 26)),
      save_(new FloppyButton(28, 14)),
      lock_(new IconButton(QStringLiteral("lock"), Palette::textSoft, 28)),
      menu_(new QMenu(this)) {
    Painting::fillBackground(this, Palette::surface);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* bar = new QWidget;
    bar->setFixedHeight(barHeight - 1);
    column->addWidget(bar);
    column->addWidget(new HairlineDivider(Palette::line));

    // Equal stretch on both sides keeps the search field in the middle of the window.
    auto* grid = new QGridLayout(bar);
    grid->setContentsMargins(12, 0, 12, 0);
    grid->setHorizontalSpacing(12);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    grid->addWidget(new SearchSlot(search_), 0, 1, Qt::AlignVCenter);
    auto* actions = new QHBoxLayout;
    actions->setContentsMargins(0, 0, 0, 0);
    actions->setSpacing(6);
    actions->addStretch(1);
    for (QWidget* button : {static_cast<QWidget*>(newEntry_), static_cast<QWidget*>(more_),
                            static_cast<QWidget*>(save_), static_cast<QWidget*>(lock_)})
        actions->addWidget(button, 0, Qt::AlignVCenter);
    grid->addLayout(actions, 0, 2);

    setTooltip(newEntry_, QStringLiteral("Yeni kayıt (Ctrl+I)"));
    setTooltip(more_, QStringLiteral("Diğer işlemler"));
    setTooltip(save_, QStringLiteral("Kaydet (Ctrl+S)"));
    setTooltip(lock_, QStringLiteral("Kasayı kilitle (Ctrl+L)"));

    menu_->addSection(QStringLiteral("Seçili kayıt"));
    copyUsername_ =
        menu_->addAction(QStringLiteral("Kullanıcı adını kopyala"), this, [this] { state_.copyUsername(); });
    copyPassword_ =
        menu_->addAction(QStringLiteral("Parolayı kopyala"), this, [this] { state_.copyPassword(); });
    autoType_ = menu_->addAction(QStringLiteral("Otomatik yaz"), this, [this] { state_.performAutoType(); });
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("Yeni grup…"), this, [this] { MainActions::newGroup(state_); });
    menu_->addAction(QStringLiteral("Parola üret…"), this, [this] { state_.setRoute(Route::generator()); });
    clearClipboard_ =
        menu_->addAction(QStringLiteral("Panoyu temizle"), this, [this] { clipboard_.clearNow(); });
    connect(menu_, &QMenu::aboutToShow, this, &MainToolbar::refresh);

    connect(newEntry_, &QAbstractButton::clicked, this, [this] { MainActions::newEntry(state_); });
    connect(more_, &QAbstractButton::clicked, this,
            [this] { menu_->popup(more_->mapToGlobal(QPoint(0, more_->height() + 2))); });
    connect(save_, &QAbstractButton::clicked, this, [this] { state_.save(); });
    connect(lock_, &QAbstractButton::clicked, this, [this] { state_.lock(); });

    connect(search_, &SearchField::textChanged, this,
            [this](const QString& text) { state_.setSearchText(text); });
    connect(&state_, &AppState::searchTextChanged, this, [this] { search_->setText(state_.searchText()); });
    connect(&state_, &AppState::searchFocusTokenChanged, this,
            [this] { search_->setFocusToken(static_cast<int>(state_.searchFocusToken())); });
    search_->setText(state_.searchText());

    for (auto signal : {&AppState::isDirtyChanged, &AppState::databaseChanged, &AppState::databaseURLChanged,
                        &AppState::selectedEntryIDsChanged})
        connect(&state_, signal, this, &MainToolbar::refresh);
    connect(&clipboard_, &ClipboardService::secondsRemainingChanged, this, &MainToolbar::refresh);
    refresh();
}

QAction* MainToolbar::menuAction(const QString& text) const {
    for (QAction* action : menu_->actions())
        if (action->text() == text) return action;
    return nullptr;
}

QColor MainToolbar::saveTint() const {
    return save_->tint();
}

void MainToolbar::refresh() {
    const bool focused = state_.focusedEntry().has_value();
    copyUsername_->setEnabled(focused);
    copyPassword_->setEnabled(focused);
    autoType_->setEnabled(focused);
    clearClipboard_->setEnabled(clipboard_.secondsRemaining() != 0);
    save_->setEnabled(state_.canSave() && state_.isDirty());
    save_->setTint(state_.isDirty() ? Palette::accent : Palette::textSoft);
}
