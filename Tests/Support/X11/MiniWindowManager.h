#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <xcb/xcb.h>

#include <map>
#include <memory>
#include <vector>

// The least a window manager does for activation, on a connection of its own: maps and focuses
// every window that asks to be shown, keeps _NET_ACTIVE_WINDOW on the root window current,
// answers the _NET_ACTIVE_WINDOW client message by raising and focusing the window, and gives the
// focus back to the window a closed dialog was transient for (WM_TRANSIENT_FOR). It does not
// reparent. It runs from Qt's event loop, so the code under test and this manager take turns,
// unless it runs in a process of its own (runAsProcess()), as a real window manager does.
class MiniWindowManager : public QObject {
  public:
    // On the display named, $DISPLAY when null. A busy window manager names the window it has
    // just focused _NET_ACTIVE_WINDOW only a while later: activeWindowLagMs.
    explicit MiniWindowManager(const char* display = nullptr, int activeWindowLagMs = 0);
    // Gives up managing: the root properties it set are removed.
    ~MiniWindowManager() override;

    // Another client manages the windows already (only one may redirect the root window).
    bool isRunning() const { return running_; }
    xcb_window_t active() const { return active_; }
    int activationRequests() const { return activationRequests_; }

    // Raises the window, gives it the focus and names it active, as a click on it would.
    void activate(xcb_window_t window);
    // Top-level windows from the bottom of the stack to its top.
    std::vector<xcb_window_t> stackingOrder();

    // The body of a process that only manages the windows of $DISPLAY, until its standard input
    // ends.
    // It writes "ready" and a line break to its standard output once it manages them.
    static int runAsProcess(int argc, char** argv, int activeWindowLagMs);

  private:
    void pump();
    void setActive(xcb_window_t window);
    xcb_window_t transientFor(xcb_window_t window);
    bool isViewable(xcb_window_t window);
    xcb_atom_t atom(const char* name);

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    xcb_window_t check_ = XCB_NONE;
    xcb_window_t active_ = XCB_NONE;
    bool running_ = false;
    int activeWindowLagMs_ = 0;
    int activationRequests_ = 0;
    // WM_TRANSIENT_FOR of each window as it was when the window was mapped.
    std::map<xcb_window_t, xcb_window_t> transientFor_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer timer_;
};
