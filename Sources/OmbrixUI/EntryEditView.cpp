#include "OmbrixUI/EntryEditView.h"

#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixServices/Services/AutoTypeService.h"
#include "OmbrixServices/Services/PasswordGenerator.h"
#include "OmbrixState/AppState.h"
#include "OmbrixState/EntrySearch.h"
#include "OmbrixState/GroupTree.h"
#include "OmbrixState/Preferences.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/AppSwitch.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Card.h"
#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/DateTimeField.h"
#include "OmbrixUI/EntryDetailCards.h"
#include "OmbrixUI/FlowRow.h"
#include "OmbrixUI/FormField.h"
#include "OmbrixUI/IconPicker.h"
#include "OmbrixUI/NotesEditor.h"
#include "OmbrixUI/SecretField.h"
#include "OmbrixUI/SectionHeader.h"
#include "OmbrixUI/SheetLayout.h"
#include "OmbrixUI/StrengthMeter.h"
#include "OmbrixUI/Tooltip.h"
#include "OmbrixUI/WrappingLabel.h"

namespace {

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// Spaces and tabs go from both ends; line breaks stay.
QString trimmed(const QString& value) {
    return EntrySearch::trimmed(value).toString();
}

Timestamp now() {
    return std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
}

QDateTime toDateTime(Timestamp time) {
    return QDateTime::fromSecsSinceEpoch(time.time_since_epoch().count());
}

Timestamp toTimestamp(const QDateTime& time) {
    return Timestamp(std::chrono::seconds(time.toSecsSinceEpoch()));
}

AppTextField* textField(const QString& placeholder, AppTextFieldStyle style = AppTextFieldStyle::app) {
    auto* field = new AppTextField(style);
    field->lineEdit()->setPlaceholderText(placeholder);
    return field;
}

AppButton* smallButton(const QString& title, ButtonVariant variant) {
    auto* button = new AppButton(title, variant);
    button->setSmall(true);
    return button;
}

QWidget* flowOf(const QList<QWidget*>& items) {
    auto* container = new QWidget;
    auto* flow = new FlowRow(4, 4, container);
    for (QWidget* item : items) flow->addWidget(item);
    return container;
}

}  // namespace

// ---- Custom-field row ----

EntryEditView::CustomFieldRow::CustomFieldRow(const QString& name, const QString& value, bool isProtected,
                                              QWidget* parent)
    : QWidget(parent),
      name_(textField(QStringLiteral("Alan adı"))),
      value_(textField(QStringLiteral("Değer"))),
      lock_(new IconButton(QStringLiteral("lock.open"), Palette::textMuted, 26)),
      delete_(new IconButton(QStringLiteral("trash"), Palette::danger, 26)),
      problem_(wrappingLabel(QString(), BrandFont::label(), Palette::danger)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(4);
    auto* head = new QHBoxLayout;
    head->setContentsMargins(0, 0, 0, 0);
    head->setSpacing(4);
    head->addWidget(name_, 1);
    head->addWidget(lock_, 0, Qt::AlignVCenter);
    head->addWidget(delete_, 0, Qt::AlignVCenter);
    column->addLayout(head);
    column->addWidget(value_);
    column->addWidget(problem_);
    SheetLayout::relaxMinimumHeight(problem_);
    problem_->hide();
    setTooltip(delete_, QStringLiteral("Alanı sil"));

    name_->lineEdit()->setText(name);
    value_->lineEdit()->setText(value);
    protected_ = !isProtected;  // so that the look below is applied
    setProtected(isProtected);
    connect(lock_, &QAbstractButton::clicked, this, [this] { setProtected(!protected_); });
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QString EntryEditView::CustomFieldRow::name() const {
    return name_->lineEdit()->text();
}

QString EntryEditView::CustomFieldRow::value() const {
    return value_->lineEdit()->text();
}

void EntryEditView::CustomFieldRow::setProtected(bool isProtected) {
    if (protected_ == isProtected) return;
    protected_ = isProtected;
    lock_->setSymbol(isProtected ? QStringLiteral("lock.fill") : QStringLiteral("lock.open"));
    lock_->setTint(isProtected ? Palette::warn : Palette::textMuted);
    setTooltip(lock_, isProtected ? QStringLiteral("Korumalı alan") : QStringLiteral("Düz metin"));
    value_->lineEdit()->setEchoMode(isProtected ? QLineEdit::Password : QLineEdit::Normal);
}

QString EntryEditView::CustomFieldRow::problem() const {
    return problem_->text();
}

void EntryEditView::CustomFieldRow::setProblem(const QString& problem) {
    if (problem == problem_->text()) return;
    problem_->setText(problem);
    problem_->setHidden(problem.isEmpty());
}

void EntryEditView::CustomFieldRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Painting::fill(p, rect(), Radius::control, Palette::canvas);
}

