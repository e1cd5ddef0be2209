#pragma once

// An open database over the harness's fakes and a main window to open the editor sheets over,
// with small helpers to type and press as a user would.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <memory>

#include "OmbrixTheme/FieldChrome.h"
#include "Support/AppStateFakes.h"

namespace editortest {

// Kasa [Posta], Kişisel [Banka, Forum] with the subgroup Eski [Arşiv], İş []
struct Vault {
    fakes::Harness h;
    std::unique_ptr<AppState> state;
    // The sheets are children of the window and hold the state: the window goes first.
    std::unique_ptr<QWidget> mainWindow = std::make_unique<QWidget>();
    UUID root, personal, old, work;

    explicit Vault(KdbxEntry banka = fakes::entry("Banka", "ayse")) {
        KdbxGroup old_ = fakes::group("Eski", {fakes::entry("Arşiv")});
        KdbxGroup personal_ = fakes::group("Kişisel", {banka, fakes::entry("Forum")}, {old_});
        KdbxGroup work_ = fakes::group("İş");
        KdbxGroup root_ = fakes::group("Kasa", {fakes::entry("Posta")}, {personal_, work_});
        root = root_.id, personal = personal_.id, old = old_.id, work = work_.id;
        state = h.makeState();
        fakes::open(h, *state, fakes::database(root_));
        mainWindow->resize(1020, 680);
        mainWindow->show();
    }

    const KdbxGroup& group(const UUID& id) const {
        return *GroupTree::findGroup(state->database()->root, id);
    }
    KdbxEntry entry(const std::string& title) const {
        std::optional<KdbxEntry> found;
        GroupTree::forEachEntry(state->database()->root, [&](const KdbxEntry& e) {
            if (e.title == title) found = e;
        });
        EXPECT_TRUE(found) << title;
        return found.value_or(KdbxEntry());
    }

    // Opens `sheet` as the shell does, after setting the route that stands for it.
    template <class Sheet>
    Sheet* present(Sheet* sheet, const Route& route) {
        state->setRoute(route);
        sheet->open();
        QApplication::setActiveWindow(sheet);
        QApplication::processEvents();
        return sheet;
    }
};

// Key presses carrying the text, one per character. QTest knows keys only for ASCII, so other
// characters go as events with their text alone; a tab, which a line edit would take as a move
// of the focus, is inserted.
inline void keys(QWidget* target, const QString& text) {
    for (QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f) {
            QTest::keyClick(target, char(c.unicode()));
            continue;
        }
        auto* line = qobject_cast<QLineEdit*>(target);
        if (line && c == u'\t') {
            line->insert(QStringLiteral("\t"));
            continue;
        }
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    }
}

inline void type(AppTextField* field, const QString& text) {
    field->lineEdit()->setFocus(Qt::OtherFocusReason);
    keys(field->lineEdit(), text);
}

inline void replace(AppTextField* field, const QString& text) {
    field->lineEdit()->selectAll();
    field->lineEdit()->del();
    type(field, text);
}

// A key pressed where the keyboard focus is, as in the running program.
inline void press(QWidget* sheet, Qt::Key key) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : sheet;
    QTest::keyClick(target, key);
    QApplication::processEvents();
}

inline void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    QApplication::processEvents();
}

}  // namespace editortest
