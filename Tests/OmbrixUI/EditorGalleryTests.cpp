// Writes PNGs of the entry and group editors in both modes into <test output>/gallery/ for a
// person to look at. The assertions only check that the files exist.

#include <gtest/gtest.h>

#include <QDir>
#include <QScrollArea>

#include <chrono>
#include <functional>

#include "EditorFixture.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/AppSwitch.h"
#include "OmbrixUI/EntryEditView.h"
#include "OmbrixUI/GroupEditView.h"
#include "OmbrixUI/NotesEditor.h"
#include "Support/Fixtures.h"
#include "Support/GalleryDir.h"

using namespace std::chrono_literals;
using editortest::type;
using editortest::Vault;

namespace {

// The sheet at `size`; with `whole` as tall as its form, so that nothing scrolls.
QString shoot(SheetScaffold* sheet, const QString& name, QSize size, bool whole,
              const std::function<void()>& state = {}) {
    sheet->resize(size);
    if (QWidget* f = QApplication::focusWidget()) f->clearFocus();
    if (state) state();
    for (int pass = 0; pass < 3; ++pass) QApplication::processEvents();
    QTest::qWait(30);  // the scroll area follows its form a few turns later
    for (int pass = 0; whole && pass < 3; ++pass) {
        const int missing = sheet->content()->heightForWidth(sheet->content()->width()) + 32 -
                            sheet->scrollArea()->viewport()->height();
        if (missing <= 0) break;
        sheet->resize(sheet->width(), sheet->height() + missing);
        QApplication::processEvents();
        QTest::qWait(30);
    }
    const QString path = galleryDir() + "/" + name + ".png";
    sheet->grab().save(path);
    return path;
}

KdbxEntry richEntry() {
    KdbxEntry e = fakes::entry("Ziraat İnternet Şubesi", "ayse.yilmaz@example.com",
                               "https://giris.ziraatbank.com.tr/tr/bireysel");
    e.password = SecureString("kR7#pX2$vL9@qM4!zT6&");
    e.iconID = 29;
    e.tags = {"banka", "kritik", "aile"};
    e.customFields = {{"PIN", "4821"}, {"Müşteri numarası", "48213377"}};
    e.protectedCustomFields = {"PIN"};
    e.notes = "Kart son kullanma tarihi 08/27.\nŞube: Kadıköy.";
    e.expires = true;
    e.expiryTime =
        Timestamp(std::chrono::seconds(QDateTime(QDate(2027, 8, 31), QTime(23, 59)).toSecsSinceEpoch()));
    e.autoTypeSequence = "{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}";
    return e;
}

}  // namespace

TEST(EditorGallery, EntryEditor) {
    Vault v(richEntry());
    const QSize ideal(EntryEditView::idealWidth, EntryEditView::idealHeight);
    QStringList written;

    auto* create =
        new EntryEditView(*v.state, v.h.preferences, EntryEditView::Mode::create(v.work), v.mainWindow.get());
    v.present(create, Route::newEntry(v.work));
    written << shoot(create, "entry-editor-create", ideal, false);
    written << shoot(create, "entry-editor-create-whole", ideal, true);
    written << shoot(create, "entry-editor-create-problems", ideal, true, [&] {
        type(create->titleField(), QStringLiteral("GitHub"));
        create->addCustomField();
        type(create->customFieldRows()[0]->nameField(), QStringLiteral("URL"));
        create->addCustomField();
        type(create->customFieldRows()[1]->nameField(), QStringLiteral("Kurtarma kodu"));
        create->addCustomField();
        type(create->customFieldRows()[2]->nameField(), QStringLiteral("Kurtarma kodu "));
        create->customFieldRows()[2]->setProtected(true);
        type(create->customFieldRows()[2]->valueField(), QStringLiteral("7F3K-9QXL"));
    });
    create->done(QDialog::Rejected);

    // Its group deleted while the sheet was open: the sheet keeps the form and says why.
    auto* orphan =
        new EntryEditView(*v.state, v.h.preferences, EntryEditView::Mode::create(v.old), v.mainWindow.get());
    v.present(orphan, Route::newEntry(v.old));
    v.state->deleteGroup(v.old);
    written << shoot(orphan, "entry-editor-create-group-gone", ideal, false, [&] {
        type(orphan->titleField(), QStringLiteral("Sunucu erişimi"));
        orphan->confirmButton()->click();
    });
    orphan->done(QDialog::Rejected);
    v.state->undo();

    const KdbxEntry rich = v.entry("Ziraat İnternet Şubesi");
    auto* edit =
        new EntryEditView(*v.state, v.h.preferences, EntryEditView::Mode::edit(rich), v.mainWindow.get());
    v.present(edit, Route::editEntry(rich.id));
    written << shoot(edit, "entry-editor-edit", ideal, false);
    written << shoot(edit, "entry-editor-edit-whole", ideal, true);
    written << shoot(edit, "entry-editor-edit-minimum",
                     QSize(EntryEditView::minimumWidth, EntryEditView::minimumHeight), false);
    edit->done(QDialog::Rejected);

    for (const QString& path : written) EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
}

TEST(EditorGallery, GroupEditor) {
    Vault v;
    const QSize ideal(GroupEditView::idealWidth, GroupEditView::idealHeight);
    QStringList written;

    auto* create = new GroupEditView(*v.state, GroupEditView::Mode::create(v.root), v.mainWindow.get());
    v.present(create, Route::newGroup(v.root));
    written << shoot(create, "group-editor-create", ideal, false);
    written << shoot(create, "group-editor-create-sequence", ideal, false, [&] {
        type(create->nameField(), QStringLiteral("Bankacılık"));
        editortest::click(create->sequenceSwitch());
    });
    create->done(QDialog::Rejected);

    KdbxGroup personal = v.group(v.personal);
    personal.notes = "Ailece kullanılan hesaplar.";
    personal.iconID = 62;
    v.state->update(personal);
    auto* edit =
        new GroupEditView(*v.state, GroupEditView::Mode::edit(v.group(v.personal)), v.mainWindow.get());
    v.present(edit, Route::editGroup(v.personal));
    written << shoot(edit, "group-editor-edit", ideal, false);
    edit->done(QDialog::Rejected);

    auto* root = new GroupEditView(*v.state, GroupEditView::Mode::edit(v.group(v.root)), v.mainWindow.get());
    v.present(root, Route::editGroup(v.root));
    written << shoot(root, "group-editor-edit-root", ideal, false);
    root->done(QDialog::Rejected);

    for (const QString& path : written) EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
}
