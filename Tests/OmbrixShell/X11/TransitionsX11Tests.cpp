// What the window shows while the program creates a vault, locks and unlocks it, photographed
// from outside as fast as the X server answers, under a real window manager: only finished
// pictures, never a half-laid-out card, an unpainted area or an old picture cut off or moved.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QSize>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "OmbrixTheme/Palette.h"
#include "ProgramUnderOpenbox.h"
#include "ProgramWindow.h"
#include "Support/X11/X11TestClient.h"
#include "Typist.h"

namespace {

constexpr int startDeadline = 30000;
// Creating derives the key with the recommended Argon2id settings: seconds on a busy machine.
constexpr int workDeadline = 120000;

QSize sizeOf(X11TestClient& x, xcb_window_t window) {
    auto geometry = owned(xcb_get_geometry_reply(x.xcb(), xcb_get_geometry(x.xcb(), window), nullptr));
    return geometry ? QSize(geometry->width, geometry->height) : QSize();
}

// The window's own content as the X server holds it, at the window's present size; null when the
// window changed its size while it was read.
QImage pictureOf(X11TestClient& x, xcb_window_t window) {
    const QSize size = sizeOf(x, window);
    if (size.isEmpty()) return {};
    auto image = owned(
        xcb_get_image_reply(x.xcb(),
                            xcb_get_image(x.xcb(), XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0,
                                          std::uint16_t(size.width()), std::uint16_t(size.height()), ~0u),
                            nullptr));
    if (!image || sizeOf(x, window) != size) return {};
    // Depth 24 in 32-bit little-endian pixels: the byte order of QImage::Format_RGB32.
    return QImage(xcb_get_image_data(image.get()), size.width(), size.height(), size.width() * 4,
                  QImage::Format_RGB32)
        .copy();
}

struct Frame {
    qint64 at;  // ms from the start of the recording
    QImage image;
};

// Every distinct picture of the window, from now until `done` has held for `quietMs` (checked
// between pictures) or `deadlineMs` has passed.
std::vector<Frame> record(X11TestClient& x, xcb_window_t window, const std::function<bool()>& done,
                          int quietMs, int deadlineMs) {
    std::vector<Frame> frames;
    QElapsedTimer clock;
    clock.start();
    qint64 doneSince = -1;
    while (clock.elapsed() < deadlineMs) {
        QImage shot = pictureOf(x, window);
        if (!shot.isNull() && (frames.empty() || shot != frames.back().image))
            frames.push_back({clock.elapsed(), std::move(shot)});
        if (!done()) {
            doneSince = -1;
        } else if (doneSince < 0) {
            doneSince = clock.elapsed();
        } else if (clock.elapsed() - doneSince >= quietMs) {
            break;
        }
        QThread::usleep(1500);
    }
    return frames;
}

int channelDistance(QRgb a, QRgb b) {
    return qMax(qAbs(qRed(a) - qRed(b)), qMax(qAbs(qGreen(a) - qGreen(b)), qAbs(qBlue(a) - qBlue(b))));
}

// A picture may differ from another by a blinking text cursor and the antialiasing of a fade.
constexpr int allowedStrayPixels = 400;

// `frame` is `reference`, but for a band of rows at most `band` high (what changed on the card).
bool sameBut(const QImage& frame, const QImage& reference, int band) {
    if (frame.size() != reference.size()) return false;
    int top = frame.height(), bottom = -1;
    for (int y = 0; y < frame.height(); ++y) {
        int differing = 0;
        for (int x = 0; x < frame.width(); ++x)
            if (channelDistance(frame.pixel(x, y), reference.pixel(x, y)) > 24) ++differing;
        // A text cursor is a line one or two pixels wide.
        if (differing > 4) {
            top = qMin(top, y);
            bottom = qMax(bottom, y);
        }
    }
    return bottom < 0 || bottom - top < band;
}

// `frame` is `finished` seen through the window's canvas at some opacity, from wholly canvas to
// wholly `finished`: the one picture a fade from the canvas shows.
bool canvasBlendOf(const QImage& frame, const QImage& finished) {
    if (frame.size() != finished.size()) return false;
    const QRgb canvas = Palette::canvas.rgb();
    // The opacity that fits best, from the channel with the largest spread.
    double num = 0, den = 0;
    for (int y = 0; y < frame.height(); y += 3) {
        for (int x = 0; x < frame.width(); x += 3) {
            const QRgb f = frame.pixel(x, y), n = finished.pixel(x, y);
            const int fs[] = {qRed(f), qGreen(f), qBlue(f)};
            const int ns[] = {qRed(n), qGreen(n), qBlue(n)};
            const int cs[] = {qRed(canvas), qGreen(canvas), qBlue(canvas)};
            for (int c = 0; c < 3; ++c) {
                const double d = ns[c] - cs[c];
                num += (fs[c] - cs[c]) * d;
                den += d * d;
            }
        }
    }
    const double alpha = den > 0 ? qBound(0.0, num / den, 1.0) : 0;
    int stray = 0;
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb f = frame.pixel(x, y), n = finished.pixel(x, y);
            const auto mix = [&](int c, int m) { return int(c + (m - c) * alpha); };
            const QRgb expected = qRgb(mix(qRed(canvas), qRed(n)), mix(qGreen(canvas), qGreen(n)),
                                       mix(qBlue(canvas), qBlue(n)));
            if (channelDistance(f, expected) > 20) ++stray;
        }
    }
    return stray <= allowedStrayPixels;
}

