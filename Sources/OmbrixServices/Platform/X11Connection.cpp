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
    : m_connection(connection), m_screen(screen) {
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(m_connection, &xcb_test_id);
    m_hasXTest = xtest && xtest->present;
    m_keyboard = X11Keyboard::create(*this);
}

X11Connection::~X11Connection() {
    // The keyboard removes its handler from this connection, so it goes first.
    m_keyboard.reset();
    delete m_notifier;
    xcb_disconnect(m_connection);
}

void X11Connection::startDispatch() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return;
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { dispatch(true); });
    // A synchronous request anywhere on the connection may leave events in xcb's queue with the
    // socket drained; look at that queue on every turn of the event loop (it costs no system call).
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { dispatch(false); });
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] { dispatch(false); });
    }
}

bool X11Connection::isBroken() const {
    return xcb_connection_has_error(m_connection) != 0;
}

void X11Connection::flush() {
    xcb_flush(m_connection);
}

xcb_atom_t X11Connection::atom(std::string_view name) {
    const std::string key(name);
    if (auto found = m_atoms.find(key); found != m_atoms.end()) return found->second;
    xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(m_connection, 0, static_cast<std::uint16_t>(key.size()), key.data());
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection, cookie, nullptr));
    if (!reply) return XCB_NONE;
    m_atoms.emplace(key, reply->atom);
    return reply->atom;
}

std::optional<X11Connection::Property> X11Connection::property(xcb_window_t window, xcb_atom_t name,
                                                               xcb_atom_t type) {
    // One request for up to the limit; whatever is left after it means the property is too large.
    const auto longs = static_cast<std::uint32_t>(maxPropertyBytes / 4);
    xcb_get_property_cookie_t cookie = xcb_get_property(m_connection, 0, window, name, type, 0, longs);
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection, cookie, nullptr));
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
    std::uint32_t& mask = m_eventMasks[window];
    if ((mask | eventMask) == mask) return;
    mask |= eventMask;
    xcb_change_window_attributes(m_connection, window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_connection);
}

void X11Connection::deselectInput(xcb_window_t window, std::uint32_t eventMask) {
    const auto found = m_eventMasks.find(window);
    if (found == m_eventMasks.end() || (found->second & eventMask) == 0) return;
    std::uint32_t mask = found->second & ~eventMask;
    if (mask == 0) {
        m_eventMasks.erase(found);
    } else {
        found->second = mask;
    }
    // The window may be gone by now; the handlers pass over the error that earns.
    xcb_change_window_attributes(m_connection, window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_connection);
}

std::optional<std::uint8_t> X11Connection::check(xcb_void_cookie_t cookie) {
    XcbReply<xcb_generic_error_t> error(xcb_request_check(m_connection, cookie));
    if (!error) {
        if (isBroken()) return std::uint8_t{0};
        return std::nullopt;
    }
    return error->error_code;
}

int X11Connection::addEventHandler(EventHandler handler) {
    const int id = m_nextHandlerId++;
    m_handlers.emplace(id, std::move(handler));
    return id;
}

void X11Connection::removeEventHandler(int id) {
    m_handlers.erase(id);
}

void X11Connection::processQueuedEvents() {
    dispatch(false);
}

void X11Connection::dispatch(bool readSocket) {
    // A handler that makes a request may queue further events; the loop below picks them up.
    if (m_dispatching) return;
    m_dispatching = true;
    for (;;) {
        XcbReply<xcb_generic_event_t> event(readSocket ? xcb_poll_for_event(m_connection)
                                                       : xcb_poll_for_queued_event(m_connection));
        if (!event) break;
        std::vector<int> ids;
        ids.reserve(m_handlers.size());
        for (const auto& [id, handler] : m_handlers) ids.push_back(id);
        for (int id : ids) {
            // A handler may remove itself or others while the event is delivered.
            if (auto found = m_handlers.find(id); found != m_handlers.end()) {
                EventHandler handler = found->second;
                handler(*event);
            }
        }
    }
    m_dispatching = false;
    if (isBroken() && !m_reportedBroken) {
        m_reportedBroken = true;
        if (m_notifier) m_notifier->setEnabled(false);
        emit broken();
    }
}
