// Pictures of the main window at its default size for a person to look at, written to
// <test output>/gallery/: a populated database, a search, a multiple selection and an empty
// group. Run by `make gallery`; the assertions only check that the files exist.

#include <gtest/gtest.h>

#include <QDir>
#include <QMenu>
#include <QTest>

#include "OmbrixUI/EntryList.h"
#include "OmbrixUI/EntryListView.h"
#include "OmbrixUI/MainToolbar.h"
#include "OmbrixUI/MainView.h"
#include "Support/Fixtures.h"
#include "Support/GalleryDir.h"
#include "Support/MainWindowFixture.h"

using namespace mainwindow;

namespace {

QString galleryPath(const QString& name) {
    return galleryDir() + "/" + name + ".png";
}

// A database with enough rows to fill the list: the sample plus a dozen more in the root group.
void populate(Fixture& f) {
    const char* titles[][3] = {
        {"Amazon", "ayse.yilmaz", "https://www.amazon.com.tr/ap/signin"},
        {"Banka — İş Bankası", "12345678", "https://internetsubesi.isbank.com.tr"},
        {"Docker Hub", "ayse", "https://hub.docker.com"},
        {"e-Devlet", "12345678901", "https://giris.turkiye.gov.tr"},
        {"Figma", "ayse@ornek.com", "https://www.figma.com/login"},
        {"GitLab", "ayse", "https://gitlab.com/users/sign_in"},
        {"Netflix", "aile@ornek.com", "https://www.netflix.com/tr/login"},
        {"Sunucu (ssh)", "root", "ssh://10.0.0.12"},
        {"Trendyol", "", "https://www.trendyol.com"},
        {"", "", ""},
    };
    f.state->edit(QStringLiteral("Doldur"), [&](KdbxDatabase& db) {
        int icon = 1;
        for (const auto& t : titles) {
            KdbxEntry e = fakes::entry(t[0], t[1], t[2]);
            e.iconID = icon;
            icon += 7;
            e.modified = fakes::startTime - std::chrono::hours(icon * 5);
            db.root.entries.push_back(e);
        }
        KdbxEntry expired = fakes::entry("Eski VPN", "ayse", "https://vpn.ornek.com");
        expired.expires = true;
        expired.expiryTime = fakes::startTime;
        db.root.entries.push_back(expired);
    });
    f.state->save();
}

void shoot(MainView& view, const QString& name) {
    view.resize(1020, 680);
    view.show();
    QApplication::setActiveWindow(&view);
    settle();
    view.grab().save(galleryPath(name));
}

}  // namespace

TEST(MainWindowGallery, Populated) {
    Fixture f;
    populate(f);
    MainView view(*f.state, f.clipboard);
    f.state->setSelectedEntryIDs({f.sample.github.id});
    f.state->copyPassword();
    f.clipboard.copySecret(QStringLiteral("gh-parola"));
    shoot(view, "mainwindow-populated");
    EXPECT_TRUE(QFile::exists(galleryPath("mainwindow-populated")));
}

TEST(MainWindowGallery, Searching) {
    Fixture f;
    populate(f);
    MainView view(*f.state, f.clipboard);
    f.state->setSearchText(QStringLiteral("ayse"));
    f.makeDirty();
    shoot(view, "mainwindow-searching");
    EXPECT_TRUE(QFile::exists(galleryPath("mainwindow-searching")));
}

TEST(MainWindowGallery, MultipleSelectionWithHover) {
    Fixture f;
    populate(f);
    MainView view(*f.state, f.clipboard);
    f.state->setSelectedEntryIDs({f.sample.github.id, f.sample.router.id});
    f.state->setLastError(QStringLiteral("Dosya kaydedilemedi."));
    view.resize(1020, 680);
    view.show();
    settle();
    EntryList* list = view.entryList()->list();
    QTest::mouseMove(list->viewport(), list->rowRect(2).center());
    shoot(view, "mainwindow-multiselection");
    EXPECT_TRUE(QFile::exists(galleryPath("mainwindow-multiselection")));
}

TEST(MainWindowGallery, EmptyGroup) {
    Fixture f;
    MainView view(*f.state, f.clipboard);
    f.state->setSelectedGroupID(f.sample.empty.id);
    shoot(view, "mainwindow-emptygroup");
    f.state->setSelectedGroupID(f.sample.mail.id);
    f.state->setSearchText(QStringLiteral("bulunmayan  "));
    shoot(view, "mainwindow-nomatches");
    EXPECT_TRUE(QFile::exists(galleryPath("mainwindow-emptygroup")));
}

// The menus the main window opens: "Diğer işlemler", the sort menu and a row's context menu.
TEST(MainWindowGallery, Menus) {
    Fixture f;
    MainView view(*f.state, f.clipboard);
    f.state->setSelectedEntryIDs({f.sample.github.id});
    f.state->setSort({EntrySort::Column::title, true});
    view.resize(1020, 680);
    view.show();
    settle();
    auto grabMenu = [](QMenu* menu, const QString& name) {
        menu->popup(QPoint(40, 40));
        settle();
        menu->grab().save(galleryPath(name));
        menu->hide();
    };
    grabMenu(view.toolbar()->moreMenu(), "mainwindow-menu-more");
    grabMenu(view.entryList()->sortMenu(), "mainwindow-menu-sort");
    const auto rowMenu = view.entryList()->list()->makeContextMenu(0);
    grabMenu(rowMenu.get(), "mainwindow-menu-row");
    EXPECT_TRUE(QFile::exists(galleryPath("mainwindow-menu-sort")));
}