// The window's canvas and nothing else, at whatever size the window has on its way.
bool plainCanvas(const QImage& frame) {
    const QRgb canvas = Palette::canvas.rgb();
    int stray = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            if (channelDistance(frame.pixel(x, y), canvas) > 8) ++stray;
    return stray <= allowedStrayPixels;
}

// Checks every frame of one change of the window, between the picture `before` it and the last
// one: each is the picture before it, changed in one band only (`band` rows; 0: not at all), the
// plain canvas, or a fade from the canvas into the picture after it. Frames that are none of these are kept
// under `name` in the tests' output folder.
::testing::AssertionResult onlyFinishedPictures(const std::vector<Frame>& frames, const QImage& before,
                                                int band, const char* name) {
    if (frames.empty()) return ::testing::AssertionFailure() << name << ": no picture at all";
    const QImage& after = frames.back().image;
    std::string torn;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const QImage& f = frames[i].image;
        const bool finished = (band > 0 ? sameBut(f, before, band) : sameBut(f, before, 1)) ||
                              sameBut(f, after, 1) || plainCanvas(f) || canvasBlendOf(f, after);
        if (finished) continue;
        char file[96];
        std::snprintf(file, sizeof file, "%s-torn-%02zu.png", name, i);
        saveImage(f, file);
        torn += " " + std::to_string(frames[i].at) + " ms (" + std::to_string(f.width()) + "x" +
                std::to_string(f.height()) + ")";
    }
    if (torn.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << name << ": unfinished pictures at" << torn << "; the last one is "
                                         << after.width() << "x" << after.height();
}

}  // namespace

// A vault created on the lock screen, locked and unlocked again, with the key derived slowly
// enough that the card shows its work each time.
TEST(OmbrixProgramTransitions, OnlyFinishedPicturesShowAroundCreatingLockingAndUnlocking) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // An empty file: the lock screen offers to create the vault there.
    const QString vault = folder.filePath(QStringLiteral("yeni.kdbx"));
    QFile empty(vault);
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    ProgramUnderOpenbox session({{QStringLiteral("recentDatabaseBookmark"), vault.toUtf8()}});
    ASSERT_TRUE(session.start(startDeadline));
    X11TestClient& x = session.x;
    ProgramWindow& windows = session.windows;
    Typist& typist = session.typist;
    const xcb_window_t window = session.main;
    const auto lockedShape = [&] { return windows.size(window).width() == 480; };
    const auto unlockedShape = [&] { return windows.size(window) == QSize(1020, 680); };
    ASSERT_TRUE(spinUntil(lockedShape, startDeadline));
    spinFor(1000);

    // Creating: the new password twice, Return.
    const QString password = QStringLiteral("yeni kasa parolasi");
    typist.type(password);
    typist.press(Typist::tabKey);
    typist.type(password);
    spinFor(600);
    const QImage typed = pictureOf(x, window);
    typist.press(Typist::returnKey);
    std::vector<Frame> creating = record(x, window, unlockedShape, 1500, workDeadline);
    ASSERT_TRUE(unlockedShape()) << "created and unlocked";
    EXPECT_TRUE(onlyFinishedPictures(creating, typed, 80, "creating"));

    // Locking.
    const QImage unlocked = pictureOf(x, window);
    typist.pressWithControl('l');
    std::vector<Frame> locking = record(x, window, lockedShape, 1500, workDeadline);
    ASSERT_TRUE(lockedShape()) << "locked";
    EXPECT_TRUE(onlyFinishedPictures(locking, unlocked, 0, "locking"));

    // Unlocking, three times: the derivation starts, runs and ends.
    for (int round = 1; round <= 3; ++round) {
        spinFor(600);
        typist.type(password);
        spinFor(600);
        const QImage ready = pictureOf(x, window);
        typist.press(Typist::returnKey);
        std::vector<Frame> unlocking = record(x, window, unlockedShape, 1500, workDeadline);
        ASSERT_TRUE(unlockedShape()) << "unlocked, round " << round;
        const std::string name = "unlocking-" + std::to_string(round);
        EXPECT_TRUE(onlyFinishedPictures(unlocking, ready, 80, name.c_str()));
        typist.pressWithControl('l');
        ASSERT_TRUE(spinUntil(lockedShape, workDeadline));
    }
}
