#pragma once

#include <QWidget>

#include "OmbrixServices/Services/ClipboardService.h"

class AppState;
class EntryDetailPane;
class EntryListView;
class GroupTreeView;
class MainToolbar;
class QSplitter;
class StatusBar;

// The content of the window while a database is unlocked: the toolbar on top, three columns
// (group tree, entry list, detail pane) in a splitter, the status bar underneath. Everything it
// shows comes from AppState and the clipboard countdown; every change goes through AppState or
// the clipboard service.
//
// X11 title bars have no subtitle line, so the subtitle follows the title in the window title:
// "Kasa — 12 kayıt · kaydedilmedi". MainView keeps that text as its own window title and
// announces it, for the window that embeds it.
class MainView : public QWidget {
    Q_OBJECT

  public:
    // Column widths: the sidebar 168–320 (210 at first), the list 250–560 (340 at first), the
    // detail pane at least 280 and the rest of the width.
    static constexpr int sidebarMinimum = 168, sidebarIdeal = 210, sidebarMaximum = 320;
    static constexpr int listMinimum = 250, listIdeal = 340, listMaximum = 560;
    static constexpr int detailMinimum = 280;

    explicit MainView(AppState& state, ClipboardService& clipboard = ClipboardService::shared(),
                      QWidget* parent = nullptr);

    // AppState::databaseName().
    QString title() const;
    // The entry count of the whole database (" kayıt") and "kaydedilmedi" while there are
    // unsaved changes, joined with " · "; empty with neither.
    QString subtitle() const;
    // The title, then " — " and the subtitle when there is one.
    QString windowTitleText() const;

    static QString subtitleFor(const AppState& state);

    // The group tree's column; the menu command "Kenar Çubuğunu Göster" hides and shows it. A
    // new main view (after each unlock) shows it.
    bool isSidebarVisible() const;
    void setSidebarVisible(bool shown);

    // Where the keyboard rests when nothing else has it: the entry list while it shows rows,
    // else the group tree, else the empty list's button. None of them takes Ctrl+Z for itself.
    QWidget* keyboardHome() const;

    MainToolbar* toolbar() const { return toolbar_; }
    QSplitter* splitter() const { return splitter_; }
    GroupTreeView* groupTree() const { return groupTree_; }
    EntryListView* entryList() const { return entryList_; }
    EntryDetailPane* detailPane() const { return detailPane_; }
    StatusBar* statusBar() const { return statusBar_; }

  signals:
    void windowTitleTextChanged(const QString& text);

  private:
    void refreshTitle();

    AppState& state_;
    MainToolbar* toolbar_;
    QSplitter* splitter_;
    GroupTreeView* groupTree_;
    EntryListView* entryList_;
    EntryDetailPane* detailPane_;
    StatusBar* statusBar_;
    QString windowTitleText_;
};
