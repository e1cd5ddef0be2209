#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "Support/X11/X11TestClient.h"

template <typename T>
std::unique_ptr<T, decltype(&std::free)> owned(T* p) {
    return std::unique_ptr<T, decltype(&std::free)>(p, &std::free);
}

// The size limits of ICCCM's WM_NORMAL_HINTS.
struct SizeHints {
    QSize minimum;
    QSize maximum;
};

// The program's windows as the window manager sees them: found by the process's _NET_WM_PID,
// measured, named and photographed from outside.
class ProgramWindow {
  public:
    explicit ProgramWindow(X11TestClient& x) : x_(x) {}

    // The mapped top-level window of the process, or none yet.
    std::optional<xcb_window_t> find(qint64 pid);
    // Every mapped top-level window of the process, from the bottom of the stack to its top.
    std::vector<xcb_window_t> findAll(qint64 pid);

    QSize size(xcb_window_t window);
    // Within the parent: the screen, or the frame a window manager put around it.
    QRect rect(xcb_window_t window);
    // On the screen.
    QRect screenRect(xcb_window_t window);
    std::optional<SizeHints> sizeHints(xcb_window_t window);
    QString title(xcb_window_t window);

    // What the screen shows inside the rectangle.
    QImage screenshot(const QRect& area);
    // What the screen shows of the window, kept under the name in the tests' output folder.
    void saveScreenshot(xcb_window_t window, const char* name);

    // As a window manager's close button: WM_DELETE_WINDOW.
    void askToClose(xcb_window_t window);

  private:
    std::vector<std::uint32_t> cardinals(xcb_window_t window, const char* property);

    X11TestClient& x_;
};

// Keeps the image under the name in the tests' output folder.
void saveImage(const QImage& image, const char* name);
