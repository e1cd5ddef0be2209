#include "OmbrixUI/UnlockView.h"

#include <cmath>
#include <numbers>

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

#include "OmbrixState/AppState.h"
#include "OmbrixState/FilePanels.h"
#include "OmbrixState/SecretText.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Card.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Motion.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/Badge.h"
#include "OmbrixUI/BrandMark.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/EmptyStateView.h"
#include "OmbrixUI/ErrorBanner.h"
#include "OmbrixUI/FlowRow.h"
#include "OmbrixUI/FormField.h"
#include "OmbrixUI/HairlineDivider.h"
#include "OmbrixUI/SecretField.h"
#include "OmbrixUI/SheetLayout.h"
#include "OmbrixUI/SlimScrollBar.h"
#include "OmbrixUI/StrengthMeter.h"
#include "OmbrixUI/SymbolView.h"
#include "OmbrixUI/TabOrder.h"
#include "OmbrixUI/Tooltip.h"
#include "OmbrixUI/WrappingLabel.h"

// ShakeEffect

qreal ShakeEffect::offset(qreal animatableData) {
    return amplitude * std::sin(animatableData * std::numbers::pi * 4);
}

ShakeEffect::ShakeEffect(QObject* parent)
    : QGraphicsEffect(parent), animation_(new QPropertyAnimation(this, "animatableData", this)) {
    animation_->setDuration(durationMs);
    animation_->setEasingCurve(QEasingCurve::InOutQuad);
}

void ShakeEffect::setAnimatableData(qreal value) {
    if (value == value_) return;
    value_ = value;
    update();
}

void ShakeEffect::animateTo(qreal target) {
    animation_->stop();
    if (!Motion::isEnabled()) {
        setAnimatableData(target);
        return;
    }
    animation_->setStartValue(value_);
    animation_->setEndValue(target);
    animation_->start();
}

QRectF ShakeEffect::boundingRectFor(const QRectF& rect) const {
    return rect.adjusted(-amplitude, 0, amplitude, 0);
}

void ShakeEffect::draw(QPainter* painter) {
    const qreal dx = offset(value_);
    // Always through the pixmap, also at rest: inside a card that draws its own shadow effect,
    // Qt paints a nested effect's source directly unreliably.
    QPoint origin;
    const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &origin, QGraphicsEffect::NoPad);
    painter->drawPixmap(QPointF(origin) + QPointF(dx, 0), pixmap);
}

// UnlockView

namespace {

constexpr int cardMaxWidth = 440;
constexpr int outerMargin = 16;
constexpr int cardPadding = 24;

AppButton* button(const QString& text, ButtonVariant variant, bool small, bool wide) {
    auto* b = new AppButton(text, variant);
    b->setSmall(small);
    b->setWide(wide);
    return b;
}

// A plain widget holding a box layout without margins.
QWidget* boxed(QBoxLayout::Direction direction, int spacing) {
    auto* widget = new QWidget;
    auto* layout = new QBoxLayout(direction, widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return widget;
}

QWidget* row(int spacing) {
    return boxed(QBoxLayout::LeftToRight, spacing);
}
QWidget* column(int spacing) {
    return boxed(QBoxLayout::TopToBottom, spacing);
}

QBoxLayout* box(QWidget* widget) {
    return static_cast<QBoxLayout*>(widget->layout());
}

QString fileNameOf(const QString& path) {
    return QFileInfo(path).fileName();
}

// Whether two texts keep their characters in one storage (a field's text and a copy of it).
bool sameStorage(const QString& a, const QString& b) {
    return !a.isEmpty() && a.constData() == b.constData();
}

}  // namespace

UnlockView::UnlockView(AppState& state, FilePanels& panels, LockScreenMetrics& metrics, QWidget* parent)
    : QWidget(parent), state_(state), panels_(panels) {
    Painting::fillBackground(this, Palette::canvas);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea;
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setFocusPolicy(Qt::NoFocus);
    makeSlim(scroll_->verticalScrollBar());
    scroll_->viewport()->setAutoFillBackground(false);
    SheetLayout::keepFocusInView(scroll_);
    outer->addWidget(scroll_);

    auto* page = new QWidget;
    page->setAutoFillBackground(false);
    // Scroll only when the content at its actual width does not fit. Wrapping labels report a
    // minimum height for their narrowest width, which would ask for a scroll bar too early.
    page->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);

