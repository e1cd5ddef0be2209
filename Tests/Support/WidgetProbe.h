#pragma once

// Helpers for looking at painted widgets: render one onto a known background, simulate the
// pointer, and compare pixel colours with a small tolerance for antialiasing and rounding.

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QEnterEvent>
#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QStringList>
#include <QWidget>

#include "OmbrixTheme/Motion.h"

#include <string>
#include <utility>

namespace probe {

// `widget` (shown, at its current size) painted over `background`, `margin` pixels around.
inline QImage render(QWidget& widget, const QColor& background, int margin = 0) {
    if (!widget.isVisible()) widget.show();
    QApplication::processEvents();
    QImage image(widget.size() + QSize(2 * margin, 2 * margin), QImage::Format_ARGB32);
    image.fill(background);
    widget.render(&image, QPoint(margin, margin), QRegion(), QWidget::DrawChildren);
    return image;
}

inline void hoverIn(QWidget& widget) {
    const QPointF p(widget.width() / 2.0, widget.height() / 2.0);
    QEnterEvent enter(p, p, widget.mapToGlobal(p));
    QApplication::sendEvent(&widget, &enter);
}

inline void hoverOut(QWidget& widget) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&widget, &leave);
}

// `top` composited over the opaque `bottom`.
inline QColor over(const QColor& top, const QColor& bottom) {
    const qreal a = top.alphaF();
    auto mix = [a](int t, int b) { return qRound(t * a + b * (1 - a)); };
    return QColor(mix(top.red(), bottom.red()), mix(top.green(), bottom.green()),
                  mix(top.blue(), bottom.blue()));
}

inline std::string hex(const QColor& c) {
    return c.name(QColor::HexRgb).toStdString();
}

inline ::testing::AssertionResult colorNear(const QColor& actual, const QColor& expected, int tolerance = 2) {
    const int d = qMax(qAbs(actual.red() - expected.red()),
                       qMax(qAbs(actual.green() - expected.green()), qAbs(actual.blue() - expected.blue())));
    if (d <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "colour " << hex(actual) << " is not " << hex(expected) << " (off by " << d << ")";
}

inline QColor pixel(const QImage& image, int x, int y) {
    return QColor::fromRgb(image.pixel(x, y));
}

}  // namespace probe

namespace probe {

// Whether some pixel of `area` has `color` (within `tolerance`), e.g. the fully covered stem
// of a glyph drawn in that colour.
inline bool containsColor(const QImage& image, const QRect& area, const QColor& color, int tolerance = 3) {
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (colorNear(pixel(image, x, y), color, tolerance)) return true;
    return false;
}

// The first and the last column of `area` in which something other than `background` is drawn;
// (-1, -1) when nothing is.
inline std::pair<int, int> inkColumns(const QImage& image, const QRect& area, const QColor& background,
                                      int tolerance = 24) {
    const QRect r = area.intersected(image.rect());
    int first = -1, last = -1;
    for (int x = r.left(); x <= r.right(); ++x)
        for (int y = r.top(); y <= r.bottom(); ++y)
            if (!colorNear(pixel(image, x, y), background, tolerance)) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    return {first, last};
}

// Whether `font`, as the user sees it drawn, gives narrow and wide characters and every digit
// the same advance. Qt's own fixed-pitch flag follows the font file's metadata, which some
// monospaced families (Noto Sans Mono among them) do not set.
inline ::testing::AssertionResult monospaced(const QFont& font) {
    const QFontMetricsF metrics(font);
    const QString sample = QStringLiteral("iW.m l0123456789");
    const qreal first = metrics.horizontalAdvance(sample.at(0));
    for (const QChar c : sample) {
        const qreal advance = metrics.horizontalAdvance(c);
        if (qAbs(advance - first) > 0.01) {
            return ::testing::AssertionFailure()
                   << "'" << QString(c).toStdString() << "' advances " << advance << ", 'i' " << first
                   << " in " << QFontInfo(font).family().toStdString();
        }
    }
    return ::testing::AssertionSuccess();
}

// Turns the interface's transitions on for one test; the suite runs with them off.
struct MotionOn {
    MotionOn() { Motion::setEnabled(true); }
    ~MotionOn() { Motion::setEnabled(false); }
    MotionOn(const MotionOn&) = delete;
    MotionOn& operator=(const MotionOn&) = delete;
};

// Collects the messages written with qDebug/qWarning while it lives.
class MessageLog {
  public:
    MessageLog() : previous_(qInstallMessageHandler(&MessageLog::handle)) { lines().clear(); }
    ~MessageLog() { qInstallMessageHandler(previous_); }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    static QStringList& lines() {
        static QStringList collected;
        return collected;
    }

  private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message) {
        lines().append(message);
    }
    QtMessageHandler previous_;
};

}  // namespace probe
