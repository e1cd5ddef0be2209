#include "OmbrixShell/OmbrixCommands.h"

#include <initializer_list>
#include <optional>
#include <utility>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include "OmbrixServices/Services/ClipboardService.h"
#include "OmbrixState/AppState.h"
#include "OmbrixState/FilePanels.h"
#include "OmbrixUI/MainActions.h"

namespace {

// A menu item shows the text after a tab as its key, whether or not a shortcut is bound.
constexpr QChar keySeparator = u'\t';

QString withDetail(const QString& title, const std::optional<QString>& label) {
    return label ? title + QStringLiteral(" — ") + *label : title;
}

}  // namespace

OmbrixCommands::OmbrixCommands(AppState& state, FilePanels& panels, ClipboardService& clipboard,
                               Callbacks callbacks, QObject* parent)
    : QObject(parent),
      state_(state),
      panels_(panels),
      clipboard_(clipboard),
      callbacks_(std::move(callbacks)) {
    using C = Command;
    const auto key = [](QKeyCombination combination) { return QKeySequence(combination); };

    make(C::newDatabase, QStringLiteral("Yeni Veritabanı…"), key(Qt::CTRL | Qt::Key_N),
         [this] { newDatabase(); });
    make(C::openDatabase, QStringLiteral("Veritabanı Aç…"), key(Qt::CTRL | Qt::Key_O),
         [this] { openDatabase(); });
    make(C::save, QStringLiteral("Kaydet"), key(Qt::CTRL | Qt::Key_S), [this] { state_.save(); });
    make(C::saveAs, QStringLiteral("Farklı Kaydet…"), key(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
         [this] { saveAs(); });
    make(C::lock, QStringLiteral("Kasayı Kilitle"), key(Qt::CTRL | Qt::Key_L), [this] { state_.lock(); });
    make(C::closeDatabase, QStringLiteral("Veritabanını Kapat"), key(Qt::CTRL | Qt::SHIFT | Qt::Key_W),
         [this] { state_.closeDatabase(); });
    make(C::quit, QStringLiteral("Çıkış"), key(Qt::CTRL | Qt::Key_Q), [this] {
        if (callbacks_.quit) callbacks_.quit();
    });

    make(C::undo, QStringLiteral("Geri Al"), key(Qt::CTRL | Qt::Key_Z), [this] { state_.undo(); });
    make(C::redo, QStringLiteral("Yinele"), key(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] { state_.redo(); });
    make(C::settings, QStringLiteral("Ayarlar…"), key(Qt::CTRL | Qt::Key_Comma), [this] {
        if (callbacks_.openSettings) callbacks_.openSettings();
    });

    make(C::search, QStringLiteral("Ara"), key(Qt::CTRL | Qt::Key_F), [this] { state_.focusSearch(); });
    // Checked while the sidebar shows; F9 is where Linux file managers keep their sidebar.
    QAction* sidebar =
        make(C::sidebar, QStringLiteral("Kenar Çubuğunu Göster"), QKeySequence(Qt::Key_F9), [this] {
            if (callbacks_.showSidebar) callbacks_.showSidebar(action(Command::sidebar)->isChecked());
        });
    sidebar->setCheckable(true);
    sidebar->setChecked(true);

    make(C::copyUsername, QStringLiteral("Kullanıcı Adını Kopyala"), key(Qt::CTRL | Qt::Key_B),
         [this] { state_.copyUsername(); });
    makeShownOnly(C::copyPassword, QStringLiteral("Parolayı Kopyala"), key(Qt::CTRL | Qt::Key_C),
                  [this] { state_.copyPassword(); });
    make(C::copyURL, QStringLiteral("Adresi Kopyala"), key(Qt::CTRL | Qt::SHIFT | Qt::Key_U),
         [this] { state_.copyURL(); });
    make(C::autoType, QStringLiteral("Otomatik Yaz"), key(Qt::CTRL | Qt::SHIFT | Qt::Key_V),
         [this] { state_.performAutoType(); });
    make(C::openURL, QStringLiteral("Adresi Tarayıcıda Aç"), key(Qt::CTRL | Qt::SHIFT | Qt::Key_Return),
         [this] { state_.openURL(); });
    make(C::newEntry, QStringLiteral("Yeni Kayıt…"), key(Qt::CTRL | Qt::Key_I),
         [this] { MainActions::newEntry(state_); });
    make(C::newGroup, QStringLiteral("Yeni Grup…"), key(Qt::CTRL | Qt::SHIFT | Qt::Key_G),
         [this] { MainActions::newGroup(state_); });
    make(C::editEntry, QStringLiteral("Düzenle…"), key(Qt::CTRL | Qt::Key_E), [this] { editFocusedEntry(); });
    makeShownOnly(C::deleteEntries, QStringLiteral("Sil"), QKeySequence(Qt::Key_Delete),
                  [this] { state_.deleteEntries(state_.selectedEntryIDs()); });

    make(C::generator, QStringLiteral("Parola Üret…"), key(Qt::CTRL | Qt::Key_G),
         [this] { state_.setRoute(Route::generator()); });
    make(C::clearClipboard, QStringLiteral("Panoyu Şimdi Temizle"), key(Qt::CTRL | Qt::SHIFT | Qt::Key_K),
         [this] { clipboard_.clearNow(); });

    for (const auto signal :
         {&AppState::databaseChanged, &AppState::databaseURLChanged, &AppState::isLockedChanged,
          &AppState::isDirtyChanged, &AppState::selectedGroupIDChanged, &AppState::selectedEntryIDsChanged,
          &AppState::undoLabelChanged, &AppState::redoLabelChanged, &AppState::historyChanged}) {
        connect(&state_, signal, this, &OmbrixCommands::refresh);
    }
    refresh();
}

OmbrixCommands::~OmbrixCommands() = default;

QAction* OmbrixCommands::make(Command command, const QString& title, const QKeySequence& key,
                              std::function<void()> run) {
    auto* action = new QAction(title, this);
    action->setShortcut(key);
    // Menus show the key; the shortcut works anywhere in the window that holds the menu bar.
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    actions_[static_cast<std::size_t>(command)] = action;
    return action;
}

QAction* OmbrixCommands::makeShownOnly(Command command, const QString& title, const QKeySequence& key,
                                       std::function<void()> run) {
    return make(command, title + keySeparator + key.toString(QKeySequence::NativeText), QKeySequence(),
                std::move(run));
}

void OmbrixCommands::bindKeysIn(QWidget& window) {
    for (QAction* item : actions_) {
        if (!item->shortcut().isEmpty()) window.addAction(item);
    }
}

void OmbrixCommands::populate(QMenuBar& bar) {
    using C = Command;
    const auto add = [this](QMenu* menu, std::initializer_list<std::optional<Command>> items) {
        for (const std::optional<Command>& item : items) {
            if (item) {
                menu->addAction(action(*item));
            } else {
                menu->addSeparator();
            }
        }
    };
    constexpr std::nullopt_t divider = std::nullopt;

    add(bar.addMenu(QStringLiteral("Dosya")), {C::newDatabase, C::openDatabase, divider, C::save, C::saveAs,
                                               divider, C::lock, C::closeDatabase, divider, C::quit});
    add(bar.addMenu(QStringLiteral("Düzen")), {C::undo, C::redo, divider, C::settings});
    add(bar.addMenu(QStringLiteral("Görünüm")), {C::search, divider, C::sidebar});
    add(bar.addMenu(QStringLiteral("Kayıt")),
        {C::copyUsername, C::copyPassword, C::copyURL, divider, C::autoType, C::openURL, divider, C::newEntry,
         C::newGroup, C::editEntry, C::deleteEntries});
    add(bar.addMenu(QStringLiteral("Araçlar")), {C::generator, C::clearClipboard});
}

QString OmbrixCommands::title(Command command) const {
    return action(command)->text().section(keySeparator, 0, 0);
}

QString OmbrixCommands::shownKey(Command command) const {
    const QString text = action(command)->text();
    if (text.contains(keySeparator)) return text.section(keySeparator, 1);
    return action(command)->shortcut().toString(QKeySequence::NativeText);
}

QKeySequence OmbrixCommands::boundKey(Command command) const {
    return action(command)->shortcut();
}

void OmbrixCommands::refresh() {
    using C = Command;
    const bool locked = state_.isLocked();
    const bool open = state_.database().has_value();
    const bool focused = state_.focusedEntry().has_value();
    const auto enable = [this](Command command, bool enabled) { action(command)->setEnabled(enabled); };

    enable(C::save, state_.canSave() && state_.isDirty());
    enable(C::saveAs, open);
    enable(C::lock, !locked);
    enable(C::closeDatabase, open);
    // The history belongs to the open database: nothing to take back, and no label, without one.
    enable(C::undo, open && state_.canUndo());
    enable(C::redo, open && state_.canRedo());
    enable(C::search, !locked);
    enable(C::sidebar, !locked);
    // The main window shows its sidebar again after every unlock.
    if (locked) action(C::sidebar)->setChecked(true);
    for (const Command command :
         {C::copyUsername, C::copyPassword, C::copyURL, C::autoType, C::openURL, C::editEntry})
        enable(command, focused);
    enable(C::newEntry, !locked);
    enable(C::newGroup, !locked);
    enable(C::deleteEntries, !state_.selectedEntryIDs().empty());

    action(C::undo)->setText(withDetail(QStringLiteral("Geri Al"), open ? state_.undoLabel() : std::nullopt));
    action(C::redo)->setText(withDetail(QStringLiteral("Yinele"), open ? state_.redoLabel() : std::nullopt));
}

// The state saves unsaved changes before it takes another file; when that save fails it keeps the
// open database (and any sheet) and says why in lastError, and so does the command.
void OmbrixCommands::newDatabase() {
    // The save's end would wait for the dialog; the state says why it does not open.
    if (state_.refuseWhileSaving()) return;
    const std::optional<QString> url = panels_.newDatabaseDestination();
    if (!url) return;
    state_.prepare(*url);
    if (state_.database()) return;
    // It asks for what the lock screen does next; once a vault is open it has been done, and
    // the hint goes instead of staying in the status bar.
    state_.setStatusMessage(newDatabaseStatus);
    auto* watch = new QObject(this);
    connect(&state_, &AppState::databaseChanged, watch, [this, watch] {
        if (!state_.database()) return;
        if (state_.statusMessage() == newDatabaseStatus) state_.setStatusMessage(std::nullopt);
        watch->deleteLater();
    });
}

void OmbrixCommands::openDatabase() {
    if (state_.refuseWhileSaving()) return;
    if (const std::optional<QString> url = panels_.chooseDatabase()) state_.prepare(*url);
}

void OmbrixCommands::saveAs() {
    if (state_.refuseWhileSaving()) return;
    // In the database's own folder, proposing its name.
    const QString suggested = state_.databaseURL().value_or(QStringLiteral("Radir.kdbx"));
    if (const std::optional<QString> url = panels_.saveAsDestination(suggested)) state_.saveAs(*url);
}

void OmbrixCommands::editFocusedEntry() {
    if (const std::optional<KdbxEntry> entry = state_.focusedEntry())
        state_.setRoute(Route::editEntry(entry->id));
}
