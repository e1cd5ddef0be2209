#include "OmbrixUI/ConflictDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/WrappingLabel.h"

ConflictDialog::ConflictDialog(const QString& fileName, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Dosya başka bir programda değişti"));
    setWindowModality(Qt::ApplicationModal);
    Painting::fillBackground(this, Palette::surface);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);
    layout->addWidget(wrappingLabel(QStringLiteral("Dosya başka bir programda değişti"),
                                    BrandFont::display(16, QFont::Bold), Palette::text));
    message_ = wrappingLabel(
        QStringLiteral("“%1”, siz açtıktan ya da son kaydettikten sonra başka bir program tarafından "
                       "değiştirildi. Değişiklikleriniz kaydedilmedi. Ne yapılsın?")
            .arg(fileName),
        BrandFont::body(13, QFont::Normal), Palette::textSoft);
    layout->addWidget(message_);

    const auto make = [this](const QString& text, ButtonVariant variant, Choice choice) {
        auto* b = new AppButton(text, variant);
        b->setWide(true);
        connect(b, &QAbstractButton::clicked, this, [this, choice] { done(choice); });
        return b;
    };
    saveElsewhere_ = make(QStringLiteral("Değişikliklerimi başka bir adla kaydet…"), ButtonVariant::primary,
                          saveElsewhere);
    overwrite_ =
        make(QStringLiteral("Öteki programın sürümünün üzerine yaz"), ButtonVariant::secondary, overwrite);
    discardMine_ = make(QStringLiteral("Değişikliklerimi at, diskteki sürümü aç"), ButtonVariant::secondary,
                        discardMine);
    keepEditing_ = make(QStringLiteral("Vazgeç"), ButtonVariant::ghost, keepEditing);
    for (AppButton* b : {saveElsewhere_, overwrite_, discardMine_, keepEditing_}) layout->addWidget(b);
    saveElsewhere_->setDefault(true);
    saveElsewhere_->setFocus();
    // Escape and the window's close button keep editing: nothing is written or dropped.
    setMinimumWidth(440);
}

AppButton* ConflictDialog::button(Choice choice) const {
    switch (choice) {
        case saveElsewhere:
            return saveElsewhere_;
        case overwrite:
            return overwrite_;
        case discardMine:
            return discardMine_;
        case keepEditing:
        case writeBeside:
            break;
    }
    return keepEditing_;
}
