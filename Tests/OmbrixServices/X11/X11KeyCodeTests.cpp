#include "OmbrixServices/Platform/X11Connection.h"
#include "OmbrixServices/Platform/X11HotKeyBackend.h"
#include "OmbrixServices/Platform/X11Keyboard.h"
#include "OmbrixServices/Services/HotKeyService.h"

#include <gtest/gtest.h>

namespace {

// What the hot-key recorder asks of a key event's native key code on X11.
TEST(X11KeyCode, NamesThePhysicalKeyByItsCarbonCode) {
    X11Connection* connection = X11Connection::shared();
    ASSERT_NE(connection, nullptr);
    ASSERT_NE(connection->keyboard(), nullptr);
    const HotKeyService service(createX11HotKeyBackend());
    struct Case {
        const char* xkbName;
        std::uint32_t carbonCode;
    };
    const Case cases[] = {
        {"AC01", 0x00}, {"AE01", 0x12}, {"AD06", 0x10}, {"AC08", 0x28},
        {"FK05", 0x60}, {"SPCE", 0x31}, {"LCTL", 0x37}, {"BKSL", 0x2A},
    };
    for (const Case& c : cases) {
        const std::optional<xcb_keycode_t> keycode = connection->keyboard()->keycode(c.xkbName);
        ASSERT_TRUE(keycode) << c.xkbName;
        EXPECT_EQ(service.keyCodeOfNativeKey(*keycode), c.carbonCode) << c.xkbName;
    }
    // Outside the protocol's key codes: nothing, without asking the server.
    for (std::uint32_t outside : {0u, 7u, 256u, 0xFFFFFFFFu})
        EXPECT_FALSE(service.keyCodeOfNativeKey(outside)) << outside;
    // Without a display nothing can be told.
    const HotKeyService withoutDisplay(createX11HotKeyBackend([] { return nullptr; }));
    EXPECT_FALSE(withoutDisplay.keyCodeOfNativeKey(*connection->keyboard()->keycode("AC01")));
}

}  // namespace
