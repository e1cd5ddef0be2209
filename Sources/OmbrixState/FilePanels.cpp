#include "OmbrixState/FilePanels.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

namespace {

const QString kdbxFilter = QStringLiteral("KDBX veritabanı (*.kdbx)");

// Qt's file list writes sizes and dates in the system's locale ("100 bytes", "12/10/26 9:02 PM")
// and calls a folder "Folder", whatever translation is loaded; this rewrites those in Turkish.
// The types of files come from the system's file-type names in the default (Turkish) locale.
class TurkishListing final : public QIdentityProxyModel {
  public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        const QModelIndex source = mapToSource(index);
        if (role != Qt::DisplayRole || !files || !source.isValid())
            return QIdentityProxyModel::data(index, role);
        const QLocale turkish(QLocale::Turkish, QLocale::Turkey);
        switch (index.column()) {
            case 1:
                if (!files->isDir(source)) return turkish.formattedDataSize(files->size(source));
                break;
            case 2:
                if (files->isDir(source) && !files->fileInfo(source).isRoot())
                    return QStringLiteral("Klasör");
                break;
            case 3:
                return turkish.toString(files->lastModified(source), QLocale::ShortFormat);
            default:
                break;
        }
        return QIdentityProxyModel::data(index, role);
    }
};

// The dialog's own words in Turkish; the title and the confirm button are set per dialog. Qt
// puts its own words back on the buttons when the accept mode changes: that comes first.
void translate(QFileDialog& dialog, const QString& title, const QString& accept) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new TurkishListing(&dialog));
    dialog.setWindowTitle(title);
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Konum:"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Dosya adı:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Dosya türü:"));
    dialog.setLabelText(QFileDialog::Accept, accept);
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Vazgeç"));
}

// A save dialog that settles the final name (with its extension) before it speaks about an
// existing file, and speaks Turkish. Saving as replaces a file the user agrees to replace; a new
// vault never replaces anything: the lock screen opens a file that is already there (an empty
// one is where the new vault goes), and the question says so.
class SaveDialog final : public QFileDialog {
  public:
    enum class Existing { replaceOnConsent, openInstead };

    SaveDialog(QWidget* parent, bool forceKdbxExtension, Existing existing)
        : QFileDialog(parent), forceKdbxExtension_(forceKdbxExtension), existing_(existing) {
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        setNameFilter(kdbxFilter);
        // Adds the extension to a name without one; accept() handles other extensions.
        setDefaultSuffix(QStringLiteral("kdbx"));
        // The question below covers the final name; Qt's own would not know what happens next.
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
                if (!mayTake(QFileInfo(path))) return;
            }
        }
        QFileDialog::accept();
    }

  private:
    bool mayTake(const QFileInfo& file) {
        if (!file.exists()) return true;
        if (existing_ == Existing::replaceOnConsent)
            return ask(QStringLiteral("“%1” zaten var. Yerine yenisini kaydetmek istiyor musunuz?"),
                       QStringLiteral("Değiştir"), file);
        if (file.size() == 0) return true;
        return ask(QStringLiteral("“%1” zaten var. Yeni kasa oluşturulmaz; bu dosya açılır."),
                   QStringLiteral("Aç"), file);
    }

    bool ask(const QString& text, const QString& agree, const QFileInfo& file) {
        QMessageBox question(QMessageBox::Warning, windowTitle(), text.arg(file.fileName()),
                             QMessageBox::NoButton, this);
        QPushButton* yes = question.addButton(agree, QMessageBox::AcceptRole);
        QPushButton* keep = question.addButton(QStringLiteral("Vazgeç"), QMessageBox::RejectRole);
        question.setDefaultButton(keep);
        question.setEscapeButton(keep);
        question.exec();
        return question.clickedButton() == yes;
    }

    bool forceKdbxExtension_;
    Existing existing_;
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
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    translate(dialog, QStringLiteral("Veritabanı Aç"), QStringLiteral("Aç"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(kdbxFilter);
    return run(dialog);
}

std::optional<QString> DialogFilePanels::chooseKeyFile() {
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    translate(dialog, QStringLiteral("Anahtar Dosyası Seç"), QStringLiteral("Seç"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("Tüm dosyalar (*)"));
    return run(dialog);
}

std::optional<QString> DialogFilePanels::newDatabaseDestination() {
    SaveDialog dialog(parent_, true, SaveDialog::Existing::openInstead);
    translate(dialog, QStringLiteral("Yeni Veritabanı"), QStringLiteral("Oluştur"));
    dialog.selectFile(QStringLiteral("Radir.kdbx"));
    return run(dialog);
}

std::optional<QString> DialogFilePanels::saveAsDestination(const QString& suggested) {
    SaveDialog dialog(parent_, false, SaveDialog::Existing::replaceOnConsent);
    translate(dialog, QStringLiteral("Farklı Kaydet"), QStringLiteral("Kaydet"));
    dialog.selectFile(suggested);
    return run(dialog);
}
