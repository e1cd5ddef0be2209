// Writes PNGs of the detail column in each of its states into <test output>/gallery/ for a
// person to look at. The assertions only check that the files exist.

#include <gtest/gtest.h>

#include <QDir>
#include <QTest>

#include <chrono>

#include "EntryDetailFixture.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixUI/CopyButton.h"
#include "OmbrixUI/EntryDetailCards.h"
#include "OmbrixUI/EntryDetailView.h"
#include "Support/Fixtures.h"
#include "Support/GalleryDir.h"

using namespace std::chrono_literals;
using detailtest::DetailFixture;

namespace {

// The whole page at `width`: the pane is made as tall as its content, so nothing scrolls.
void shoot(EntryDetailPane& pane, const QString& name, int width, int height = 0) {
    pane.resize(width, height > 0 ? height : 4000);
    // Wrapping text settles its height over a few layout passes.
    for (int pass = 0; pass < 3; ++pass) QApplication::processEvents();
    if (height == 0) {
        if (EntryDetailView* view = pane.detailView()) {
            int bottom = 0;
            for (QWidget* section : view->contentColumn()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (section->isVisibleTo(&pane)) bottom = std::max(bottom, section->geometry().bottom() + 1);
            pane.resize(width, bottom + 28);
            QApplication::processEvents();
        }
    }
    pane.grab().save(galleryDir() + "/" + name + ".png");
}

KdbxEntry richEntry() {
    KdbxEntry e = fakes::entry("Ziraat İnternet Şubesi", "ayse.yilmaz@example.com",
                               "https://giris.ziraatbank.com.tr/tr/bireysel?yonlendir=hesaplarim");
    e.password = SecureString("kR7#pX2$vL9@qM4!zT6&");
    e.iconID = 29;
    e.tags = {"banka", "kritik", "aile", "iki adımlı doğrulama"};
    e.customFields = {{"PIN", "4821"},
                      {"Müşteri numarası", "48213377"},
                      {"Güvenlik sorusu", "İlk evcil hayvanının adı: Pamuk"},
                      {"Yedek kod", "7F3K-9QXL-22MB"}};
    e.protectedCustomFields = {"PIN", "Yedek kod"};
    e.notes = "Kart son kullanma tarihi 08/27.\nŞube: Kadıköy, müşteri temsilcisi Mehmet Bey.";
    e.autoTypeWindowAssociations = {
        {"*Ziraat*", std::nullopt},
        {"Giriş — Firefox", std::string("{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}")}};
    e.created = fakes::startTime - 24h * 400;
    e.modified = fakes::startTime - 24h * 3;
    e.accessed = fakes::startTime;
    e.expires = true;
    e.expiryTime =
        std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now()) + 24h * 700;
    std::vector<KdbxEntry> versions;
    for (int i = 1; i <= 8; ++i) {
        KdbxEntry v = fakes::entry(i == 6 ? "" : "Ziraat İnternet Şubesi (" + std::to_string(i) + ")");
        v.id = e.id;
        v.modified = fakes::startTime - 24h * (60 - 7 * i);
        versions.push_back(v);
    }
    e.historyItems = CowList<KdbxEntry>(versions);
    return e;
}

KdbxEntry bareEntry() {
    KdbxEntry e = fakes::entry("");
    e.password = SecureString("1234");
    e.autoTypeEnabled = false;
    e.expires = true;
    e.expiryTime = fakes::startTime - 24h;
    e.autoTypeSequence = "{PASSWORD}{ENTER}";
    return e;
}

}  // namespace

TEST_F(DetailFixture, GalleryOfTheDetailColumn) {
    const KdbxEntry rich = richEntry();
    const KdbxEntry bare = bareEntry();
    open(fakes::group("Kasa", {bare}, {fakes::group("Finans", {rich})}));
    auto pane = makePane();

    shoot(*pane, "entrydetail-pane-empty", 380, 520);
    state->setSelectedEntryIDs({UUID::random()});
    shoot(*pane, "entrydetail-pane-missing", 380, 520);
    state->setSelectedEntryIDs({rich.id, bare.id, UUID::random()});
    shoot(*pane, "entrydetail-pane-multi", 380, 520);

    state->setSelectedEntryIDs({rich.id});
    shoot(*pane, "entrydetail-full", 440);
    shoot(*pane, "entrydetail-narrow", EntryDetailPane::minimumPaneWidth);
    shoot(*pane, "entrydetail-wide", 1000);
    EntryDetailView* view = pane->detailView();
    ASSERT_NE(view, nullptr);
    view->passwordRevealButton()->click();
    view->toggleCustomFieldReveal("PIN");
    QTest::mouseClick(view->copyPasswordButton(), Qt::LeftButton);
    shoot(*pane, "entrydetail-revealed-copied", 440);

    state->setSelectedEntryIDs({bare.id});
    shoot(*pane, "entrydetail-bare", 440);

    EXPECT_TRUE(QFile::exists(galleryDir() + "/entrydetail-full.png"));
    EXPECT_TRUE(QFile::exists(galleryDir() + "/entrydetail-pane-multi.png"));
}
