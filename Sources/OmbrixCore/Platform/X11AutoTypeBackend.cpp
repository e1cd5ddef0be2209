#include "OmbrixCore/Platform/X11AutoTypeBackend.h"

#include "OmbrixCore/Platform/CarbonKeyTable.h"
#include "OmbrixCore/Platform/X11Connection.h"
#include "OmbrixCore/Platform/X11KeyLayout.h"
#include "OmbrixCore/Platform/X11Keyboard.h"
#include "OmbrixCore/Platform/XcbReply.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <xcb/xtest.h>
#include "OmbrixCore/Platform/XcbXkb.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <set>
#include <utility>

namespace {

using WindowId = AutoTypeService::WindowId;
using KeyStroke = AutoTypeService::KeyStroke;

// Locked modifiers that change the text of every key, spare ones included: Caps Lock capitalises
// (Lock) and Shift Lock shifts (a locked Shift). Num Lock only concerns the keypad, which the
// layout lookup takes into account.
constexpr std::uint8_t textLocks = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_LOCK;

// How long a spare key keeps its keysym after a run: clients that read a changed key map only
// when they handle the key need it still bound then.
constexpr int spareKeyGraceMs = 500;

// The stored key codes of the named keys (the Carbon codes), which name a key position.
std::uint32_t carbonCode(AutoTypeKey key) {
    switch (key) {
        case AutoTypeKey::tab:
            return 48;
        case AutoTypeKey::enter:
            return 36;
        case AutoTypeKey::escape:
            return 53;
        case AutoTypeKey::space:
            return 49;
        case AutoTypeKey::backspace:
            return 51;
        case AutoTypeKey::delete_:
            return 117;
        case AutoTypeKey::home:
            return 115;
        case AutoTypeKey::end:
            return 119;
        case AutoTypeKey::up:
            return 126;
        case AutoTypeKey::down:
            return 125;
        case AutoTypeKey::left:
            return 123;
        case AutoTypeKey::right:
            return 124;
    }
    return 49;
}

class X11AutoTypeBackend final : public AutoTypeService::Backend {
  public:
    explicit X11AutoTypeBackend(std::function<X11Connection*()> connection)
        : m_connectionOf(std::move(connection)) {
        m_restoreTimer.setSingleShot(true);
        QObject::connect(&m_restoreTimer, &QTimer::timeout, &m_context, [this] {
            if (!m_inRun) restoreSpareKeys();
        });
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QObject::connect(app, &QCoreApplication::aboutToQuit, &m_context, [this] {
                restoreLocks();
                restoreSpareKeys();
            });
        }
    }

    ~X11AutoTypeBackend() override {
        restoreLocks();
        restoreSpareKeys();
        if (m_watched && m_handlerId) m_watched->removeEventHandler(m_handlerId);
    }

    bool canSynthesize() override {
        X11Connection* c = connection();
        return c && c->hasXTest() && c->keyboard();
    }

