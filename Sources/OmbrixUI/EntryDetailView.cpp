#include "OmbrixUI/EntryDetailView.h"

#include <QHBoxLayout>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

#include "OmbrixState/AppState.h"
#include "OmbrixState/GroupTree.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Card.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/Badge.h"
#include "OmbrixUI/CopyButton.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/EntryDetailCards.h"
#include "OmbrixUI/FieldLabel.h"
#include "OmbrixUI/FieldRow.h"
#include "OmbrixUI/FlowRow.h"
#include "OmbrixUI/IconTile.h"
#include "OmbrixUI/SelectableText.h"
#include "OmbrixUI/SlimScrollBar.h"
#include "OmbrixUI/StrengthMeter.h"
#include "OmbrixUI/Tooltip.h"

namespace {

const QString noGroup = QStringLiteral("Kayıt");

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

AppButton* ghostButton(const QString& title) {
    auto* button = new AppButton(title, ButtonVariant::ghost);
    button->setSmall(true);
    return button;
}

QVBoxLayout* stack(QWidget* owner, int spacing) {
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

}  // namespace

QString EntryDetailView::passwordMask(const QString& password) {
    const std::int64_t count =
        std::min<std::int64_t>(std::max<std::int64_t>(StrengthMeter::characterCount(password), 8), 32);
    return QString(qsizetype(count), QChar(0x2022));
}

QString EntryDetailView::groupName(const std::optional<KdbxDatabase>& database, const UUID& entryID) {
    if (!database) return noGroup;
    const KdbxGroup* holder = GroupTree::findGroupContainingEntry(database->root, entryID);
    return holder ? text(holder->name) : noGroup;
}

EntryDetailView::EntryDetailView(AppState& state, ClipboardService& clipboard, Preferences& preferences,
                                 const KdbxEntry& entry, QWidget* parent)
    : QScrollArea(parent), state_(state), entry_(entry), column_(new QWidget) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Its controls take the keyboard; the page around them has nothing to show it with.
    setFocusPolicy(Qt::NoFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Palette::surface);
    pal.setColor(QPalette::Base, Palette::surface);
    setPalette(pal);
    viewport()->setAutoFillBackground(true);
    makeSlim(verticalScrollBar());

    auto* column = new QVBoxLayout(column_);
    column->setContentsMargins(12, 12, 12, 12 + 16);
    column->setSpacing(12);
    column->addWidget(buildHeader());
    column->addWidget(buildActionBar(clipboard));
    column->addWidget(buildCredentials());
    location_ = new LocationCard(state_);
    column->addWidget(location_);
    customFields_ = new CustomFieldsCard(clipboard);
    connect(customFields_, &CustomFieldsCard::revealToggled, this, &EntryDetailView::toggleCustomFieldReveal);
    column->addWidget(customFields_);
    autoTypeCard_ = new AutoTypeCard(preferences);
    column->addWidget(autoTypeCard_);
    notes_ = new NotesCard;
    column->addWidget(notes_);
    timestamps_ = new TimestampsRow;
    column->addWidget(timestamps_);
    history_ = new HistoryCard;
    column->addWidget(history_);
    column->addStretch(1);

    // The column stops growing at its maximum and stays at the leading edge.
    column_->setMaximumWidth(maximumContentWidth);
    column_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* page = new QWidget;
    page->setAutoFillBackground(false);
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(column_, 1);
    row->addStretch(0);
    setWidget(page);

    connect(reveal_, &QAbstractButton::clicked, this, [this] { setPasswordRevealed(!revealPassword_); });
    sync();
}

