#include "Ombrix/App/FilePanels.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace {

const QString kdbxFilter = QStringLiteral("KDBX veritabanı (*.kdbx)");

// The dialog's own words in Turkish; the title and the confirm button are set per dialog.
void translate(QFileDialog& dialog, const QString& title, const QString& accept) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowTitle(title);
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Konum:"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Dosya adı:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Dosya türü:"));
    dialog.setLabelText(QFileDialog::Accept, accept);
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Vazgeç"));
}

// A save dialog that settles the final name (with its extension) before it asks whether an
// existing file may be replaced, and asks in Turkish.
class SaveDialog final : public QFileDialog {
  public:
    SaveDialog(QWidget* parent, bool forceKdbxExtension)
        : QFileDialog(parent), forceKdbxExtension_(forceKdbxExtension) {
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        setNameFilter(kdbxFilter);
        // Adds the extension to a name without one; accept() handles other extensions.
        setDefaultSuffix(QStringLiteral("kdbx"));
        // The question below covers the final name; Qt's own would be asked in English.
        setOption(QFileDialog::DontConfirmOverwrite);
    }

    void accept() override {
        const QStringList files = selectedFiles();
        if (files.size() == 1) {
            QString path = files.front();
            const QFileInfo info(path);
            if (!info.isDir()) {
                if (forceKdbxExtension_ && info.suffix().toLower() != u"kdbx") {
                    path += QStringLiteral(".kdbx");
                    selectFile(path);
                }
                if (QFileInfo::exists(path) && !confirmReplace(path)) return;
            }
        }
        QFileDialog::accept();
    }

  private:
    bool confirmReplace(const QString& path) {
        QMessageBox question(QMessageBox::Warning, windowTitle(),
                             QStringLiteral("“%1” zaten var. Yerine yenisini kaydetmek istiyor musunuz?")
                                 .arg(QFileInfo(path).fileName()),
                             QMessageBox::NoButton, this);
        QPushButton* replace = question.addButton(QStringLiteral("Değiştir"), QMessageBox::AcceptRole);
        QPushButton* keep = question.addButton(QStringLiteral("Vazgeç"), QMessageBox::RejectRole);
        question.setDefaultButton(keep);
        question.setEscapeButton(keep);
        question.exec();
        return question.clickedButton() == replace;
    }

    bool forceKdbxExtension_;
};

std::optional<QString> run(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.size() != 1 || files.front().isEmpty()) return std::nullopt;
    return QFileInfo(files.front()).absoluteFilePath();
}

}  // namespace

std::optional<QString> DialogFilePanels::chooseDatabase() {
    QFileDialog dialog(parent_);
    translate(dialog, QStringLiteral("Veritabanı Aç"), QStringLiteral("Aç"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(kdbxFilter);
    return run(dialog);
}

std::optional<QString> DialogFilePanels::chooseKeyFile() {
    QFileDialog dialog(parent_);
    translate(dialog, QStringLiteral("Anahtar Dosyası Seç"), QStringLiteral("Seç"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("Tüm dosyalar (*)"));
    return run(dialog);
}

std::optional<QString> DialogFilePanels::newDatabaseDestination() {
    SaveDialog dialog(parent_, true);
    translate(dialog, QStringLiteral("Yeni Veritabanı"), QStringLiteral("Oluştur"));
    dialog.selectFile(QStringLiteral("Radir.kdbx"));
    return run(dialog);
}

std::optional<QString> DialogFilePanels::saveAsDestination(const QString& suggested) {
    SaveDialog dialog(parent_, false);
    translate(dialog, QStringLiteral("Farklı Kaydet"), QStringLiteral("Kaydet"));
    dialog.selectFile(suggested);
    return run(dialog);
}