    void watchActiveWindow(std::function<void()> onChange) override {
        m_onActiveChange = std::move(onChange);
        X11Connection* c = connection();
        if (!c || m_handlerId) return;
        const xcb_window_t root = c->root();
        const xcb_atom_t active = c->atom("_NET_ACTIVE_WINDOW");
        c->selectInput(root, XCB_EVENT_MASK_PROPERTY_CHANGE);
        m_watched = c;
        m_handlerId = c->addEventHandler([this, root, active](const xcb_generic_event_t& event) {
            if ((event.response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return;
            const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            if (notify.window == root && notify.atom == active && m_onActiveChange) m_onActiveChange();
        });
    }

    WindowId activeWindow() override {
        X11Connection* c = connection();
        if (!c) return 0;
        if (windowManagerKeepsActiveWindow(*c)) {
            const std::vector<std::uint32_t> active =
                c->uint32Property(c->root(), c->atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
            return active.empty() ? 0 : active.front();
        }
        XcbReply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(c->xcb(), xcb_get_input_focus(c->xcb()), nullptr));
        if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT) return 0;
        return topLevel(*c, focus->focus);
    }

    bool isOwnWindow(WindowId window) override {
        X11Connection* c = connection();
        if (!c) return false;
        const std::vector<std::uint32_t> pid =
            c->uint32Property(window, c->atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
        if (!pid.empty()) return pid.front() == static_cast<std::uint32_t>(::getpid());
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            for (const QWindow* own : QGuiApplication::allWindows()) {
                if (own->handle() && own->winId() == window) return true;
            }
        }
        return false;
    }

    bool windowExists(WindowId window) override {
        X11Connection* c = connection();
        if (!c) return false;
        XcbReply<xcb_get_window_attributes_reply_t> reply(
            xcb_get_window_attributes_reply(c->xcb(), xcb_get_window_attributes(c->xcb(), window), nullptr));
        return reply != nullptr;
    }

    QString applicationName(WindowId window) override {
        X11Connection* c = connection();
        if (!c) return {};
        // WM_CLASS holds the instance name and the class name, each ending in a NUL; the class
        // ("Firefox") is the application's name.
        const std::optional<X11Connection::Property> wmClass =
            c->property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
        if (!wmClass || wmClass->format != 8) return {};
        const auto* chars = reinterpret_cast<const char*>(wmClass->data.data());
        const QList<QByteArray> parts =
            QByteArray(chars, static_cast<qsizetype>(wmClass->data.size())).split('\0');
        if (parts.size() > 1 && !parts[1].isEmpty()) return QString::fromLatin1(parts[1]);
        if (!parts.isEmpty()) return QString::fromLatin1(parts[0]);
        return {};
    }

    std::optional<QString> windowTitle(WindowId window) override {
        X11Connection* c = connection();
        if (!c) return std::nullopt;
        std::optional<std::string> title = c->textProperty(window, c->atom("_NET_WM_NAME"));
        if (!title) title = c->textProperty(window, XCB_ATOM_WM_NAME);
        if (!title) return std::nullopt;
        return QString::fromStdString(*title);
    }

    void activate(WindowId window) override {
        X11Connection* c = connection();
        if (!c) return;
        if (windowManagerKeepsActiveWindow(*c)) {
            xcb_client_message_event_t message{};
            message.response_type = XCB_CLIENT_MESSAGE;
            message.format = 32;
            message.window = window;
            message.type = c->atom("_NET_ACTIVE_WINDOW");
            message.data.data32[0] = 2;  // source indication: a pager or similar tool acting for the user
            message.data.data32[1] = XCB_CURRENT_TIME;
            message.data.data32[2] = activeWindow();
            xcb_send_event(c->xcb(), 0, c->root(),
                           XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char*>(&message));
        } else {
            // Nobody manages the windows: raise it and give it the focus ourselves. Focusing a
            // window that is not viewable is an error, so only a shown one is focused.
            XcbReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
                c->xcb(), xcb_get_window_attributes(c->xcb(), window), nullptr));
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
                const std::uint32_t above = XCB_STACK_MODE_ABOVE;
                xcb_configure_window(c->xcb(), window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
                xcb_set_input_focus(c->xcb(), XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
            }
        }
        c->flush();
    }

    bool keysHeld() override {
        X11Connection* c = connection();
        if (!c) return false;
        XcbReply<xcb_query_keymap_reply_t> keymap(
            xcb_query_keymap_reply(c->xcb(), xcb_query_keymap(c->xcb()), nullptr));
        return keymap && std::any_of(std::begin(keymap->keys), std::end(keymap->keys),
                                     [](std::uint8_t bits) { return bits != 0; });
    }

    bool beginTyping() override {
        m_inRun = true;
        X11Connection* c = connection();
        if (!c || !c->keyboard()) return false;
        XcbReply<xcb_xkb_get_state_reply_t> state(
            xcb_xkb_get_state_reply(c->xcb(), xcb_xkb_get_state(c->xcb(), XCB_XKB_ID_USE_CORE_KBD), nullptr));
        if (!state) return false;
        const std::uint8_t locked = state->lockedMods & textLocks;
        if (locked == 0) return true;
        // Unlocked for the run and locked again at its end, as the user had them.
        if (c->check(xcb_xkb_latch_lock_state_checked(c->xcb(), XCB_XKB_ID_USE_CORE_KBD, locked, 0, 0, 0, 0,
                                                      0, 0))) {
            return false;
        }
        m_lockedBeforeRun = locked;
        return true;
    }