// ---- Helpers ----

const QStringList& EntryEditView::standardFieldNames() {
    static const QStringList names{QStringLiteral("Title"), QStringLiteral("UserName"),
                                   QStringLiteral("Password"), QStringLiteral("URL"),
                                   QStringLiteral("Notes")};
    return names;
}

std::vector<std::string> EntryEditView::splitTags(const QString& value) {
    std::vector<std::string> tags;
    for (const QString& piece : value.split(QRegularExpression(QStringLiteral("[,;]")))) {
        const QString tag = trimmed(piece);
        if (!tag.isEmpty()) tags.push_back(tag.toStdString());
    }
    return tags;
}

// ---- The sheet ----

EntryEditView::EntryEditView(AppState& state, Mode mode, QWidget* parent)
    : EntryEditView(state, Preferences::shared(), std::move(mode), parent) {}

EntryEditView::EntryEditView(AppState& state, Preferences& preferences, Mode mode, QWidget* parent)
    : SheetScaffold(mode.isCreate() ? QStringLiteral("Yeni kayıt") : QStringLiteral("Kaydı düzenle"),
                    std::nullopt, mode.isCreate() ? QStringLiteral("Oluştur") : QStringLiteral("Kaydet"),
                    parent),
      state_(state),
      preferences_(preferences),
      mode_(std::move(mode)),
      expiryDate_(now() + expiryPreset) {
    setMinimumSize(minimumWidth, minimumHeight);
    resize(idealWidth, idealHeight);

    QVBoxLayout* column = makeFormColumn();
    column->addWidget(basicsCard());
    column->addWidget(passwordCard());
    column->addWidget(autoTypeCard());
    column->addWidget(customFieldsCard());
    column->addWidget(notesCard());

    load();

    connect(title_->lineEdit(), &QLineEdit::textChanged, this, &EntryEditView::validate);
    connect(expires_, &QAbstractButton::toggled, expiryPicker_, &QWidget::setVisible);
    connect(expiryEdit_, &QDateTimeEdit::dateTimeChanged, this,
            [this](const QDateTime& time) { expiryDate_ = toTimestamp(time); });
    connect(password_, &SecretField::textChanged, strength_, &StrengthMeter::setPassword);
    connect(generate_, &QAbstractButton::clicked, this, &EntryEditView::generatePassword);
    connect(openGenerator_, &QAbstractButton::clicked, this, &EntryEditView::openGenerator);
    connect(autoType_, &QAbstractButton::toggled, this, &EntryEditView::syncAutoType);
    connect(useSequence_, &QAbstractButton::toggled, this, &EntryEditView::syncAutoType);
    connect(addField_, &QAbstractButton::clicked, this, [this] {
        addCustomField();
        rows_.back()->nameField()->setFocus(Qt::OtherFocusReason);
    });
    connect(this, &SheetScaffold::cancelRequested, this, &EntryEditView::cancel);
    connect(this, &SheetScaffold::confirmRequested, this, &EntryEditView::commit);
    title_->setFocus(Qt::OtherFocusReason);
}

EntryEditView::~EntryEditView() = default;

