#include "OmbrixCore/Platform/X11KeyCode.h"

#include "OmbrixCore/Platform/CarbonKeyTable.h"
#include "OmbrixCore/Platform/X11Connection.h"
#include "OmbrixCore/Platform/X11Keyboard.h"

std::optional<std::uint32_t> carbonKeyCodeOfX11KeyCode(std::uint32_t x11KeyCode) {
    // The core protocol reserves 0...7; key codes are one byte.
    if (x11KeyCode < 8 || x11KeyCode > 255) return std::nullopt;
    X11Connection* connection = X11Connection::shared();
    if (!connection || connection->isBroken() || !connection->keyboard()) return std::nullopt;
    const std::optional<std::string_view> name =
        connection->keyboard()->keyName(static_cast<xcb_keycode_t>(x11KeyCode));
    if (!name) return std::nullopt;
    return CarbonKeyTable::carbonCode(*name);
}
