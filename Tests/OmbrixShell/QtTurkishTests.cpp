#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include "OmbrixState/FilePanels.h"
#include "Support/WhenShown.h"

// Qt's own words, as the program installs them at start-up: the suite's main does the same.

TEST(TextFields, ContextMenuSpeaksTurkish) {
    const QStringList expected{"Geri al", "Yinele", "Kes", "Kopyala", "Yapıştır", "Sil", "Tümünü Seç"};
    const auto words = [](QMenu* menu) {
        QStringList shown;
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator()) shown << action->text().section(QLatin1Char('\t'), 0, 0).remove('&');
        }
        delete menu;
        return shown;
    };
    QLineEdit line(QStringLiteral("metin"));
    EXPECT_EQ(words(line.createStandardContextMenu()), expected);
    QPlainTextEdit notes(QStringLiteral("metin"));
    EXPECT_EQ(words(notes.createStandardContextMenu()), expected);
}

TEST(FilePanels, QtsOwnWordsAreTurkish) {
    QTemporaryDir dir;
    {
        QFile file(dir.filePath("kasa.kdbx"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(QByteArray(100, 'x')), 100);
        ASSERT_TRUE(file.flush());
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir("arşiv"));
    DialogFilePanels panels;
    QStringList columns, tips;
    QString size, folderType;
    whenShown<QFileDialog>([&](QFileDialog* d) {
        d->setDirectory(dir.path());
        auto* view = d->findChild<QTreeView*>(QStringLiteral("treeView"));
        QAbstractItemModel* model = view->model();
        for (int column = 0; column < model->columnCount(); ++column)
            columns << model->headerData(column, Qt::Horizontal).toString();
        for (const char* name : {"backButton", "toParentButton", "newFolderButton", "detailModeButton"})
            tips << d->findChild<QToolButton*>(QLatin1String(name))->toolTip();
        // The listing fills in on a later turn of the event loop.
        QTimer::singleShot(200, d, [&, d, view, model] {
            const QModelIndex root = view->rootIndex();
            for (int row = 0; row < model->rowCount(root); ++row) {
                const QString name = model->index(row, 0, root).data().toString();
                if (name == "kasa.kdbx") size = model->index(row, 1, root).data().toString();
                if (name == "arşiv") folderType = model->index(row, 2, root).data().toString();
            }
            d->reject();
        });
    });
    EXPECT_FALSE(panels.chooseDatabase());
    EXPECT_EQ(columns, (QStringList{"Ad", "Boyut", "Tür", "Değiştirilme Tarihi"}));
    EXPECT_EQ(tips, (QStringList{"Geri", "Üst Dizin", "Yeni Klasör Oluştur", "Ayrıntılı Görünüm"}));
    EXPECT_EQ(size, "100 bayt");
    EXPECT_EQ(folderType, "Klasör");
}
