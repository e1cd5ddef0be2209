#include "OmbrixUI/PasswordGeneratorView.h"

#include <algorithm>
#include <memory>

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QShortcut>
#include <QShowEvent>
#include <QTextDocument>
#include <QVBoxLayout>

#include "OmbrixServices/Services/ClipboardService.h"
#include "OmbrixState/AppState.h"
#include "OmbrixState/Preferences.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/AppSlider.h"
#include "OmbrixTheme/AppSwitch.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Card.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/CopyButton.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/ErrorBanner.h"
#include "OmbrixUI/FlowRow.h"
#include "OmbrixUI/HairlineDivider.h"
#include "OmbrixUI/SectionHeader.h"
#include "OmbrixUI/SelectableText.h"
#include "OmbrixUI/SheetLayout.h"
#include "OmbrixUI/StrengthMeter.h"
#include "OmbrixUI/Tooltip.h"

namespace {

constexpr QChar bullet(0x2022);

// The framed well the password shows in: canvas, radius 8, a hairline; at least 48 high.
class PasswordBox : public QWidget {
  public:
    explicit PasswordBox(QWidget* content) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(12, 12, 12, 12);
        layout->addWidget(content);
        setMinimumHeight(48);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        Painting::fill(p, rect(), Radius::control, Palette::canvas);
        Painting::hairline(p, rect(), Palette::line, Radius::control, Metric::hairline);
    }
};

// The password, broken anywhere rather than at its symbols, in as many lines as the longest
// password the slider gives: the length, a fresh password or hiding it never changes its
// height, so the switches below stay where they are under the pointer.
class PasswordPreview final : public SelectableText {
  public:
    PasswordPreview() { setWordWrapMode(QTextOption::WrapAnywhere); }

    int heightForWidth(int width) const override {
        std::unique_ptr<QTextDocument> longest(document()->clone());
        longest->setPlainText(QString(PasswordGeneratorView::maximumSliderLength, QLatin1Char('W')));
        longest->setTextWidth(qMax(1, width));
        return qMax(SelectableText::heightForWidth(width), qCeil(longest->size().height()));
    }
};

QWidget* flow(const QList<QWidget*>& items) {
    auto* container = new QWidget;
    auto* layout = new FlowRow(4, 4, container);
    for (QWidget* item : items) layout->addWidget(item);
    return container;
}

AppButton* smallButton(const QString& title, ButtonVariant variant) {
    auto* button = new AppButton(title, variant);
    button->setSmall(true);
    return button;
}

}  // namespace

PasswordGeneratorView::PasswordGeneratorView(AppState& state, Preferences& preferences,
                                             ClipboardService& clipboard, QWidget* parent)
    : PasswordGeneratorView(state, preferences, clipboard, UseCallback(), parent) {}

PasswordGeneratorView::PasswordGeneratorView(AppState& state, Preferences& preferences,
                                             ClipboardService& clipboard, UseCallback onUse, QWidget* parent)
    : QDialog(parent),
      state_(state),
      preferences_(preferences),
      clipboard_(clipboard),
      onUse_(std::move(onUse)) {
    build(state);
}

void PasswordGeneratorView::build(AppState& state) {
    setWindowTitle(QStringLiteral("Parola üreteci"));
    SheetLayout::applySurface(this);
    setMinimumSize(380, 320);
    resize(460, 580);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    stack->addWidget(SheetLayout::header(new ElidedLabel(QStringLiteral("Parola üreteci"))));
    stack->addWidget(new HairlineDivider(Palette::line));

    QWidget* body = SheetLayout::cardColumn({previewCard(), lengthCard(), characterCard()});
    stack->addWidget(SheetLayout::scrollingBody(body), 1);
    stack->addWidget(new HairlineDivider(Palette::line));

    close_ = new AppButton(QStringLiteral("Kapat"), ButtonVariant::secondary);
    confirm_ =
        new AppButton(isUseMode() ? QStringLiteral("Parolayı kullan") : QStringLiteral("Panoya kopyala"),
                      ButtonVariant::primary);
    stack->addWidget(SheetLayout::footer({close_, confirm_}));

    // Return belongs to the confirm button alone: no other button may become the default one
    // by taking the focus.
    for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(false);
    confirm_->setDefault(true);
    connect(close_, &QAbstractButton::clicked, this, &PasswordGeneratorView::closeSheet);
    connect(confirm_, &QAbstractButton::clicked, this, &PasswordGeneratorView::confirm);

    auto* again = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this);
    again->setContext(Qt::WindowShortcut);
    connect(again, &QShortcut::activated, this, &PasswordGeneratorView::regenerate);

    connect(&state, &AppState::routeChanged, this, [this] {
        if (isUseMode()) {
            hideIfShown();
            return;
        }
        const std::optional<Route>& route = state_.route();
        if (!route || !route->as<Route::Generator>()) hideIfShown();
    });
    refresh();
}

