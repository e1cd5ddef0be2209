#include "OmbrixUI/SettingsView.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

#include "OmbrixServices/Services/AutoTypeService.h"
#include "OmbrixServices/Services/HotKeyService.h"
#include "OmbrixState/Preferences.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/AppSlider.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Card.h"
#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/FlowRow.h"
#include "OmbrixUI/HairlineDivider.h"
#include "OmbrixUI/HotKeyFormatter.h"
#include "OmbrixUI/HotKeyRecorder.h"
#include "OmbrixUI/SectionHeader.h"
#include "OmbrixUI/SheetLayout.h"
#include "OmbrixUI/SymbolView.h"
#include "OmbrixUI/WrappingLabel.h"

namespace {

AppButton* smallButton(const QString& title) {
    auto* button = new AppButton(title, ButtonVariant::ghost);
    button->setSmall(true);
    return button;
}

// A button at the leading edge of a row of its own.
QWidget* leading(QWidget* item) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(item);
    layout->addStretch(1);
    return row;
}

// The time-out with its fraction dropped. Formatted as a floating-point number, so that no
// stored value can overflow an integer on its way to the screen.
double wholeSeconds(double seconds) {
    return std::trunc(seconds);
}

// The states of the lock keys in which another program holds the hot key, as words: "Num Lock
// açıkken ya da kilit tuşları kapalıyken".
QString lockStatesText(const QStringList& states) {
    QStringList words;
    for (const QString& state : states) {
        words.append(state.isEmpty() ? QStringLiteral("kilit tuşları kapalıyken")
                                     : QString(state).replace(QStringLiteral(" + "), QStringLiteral(" ve ")) +
                                           QStringLiteral(" açıkken"));
    }
    if (words.size() < 2) return words.join(QString());
    const QString last = words.takeLast();
    return words.join(QStringLiteral(", ")) + QStringLiteral(" ya da ") + last;
}

}  // namespace

SettingsView::SettingsView(Preferences& preferences, AutoTypeService& autoType, QWidget* parent)
    : SettingsView(
          preferences, [&autoType] { return autoType.hasAccessibilityPermission(); }, parent) {}

SettingsView::SettingsView(Preferences& preferences, Availability autoTypeAvailable, QWidget* parent)
    : QWidget(parent, Qt::Window),
      preferences_(preferences),
      autoTypeAvailable_(std::move(autoTypeAvailable)),
      poll_(new QTimer(this)) {
    setWindowTitle(QStringLiteral("Ayarlar"));
    SheetLayout::applySurface(this);
    setMinimumSize(400, 360);

    body_ = SheetLayout::cardColumn({clipboardCard(), autoTypeCard(), hotKeyCard()});
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(SheetLayout::scrollingBody(body_));
    // 520 × 620, or as high as the cards need at that width with the fonts in use: at its
    // default size the window shows everything without scrolling.
    resize(idealWidth, qMax(idealHeight, neededHeight(idealWidth)));

    connect(&preferences_, &Preferences::clipboardTimeoutChanged, this, &SettingsView::refreshTimeout);
    connect(&preferences_, &Preferences::defaultAutoTypeSequenceChanged, this,
            &SettingsView::refreshSequence);
    connect(&preferences_, &Preferences::hotKeyChanged, this, &SettingsView::refreshHotKey);
    // Escape closes the window, as it closes the sheets; a hot key being recorded takes it first.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    poll_->setInterval(availabilityPollMs);
    connect(poll_, &QTimer::timeout, this, &SettingsView::refreshAvailability);

    refreshTimeout();
    refreshSequence();
    showAvailability();
}

SettingsView& SettingsView::presentShared(Preferences& preferences, AutoTypeService& autoType) {
    // Never destroyed, like the services it shows; closing only hides it.
    static QPointer<SettingsView> instance;
    if (!instance) instance = new SettingsView(preferences, autoType);
    instance->present();
    return *instance;
}

void SettingsView::present() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

QWidget* SettingsView::clipboardCard() {
    Card* c = Card::section(12);
    c->contentLayout()->addWidget(
        new SectionHeader(QStringLiteral("Pano"), QStringLiteral("Kopyalanan gizli değerin silinme süresi")));

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    auto* caption = new ElidedLabel(QStringLiteral("Otomatik temizleme"));
    caption->setFont(BrandFont::body(13, QFont::Normal));
    caption->setColor(Palette::textSoft);
    row->addWidget(caption, 1);
    timeoutLabel_ = new ElidedLabel;
    timeoutLabel_->setFont(BrandFont::body(14, QFont::DemiBold));
    timeoutLabel_->setColor(Palette::warn);
    timeoutLabel_->setAlignment(Qt::AlignRight);
    // Room for three digits, so that the text does not jump while the slider moves.
    timeoutLabel_->setMinimumWidth(
        QFontMetrics(timeoutLabel_->font()).horizontalAdvance(QStringLiteral("000 sn")));
    row->addWidget(timeoutLabel_);
    c->contentLayout()->addLayout(row);

    timeoutSlider_ = new AppSlider(minimumTimeout, maximumTimeout, Palette::warn);
    connect(timeoutSlider_, &QSlider::valueChanged, this, [this](int seconds) {
        if (!syncing_) preferences_.setClipboardTimeout(seconds);
    });
    c->contentLayout()->addWidget(timeoutSlider_);

    auto* presets = new QWidget;
    auto* flow = new FlowRow(4, 4, presets);
    for (const int seconds : timeoutPresets) {
        AppButton* button = smallButton(QStringLiteral("%1 sn").arg(seconds));
        connect(button, &QAbstractButton::clicked, this,
                [this, seconds] { preferences_.setClipboardTimeout(seconds); });
        timeoutPresets_.append(button);
        flow->addWidget(button);
    }
    c->contentLayout()->addWidget(presets);
    return c;
}