    // The card at most 440 wide, centred by two spacers that only take what it leaves.
    paddedCard_ = new QWidget;
    auto* padded = new QHBoxLayout(paddedCard_);
    padded->setContentsMargins(outerMargin, outerMargin, outerMargin, outerMargin);
    padded->setSpacing(0);
    auto* panel = new Panel(Palette::surface, cardPadding);
    panel->setMaximumWidth(cardMaxWidth);
    padded->addSpacerItem(new QSpacerItem(0, 0, QSizePolicy::Preferred, QSizePolicy::Minimum));
    padded->addWidget(panel);
    padded->addSpacerItem(new QSpacerItem(0, 0, QSizePolicy::Preferred, QSizePolicy::Minimum));
    // The card keeps its natural height; the page's stretch takes what the window has beyond it.
    pageLayout->addWidget(paddedCard_);
    pageLayout->addStretch(1);
    scroll_->setWidget(page);

    QVBoxLayout* stack = panel->contentLayout();
    stack->setSpacing(16);
    stack->addWidget(buildHeader());
    databaseBlock_ = buildDatabaseBlock();
    stack->addWidget(databaseBlock_);
    chooserBlock_ = buildChooserBlock();
    stack->addWidget(chooserBlock_);
    stack->addWidget(new HairlineDivider(Palette::line));
    stack->addWidget(buildFooter());

    // The measured height includes the margin around the card, so the window shows all of it.
    new CardHeightReader(paddedCard_, metrics);

    // Return is the default action wherever the focus is in the view.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, &UnlockView::submit);
    }

    connect(&state_, &AppState::databaseURLChanged, this, &UnlockView::databaseChanged);
    connect(&state_, &AppState::lastErrorChanged, this, &UnlockView::errorChanged);
    connect(&state_, &AppState::isWorkingChanged, this, [this] {
        if (!state_.isWorking()) workEnded();
    });
    // Escape stops a derivation under way, as "Vazgeç" does.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (state_.isWorking()) cancel();
    });

    isCreating_ = shouldOfferCreation();
    // Every failure of this screen arrives while it shows; an error still set when it is made
    // belongs to the unlocked window it replaces and is not this screen's to show.
    if (state_.lastError()) state_.setLastError(std::nullopt);
    bannerHost_->setVisible(false);
    banner_->setPresent(false);
    refresh();
}

UnlockView::~UnlockView() {
    if (busy_) QApplication::restoreOverrideCursor();
}

QWidget* UnlockView::buildHeader() {
    QWidget* header = row(12);
    box(header)->addWidget(new BrandMark(44), 0, Qt::AlignVCenter);
    QWidget* texts = column(2);
    box(texts)->addWidget(
        wrappingLabel(QStringLiteral("Ombrix"), BrandFont::display(24, QFont::ExtraBold), Palette::text));
    tagline_ = wrappingLabel(QString(), BrandFont::body(12, QFont::Normal), Palette::textMuted);
    box(texts)->addWidget(tagline_);
    box(header)->addWidget(texts, 1, Qt::AlignVCenter);
    return header;
}