    std::optional<std::vector<KeyStroke>> strokes(QStringView character) override {
        m_inRun = true;
        X11Connection* c = connection();
        if (!c || !c->keyboard()) return std::nullopt;
        XcbReply<xcb_xkb_get_state_reply_t> state(
            xcb_xkb_get_state_reply(c->xcb(), xcb_xkb_get_state(c->xcb(), XCB_XKB_ID_USE_CORE_KBD), nullptr));
        if (!state) return std::nullopt;
        const X11KeyLayout& layout = layoutFor(*c, state->group);
        const std::set<xkb_keycode_t> ours = boundKeycodes();
        if (std::optional<X11KeyLayout::Stroke> found = layout.stroke(character, state->lockedMods, ours)) {
            if (std::optional<KeyStroke> stroke = toKeyStroke(layout, *found)) return std::vector{*stroke};
        }
        // No key types the whole character: each code point on its own key, a spare one where
        // the layout has none (a combining mark after its base letter, an emoji). The code points
        // go out as stored: a site compares a password's bytes, not its canonical form.
        std::vector<KeyStroke> result;
        std::set<xcb_keycode_t> sparesInUse;
        for (const uint codePoint : character.toString().toUcs4()) {
            const char32_t text[] = {static_cast<char32_t>(codePoint)};
            const QString single = QString::fromUcs4(text, 1);
            std::optional<KeyStroke> stroke;
            if (std::optional<X11KeyLayout::Stroke> found = layout.stroke(single, state->lockedMods, ours)) {
                stroke = toKeyStroke(layout, *found);
            }
            if (!stroke) {
                const xkb_keysym_t keysym = xkb_utf32_to_keysym(codePoint);
                if (keysym == XKB_KEY_NoSymbol) return std::nullopt;
                const std::optional<xcb_keycode_t> spare = bindSpareKey(*c, keysym, sparesInUse);
                if (!spare) return std::nullopt;
                sparesInUse.insert(*spare);
                stroke = KeyStroke{*spare, {}};
            }
            result.push_back(*stroke);
        }
        return result;
    }

    std::optional<KeyStroke> stroke(AutoTypeKey key) override {
        m_inRun = true;
        X11Connection* c = connection();
        if (!c || !c->keyboard()) return std::nullopt;
        const std::optional<std::string_view> name = CarbonKeyTable::xkbName(carbonCode(key));
        if (!name) return std::nullopt;
        const std::optional<xcb_keycode_t> keycode = c->keyboard()->keycode(*name);
        if (!keycode) return std::nullopt;
        return KeyStroke{*keycode, {}};
    }

    std::optional<KeyStroke> selectAllStroke() override {
        m_inRun = true;
        X11Connection* c = connection();
        if (!c || !c->keyboard()) return std::nullopt;
        const X11KeyLayout& layout = layoutFor(*c, c->keyboard()->layout());
        // The key that types "a" in this layout, whatever modifiers that needs; the A position
        // when none does.
        std::optional<std::uint32_t> keycode;
        if (std::optional<X11KeyLayout::Stroke> a = layout.stroke(u"a", 0, boundKeycodes()))
            keycode = a->keycode;
        if (!keycode) keycode = c->keyboard()->keycode("AC01");
        const std::optional<xkb_keycode_t> control = layout.modifierKey(XCB_MOD_MASK_CONTROL);
        if (!keycode || !control) return std::nullopt;
        return KeyStroke{*keycode, {*control}};
    }