QWidget* EntryDetailView::buildHeader() {
    auto* header = new QWidget;
    auto* column = stack(header, 8);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(8);
    icon_ = new IconTile(entry_.iconID, 38);
    top->addWidget(icon_, 0, Qt::AlignTop);

    auto* names = new QVBoxLayout;
    names->setContentsMargins(0, 0, 0, 0);
    names->setSpacing(1);
    // Wraps onto as many lines as it needs, breaking inside a word only where one is too long;
    // it is a heading, not a value, so it takes no clicks.
    title_ = new SelectableText;
    title_->setFont(BrandFont::display(20, QFont::ExtraBold));
    title_->setColor(Palette::text);
    title_->setTextInteractionFlags(Qt::NoTextInteraction);
    title_->setFocusPolicy(Qt::NoFocus);
    title_->viewport()->setCursor(Qt::ArrowCursor);
    names->addWidget(title_);
    group_ = new ElidedLabel;
    group_->setFont(BrandFont::body(11, QFont::Normal));
    group_->setColor(Palette::textMuted);
    names->addWidget(group_);
    top->addLayout(names, 0);
    top->addStretch(1);

    edit_ = new IconButton(QStringLiteral("pencil"), Palette::accent, 30);
    // The menu owns the shortcut; the tip only names it.
    setTooltip(edit_, QStringLiteral("Düzenle (Ctrl+E)"));
    connect(edit_, &QAbstractButton::clicked, this, [this] { state_.setRoute(Route::editEntry(entry_.id)); });
    top->addWidget(edit_, 0, Qt::AlignTop);
    column->addLayout(top);

    badgeRow_ = new QWidget;
    auto* badges = new FlowRow(4, 4, badgeRow_);
    expiredBadge_ = new Badge(QStringLiteral("Süresi doldu"), QStringLiteral("clock.badge.exclamationmark"),
                              Palette::warn);
    autoTypeOffBadge_ =
        new Badge(QStringLiteral("Otomatik yazma kapalı"), QStringLiteral("keyboard"), Palette::textMuted);
    badges->addWidget(expiredBadge_);
    badges->addWidget(autoTypeOffBadge_);
    column->addWidget(badgeRow_);
    return header;
}

QWidget* EntryDetailView::buildActionBar(ClipboardService& clipboard) {
    auto* bar = new QWidget;
    auto* flow = new FlowRow(4, 4, bar);
    // Each action hands AppState a copy of the shown entry: the call republishes the database,
    // which gives this page a new entry while the call runs.
    copyUsername_ = new CopyButton(
        QStringLiteral("Kullanıcı"), QStringLiteral("person"), true,
        [this] { state_.copyUsername(KdbxEntry(entry_)); }, clipboard);
    copyPassword_ = new CopyButton(
        QStringLiteral("Parola"), QStringLiteral("key"), true,
        [this] { state_.copyPassword(KdbxEntry(entry_)); }, clipboard);
    autoType_ = new AppButton(QStringLiteral("Otomatik yaz"), ButtonVariant::tinted(Palette::success));
    autoType_->setSmall(true);
    autoType_->setSymbol(QStringLiteral("keyboard"));
    connect(autoType_, &QAbstractButton::clicked, this,
            [this] { state_.performAutoType(KdbxEntry(entry_)); });
    flow->addWidget(copyUsername_);
    flow->addWidget(copyPassword_);
    flow->addWidget(autoType_);
    return bar;
}