QWidget* SettingsView::autoTypeCard() {
    Card* c = Card::section(12);
    c->contentLayout()->addWidget(
        new SectionHeader(QStringLiteral("Otomatik yazma"), QStringLiteral("Varsayılan tuş sekansı")));

    const QString builtIn =
        QString::fromUtf8(AutoTypeService::defaultSequence.data(),
                          static_cast<qsizetype>(AutoTypeService::defaultSequence.size()));
    sequence_ = new AppTextField(AppTextFieldStyle::appMono);
    sequence_->lineEdit()->setPlaceholderText(builtIn);
    connect(sequence_->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& text) { preferences_.setDefaultAutoTypeSequence(text); });
    c->contentLayout()->addWidget(sequence_);

    c->contentLayout()->addWidget(wrappingLabel(
        QStringLiteral("{USERNAME} {PASSWORD} {TAB} {ENTER} {DELAY 200} {CLEARFIELD} {URL} {TITLE} {NOTES} "
                       "{S:AlanAdı}"),
        BrandFont::mono(10, QFont::Normal), Palette::textMuted));

    resetSequence_ = smallButton(QStringLiteral("Varsayılana dön"));
    connect(resetSequence_, &QAbstractButton::clicked, this,
            [this, builtIn] { preferences_.setDefaultAutoTypeSequence(builtIn); });
    c->contentLayout()->addWidget(leading(resetSequence_));

    c->contentLayout()->addWidget(new HairlineDivider(Palette::line));

    auto* availability = new QHBoxLayout;
    availability->setContentsMargins(0, 0, 0, 0);
    availability->setSpacing(8);
    availabilitySymbol_ = new SymbolView(QString(), 16, Palette::warn);
    availabilitySymbol_->setFixedSize(22, 18);
    availability->addWidget(availabilitySymbol_, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(4);
    availabilityTitle_ = wrappingLabel(QString(), BrandFont::body(13, QFont::DemiBold), Palette::text);
    availabilityDetail_ = wrappingLabel(QString(), BrandFont::body(11, QFont::Normal), Palette::textMuted);
    texts->addWidget(availabilityTitle_);
    texts->addWidget(availabilityDetail_);
    availability->addLayout(texts, 1);
    c->contentLayout()->addLayout(availability);
    return c;
}

QWidget* SettingsView::hotKeyCard() {
    Card* c = Card::section(12);
    c->contentLayout()->addWidget(
        new SectionHeader(QStringLiteral("Genel kısayol"), QStringLiteral("Her uygulamadan otomatik yazma")));

    recorder_ = new HotKeyRecorder(preferences_.hotKeyCode(), preferences_.hotKeyModifiers());
    connect(recorder_, &HotKeyRecorder::hotKeyRecorded, this,
            [this](std::uint32_t code, std::uint32_t modifiers) { preferences_.setHotKey(code, modifiers); });
    c->contentLayout()->addWidget(recorder_);
    // Room for the refusal hanging under the box, so it never covers the help text.
    c->contentLayout()->addSpacing(HotKeyRecorder::rejectionDrop + 4 - c->contentLayout()->spacing());

    hotKeyStatus_ = wrappingLabel(QString(), BrandFont::body(11, QFont::Medium), Palette::danger);
    hotKeyStatus_->hide();
    c->contentLayout()->addWidget(hotKeyStatus_);

    c->contentLayout()->addWidget(wrappingLabel(
        QStringLiteral(
            "Herhangi bir uygulamadayken bu kısayola bas; ön plandaki pencerenin başlığıyla eşleşen "
            "kayıt otomatik yazılır."),
        BrandFont::body(11, QFont::Normal), Palette::textMuted));

    resetHotKey_ = smallButton(QStringLiteral("Varsayılana dön  (%1)")
                                   .arg(HotKeyFormatter::describe(Preferences::defaultHotKeyCode,
                                                                  Preferences::defaultHotKeyModifiers)));
    connect(resetHotKey_, &QAbstractButton::clicked, this, [this] {
        preferences_.setHotKey(Preferences::defaultHotKeyCode, Preferences::defaultHotKeyModifiers);
    });
    c->contentLayout()->addWidget(leading(resetHotKey_));
    return c;
}

