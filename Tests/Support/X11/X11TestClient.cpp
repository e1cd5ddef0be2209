#include "Support/X11/X11TestClient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include "OmbrixServices/Platform/XcbXkb.h"

#include <xcb/xtest.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> owned(T* p) {
    return std::unique_ptr<T, decltype(&std::free)>(p, &std::free);
}

// The server answers XKB requests only once the client has announced the extension.
void useXkb(xcb_connection_t* connection) {
    xcb_discard_reply(connection, xcb_xkb_use_extension(connection, 1, 0).sequence);
}

}  // namespace

bool spinUntil(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void spinFor(int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

X11TestClient::X11TestClient(const char* display) {
    int screenNumber = 0;
    connection_ = xcb_connect(display, &screenNumber);
    if (xcb_connection_has_error(connection_)) return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&it);
    root_ = it.data->root;
    window_ = xcb_generate_id(connection_);
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, root_, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, it.data->root_visual, XCB_CW_EVENT_MASK, &mask);
    sync();
}

X11TestClient::~X11TestClient() {
    xcb_disconnect(connection_);
}

bool X11TestClient::isConnected() const {
    return xcb_connection_has_error(connection_) == 0;
}

xcb_atom_t X11TestClient::atom(const std::string& name) {
    auto reply = owned(xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.data()),
        nullptr));
    return reply ? reply->atom : XCB_NONE;
}

std::string X11TestClient::atomName(xcb_atom_t atom) {
    auto reply = owned(xcb_get_atom_name_reply(connection_, xcb_get_atom_name(connection_, atom), nullptr));
    if (!reply) return {};
    return std::string(xcb_get_atom_name_name(reply.get()),
                       static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get())));
}

void X11TestClient::sync() {
    owned(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

xcb_timestamp_t X11TestClient::freshTimestamp() {
    // A zero-length append changes nothing but still makes the server report the time.
    const xcb_atom_t stamp = atom("OMBRIX_TEST_TIMESTAMP");
    xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, stamp, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(connection_);
    for (;;) {
        auto event = owned(xcb_wait_for_event(connection_));
        if (!event) return XCB_CURRENT_TIME;
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event.get());
            if (notify->atom == stamp) return notify->time;
        }
    }
}

std::optional<X11TestClient::Data> X11TestClient::readClipboard(const std::string& target) {
    const xcb_atom_t clipboard = atom("CLIPBOARD");
    const xcb_atom_t property = atom("OMBRIX_TEST_SELECTION");
    const xcb_atom_t targetAtom = atom(target);
    xcb_convert_selection(connection_, window_, clipboard, targetAtom, property, freshTimestamp());
    xcb_flush(connection_);

    std::optional<xcb_atom_t> answered;
    // The owner is the application under test: its event loop must run to answer.
    spinUntil([&] {
        while (auto event = owned(xcb_poll_for_event(connection_))) {
            if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY) continue;
            const auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event.get());
            if (notify->selection == clipboard && notify->target == targetAtom) answered = notify->property;
        }
        return answered.has_value();
    });
    if (!answered || *answered == XCB_NONE) return std::nullopt;

    auto reply = owned(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 1, window_, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16), nullptr));
    if (!reply || reply->type == XCB_NONE) return std::nullopt;
    const auto* bytes = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.get()));
    return Data{reply->type,
                std::vector<std::uint8_t>(bytes, bytes + xcb_get_property_value_length(reply.get()))};
}

std::vector<std::string> X11TestClient::clipboardTargets() {
    std::vector<std::string> names;
    const std::optional<Data> data = readClipboard("TARGETS");
    if (!data) return names;
    for (std::size_t i = 0; i + 4 <= data->bytes.size(); i += 4) {
        xcb_atom_t target = 0;
        std::memcpy(&target, data->bytes.data() + i, 4);
        names.push_back(atomName(target));
    }
    return names;
}

std::optional<std::string> X11TestClient::clipboardText() {
    const std::optional<Data> data = readClipboard("UTF8_STRING");
    if (!data) return std::nullopt;
    return std::string(data->bytes.begin(), data->bytes.end());
}

void X11TestClient::takeClipboard() {
    xcb_set_selection_owner(connection_, window_, atom("CLIPBOARD"), freshTimestamp());
    sync();
}