    bool sendKey(std::uint32_t keycode, bool press) override {
        X11Connection* c = connection();
        if (!c || !c->hasXTest() || keycode > 255) return false;
        xcb_test_fake_input(c->xcb(), press ? XCB_KEY_PRESS : XCB_KEY_RELEASE,
                            static_cast<std::uint8_t>(keycode), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        c->flush();
        return !c->isBroken();
    }

    void endRun() override {
        restoreLocks();
        m_inRun = false;
        m_poolRead = false;
        if (!m_bound.empty()) m_restoreTimer.start(spareKeyGraceMs);
    }

  private:
    X11Connection* connection() {
        X11Connection* c = m_connectionOf();
        if (!c || c->isBroken()) return nullptr;
        if (X11Keyboard* keyboard = c->keyboard(); keyboard && keyboard != m_keyboard) {
            m_keyboard = keyboard;
            m_layouts.clear();
            QObject::connect(keyboard, &X11Keyboard::keymapChanged, &m_context,
                             [this] { m_layouts.clear(); });
        }
        return c;
    }

    // A window manager that follows EWMH names itself on the root window, and that window names
    // itself back; a leftover property of one that has gone does not.
    bool windowManagerKeepsActiveWindow(X11Connection& c) {
        const xcb_atom_t check = c.atom("_NET_SUPPORTING_WM_CHECK");
        const std::vector<std::uint32_t> wm = c.uint32Property(c.root(), check, XCB_ATOM_WINDOW);
        if (wm.empty() || wm.front() == XCB_NONE) return false;
        const std::vector<std::uint32_t> self = c.uint32Property(wm.front(), check, XCB_ATOM_WINDOW);
        if (self.empty() || self.front() != wm.front()) return false;
        const std::vector<std::uint32_t> supported =
            c.uint32Property(c.root(), c.atom("_NET_SUPPORTED"), XCB_ATOM_ATOM);
        return std::find(supported.begin(), supported.end(), c.atom("_NET_ACTIVE_WINDOW")) != supported.end();
    }

    static xcb_window_t topLevel(X11Connection& c, xcb_window_t window) {
        for (int depth = 0; depth < 64; ++depth) {
            XcbReply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(c.xcb(), xcb_query_tree(c.xcb(), window), nullptr));
            if (!tree || tree->parent == XCB_NONE || tree->parent == tree->root) return window;
            window = tree->parent;
        }
        return window;
    }

    // The character table of a layout, read once per layout of the current keymap.
    const X11KeyLayout& layoutFor(X11Connection& c, xkb_layout_index_t layout) {
        std::unique_ptr<X11KeyLayout>& table = m_layouts[layout];
        if (!table) table = std::make_unique<X11KeyLayout>(c.keyboard()->keymap(), layout);
        return *table;
    }

    static std::optional<KeyStroke> toKeyStroke(const X11KeyLayout& layout,
                                                const X11KeyLayout::Stroke& stroke) {
        KeyStroke result{stroke.keycode, {}};
        for (xkb_mod_mask_t bit = 1; bit != 0 && bit <= 0x80; bit <<= 1) {
            if ((stroke.modifiers & bit) == 0) continue;
            const std::optional<xkb_keycode_t> key = layout.modifierKey(bit);
            if (!key) return std::nullopt;
            result.modifierKeys.push_back(*key);
        }
        return result;
    }

    std::set<xkb_keycode_t> boundKeycodes() const {
        std::set<xkb_keycode_t> codes;
        for (const auto& [keysym, keycode] : m_bound) codes.insert(keycode);
        return codes;
    }

