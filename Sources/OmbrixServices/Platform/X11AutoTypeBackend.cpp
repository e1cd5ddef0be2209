#include "OmbrixServices/Platform/X11AutoTypeBackend.h"

#include "OmbrixServices/Platform/X11Connection.h"
#include "OmbrixServices/Platform/X11KeyLayout.h"
#include "OmbrixServices/Platform/X11Keyboard.h"
#include "OmbrixServices/Platform/X11SpareKeys.h"
#include "OmbrixServices/Platform/XcbReply.h"
#include "OmbrixServices/Services/CarbonKeyTable.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <xcb/xtest.h>
#include "OmbrixServices/Platform/XcbXkb.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
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

using std::chrono::milliseconds;
using Outcome = AutoTypeService::Backend::Outcome;
using CharacterStrokes = AutoTypeService::Backend::CharacterStrokes;

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
        : connectionOf_(std::move(connection)) {
        restoreTimer_.setSingleShot(true);
        QObject::connect(&restoreTimer_, &QTimer::timeout, &context_, [this] {
            if (!inRun_) restoreSpareKeys();
        });
        if (QCoreApplication* app = QCoreApplication::instance()) {
            // The server does not let go of keys a client pressed through XTEST when the client
            // leaves: whatever ends the program, they go up here.
            QObject::connect(app, &QCoreApplication::aboutToQuit, &context_, [this] { restoreKeyboard(); });
        }
    }

    ~X11AutoTypeBackend() override {
        restoreKeyboard();
        if (watched_ && handlerId_) watched_->removeEventHandler(handlerId_);
        if (focusConnection_ && focusHandlerId_) focusConnection_->removeEventHandler(focusHandlerId_);
    }

    bool canSynthesize() override {
        X11Connection* c = connection();
        return c && c->hasXTest() && c->keyboard();
    }

    void watchActiveWindow(std::function<void()> onChange) override {
        onActiveChange_ = std::move(onChange);
        X11Connection* c = connection();
        if (!c || handlerId_) return;
        const xcb_window_t root = c->root();
        const xcb_atom_t active = c->atom("_NET_ACTIVE_WINDOW");
        c->selectInput(root, XCB_EVENT_MASK_PROPERTY_CHANGE);
        watched_ = c;
        handlerId_ = c->addEventHandler([this, root, active](const xcb_generic_event_t& event) {
            if ((event.response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return;
            const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            if (notify.window == root && notify.atom == active && onActiveChange_) onActiveChange_();
        });
    }

    WindowId activeWindow() override {
        X11Connection* c = connection();
        if (!c) return 0;
        if (const std::optional<xcb_window_t> active = activeWindowOfWindowManager(*c)) return *active;
        XcbReply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(c->xcb(), xcb_get_input_focus(c->xcb()), nullptr));
        if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT) return 0;
        return topLevel(*c, focus->focus);
    }

    bool hasFocus(WindowId window) override {
        X11Connection* c = connection();
        if (!c) return false;
        XcbReply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(c->xcb(), xcb_get_input_focus(c->xcb()), nullptr));
        return keysGoWithin(*c, window, focus.get()).has_value();
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

    bool isClosed(WindowId window) override {
        X11Connection* c = connection();
        if (!c) return false;
        const xcb_get_window_attributes_cookie_t attributesAsked =
            xcb_get_window_attributes(c->xcb(), window);
        const xcb_get_property_cookie_t stateAsked =
            xcb_get_property(c->xcb(), 0, window, c->atom("WM_STATE"), XCB_GET_PROPERTY_TYPE_ANY, 0, 1);
        XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c->xcb(), attributesAsked, nullptr));
        XcbReply<xcb_get_property_reply_t> state(xcb_get_property_reply(c->xcb(), stateAsked, nullptr));
        if (c->isBroken()) return false;
        if (!attributes) return true;
        if (attributes->map_state != XCB_MAP_STATE_UNMAPPED) return false;
        // A minimised window is unmapped too, but its window manager keeps it in the Iconic
        // state of WM_STATE (ICCCM 4.1.3.1); a window its program took off the screen is not.
        constexpr std::uint32_t iconicState = 3;
        return !(state && state->format == 32 && xcb_get_property_value_length(state.get()) >= 4 &&
                 *static_cast<const std::uint32_t*>(xcb_get_property_value(state.get())) == iconicState);
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
        if (activeWindowOfWindowManager(*c)) {
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

    Outcome beginTyping(WindowId window) override {
        inRun_ = true;
        X11Connection* c = connection();
        if (!c || !c->keyboard()) return Outcome::failed;
        watchFocusEvents(*c, window);
        // Another program may hold the keyboard already; a grab of our own for an instant tells.
        // It costs the target one pair of focus notices (out and back), once per run; the key
        // presses after it are checked against those notices instead.
        XcbReply<xcb_grab_keyboard_reply_t> grab(
            xcb_grab_keyboard_reply(c->xcb(),
                                    xcb_grab_keyboard(c->xcb(), 0, c->root(), XCB_CURRENT_TIME,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    nullptr));
        if (!grab) return Outcome::failed;
        if (grab->status == XCB_GRAB_STATUS_ALREADY_GRABBED || grab->status == XCB_GRAB_STATUS_FROZEN)
            return Outcome::keyboardGrabbed;
        if (grab->status != XCB_GRAB_STATUS_SUCCESS) return Outcome::failed;
        xcb_ungrab_keyboard(c->xcb(), XCB_CURRENT_TIME);

        XcbReply<xcb_xkb_get_state_reply_t> state(
            xcb_xkb_get_state_reply(c->xcb(), xcb_xkb_get_state(c->xcb(), XCB_XKB_ID_USE_CORE_KBD), nullptr));
        if (!state) return Outcome::failed;
        const std::uint8_t locked = state->lockedMods & textLocks;
        if (locked == 0) return Outcome::done;
        // Unlocked for the run and locked again at its end, as the user had them.
        if (c->check(xcb_xkb_latch_lock_state_checked(c->xcb(), XCB_XKB_ID_USE_CORE_KBD, locked, 0, 0, 0, 0,
                                                      0, 0))) {
            return Outcome::failed;
        }
        lockedBeforeRun_ = locked;
        return Outcome::done;
    }

    std::optional<CharacterStrokes> strokes(QStringView character) override {
        inRun_ = true;
        X11Connection* c = connection();
        if (!c || !c->keyboard()) return std::nullopt;
        XcbReply<xcb_xkb_get_state_reply_t> state(
            xcb_xkb_get_state_reply(c->xcb(), xcb_xkb_get_state(c->xcb(), XCB_XKB_ID_USE_CORE_KBD), nullptr));
        if (!state) return std::nullopt;
        const X11KeyLayout& layout = layoutFor(*c, state->group);
        const std::set<xkb_keycode_t> ours = spares_.boundKeycodes();
        if (std::optional<X11KeyLayout::Stroke> found = layout.stroke(character, state->lockedMods, ours)) {
            if (std::optional<KeyStroke> stroke = toKeyStroke(layout, *found))
                return CharacterStrokes{{*stroke}, milliseconds{0}};
        }
        // No key types the whole character: each code point on its own key, a spare one where
        // the layout has none (a combining mark after its base letter, an emoji). The code points
        // go out as stored: a site compares a password's bytes, not its canonical form.
        CharacterStrokes result;
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
                const X11SpareKeys::SpareKey spare = spares_.bind(*c, keysym, sparesInUse);
                if (spare.wait > milliseconds{0}) return CharacterStrokes{{}, spare.wait};
                if (!spare.keycode) return std::nullopt;
                sparesInUse.insert(*spare.keycode);
                stroke = KeyStroke{*spare.keycode, {}};
            }
            result.strokes.push_back(*stroke);
        }
        return result;
    }

    std::optional<KeyStroke> stroke(AutoTypeKey key) override {
        inRun_ = true;
        X11Connection* c = connection();
        if (!c || !c->keyboard()) return std::nullopt;
        const std::optional<std::string_view> name = CarbonKeyTable::xkbName(carbonCode(key));
        if (!name) return std::nullopt;
        const std::optional<xcb_keycode_t> keycode = c->keyboard()->keycode(*name);
        if (!keycode) return std::nullopt;
        return KeyStroke{*keycode, {}};
    }

    std::optional<KeyStroke> selectAllStroke() override {
        inRun_ = true;
        X11Connection* c = connection();
        if (!c || !c->keyboard()) return std::nullopt;
        const X11KeyLayout& layout = layoutFor(*c, c->keyboard()->layout());
        // The key that types "a" in this layout, whatever modifiers that needs; the A position
        // when none does.
        std::optional<std::uint32_t> keycode;
        if (std::optional<X11KeyLayout::Stroke> a = layout.stroke(u"a", 0, spares_.boundKeycodes()))
            keycode = a->keycode;
        if (!keycode) keycode = c->keyboard()->keycode("AC01");
        const std::optional<xkb_keycode_t> control = layout.modifierKey(XCB_MOD_MASK_CONTROL);
        if (!keycode || !control) return std::nullopt;
        return KeyStroke{*keycode, {*control}};
    }

    Outcome pressKey(WindowId window, std::uint32_t keycode, const std::vector<std::uint32_t>& ours,
                     bool userKeys) override {
        X11Connection* c = connection();
        if (!c || !c->hasXTest() || keycode > 255) return Outcome::failed;
        // While the server is grabbed it serves no other client: no window can take the focus
        // and no program can take the keyboard between the checks and the key press. The
        // questions go out with the grab and come back in one round trip, which is all the
        // server stays grabbed for in the usual case (the focus in the target itself).
        xcb_grab_server(c->xcb());
        const xcb_get_input_focus_cookie_t focusAsked = xcb_get_input_focus(c->xcb());
        std::optional<xcb_query_keymap_cookie_t> keysAsked;
        if (userKeys) keysAsked = xcb_query_keymap(c->xcb());
        XcbReply<xcb_get_input_focus_reply_t> focus(xcb_get_input_focus_reply(c->xcb(), focusAsked, nullptr));
        XcbReply<xcb_query_keymap_reply_t> keys;
        if (keysAsked) keys.reset(xcb_query_keymap_reply(c->xcb(), *keysAsked, nullptr));
        const Outcome outcome =
            checkedPress(*c, window, static_cast<xcb_keycode_t>(keycode), ours, focus.get(),
                         keysAsked ? std::optional(keys.get()) : std::nullopt);
        xcb_ungrab_server(c->xcb());
        c->flush();
        if (c->isBroken()) return Outcome::failed;
        if (outcome == Outcome::done) {
            down_.insert(static_cast<xcb_keycode_t>(keycode));
            spares_.used(static_cast<xcb_keycode_t>(keycode));
        }
        return outcome;
    }

    bool releaseKey(std::uint32_t keycode) override {
        X11Connection* c = connection();
        if (!c || !c->hasXTest() || keycode > 255) return false;
        xcb_test_fake_input(c->xcb(), XCB_KEY_RELEASE, static_cast<std::uint8_t>(keycode), XCB_CURRENT_TIME,
                            XCB_NONE, 0, 0, 0);
        c->flush();
        down_.erase(static_cast<xcb_keycode_t>(keycode));
        spares_.used(static_cast<xcb_keycode_t>(keycode));
        return !c->isBroken();
    }

    void endRun() override {
        restoreLocks();
        stopWatchingFocusEvents();
        inRun_ = false;
        spares_.endRun();
        if (!spares_.empty()) restoreTimer_.start(spareKeyMeaningKept);
    }

  private:
    X11Connection* connection() {
        X11Connection* c = connectionOf_();
        if (!c || c->isBroken()) return nullptr;
        if (X11Keyboard* keyboard = c->keyboard(); keyboard && keyboard != keyboard_) {
            keyboard_ = keyboard;
            layouts_.clear();
            QObject::connect(keyboard, &X11Keyboard::keymapChanged, &context_, [this] { layouts_.clear(); });
        }
        return c;
    }

    // Where the server sends key events, given the input focus, when that is the window or lies
    // inside it: the focus window, or the window under the pointer when that lies inside the
    // focus window (with the focus on the root window or following the pointer, always). A key
    // event goes to the focus window or to one of its descendants, so with the focus inside the
    // window the pointer need not be asked about. The focus window comes with it. None when key
    // events go elsewhere.
    struct KeyWindows {
        xcb_window_t focus;
        xcb_window_t receiver;
    };
    static std::optional<KeyWindows> keysGoWithin(X11Connection& c, xcb_window_t window,
                                                  const xcb_get_input_focus_reply_t* focus) {
        if (!focus || focus->focus == XCB_NONE || window == XCB_NONE) return std::nullopt;
        const xcb_window_t focused =
            focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ? c.root() : static_cast<xcb_window_t>(focus->focus);
        if (isWithin(c, focused, window)) return KeyWindows{focused, focused};
        const xcb_window_t pointer = pointerWindow(c);
        if (!isWithin(c, pointer, focused) || !isWithin(c, pointer, window)) return std::nullopt;
        return KeyWindows{focused, pointer};
    }

    // The window is the ancestor or one of its descendants.
    static bool isWithin(X11Connection& c, xcb_window_t window, xcb_window_t ancestor) {
        for (int depth = 0; depth < 64 && window != XCB_NONE; ++depth) {
            if (window == ancestor) return true;
            if (window == c.root()) return false;
            XcbReply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(c.xcb(), xcb_query_tree(c.xcb(), window), nullptr));
            if (!tree) return false;
            window = tree->parent;
        }
        return false;
    }

    // The innermost window under the pointer.
    static xcb_window_t pointerWindow(X11Connection& c) {
        xcb_window_t window = c.root();
        for (int depth = 0; depth < 64; ++depth) {
            XcbReply<xcb_query_pointer_reply_t> pointer(
                xcb_query_pointer_reply(c.xcb(), xcb_query_pointer(c.xcb(), window), nullptr));
            if (!pointer || !pointer->same_screen || pointer->child == XCB_NONE) return window;
            window = pointer->child;
        }
        return window;
    }

    // The checks of a key press and the press itself, with the server grabbed, from the input
    // focus and (unless none is wanted) the keyboard's keys asked for after the grab.
    Outcome checkedPress(X11Connection& c, xcb_window_t window, xcb_keycode_t keycode,
                         const std::vector<std::uint32_t>& ours, const xcb_get_input_focus_reply_t* focus,
                         std::optional<const xcb_query_keymap_reply_t*> keymap) {
        // Its reply comes after every event the server sent before: a grab of the keyboard by
        // another program shows in the focus notices it sent the windows watched.
        const std::optional<KeyWindows> keys = keysGoWithin(c, window, focus);
        c.processQueuedEvents();
        if (!keys) return Outcome::focusMoved;
        if (keys->focus != window && keys->focus != c.root()) watchFocusEvents(c, keys->focus);

        if (keymap) {
            if (!*keymap) return Outcome::failed;
            for (int key = 0; key < 256; ++key) {
                const bool down = ((*keymap)->keys[key / 8] & (1u << (key % 8))) != 0;
                // A held key also explains a grab it set off (a hot key's): waiting for it is enough.
                if (down &&
                    std::find(ours.begin(), ours.end(), static_cast<std::uint32_t>(key)) == ours.end())
                    return Outcome::keyHeld;
            }
        }
        if (keyboardGrabbed_) return Outcome::keyboardGrabbed;
        xcb_test_fake_input(c.xcb(), XCB_KEY_PRESS, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        return Outcome::done;
    }

    // From now on the focus notices of the window come to us: a program that takes the keyboard
    // makes the server tell the focused window and its ancestors that the focus went to the grab
    // (mode Grab) and, when it lets go, that it came back (mode Ungrab).
    void watchFocusEvents(X11Connection& c, xcb_window_t window) {
        if (focusConnection_ != &c) {
            stopWatchingFocusEvents();
            if (focusConnection_ && focusHandlerId_) focusConnection_->removeEventHandler(focusHandlerId_);
            focusConnection_ = &c;
            focusHandlerId_ = c.addEventHandler([this](const xcb_generic_event_t& event) {
                const std::uint8_t type = event.response_type & 0x7f;
                if (type != XCB_FOCUS_IN && type != XCB_FOCUS_OUT) return;
                // Focus in and out events share one layout.
                const auto& focus = reinterpret_cast<const xcb_focus_in_event_t&>(event);
                if (focusWatched_.count(focus.event) == 0) return;
                if (focus.mode == XCB_NOTIFY_MODE_GRAB) keyboardGrabbed_ = true;
                if (focus.mode == XCB_NOTIFY_MODE_UNGRAB) keyboardGrabbed_ = false;
            });
        }
        if (focusWatched_.insert(window).second) c.selectInput(window, XCB_EVENT_MASK_FOCUS_CHANGE);
    }

    void stopWatchingFocusEvents() {
        if (focusConnection_ && !focusConnection_->isBroken()) {
            for (const xcb_window_t window : focusWatched_)
                focusConnection_->deselectInput(window, XCB_EVENT_MASK_FOCUS_CHANGE);
        }
        focusWatched_.clear();
        keyboardGrabbed_ = false;
    }

    // The active window as the window manager names it (XCB_NONE: none), when a window manager
    // that keeps _NET_ACTIVE_WINDOW runs: one that follows EWMH names itself on the root window,
    // and that window names itself back; a leftover property of one that has gone does not.
    // None without such a window manager. Asked for a run's every character: the properties
    // are asked for together, the check window named last time among them.
    std::optional<xcb_window_t> activeWindowOfWindowManager(X11Connection& c) {
        const xcb_atom_t check = c.atom("_NET_SUPPORTING_WM_CHECK");
        const xcb_atom_t active = c.atom("_NET_ACTIVE_WINDOW");
        const auto ask = [&c](xcb_window_t window, xcb_atom_t name, xcb_atom_t type, std::uint32_t longs) {
            return xcb_get_property(c.xcb(), 0, window, name, type, 0, longs);
        };
        constexpr std::uint32_t supportedLongs = 1024;
        const xcb_get_property_cookie_t wmAsked = ask(c.root(), check, XCB_ATOM_WINDOW, 1);
        const xcb_window_t wmBefore = windowManager_;
        std::optional<xcb_get_property_cookie_t> selfAsked;
        if (wmBefore != XCB_NONE) selfAsked = ask(wmBefore, check, XCB_ATOM_WINDOW, 1);
        const xcb_get_property_cookie_t supportedAsked =
            ask(c.root(), c.atom("_NET_SUPPORTED"), XCB_ATOM_ATOM, supportedLongs);
        const xcb_get_property_cookie_t activeAsked = ask(c.root(), active, XCB_ATOM_WINDOW, 1);

        const std::vector<std::uint32_t> wm = propertyValues(c, wmAsked);
        windowManager_ = wm.empty() ? XCB_NONE : wm.front();
        std::vector<std::uint32_t> self;
        if (selfAsked) self = propertyValues(c, *selfAsked);
        if (windowManager_ != wmBefore && windowManager_ != XCB_NONE)
            self = propertyValues(c, ask(windowManager_, check, XCB_ATOM_WINDOW, 1));
        std::vector<std::uint32_t> supported = propertyValues(c, supportedAsked, XCB_ATOM_ATOM);
        if (supported.size() == supportedLongs)
            supported = c.uint32Property(c.root(), c.atom("_NET_SUPPORTED"), XCB_ATOM_ATOM);
        const std::vector<std::uint32_t> activeWindow = propertyValues(c, activeAsked);
        if (windowManager_ == XCB_NONE || self.empty() || self.front() != windowManager_) return std::nullopt;
        if (std::find(supported.begin(), supported.end(), active) == supported.end()) return std::nullopt;
        return activeWindow.empty() ? XCB_NONE : activeWindow.front();
    }

    // The 32-bit values of a property asked for; empty when absent, of another type, or the
    // window is gone.
    static std::vector<std::uint32_t> propertyValues(X11Connection& c, xcb_get_property_cookie_t asked,
                                                     xcb_atom_t type = XCB_ATOM_WINDOW) {
        xcb_generic_error_t* error = nullptr;
        XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c.xcb(), asked, &error));
        std::free(error);
        if (!reply || reply->type != type || reply->format != 32) return {};
        const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
        return std::vector<std::uint32_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
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
        std::unique_ptr<X11KeyLayout>& table = layouts_[layout];
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

    // Everything a run changed on the keyboard, at once: the program is ending.
    void restoreKeyboard() {
        if (X11Connection* c = connectionOf_(); c && !c->isBroken() && c->hasXTest()) {
            for (const xcb_keycode_t key : down_)
                xcb_test_fake_input(c->xcb(), XCB_KEY_RELEASE, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            c->flush();
        }
        down_.clear();
        restoreLocks();
        stopWatchingFocusEvents();
        restoreSpareKeys();
    }

    void restoreLocks() {
        if (lockedBeforeRun_ == 0) return;
        // Checked, so that the locks are back before the run reports its end.
        if (X11Connection* c = connectionOf_(); c && !c->isBroken()) {
            c->check(xcb_xkb_latch_lock_state_checked(c->xcb(), XCB_XKB_ID_USE_CORE_KBD, lockedBeforeRun_,
                                                      lockedBeforeRun_, 0, 0, 0, 0, 0));
        }
        lockedBeforeRun_ = 0;
    }

    // Gives the spare key codes back their empty mapping, those that still hold our keysym.
    void restoreSpareKeys() {
        restoreTimer_.stop();
        if (spares_.empty()) return;
        spares_.restore(connectionOf_());
        layouts_.clear();
    }

    std::function<X11Connection*()> connectionOf_;
    QObject context_;  // owns the signal connections; they end with this object
    QTimer restoreTimer_;
    QPointer<X11Connection> watched_;
    int handlerId_ = 0;
    std::function<void()> onActiveChange_;
    QPointer<X11Keyboard> keyboard_;
    std::map<xkb_layout_index_t, std::unique_ptr<X11KeyLayout>> layouts_;
    bool inRun_ = false;
    xcb_window_t windowManager_ = XCB_NONE;  // the window manager's check window, seen last
    std::uint8_t lockedBeforeRun_ = 0;       // the locks put aside for the run under way
    X11SpareKeys spares_;
    std::set<xcb_keycode_t> down_;  // keys pressed and not yet released
    // Watching for grabs of the keyboard by other programs during a run.
    QPointer<X11Connection> focusConnection_;
    int focusHandlerId_ = 0;
    std::set<xcb_window_t> focusWatched_;
    bool keyboardGrabbed_ = false;
};

}  // namespace

std::unique_ptr<AutoTypeService::Backend> createX11AutoTypeBackend() {
    return createX11AutoTypeBackend([] { return X11Connection::shared(); });
}

std::unique_ptr<AutoTypeService::Backend> createX11AutoTypeBackend(
    std::function<X11Connection*()> connection) {
    return std::make_unique<X11AutoTypeBackend>(std::move(connection));
}
