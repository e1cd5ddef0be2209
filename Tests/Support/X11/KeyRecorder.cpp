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
    m_connection = xcb_connect(display, &screenNumber);
    if (xcb_connection_has_error(m_connection)) return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&it);

    m_window = xcb_generate_id(m_connection);
    // A plain white face, so that screenshots show where the window stands.
    const std::uint32_t values[] = {it.data->white_pixel, XCB_EVENT_MASK_KEY_PRESS |
                                                              XCB_EVENT_MASK_KEY_RELEASE |
                                                              XCB_EVENT_MASK_FOCUS_CHANGE};
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, it.data->root, 50, 50, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, it.data->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    static const char wmClass[] = "recorder\0Recorder";
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        sizeof(wmClass), wmClass);
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, intern(m_connection, "_NET_WM_NAME"),
                        intern(m_connection, "UTF8_STRING"), 8, static_cast<std::uint32_t>(title.size()),
                        title.data());
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(title.size()), title.data());

    m_context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (xkb_x11_setup_xkb_extension(m_connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                    XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS,
                                    nullptr, nullptr, &m_xkbEventBase, nullptr)) {
        m_deviceId = xkb_x11_get_core_keyboard_device_id(m_connection);
        constexpr std::uint16_t mapParts =
            XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
            XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS |
            XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
        xcb_xkb_select_events(m_connection, static_cast<xcb_xkb_device_spec_t>(m_deviceId),
                              XCB_XKB_EVENT_TYPE_MAP_NOTIFY, 0, XCB_XKB_EVENT_TYPE_MAP_NOTIFY, mapParts,
                              mapParts, nullptr);
        loadKeymap();
    }
    owned(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));

    m_notifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { pump(); });
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { pump(); });
    m_timer.start(5);
}

KeyRecorder::~KeyRecorder() {
    m_notifier.reset();
    xkb_state_unref(m_state);
    xkb_keymap_unref(m_keymap);
    xkb_context_unref(m_context);
    xcb_disconnect(m_connection);
}

void KeyRecorder::loadKeymap() {
    xkb_keymap* keymap =
        xkb_x11_keymap_new_from_device(m_context, m_connection, m_deviceId, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) return;
    xkb_state_unref(m_state);
    xkb_keymap_unref(m_keymap);
    m_keymap = keymap;
    m_state = xkb_state_new(keymap);
}

void KeyRecorder::show() {
    xcb_map_window(m_connection, m_window);
    owned(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

void KeyRecorder::destroy() {
    xcb_destroy_window(m_connection, m_window);
    owned(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

void KeyRecorder::focus() {
    xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, m_window, XCB_CURRENT_TIME);
    owned(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

bool KeyRecorder::grabKeyboard() {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    auto reply =
        owned(xcb_grab_keyboard_reply(m_connection,
                                      xcb_grab_keyboard(m_connection, 0, it.data->root, XCB_CURRENT_TIME,
                                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                      nullptr));
    return reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
}

void KeyRecorder::ungrabKeyboard() {
    xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
    owned(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

void KeyRecorder::stall(int milliseconds) {
    m_notifier->setEnabled(false);
    m_timer.stop();
    QTimer::singleShot(milliseconds, this, [this] {
        m_notifier->setEnabled(true);
        m_timer.start(5);
        pump();
    });
}

int KeyRecorder::presses() const {
    int count = 0;
    for (const Key& key : m_keys) count += key.press ? 1 : 0;
    return count;
}

std::string KeyRecorder::typed() const {
    std::string text;
    for (const Key& key : m_keys) {
        if (key.press) text += key.text;
    }
    return text;
}

void KeyRecorder::pump() {
    while (auto event = owned(xcb_poll_for_event(m_connection))) {
        const std::uint8_t type = event->response_type & 0x7f;
        if (m_xkbEventBase != 0 && type == m_xkbEventBase) {
            loadKeymap();
            continue;
        }
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) continue;
        const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event.get());
        Key logged{type == XCB_KEY_PRESS, key->detail, key->state, {}};
        if (m_state) {
            // The event's state holds the modifiers in its low byte and the layout in bits 13-14.
            xkb_state_update_mask(m_state, key->state & 0xff, 0, 0, 0, 0, (key->state >> 13) & 0x3);
            char text[64] = {};
            xkb_state_key_get_utf8(m_state, key->detail, text, sizeof(text));
            logged.text = text;
        }
        m_keys.push_back(std::move(logged));
    }
}