QWidget* UnlockView::buildDatabaseBlock() {
    QWidget* block = column(16);

    // Where the database lives: the file name, shortened in the middle, and its folder,
    // shortened at the start so that the nearest folders stay readable.
    auto* pathCard = new Card(Palette::canvas, Radius::control, Palette::line, 10);
    auto* pathRow = new QHBoxLayout;
    pathRow->setSpacing(8);
    pathRow->addWidget(new SymbolView(QStringLiteral("lock.doc"), 13, Palette::warn), 0, Qt::AlignVCenter);
    auto* names = new QVBoxLayout;
    names->setSpacing(1);
    fileName_ = new ElidedLabel;
    fileName_->setFont(BrandFont::body(12, QFont::DemiBold));
    fileName_->setColor(Palette::text);
    fileName_->setElideMode(Qt::ElideMiddle);
    folder_ = new ElidedLabel;
    folder_->setFont(BrandFont::body(10, QFont::Normal));
    folder_->setColor(Palette::textMuted);
    folder_->setElideMode(Qt::ElideLeft);
    names->addWidget(fileName_);
    names->addWidget(folder_);
    pathRow->addLayout(names, 1);
    pathRow->addSpacing(4);
    AppButton* change = button(QStringLiteral("Değiştir"), ButtonVariant::ghost, true, false);
    connect(change, &QAbstractButton::clicked, this, &UnlockView::chooseDatabase);
    pathRow->addWidget(change, 0, Qt::AlignVCenter);
    pathCard->contentLayout()->addLayout(pathRow);
    box(block)->addWidget(pathCard);

    QWidget* fields = column(12);
    password_ = new SecretField(QString(), true);
    box(fields)->addWidget(new FormField(QStringLiteral("Ana parola"), std::nullopt, password_));
    confirm_ = new SecretField(QStringLiteral("Tekrar yaz"), true);
    confirmField_ = new FormField(QStringLiteral("Parolayı doğrula"), std::nullopt, confirm_);
    box(fields)->addWidget(confirmField_);
    strength_ = new StrengthMeter(false);
    box(fields)->addWidget(strength_);
    mismatch_ = wrappingLabel(QStringLiteral("Parolalar eşleşmiyor."), BrandFont::body(11, QFont::Normal),
                              Palette::danger);
    box(fields)->addWidget(mismatch_);

    QWidget* keyContent = column(0);
    keyChooser_ = row(0);
    AppButton* chooseKey = button(QStringLiteral("Dosya seç…"), ButtonVariant::secondary, true, false);
    connect(chooseKey, &QAbstractButton::clicked, this, &UnlockView::chooseKeyFile);
    box(keyChooser_)->addWidget(chooseKey);
    box(keyChooser_)->addStretch(1);
    keyChosen_ = row(4);
    keyBadge_ = new Badge(QString(), QStringLiteral("key.horizontal"), Palette::success);
    box(keyChosen_)->addWidget(keyBadge_);
    AppButton* removeKey = button(QStringLiteral("Kaldır"), ButtonVariant::ghost, true, false);
    connect(removeKey, &QAbstractButton::clicked, this, &UnlockView::removeKeyFile);
    box(keyChosen_)->addWidget(removeKey);
    box(keyChosen_)->addStretch(1);
    box(keyContent)->addWidget(keyChooser_);
    box(keyContent)->addWidget(keyChosen_);
    keyFileField_ = new FormField(QStringLiteral("Anahtar dosyası"), std::nullopt, keyContent);
    box(fields)->addWidget(keyFileField_);
    box(block)->addWidget(fields);

    // The banner manages its own entrance and exit; the swing is drawn around it by its host.
    bannerHost_ = column(0);
    banner_ = new ErrorBanner(QString(), [this] { state_.setLastError(std::nullopt); });
    banner_->installEventFilter(this);
    box(bannerHost_)->addWidget(banner_);
    shakeEffect_ = new ShakeEffect(bannerHost_);
    bannerHost_->setGraphicsEffect(shakeEffect_);
    box(block)->addWidget(bannerHost_);

    QWidget* actions = row(8);
    submit_ = button(QString(), ButtonVariant::primary, false, true);
    connect(submit_, &QAbstractButton::clicked, this, &UnlockView::submit);
    box(actions)->addWidget(submit_, 1, Qt::AlignVCenter);
    auto* open = new IconButton(QStringLiteral("folder"), Palette::warn, 30);
    setTooltip(open, QStringLiteral("Başka bir veritabanı aç"));
    connect(open, &QAbstractButton::clicked, this, &UnlockView::chooseDatabase);
    box(actions)->addWidget(open, 0, Qt::AlignVCenter);
    auto* create = new IconButton(QStringLiteral("doc.badge.plus"), Palette::warn, 30);
    setTooltip(create, QStringLiteral("Yeni veritabanı oluştur"));
    connect(create, &QAbstractButton::clicked, this, &UnlockView::newDatabase);
    box(actions)->addWidget(create, 0, Qt::AlignVCenter);

    // While the key derivation runs: what is happening, and the way out, on one line in the
    // actions' place. The card keeps its height, so the window needs no new shape just as the
    // work starts, when it could not be drawn in time.
    workingRow_ = row(8);
    workingText_ = new ElidedLabel;
    workingText_->setFont(BrandFont::body(12, QFont::Normal));
    workingText_->setColor(Palette::textSoft);
    box(workingRow_)->addWidget(workingText_, 1, Qt::AlignVCenter);
    cancel_ = button(QStringLiteral("Vazgeç"), ButtonVariant::secondary, true, false);
    connect(cancel_, &QAbstractButton::clicked, this, &UnlockView::cancel);
    box(workingRow_)->addWidget(cancel_, 0, Qt::AlignVCenter);
    auto* slot = new QWidget;
    actionSlot_ = new QStackedLayout(slot);
    actionSlot_->addWidget(actions);
    actionSlot_->addWidget(workingRow_);
    box(block)->addWidget(slot);

    connect(password_, &SecretField::textChanged, this, &UnlockView::refresh);
    connect(confirm_, &SecretField::textChanged, this, &UnlockView::refresh);
    // One reveal state for both fields.
    connect(password_, &SecretField::revealedChanged, confirm_, &SecretField::setRevealed);
    connect(confirm_, &SecretField::revealedChanged, password_, &SecretField::setRevealed);
    connect(password_, &SecretField::submitted, this, &UnlockView::submit);
    connect(confirm_, &SecretField::submitted, this, &UnlockView::submit);
    return block;
}

