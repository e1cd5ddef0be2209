#include "OmbrixUI/GroupEditView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

#include "OmbrixServices/Services/AutoTypeService.h"
#include "OmbrixState/AppState.h"
#include "OmbrixState/BrandNumber.h"
#include "OmbrixState/EntrySearch.h"
#include "OmbrixState/GroupTree.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/AppSwitch.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Card.h"
#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/FormField.h"
#include "OmbrixUI/IconPicker.h"
#include "OmbrixUI/NotesEditor.h"
#include "OmbrixUI/SectionHeader.h"
#include "OmbrixUI/SheetLayout.h"
#include "OmbrixUI/WrappingLabel.h"

namespace {

// Spaces and tabs go from both ends; line breaks stay.
QString trimmed(const QString& value) {
    return EntrySearch::trimmed(value).toString();
}

QString builtInSequence() {
    return QString::fromUtf8(AutoTypeService::defaultSequence.data(),
                             qsizetype(AutoTypeService::defaultSequence.size()));
}

}  // namespace

GroupEditView::GroupEditView(AppState& state, Mode mode, QWidget* parent)
    : SheetScaffold(mode.isCreate() ? QStringLiteral("Yeni grup") : QStringLiteral("Grubu düzenle"),
                    std::nullopt, mode.isCreate() ? QStringLiteral("Oluştur") : QStringLiteral("Kaydet"),
                    parent),
      state_(state),
      mode_(std::move(mode)) {
    setMinimumSize(minimumWidth, minimumHeight);
    resize(idealWidth, idealHeight);

    QVBoxLayout* column = makeFormColumn();
    column->addWidget(nameCard());
    column->addWidget(autoTypeCard());
    // The root holds the whole database and is never deleted.
    const Mode::Edit* edit = mode_.asEdit();
    if (edit && state_.database() && edit->group.id != state_.database()->root.id)
        column->addWidget(makeDeleteZone(edit->group));

    load();

    connect(name_->lineEdit(), &QLineEdit::textChanged, this, &GroupEditView::validate);
    connect(useSequence_, &QAbstractButton::toggled, sequenceBlock_, &QWidget::setVisible);
    connect(this, &SheetScaffold::cancelRequested, this, &GroupEditView::cancel);
    connect(this, &SheetScaffold::confirmRequested, this, &GroupEditView::commit);
    name_->setFocus(Qt::OtherFocusReason);
}

GroupEditView::~GroupEditView() = default;

QWidget* GroupEditView::nameCard() {
    Card* card = Card::section(12);
    iconPicker_ = new IconPicker(newGroupIcon);
    name_ = new AppTextField;
    name_->lineEdit()->setPlaceholderText(QStringLiteral("örn. Bankacılık"));
    auto* head = new QWidget;
    auto* headRow = new QHBoxLayout(head);
    headRow->setContentsMargins(0, 0, 0, 0);
    headRow->setSpacing(12);
    headRow->addWidget(iconPicker_, 0, Qt::AlignBottom);
    headRow->addWidget(new FormField(QStringLiteral("Grup adı"), std::nullopt, name_), 1, Qt::AlignBottom);
    card->contentLayout()->addWidget(head);
    notes_ = new NotesEditor(80);
    card->contentLayout()->addWidget(new FormField(QStringLiteral("Notlar"), std::nullopt, notes_));
    return card;
}

QWidget* GroupEditView::autoTypeCard() {
    Card* card = Card::section(12);
    card->contentLayout()->addWidget(new SectionHeader(QStringLiteral("Otomatik yazma")));
    useSequence_ = new AppSwitch(QStringLiteral("Bu grup için varsayılan sekans"));
    SheetLayout::relaxMinimumHeight(useSequence_);
    card->contentLayout()->addWidget(useSequence_);
    sequence_ = new AppTextField(AppTextFieldStyle::appMono);
    sequence_->lineEdit()->setPlaceholderText(builtInSequence());
    auto* sequenceField = new FormField(QStringLiteral("Sekans"),
                                        QStringLiteral("Alt gruplar ve kayıtlar bunu devralır."), sequence_);
    SheetLayout::relaxMinimumHeight(sequenceField->hintLabel());
    sequenceBlock_ = sequenceField;
    card->contentLayout()->addWidget(sequenceBlock_);
    return card;
}

