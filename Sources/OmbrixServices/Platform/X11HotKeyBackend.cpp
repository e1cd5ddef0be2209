#include "OmbrixServices/Platform/X11HotKeyBackend.h"

#include "OmbrixServices/Platform/X11Connection.h"
#include "OmbrixServices/Platform/X11Keyboard.h"
#include "OmbrixServices/Platform/XcbReply.h"
#include "OmbrixServices/Services/CarbonKeyTable.h"

#include <QGuiApplication>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace {

using Grant = HotKeyService::Grant;

// The lock keys whose modifier a passive grab must allow for, always: their states change the
// state field of every key event. Others that a keymap may lock (Shift Lock above all) are
// allowed for only while they are locked, because they are also the modifiers of other
// combinations (Ctrl+Alt+Shift+A is not the hot key when Shift is not locked).
struct LockKey {
    X11Keyboard::Modifier modifier;
    const char* name;
};
constexpr LockKey lockKeys[] = {{X11Keyboard::Modifier::CapsLock, "Caps Lock"},
                                {X11Keyboard::Modifier::NumLock, "Num Lock"},
                                {X11Keyboard::Modifier::ScrollLock, "Scroll Lock"}};

// The other locked modifiers by name: Shift Lock above all; the rest by their real modifier.
QString lockedModifierNames(std::uint16_t locked) {
    static const char* const names[] = {"Shift Lock", "Lock",      "Ctrl Lock", "Mod1 Lock",
                                        "Mod2 Lock",  "Mod3 Lock", "Mod4 Lock", "Mod5 Lock"};
    QStringList on;
    for (std::size_t bit = 0; bit < std::size(names); ++bit) {
        if (locked & (1u << bit)) on.append(QString::fromLatin1(names[bit]));
    }
    return on.join(QStringLiteral(" + "));
}

class X11HotKeyBackend final : public HotKeyService::Backend {
  public:
    explicit X11HotKeyBackend(std::function<X11Connection*()> connection)
        : connectionSource_(std::move(connection)) {}

    ~X11HotKeyBackend() override { ungrab(); }

    Grant grab(std::uint32_t keyCode, std::uint32_t modifiers, std::uint32_t id,
               std::function<void(std::uint32_t)> onPress) override {
        ungrab();
        X11Connection* connection = connectionSource_ ? connectionSource_() : nullptr;
        if (!connection || connection->isBroken() || !connection->keyboard()) return false;
        X11Keyboard& keyboard = *connection->keyboard();
        const std::optional<std::string_view> name = CarbonKeyTable::xkbName(keyCode);
        if (!name) return false;
        const std::optional<xcb_keycode_t> keycode = keyboard.keycode(*name);
        if (!keycode) return false;
        const std::optional<std::uint16_t> mask =
            modifierMask(keyboard, CarbonKeyTable::modifiers(modifiers));
        if (!mask) return false;

        // The combination with every set of the lock keys on.
        struct Lock {
            std::uint16_t bits;
            QString name;
        };
        std::vector<Lock> locks;
        std::uint16_t lockBits = 0;
        for (const LockKey& key : lockKeys) {
            const std::uint16_t bits = keyboard.modifierMask(key.modifier);
            if (bits == 0 || (bits & (*mask | lockBits)) != 0) continue;
            locks.push_back({bits, QString::fromLatin1(key.name)});
            lockBits |= bits;
        }
        std::vector<Variant> variants;
        for (std::size_t set = 0; set < (std::size_t{1} << locks.size()); ++set) {
            std::uint16_t variant = *mask;
            QStringList on;
            for (std::size_t i = 0; i < locks.size(); ++i) {
                if (set & (std::size_t{1} << i)) {
                    variant |= locks[i].bits;
                    on.append(locks[i].name);
                }
            }
            variants.push_back({variant, on.join(QStringLiteral(" + "))});
        }

        connection_ = connection;
        keycode_ = *keycode;
        mask_ = *mask;
        lockBits_ = lockBits;
        Grant grant;
        for (const Variant& variant : variants) {
            const std::optional<std::uint8_t> error = grabVariant(variant.modifiers);
            if (!error) {
                variants_.push_back(variant);
            } else if (*error == XCB_ACCESS) {
                // Another program holds it in this state of the locks; the others are kept.
                grant.lockStatesTaken.append(variant.locksOn);
            }
        }
        if (variants_.empty()) {
            connection_ = nullptr;
            grant.takenByOther = !grant.lockStatesTaken.isEmpty();
            grant.lockStatesTaken.clear();
            return grant;
        }
        grant.granted = true;
        takenStates_ = grant.lockStatesTaken;
        id_ = id;
        onPress_ = std::move(onPress);
        keyDown_ = false;
        lastRelease_.reset();
        detectableAutoRepeat_ = keyboard.detectableAutoRepeat();
        handlerId_ =
            connection->addEventHandler([this](const xcb_generic_event_t& event) { handleEvent(event); });
        lockWatch_ = QObject::connect(&keyboard, &X11Keyboard::lockedModifiersChanged, &context_, [this] {
            if (followLockedModifiers() && grantChanged_) grantChanged_(currentGrant());
        });
        followLockedModifiers();
        return currentGrant();
    }

