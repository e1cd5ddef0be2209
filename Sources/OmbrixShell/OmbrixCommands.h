#pragma once

#include <array>
#include <cstddef>
#include <functional>

#include <QKeySequence>
#include <QObject>
#include <QString>

class AppState;
class ClipboardService;
class FilePanels;
class QAction;
class QMenuBar;
class QWidget;

// The menu bar's commands: "Dosya", "Düzen", "Görünüm", "Kayıt" and "Araçlar". Titles and
// enabled states follow the application state at every change; each command acts through the
// state, the file dialogs or the clipboard service. The shortcuts are bound here (window-wide on
// the window that holds the menu bar) and nowhere else, except two keys that belong to the entry
// list while it has the keyboard focus: Ctrl+C (copy the password) and Delete (delete the
// selection) are only shown beside their items, so that in a text field they still copy text and
// delete characters. Settings sit at the end of "Düzen", where Linux programs keep them.
// Main thread only.
class OmbrixCommands : public QObject {
    Q_OBJECT

  public:
    // What the application shell does for the commands that are not the state's.
    struct Callbacks {
        std::function<void()> openSettings;
        // Quits unless saving unsaved changes fails.
        std::function<void()> quit;
        // Shows or hides the main window's sidebar.
        std::function<void(bool shown)> showSidebar;
    };

    enum class Command {
        // Dosya
        newDatabase,
        openDatabase,
        save,
        saveAs,
        lock,
        closeDatabase,
        quit,
        // Düzen
        undo,
        redo,
        settings,
        // Görünüm
        search,
        sidebar,
        // Kayıt
        copyUsername,
        copyPassword,
        copyURL,
        autoType,
        openURL,
        newEntry,
        newGroup,
        editEntry,
        deleteEntries,
        // Araçlar
        generator,
        clearClipboard,
    };
    static constexpr std::size_t commandCount = static_cast<std::size_t>(Command::clearClipboard) + 1;

    static inline const QString newDatabaseStatus =
        QStringLiteral("Ana parolayı belirleyip kasayı oluşturun.");

    OmbrixCommands(AppState& state, FilePanels& panels, ClipboardService& clipboard, Callbacks callbacks,
                   QObject* parent = nullptr);
    ~OmbrixCommands() override;

    // Adds the five menus to the bar, once. The actions stay owned by this object.
    void populate(QMenuBar& bar);
    // Makes the bound keys work in another window of the application too (the settings
    // window), as they do in the one holding the menu bar. Harmless when repeated.
    void bindKeysIn(QWidget& window);

    QAction* action(Command command) const { return actions_[static_cast<std::size_t>(command)]; }
    // The item's title without the key shown beside it.
    QString title(Command command) const;
    // The key combination the item shows, as Linux users read it ("Ctrl+Shift+S").
    QString shownKey(Command command) const;
    // The key combination that triggers the command window-wide; empty for the two that only
    // show their key.
    QKeySequence boundKey(Command command) const;

  private:
    QAction* make(Command command, const QString& title, const QKeySequence& key, std::function<void()> run);
    QAction* makeShownOnly(Command command, const QString& title, const QKeySequence& key,
                           std::function<void()> run);
    void refresh();

    void newDatabase();
    void openDatabase();
    void saveAs();
    void editFocusedEntry();

    AppState& state_;
    FilePanels& panels_;
    ClipboardService& clipboard_;
    Callbacks callbacks_;
    std::array<QAction*, commandCount> actions_{};
};
