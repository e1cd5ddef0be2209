#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "OmbrixState/FilePanels.h"
#include "Support/WhenShown.h"

namespace {

QString acceptText(QFileDialog* dialog) {
    auto* box = dialog->findChild<QDialogButtonBox*>();
    return box ? box->buttons().front()->text() : QString();
}

QString cancelText(QFileDialog* dialog) {
    auto* box = dialog->findChild<QDialogButtonBox*>();
    QPushButton* cancel = box ? box->button(QDialogButtonBox::Cancel) : nullptr;
    return cancel ? cancel->text() : QString();
}

// Types a name in the dialog's folder and confirms.
void typeAndConfirm(QFileDialog* dialog, const QString& folder, const QString& name) {
    dialog->setDirectory(folder);
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
    QMetaObject::invokeMethod(dialog, "accept");
}

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

}  // namespace

TEST(FilePanels, OpenDialogsHaveTheirTitlesButtonsAndFilters) {
    struct Case {
        std::function<std::optional<QString>(DialogFilePanels&)> open;
        const char* title;
        const char* button;
        const char* filter;
    };
    const Case cases[] = {
        {[](DialogFilePanels& p) { return p.chooseDatabase(); }, "Veritabanı Aç", "Aç",
         "KDBX veritabanı (*.kdbx)"},
        {[](DialogFilePanels& p) { return p.chooseKeyFile(); }, "Anahtar Dosyası Seç", "Seç",
         "Tüm dosyalar (*)"},
    };
    QTemporaryDir dir;
    touch(dir.filePath("anahtar"));
    for (const Case& c : cases) {
        DialogFilePanels panels;
        QString title, button, cancel;
        QStringList filters;
        QFileDialog::FileMode mode{};
        whenShown<QFileDialog>([&](QFileDialog* d) {
            title = d->windowTitle();
            button = acceptText(d);
            cancel = cancelText(d);
            filters = d->nameFilters();
            mode = d->fileMode();
            d->reject();
        });
        EXPECT_FALSE(c.open(panels)) << c.title;  // cancelled
        EXPECT_EQ(title, QString::fromUtf8(c.title));
        EXPECT_EQ(button, QString::fromUtf8(c.button));
        EXPECT_EQ(cancel, QStringLiteral("Vazgeç")) << c.title << ": as in the save dialogs";
        EXPECT_EQ(filters, QStringList{QString::fromUtf8(c.filter)});
        EXPECT_EQ(mode, QFileDialog::ExistingFile);
    }

    DialogFilePanels panels;
    whenShown<QFileDialog>([&](QFileDialog* d) { typeAndConfirm(d, dir.path(), "anahtar"); });
    EXPECT_EQ(panels.chooseKeyFile(), dir.filePath("anahtar"));
}

TEST(FilePanels, NewDatabaseNamesEndInKdbx) {
    struct Case {
        const char* typed;  // nullptr: the proposed name
        const char* chosen;
    };
    const Case cases[] = {
        {nullptr, "Radir.kdbx"},
        {"kasa", "kasa.kdbx"},
        {"kasa.txt", "kasa.txt.kdbx"},
        {"KASA.KDBX", "KASA.KDBX"},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        DialogFilePanels panels;
        QString title, button, cancel;
        whenShown<QFileDialog>([&](QFileDialog* d) {
            title = d->windowTitle();
            button = acceptText(d);
            cancel = cancelText(d);
            const QString proposed = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
            typeAndConfirm(d, dir.path(), c.typed ? QString::fromUtf8(c.typed) : proposed);
        });
        EXPECT_EQ(panels.newDatabaseDestination(), dir.filePath(QString::fromUtf8(c.chosen))) << c.chosen;
        EXPECT_EQ(title, "Yeni Veritabanı");
        EXPECT_EQ(button, "Oluştur");
        EXPECT_EQ(cancel, "Vazgeç");
    }
}

TEST(FilePanels, AnExistingFileIsReplacedOnlyWhenTheUserAgrees) {
    QTemporaryDir dir;
    touch(dir.filePath("kasa.kdbx"));
    DialogFilePanels panels;
    QStringList questions;
    int asked = 0;
    // The question names the final name, with the extension the dialog adds.
    whenShown<QFileDialog>([&](QFileDialog* d) {
        whenShown<QMessageBox>([&, d](QMessageBox* box) {
            questions << box->text();
            ++asked;
            // Keep it the first time (the dialog stays open), replace the second time.
            const QString answer = asked == 1 ? QStringLiteral("Vazgeç") : QStringLiteral("Değiştir");
            for (QAbstractButton* b : box->buttons()) {
                if (b->text() == answer) b->click();
            }
            if (asked == 1) {
                QTimer::singleShot(0, d, [&, d] {
                    EXPECT_TRUE(d->isVisible());
                    whenShown<QMessageBox>([&](QMessageBox* again) {
                        questions << again->text();
                        ++asked;
                        for (QAbstractButton* b : again->buttons()) {
                            if (b->text() == QStringLiteral("Değiştir")) b->click();
                        }
                    });
                    QMetaObject::invokeMethod(d, "accept");
                });
            }
        });
        typeAndConfirm(d, dir.path(), "kasa");
    });
    EXPECT_EQ(panels.saveAsDestination("kasa.kdbx"), dir.filePath("kasa.kdbx"));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(questions.value(0), "“kasa.kdbx” zaten var. Yerine yenisini kaydetmek istiyor musunuz?");
}

