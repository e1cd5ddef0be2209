#include "OmbrixUI/MultiSelectionSummary.h"

#include <QLabel>
#include <QVBoxLayout>

#include "OmbrixState/AppState.h"
#include "OmbrixState/BrandNumber.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixUI/EmptyStateView.h"
#include "OmbrixUI/FlowRow.h"

QString MultiSelectionSummary::title(qsizetype count) {
    return brandCount(count) + QStringLiteral(" kayıt seçildi");
}

MultiSelectionSummary::MultiSelectionSummary(AppState& state, qsizetype count, QWidget* parent)
    : QWidget(parent),
      state_(state),
      count_(count),
      notice_(new EmptyStateView(QStringLiteral("square.stack.3d.up"), title(count),
                                 QStringLiteral("Toplu işlemler için aşağıdaki düğmeleri ya da sağ tık "
                                                "menüsünü kullan."),
                                 std::nullopt, {}, true)),
      duplicate_(new AppButton(QStringLiteral("Çoğalt"), ButtonVariant::secondary)),
      delete_(new AppButton(QStringLiteral("Sil"), ButtonVariant::danger)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 24);
    column->setSpacing(12);
    column->addWidget(notice_, 1);

    duplicate_->setSmall(true);
    delete_->setSmall(true);
    // The buttons keep their natural size, centred under the notice.
    auto* buttons = new QWidget;
    auto* flow = new FlowRow(8, 8, buttons);
    flow->addWidget(duplicate_);
    flow->addWidget(delete_);
    buttons->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    column->addWidget(buttons, 0, Qt::AlignHCenter);

    connect(duplicate_, &QAbstractButton::clicked, this,
            [this] { state_.duplicateEntries(UUIDSet(state_.selectedEntryIDs())); });
    connect(delete_, &QAbstractButton::clicked, this,
            [this] { state_.deleteEntries(UUIDSet(state_.selectedEntryIDs())); });
}

void MultiSelectionSummary::setCount(qsizetype count) {
    count_ = count;
    notice_->titleLabel()->setText(title(count));
}
