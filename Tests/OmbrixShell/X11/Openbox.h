#pragma once

#include <QProcess>
#include <QTemporaryDir>

#include "Support/X11/X11TestClient.h"

// Openbox on the test's display, with its own empty settings, for as long as it lives: a real
// window manager, which frames the program's windows and answers their moves and resizes as a
// desktop does.
class Openbox {
  public:
    explicit Openbox(X11TestClient& x);
    ~Openbox();
    Openbox(const Openbox&) = delete;
    Openbox& operator=(const Openbox&) = delete;

    bool isRunning() const { return running_; }
    // The window it has made active (_NET_ACTIVE_WINDOW), or none.
    xcb_window_t active();

  private:
    // The window _NET_SUPPORTING_WM_CHECK names on the root, or none.
    xcb_window_t checkWindow();
    // The window a property of the root window names, or none.
    xcb_window_t rootWindowProperty(const char* name);

    X11TestClient& x_;
    QTemporaryDir home_;
    QProcess process_;
    bool running_ = false;
};