QWidget* EntryEditView::basicsCard() {
    Card* card = Card::section(12);
    auto* layout = card->contentLayout();

    iconPicker_ = new IconPicker(0);
    title_ = textField(QStringLiteral("örn. GitHub"));
    auto* head = new QWidget;
    auto* headRow = new QHBoxLayout(head);
    headRow->setContentsMargins(0, 0, 0, 0);
    headRow->setSpacing(12);
    headRow->addWidget(iconPicker_, 0, Qt::AlignBottom);
    headRow->addWidget(new FormField(QStringLiteral("Başlık"), std::nullopt, title_), 1, Qt::AlignBottom);
    layout->addWidget(head);

    username_ = textField(QStringLiteral("örn. ayse@ornek.com"));
    layout->addWidget(new FormField(QStringLiteral("Kullanıcı adı"), std::nullopt, username_));
    url_ = textField(QStringLiteral("https://…"));
    layout->addWidget(new FormField(QStringLiteral("Adres"), std::nullopt, url_));
    tags_ = textField(QStringLiteral("iş, kritik"));
    auto* tagsField = new FormField(QStringLiteral("Etiketler"), QStringLiteral("Virgülle ayır."), tags_);
    SheetLayout::relaxMinimumHeight(tagsField->hintLabel());
    layout->addWidget(tagsField);

    expires_ = new AppSwitch(QStringLiteral("Son kullanma tarihi var"));
    SheetLayout::relaxMinimumHeight(expires_);
    layout->addWidget(expires_);

    // A compact date and time field; the calendar opens from it.
    auto* chrome = new FieldChrome;
    expiryEdit_ = new DateTimeField;
    expiryEdit_->setLocale(QLocale(QLocale::Turkish, QLocale::Turkey));
    expiryEdit_->setDisplayFormat(QStringLiteral("d MMM yyyy  HH:mm"));
    expiryEdit_->setCalendarPopup(true);
    expiryEdit_->setFrame(false);
    expiryEdit_->setFont(BrandFont::bodyText());
    // The frame around it draws the field; the arrow sits on the field's own fill.
    QPalette pal = expiryEdit_->palette();
    pal.setColor(QPalette::Base, Qt::transparent);
    for (auto role : {QPalette::Button, QPalette::Light, QPalette::Midlight, QPalette::Mid, QPalette::Dark,
                      QPalette::Shadow})
        pal.setColor(role, Palette::canvas);
    pal.setColor(QPalette::ButtonText, Palette::textSoft);
    pal.setColor(QPalette::Highlight, Palette::accent);
    expiryEdit_->setPalette(pal);
    chrome->contentLayout()->setContentsMargins(8, 0, 4, 0);
    chrome->contentLayout()->addWidget(expiryEdit_);
    chrome->followFocusOf(expiryEdit_);
    chrome->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    chrome->setFixedWidth(210);
    expiryPicker_ = chrome;
    layout->addWidget(expiryPicker_);
    return card;
}

QWidget* EntryEditView::passwordCard() {
    Card* card = Card::section(12);
    auto* layout = card->contentLayout();
    password_ = new SecretField(QStringLiteral("Parola"));
    layout->addWidget(new FormField(QStringLiteral("Parola"), std::nullopt, password_));
    strength_ = new StrengthMeter(false);
    strength_->setPassword(QString());
    layout->addWidget(strength_);
    generate_ = smallButton(QStringLiteral("Parola üret"), ButtonVariant::tinted(Palette::warn));
    openGenerator_ = smallButton(QStringLiteral("Üreteci aç…"), ButtonVariant::ghost);
    layout->addWidget(flowOf({generate_, openGenerator_}));
    return card;
}