void SettingsView::refreshTimeout() {
    const double whole = wholeSeconds(preferences_.clipboardTimeout());
    timeoutLabel_->setText(QString::number(whole, 'f', 0) + QStringLiteral(" sn"));
    syncing_ = true;
    timeoutSlider_->setValue(static_cast<int>(qBound<double>(minimumTimeout, whole, maximumTimeout)));
    syncing_ = false;
    for (int i = 0; i < timeoutPresets_.size(); ++i) {
        timeoutPresets_[i]->setVariant(whole == timeoutPresets[i] ? ButtonVariant::tinted(Palette::warn)
                                                                  : ButtonVariant::ghost);
    }
}

void SettingsView::refreshSequence() {
    // Only a change made elsewhere is copied in: rewriting the field would move the cursor.
    const QString sequence = preferences_.defaultAutoTypeSequence();
    if (sequence_->lineEdit()->text() != sequence) sequence_->lineEdit()->setText(sequence);
}

void SettingsView::refreshHotKey() {
    recorder_->setHotKey(preferences_.hotKeyCode(), preferences_.hotKeyModifiers());
}

void SettingsView::followHotKey(HotKeyService& hotKeys) {
    if (hotKeys_ == &hotKeys) return;
    if (hotKeys_) disconnect(hotKeys_, nullptr, this, nullptr);
    hotKeys_ = &hotKeys;
    connect(&hotKeys, &HotKeyService::registrationChanged, this, &SettingsView::showHotKeyStatus);
    showHotKeyStatus();
}

void SettingsView::showHotKeyStatus() {
    QString conflict;
    QString status;
    if (hotKeys_) {
        switch (hotKeys_->status()) {
            case HotKeyService::Status::none:
            case HotKeyService::Status::registered:
                break;
            case HotKeyService::Status::taken:
                conflict = QStringLiteral("Başka bir program kullanıyor");
                status = QStringLiteral(
                    "Bu kısayolu başka bir program kullanıyor, bu yüzden Ombrix'in kısayolu çalışmıyor. "
                    "Başka bir kısayol kaydet ya da o programı kapat; Ombrix bu pencereye ya da ana "
                    "pencereye dönüldüğünde kısayolu yeniden almayı dener.");
                break;
            case HotKeyService::Status::partlyTaken:
                // With every lock off is how the key is usually pressed: for the user it is taken.
                conflict = hotKeys_->isTakenWithoutLocks() ? QStringLiteral("Başka bir program kullanıyor")
                                                           : QStringLiteral("Bazen başka bir programda");
                status = QStringLiteral(
                             "Bu kısayolu %1 başka bir program kullanıyor; o durumda Ombrix'in "
                             "kısayolu çalışmaz.")
                             .arg(lockStatesText(hotKeys_->lockStatesTaken()));
                break;
            case HotKeyService::Status::failed:
                conflict = QStringLiteral("Alınamadı");
                status = QStringLiteral(
                    "Bu kısayol alınamadı: bu oturumda genel kısayol kullanılamıyor ya "
                    "da klavyede bu tuş yok.");
                break;
        }
    }
    recorder_->setConflictText(conflict);
    hotKeyStatus_->setText(status);
    hotKeyStatus_->setHidden(status.isEmpty());
    fitContent();
}

int SettingsView::neededHeight(int width) const {
    // Asked afresh: a change of the cards reaches the column's layout only through a queued
    // request, and before the window shows its hints are still those of an empty column.
    body_->layout()->invalidate();
    return body_->hasHeightForWidth() ? body_->heightForWidth(width) : body_->sizeHint().height();
}

void SettingsView::fitContent() {
    int needed = neededHeight(width());
    if (needed <= height()) return;
    if (const QScreen* on = screen()) needed = qMin(needed, on->availableGeometry().height());
    if (needed > height()) resize(width(), needed);
}

void SettingsView::refreshAvailability() {
    const bool available = autoTypeAvailable_ && autoTypeAvailable_();
    if (available == available_) return;
    available_ = available;
    showAvailability();
}

void SettingsView::showAvailability() {
    availabilitySymbol_->setSymbol(available_ ? QStringLiteral("checkmark.shield.fill")
                                              : QStringLiteral("exclamationmark.shield.fill"));
    availabilitySymbol_->setColor(available_ ? Palette::success : Palette::warn);
    availabilityTitle_->setText(available_ ? QStringLiteral("Otomatik yazma kullanılabilir")
                                           : QStringLiteral("Otomatik yazma kullanılamıyor"));
    availabilityDetail_->setText(
        available_ ? QStringLiteral("Tuş vuruşları X11 oturumu üzerinden gönderilir.")
                   : QStringLiteral("Tuş vuruşları yalnızca XTEST eklentisi olan bir X11 oturumunda "
                                    "gönderilebilir; Wayland oturumunda otomatik yazma çalışmaz."));
    fitContent();
}

void SettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refreshAvailability();
    poll_->start();
}

void SettingsView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    poll_->stop();
}
