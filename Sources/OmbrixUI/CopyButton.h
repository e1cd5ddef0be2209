#pragma once

#include <QPointer>

#include <functional>

#include "OmbrixTheme/AppButton.h"

class ClipboardService;

// The small button beside a copyable value. A press runs the copy action it was given and
// confirms for 1.4 s: a check mark, the success tint and "Kopyalandı", or for a secret the
// seconds left before the clipboard service clears it ("11 sn") while that countdown runs.
// It does not learn whether the copy worked: every press is confirmed. The tool tip is the
// label followed by " panoya kopyala".
//
// Each press starts its own 1.4-second confirmation and none is cancelled, so the first one
// still running ends the confirmation (two presses 1 s apart: it ends 0.4 s after the second).
class CopyButton : public AppButton {
    Q_OBJECT

  public:
    static constexpr int confirmationMs = 1400;

    // What the button says: the seconds left followed by " sn" while confirming a secret copy
    // and the clipboard's countdown is above 0; else "Kopyalandı" while confirming; else `label`.
    static QString caption(const QString& label, bool justCopied, bool isSecret, qint64 secondsRemaining);

    // Observes the shared clipboard service.
    CopyButton(const QString& label, const QString& systemImage, bool isSecret, std::function<void()> action,
               QWidget* parent = nullptr);
    // Observes `clipboard`, which must outlive the button or be destroyed with it silently.
    CopyButton(const QString& label, const QString& systemImage, bool isSecret, std::function<void()> action,
               ClipboardService& clipboard, QWidget* parent = nullptr);

    bool isJustCopied() const { return justCopied_; }
    QString label() const { return label_; }

  private:
    void pressed();
    void setJustCopied(bool justCopied);
    void refresh();

    QString label_;
    QString systemImage_;
    bool isSecret_;
    std::function<void()> action_;
    QPointer<ClipboardService> clipboard_;
    bool justCopied_ = false;
};
