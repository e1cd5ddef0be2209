#include "OmbrixUI/EntryDetailCards.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "OmbrixServices/Services/ClipboardService.h"
#include "OmbrixState/AppState.h"
#include "OmbrixState/BrandNumber.h"
#include "OmbrixState/Preferences.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/Badge.h"
#include "OmbrixUI/BrandDate.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/FieldLabel.h"
#include "OmbrixUI/FieldRow.h"
#include "OmbrixUI/FlowRow.h"
#include "OmbrixUI/MetaStat.h"
#include "OmbrixUI/SectionHeader.h"
#include "OmbrixUI/SelectableText.h"
#include "OmbrixUI/StrengthMeter.h"

namespace {

const QString placeholder = QStringLiteral("—");

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// Every section of the page shares this card look.
void prepareCard(Card* card) {
    card->contentLayout()->setSpacing(12);
}

AppButton* ghostButton(const QString& title) {
    auto* button = new AppButton(title, ButtonVariant::ghost);
    button->setSmall(true);
    return button;
}

// A bare widget laid out by a wrapping row.
QWidget* flowContainer(qreal spacing, qreal lineSpacing) {
    auto* container = new QWidget;
    new FlowRow(spacing, lineSpacing, container);
    return container;
}

// Removes a widget that may be the sender of the signal being handled: out of sight (so no
// layout counts it) at once, destroyed once control is back in the event loop.
void discard(QWidget* widget) {
    widget->hide();
    widget->deleteLater();
}

void discardChildren(QWidget* container) {
    for (QWidget* child : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) discard(child);
}

ElidedLabel* monoLine(const QString& line, const QColor& color) {
    auto* label = new ElidedLabel(line);
    label->setFont(BrandFont::mono(10, QFont::Normal));
    label->setColor(color);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return label;
}

}  // namespace

// ---- Location ----

