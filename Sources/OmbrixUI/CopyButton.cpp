#include "OmbrixUI/CopyButton.h"

#include <QTimer>

#include "OmbrixServices/Services/ClipboardService.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/Tooltip.h"

QString CopyButton::caption(const QString& label, bool justCopied, bool isSecret, qint64 secondsRemaining) {
    if (justCopied && isSecret && secondsRemaining > 0) return QStringLiteral("%1 sn").arg(secondsRemaining);
    if (justCopied) return QStringLiteral("Kopyalandı");
    return label;
}

CopyButton::CopyButton(const QString& label, const QString& systemImage, bool isSecret,
                       std::function<void()> action, QWidget* parent)
    : CopyButton(label, systemImage, isSecret, std::move(action), ClipboardService::shared(), parent) {}

CopyButton::CopyButton(const QString& label, const QString& systemImage, bool isSecret,
                       std::function<void()> action, ClipboardService& clipboard, QWidget* parent)
    : AppButton(label, ButtonVariant::secondary, parent),
      label_(label),
      systemImage_(systemImage),
      isSecret_(isSecret),
      action_(std::move(action)),
      clipboard_(&clipboard) {
    setSmall(true);
    // The countdown ticks inside the label.
    setTabularDigits(true);
    setTooltip(this, label + QStringLiteral(" panoya kopyala"));
    connect(&clipboard, &ClipboardService::secondsRemainingChanged, this, &CopyButton::refresh);
    connect(this, &QAbstractButton::clicked, this, &CopyButton::pressed);
    refresh();
}

void CopyButton::pressed() {
    if (action_) action_();
    setJustCopied(true);
    // Bound to the button: the confirmation dies with it.
    QTimer::singleShot(confirmationMs, this, [this] { setJustCopied(false); });
}

void CopyButton::setJustCopied(bool justCopied) {
    justCopied_ = justCopied;
    refresh();
}

void CopyButton::refresh() {
    const qint64 seconds = clipboard_ ? clipboard_->secondsRemaining() : 0;
    setText(caption(label_, justCopied_, isSecret_, seconds));
    setSymbol(justCopied_ ? QStringLiteral("checkmark") : systemImage_);
    setVariant(justCopied_ ? ButtonVariant::tinted(Palette::success) : ButtonVariant::secondary);
}
