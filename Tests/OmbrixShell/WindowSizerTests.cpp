#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "OmbrixShell/WindowSizer.h"
#include "OmbrixUI/UnlockView.h"
#include "ShellFixture.h"
#include "Support/AppStateFakes.h"

namespace {

using Mode = WindowSizer::Mode;

// A 1600 × 1000 screen whose top 25 pixels belong to a panel.
const QRect screenArea(0, 25, 1600, 975);

WindowSizer::ScreenArea fixedArea(std::optional<QRect> area) {
    return [area](const QWidget&) { return area; };
}

// A top-level window of the default size, centred on the screen area.
std::unique_ptr<QWidget> makeWindow() {
    auto window = std::make_unique<QWidget>();
    window->resize(WindowSizer::defaultUnlockedSize);
    window->move(screenArea.center() - QPoint(510, 340));
    window->show();
    QApplication::processEvents();
    return window;
}

QPointF centre(const QRect& frame) {
    return QRectF(frame).center();
}

QPointF centreOf(const QWidget& window) {
    return centre(window.frameGeometry());
}

// A change of the card's content reaches the outermost layout one level per turn of the loop.
void settleLayout() {
    for (int turn = 0; turn < 8; ++turn) QApplication::processEvents();
}

void expectFixed(const QWidget& window, const QSize& size, const char* note) {
    EXPECT_EQ(window.size(), size) << note;
    EXPECT_EQ(window.minimumSize(), size) << note;
    EXPECT_EQ(window.maximumSize(), size) << note;
}

}  // namespace

TEST(WindowSizer, ModesCompareByShapeAndHeight) {
    EXPECT_EQ(Mode::compact(300), Mode::compact(300));
    EXPECT_NE(Mode::compact(300), Mode::compact(301));
    EXPECT_EQ(Mode::full(), Mode::full());
    EXPECT_NE(Mode::compact(0), Mode::full());
    EXPECT_EQ(WindowSizer::modeFor(true, 412), Mode::compact(412));
    EXPECT_EQ(WindowSizer::modeFor(false, 412), Mode::full());
}

TEST(WindowSizer, LockedWindowIsFixedToTheCardAboutItsCentreAndKeepsItsTopWhenOnlyTheHeightChanges) {
    auto window = makeWindow();
    const QPointF centreBefore = centreOf(*window);
    WindowSizer sizer(window.get(), fixedArea(screenArea));

    sizer.apply(Mode::compact(0));  // not measured yet
    EXPECT_EQ(window->size(), WindowSizer::defaultUnlockedSize);
    EXPECT_EQ(sizer.lastMode(), Mode::compact(0));

    sizer.apply(Mode::compact(412));
    expectFixed(*window, QSize(480, 412), "measured");
    EXPECT_EQ(centreOf(*window), centreBefore);
    EXPECT_FALSE(sizer.unlockedSize()) << "a first compact shape remembers no unlocked size";

    // The card grows (an error banner) and shrinks (the meter goes): the window follows, still
    // fixed, its top-left where it was, so nothing moves under the pointer while the user types.
    const QPoint topLeft = window->frameGeometry().topLeft();
    sizer.apply(Mode::compact(470));
    expectFixed(*window, QSize(480, 470), "grown");
    EXPECT_EQ(window->frameGeometry().topLeft(), topLeft);
    sizer.apply(Mode::compact(380));
    expectFixed(*window, QSize(480, 380), "shrunk");
    EXPECT_EQ(window->frameGeometry().topLeft(), topLeft);
    sizer.apply(Mode::compact(470));
    const QRect before = window->frameGeometry();
    sizer.apply(Mode::compact(470));
    EXPECT_EQ(window->frameGeometry(), before) << "the same shape again moves nothing";
}

TEST(WindowSizer, LockedHeightIsCappedByTheScreen) {
    struct Case {
        std::optional<QRect> area;
        qreal card;
        int expected;
        const char* note;
    };
    const Case cases[] = {
        {screenArea, 2000, 975 - 80, "taller than the screen allows"},
        {QRect(0, 0, 800, 600), 600, 520, "small screen"},
        {std::nullopt, 2000, 820, "no screen"},
        {std::nullopt, 300, 300, "no screen, small card"},
    };
    for (const Case& c : cases) {
        auto window = makeWindow();
        WindowSizer sizer(window.get(), fixedArea(c.area));
        sizer.apply(Mode::compact(c.card));
        expectFixed(*window, QSize(480, c.expected), c.note);
    }
}

