#include "Support/X11/MiniWindowManager.h"

#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> owned(T* p) {
    return std::unique_ptr<T, decltype(&std::free)>(p, &std::free);
}

}  // namespace

MiniWindowManager::MiniWindowManager(const char* display, int activeWindowLagMs)
    : activeWindowLagMs_(activeWindowLagMs) {
    int screenNumber = 0;
    connection_ = xcb_connect(display, &screenNumber);
    if (xcb_connection_has_error(connection_)) return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&it);
    root_ = it.data->root;

    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    auto error = owned(xcb_request_check(
        connection_, xcb_change_window_attributes_checked(connection_, root_, XCB_CW_EVENT_MASK, &mask)));
    if (error) return;
    running_ = true;

    // EWMH: a window of the manager that names itself, and the list of what is supported.
    check_ = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, check_, root_, -10, -10, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, check_, check, XCB_ATOM_WINDOW, 32, 1, &check_);
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, check, XCB_ATOM_WINDOW, 32, 1, &check_);
    const xcb_atom_t supported[] = {atom("_NET_ACTIVE_WINDOW")};
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, atom("_NET_SUPPORTED"), XCB_ATOM_ATOM, 32,
                        1, supported);
    setActive(XCB_NONE);

    notifier_ =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { pump(); });
    // Replies read by this manager may leave events in xcb's queue with the socket drained.
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { pump(); });
    timer_.start(5);
}

MiniWindowManager::~MiniWindowManager() {
    if (running_) {
        for (const char* name : {"_NET_SUPPORTING_WM_CHECK", "_NET_SUPPORTED", "_NET_ACTIVE_WINDOW"}) {
            xcb_delete_property(connection_, root_, atom(name));
        }
        owned(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }
    notifier_.reset();
    xcb_disconnect(connection_);
}

xcb_atom_t MiniWindowManager::atom(const char* name) {
    auto reply = owned(xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : XCB_NONE;
}

void MiniWindowManager::setActive(xcb_window_t window) {
    active_ = window;
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, atom("_NET_ACTIVE_WINDOW"),
                        XCB_ATOM_WINDOW, 32, 1, &window);
    owned(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void MiniWindowManager::activate(xcb_window_t window) {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(connection_, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    if (activeWindowLagMs_ <= 0) return setActive(window);
    xcb_flush(connection_);
    QTimer::singleShot(activeWindowLagMs_, this, [this, window] { setActive(window); });
}

xcb_window_t MiniWindowManager::transientFor(xcb_window_t window) {
    auto reply = owned(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 4) return XCB_NONE;
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
}

bool MiniWindowManager::isViewable(xcb_window_t window) {
    auto attributes = owned(xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

std::vector<xcb_window_t> MiniWindowManager::stackingOrder() {
    auto tree = owned(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
    if (!tree) return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return std::vector<xcb_window_t>(children, children + xcb_query_tree_children_length(tree.get()));
}

void MiniWindowManager::pump() {
    while (auto event = owned(xcb_poll_for_event(connection_))) {
        switch (event->response_type & 0x7f) {
            case XCB_MAP_REQUEST: {
                const auto* request = reinterpret_cast<xcb_map_request_event_t*>(event.get());
                // Read now: the window may be gone by the time its unmapping is seen.
                transientFor_[request->window] = transientFor(request->window);
                xcb_map_window(connection_, request->window);
                activate(request->window);
                break;
            }
            case XCB_CONFIGURE_REQUEST: {
                const auto* request = reinterpret_cast<xcb_configure_request_event_t*>(event.get());
                std::vector<std::uint32_t> values;
                const std::uint16_t mask =
                    request->value_mask & (XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y |
                                           XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT);
                if (mask & XCB_CONFIG_WINDOW_X) values.push_back(static_cast<std::uint32_t>(request->x));
                if (mask & XCB_CONFIG_WINDOW_Y) values.push_back(static_cast<std::uint32_t>(request->y));
                if (mask & XCB_CONFIG_WINDOW_WIDTH) values.push_back(request->width);
                if (mask & XCB_CONFIG_WINDOW_HEIGHT) values.push_back(request->height);
                xcb_configure_window(connection_, request->window, mask, values.data());
                xcb_flush(connection_);
                break;
            }
            case XCB_CLIENT_MESSAGE: {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event.get());
                if (message->type == atom("_NET_ACTIVE_WINDOW")) {
                    ++activationRequests_;
                    activate(message->window);
                }
                break;
            }
            case XCB_UNMAP_NOTIFY: {
                const auto* notify = reinterpret_cast<xcb_unmap_notify_event_t*>(event.get());
                if (notify->window != active_) break;
                // A closed dialog hands the keyboard back to the window it belonged to.
                const auto owner = transientFor_.find(notify->window);
                if (owner != transientFor_.end() && owner->second != XCB_NONE && isViewable(owner->second)) {
                    activate(owner->second);
                } else {
                    setActive(XCB_NONE);
                }
                break;
            }
            case XCB_DESTROY_NOTIFY: {
                const auto* notify = reinterpret_cast<xcb_destroy_notify_event_t*>(event.get());
                transientFor_.erase(notify->window);
                if (notify->window == active_) setActive(XCB_NONE);
                break;
            }
            default:
                break;
        }
    }
}

int MiniWindowManager::runAsProcess(int argc, char** argv, int activeWindowLagMs) {
    QCoreApplication app(argc, argv);
    MiniWindowManager manager(nullptr, activeWindowLagMs);
    if (!manager.isRunning()) return 1;
    // It ends when its standard input does (the test closes it), leaving the root window as it
    // found it.
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&input] {
        char buffer[64];
        if (::read(0, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
