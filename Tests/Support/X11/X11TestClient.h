#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

// Runs Qt's event loop until the condition holds; false when it still fails after the time-out.
bool spinUntil(const std::function<bool()>& condition, int timeoutMs = 5000);
// Runs Qt's event loop for a while, to let anything that would still arrive arrive.
void spinFor(int milliseconds);

// Another program on the same display, as a user's other applications are: it reads and takes
// the clipboard, grabs keys, types through XTest and rebinds key codes. Its own connection, apart
// from the code under test. Waits run Qt's event loop, so the application can answer.
class X11TestClient {
  public:
    // On the display named, $DISPLAY when null.
    explicit X11TestClient(const char* display = nullptr);
    ~X11TestClient();
    X11TestClient(const X11TestClient&) = delete;
    X11TestClient& operator=(const X11TestClient&) = delete;

    bool isConnected() const;
    xcb_connection_t* xcb() const { return connection_; }
    xcb_window_t root() const { return root_; }
    xcb_window_t window() const { return window_; }
    xcb_atom_t atom(const std::string& name);
    std::string atomName(xcb_atom_t atom);
    // Waits until the server has handled every request sent so far.
    void sync();

    // A server time stamp of now: owners refuse requests older than their ownership.
    xcb_timestamp_t freshTimestamp();

    struct Data {
        xcb_atom_t type = XCB_NONE;
        std::vector<std::uint8_t> bytes;
    };
    // The clipboard converted to a target; none when the owner refuses it.
    std::optional<Data> readClipboard(const std::string& target);
    std::vector<std::string> clipboardTargets();
    std::optional<std::string> clipboardText();
    // Becomes the clipboard's owner, as a copy in another program does.
    void takeClipboard();
    xcb_window_t clipboardOwner();

    // The first key code whose core mapping holds the keysym.
    std::optional<xcb_keycode_t> keycodeFor(xcb_keysym_t keysym);
    // A key code with no keysym at all.
    std::optional<xcb_keycode_t> unboundKeycode();
    // Binds the keysyms to the key code in the core mapping (two per layout: plain, shifted).
    void rebind(xcb_keycode_t keycode, std::vector<xcb_keysym_t> keysyms);
    // Locks the keyboard's layout (XKB group), as a layout switcher does.
    void lockLayout(std::uint8_t layout);
    // Locks or unlocks the real modifiers in `affected`, as a lock key does: Lock for Caps Lock,
    // Shift for Shift Lock.
    void lockModifiers(std::uint8_t affected, std::uint8_t locked);
    // The real modifiers locked on the keyboard right now.
    std::uint8_t lockedModifiers();

    void fakeKey(xcb_keycode_t keycode, bool press);
    // Presses the keys in order and releases them in reverse.
    void tap(std::initializer_list<xcb_keycode_t> keys);

    // Moves the pointer to the point of the screen and clicks its first button there.
    void click(std::int16_t x, std::int16_t y);

    // The X error of grabbing the combination on the root window; none when granted.
    std::optional<std::uint8_t> grabKey(xcb_keycode_t keycode, std::uint16_t modifiers);
    void ungrabKey(xcb_keycode_t keycode, std::uint16_t modifiers);

  private:
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    xcb_window_t window_ = XCB_NONE;
};
