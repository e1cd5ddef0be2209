#include "ProgramUnderOpenbox.h"

#include <optional>

::testing::AssertionResult ProgramUnderOpenbox::start(int deadlineMs) {
    if (!x.isConnected()) return ::testing::AssertionFailure() << "no X server";
    if (!openbox.isRunning())
        return ::testing::AssertionFailure() << "openbox is installed by scripts/install-deps";
    if (!program.isReady() || !program.start())
        return ::testing::AssertionFailure() << "the program did not start";
    std::optional<xcb_window_t> found;
    if (!spinUntil([&] { return (found = windows.find(program.pid())).has_value(); }, deadlineMs))
        return ::testing::AssertionFailure() << "the main window is not mapped";
    main = *found;
    return ::testing::AssertionSuccess();
}
