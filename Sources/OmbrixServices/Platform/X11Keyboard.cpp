#include "OmbrixServices/Platform/X11Keyboard.h"

#include "OmbrixServices/Platform/X11Connection.h"

#include <xkbcommon/xkbcommon-x11.h>
#include "OmbrixServices/Platform/XcbXkb.h"

#include <cstdlib>
#include <string>

namespace {

// The notifications that keep the keymap and the state current: a new device or key code range,
// any change of the key map, and every modifier or group change.
void selectXkbEvents(xcb_connection_t* connection, std::int32_t deviceId) {
    constexpr std::uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY |
                                     XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
    constexpr std::uint16_t newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
    constexpr std::uint16_t mapParts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS |
                                       XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS |
                                       XCB_XKB_MAP_PART_KEY_ACTIONS | XCB_XKB_MAP_PART_VIRTUAL_MODS |
                                       XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    constexpr std::uint16_t stateDetails = XCB_XKB_STATE_PART_MODIFIER_BASE |
                                           XCB_XKB_STATE_PART_MODIFIER_LATCH |
                                           XCB_XKB_STATE_PART_MODIFIER_LOCK | XCB_XKB_STATE_PART_GROUP_BASE |
                                           XCB_XKB_STATE_PART_GROUP_LATCH | XCB_XKB_STATE_PART_GROUP_LOCK;
    xcb_xkb_select_events_details_t details{};
    details.affectNewKeyboard = newKeyboardDetails;
    details.newKeyboardDetails = newKeyboardDetails;
    details.affectState = stateDetails;
    details.stateDetails = stateDetails;
    xcb_xkb_select_events_aux(connection, static_cast<xcb_xkb_device_spec_t>(deviceId), events, 0, 0,
                              mapParts, mapParts, &details);
}

// The real modifiers behind a virtual one ("Alt", "Super", "NumLock") in this keymap, or the
// usual real modifier when the keymap does not name it. xkbcommon resolves virtual modifiers to
// their real ones when it takes a mask into a state.
std::uint16_t realModifiers(xkb_keymap* keymap, const char* virtualName, const char* usualRealName) {
    for (const char* name : {virtualName, usualRealName}) {
        if (!name) continue;
        const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
        if (index == XKB_MOD_INVALID || index >= 32) continue;
        xkb_state* scratch = xkb_state_new(keymap);
        if (!scratch) continue;
        xkb_state_update_mask(scratch, xkb_mod_mask_t{1} << index, 0, 0, 0, 0, 0);
        const auto mask =
            static_cast<std::uint16_t>(xkb_state_serialize_mods(scratch, XKB_STATE_MODS_DEPRESSED) & 0xff);
        xkb_state_unref(scratch);
        if (mask != 0) return mask;
    }
    return 0;
}

}  // namespace

std::unique_ptr<X11Keyboard> X11Keyboard::create(X11Connection& connection) {
    std::uint8_t eventBase = 0;
    if (!xkb_x11_setup_xkb_extension(connection.xcb(), XKB_X11_MIN_MAJOR_XKB_VERSION,
                                     XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS,
                                     nullptr, nullptr, &eventBase, nullptr)) {
        return nullptr;
    }
    const std::int32_t deviceId = xkb_x11_get_core_keyboard_device_id(connection.xcb());
    if (deviceId < 0) return nullptr;
    std::unique_ptr<X11Keyboard> keyboard(new X11Keyboard(connection, eventBase, deviceId));
    if (!keyboard->context_ || !keyboard->loadKeymap()) return nullptr;
    selectXkbEvents(connection.xcb(), deviceId);

    // Without this the server reports a held key as release/press pairs, which look like fresh
    // presses to a key grab.
    constexpr std::uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    xcb_xkb_per_client_flags_cookie_t cookie =
        xcb_xkb_per_client_flags(connection.xcb(), XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0);
    if (xcb_xkb_per_client_flags_reply_t* reply =
            xcb_xkb_per_client_flags_reply(connection.xcb(), cookie, nullptr)) {
        keyboard->detectableAutoRepeat_ = (reply->supported & flag) && (reply->value & flag);
        std::free(reply);
    }

    keyboard->handlerId_ = connection.addEventHandler(
        [k = keyboard.get()](const xcb_generic_event_t& event) { k->handleEvent(event); });
    return keyboard;
}

X11Keyboard::X11Keyboard(X11Connection& connection, std::uint8_t xkbEventBase, std::int32_t deviceId)
    : connection_(connection),
      xkbEventBase_(xkbEventBase),
      deviceId_(deviceId),
      context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {}

X11Keyboard::~X11Keyboard() {
    if (handlerId_) connection_.removeEventHandler(handlerId_);
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
}

