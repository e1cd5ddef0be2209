#pragma once

#include <optional>

#include <QString>

class QWidget;

// The four file dialogs. Each returns the chosen absolute path, or none when the dialog ends
// any other way than with its confirm button. They only choose: nothing is read or written.
class FilePanels {
  public:
    virtual ~FilePanels() = default;

    // "Veritabanı Aç" / "Aç": one existing *.kdbx file.
    virtual std::optional<QString> chooseDatabase() = 0;
    // "Anahtar Dosyası Seç" / "Seç": one existing file of any kind.
    virtual std::optional<QString> chooseKeyFile() = 0;
    // "Yeni Veritabanı" / "Oluştur", proposing "Radir.kdbx": a name whose extension is not
    // kdbx (in any case) gains ".kdbx". A file of that name with content is never replaced: the
    // dialog says it will be opened instead, and the user agrees or goes back.
    virtual std::optional<QString> newDatabaseDestination() = 0;
    // "Farklı Kaydet", proposing `suggested`: a name, or a path whose folder it opens in and
    // whose name it proposes. A name without an extension gains ".kdbx".
    virtual std::optional<QString> saveAsDestination(const QString& suggested) = 0;
};

// Qt's own (non-native) file dialogs, so that they take the application's dark palette, with
// Turkish texts and the *.kdbx filter. Saving as asks before replacing a file, under the final
// name with its extension.
class DialogFilePanels final : public FilePanels {
  public:
    explicit DialogFilePanels(QWidget* parent = nullptr) : parent_(parent) {}

    std::optional<QString> chooseDatabase() override;
    std::optional<QString> chooseKeyFile() override;
    std::optional<QString> newDatabaseDestination() override;
    std::optional<QString> saveAsDestination(const QString& suggested) override;

  private:
    QWidget* parent_;
};
