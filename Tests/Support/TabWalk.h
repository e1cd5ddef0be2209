#pragma once

// The keyboard's way through a window as a person sees it: Tab pressed again and again, and at
// every stop which control has the keyboard, where it is drawn, whether it is on screen and
// whether it looks different from the same control without the keyboard.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QDateTimeEdit>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollArea>
#include <QTest>

#include <sstream>
#include <string>
#include <vector>

#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/EntryList.h"
#include "OmbrixUI/GroupOutlineView.h"
#include "OmbrixUI/HotKeyRecorder.h"
#include "OmbrixUI/NotesEditor.h"

namespace tabwalk {

// What a person reads on the control that has the keyboard.
inline std::string describe(QWidget* w) {
    if (!w) return "(hiç)";
    if (qobject_cast<EntryList*>(w)) return "kayıt listesi";
    if (qobject_cast<GroupOutlineView*>(w)) return "grup ağacı";
    if (qobject_cast<HotKeyRecorder*>(w)) return "kısayol kaydedici";
    if (qobject_cast<QDateTimeEdit*>(w)) return "tarih";
    if (qobject_cast<QAbstractSlider*>(w)) return "kaydırıcı";
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return "alan: " + edit->placeholderText().toStdString();
    if (qobject_cast<QPlainTextEdit*>(w)) return "metin kutusu";
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return (button->text().isEmpty() ? button->toolTip() : button->text()).toStdString();
    return w->metaObject()->className();
}

// The control as the user sees it: a field's frame around its text box.
inline QWidget* markHost(QWidget* w) {
    QWidget* host = w;
    QWidget* up = w->parentWidget();
    for (int level = 0; up && level < 2; ++level, up = up->parentWidget()) {
        if (qobject_cast<FieldChrome*>(up) || qobject_cast<NotesEditor*>(up)) host = up;
    }
    return host;
}

// The outermost scroll area `w` lies in, or null.
inline QScrollArea* scrollAreaOf(QWidget* w) {
    QScrollArea* found = nullptr;
    for (QWidget* up = w->parentWidget(); up; up = up->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(up);
            area && area->widget() && area->widget()->isAncestorOf(w))
            found = area;
    return found;
}

// How far the two pictures differ where they differ clearly.
struct Difference {
    int pixels = 0;
    QRect box;
};

inline Difference difference(const QImage& a, const QImage& b) {
    Difference d;
    if (a.size() != b.size()) return d;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int delta =
                qMax(qAbs(qRed(p) - qRed(q)), qMax(qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q))));
            if (delta < 40) continue;
            ++d.pixels;
            d.box |= QRect(x, y, 1, 1);
        }
    }
    return d;
}

// One stop of the way.
struct Stop {
    QPointer<QWidget> widget;
    std::string name;
    // Where it is drawn: in the window, and, inside a scrolling body, in that body as if nothing
    // were scrolled.
    QRect inWindow;
    QScrollArea* area = nullptr;
    QRect inArea;
    // Wholly on screen while it had the keyboard: shown, and not cut off by what scrolls it.
    bool onScreen = false;
    Difference mark;

    // A mark a person sees: a line around the control, not a blinking cursor.
    bool marked() const { return mark.pixels >= 40 && mark.box.width() >= 16 && mark.box.height() >= 10; }
};

inline bool whollyShown(QWidget* w) {
    if (!w->isVisible()) return false;
    QWidget* window = w->window();
    const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
    for (QWidget* up = w->parentWidget(); up && up != window; up = up->parentWidget()) {
        const QRect clip(up->mapTo(window, QPoint(0, 0)), up->size());
        if (!clip.contains(r)) return false;
    }
    return window->rect().contains(r);
}

// Presses Tab in `window` until the keyboard comes back to the first control it reached (at most
// `limit` presses) and describes each stop.
inline std::vector<Stop> walk(QWidget* window, int limit = 80) {
    std::vector<Stop> stops;
    const auto tab = [&] {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window;
        QTest::keyClick(target, Qt::Key_Tab);
        QApplication::processEvents();
    };
    tab();
    QWidget* first = QApplication::focusWidget();
    for (int i = 0; i < limit; ++i) {
        QWidget* w = QApplication::focusWidget();
        if (!w || (i > 0 && w == first)) break;
        Stop s;
        s.widget = w;
        s.name = describe(w);
        QWidget* host = markHost(w);
        s.inWindow = QRect(host->mapTo(host->window(), QPoint(0, 0)), host->size());
        s.area = scrollAreaOf(host);
        if (s.area) s.inArea = QRect(host->mapTo(s.area->widget(), QPoint(0, 0)), host->size());
        s.onScreen = whollyShown(host);
        const QImage focused = host->grab().toImage();
        tab();
        s.mark = difference(focused, host->grab().toImage());
        stops.push_back(s);
    }
    return stops;
}

inline std::vector<std::string> names(const std::vector<Stop>& stops) {
    std::vector<std::string> out;
    for (const Stop& s : stops) out.push_back(s.name);
    return out;
}

// Whether `b` comes after `a` as the eye reads: below it, or beside it to its right.
inline bool follows(const QRect& a, const QRect& b) {
    if (b.top() >= a.center().y()) return true;
    const bool sameRow = b.top() < a.bottom() && a.top() < b.bottom();
    return sameRow && b.center().x() > a.center().x();
}

// Every stop comes after the one before it as they are drawn: two inside one scrolling body by
// their places in it, others by their places in the window (a scrolling body counts as a whole).
inline ::testing::AssertionResult inDrawnOrder(const std::vector<Stop>& stops) {
    const auto place = [](const Stop& s, bool inArea) {
        if (inArea) return s.inArea;
        if (!s.area) return s.inWindow;
        return QRect(s.area->mapTo(s.area->window(), QPoint(0, 0)), s.area->size());
    };
    for (std::size_t i = 1; i < stops.size(); ++i) {
        const Stop& a = stops[i - 1];
        const Stop& b = stops[i];
        const bool sameArea = a.area && a.area == b.area;
        if (!follows(place(a, sameArea), place(b, sameArea)))
            return ::testing::AssertionFailure()
                   << "“" << b.name << "” is drawn before “" << a.name << "” but comes after it";
    }
    return ::testing::AssertionSuccess();
}

// Every stop showed itself: on screen, with a mark that the same control lacks without the
// keyboard.
inline ::testing::AssertionResult everyStopShows(const std::vector<Stop>& stops) {
    std::ostringstream failures;
    for (const Stop& s : stops) {
        if (!s.onScreen) failures << "“" << s.name << "” is not wholly on screen; ";
        if (!s.marked())
            failures << "“" << s.name << "” shows no focus mark (" << s.mark.pixels << " pixels changed); ";
    }
    if (failures.str().empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << failures.str();
}

}  // namespace tabwalk