bool X11Keyboard::loadKeymap() {
    xkb_keymap* keymap =
        xkb_x11_keymap_new_from_device(context_, connection_.xcb(), deviceId_, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) return false;
    xkb_state* state = xkb_x11_state_new_from_device(keymap, connection_.xcb(), deviceId_);
    if (!state) {
        xkb_keymap_unref(keymap);
        return false;
    }
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    keymap_ = keymap;
    state_ = state;
    altMask_ = realModifiers(keymap, "Alt", XKB_MOD_NAME_ALT);
    superMask_ = realModifiers(keymap, "Super", XKB_MOD_NAME_LOGO);
    numLockMask_ = realModifiers(keymap, "NumLock", XKB_MOD_NAME_NUM);
    // Most keymaps give Scroll Lock no modifier at all.
    scrollLockMask_ = realModifiers(keymap, "ScrollLock", nullptr);
    return true;
}

void X11Keyboard::handleEvent(const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7f) != xkbEventBase_) return;
    // Every XKB event starts with the same header: the XKB event type follows the response type.
    const auto* header = reinterpret_cast<const xcb_xkb_state_notify_event_t*>(&event);
    if (header->deviceID != deviceId_) return;
    // A reload reads the server's current state, which may already hold a layout switch whose
    // own notification is still on its way and will then look like no change.
    const auto reload = [this] {
        const xkb_layout_index_t before = layout();
        const std::uint16_t lockedBefore = lockedModifiers();
        if (!loadKeymap()) return;
        emit keymapChanged();
        if (layout() != before) emit layoutChanged();
        if (lockedModifiers() != lockedBefore) emit lockedModifiersChanged();
    };
    switch (header->xkbType) {
        case XCB_XKB_NEW_KEYBOARD_NOTIFY: {
            const auto* notify = reinterpret_cast<const xcb_xkb_new_keyboard_notify_event_t*>(&event);
            if (notify->changed & XCB_XKB_NKN_DETAIL_KEYCODES) reload();
            break;
        }
        case XCB_XKB_MAP_NOTIFY:
            reload();
            break;
        case XCB_XKB_STATE_NOTIFY: {
            const xkb_layout_index_t before = layout();
            const std::uint16_t lockedBefore = lockedModifiers();
            xkb_state_update_mask(state_, header->baseMods, header->latchedMods, header->lockedMods,
                                  static_cast<xkb_layout_index_t>(header->baseGroup),
                                  static_cast<xkb_layout_index_t>(header->latchedGroup), header->lockedGroup);
            if (layout() != before) emit layoutChanged();
            if (lockedModifiers() != lockedBefore) emit lockedModifiersChanged();
            break;
        }
        default:
            break;
    }
}

std::optional<xcb_keycode_t> X11Keyboard::keycode(std::string_view xkbName) const {
    const std::string name(xkbName);
    const xkb_keycode_t code = xkb_keymap_key_by_name(keymap_, name.c_str());
    if (code == XKB_KEYCODE_INVALID || code > 255) return std::nullopt;
    return static_cast<xcb_keycode_t>(code);
}

std::optional<std::string_view> X11Keyboard::keyName(xcb_keycode_t keycode) const {
    const char* name = xkb_keymap_key_get_name(keymap_, keycode);
    if (!name) return std::nullopt;
    return std::string_view(name);
}

std::uint16_t X11Keyboard::modifierMask(Modifier modifier) const {
    switch (modifier) {
        case Modifier::Shift:
            return XCB_MOD_MASK_SHIFT;
        case Modifier::CapsLock:
            return XCB_MOD_MASK_LOCK;
        case Modifier::Control:
            return XCB_MOD_MASK_CONTROL;
        case Modifier::Alt:
            return altMask_;
        case Modifier::Super:
            return superMask_;
        case Modifier::NumLock:
            return numLockMask_;
        case Modifier::ScrollLock:
            return scrollLockMask_;
    }
    return 0;
}

std::uint16_t X11Keyboard::lockedModifiers() const {
    // The first eight modifiers of a keymap read from the server are its real ones, in order.
    return static_cast<std::uint16_t>(xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED) & 0xff);
}

xkb_layout_index_t X11Keyboard::layout() const {
    for (xkb_layout_index_t i = 0; i < xkb_keymap_num_layouts(keymap_); ++i) {
        if (xkb_state_layout_index_is_active(state_, i, XKB_STATE_LAYOUT_EFFECTIVE) > 0) return i;
    }
    return 0;
}

QString X11Keyboard::keyText(xcb_keycode_t keycode) const {
    const xkb_keysym_t* syms = nullptr;
    // The key's own layout: a key with fewer layouts than the keymap wraps the active one.
    const xkb_layout_index_t keyLayout = xkb_state_key_get_layout(state_, keycode);
    if (keyLayout == XKB_LAYOUT_INVALID) return {};
    const int count = xkb_keymap_key_get_syms_by_level(keymap_, keycode, keyLayout, 0, &syms);
    if (count < 1) return {};
    const std::uint32_t codePoint = xkb_keysym_to_utf32(syms[0]);
    // Control characters (Return, Tab, Escape ...) are no text to show.
    if (codePoint < 0x20 || codePoint == 0x7f) return {};
    const char32_t text[] = {codePoint};
    return QString::fromUcs4(text, 1);
}
