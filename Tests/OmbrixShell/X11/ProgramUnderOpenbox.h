#pragma once

#include <gtest/gtest.h>

#include <QVariantMap>

#include <xcb/xcb.h>

#include "Openbox.h"
#include "ProgramSession.h"
#include "ProgramWindow.h"
#include "Support/X11/X11TestClient.h"
#include "Typist.h"

// The program under Openbox as a fresh user starts it (see ProgramSession), a person at its
// keyboard, and its windows as the window manager sees them.
struct ProgramUnderOpenbox {
    explicit ProgramUnderOpenbox(const QVariantMap& preferences = {}) : program(preferences) {}

    // Starts the program and waits for its main window; failures say what was missing.
    ::testing::AssertionResult start(int deadlineMs);

    X11TestClient x;
    Openbox openbox{x};
    // Outlives the program: what it bound stays bound while the program may still read it.
    Typist typist{x};
    ProgramSession program;
    ProgramWindow windows{x};
    xcb_window_t main = XCB_NONE;
};
