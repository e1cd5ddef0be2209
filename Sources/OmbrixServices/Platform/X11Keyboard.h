#pragma once

#include <QObject>
#include <QString>

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

class X11Connection;

// The core keyboard of an X11Connection as xkbcommon sees it: the keymap and the state
// (modifiers, active layout), kept current from XKB notifications. A layout switch only changes
// the state; a new layout set, a rebound key code or a new device replaces the keymap.
class X11Keyboard : public QObject {
    Q_OBJECT

  public:
    enum class Modifier { Shift, CapsLock, Control, Alt, Super, NumLock, ScrollLock };

    ~X11Keyboard() override;

    // Valid until the next keymapChanged(); take a reference (xkb_keymap_ref) to keep it longer.
    xkb_keymap* keymap() const { return keymap_; }
    // Valid until the next keymapChanged(); updated in place on every state notification.
    xkb_state* state() const { return state_; }
    std::int32_t deviceId() const { return deviceId_; }

    // The key code of an XKB key name ("AC01"); aliases are resolved.
    std::optional<xcb_keycode_t> keycode(std::string_view xkbName) const;
    // The XKB key name of a key code.
    std::optional<std::string_view> keyName(xcb_keycode_t keycode) const;
    // The real modifier bits (as in the state field of X events) that a modifier sets in the
    // current keymap; Shift, Lock and Control are fixed, Alt, Super and NumLock are looked up.
    std::uint16_t modifierMask(Modifier modifier) const;
    // The active layout (XKB group) of the state.
    xkb_layout_index_t layout() const;
    // The real modifiers locked right now (Lock for Caps Lock, Shift for Shift Lock ...), as in
    // the state field of X events.
    std::uint16_t lockedModifiers() const;
    // What the key types in the active layout without modifiers ("a" for AC01 on a US layout);
    // empty for keys that type no text (arrows, function keys) or are unbound.
    QString keyText(xcb_keycode_t keycode) const;

    // The server reports auto-repeat as repeated presses without releases in between.
    bool detectableAutoRepeat() const { return detectableAutoRepeat_; }

  signals:
    void keymapChanged();
    void layoutChanged();
    void lockedModifiersChanged();

  private:
    friend class X11Connection;
    X11Keyboard(X11Connection& connection, std::uint8_t xkbEventBase, std::int32_t deviceId);
    // Sets up XKB on the connection; nullptr when the server lacks the extension.
    static std::unique_ptr<X11Keyboard> create(X11Connection& connection);

    bool loadKeymap();
    void handleEvent(const xcb_generic_event_t& event);

    X11Connection& connection_;
    std::uint8_t xkbEventBase_;
    std::int32_t deviceId_;
    int handlerId_ = 0;
    bool detectableAutoRepeat_ = false;
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* state_ = nullptr;
    std::uint16_t altMask_ = 0;
    std::uint16_t superMask_ = 0;
    std::uint16_t numLockMask_ = 0;
    std::uint16_t scrollLockMask_ = 0;
};
