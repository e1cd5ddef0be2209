#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <xcb/xcb.h>

#include <cstdint>
#include <string>
#include <vector>

// Another application's text field, built with Qt as most of the user's applications are, in a
// process of its own: it reads its keys through Qt's own X11 code, which decodes a key press
// with the key map as it stands when Qt gets to the event. This object starts the process and
// follows what the field receives. Ends the process with the object.
class QtTarget {
  public:
    // What the field got from one key press: the key code, the modifier state of the event and
    // the text Qt made of it.
    struct Key {
        xcb_keycode_t keycode = 0;
        std::uint16_t state = 0;
        std::string text;
    };

    explicit QtTarget(const QString& title);
    ~QtTarget();
    QtTarget(const QtTarget&) = delete;
    QtTarget& operator=(const QtTarget&) = delete;

    // The process runs and its window exists (not yet shown).
    bool isRunning() const;
    xcb_window_t window() const { return window_; }

    // Asks for the window to be shown; a window manager maps and focuses it.
    void show();
    // The program reads none of its events for a while, as a program busy with something else
    // does; what came meanwhile is read afterwards, in order.
    void stall(int milliseconds);
    // The program closes the window and goes on running: the window stays, unmapped.
    void close();
    // The program ends: its window is destroyed.
    void quit();

    const std::vector<Key>& keys() const { return keys_; }
    int presses() const { return static_cast<int>(keys_.size()); }
    // What the field shows.
    const std::string& typed() const { return text_; }

    // The body of the target process (the test program started with "--qt-target TITLE").
    static int runAsProcess(int argc, char** argv);

  private:
    void command(const QByteArray& line);
    void read();

    QProcess process_;
    QByteArray pending_;
    xcb_window_t window_ = XCB_NONE;
    std::vector<Key> keys_;
    std::string text_;
};