    void followGrant(std::function<void(const Grant&)> changed) override {
        grantChanged_ = std::move(changed);
    }

    void ungrab() override {
        if (!onPress_) return;
        QObject::disconnect(lockWatch_);
        if (connection_) {
            connection_->removeEventHandler(handlerId_);
            if (!connection_->isBroken()) {
                for (const Variant& variant : variants_) {
                    xcb_ungrab_key(connection_->xcb(), keycode_, connection_->root(), variant.modifiers);
                }
                for (std::uint16_t variant : lockedVariants_) {
                    xcb_ungrab_key(connection_->xcb(), keycode_, connection_->root(), variant);
                }
                // Waited for: once released, another program may take the combination at once.
                XcbReply<xcb_get_input_focus_reply_t> done(xcb_get_input_focus_reply(
                    connection_->xcb(), xcb_get_input_focus(connection_->xcb()), nullptr));
            }
        }
        connection_ = nullptr;
        handlerId_ = 0;
        variants_.clear();
        lockedVariants_.clear();
        // The next grab claims the variants of whatever is locked then anew.
        extraLocked_ = 0;
        takenStates_.clear();
        lockedTaken_.clear();
        onPress_ = nullptr;
    }

    QString keyText(std::uint32_t keyCode) const override {
        X11Connection* connection = connectionSource_ ? connectionSource_() : nullptr;
        if (!connection || !connection->keyboard()) return {};
        const std::optional<std::string_view> name = CarbonKeyTable::xkbName(keyCode);
        if (!name) return {};
        const std::optional<xcb_keycode_t> keycode = connection->keyboard()->keycode(*name);
        if (!keycode) return {};
        return connection->keyboard()->keyText(*keycode);
    }

    std::optional<std::uint32_t> keyCodeOfNativeKey(std::uint32_t nativeKeyCode) const override {
        // Only Qt's xcb platform reports X11 key codes as native scan codes. The core protocol
        // reserves 0...7; key codes are one byte.
        if (QGuiApplication::platformName() != QLatin1String("xcb")) return std::nullopt;
        if (nativeKeyCode < 8 || nativeKeyCode > 255) return std::nullopt;
        X11Connection* connection = connectionSource_ ? connectionSource_() : nullptr;
        if (!connection || connection->isBroken() || !connection->keyboard()) return std::nullopt;
        // The key's XKB name in the server's current keymap names the physical key.
        const std::optional<std::string_view> name =
            connection->keyboard()->keyName(static_cast<xcb_keycode_t>(nativeKeyCode));
        if (!name) return std::nullopt;
        return CarbonKeyTable::carbonCode(*name);
    }

  private:
    // The real modifier bits of the Linux modifiers; none when the keymap lacks one of them.
    static std::optional<std::uint16_t> modifierMask(const X11Keyboard& keyboard,
                                                     CarbonKeyTable::Modifiers m) {
        using Modifier = X11Keyboard::Modifier;
        std::uint16_t mask = 0;
        const std::pair<bool, Modifier> wanted[] = {{m.ctrl, Modifier::Control},
                                                    {m.alt, Modifier::Alt},
                                                    {m.shift, Modifier::Shift},
                                                    {m.super, Modifier::Super}};
        for (const auto& [on, modifier] : wanted) {
            if (!on) continue;
            const std::uint16_t bits = keyboard.modifierMask(modifier);
            if (bits == 0) return std::nullopt;
            mask |= bits;
        }
        return mask;
    }