QWidget* UnlockView::buildChooserBlock() {
    QWidget* block = column(12);
    box(block)->addWidget(new EmptyStateView(
        QStringLiteral("lock.doc"), QStringLiteral("Henüz bir kasa yok"),
        QStringLiteral("Var olan bir .kdbx dosyasını aç ya da sıfırdan yeni bir kasa oluştur.")));
    QWidget* buttons = row(8);
    AppButton* open = button(QStringLiteral("Veritabanı aç…"), ButtonVariant::secondary, false, true);
    connect(open, &QAbstractButton::clicked, this, &UnlockView::chooseDatabase);
    AppButton* create = button(QStringLiteral("Yeni kasa…"), ButtonVariant::primary, false, true);
    connect(create, &QAbstractButton::clicked, this, &UnlockView::newDatabase);
    box(buttons)->addWidget(open, 1);
    box(buttons)->addWidget(create, 1);
    box(block)->addWidget(buttons);
    return block;
}

QWidget* UnlockView::buildFooter() {
    auto* footer = new QWidget;
    auto* flow = new FlowRow(4, 4, footer);
    // Fixed words: they describe what the program writes, not the chosen file.
    flow->addWidget(
        new Badge(QStringLiteral("KDBX 4.x"), QStringLiteral("doc.badge.gearshape"), Palette::textMuted));
    flow->addWidget(new Badge(QStringLiteral("Argon2id"), QStringLiteral("cpu"), Palette::textMuted));
    flow->addWidget(new Badge(QStringLiteral("Yerel"), QStringLiteral("externaldrive"), Palette::textMuted));
    footer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return footer;
}

int UnlockView::cardHeightFor(int width) const {
    const_cast<UnlockView*>(this)->ensurePolished();
    // Until the view shows, the card's layout keeps the hints it took before the card was filled
    // (a change reaches it only through a queued request): it is asked afresh.
    if (QLayout* layout = paddedCard_->layout()) layout->invalidate();
    return paddedCard_->hasHeightForWidth() ? paddedCard_->heightForWidth(width)
                                            : paddedCard_->sizeHint().height();
}

UnlockView::Mode UnlockView::mode() const {
    if (!hasDatabase()) return Mode::choose;
    return isCreating_ ? Mode::create : Mode::unlock;
}

bool UnlockView::hasDatabase() const {
    return state_.databaseURL().has_value();
}

