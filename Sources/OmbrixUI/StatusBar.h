#pragma once

#include <QHash>
#include <QWidget>

#include "OmbrixServices/Services/ClipboardService.h"

class AppButton;
class AppState;
class ElidedLabel;
class EntryListModel;
class Fader;
class QLabel;

// The thin bar along the bottom of the main window. Left to right: the clipboard countdown with
// a button that clears the clipboard at once, the passing confirmation of the last action, the
// last error (a click dismisses it), then at the right end a mark for unsaved changes and the
// number of entries listed. Each element shows exactly while its condition holds, and comes and
// goes with a fade. It changes nothing but the error and the clipboard.
class StatusBar : public QWidget {
    Q_OBJECT

  public:
    static constexpr int barHeight = 30;

    // `entries` supplies the count of listed entries; `clipboard` the countdown.
    StatusBar(AppState& state, const EntryListModel& entries,
              ClipboardService& clipboard = ClipboardService::shared(), QWidget* parent = nullptr);

    // "Pano 9 sn sonra temizlenecek".
    static QString countdownText(qint64 seconds);

    QWidget* countdown() const { return countdown_; }
    QLabel* countdownLabel() const { return countdownText_; }
    AppButton* clearButton() const { return clear_; }
    ElidedLabel* statusLabel() const { return status_; }
    // The error with its symbol; a click on it clears AppState::lastError.
    QWidget* errorLabel() const { return error_; }
    ElidedLabel* errorText() const { return errorText_; }
    QWidget* unsavedMark() const { return unsaved_; }
    QLabel* countLabel() const { return count_; }

  private:
    void refresh();
    void showElement(QWidget* element, bool shown);

    AppState& state_;
    const EntryListModel& entries_;
    ClipboardService& clipboard_;
    QWidget* countdown_;
    QLabel* countdownText_;
    AppButton* clear_;
    ElidedLabel* status_;
    QWidget* error_;
    ElidedLabel* errorText_;
    QWidget* unsaved_;
    QLabel* count_;
    QHash<QWidget*, Fader*> faders_;
};
