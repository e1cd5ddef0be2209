#include "Support/X11/KeyRecorder.h"

#include "OmbrixServices/Platform/XcbXkb.h"

#include <xkbcommon/xkbcommon-x11.h>

#include <cstdlib>
#include <cstring>

namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> owned(T* p) {
    return std::unique_ptr<T, decltype(&std::free)>(p, &std::free);
}

xcb_atom_t intern(xcb_connection_t* c, const char* name) {
    auto reply = owned(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : XCB_NONE;
}

}  // namespace

KeyRecorder::KeyRecorder(const std::string& title, const char* display) {
    int screenNumber = 0;
    connection_ = xcb_connect(display, &screenNumber);
    if (xcb_connection_has_error(connection_)) return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&it);

    window_ = xcb_generate_id(connection_);
    // A plain white face, so that screenshots show where the window stands.
    const std::uint32_t values[] = {it.data->white_pixel, XCB_EVENT_MASK_KEY_PRESS |
                                                              XCB_EVENT_MASK_KEY_RELEASE |
                                                              XCB_EVENT_MASK_FOCUS_CHANGE};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, it.data->root, 50, 50, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, it.data->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    static const char wmClass[] = "recorder\0Recorder";
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        sizeof(wmClass), wmClass);
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, intern(connection_, "_NET_WM_NAME"),
                        intern(connection_, "UTF8_STRING"), 8, static_cast<std::uint32_t>(title.size()),
                        title.data());
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(title.size()), title.data());

    context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (xkb_x11_setup_xkb_extension(connection_, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                    XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &xkbEventBase_,
                                    nullptr)) {
        deviceId_ = xkb_x11_get_core_keyboard_device_id(connection_);
        constexpr std::uint16_t mapParts =
            XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
            XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS |
            XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
        xcb_xkb_select_events(connection_, static_cast<xcb_xkb_device_spec_t>(deviceId_),
                              XCB_XKB_EVENT_TYPE_MAP_NOTIFY, 0, XCB_XKB_EVENT_TYPE_MAP_NOTIFY, mapParts,
                              mapParts, nullptr);
        loadKeymap();
    }
    owned(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));

    notifier_ =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { pump(); });
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { pump(); });
    timer_.start(5);
}

KeyRecorder::~KeyRecorder() {
    notifier_.reset();
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
    xcb_disconnect(connection_);
}

void KeyRecorder::loadKeymap() {
    xkb_keymap* keymap =
        xkb_x11_keymap_new_from_device(context_, connection_, deviceId_, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) return;
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    keymap_ = keymap;
    state_ = xkb_state_new(keymap);
}

void KeyRecorder::show() {
    xcb_map_window(connection_, window_);
    owned(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void KeyRecorder::destroy() {
    xcb_destroy_window(connection_, window_);
    owned(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void KeyRecorder::focus() {
    xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window_, XCB_CURRENT_TIME);
    owned(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void KeyRecorder::focusInnerWindow() {
    const xcb_window_t inner = xcb_generate_id(connection_);
    const std::uint32_t events = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, inner, window_, 10, 10, 100, 50, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    xcb_map_window(connection_, inner);
    xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_PARENT, inner, XCB_CURRENT_TIME);
    owned(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

bool KeyRecorder::grabKeyboard() {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    auto reply =
        owned(xcb_grab_keyboard_reply(connection_,
                                      xcb_grab_keyboard(connection_, 0, it.data->root, XCB_CURRENT_TIME,
                                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                      nullptr));
    return reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
}

void KeyRecorder::ungrabKeyboard() {
    xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
    owned(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void KeyRecorder::stall(int milliseconds) {
    notifier_->setEnabled(false);
    timer_.stop();
    QTimer::singleShot(milliseconds, this, [this] {
        notifier_->setEnabled(true);
        timer_.start(5);
        pump();
    });
}

int KeyRecorder::presses() const {
    int count = 0;
    for (const Key& key : keys_) count += key.press ? 1 : 0;
    return count;
}

std::string KeyRecorder::typed() const {
    std::string text;
    for (const Key& key : keys_) {
        if (key.press) text += key.text;
    }
    return text;
}

void KeyRecorder::pump() {
    while (auto event = owned(xcb_poll_for_event(connection_))) {
        const std::uint8_t type = event->response_type & 0x7f;
        if (xkbEventBase_ != 0 && type == xkbEventBase_) {
            loadKeymap();
            continue;
        }
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) continue;
        const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event.get());
        Key logged{type == XCB_KEY_PRESS, key->detail, key->state, {}};
        if (state_) {
            // The event's state holds the modifiers in its low byte and the layout in bits 13-14.
            xkb_state_update_mask(state_, key->state & 0xff, 0, 0, 0, 0, (key->state >> 13) & 0x3);
            char text[64] = {};
            xkb_state_key_get_utf8(state_, key->detail, text, sizeof(text));
            logged.text = text;
        }
        keys_.push_back(std::move(logged));
    }
}