TEST(WindowSizer, UnlockedWindowIsResizableAndComesBackAtTheUsersSize) {
    auto window = makeWindow();
    WindowSizer sizer(window.get(), fixedArea(screenArea));
    sizer.apply(Mode::compact(400));

    sizer.apply(Mode::full());
    EXPECT_EQ(window->size(), QSize(1020, 680)) << "the first unlock";
    EXPECT_EQ(window->minimumSize(), QSize(720, 460));
    EXPECT_EQ(window->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));

    // The user resizes; a repeated full shape leaves that alone.
    window->resize(1300, 820);
    sizer.apply(Mode::full());
    EXPECT_EQ(window->size(), QSize(1300, 820));

    sizer.apply(Mode::compact(400));
    expectFixed(*window, QSize(480, 400), "locked again");
    EXPECT_EQ(sizer.unlockedSize(), QSize(1300, 820));

    sizer.apply(Mode::full());
    EXPECT_EQ(window->size(), QSize(1300, 820)) << "the user's size is back";
}

// Unlocked again, the window is back where it was when it locked, unless the user moved the
// locked window: then it comes back moved as far.
TEST(WindowSizer, UnlockedWindowComesBackWhereItWasOrAsFarAsTheLockedOneMoved) {
    auto window = makeWindow();
    WindowSizer sizer(window.get(), fixedArea(screenArea));
    sizer.apply(Mode::compact(400));
    sizer.apply(Mode::full());
    window->resize(1100, 700);
    window->move(100, 120);
    QApplication::processEvents();
    const QRect unlocked = window->frameGeometry();

    sizer.apply(Mode::compact(400));
    EXPECT_EQ(centreOf(*window), centre(unlocked)) << "the lock card is centred on the window";
    sizer.apply(Mode::compact(450));  // the card grows as the user types
    sizer.apply(Mode::full());
    EXPECT_EQ(window->frameGeometry(), unlocked);

    sizer.apply(Mode::compact(400));
    window->move(window->frameGeometry().topLeft() + QPoint(50, 30));
    QApplication::processEvents();
    sizer.apply(Mode::compact(450));
    sizer.apply(Mode::full());
    EXPECT_EQ(window->frameGeometry(), unlocked.translated(50, 30));
}

TEST(WindowSizer, ResizedWindowStaysInsideTheAvailableArea) {
    struct Case {
        QPoint frameAt;
        std::optional<QRect> area;
        Mode mode;
        QSize size;
        // Where the frame ends up, given the frame it had before.
        std::function<void(const QRect& frame, const QRect& before)> check;
        const char* note;
    };
    const Case cases[] = {
        {QPoint(1400, 900), screenArea, Mode::compact(400), QSize(480, 400),
         [](const QRect& frame, const QRect&) { EXPECT_EQ(frame.bottomRight(), screenArea.bottomRight()); },
         "off the bottom right: pushed back in"},
        {QPoint(-600, -500), screenArea, Mode::compact(400), QSize(480, 400),
         [](const QRect& frame, const QRect&) { EXPECT_EQ(frame.topLeft(), screenArea.topLeft()); },
         "off the top left: pushed back in"},
        {QPoint(1400, 900), std::nullopt, Mode::compact(400), QSize(480, 400),
         [](const QRect& frame, const QRect& before) { EXPECT_EQ(centre(frame), centre(before)); },
         "no screen: only centred"},
        // The unlocked window is kept within the area, but not below its minimum.
        {QPoint(100, 100), QRect(0, 0, 900, 600), Mode::full(), QSize(),
         [](const QRect& frame, const QRect&) { EXPECT_EQ(frame, QRect(0, 0, 900, 600)); }, "small screen"},
        {QPoint(100, 100), QRect(0, 0, 640, 400), Mode::full(), QSize(720, 460),
         [](const QRect& frame, const QRect&) {
             EXPECT_EQ(frame.right(), 639);
             EXPECT_EQ(frame.top(), 0);
         },
         "screen below the minimum: flush right and top"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.note);
        auto window = makeWindow();
        window->move(c.frameAt);
        const QRect before = window->frameGeometry();
        WindowSizer sizer(window.get(), fixedArea(c.area));
        sizer.apply(c.mode);
        if (c.size.isValid()) {
            EXPECT_EQ(window->size(), c.size);
        }
        c.check(window->frameGeometry(), before);
    }
}

