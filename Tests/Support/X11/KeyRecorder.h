#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Another application's window that logs every key it receives: the key code, the modifier state
// of the event and the text a client reads from it through xkbcommon, with the keymap kept
// current as real clients keep it (reloaded on each XKB map notification, in event order).
// Runs from Qt's event loop on a connection of its own.
class KeyRecorder : public QObject {
  public:
    struct Key {
        bool press = false;
        xcb_keycode_t keycode = 0;
        std::uint16_t state = 0;
        std::string text;
    };

    // WM_CLASS "recorder" / "Recorder"; the title goes to _NET_WM_NAME (UTF-8) and WM_NAME.
    // On the display named, $DISPLAY when null.
    explicit KeyRecorder(const std::string& title, const char* display = nullptr);
    ~KeyRecorder() override;

    xcb_window_t window() const { return window_; }
    // Asks for the window to be shown (a window manager maps it), or maps it when none runs.
    void show();
    void destroy();
    // Gives the window the input focus directly, as a session without a window manager does,
    // or an application that focuses its own new window.
    void focus();
    // Gives the input focus to a window inside this one, as toolkits that focus a child window
    // do; its keys are recorded too.
    void focusInnerWindow();
    // Takes the whole keyboard, as a passphrase prompt or an open menu does: every key event
    // comes to this recorder until ungrabKeyboard(). False when the server refuses.
    bool grabKeyboard();
    void ungrabKeyboard();
    // Reads none of its events for a while, as a program busy with something else; what came
    // meanwhile is read afterwards, in order.
    void stall(int milliseconds);

    const std::vector<Key>& keys() const { return keys_; }
    int presses() const;
    // The text of every press, in order.
    std::string typed() const;

  private:
    void pump();
    void loadKeymap();

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = XCB_NONE;
    std::uint8_t xkbEventBase_ = 0;
    std::int32_t deviceId_ = -1;
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* state_ = nullptr;
    std::vector<Key> keys_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer timer_;
};
