#include "OmbrixCore/Platform/X11Connection.h"
#include "OmbrixCore/Platform/X11KeyCode.h"
#include "OmbrixCore/Platform/X11Keyboard.h"

#include <gtest/gtest.h>

namespace {

TEST(X11KeyCode, NamesThePhysicalKeyByItsCarbonCode) {
    X11Connection* connection = X11Connection::shared();
    ASSERT_NE(connection, nullptr);
    ASSERT_NE(connection->keyboard(), nullptr);
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
        EXPECT_EQ(carbonKeyCodeOfX11KeyCode(*keycode), c.carbonCode) << c.xkbName;
    }
    // Outside the protocol's key codes: nothing, without asking the server.
    for (std::uint32_t outside : {0u, 7u, 256u, 0xFFFFFFFFu})
        EXPECT_FALSE(carbonKeyCodeOfX11KeyCode(outside)) << outside;
}

}  // namespace