xcb_window_t X11TestClient::clipboardOwner() {
    auto reply = owned(xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, atom("CLIPBOARD")), nullptr));
    return reply ? reply->owner : XCB_NONE;
}

namespace {

struct KeyboardMapping {
    xcb_keycode_t first;
    int perKeycode;
    std::vector<xcb_keysym_t> keysyms;
};

KeyboardMapping keyboardMapping(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto reply = owned(xcb_get_keyboard_mapping_reply(
        connection,
        xcb_get_keyboard_mapping(connection, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr));
    KeyboardMapping mapping{setup->min_keycode, reply ? reply->keysyms_per_keycode : 0, {}};
    if (reply) {
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
        mapping.keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(reply.get()));
    }
    return mapping;
}

}  // namespace

std::optional<xcb_keycode_t> X11TestClient::keycodeFor(xcb_keysym_t keysym) {
    const KeyboardMapping mapping = keyboardMapping(connection_);
    if (mapping.perKeycode == 0) return std::nullopt;
    for (std::size_t i = 0; i < mapping.keysyms.size(); ++i) {
        if (mapping.keysyms[i] == keysym)
            return static_cast<xcb_keycode_t>(mapping.first + i / mapping.perKeycode);
    }
    return std::nullopt;
}

std::optional<xcb_keycode_t> X11TestClient::unboundKeycode() {
    const KeyboardMapping mapping = keyboardMapping(connection_);
    if (mapping.perKeycode == 0) return std::nullopt;
    const std::size_t keys = mapping.keysyms.size() / mapping.perKeycode;
    for (std::size_t key = 0; key < keys; ++key) {
        bool unbound = true;
        for (int level = 0; level < mapping.perKeycode; ++level) {
            if (mapping.keysyms[key * mapping.perKeycode + level] != 0) unbound = false;
        }
        if (unbound) return static_cast<xcb_keycode_t>(mapping.first + key);
    }
    return std::nullopt;
}

void X11TestClient::rebind(xcb_keycode_t keycode, std::vector<xcb_keysym_t> keysyms) {
    xcb_change_keyboard_mapping(connection_, 1, keycode, static_cast<std::uint8_t>(keysyms.size()),
                                keysyms.data());
    sync();
}

void X11TestClient::lockLayout(std::uint8_t layout) {
    useXkb(connection_);
    xcb_xkb_latch_lock_state(connection_, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, layout, 0, 0, 0);
    sync();
}

void X11TestClient::lockModifiers(std::uint8_t affected, std::uint8_t locked) {
    useXkb(connection_);
    xcb_xkb_latch_lock_state(connection_, XCB_XKB_ID_USE_CORE_KBD, affected, locked, 0, 0, 0, 0, 0);
    sync();
}

std::uint8_t X11TestClient::lockedModifiers() {
    useXkb(connection_);
    auto state = owned(xcb_xkb_get_state_reply(
        connection_, xcb_xkb_get_state(connection_, XCB_XKB_ID_USE_CORE_KBD), nullptr));
    return state ? state->lockedMods : 0;
}

void X11TestClient::fakeKey(xcb_keycode_t keycode, bool press) {
    xcb_test_fake_input(connection_, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME,
                        XCB_NONE, 0, 0, 0);
    sync();
}

void X11TestClient::tap(std::initializer_list<xcb_keycode_t> keys) {
    for (xcb_keycode_t key : keys) fakeKey(key, true);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it) fakeKey(*it, false);
}

void X11TestClient::click(std::int16_t x, std::int16_t y) {
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, x, y, 0);
    for (const std::uint8_t type : {XCB_BUTTON_PRESS, XCB_BUTTON_RELEASE})
        xcb_test_fake_input(connection_, type, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
}

std::optional<std::uint8_t> X11TestClient::grabKey(xcb_keycode_t keycode, std::uint16_t modifiers) {
    auto error =
        owned(xcb_request_check(connection_, xcb_grab_key_checked(connection_, 0, root_, modifiers, keycode,
                                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    if (!error) return std::nullopt;
    return error->error_code;
}

void X11TestClient::ungrabKey(xcb_keycode_t keycode, std::uint16_t modifiers) {
    xcb_ungrab_key(connection_, keycode, root_, modifiers);
    sync();
}