QWidget* GroupEditView::makeDeleteZone(const KdbxGroup& group) {
    deleteZone_ = new Card(withOpacity(Palette::danger, 0.06), Radius::card,
                           withOpacity(Palette::danger, 0.25), Metric::l);
    deleteZone_->contentLayout()->setSpacing(8);
    delete_ = new AppButton(QStringLiteral("Grubu sil"), ButtonVariant::danger);
    delete_->setSmall(true);
    deleteZone_->contentLayout()->addWidget(delete_, 0, Qt::AlignLeft);
    deleteNote_ = wrappingLabel(
        brandCount(GroupTree::totalEntryCount(group)) + QStringLiteral(" kayıt ve tüm alt gruplar silinir."),
        BrandFont::body(11, QFont::Normal), Palette::textMuted);
    SheetLayout::relaxMinimumHeight(deleteNote_);
    deleteZone_->contentLayout()->addWidget(deleteNote_);
    connect(delete_, &QAbstractButton::clicked, this, &GroupEditView::deleteGroup);
    return deleteZone_;
}

void GroupEditView::load() {
    sequence_->lineEdit()->setText(builtInSequence());
    if (const Mode::Edit* edit = mode_.asEdit()) {
        const KdbxGroup& group = edit->group;
        name_->lineEdit()->setText(QString::fromStdString(group.name));
        notes_->setText(QString::fromStdString(group.notes));
        iconPicker_->setIconID(group.iconID);
        useSequence_->setChecked(group.defaultAutoTypeSequence.has_value());
        if (group.defaultAutoTypeSequence)
            sequence_->lineEdit()->setText(QString::fromStdString(*group.defaultAutoTypeSequence));
    }
    sequenceBlock_->setVisible(useSequence_->isChecked());
    validate();
}

void GroupEditView::validate() {
    const QString name = name_->lineEdit()->text();
    setSubtitle(name.isEmpty() ? std::nullopt : std::optional<QString>(name));
    setConfirmEnabled(!trimmed(name).isEmpty());
}

std::optional<std::string> GroupEditView::sequence() const {
    if (!useSequence_->isChecked()) return std::nullopt;
    return sequence_->lineEdit()->text().toStdString();
}

void GroupEditView::finish(int result) {
    QPointer<GroupEditView> self(this);
    state_.setRoute(std::nullopt);
    if (self) done(result);
}

void GroupEditView::cancel() {
    finish(QDialog::Rejected);
}

void GroupEditView::commit() {
    if (!isConfirmEnabled()) return;
    const std::string name = trimmed(name_->lineEdit()->text()).toStdString();
    const std::string notes = notes_->text().toStdString();
    if (const Mode::Create* create = mode_.asCreate()) {
        const Timestamp stamp =
            std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
        KdbxGroup group;
        group.id = UUID::random();
        group.name = name;
        group.notes = notes;
        group.iconID = iconPicker_->iconID();
        group.isExpanded = true;
        group.defaultAutoTypeSequence = sequence();
        group.created = stamp;
        group.modified = stamp;
        state_.addGroup(group, create->parentID);
        if (keptWhileSaving()) return;
        // The state selects what it added; when the parent is gone it records nothing and says
        // why, and the sheet stays open so that nothing typed is lost.
        const std::optional<UUID>& selected = state_.selectedGroupID();
        const KdbxGroup* parent =
            state_.database() ? GroupTree::findGroup(state_.database()->root, create->parentID) : nullptr;
        const bool added = parent && selected &&
                           std::any_of(parent->groups.begin(), parent->groups.end(),
                                       [&](const KdbxGroup& g) { return g.id == *selected; });
        if (!added) {
            showError(state_.lastError().value_or(QStringLiteral("Grup eklenemedi.")));
            return;
        }
    } else {
        KdbxGroup group = mode_.asEdit()->group;
        group.name = name;
        group.notes = notes;
        group.iconID = iconPicker_->iconID();
        group.defaultAutoTypeSequence = sequence();
        state_.update(group);
        if (keptWhileSaving()) return;
    }
    finish(QDialog::Accepted);
}

void GroupEditView::deleteGroup() {
    state_.deleteGroup(mode_.asEdit()->group.id);
    if (keptWhileSaving()) return;
    finish(QDialog::Accepted);
}

bool GroupEditView::keptWhileSaving() {
    // Not taken while a save runs (the state says why): what was typed stays for another try.
    if (!state_.isSaving()) return false;
    showError(state_.lastError().value_or(QStringLiteral("Grup değiştirilemedi.")));
    return true;
}
