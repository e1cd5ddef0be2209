#pragma once

#include <QString>

#include <optional>

#include "OmbrixCore/Kdbx/Models.h"

class AppState;
class AutoTypeService;
class HotKeyService;

// What a press of the global hot key does: remember the application the user is in as the
// auto-type target and, with a database open, type the first auto-type entry that belongs to the
// title of that application's window. Copyable, so that it can be handed to the hot-key service
// as its handler; it keeps nothing between presses. Main thread only.
class HotKeyHandler {
  public:
    static inline const QString noMatchMessage =
        QStringLiteral("Ön plandaki pencereyle eşleşen bir kayıt bulunamadı.");

    HotKeyHandler(AppState& state, AutoTypeService& autoType) : state_(&state), autoType_(&autoType) {}

    // One press.
    void operator()() const;

    // Whether the entry belongs to a window with this title (already lower-cased): the window
    // title contains the entry's title, the host of its address (the whole address when it has
    // no host) or one of its window texts with every "*" dropped. Plain substring tests on
    // lower-cased text. A candidate that is empty or only white space never matches, and an empty
    // window title matches nothing.
    static bool matches(const KdbxEntry& entry, const QString& lowerCasedTitle);

    // What the status bar says of the hot key `combination` ("Ctrl+Alt+A") when the program
    // could not have all of it: another program holds it, in every state of the lock keys or in
    // some, or the desktop refused it. None while the program has it.
    static std::optional<QString> unavailableMessage(const HotKeyService& hotKeys,
                                                     const QString& combination);

  private:
    AppState* state_;
    AutoTypeService* autoType_;
};
