// The program under a real window manager (Openbox), which frames its windows and answers their
// moves and resizes as a desktop does: the main window keeps its place across locking.
#include <gtest/gtest.h>

#include <QRect>

#include <optional>
#include <set>

#include "ProgramUnderOpenbox.h"

namespace {

constexpr int startDeadline = 30000;
constexpr int stepDeadline = 20000;

QPoint centre(const QRect& r) {
    return QRectF(r).center().toPoint();
}

}  // namespace

// Three times locked and unlocked: the unlocked window comes back where it was, the locked one
// stands centred on it, and the locked window never shows another height than the card's.
TEST(OmbrixProgramUnderAWindowManager, TheWindowKeepsItsPlaceAcrossLocking) {
    ProgramUnderOpenbox session;
    ASSERT_TRUE(session.start(startDeadline));
    ProgramWindow& windows = session.windows;
    Typist& typist = session.typist;
    const xcb_window_t window = session.main;
    ASSERT_TRUE(spinUntil([&] { return windows.size(window).width() == 480; }, stepDeadline));

    // Waits until the window has `width` and has not moved or changed for a while; the heights it
    // shows at that width on the way are collected.
    std::set<int> lockedHeights;
    const auto settledAt = [&](int width) {
        QRect last;
        int still = 0;
        const bool settled = spinUntil(
            [&] {
                const QRect now = windows.screenRect(window);
                if (now.width() == 480) lockedHeights.insert(now.height());
                still = now == last && now.width() == width ? still + 1 : 0;
                last = now;
                return still >= 20;
            },
            stepDeadline);
        if (!settled) windows.saveScreenshot(window, "window-manager-unsettled.png");
        EXPECT_TRUE(settled) << "width " << width << ", at " << last.x() << "," << last.y() << " "
                             << last.width() << "x" << last.height();
        return last;
    };
    const auto unlock = [&] {
        // Keys go to the window the window manager made active.
        EXPECT_TRUE(spinUntil([&] { return session.openbox.active() == window; }, stepDeadline));
        typist.type(QString::fromUtf8(programFixture::password));
        typist.press(Typist::returnKey);
        return settledAt(1020);
    };

    const QRect unlocked = unlock();
    ASSERT_EQ(unlocked.size(), QSize(1020, 680));
    for (int cycle = 1; cycle <= 3; ++cycle) {
        lockedHeights.clear();
        typist.pressWithControl('l');
        const QRect locked = settledAt(480);
        EXPECT_LE((centre(locked) - centre(unlocked)).manhattanLength(), 2)
            << "cycle " << cycle << ": the lock card stands centred on the window, at " << locked.x() << ","
            << locked.y();
        EXPECT_EQ(lockedHeights, std::set<int>{locked.height()})
            << "cycle " << cycle << ": the locked window showed other heights on the way";
        const QRect back = unlock();
        EXPECT_EQ(back, unlocked) << "cycle " << cycle << ": back at " << back.x() << "," << back.y();
    }
}