bool UnlockView::shouldOfferCreation() const {
    const std::optional<QString>& url = state_.databaseURL();
    return url && files_.isFreeForNewFile(*url);
}

bool UnlockView::canSubmit() const {
    if (!hasDatabase() || busy_) return false;
    if (isCreating_) {
        const QString password = password_->text();
        return !password.isEmpty() && password == confirm_->text();
    }
    // A file may be locked by the empty password: nothing typed is an attempt like any other.
    return true;
}

void UnlockView::submit() {
    if (!canSubmit()) return;
    const Submission submission{isCreating_, *state_.databaseURL(), password_->text(), keyFile_};
    setBusy(true);
    // Reading the files happens on this thread: the busy look must be on screen first.
    submit_->repaint();
    QTimer::singleShot(0, this, [this, submission] { run(submission); });
}

void UnlockView::run(const Submission& submission) {
    // Whoever handles the unlocked state may replace this view while the call runs.
    const QPointer<UnlockView> self(this);
    // Another file chosen in between: what was typed was meant for the previous one.
    if (state_.databaseURL() == submission.url) {
        creatingNow_ = submission.creating;
        if (submission.creating)
            createWith(submission);
        else
            state_.unlock(submission.password, submission.keyFile);
    }
    // The credentials are the state's own copy by now. The copy handed over goes too, unless a
    // field still shows it (a failure that repeats the message shown leaves the typed password
    // in place).
    if (!self || (!sameStorage(submission.password, password_->text()) &&
                  !sameStorage(submission.password, confirm_->text())))
        SecretText::wipe(submission.password);
    if (!self) return;
    if (state_.isWorking()) {
        workingText_->setText(submission.creating ? QStringLiteral("Kasa oluşturuluyor: anahtar türetiliyor…")
                                                  : QStringLiteral("Kilit açılıyor: anahtar türetiliyor…"));
        refresh();
        return;
    }
    workEnded();
}

void UnlockView::workEnded() {
    if (!busy_) return;
    if (!state_.isLocked()) forgetTyped(true);
    // A file that appeared at the location meanwhile is opened, not replaced.
    if (creatingNow_ && state_.isLocked()) setCreating(shouldOfferCreation());
    creatingNow_ = false;
    setBusy(false);
    if (!state_.isLocked()) return;
    focusPassword();
    // A failure that repeats the message shown leaves the password typed in place: it is
    // selected, so what is typed next replaces it, as the emptied field does after a new message.
    password_->lineEdit()->selectAll();
}

void UnlockView::cancel() {
    state_.cancelWork();
}

void UnlockView::createWith(const Submission& submission) {
    std::optional<SecretBytes> keyData;
    if (submission.keyFile) {
        try {
            keyData = SecretBytes(files_.read(*submission.keyFile));
        } catch (const std::exception& error) {
            // The user chose a second factor: a vault without it would be weaker than asked.
            state_.setLastError(QStringLiteral("Kasa oluşturulmadı: anahtar dosyası okunamadı. %1")
                                    .arg(QString::fromUtf8(error.what())));
            return;
        }
    }
    state_.createDatabase(submission.url, submission.password, std::move(keyData));
}

void UnlockView::chooseDatabase() {
    if (const std::optional<QString> url = panels_.chooseDatabase()) state_.prepare(*url);
}

void UnlockView::newDatabase() {
    const std::optional<QString> url = panels_.newDatabaseDestination();
    if (!url) return;
    state_.prepare(*url);
    // Replacing an existing file was confirmed in the dialog, but a file with content is
    // opened, never overwritten.
    setCreating(shouldOfferCreation());
}

void UnlockView::chooseKeyFile() {
    keyFile_ = panels_.chooseKeyFile();
    refresh();
}

void UnlockView::removeKeyFile() {
    keyFile_.reset();
    refresh();
}

void UnlockView::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    refresh();
}

void UnlockView::setCreating(bool creating) {
    isCreating_ = creating;
    refresh();
}

void UnlockView::databaseChanged() {
    forgetTyped(true);
    keyFile_.reset();
    setCreating(shouldOfferCreation());
    focusPassword();
}

