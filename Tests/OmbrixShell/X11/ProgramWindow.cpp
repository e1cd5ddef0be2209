#include "ProgramWindow.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "Support/Fixtures.h"

std::optional<xcb_window_t> ProgramWindow::find(qint64 pid) {
    const std::vector<xcb_window_t> all = findAll(pid);
    return all.empty() ? std::nullopt : std::optional(all.front());
}

std::vector<xcb_window_t> ProgramWindow::findAll(qint64 pid) {
    std::vector<xcb_window_t> found;
    auto tree = owned(xcb_query_tree_reply(x_.xcb(), xcb_query_tree(x_.xcb(), x_.root()), nullptr));
    if (!tree) return found;
    std::vector<xcb_window_t> candidates(
        xcb_query_tree_children(tree.get()),
        xcb_query_tree_children(tree.get()) + xcb_query_tree_children_length(tree.get()));
    // A window manager that frames its clients lists them, in stacking order, on the root.
    for (const std::uint32_t client : cardinals(x_.root(), "_NET_CLIENT_LIST_STACKING"))
        candidates.push_back(client);
    for (const xcb_window_t window : candidates) {
        if (std::find(found.begin(), found.end(), window) != found.end()) continue;
        auto attributes = owned(
            xcb_get_window_attributes_reply(x_.xcb(), xcb_get_window_attributes(x_.xcb(), window), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
        const std::vector<std::uint32_t> pids = cardinals(window, "_NET_WM_PID");
        if (!pids.empty() && pids[0] == static_cast<std::uint32_t>(pid)) found.push_back(window);
    }
    return found;
}

QSize ProgramWindow::size(xcb_window_t window) {
    return rect(window).size();
}

QRect ProgramWindow::screenRect(xcb_window_t window) {
    const QRect local = rect(window);
    auto at = owned(xcb_translate_coordinates_reply(
        x_.xcb(), xcb_translate_coordinates(x_.xcb(), window, x_.root(), 0, 0), nullptr));
    return at ? QRect(QPoint(at->dst_x, at->dst_y), local.size()) : QRect();
}

QRect ProgramWindow::rect(xcb_window_t window) {
    auto geometry = owned(xcb_get_geometry_reply(x_.xcb(), xcb_get_geometry(x_.xcb(), window), nullptr));
    return geometry ? QRect(geometry->x, geometry->y, geometry->width, geometry->height) : QRect();
}

std::optional<SizeHints> ProgramWindow::sizeHints(xcb_window_t window) {
    // flags, x, y, width, height, minimum width and height, maximum width and height, ...
    const std::vector<std::uint32_t> hints = cardinals(window, "WM_NORMAL_HINTS");
    if (hints.size() < 9) return std::nullopt;
    constexpr std::uint32_t minimumSize = 1 << 4, maximumSize = 1 << 5;
    // A size that is not given stays invalid.
    SizeHints result;
    if (hints[0] & minimumSize) result.minimum = QSize(int(hints[5]), int(hints[6]));
    if (hints[0] & maximumSize) result.maximum = QSize(int(hints[7]), int(hints[8]));
    return result;
}

QString ProgramWindow::title(xcb_window_t window) {
    auto reply = owned(xcb_get_property_reply(
        x_.xcb(),
        xcb_get_property(x_.xcb(), 0, window, x_.atom("_NET_WM_NAME"), x_.atom("UTF8_STRING"), 0, 1024),
        nullptr));
    if (!reply) return {};
    return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get()));
}

QImage ProgramWindow::screenshot(const QRect& area) {
    auto image = owned(xcb_get_image_reply(
        x_.xcb(),
        xcb_get_image(x_.xcb(), XCB_IMAGE_FORMAT_Z_PIXMAP, x_.root(), static_cast<std::int16_t>(area.x()),
                      static_cast<std::int16_t>(area.y()), static_cast<std::uint16_t>(area.width()),
                      static_cast<std::uint16_t>(area.height()), ~0u),
        nullptr));
    if (!image) return {};
    // Depth 24 in 32-bit little-endian pixels: the byte order of QImage::Format_RGB32.
    const QImage view(xcb_get_image_data(image.get()), area.width(), area.height(), area.width() * 4,
                      QImage::Format_RGB32);
    return view.copy();
}

void ProgramWindow::saveScreenshot(xcb_window_t window, const char* name) {
    saveImage(screenshot(rect(window)), name);
}

void ProgramWindow::askToClose(xcb_window_t window) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = x_.atom("WM_PROTOCOLS");
    message.data.data32[0] = x_.atom("WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(x_.xcb(), 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    x_.sync();
}

std::vector<std::uint32_t> ProgramWindow::cardinals(xcb_window_t window, const char* property) {
    auto reply = owned(xcb_get_property_reply(
        x_.xcb(), xcb_get_property(x_.xcb(), 0, window, x_.atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
        nullptr));
    if (!reply || reply->format != 32) return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

void saveImage(const QImage& image, const char* name) {
    const QString path = QString::fromStdString((testsupport::outputDir() / name).string());
    EXPECT_TRUE(image.save(path)) << name;
}
