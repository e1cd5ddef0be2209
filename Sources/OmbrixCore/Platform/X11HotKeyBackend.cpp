#include "OmbrixCore/Platform/X11HotKeyBackend.h"

#include "OmbrixCore/Platform/CarbonKeyTable.h"
#include "OmbrixCore/Platform/X11Connection.h"
#include "OmbrixCore/Platform/X11Keyboard.h"

#include <QPointer>

#include <vector>

namespace {

class X11HotKeyBackend final : public HotKeyService::Backend {
  public:
    explicit X11HotKeyBackend(std::function<X11Connection*()> connection)
        : m_connectionSource(std::move(connection)) {}

    ~X11HotKeyBackend() override { ungrab(); }

    bool grab(std::uint32_t keyCode, std::uint32_t modifiers, std::uint32_t id,
              std::function<void(std::uint32_t)> onPress) override {
        ungrab();
        X11Connection* connection = m_connectionSource ? m_connectionSource() : nullptr;
        if (!connection || connection->isBroken() || !connection->keyboard()) return false;
        const X11Keyboard& keyboard = *connection->keyboard();
        const std::optional<std::string_view> name = CarbonKeyTable::xkbName(keyCode);
        if (!name) return false;
        const std::optional<xcb_keycode_t> keycode = keyboard.keycode(*name);
        if (!keycode) return false;
        const std::optional<std::uint16_t> mask =
            modifierMask(keyboard, CarbonKeyTable::modifiers(modifiers));
        if (!mask) return false;

        // Caps Lock and Num Lock change the state field of every key event; grab the combination
        // with each of them on and off.
        const std::uint16_t caps = keyboard.modifierMask(X11Keyboard::Modifier::CapsLock);
        const std::uint16_t numLock = keyboard.modifierMask(X11Keyboard::Modifier::NumLock);
        std::vector<std::uint16_t> variants{*mask, static_cast<std::uint16_t>(*mask | caps)};
        if (numLock != 0 && (*mask & numLock) == 0 && numLock != caps) {
            variants.push_back(static_cast<std::uint16_t>(*mask | numLock));
            variants.push_back(static_cast<std::uint16_t>(*mask | caps | numLock));
        }

        std::vector<xcb_void_cookie_t> cookies;
        for (std::uint16_t variant : variants) {
            cookies.push_back(xcb_grab_key_checked(connection->xcb(), 0, connection->root(), variant,
                                                   *keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
        bool refused = false;
        for (xcb_void_cookie_t cookie : cookies) {
            if (connection->check(cookie)) refused = true;
        }
        if (refused) {
            // Ungrabbing touches only this client's grabs, so another client's stays as it is.
            for (std::uint16_t variant : variants) {
                xcb_ungrab_key(connection->xcb(), *keycode, connection->root(), variant);
            }
            connection->flush();
            return false;
        }

        m_connection = connection;
        m_keycode = *keycode;
        m_mask = *mask;
        m_ignoredMask = static_cast<std::uint16_t>(caps | numLock);
        m_variants = std::move(variants);
        m_id = id;
        m_onPress = std::move(onPress);
        m_keyDown = false;
        m_lastRelease.reset();
        m_detectableAutoRepeat = keyboard.detectableAutoRepeat();
        m_handlerId =
            connection->addEventHandler([this](const xcb_generic_event_t& event) { handleEvent(event); });
        return true;
    }

    void ungrab() override {
        if (!m_onPress) return;
        if (m_connection) {
            m_connection->removeEventHandler(m_handlerId);
            if (!m_connection->isBroken()) {
                for (std::uint16_t variant : m_variants) {
                    xcb_ungrab_key(m_connection->xcb(), m_keycode, m_connection->root(), variant);
                }
                m_connection->flush();
            }
        }
        m_connection = nullptr;
        m_handlerId = 0;
        m_variants.clear();
        m_onPress = nullptr;
    }

    QString keyText(std::uint32_t keyCode) const override {
        X11Connection* connection = m_connectionSource ? m_connectionSource() : nullptr;
        if (!connection || !connection->keyboard()) return {};
        const std::optional<std::string_view> name = CarbonKeyTable::xkbName(keyCode);
        if (!name) return {};
        const std::optional<xcb_keycode_t> keycode = connection->keyboard()->keycode(*name);
        if (!keycode) return {};
        return connection->keyboard()->keyText(*keycode);
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

    void handleEvent(const xcb_generic_event_t& event) {
        const std::uint8_t type = event.response_type & 0x7f;
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return;
        // Press and release events share one layout.
        const auto& key = reinterpret_cast<const xcb_key_press_event_t&>(event);
        if (key.detail != m_keycode) return;
        if (type == XCB_KEY_RELEASE) {
            m_keyDown = false;
            m_lastRelease = key.time;
            return;
        }
        const std::uint16_t relevant = 0xff & ~m_ignoredMask;
        if ((key.state & relevant) != m_mask) return;
        // A held key repeats as presses without releases in between (detectable auto-repeat), or,
        // where the server cannot do that, as a release and a press with the same time stamp.
        const bool repeat =
            m_keyDown || (!m_detectableAutoRepeat && m_lastRelease && *m_lastRelease == key.time);
        m_keyDown = true;
        if (repeat) return;
        // Copies: the callback may ungrab and so reset the members.
        const std::uint32_t id = m_id;
        std::function<void(std::uint32_t)> onPress = m_onPress;
        if (onPress) onPress(id);
    }

    std::function<X11Connection*()> m_connectionSource;
    QPointer<X11Connection> m_connection;
    int m_handlerId = 0;
    xcb_keycode_t m_keycode = 0;
    std::uint16_t m_mask = 0;
    std::uint16_t m_ignoredMask = 0;
    std::vector<std::uint16_t> m_variants;
    std::uint32_t m_id = 0;
    std::function<void(std::uint32_t)> m_onPress;
    bool m_keyDown = false;
    bool m_detectableAutoRepeat = false;
    std::optional<xcb_timestamp_t> m_lastRelease;
};

}  // namespace

std::unique_ptr<HotKeyService::Backend> createX11HotKeyBackend() {
    return createX11HotKeyBackend([] { return X11Connection::shared(); });
}

std::unique_ptr<HotKeyService::Backend> createX11HotKeyBackend(std::function<X11Connection*()> connection) {
    return std::make_unique<X11HotKeyBackend>(std::move(connection));
}