void UnlockView::errorChanged() {
    const std::optional<QString>& error = state_.lastError();
    if (!error) {
        banner_->setPresent(false);
        if (banner_->isHidden()) bannerHost_->hide();
        return;
    }
    banner_->setMessage(*error);
    bannerHost_->show();
    banner_->setPresent(true);
    shakeEffect_->animateTo(++shake_);
    forgetTyped(false);
    focusPassword();
}

// The field's text and every copy taken of it (the submission's among them) share one storage:
// wiping it before the field is emptied leaves none of them readable. A confirmation that stays
// keeps what it shows.
void UnlockView::forgetTyped(bool confirmationToo) {
    const QString password = password_->text();
    const QString confirmation = confirm_->text();
    if (confirmationToo) {
        SecretText::wipe(confirmation);
        SecretText::wipe(password);
        confirm_->setText(QString());
    } else if (!sameStorage(password, confirmation)) {
        SecretText::wipe(password);
    }
    password_->setText(QString());
}

void UnlockView::focusPassword() {
    if (hasDatabase()) {
        password_->setFocus(Qt::OtherFocusReason);
        return;
    }
    // Without a file nothing is to be typed. The view itself holds the keyboard, showing none of
    // its buttons as chosen, so that the first Tab goes to the first of them, "Veritabanı aç…";
    // left to itself the window would give the keyboard silently to that button on activation,
    // and the first Tab would pass it by.
    setFocus(Qt::OtherFocusReason);
}

bool UnlockView::focusNextPrevChild(bool next) {
    return TabOrder::moveFocus(this, next) || QWidget::focusNextPrevChild(next);
}

void UnlockView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    setCreating(shouldOfferCreation());
    focusPassword();
}

bool UnlockView::eventFilter(QObject* watched, QEvent* event) {
    // The banner hides itself at the end of its exit; its host then gives its place back.
    if (watched == banner_ && event->type() == QEvent::Hide && !banner_->isPresent()) bannerHost_->hide();
    return QWidget::eventFilter(watched, event);
}

void UnlockView::refresh() {
    const bool has = hasDatabase();
    const bool creating = has && isCreating_;
    const QString password = password_->text();
    const QString confirmation = confirm_->text();

    // Hiding before showing: a widget that shows activates its parent's layout at once, and the
    // card would be measured for a moment with both the old and the new parts in it.
    const std::pair<QWidget*, bool> visibility[] = {
        {databaseBlock_, has},
        {chooserBlock_, !has},
        {confirmField_, creating},
        {strength_, creating && !password.isEmpty()},
        {mismatch_, creating && !confirmation.isEmpty() && confirmation != password},
        {keyChooser_, !keyFile_},
        {keyChosen_, keyFile_.has_value()},
    };
    for (const auto& [widget, visible] : visibility)
        if (!visible) widget->hide();

    tagline_->setText(creating ? QStringLiteral("Ana parolanı belirle, kasayı mühürleyelim.")
                               : QStringLiteral("Parolaların yerel, şifreli ve sende."));
    const QString url = state_.databaseURL().value_or(QString());
    fileName_->setText(has ? fileNameOf(url) : QStringLiteral("—"));
    folder_->setText(has ? QFileInfo(url).path() : QString());
    password_->setPlaceholder(creating ? QStringLiteral("Güçlü bir parola seç")
                                       : QStringLiteral("Ana parolan"));
    strength_->setPassword(creating ? password : QString());
    keyFileField_->setHint(keyFile_
                               ? std::nullopt
                               : std::optional<QString>(QStringLiteral("İsteğe bağlı — ikinci bir faktör.")));
    keyBadge_->setText(keyFile_ ? fileNameOf(*keyFile_) : QString());
    submit_->setText(creating ? QStringLiteral("Kasayı oluştur") : QStringLiteral("Kilidi aç"));
    submit_->setEnabled(canSubmit());
    const bool working = busy_ && state_.isWorking();
    actionSlot_->setCurrentWidget(working ? workingRow_ : submit_->parentWidget());

    for (const auto& [widget, visible] : visibility)
        if (visible) widget->show();
}