LocationCard::LocationCard(AppState& state, QWidget* parent)
    : Card(Palette::elevated, Radius::card, Palette::line, Metric::l, parent),
      state_(state),
      copy_(ghostButton(QStringLiteral("Kopyala"))),
      open_(ghostButton(QStringLiteral("Aç"))),
      tagsBlock_(new QWidget),
      tagFlow_(flowContainer(4, 4)) {
    prepareCard(this);
    address_ =
        new FieldRow(QStringLiteral("Adres"), QString(), false, Palette::info, placeholder, {copy_, open_});
    // The handlers take a copy of the entry: the call republishes the database, which hands
    // this card a new entry while it runs.
    connect(copy_, &QAbstractButton::clicked, this, [this] { state_.copyURL(KdbxEntry(entry_)); });
    connect(open_, &QAbstractButton::clicked, this, [this] { state_.openURL(KdbxEntry(entry_)); });
    contentLayout()->addWidget(address_);

    auto* column = new QVBoxLayout(tagsBlock_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(new FieldLabel(QStringLiteral("Etiketler"), Palette::textMuted));
    column->addWidget(tagFlow_);
    contentLayout()->addWidget(tagsBlock_);
}

bool LocationCard::isShown(const KdbxEntry& entry) {
    return !entry.url.empty() || !entry.tags.empty();
}

void LocationCard::setEntry(const KdbxEntry& entry) {
    entry_ = entry;
    address_->setVisible(!entry.url.empty());
    address_->setValue(text(entry.url));
    tagsBlock_->setVisible(!entry.tags.empty());
    if (entry.tags == tags_) return;
    tags_ = entry.tags;
    discardChildren(tagFlow_);
    for (const std::string& tag : tags_)
        tagFlow_->layout()->addWidget(new Badge(text(tag), std::nullopt, Palette::info));
}

QList<Badge*> LocationCard::tagBadges() const {
    QList<Badge*> badges;
    for (Badge* badge : tagFlow_->findChildren<Badge*>(Qt::FindDirectChildrenOnly))
        if (!badge->isHidden()) badges.append(badge);
    return badges;
}

// ---- Custom fields ----

QString CustomFieldsCard::mask(const QString& value) {
    const std::int64_t count =
        std::min<std::int64_t>(std::max<std::int64_t>(StrengthMeter::characterCount(value), 6), 24);
    return QString(qsizetype(count), QChar(0x2022));
}

std::vector<std::string> CustomFieldsCard::orderedNames(const std::map<std::string, KdbxFieldValue>& fields) {
    // UTF-8 byte order is Unicode scalar order, so composed UTF-8 texts compare as required.
    // Names equal after composition keep the map's (byte) order.
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(fields.size());
    for (const auto& [name, value] : fields)
        keyed.emplace_back(text(name).normalized(QString::NormalizationForm_C).toStdString(), name);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    names.reserve(keyed.size());
    for (auto& [key, name] : keyed) names.push_back(std::move(name));
    return names;
}

CustomFieldsCard::CustomFieldsCard(ClipboardService& clipboard, QWidget* parent)
    : Card(Palette::elevated, Radius::card, Palette::line, Metric::l, parent), clipboard_(clipboard) {
    prepareCard(this);
    contentLayout()->addWidget(new SectionHeader(QStringLiteral("Özel alanlar")));
}

void CustomFieldsCard::setEntry(const KdbxEntry& entry, const std::set<std::string>& revealed) {
    entry_ = entry;
    revealed_ = revealed;
    // Rows are rebuilt only when the fields or their protection change; a new value or a reveal
    // changes the row in place.
    std::set<std::string> names, shownNames;
    for (const auto& field : entry.customFields) names.insert(field.first);
    for (const auto& field : shownFields_) shownNames.insert(field.first);
    const bool sameRows = names == shownNames && entry.protectedCustomFields == shownProtected_;
    shownFields_ = entry.customFields;
    shownProtected_ = entry.protectedCustomFields;
    if (!sameRows) rebuildRows();
    syncValues();
}

void CustomFieldsCard::rebuildRows() {
    for (const Row& row : rows_) discard(row.field);
    rows_.clear();
    for (const std::string& name : orderedNames(entry_.customFields)) {
        const bool isProtected = entry_.protectedCustomFields.count(name) > 0;
        Row row{name, nullptr, nullptr, ghostButton(QStringLiteral("Kopyala"))};
        QList<QWidget*> trailing;
        if (isProtected) {
            row.reveal = new IconButton(QStringLiteral("eye"), Palette::textSoft, 22);
            connect(row.reveal, &QAbstractButton::clicked, this, [this, name] { emit revealToggled(name); });
            trailing.append(row.reveal);
        }
        trailing.append(row.copy);
        connect(row.copy, &QAbstractButton::clicked, this, [this, name] {
            // Always the real value, never the mask; no status text and no access stamp.
            const auto found = entry_.customFields.find(name);
            const QString value =
                found == entry_.customFields.end() ? QString() : text(found->second.value());
            if (entry_.protectedCustomFields.count(name) > 0)
                clipboard_.copySecret(value);
            else
                clipboard_.copyPlain(value);
        });
        row.field = new FieldRow(text(name), QString(), isProtected, Palette::text, placeholder, trailing);
        contentLayout()->addWidget(row.field);
        rows_.push_back(row);
    }
}

void CustomFieldsCard::syncValues() {
    for (const Row& row : rows_) {
        const auto found = entry_.customFields.find(row.name);
        const QString value = found == entry_.customFields.end() ? QString() : text(found->second.value());
        const bool hidden = row.reveal && revealed_.count(row.name) == 0;
        // A hidden value never reaches a widget: the row holds only its mask.
        row.field->setValue(hidden ? mask(value) : value);
        if (row.reveal) row.reveal->setSymbol(hidden ? QStringLiteral("eye") : QStringLiteral("eye.slash"));
    }
}

// ---- Auto-type ----

QString AutoTypeCard::shownSequence(const KdbxEntry& entry, const QString& preferredDefault) {
    return entry.autoTypeSequence ? text(*entry.autoTypeSequence) : preferredDefault;
}

AutoTypeCard::AutoTypeCard(Preferences& preferences, QWidget* parent)
    : Card(Palette::elevated, Radius::card, Palette::line, Metric::l, parent),
      preferences_(preferences),
      badge_(new Badge(QStringLiteral("Varsayılan"), std::nullopt, Palette::textMuted)),
      sequence_(new SelectableText),
      associations_(new QWidget),
      associationList_(new QWidget) {
    prepareCard(this);
    contentLayout()->addWidget(new SectionHeader(QStringLiteral("Otomatik yazma"), std::nullopt, badge_));

    auto* box = new Card(Palette::canvas, Radius::small, Palette::line, Metric::s);
    sequence_->setFont(BrandFont::mono(11, QFont::Normal));
    sequence_->setColor(Palette::textSoft);
    box->contentLayout()->addWidget(sequence_);
    contentLayout()->addWidget(box);

    auto* column = new QVBoxLayout(associations_);
    column->setContentsMargins(0, 4, 0, 0);
    column->setSpacing(4);
    column->addWidget(new FieldLabel(QStringLiteral("Pencere eşleşmeleri"), Palette::textMuted));
    auto* list = new QVBoxLayout(associationList_);
    list->setContentsMargins(0, 0, 0, 0);
    list->setSpacing(4);
    column->addWidget(associationList_);
    contentLayout()->addWidget(associations_);

    // The preference can change in the settings window while the page is shown.
    connect(&preferences_, &Preferences::defaultAutoTypeSequenceChanged, this, &AutoTypeCard::sync);
}

void AutoTypeCard::setEntry(const KdbxEntry& entry) {
    entry_ = entry;
    sync();
}

void AutoTypeCard::sync() {
    const bool own = entry_.autoTypeSequence.has_value();
    badge_->setText(own ? QStringLiteral("Özel") : QStringLiteral("Varsayılan"));
    badge_->setTint(own ? Palette::success : Palette::textMuted);
    sequence_->setText(shownSequence(entry_, preferences_.defaultAutoTypeSequence()));
    associations_->setVisible(!entry_.autoTypeWindowAssociations.empty());
    if (entry_.autoTypeWindowAssociations != shownAssociations_) rebuildAssociations();
}

void AutoTypeCard::rebuildAssociations() {
    shownAssociations_ = entry_.autoTypeWindowAssociations;
    discardChildren(associationList_);
    for (const AutoTypeAssociation& association : shownAssociations_) {
        auto* item = new QWidget;
        auto* lines = new QVBoxLayout(item);
        lines->setContentsMargins(0, 0, 0, 0);
        lines->setSpacing(0);
        lines->addWidget(monoLine(text(association.window), Palette::textSoft));
        if (association.sequence)
            lines->addWidget(
                monoLine(QStringLiteral("→ ") + text(*association.sequence), Palette::textMuted));
        associationList_->layout()->addWidget(item);
    }
}

std::vector<QStringList> AutoTypeCard::associationLines() const {
    std::vector<QStringList> items;
    for (QWidget* item : associationList_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (item->isHidden()) continue;
        QStringList lines;
        for (ElidedLabel* line : item->findChildren<ElidedLabel*>(Qt::FindDirectChildrenOnly))
            lines.append(line->text());
        items.push_back(lines);
    }
    return items;
}

// ---- Notes ----

NotesCard::NotesCard(QWidget* parent)
    : Card(Palette::elevated, Radius::card, Palette::line, Metric::l, parent), notes_(new SelectableText) {
    prepareCard(this);
    contentLayout()->addWidget(new SectionHeader(QStringLiteral("Notlar")));
    notes_->setFont(BrandFont::body(12, QFont::Normal));
    notes_->setColor(Palette::textSoft);
    contentLayout()->addWidget(notes_);
}

void NotesCard::setEntry(const KdbxEntry& entry) {
    notes_->setText(text(entry.notes));
}

// ---- Timestamps ----

TimestampsRow::TimestampsRow(QWidget* parent)
    : QWidget(parent),
      created_(new MetaStat(QStringLiteral("Oluşturuldu"), QString())),
      modified_(new MetaStat(QStringLiteral("Değiştirildi"), QString())),
      accessed_(new MetaStat(QStringLiteral("Erişildi"), QString())),
      expiry_(new MetaStat(QStringLiteral("Son kullanma"), QString())) {
    auto* flow = new FlowRow(16, 8, this);
    flow->setContentsMargins(4, 0, 4, 0);
    for (MetaStat* item : {created_, modified_, accessed_, expiry_}) flow->addWidget(item);
}

void TimestampsRow::setEntry(const KdbxEntry& entry) {
    created_->setValue(brandFormatted(entry.created));
    modified_->setValue(brandFormatted(entry.modified));
    accessed_->setValue(brandFormatted(entry.accessed));
    // Shown whether the time has passed or not; without the flag the stored time means nothing.
    const bool expires = entry.expires && entry.expiryTime.has_value();
    expiry_->setVisible(expires);
    expiry_->setValue(expires ? brandFormatted(*entry.expiryTime) : QString());
}

QList<MetaStat*> TimestampsRow::items() const {
    QList<MetaStat*> shown;
    for (MetaStat* item : {created_, modified_, accessed_, expiry_})
        if (!item->isHidden()) shown.append(item);
    return shown;
}

// ---- History ----

namespace {

constexpr int historyGap = 4;

QFont historyTitleFont() {
    return BrandFont::body(11, QFont::Normal);
}

QFont historyDateFont() {
    return BrandFont::body(10, QFont::Normal);
}

}  // namespace

HistoryRow::HistoryRow(const QString& title, const QString& date, QWidget* parent)
    : QWidget(parent), title_(title), date_(date) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

HistoryRow::Placement HistoryRow::placement() const {
    const QFontMetricsF titleMetrics(historyTitleFont()), dateMetrics(historyDateFont());
    const int titleWant = qCeil(titleMetrics.horizontalAdvance(title_));
    const int dateWant = qCeil(dateMetrics.horizontalAdvance(date_));
    // The title and the gap are served first; the date takes what is left.
    const int titleWidth = std::min(titleWant, std::max(0, width() - historyGap));
    const int dateWidth = std::min(dateWant, std::max(0, width() - titleWidth - historyGap));
    return {titleWidth, dateWidth};
}

QString HistoryRow::displayedTitle() const {
    return QFontMetricsF(historyTitleFont()).elidedText(title_, Qt::ElideRight, placement().titleWidth);
}

QString HistoryRow::displayedDate() const {
    return QFontMetricsF(historyDateFont()).elidedText(date_, Qt::ElideRight, placement().dateWidth);
}

QSize HistoryRow::sizeHint() const {
    const QFontMetricsF titleMetrics(historyTitleFont()), dateMetrics(historyDateFont());
    const qreal height = std::max(titleMetrics.ascent(), dateMetrics.ascent()) +
                         std::max(titleMetrics.descent(), dateMetrics.descent());
    return QSize(qCeil(titleMetrics.horizontalAdvance(title_)) + historyGap +
                     qCeil(dateMetrics.horizontalAdvance(date_)),
                 qCeil(height));
}

QSize HistoryRow::minimumSizeHint() const {
    return QSize(historyGap, sizeHint().height());
}

void HistoryRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetricsF titleMetrics(historyTitleFont()), dateMetrics(historyDateFont());
    const qreal baseline = std::max(titleMetrics.ascent(), dateMetrics.ascent());
    p.setFont(historyTitleFont());
    p.setPen(Palette::textSoft);
    p.drawText(QPointF(0, baseline), displayedTitle());
    const QString date = displayedDate();
    p.setFont(historyDateFont());
    p.setPen(Palette::textMuted);
    p.drawText(QPointF(width() - dateMetrics.horizontalAdvance(date), baseline), date);
}

