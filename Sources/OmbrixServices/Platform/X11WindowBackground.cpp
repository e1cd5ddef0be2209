#include "OmbrixServices/Platform/X11WindowBackground.h"

#include <bit>
#include <optional>

#include "OmbrixServices/Platform/X11Connection.h"
#include "OmbrixServices/Platform/XcbReply.h"

namespace {

// The window's visual, looked up in the screen's list.
const xcb_visualtype_t* visualOf(const xcb_screen_t& screen, xcb_visualid_t id) {
    for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem; xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals))
            if (visuals.data->visual_id == id) return visuals.data;
    }
    return nullptr;
}

// One colour channel, 0...255, placed in the visual's mask for it.
std::uint32_t channel(int value, std::uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    const std::uint32_t scaled =
        bits >= 8 ? std::uint32_t(value) << (bits - 8) : std::uint32_t(value) >> (8 - bits);
    return (scaled << shift) & mask;
}

}  // namespace

namespace X11WindowBackground {

bool set(std::uint32_t window, const QColor& color) {
    X11Connection* x = X11Connection::shared();
    if (!x || x->isBroken() || window == XCB_NONE) return false;
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(x->xcb(), xcb_get_window_attributes(x->xcb(), window), nullptr));
    if (!attributes) return false;
    // Only a true-colour visual has a pixel value for a colour without a colour map of its own.
    const xcb_visualtype_t* visual = visualOf(x->screen(), attributes->visual);
    if (!visual || visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR) return false;
    const std::uint32_t pixel = channel(color.red(), visual->red_mask) |
                                channel(color.green(), visual->green_mask) |
                                channel(color.blue(), visual->blue_mask);
    const std::uint32_t values[] = {pixel};
    return !x->check(xcb_change_window_attributes_checked(x->xcb(), window, XCB_CW_BACK_PIXEL, values));
}

}  // namespace X11WindowBackground
