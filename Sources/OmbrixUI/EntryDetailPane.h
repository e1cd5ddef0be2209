#pragma once

#include <QPointer>
#include <QWidget>

class AppState;
class ClipboardService;
class EmptyStateView;
class EntryDetailView;
class MultiSelectionSummary;
class Preferences;

// The right-hand column of the main window. From the entry selection in AppState it shows,
// first match wins: the detail page of the one selected entry; a summary with bulk actions
// when several are selected; a notice when the one selected id names no entry (with a button
// that clears the selection); a hint when nothing is selected. It follows AppState's change
// signals and asks for at least 280 of width, on Palette::surface.
//
// The detail page is kept while the same entry stays selected, so a reveal survives the
// republishing that a copy causes; any other content drops it, and a detail page shown again
// starts with every secret hidden.
class EntryDetailPane : public QWidget {
    Q_OBJECT

  public:
    enum class Content { entry, multipleEntries, missingEntry, noSelection };

    static constexpr int minimumPaneWidth = 280;

    // Uses the shared clipboard service and preferences.
    explicit EntryDetailPane(AppState& state, QWidget* parent = nullptr);
    // `clipboard`: the service the copy buttons watch and custom fields are copied with;
    // `preferences`: where the default auto-type sequence comes from. Both must outlive the pane.
    EntryDetailPane(AppState& state, ClipboardService& clipboard, Preferences& preferences,
                    QWidget* parent = nullptr);

    // What the pane shows for the state's current selection.
    static Content contentFor(const AppState& state);

    Content content() const { return content_; }
    // The content being shown; null for the other kinds.
    EntryDetailView* detailView() const;
    MultiSelectionSummary* summary() const;
    // The missing-entry notice or the empty-selection hint.
    EmptyStateView* notice() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void refresh();
    void present(QWidget* content, Content kind);

    AppState& state_;
    ClipboardService& clipboard_;
    Preferences& preferences_;
    Content content_ = Content::noSelection;
    QWidget* current_ = nullptr;
    QPointer<EntryDetailView> detail_;
    QPointer<MultiSelectionSummary> summary_;
    QPointer<EmptyStateView> notice_;
};