std::vector<std::size_t> HistoryCard::shownVersions(std::size_t count) {
    std::vector<std::size_t> positions;
    const std::size_t first = count > maximumRows ? count - maximumRows : 0;
    for (std::size_t i = count; i > first; --i) positions.push_back(i - 1);
    return positions;
}

HistoryCard::HistoryCard(QWidget* parent)
    : Card(Palette::elevated, Radius::card, Palette::line, Metric::l, parent),
      header_(new SectionHeader(QStringLiteral("Geçmiş"), QString())),
      list_(new QWidget) {
    prepareCard(this);
    contentLayout()->addWidget(header_);
    auto* rows = new QVBoxLayout(list_);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(12);
    contentLayout()->addWidget(list_);
}

void HistoryCard::setEntry(const KdbxEntry& entry) {
    // Every version counts, also those beyond the rows shown.
    header_->setSubtitle(brandCount(std::int64_t(entry.historyItems.size())) + QStringLiteral(" sürüm"));
    std::vector<std::pair<std::string, Timestamp>> shown;
    for (std::size_t i : shownVersions(entry.historyItems.size()))
        shown.emplace_back(entry.historyItems[i].title, entry.historyItems[i].modified);
    if (shown == shown_) return;
    shown_ = std::move(shown);
    discardChildren(list_);
    for (const auto& [title, modified] : shown_) {
        list_->layout()->addWidget(
            new HistoryRow(title.empty() ? QStringLiteral("Adsız") : text(title), brandFormatted(modified)));
    }
}

QList<HistoryRow*> HistoryCard::historyRows() const {
    QList<HistoryRow*> rows;
    for (HistoryRow* row : list_->findChildren<HistoryRow*>(Qt::FindDirectChildrenOnly))
        if (!row->isHidden()) rows.append(row);
    return rows;
}