TEST(WindowSizer, BarsAboveTheLockScreenAreAddedToItsHeight) {
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("Dosya"));
    window.setCentralWidget(new QLabel(QStringLiteral("kilit")));
    window.resize(WindowSizer::defaultUnlockedSize);
    window.show();
    QApplication::processEvents();
    const int bars = window.height() - window.centralWidget()->height();
    ASSERT_GT(bars, 0);

    WindowSizer sizer(&window, fixedArea(screenArea));
    sizer.apply(Mode::compact(400));
    EXPECT_EQ(window.size(), QSize(480, 400 + bars));
    QApplication::processEvents();
    EXPECT_EQ(window.centralWidget()->height(), 400);
}

TEST(WindowSizer, ModesApplyOnTheNextTurnInOrder) {
    auto window = makeWindow();
    WindowSizer sizer(window.get(), fixedArea(screenArea));
    sizer.setMode(Mode::compact(300));
    sizer.setMode(Mode::compact(350));
    EXPECT_EQ(window->size(), WindowSizer::defaultUnlockedSize) << "nothing happens inside the caller";
    QApplication::processEvents();
    expectFixed(*window, QSize(480, 350), "the last mode wins");

    // A window that is gone by then is left alone.
    sizer.setMode(Mode::full());
    auto* orphan = new WindowSizer(new QWidget, fixedArea(screenArea));
    orphan->setMode(Mode::compact(300));
    delete orphan->parent();
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(1020, 680));
}

TEST(WindowSizer, FollowsTheLockStateAndTheMeasuredCard) {
    fakes::Harness h;
    const auto state = h.makeState();
    LockScreenMetrics metrics;
    auto window = makeWindow();
    WindowSizer sizer(window.get(), fixedArea(screenArea));
    sizer.follow(*state, metrics);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), WindowSizer::defaultUnlockedSize) << "locked, not measured yet";

    metrics.setCardHeight(430);
    QApplication::processEvents();
    expectFixed(*window, QSize(480, 430), "measured");

    fakes::open(h, *state, fakes::database(fakes::group("Kök")));
    ASSERT_FALSE(state->isLocked());
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(1020, 680));
    window->resize(1100, 700);

    state->lock();
    QApplication::processEvents();
    expectFixed(*window, QSize(480, 430), "locked with the last measured height");
    state->unlock("parola", std::nullopt);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(1100, 700));
}

// The lock screen in a window that the sizer fits to its card as the card changes.
TEST(UnlockView, LockedWindowFitsTheCardAsItChanges) {
    fakes::Harness h;
    const auto state = h.makeState();
    shell::CancelledPanels panels;
    LockScreenMetrics metrics;
    QMainWindow window;
    auto* view = new UnlockView(*state, panels, metrics);
    window.setCentralWidget(view);
    window.resize(WindowSizer::defaultUnlockedSize);
    WindowSizer sizer(&window, [](const QWidget&) { return std::optional<QRect>(QRect(0, 0, 1600, 1000)); });
    sizer.follow(*state, metrics);
    window.show();

    const auto fits = [&](const char* note) {
        settleLayout();
        EXPECT_EQ(window.width(), 480) << note;
        EXPECT_EQ(window.minimumSize(), window.maximumSize()) << note;
        EXPECT_EQ(view->height(), view->card()->height()) << note;
        EXPECT_FALSE(view->findChild<QScrollArea*>()->verticalScrollBar()->isVisible()) << note;
        return window.height();
    };
    const int choosing = fits("choosing");
    h.files->writeAtomically(h.path("kasa.kdbx"), Bytes{'d', 'o', 'l', 'u'});
    state->prepare(h.path("kasa.kdbx"));
    const int unlocking = fits("unlocking");
    EXPECT_GT(unlocking, choosing);
    state->setLastError(
        QStringLiteral("Veritabanı dosyası okunamadı: başlık bozuk ya da dosya bir KDBX "
                       "dosyası değil. Başka bir dosya seçip yeniden dene."));
    EXPECT_GT(fits("with an error"), unlocking);
    state->setLastError(std::nullopt);
    EXPECT_EQ(fits("error dismissed"), unlocking);
}