    // The X error of grabbing the combination with these modifiers; none when granted.
    std::optional<std::uint8_t> grabVariant(std::uint16_t variant) {
        return connection_->check(xcb_grab_key_checked(connection_->xcb(), 0, connection_->root(), variant,
                                                       keycode_, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }

    // While a modifier beyond the lock keys is locked (Shift Lock), the combination comes with it
    // in every key event: it is claimed with it too, until the lock goes. The states in which
    // another program holds it then count as taken like any other. True when those changed.
    bool followLockedModifiers() {
        if (!connection_ || connection_->isBroken() || !connection_->keyboard()) return false;
        const auto locked =
            static_cast<std::uint16_t>(connection_->keyboard()->lockedModifiers() & ~(mask_ | lockBits_));
        if (locked == extraLocked_) return false;
        for (std::uint16_t variant : lockedVariants_)
            xcb_ungrab_key(connection_->xcb(), keycode_, connection_->root(), variant);
        lockedVariants_.clear();
        extraLocked_ = locked;
        const QStringList takenBefore = lockedTaken_;
        lockedTaken_.clear();
        if (locked == 0) {
            connection_->flush();
            return lockedTaken_ != takenBefore;
        }
        // Waited for, so that the claim holds before the next key the user presses is handled.
        const QString lockedNames = lockedModifierNames(locked);
        for (const Variant& variant : variants_) {
            const auto withLocked = static_cast<std::uint16_t>(variant.modifiers | locked);
            const std::optional<std::uint8_t> error = grabVariant(withLocked);
            if (!error) {
                lockedVariants_.push_back(withLocked);
            } else if (*error == XCB_ACCESS) {
                lockedTaken_.append(variant.locksOn.isEmpty()
                                        ? lockedNames
                                        : variant.locksOn + QStringLiteral(" + ") + lockedNames);
            }
        }
        return lockedTaken_ != takenBefore;
    }

    // Granted, in the states of the locks in which another program does not hold it.
    Grant currentGrant() const {
        Grant grant(true);
        grant.lockStatesTaken = takenStates_ + lockedTaken_;
        return grant;
    }

    void handleEvent(const xcb_generic_event_t& event) {
        const std::uint8_t type = event.response_type & 0x7f;
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return;
        // Press and release events share one layout.
        const auto& key = reinterpret_cast<const xcb_key_press_event_t&>(event);
        if (key.detail != keycode_) return;
        if (type == XCB_KEY_RELEASE) {
            keyDown_ = false;
            lastRelease_ = key.time;
            return;
        }
        const auto state = static_cast<std::uint16_t>(key.state & 0xff);
        const bool claimed =
            std::any_of(variants_.begin(), variants_.end(),
                        [state](const Variant& variant) { return variant.modifiers == state; }) ||
            std::find(lockedVariants_.begin(), lockedVariants_.end(), state) != lockedVariants_.end();
        if (!claimed) return;
        // A held key repeats as presses without releases in between (detectable auto-repeat), or,
        // where the server cannot do that, as a release and a press with the same time stamp.
        const bool repeat = keyDown_ || (!detectableAutoRepeat_ && lastRelease_ && *lastRelease_ == key.time);
        keyDown_ = true;
        if (repeat) return;
        // Copies: the callback may ungrab and so reset the members.
        const std::uint32_t id = id_;
        std::function<void(std::uint32_t)> onPress = onPress_;
        if (onPress) onPress(id);
    }

    std::function<X11Connection*()> connectionSource_;
    QPointer<X11Connection> connection_;
    QObject context_;  // owns the signal connection; it ends with this object
    QMetaObject::Connection lockWatch_;
    int handlerId_ = 0;
    xcb_keycode_t keycode_ = 0;
    std::uint16_t mask_ = 0;
    std::uint16_t lockBits_ = 0;  // of the lock keys allowed for always
    // The combination with a set of the lock keys on: its modifiers, and the locks by name.
    struct Variant {
        std::uint16_t modifiers;
        QString locksOn;
    };
    std::vector<Variant> variants_;              // claimed, lock keys on or off
    QStringList takenStates_;                    // held by another program, lock keys on or off
    std::uint16_t extraLocked_ = 0;              // other modifiers locked now
    std::vector<std::uint16_t> lockedVariants_;  // claimed with those
    QStringList lockedTaken_;                    // held by another program with those
    std::function<void(const Grant&)> grantChanged_;
    std::uint32_t id_ = 0;
    std::function<void(std::uint32_t)> onPress_;
    bool keyDown_ = false;
    bool detectableAutoRepeat_ = false;
    std::optional<xcb_timestamp_t> lastRelease_;
};

}  // namespace

std::unique_ptr<HotKeyService::Backend> createX11HotKeyBackend() {
    return createX11HotKeyBackend([] { return X11Connection::shared(); });
}

std::unique_ptr<HotKeyService::Backend> createX11HotKeyBackend(std::function<X11Connection*()> connection) {
    return std::make_unique<X11HotKeyBackend>(std::move(connection));
}
