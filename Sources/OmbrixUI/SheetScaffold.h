#pragma once

#include <QDialog>
#include <QPointer>

#include <optional>

class AppButton;
class ElidedLabel;
class ErrorBanner;
class QScrollArea;
class QVBoxLayout;

// The frame of the editor sheets: a header with the title (BrandFont::sheetTitle()) and an
// optional subtitle (11 px, Palette::textMuted), each on one line cut with "…"; a hairline; the
// editor's form in a vertically scrolling body, padded 16; a hairline; a footer with "Vazgeç"
// (secondary) and the confirm button (primary) at the trailing edge. Only the body scrolls. The
// scaffold sets no size: the editor gives the sheet its size limits.
//
// An editor derives from it (or creates one) and puts its form in with setContent() or
// makeFormColumn() (a column headed by an error banner that showError() brings in), keeps
// setConfirmEnabled() in step with its input and answers confirmRequested() and
// cancelRequested(). Open it with open(), not exec(): it is then window-modal over its parent's
// window while the event loop runs on.
//
// The scaffold performs nothing itself. Return, and the confirm button while it is enabled,
// emit confirmRequested(); Escape, "Vazgeç" and the window's close button emit
// cancelRequested() (reject() does only that). Tab walks the form as it is drawn, rows added
// later included, and then the footer's buttons. The owner closes the sheet with accept(), done()
// or hide() when it is finished with it. So that Return always means confirm, no other push
// button in the sheet becomes the default button, not even while it has the focus.
class SheetScaffold : public QDialog {
    Q_OBJECT

  public:
    SheetScaffold(const QString& title, const std::optional<QString>& subtitle, const QString& confirmTitle,
                  QWidget* parent = nullptr);
    ~SheetScaffold() override;

    QString title() const;
    void setTitle(const QString& title);

    // Absent or empty: no second line.
    std::optional<QString> subtitle() const { return subtitle_; }
    void setSubtitle(const std::optional<QString>& subtitle);

    QString confirmTitle() const;

    // Whether the confirm button (and with it Return) can be used; on at first.
    bool isConfirmEnabled() const;
    void setConfirmEnabled(bool enabled);

    // The editor's form. The scaffold takes ownership; a previous content is deleted.
    QWidget* content() const { return content_; }
    void setContent(QWidget* content);

    ElidedLabel* titleLabel() const { return title_; }
    ElidedLabel* subtitleLabel() const { return subtitleLabel_; }
    AppButton* cancelButton() const { return cancel_; }
    AppButton* confirmButton() const { return confirm_; }
    QScrollArea* scrollArea() const { return scroll_; }
    // The banner heading the form of makeFormColumn(); null without one.
    ErrorBanner* errorBanner() const { return error_; }

    // Asks for cancelling (emits cancelRequested()) and leaves the sheet open.
    void reject() override;

  signals:
    void cancelRequested();
    void confirmRequested();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Tab follows the sheet as drawn, the form before the footer's buttons.
    bool focusNextPrevChild(bool next) override;

    // Makes the content an editor's form: a column 12 apart headed by an error banner, hidden
    // until showError() and taken away by its close button. The editor adds its cards to the
    // returned column.
    QVBoxLayout* makeFormColumn();
    // Brings in the banner with `message` and scrolls the body up to it.
    void showError(const QString& message);

  private:
    ElidedLabel* title_;
    ElidedLabel* subtitleLabel_;
    std::optional<QString> subtitle_;
    QScrollArea* scroll_;
    QVBoxLayout* bodyLayout_;
    QPointer<QWidget> content_;
    AppButton* cancel_;
    AppButton* confirm_;
    ErrorBanner* error_ = nullptr;
};
