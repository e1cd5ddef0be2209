// The main window: its title, its size and place across locking, and the fade between views.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QMainWindow>
#include <QResizeEvent>
#include <QTest>

#include <vector>

#include "OmbrixAppFixture.h"
#include "OmbrixShell/WindowSizer.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/MainView.h"
#include "OmbrixUI/RootView.h"
#include "OmbrixUI/UnlockView.h"
#include "Support/WidgetProbe.h"

namespace {

using shell::App;
using shell::settle;

}  // namespace

TEST(OmbrixApp, TheWindowIsTitledAfterWhatItShowsAndSizedToIt) {
    App a;
    a.show();
    mainwindow::Sample sample;
    fakes::open(a.h, a.state(), sample.database);
    EXPECT_EQ(a.window()->windowTitle(), QStringLiteral("Kasa — 5 kayıt"));
    settle();
    // The exact size is the X11 suite's: here the offscreen screen is too small for it.
    EXPECT_EQ(a.window()->minimumSize(), WindowSizer::minimumUnlockedSize);
    EXPECT_EQ(a.window()->maximumWidth(), QWIDGETSIZE_MAX);

    a.state().lock();
    settle();
    EXPECT_EQ(a.window()->windowTitle(), QStringLiteral("Ombrix"));
    EXPECT_EQ(a.window()->width(), WindowSizer::lockedWidth);
    EXPECT_EQ(a.window()->minimumSize(), a.window()->maximumSize()) << "not resizable while locked";
}

namespace {

// Every size a widget takes, in order.
class SizeLog : public QObject {
  public:
    explicit SizeLog(QWidget* watched) { watched->installEventFilter(this); }
    std::vector<QSize> sizes;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) sizes.push_back(static_cast<QResizeEvent*>(event)->size());
        return QObject::eventFilter(watched, event);
    }
};

// Lets deferred work run until nothing is left that moves the window.
void settleWindow() {
    for (int turn = 0; turn < 10; ++turn) settle();
}

}  // namespace

// Locking and unlocking three times: the unlocked window comes back exactly where the user put
// it, at the user's size; the lock card is centred on it and the locked window takes no height
// but the card's.
TEST(OmbrixApp, TheWindowStaysWhereTheUserPutItAcrossLocking) {
    App a;
    a.show();
    mainwindow::Sample sample;
    fakes::open(a.h, a.state(), sample.database);
    settleWindow();
    a.window()->resize(1100, 700);
    a.window()->move(300, 150);
    settleWindow();
    const QRect unlocked = a.window()->frameGeometry();
    ASSERT_EQ(a.window()->size(), QSize(1100, 700));
    ASSERT_EQ(unlocked.topLeft(), QPoint(300, 150));

    for (int cycle = 1; cycle <= 3; ++cycle) {
        SizeLog log(a.window());
        a.state().lock();
        settleWindow();
        const QRect locked = a.window()->frameGeometry();
        const QSize lockedSize = a.window()->size();
        EXPECT_EQ(lockedSize.width(), WindowSizer::lockedWidth) << "cycle " << cycle;
        EXPECT_LE((QRectF(locked).center() - QRectF(unlocked).center()).manhattanLength(), 1.0)
            << "cycle " << cycle << ": the lock card is centred on the window, at " << locked.x() << ","
            << locked.y() << " " << locked.width() << "x" << locked.height();
        for (const QSize& size : log.sizes) {
            if (size.width() == WindowSizer::lockedWidth) {
                EXPECT_EQ(size, lockedSize)
                    << "cycle " << cycle << ": a locked height the card does not have";
            }
        }
        a.state().unlock(QStringLiteral("parola"), std::nullopt);
        ASSERT_FALSE(a.state().isLocked());
        settleWindow();
        EXPECT_EQ(a.window()->frameGeometry(), unlocked) << "cycle " << cycle;
    }
}

namespace {

// The sizes the lock screen and the main view take while they are shown, and the window's size
// at each of those moments.
class ViewSizeLog : public QObject {
  public:
    struct Seen {
        QSize view;
        QSize window;
    };
    explicit ViewSizeLog(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~ViewSizeLog() override { qApp->removeEventFilter(this); }
    std::vector<Seen> seen;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* view = qobject_cast<QWidget*>(watched);
        const bool ours = qobject_cast<MainView*>(watched) || qobject_cast<UnlockView*>(watched);
        const bool shownOrResized =
            event->type() == QEvent::Show || (event->type() == QEvent::Resize && view && view->isVisible());
        if (ours && shownOrResized) seen.push_back({view->size(), window_->size()});
        return QObject::eventFilter(watched, event);
    }

  private:
    QWidget* window_;
};

int difference(const QColor& a, const QColor& b) {
    return qMax(qAbs(a.red() - b.red()), qMax(qAbs(a.green() - b.green()), qAbs(a.blue() - b.blue())));
}

}  // namespace

// Locking and unlocking: the new view is shown only once the window has its new shape, laid out
// once at its final size. The old view cannot keep its place in a window of another shape: the
// window's canvas covers the whole window, menu bar included, and the new view fades in from it.
TEST(OmbrixApp, LockAndUnlockFadeTheNewViewInFromTheCanvas) {
    App a;
    a.show();
    mainwindow::Sample sample;
    fakes::open(a.h, a.state(), sample.database);
    settleWindow();
    probe::MotionOn motion;
    RootView* root = a.app->rootView();

    for (const bool locking : {true, false}) {
        const char* note = locking ? "locking" : "unlocking";
        ViewSizeLog log(a.window());
        if (locking)
            a.state().lock();
        else
            a.state().unlock(QStringLiteral("parola"), std::nullopt);

        // Before the event loop turns: the window has its new shape and the new view fills it.
        QWidget* shown = locking ? static_cast<QWidget*>(root->unlockView()) : root->mainView();
        ASSERT_NE(shown, nullptr) << note;
        const QSize windowNow = a.window()->size();
        EXPECT_EQ(windowNow.width() == WindowSizer::lockedWidth, locking) << note;
        EXPECT_EQ(shown->size(), root->size()) << note;
        for (const ViewSizeLog::Seen& s : log.seen) {
            EXPECT_EQ(s.window, windowNow) << note << ": a view shown in a window of another size";
            EXPECT_EQ(s.view, root->size()) << note << ": a view laid out at another size";
        }

        // The canvas over the whole window, until the window system has the shape.
        QWidget* cover = root->fadingCover();
        ASSERT_NE(cover, nullptr) << note;
        EXPECT_EQ(cover->parentWidget(), a.window()) << note;
        EXPECT_EQ(cover->geometry(), a.window()->rect()) << note;
        const QImage start = a.window()->grab().toImage();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !root->fadingCover(); }, 5000))
            << note << ": the cover is gone at the end";
        const QImage end = a.window()->grab().toImage();
        ASSERT_EQ(start.size(), end.size()) << note;

        // The start is the canvas everywhere; the end is the new view, menu bar and all.
        int drawn = 0;
        for (int y = 0; y < start.height(); y += 5) {
            for (int x = 0; x < start.width(); x += 5) {
                EXPECT_LE(difference(probe::pixel(start, x, y), Palette::canvas), 2)
                    << note << " at " << x << "," << y;
                if (difference(probe::pixel(end, x, y), Palette::canvas) > 40) ++drawn;
            }
        }
        EXPECT_GT(drawn, 50) << note;
    }
}