    // Key codes without any keysym in the core mapping; read at the first binding of a run.
    void readSparePool(X11Connection& c) {
        m_pool.clear();
        const xcb_setup_t* setup = xcb_get_setup(c.xcb());
        const int count = setup->max_keycode - setup->min_keycode + 1;
        XcbReply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
            c.xcb(), xcb_get_keyboard_mapping(c.xcb(), setup->min_keycode, static_cast<std::uint8_t>(count)),
            nullptr));
        if (!mapping || mapping->keysyms_per_keycode == 0) return;
        m_symsPerKeycode = mapping->keysyms_per_keycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
        for (int key = 0; (key + 1) * m_symsPerKeycode <= length; ++key) {
            const xcb_keysym_t* first = syms + key * m_symsPerKeycode;
            if (std::all_of(first, first + m_symsPerKeycode, [](xcb_keysym_t s) { return s == XCB_NONE; })) {
                m_pool.push_back(static_cast<xcb_keycode_t>(setup->min_keycode + key));
            }
        }
        m_poolRead = true;
    }

    // A spare key code that types the keysym: one already bound to it, a free one, or else the
    // one bound longest ago. Distinct characters get distinct keys while there are enough, so a
    // client that reads the key map late still sees the right keysym. Keys in `inUse` hold code
    // points of the character being prepared, not yet typed: rebinding one would type the wrong
    // code point, so when only those are left there is no key.
    std::optional<xcb_keycode_t> bindSpareKey(X11Connection& c, xkb_keysym_t keysym,
                                              const std::set<xcb_keycode_t>& inUse) {
        for (const auto& [sym, code] : m_bound) {
            if (sym == keysym) return code;
        }
        if (!m_poolRead) readSparePool(c);
        if (m_symsPerKeycode < 2) return std::nullopt;
        std::optional<xcb_keycode_t> keycode;
        for (xcb_keycode_t candidate : m_pool) {
            const bool taken = std::any_of(m_bound.begin(), m_bound.end(),
                                           [candidate](const auto& b) { return b.second == candidate; });
            if (!taken) {
                keycode = candidate;
                break;
            }
        }
        // Else the key bound longest ago that the character does not need; it gives up its
        // binding only once the new one is in place.
        std::optional<std::ptrdiff_t> evicted;
        if (!keycode) {
            const auto oldest = std::find_if(m_bound.begin(), m_bound.end(),
                                             [&inUse](const auto& b) { return inUse.count(b.second) == 0; });
            if (oldest != m_bound.end()) {
                keycode = oldest->second;
                evicted = oldest - m_bound.begin();
            }
        }
        if (!keycode) return std::nullopt;
        // The same keysym on the plain and the shifted level, so that Shift makes no difference.
        std::vector<xcb_keysym_t> syms(m_symsPerKeycode, XCB_NONE);
        syms[0] = keysym;
        syms[1] = keysym;
        if (c.check(
                xcb_change_keyboard_mapping_checked(c.xcb(), 1, *keycode, m_symsPerKeycode, syms.data()))) {
            return std::nullopt;
        }
        if (evicted) m_bound.erase(m_bound.begin() + *evicted);
        m_bound.emplace_back(keysym, *keycode);
        return keycode;
    }

    void restoreLocks() {
        if (m_lockedBeforeRun == 0) return;
        // Checked, so that the locks are back before the run reports its end.
        if (X11Connection* c = m_connectionOf(); c && !c->isBroken()) {
            c->check(xcb_xkb_latch_lock_state_checked(c->xcb(), XCB_XKB_ID_USE_CORE_KBD, m_lockedBeforeRun,
                                                      m_lockedBeforeRun, 0, 0, 0, 0, 0));
        }
        m_lockedBeforeRun = 0;
    }

    // Gives the spare key codes back their empty mapping.
    void restoreSpareKeys() {
        m_restoreTimer.stop();
        if (m_bound.empty()) return;
        X11Connection* c = m_connectionOf();
        if (c && !c->isBroken()) {
            const std::vector<xcb_keysym_t> none(std::max<std::uint8_t>(m_symsPerKeycode, 1), XCB_NONE);
            for (const auto& [keysym, keycode] : m_bound) {
                xcb_change_keyboard_mapping(c->xcb(), 1, keycode, static_cast<std::uint8_t>(none.size()),
                                            none.data());
            }
            c->flush();
        }
        m_bound.clear();
        m_layouts.clear();
    }

    std::function<X11Connection*()> m_connectionOf;
    QObject m_context;  // owns the signal connections; they end with this object
    QTimer m_restoreTimer;
    QPointer<X11Connection> m_watched;
    int m_handlerId = 0;
    std::function<void()> m_onActiveChange;
    QPointer<X11Keyboard> m_keyboard;
    std::map<xkb_layout_index_t, std::unique_ptr<X11KeyLayout>> m_layouts;
    bool m_inRun = false;
    std::uint8_t m_lockedBeforeRun = 0;  // the locks put aside for the run under way
    bool m_poolRead = false;
    std::uint8_t m_symsPerKeycode = 0;
    std::vector<xcb_keycode_t> m_pool;
    std::vector<std::pair<xkb_keysym_t, xcb_keycode_t>> m_bound;  // oldest first
};

}  // namespace

std::unique_ptr<AutoTypeService::Backend> createX11AutoTypeBackend() {
    return createX11AutoTypeBackend([] { return X11Connection::shared(); });
}

std::unique_ptr<AutoTypeService::Backend> createX11AutoTypeBackend(
    std::function<X11Connection*()> connection) {
    return std::make_unique<X11AutoTypeBackend>(std::move(connection));
}