QWidget* PasswordGeneratorView::previewCard() {
    Card* c = Card::section(8);
    reveal_ = new IconButton(QStringLiteral("eye.slash"), Palette::textSoft, 24);
    connect(reveal_, &QAbstractButton::clicked, this, [this] { setRevealed(!revealed_); });
    c->contentLayout()->addWidget(new SectionHeader(QStringLiteral("Önizleme"), std::nullopt, reveal_));

    preview_ = new PasswordPreview;
    preview_->setFont(BrandFont::mono(15, QFont::Medium));
    preview_->setColor(Palette::text);
    c->contentLayout()->addWidget(new PasswordBox(preview_));

    errorBanner_ = new ErrorBanner(QString());
    errorBanner_->hide();
    c->contentLayout()->addWidget(errorBanner_);

    meter_ = new StrengthMeter(false);
    c->contentLayout()->addWidget(meter_);

    regenerate_ = smallButton(QStringLiteral("Yeniden üret"), ButtonVariant::secondary);
    regenerate_->setSymbol(QStringLiteral("arrow.triangle.2.circlepath"));
    connect(regenerate_, &QAbstractButton::clicked, this, &PasswordGeneratorView::regenerate);
    copy_ = new CopyButton(
        QStringLiteral("Kopyala"), QStringLiteral("doc.on.doc"), true,
        [this] { clipboard_.copySecret(generated_); }, clipboard_);
    c->contentLayout()->addWidget(flow({regenerate_, copy_}));
    return c;
}

QWidget* PasswordGeneratorView::lengthCard() {
    Card* c = Card::section(8);
    lengthLabel_ = new ElidedLabel;
    lengthLabel_->setFont(BrandFont::body(15, QFont::DemiBold));
    lengthLabel_->setColor(Palette::accent);
    lengthLabel_->setAlignment(Qt::AlignRight);
    // Room for three digits of the widest kind, so that the number does not jump as it changes.
    lengthLabel_->setMinimumWidth(
        QFontMetrics(lengthLabel_->font()).horizontalAdvance(QStringLiteral("000")));
    c->contentLayout()->addWidget(new SectionHeader(QStringLiteral("Uzunluk"), std::nullopt, lengthLabel_));

    slider_ = new AppSlider(minimumSliderLength, maximumSliderLength, Palette::accent);
    connect(slider_, &QSlider::valueChanged, this, [this](int value) {
        if (!syncing_) setLength(value);
    });
    c->contentLayout()->addWidget(slider_);

    QList<QWidget*> buttons;
    for (const int preset : presets) {
        AppButton* button = smallButton(QString::number(preset), ButtonVariant::ghost);
        connect(button, &QAbstractButton::clicked, this, [this, preset] { setLength(preset); });
        presetButtons_.append(button);
        buttons.append(button);
    }
    c->contentLayout()->addWidget(flow(buttons));
    return c;
}

QWidget* PasswordGeneratorView::characterCard() {
    Card* c = Card::section(12);
    c->contentLayout()->addWidget(new SectionHeader(QStringLiteral("Karakter kümesi")));
    using Flag = bool PasswordGenerator::Options::*;
    const std::array<std::pair<QString, Flag>, 4> classes{{
        {QStringLiteral("Büyük harf  A–Z"), &PasswordGenerator::Options::upper},
        {QStringLiteral("Küçük harf  a–z"), &PasswordGenerator::Options::lower},
        {QStringLiteral("Rakam  0–9"), &PasswordGenerator::Options::digits},
        {QStringLiteral("Sembol  !@#$…"), &PasswordGenerator::Options::symbols},
    }};
    const auto bind = [this](AppSwitch* toggle, Flag flag) {
        connect(toggle, &QAbstractButton::toggled, this, [this, flag](bool on) {
            if (syncing_) return;
            PasswordGenerator::Options changed = options_;
            changed.*flag = on;
            setOptions(changed);
        });
    };
    for (std::size_t i = 0; i < classes.size(); ++i) {
        classSwitches_[i] = new AppSwitch(classes[i].first);
        bind(classSwitches_[i], classes[i].second);
        c->contentLayout()->addWidget(classSwitches_[i]);
    }
    c->contentLayout()->addWidget(new HairlineDivider(Palette::line));
    ambiguous_ = new AppSwitch(QStringLiteral("Karışabilecek karakterleri ele  (l 1 I O 0)"));
    bind(ambiguous_, &PasswordGenerator::Options::excludeAmbiguous);
    c->contentLayout()->addWidget(ambiguous_);

    classHint_ = new QLabel(QStringLiteral("En az bir karakter kümesi seçmelisin."));
    classHint_->setFont(BrandFont::label());
    classHint_->setWordWrap(true);
    QPalette pal = classHint_->palette();
    pal.setColor(QPalette::WindowText, Palette::danger);
    classHint_->setPalette(pal);
    c->contentLayout()->addWidget(classHint_);
    return c;
}