TEST(FilePanels, ANewVaultNeverReplacesAFileAndSaysThatAnExistingOneIsOpened) {
    QTemporaryDir dir;
    {
        QFile file(dir.filePath("kasa.kdbx"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write("KDBX"), 4);
        ASSERT_TRUE(file.flush());
    }
    touch(dir.filePath("bos.kdbx"));
    struct Case {
        const char* typed;
        const char* answer;  // nullptr: no question is asked
        bool chosen;
        const char* note;
    };
    const Case cases[] = {
        {"kasa", "Aç", true, "an existing vault is opened, and the question says so"},
        {"kasa", "Vazgeç", false, "or the user goes back to the dialog"},
        {"bos", nullptr, true, "an empty file is where the new vault goes"},
        {"yeni", nullptr, true, "a new name"},
    };
    for (const Case& c : cases) {
        DialogFilePanels panels;
        QStringList questions, buttons;
        whenShown<QFileDialog>([&](QFileDialog* d) {
            if (c.answer) {
                whenShown<QMessageBox>([&, d](QMessageBox* box) {
                    questions << box->text();
                    for (QAbstractButton* b : box->buttons()) buttons << b->text();
                    bool answered = false;
                    for (QAbstractButton* b : box->buttons()) {
                        if (b->text() == QString::fromUtf8(c.answer)) {
                            b->click();
                            answered = true;
                        }
                    }
                    if (!answered) box->reject();
                    // Still open after going back: cancelled by hand.
                    QTimer::singleShot(0, d, [d] {
                        if (d->isVisible()) d->reject();
                    });
                });
            }
            typeAndConfirm(d, dir.path(), QString::fromUtf8(c.typed));
        });
        const std::optional<QString> chosen = panels.newDatabaseDestination();
        const QString path = dir.filePath(QString::fromUtf8(c.typed) + ".kdbx");
        EXPECT_EQ(chosen, c.chosen ? std::optional(path) : std::nullopt) << c.note;
        if (c.answer) {
            EXPECT_EQ(questions,
                      QStringList{"“kasa.kdbx” zaten var. Yeni kasa oluşturulmaz; bu dosya açılır."})
                << c.note;
            EXPECT_EQ(buttons, (QStringList{"Aç", "Vazgeç"})) << c.note;
        } else {
            EXPECT_TRUE(questions.isEmpty()) << c.note;
        }
    }
    QFile kept(dir.filePath("kasa.kdbx"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "KDBX");
}

TEST(FilePanels, SaveAsProposesTheGivenName) {
    QTemporaryDir dir;
    DialogFilePanels panels;
    QString proposed, title;
    whenShown<QFileDialog>([&](QFileDialog* d) {
        title = d->windowTitle();
        proposed = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        typeAndConfirm(d, dir.path(), proposed);
    });
    EXPECT_EQ(panels.saveAsDestination("Aile Kasası.kdbx"), dir.filePath("Aile Kasası.kdbx"));
    EXPECT_EQ(proposed, "Aile Kasası.kdbx");
    EXPECT_EQ(title, "Farklı Kaydet");

    whenShown<QFileDialog>([&](QFileDialog* d) { d->reject(); });
    EXPECT_FALSE(panels.saveAsDestination("x.kdbx"));

    // Given the open file's path, it opens in that file's folder and proposes its name, wherever
    // the program was started.
    QTemporaryDir other;
    ASSERT_NE(QFileInfo(QDir::currentPath()).canonicalFilePath(),
              QFileInfo(other.path()).canonicalFilePath());
    QString folder;
    whenShown<QFileDialog>([&](QFileDialog* d) {
        folder = QFileInfo(d->directory().absolutePath()).canonicalFilePath();
        proposed = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        QMetaObject::invokeMethod(d, "accept");
    });
    EXPECT_EQ(panels.saveAsDestination(other.filePath("kasa.kdbx")), other.filePath("kasa.kdbx"));
    EXPECT_EQ(folder, QFileInfo(other.path()).canonicalFilePath());
    EXPECT_EQ(proposed, "kasa.kdbx");
}
