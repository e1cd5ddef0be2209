#include "OmbrixUI/StatusBar.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <functional>

#include "OmbrixState/AppState.h"
#include "OmbrixState/BrandNumber.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Motion.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/EntryListModel.h"
#include "OmbrixUI/HairlineDivider.h"
#include "OmbrixUI/SymbolView.h"

namespace {

constexpr qreal symbolSize = 9;

QFont barFont(QFont::Weight weight = QFont::Normal) {
    return BrandFont::body(11, weight);
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, color);
    widget->setPalette(pal);
}

// A one-line text whose digits are of equal width, so that a ticking number leaves the words
// around it in place.
class TabularLabel : public QLabel {
  public:
    TabularLabel() { setTextFormat(Qt::PlainText); }

    QSize sizeHint() const override {
        const QFontMetricsF metrics(font());
        return QSize(qCeil(Painting::tabularWidth(metrics, text())), qCeil(metrics.height()));
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        Painting::drawTabular(p, QRectF(rect()), alignment(), text());
    }
};

// The error: its symbol and text; a press anywhere on it runs `onClick`.
class ClickableRow : public QWidget {
  public:
    explicit ClickableRow(std::function<void()> onClick) : onClick_(std::move(onClick)) {
        setCursor(Qt::PointingHandCursor);
    }

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
        event->accept();
        onClick_();
    }

  private:
    std::function<void()> onClick_;
};

// The filled 5 × 5 circle of the unsaved mark.
class Dot : public QWidget {
  public:
    Dot() { setFixedSize(5, 5); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Palette::accent);
        p.drawEllipse(QRectF(rect()));
    }
};

QHBoxLayout* tightRow(QWidget* owner) {
    auto* row = new QHBoxLayout(owner);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    return row;
}

}  // namespace

StatusBar::StatusBar(AppState& state, const EntryListModel& entries, ClipboardService& clipboard,
                     QWidget* parent)
    : QWidget(parent),
      state_(state),
      entries_(entries),
      clipboard_(clipboard),
      countdown_(new QWidget),
      countdownText_(new TabularLabel),
      clear_(new AppButton(QStringLiteral("Temizle"), ButtonVariant::ghost)),
      status_(new ElidedLabel),
      errorText_(new ElidedLabel),
      unsaved_(new QWidget),
      count_(new TabularLabel) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(new HairlineDivider(Palette::line));

    auto* bar = new QWidget;
    bar->setFixedHeight(barHeight);
    Painting::fillBackground(bar, Palette::surface);
    column->addWidget(bar);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(12, 0, 12, 0);
    row->setSpacing(8);

    // The countdown never shortens.
    auto* countdownRow = tightRow(countdown_);
    countdownRow->addWidget(new SymbolView(QStringLiteral("doc.on.clipboard"), symbolSize, Palette::warn));
    countdownText_->setFont(barFont(QFont::Medium));
    setTextColor(countdownText_, Palette::warn);
    countdownRow->addWidget(countdownText_);
    countdown_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    row->addWidget(countdown_);
    clear_->setSmall(true);
    row->addWidget(clear_);

    status_->setFont(barFont());
    status_->setColor(Palette::success);
    row->addWidget(status_);

    error_ = new ClickableRow([this] { state_.setLastError(std::nullopt); });
    auto* errorRow = tightRow(error_);
    errorRow->addWidget(
        new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), symbolSize, Palette::danger));
    errorText_->setFont(barFont());
    errorText_->setColor(Palette::danger);
    errorRow->addWidget(errorText_, 1);
    row->addWidget(error_);

    row->addStretch(1);

    // The unsaved text is the first to shorten when the bar is too narrow.
    auto* unsavedRow = tightRow(unsaved_);
    unsavedRow->addWidget(new Dot, 0, Qt::AlignVCenter);
    auto* unsavedText = new ElidedLabel(QStringLiteral("Kaydedilmemiş değişiklik"));
    unsavedText->setFont(barFont());
    unsavedText->setColor(Palette::textMuted);
    unsavedRow->addWidget(unsavedText, 1);
    unsaved_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    row->addWidget(unsaved_, 0);

    count_->setFont(barFont());
    setTextColor(count_, Palette::textMuted);
    count_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    row->addWidget(count_);

    // Elements come and go with a fade.
    for (QWidget* element :
         {countdown_, static_cast<QWidget*>(clear_), static_cast<QWidget*>(status_), error_, unsaved_})
        faders_.insert(element, new Fader(element));

    connect(clear_, &QAbstractButton::clicked, this, [this] { clipboard_.clearNow(); });
    connect(&clipboard_, &ClipboardService::secondsRemainingChanged, this, &StatusBar::refresh);
    connect(&state_, &AppState::statusMessageChanged, this, &StatusBar::refresh);
    connect(&state_, &AppState::lastErrorChanged, this, &StatusBar::refresh);
    connect(&state_, &AppState::isDirtyChanged, this, &StatusBar::refresh);
    connect(&entries_, &EntryListModel::refreshed, this, &StatusBar::refresh);
    refresh();
}

QString StatusBar::countdownText(qint64 seconds) {
    return QStringLiteral("Pano %1 sn sonra temizlenecek").arg(seconds);
}

void StatusBar::showElement(QWidget* element, bool shown) {
    faders_.value(element)->setShown(shown);
}

void StatusBar::refresh() {
    const qint64 seconds = clipboard_.secondsRemaining();
    // A leaving element keeps its last words while it fades.
    if (seconds >= 1) countdownText_->setText(countdownText(seconds));
    showElement(countdown_, seconds >= 1);
    showElement(clear_, seconds >= 1);

    if (state_.statusMessage()) status_->setText(*state_.statusMessage());
    showElement(status_, state_.statusMessage().has_value());

    if (state_.lastError()) errorText_->setText(*state_.lastError());
    showElement(error_, state_.lastError().has_value());

    showElement(unsaved_, state_.isDirty());
    count_->setText(brandCount(entries_.rowCount()) + QStringLiteral(" kayıt"));
}
