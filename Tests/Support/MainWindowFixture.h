#pragma once

// A small open database in an AppState over the fakes, and a clipboard service whose countdown
// the test moves by hand: the ground the main window's tests stand on.

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>

#include <functional>
#include <memory>

#include "Support/AppStateFakes.h"
#include "Support/HandClipboard.h"

namespace mainwindow {

// Root "Kasa" with two entries of its own and three groups:
//   E-posta: Gmail, Outlook       Bankalar: (none of its own) > Kartlar: Kredi kartı
//   Boş grup: (nothing)
struct Sample {
    KdbxEntry github = fakes::entry("GitHub", "ayse", "https://github.com/login");
    KdbxEntry router = fakes::entry("Ev yönlendiricisi", "", "192.168.1.1");
    KdbxEntry gmail = fakes::entry("Gmail", "ayse@gmail.com", "https://mail.google.com");
    KdbxEntry outlook = fakes::entry("Outlook", "ayse@outlook.com", "");
    KdbxEntry card = fakes::entry("Kredi kartı", "", "");
    KdbxGroup mail;
    KdbxGroup banks;
    KdbxGroup cards;
    KdbxGroup empty;
    KdbxDatabase database;

    Sample() {
        github.password = SecureString("gh-parola");
        gmail.password = SecureString("gm-parola");
        outlook.autoTypeEnabled = false;
        mail = fakes::group("E-posta", {gmail, outlook});
        mail.iconID = 19;
        cards = fakes::group("Kartlar", {card});
        banks = fakes::group("Bankalar", {}, {cards});
        banks.notes = "Vadesiz ve kredi hesapları";
        empty = fakes::group("Boş grup");
        KdbxGroup root = fakes::group("Kasa", {github, router}, {mail, banks, empty});
        database = fakes::database(root);
    }
};

struct Fixture {
    fakes::Harness harness;
    std::unique_ptr<AppState> state = harness.makeState();
    Sample sample;
    HandClipboard clipboard;

    explicit Fixture(bool openDatabase = true) {
        if (openDatabase) fakes::open(harness, *state, sample.database);
    }

    void advanceOneSecond() { clipboard.advanceOneSecond(); }

    // Marks the database as changed by a real, undoable step.
    void makeDirty() {
        state->edit(QStringLiteral("Sınama"), [](KdbxDatabase& db) { db.meta.defaultUsername += "x"; });
    }
};

inline void settle() {
    QApplication::processEvents();
}

// A drag of `payload` entering `target` (a viewport) at `pos` and dropped there; Qt delivers a
// drop only to the widget that took the drag's entry. Tells whether the drop was accepted.
inline bool drop(QWidget* target, const QPoint& pos, const QString& payload) {
    QMimeData data;
    data.setText(payload);
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent event(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}

// The menu's action with that text; null when it has none.
inline QAction* actionNamed(QMenu& menu, const QString& name) {
    for (QAction* action : menu.actions())
        if (action->text() == name) return action;
    return nullptr;
}

// An entry's id as a drag carries it.
inline QString uuidText(const KdbxEntry& e) {
    return QString::fromStdString(e.id.uuidString());
}

}  // namespace mainwindow