QWidget* EntryEditView::autoTypeCard() {
    Card* card = Card::section(12);
    auto* layout = card->contentLayout();
    layout->addWidget(new SectionHeader(QStringLiteral("Otomatik yazma")));
    autoType_ = new AppSwitch(QStringLiteral("Bu kayıt için etkin"));
    SheetLayout::relaxMinimumHeight(autoType_);
    layout->addWidget(autoType_);
    useSequence_ = new AppSwitch(QStringLiteral("Özel sekans kullan"));
    SheetLayout::relaxMinimumHeight(useSequence_);
    layout->addWidget(useSequence_);

    sequence_ = textField(QString::fromUtf8(AutoTypeService::defaultSequence.data(),
                                            qsizetype(AutoTypeService::defaultSequence.size())),
                          AppTextFieldStyle::appMono);
    auto* sequenceField = new FormField(QStringLiteral("Sekans"),
                                        QStringLiteral("{USERNAME} {PASSWORD} {TAB} {ENTER} {DELAY 200} "
                                                       "{CLEARFIELD} {URL} {TITLE} {NOTES} {S:AlanAdı}"),
                                        sequence_);
    SheetLayout::relaxMinimumHeight(sequenceField->hintLabel());
    sequenceBlock_ = sequenceField;
    layout->addWidget(sequenceBlock_);
    defaultSequence_ = wrappingLabel(QString(), BrandFont::mono(11, QFont::Normal), Palette::textMuted);
    SheetLayout::relaxMinimumHeight(defaultSequence_);
    layout->addWidget(defaultSequence_);
    return card;
}

QWidget* EntryEditView::customFieldsCard() {
    Card* card = Card::section(12);
    auto* layout = card->contentLayout();
    addField_ = new IconButton(QStringLiteral("plus"), Palette::accent, 24);
    setTooltip(addField_, QStringLiteral("Alan ekle"));
    layout->addWidget(new SectionHeader(QStringLiteral("Özel alanlar"), std::nullopt, addField_));
    noFields_ = wrappingLabel(QStringLiteral("Henüz özel alan yok."), BrandFont::body(11, QFont::Normal),
                              Palette::textMuted);
    SheetLayout::relaxMinimumHeight(noFields_);
    layout->addWidget(noFields_);
    fieldList_ = new QWidget;
    auto* list = new QVBoxLayout(fieldList_);
    list->setContentsMargins(0, 0, 0, 0);
    list->setSpacing(12);
    layout->addWidget(fieldList_);
    fieldList_->hide();
    return card;
}

QWidget* EntryEditView::notesCard() {
    Card* card = Card::section(8);
    card->contentLayout()->addWidget(new SectionHeader(QStringLiteral("Notlar")));
    notes_ = new NotesEditor(90);
    card->contentLayout()->addWidget(notes_);
    return card;
}

void EntryEditView::load() {
    const QString builtIn = QString::fromUtf8(AutoTypeService::defaultSequence.data(),
                                              qsizetype(AutoTypeService::defaultSequence.size()));
    autoType_->setChecked(true);
    sequence_->lineEdit()->setText(builtIn);
    if (const Mode::Edit* edit = mode_.asEdit()) {
        const KdbxEntry& entry = edit->entry;
        title_->lineEdit()->setText(text(entry.title));
        username_->lineEdit()->setText(text(entry.username));
        std::string plain = entry.password.value();
        password_->setText(QString::fromStdString(plain));
        secureWipe(plain.data(), plain.size());
        url_->lineEdit()->setText(text(entry.url));
        notes_->setText(text(entry.notes));
        QStringList tags;
        for (const std::string& tag : entry.tags) tags.append(text(tag));
        tags_->lineEdit()->setText(tags.join(QStringLiteral(", ")));
        iconPicker_->setIconID(entry.iconID);
        expires_->setChecked(entry.expires);
        if (entry.expiryTime) expiryDate_ = *entry.expiryTime;
        autoType_->setChecked(entry.autoTypeEnabled);
        useSequence_->setChecked(entry.autoTypeSequence.has_value());
        sequence_->lineEdit()->setText(entry.autoTypeSequence ? text(*entry.autoTypeSequence)
                                                              : preferences_.defaultAutoTypeSequence());
        for (const std::string& name : CustomFieldsCard::orderedNames(entry.customFields)) {
            appendRow(new CustomFieldRow(text(name), text(entry.customFields.at(name).value()),
                                         entry.protectedCustomFields.count(name) > 0));
        }
    }
    expiryEdit_->setDateTime(toDateTime(expiryDate_));
    expiryPicker_->setVisible(expires_->isChecked());
    strength_->setPassword(password_->text());
    syncAutoType();
    validate();
}

