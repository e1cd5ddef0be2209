#include "OmbrixServices/Platform/X11Connection.h"

#include "OmbrixCore/Foundation/Precondition.h"
#include "OmbrixServices/Platform/X11Keyboard.h"
#include "OmbrixServices/Platform/XcbReply.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QString>
#include <QThread>

#include <xcb/xtest.h>

#include <cstdlib>
#include <cstring>

X11Connection* X11Connection::shared() {
    static QPointer<X11Connection> instance;
    static bool opened = false;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return nullptr;
    OMBRIX_PRECONDITION(QThread::currentThread() == app->thread(),
                        "X11Connection::shared() off the main thread");
    if (!opened) {
        opened = true;
        if (std::unique_ptr<X11Connection> connection = open()) {
            instance = connection.release();
            instance->setParent(app);
        }
    }
    if (!instance || instance->isBroken()) return nullptr;
    return instance;
}

std::unique_ptr<X11Connection> X11Connection::open(const char* displayName) {
    // xcb_connect with no name reads $DISPLAY; without one there is no X11 display to reach.
    if (!displayName && !std::getenv("DISPLAY")) return nullptr;
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(displayName, &screenNumber);
    if (!connection || xcb_connection_has_error(connection)) {
        if (connection) xcb_disconnect(connection);
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
    if (it.rem == 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    std::unique_ptr<X11Connection> result(new X11Connection(connection, it.data));
    result->startDispatch();
    return result;
}

X11Connection::X11Connection(xcb_connection_t* connection, xcb_screen_t* screen)
    : connection_(connection), screen_(screen) {
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection_, &xcb_test_id);
    hasXTest_ = xtest && xtest->present;
    keyboard_ = X11Keyboard::create(*this);
}

X11Connection::~X11Connection() {
    // The keyboard removes its handler from this connection, so it goes first.
    keyboard_.reset();
    delete notifier_;
    xcb_disconnect(connection_);
}

void X11Connection::startDispatch() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return;
    notifier_ = new QSocketNotifier(xcb_get_file_descriptor(connection_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { dispatch(true); });
    // A synchronous request anywhere on the connection may leave events in xcb's queue with the
    // socket drained; look at that queue on every turn of the event loop (it costs no system call).
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { dispatch(false); });
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] { dispatch(false); });
    }
}

bool X11Connection::isBroken() const {
    return xcb_connection_has_error(connection_) != 0;
}

void X11Connection::flush() {
    xcb_flush(connection_);
}

xcb_atom_t X11Connection::atom(std::string_view name) {
    const std::string key(name);
    if (auto found = atoms_.find(key); found != atoms_.end()) return found->second;
    xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(key.size()), key.data());
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_, cookie, nullptr));
    if (!reply) return XCB_NONE;
    atoms_.emplace(key, reply->atom);
    return reply->atom;
}

std::optional<X11Connection::Property> X11Connection::property(xcb_window_t window, xcb_atom_t name,
                                                               xcb_atom_t type) {
    // One request for up to the limit; whatever is left after it means the property is too large.
    const auto longs = static_cast<std::uint32_t>(maxPropertyBytes / 4);
    xcb_get_property_cookie_t cookie = xcb_get_property(connection_, 0, window, name, type, 0, longs);
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection_, cookie, nullptr));
    if (!reply || reply->type == XCB_NONE || reply->bytes_after != 0) return std::nullopt;
    if (type != XCB_GET_PROPERTY_TYPE_ANY && reply->type != type) return std::nullopt;
    const int length = xcb_get_property_value_length(reply.get());
    if (length < 0 || static_cast<std::size_t>(length) > maxPropertyBytes) return std::nullopt;
    const auto* bytes = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.get()));
    return Property{reply->type, reply->format, std::vector<std::uint8_t>(bytes, bytes + length)};
}

std::vector<std::uint32_t> X11Connection::uint32Property(xcb_window_t window, xcb_atom_t name,
                                                         xcb_atom_t type) {
    std::optional<Property> found = property(window, name, type);
    if (!found || found->format != 32) return {};
    std::vector<std::uint32_t> values(found->data.size() / 4);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::uint32_t value = 0;
        std::memcpy(&value, found->data.data() + i * 4, 4);
        values[i] = value;
    }
    return values;
}

std::optional<std::string> X11Connection::textProperty(xcb_window_t window, xcb_atom_t name) {
    std::optional<Property> found = property(window, name);
    if (!found || found->format != 8) return std::nullopt;
    const auto* chars = reinterpret_cast<const char*>(found->data.data());
    const auto size = static_cast<qsizetype>(found->data.size());
    if (found->type == atom("UTF8_STRING")) return std::string(chars, found->data.size());
    if (found->type == XCB_ATOM_STRING) return QString::fromLatin1(chars, size).toStdString();
    return std::nullopt;
}

void X11Connection::selectInput(xcb_window_t window, std::uint32_t eventMask) {
    std::uint32_t& mask = eventMasks_[window];
    if ((mask | eventMask) == mask) return;
    mask |= eventMask;
    xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_);
}

void X11Connection::deselectInput(xcb_window_t window, std::uint32_t eventMask) {
    const auto found = eventMasks_.find(window);
    if (found == eventMasks_.end() || (found->second & eventMask) == 0) return;
    std::uint32_t mask = found->second & ~eventMask;
    if (mask == 0) {
        eventMasks_.erase(found);
    } else {
        found->second = mask;
    }
    // The window may be gone by now; the handlers pass over the error that earns.
    xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_);
}

std::optional<std::uint8_t> X11Connection::check(xcb_void_cookie_t cookie) {
    XcbReply<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
    if (!error) {
        if (isBroken()) return std::uint8_t{0};
        return std::nullopt;
    }
    return error->error_code;
}

int X11Connection::addEventHandler(EventHandler handler) {
    const int id = nextHandlerId_++;
    handlers_.emplace(id, std::move(handler));
    return id;
}

void X11Connection::removeEventHandler(int id) {
    handlers_.erase(id);
}

void X11Connection::processQueuedEvents() {
    dispatch(false);
}

void X11Connection::dispatch(bool readSocket) {
    // A handler that makes a request may queue further events; the loop below picks them up.
    if (dispatching_) return;
    dispatching_ = true;
    for (;;) {
        XcbReply<xcb_generic_event_t> event(readSocket ? xcb_poll_for_event(connection_)
                                                       : xcb_poll_for_queued_event(connection_));
        if (!event) break;
        std::vector<int> ids;
        ids.reserve(handlers_.size());
        for (const auto& [id, handler] : handlers_) ids.push_back(id);
        for (int id : ids) {
            // A handler may remove itself or others while the event is delivered.
            if (auto found = handlers_.find(id); found != handlers_.end()) {
                EventHandler handler = found->second;
                handler(*event);
            }
        }
    }
    dispatching_ = false;
    if (isBroken() && !reportedBroken_) {
        reportedBroken_ = true;
        if (notifier_) notifier_->setEnabled(false);
        emit broken();
    }
}