void PasswordGeneratorView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Coming back from being minimised is not a new showing.
    if (!event->spontaneous()) load();
}

void PasswordGeneratorView::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (event->spontaneous()) return;
    // The password is handed on or dropped; the closed sheet keeps no copy.
    generated_.clear();
    error_.reset();
    refreshPreview();
}

void PasswordGeneratorView::load() {
    revealed_ = true;
    options_ = preferences_.generatorOptions();
    regenerate();
}

void PasswordGeneratorView::setOptions(const PasswordGenerator::Options& options) {
    if (options == options_) return;
    options_ = options;
    preferences_.setGeneratorOptions(options_);
    regenerate();
}

void PasswordGeneratorView::setLength(std::int64_t length) {
    PasswordGenerator::Options changed = options_;
    changed.length = length;
    setOptions(changed);
}

bool PasswordGeneratorView::anySetEnabled() const {
    return options_.upper || options_.lower || options_.digits || options_.symbols;
}

void PasswordGeneratorView::regenerate() {
    error_.reset();
    generated_.clear();
    if (anySetEnabled()) {
        try {
            generated_ = random_ ? PasswordGenerator::generate(options_, random_)
                                 : PasswordGenerator::generate(options_);
        } catch (const PasswordGenerator::Error& e) {
            error_ = QString::fromStdString(e.description());
        }
    }
    refresh();
}

void PasswordGeneratorView::setRevealed(bool revealed) {
    revealed_ = revealed;
    refreshPreview();
}

void PasswordGeneratorView::setRandomSource(PasswordGenerator::RandomSource random) {
    random_ = std::move(random);
}

void PasswordGeneratorView::closeSheet() {
    finish(QDialog::Rejected);
}

void PasswordGeneratorView::confirm() {
    // Return reaches here only through the button, which is disabled without a password.
    if (generated_.isEmpty()) return;
    if (isUseMode()) {
        onUse_(generated_);
    } else {
        clipboard_.copySecret(generated_);
    }
    finish(QDialog::Accepted);
}

void PasswordGeneratorView::reject() {
    closeSheet();
}

void PasswordGeneratorView::finish(int result) {
    closeResult_ = result;
    if (!isUseMode()) {
        // Whoever presents sheets by route may delete this one as the route changes.
        const QPointer<PasswordGeneratorView> alive(this);
        state_.setRoute(std::nullopt);
        if (!alive) return;
    }
    hideIfShown();
}

void PasswordGeneratorView::hideIfShown() {
    if (!isVisible()) return;
    const int result = closeResult_;
    closeResult_ = QDialog::Rejected;
    done(result);
}

void PasswordGeneratorView::refresh() {
    syncing_ = true;
    const QString length = QString::number(options_.length);
    lengthLabel_->setText(length);
    slider_->setValue(static_cast<int>(
        std::clamp<std::int64_t>(options_.length, minimumSliderLength, maximumSliderLength)));
    for (int i = 0; i < presetButtons_.size(); ++i) {
        presetButtons_[i]->setVariant(options_.length == presets[i] ? ButtonVariant::tinted(Palette::accent)
                                                                    : ButtonVariant::ghost);
    }
    classSwitches_[0]->setChecked(options_.upper);
    classSwitches_[1]->setChecked(options_.lower);
    classSwitches_[2]->setChecked(options_.digits);
    classSwitches_[3]->setChecked(options_.symbols);
    ambiguous_->setChecked(options_.excludeAmbiguous);
    classHint_->setVisible(!anySetEnabled());
    syncing_ = false;
    refreshPreview();
}

void PasswordGeneratorView::refreshPreview() {
    preview_->setText(revealed_ ? generated_ : QString(generated_.size(), bullet));
    reveal_->setSymbol(revealed_ ? QStringLiteral("eye.slash") : QStringLiteral("eye"));
    setTooltip(reveal_, revealed_ ? QStringLiteral("Gizle") : QStringLiteral("Göster"));
    meter_->setPassword(generated_);
    errorBanner_->setMessage(error_.value_or(QString()));
    errorBanner_->setVisible(error_.has_value());
    confirm_->setEnabled(!generated_.isEmpty());
}