void EntryEditView::addCustomField() {
    appendRow(new CustomFieldRow(QString(), QString(), false));
    validate();
}

QList<EntryEditView::CustomFieldRow*> EntryEditView::customFieldRows() const {
    return QList<CustomFieldRow*>(rows_.begin(), rows_.end());
}

void EntryEditView::appendRow(CustomFieldRow* row) {
    rows_.push_back(row);
    fieldList_->layout()->addWidget(row);
    // A layout shows a new child only a turn of the event loop later; the row is there now.
    row->show();
    connect(row->nameField()->lineEdit(), &QLineEdit::textChanged, this, &EntryEditView::validate);
    connect(row->deleteButton(), &QAbstractButton::clicked, this, [this, row] { removeRow(row); });
    fieldList_->show();
    noFields_->hide();
}

void EntryEditView::removeRow(CustomFieldRow* row) {
    rows_.erase(std::remove(rows_.begin(), rows_.end(), row), rows_.end());
    // The row's own button is the sender: out of the layout now, destroyed later.
    row->hide();
    fieldList_->layout()->removeWidget(row);
    row->deleteLater();
    fieldList_->setVisible(!rows_.empty());
    noFields_->setVisible(rows_.empty());
    validate();
}

void EntryEditView::validate() {
    const QString title = title_->lineEdit()->text();
    setSubtitle(title.isEmpty() ? std::nullopt : std::optional<QString>(title));

    // Two fields of one name would leave only one of them in the entry, and a standard name
    // would clash with the entry's own field when the file is written.
    std::map<QString, int> uses;
    for (const CustomFieldRow* row : rows_) {
        const QString name = trimmed(row->name());
        if (!name.isEmpty()) ++uses[name];
    }
    bool namesUsable = true;
    for (CustomFieldRow* row : rows_) {
        const QString name = trimmed(row->name());
        QString problem;
        if (standardFieldNames().contains(name)) {
            problem = QStringLiteral("“%1” standart bir alanın adı; başka bir ad seçin.").arg(name);
        } else if (!name.isEmpty() && uses[name] > 1) {
            problem =
                QStringLiteral("Bu ad başka bir özel alanda da kullanılıyor; her alanın adı farklı olmalı.");
        }
        row->setProblem(problem);
        namesUsable = namesUsable && problem.isEmpty();
    }
    setConfirmEnabled(!trimmed(title).isEmpty() && namesUsable);
}

void EntryEditView::syncAutoType() {
    const bool enabled = autoType_->isChecked();
    const bool custom = useSequence_->isChecked();
    useSequence_->setEnabled(enabled);
    sequenceBlock_->setVisible(custom);
    sequenceBlock_->setEnabled(enabled);
    defaultSequence_->setVisible(!custom);
    defaultSequence_->setText(QStringLiteral("Varsayılan: ") + preferences_.defaultAutoTypeSequence());
}

void EntryEditView::generatePassword() {
    try {
        password_->setText(PasswordGenerator::generate(preferences_.generatorOptions()));
        password_->setRevealed(true);
    } catch (const PasswordGenerator::Error& failure) {
        showError(text(failure.description()));
    }
}

void EntryEditView::setGeneratorFactory(GeneratorFactory factory) {
    generatorFactory_ = std::move(factory);
}

void EntryEditView::openGenerator() {
    if (!generatorFactory_ || generatorDialog()) return;
    QPointer<EntryEditView> self(this);
    QDialog* dialog = generatorFactory_(this, [self](const QString& password) {
        if (self) self->acceptGenerated(password);
    });
    if (!dialog) return;
    generator_ = dialog;
    connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
    dialog->open();
}

void EntryEditView::acceptGenerated(const QString& password) {
    password_->setText(password);
    password_->setRevealed(true);
}