Card* EntryDetailView::buildCredentials() {
    Card* credentials = Card::section(12);

    usernameCopy_ = ghostButton(QStringLiteral("Kopyala"));
    connect(usernameCopy_, &QAbstractButton::clicked, this,
            [this] { state_.copyUsername(KdbxEntry(entry_)); });
    usernameRow_ = new FieldRow(QStringLiteral("Kullanıcı adı"), QString(), true, Palette::text,
                                QStringLiteral("—"), {usernameCopy_});
    credentials->contentLayout()->addWidget(usernameRow_);

    auto* password = new QWidget;
    auto* column = stack(password, 4);
    auto* caption = new QWidget;
    auto* captionRow = new FlowRow(4, 4, caption);
    auto* label = new FieldLabel(QStringLiteral("Parola"), Palette::textMuted);
    // As tall as the small buttons beside it, so the three line up.
    label->setMinimumHeight(24);
    captionRow->addWidget(label);
    reveal_ = new IconButton(QStringLiteral("eye"), Palette::accent, 24);
    captionRow->addWidget(reveal_);
    passwordCopy_ = ghostButton(QStringLiteral("Kopyala"));
    connect(passwordCopy_, &QAbstractButton::clicked, this,
            [this] { state_.copyPassword(KdbxEntry(entry_)); });
    captionRow->addWidget(passwordCopy_);
    column->addWidget(caption);

    auto* box = new Card(Palette::canvas, Radius::control, Palette::line, 10);
    // Hidden: one line of bullets that takes no clicks. Shown: the password, selectable and
    // wrapping onto as many lines as it needs.
    maskedPassword_ = new ElidedLabel;
    maskedPassword_->setFont(BrandFont::mono(13, QFont::Medium));
    maskedPassword_->setColor(Palette::textSoft);
    maskedPassword_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    box->contentLayout()->addWidget(maskedPassword_);
    clearPassword_ = new SelectableText;
    clearPassword_->setFont(BrandFont::mono(13, QFont::Medium));
    clearPassword_->setColor(Palette::text);
    box->contentLayout()->addWidget(clearPassword_);
    column->addWidget(box);

    column->addSpacing(4);
    strength_ = new StrengthMeter(false);
    column->addWidget(strength_);
    credentials->contentLayout()->addWidget(password);
    return credentials;
}

void EntryDetailView::setEntry(const KdbxEntry& entry) {
    const bool another = entry.id != entry_.id;
    if (another) {
        revealPassword_ = false;
        revealedCustomFields_.clear();
    }
    entry_ = entry;
    sync();
    if (another) verticalScrollBar()->setValue(0);
}

void EntryDetailView::setPasswordRevealed(bool revealed) {
    revealPassword_ = revealed;
    syncPassword();
}

void EntryDetailView::toggleCustomFieldReveal(const std::string& name) {
    if (!revealedCustomFields_.erase(name)) revealedCustomFields_.insert(name);
    customFields_->setEntry(entry_, revealedCustomFields_);
}

QString EntryDetailView::displayedPassword() const {
    return revealPassword_ ? clearPassword_->text() : maskedPassword_->text();
}

void EntryDetailView::sync() {
    icon_->setIconID(entry_.iconID);
    title_->setText(entry_.title.empty() ? QStringLiteral("Adsız kayıt") : text(entry_.title));
    group_->setText(groupName(state_.database(), entry_.id));
    const bool expired = entry_.isExpired();
    expiredBadge_->setVisible(expired);
    autoTypeOffBadge_->setVisible(!entry_.autoTypeEnabled);
    badgeRow_->setVisible(expired || !entry_.autoTypeEnabled);

    copyUsername_->setEnabled(!entry_.username.empty());
    autoType_->setEnabled(entry_.autoTypeEnabled);

    usernameRow_->setValue(text(entry_.username));
    usernameCopy_->setVisible(!entry_.username.empty());
    syncPassword();

    location_->setVisible(LocationCard::isShown(entry_));
    location_->setEntry(entry_);
    customFields_->setVisible(CustomFieldsCard::isShown(entry_));
    customFields_->setEntry(entry_, revealedCustomFields_);
    autoTypeCard_->setEntry(entry_);
    notes_->setVisible(NotesCard::isShown(entry_));
    notes_->setEntry(entry_);
    timestamps_->setEntry(entry_);
    history_->setVisible(HistoryCard::isShown(entry_));
    history_->setEntry(entry_);
}

void EntryDetailView::syncPassword() {
    const QString password = text(entry_.password.value());
    // The strength is rated from the real password whether it is shown or not.
    strength_->setPassword(password);
    reveal_->setSymbol(revealPassword_ ? QStringLiteral("eye.slash") : QStringLiteral("eye"));
    setTooltip(reveal_, revealPassword_ ? QStringLiteral("Gizle") : QStringLiteral("Göster"));
    // The hidden form holds only bullets, never the password.
    clearPassword_->setText(revealPassword_ ? password : QString());
    maskedPassword_->setText(revealPassword_ ? QString() : passwordMask(password));
    clearPassword_->setVisible(revealPassword_);
    maskedPassword_->setVisible(!revealPassword_);
}
