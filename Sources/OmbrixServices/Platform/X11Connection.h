#pragma once

#include <QObject>

#include <xcb/xcb.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QSocketNotifier;
class X11Keyboard;

// Our own connection to the X server, apart from Qt's internal one, so that the services can
// grab keys, fake input and follow the keyboard without depending on Qt's private API. Events
// are read on the main thread when the socket becomes readable and on every turn of the event
// loop (a synchronous request may have queued some inside xcb), and handed to the handlers.
class X11Connection : public QObject {
    Q_OBJECT

  public:
    // The process-wide connection to $DISPLAY, opened on first use from the main thread and
    // closed with the application object. nullptr without an application object, without an X11
    // display (a Wayland session without XWayland, Qt's offscreen platform without DISPLAY), or
    // once the server has gone away.
    static X11Connection* shared();

    // A connection of its own to the named display ($DISPLAY when null); nullptr when it cannot
    // be opened. Events are dispatched only while a QCoreApplication exists.
    static std::unique_ptr<X11Connection> open(const char* displayName = nullptr);

    ~X11Connection() override;

    xcb_connection_t* xcb() const { return connection_; }
    const xcb_screen_t& screen() const { return *screen_; }
    xcb_window_t root() const { return screen_->root; }

    // The server closed the connection or it failed; every request is ignored from then on.
    bool isBroken() const;
    // The XTEST extension is there, so key strokes can be synthesised.
    bool hasXTest() const { return hasXTest_; }
    // The keyboard as XKB describes it; nullptr when the server lacks the XKB extension.
    X11Keyboard* keyboard() const { return keyboard_.get(); }

    void flush();

    // Interned atom, cached for the connection's life; XCB_NONE when the request fails.
    xcb_atom_t atom(std::string_view name);

    struct Property {
        xcb_atom_t type = XCB_NONE;
        std::uint8_t format = 0;  // 8, 16 or 32
        std::vector<std::uint8_t> data;
    };
    // Properties are written by other clients: larger ones are refused rather than allocated.
    static constexpr std::size_t maxPropertyBytes = std::size_t{1} << 20;

    // A window property; none when it is absent, of another type, larger than
    // maxPropertyBytes, or the window is gone.
    std::optional<Property> property(xcb_window_t window, xcb_atom_t name,
                                     xcb_atom_t type = XCB_GET_PROPERTY_TYPE_ANY);
    // The 32-bit values of a format-32 property (CARDINAL, WINDOW, ATOM ...); empty when absent.
    std::vector<std::uint32_t> uint32Property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type);
    // A text property as UTF-8: UTF8_STRING as it is, STRING converted from Latin-1.
    std::optional<std::string> textProperty(xcb_window_t window, xcb_atom_t name);

    // Adds events of a window to those this connection receives; masks of several callers add up.
    void selectInput(xcb_window_t window, std::uint32_t eventMask);
    // Takes events of a window out of those this connection receives again.
    void deselectInput(xcb_window_t window, std::uint32_t eventMask);

    // Waits for a checked request: none on success, else the X error code (e.g. XCB_ACCESS;
    // 0 when the connection broke).
    std::optional<std::uint8_t> check(xcb_void_cookie_t cookie);

    using EventHandler = std::function<void(const xcb_generic_event_t& event)>;
    // Every event and asynchronous error of the connection reaches every handler, on the main
    // thread, in the order the server sent them. The id removes the handler again.
    int addEventHandler(EventHandler handler);
    void removeEventHandler(int id);
    // Hands the events that xcb has already read to the handlers now, without waiting for the
    // event loop: after a reply, every event the server sent before it. Not from a handler.
    void processQueuedEvents();

  signals:
    // The server went away; the connection stays broken.
    void broken();

  private:
    X11Connection(xcb_connection_t* connection, xcb_screen_t* screen);
    void startDispatch();
    void dispatch(bool readSocket);

    xcb_connection_t* connection_;
    xcb_screen_t* screen_;
    bool hasXTest_ = false;
    bool dispatching_ = false;
    bool reportedBroken_ = false;
    std::unique_ptr<X11Keyboard> keyboard_;
    QSocketNotifier* notifier_ = nullptr;
    std::unordered_map<std::string, xcb_atom_t> atoms_;
    std::unordered_map<xcb_window_t, std::uint32_t> eventMasks_;
    std::map<int, EventHandler> handlers_;
    int nextHandlerId_ = 1;
};