void EntryEditView::done(int result) {
    if (generator_) generator_->done(QDialog::Rejected);
    SheetScaffold::done(result);
}

void EntryEditView::cancel() {
    QPointer<EntryEditView> self(this);
    state_.setRoute(std::nullopt);
    if (self) done(QDialog::Rejected);
}

KdbxEntry EntryEditView::builtEntry() const {
    KdbxEntry entry;
    if (const Mode::Edit* edit = mode_.asEdit()) {
        entry = edit->entry;
    } else {
        const Timestamp stamp = now();
        entry.id = UUID::random();
        entry.created = stamp;
        entry.modified = stamp;
        entry.accessed = stamp;
        entry.autoTypeEnabled = true;
    }
    entry.title = trimmed(title_->lineEdit()->text()).toStdString();
    entry.username = username_->lineEdit()->text().toStdString();
    QByteArray plain = password_->text().toUtf8();
    entry.password = SecureString(std::string_view(plain.constData(), std::size_t(plain.size())));
    secureWipe(plain.data(), std::size_t(plain.size()));
    entry.url = trimmed(url_->lineEdit()->text()).toStdString();
    entry.notes = notes_->text().toStdString();
    entry.iconID = iconPicker_->iconID();
    entry.tags = splitTags(tags_->lineEdit()->text());
    entry.expires = expires_->isChecked();
    entry.expiryTime = entry.expires ? std::optional<Timestamp>(expiryDate_) : std::nullopt;
    entry.autoTypeEnabled = autoType_->isChecked();
    entry.autoTypeSequence = useSequence_->isChecked()
                                 ? std::optional<std::string>(sequence_->lineEdit()->text().toStdString())
                                 : std::nullopt;

    // The rows make the custom fields anew. Protection marks that name a standard field belong
    // to the entry's own fields, which the form does not show, so they stay.
    std::map<std::string, KdbxFieldValue> fields;
    std::set<std::string> protectedNames;
    for (const std::string& name : entry.protectedCustomFields) {
        if (standardFieldNames().contains(text(name))) protectedNames.insert(name);
    }
    for (const CustomFieldRow* row : rows_) {
        const QString name = trimmed(row->name());
        if (name.isEmpty()) continue;
        const std::string value = row->value().toStdString();
        fields[name.toStdString()] =
            row->isProtected() ? KdbxFieldValue::secret(value) : KdbxFieldValue(value);
        if (row->isProtected()) protectedNames.insert(name.toStdString());
    }
    entry.customFields = std::move(fields);
    entry.protectedCustomFields = std::move(protectedNames);
    return entry;
}

bool EntryEditView::keptWhileSaving() {
    // Not taken while a save runs (the state says why): what was typed stays for another try.
    if (!state_.isSaving()) return false;
    showError(state_.lastError().value_or(QStringLiteral("Kayıt kaydedilemedi.")));
    return true;
}

void EntryEditView::commit() {
    if (!isConfirmEnabled()) return;
    const KdbxEntry entry = builtEntry();
    if (const Mode::Create* create = mode_.asCreate()) {
        state_.addEntry(entry, create->groupID);
        if (keptWhileSaving()) return;
        // The state selects what it added; when the group is gone it records nothing and says
        // why, and the sheet stays open so that nothing typed is lost.
        const UUIDSet& selected = state_.selectedEntryIDs();
        const KdbxGroup* group =
            state_.database() ? GroupTree::findGroup(state_.database()->root, create->groupID) : nullptr;
        const bool added = group && selected.size() == 1 &&
                           std::any_of(group->entries.begin(), group->entries.end(),
                                       [&](const KdbxEntry& e) { return e.id == *selected.begin(); });
        if (!added) {
            showError(state_.lastError().value_or(QStringLiteral("Kayıt eklenemedi.")));
            return;
        }
    } else {
        state_.update(entry);
        if (keptWhileSaving()) return;
    }
    QPointer<EntryEditView> self(this);
    state_.setRoute(std::nullopt);
    if (self) done(QDialog::Accepted);
}
