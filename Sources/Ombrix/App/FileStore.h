#pragma once

#include <exception>
#include <string>

#include <QString>

#include "OmbrixCore/Crypto/Bytes.h"

// A failure to read or write a file, with the Turkish text shown to the user.
class FileError : public std::exception {
  public:
    enum class Kind { readFailed, notARegularFile, tooLarge, writeFailed };

    // `reason` is the Turkish cause ("dosya bulunamadı", ...); empty for the kinds without one.
    FileError(Kind kind, QString fileName, QString reason = {});

    Kind kind() const noexcept { return kind_; }
    const QString& fileName() const noexcept { return fileName_; }
    const QString& reason() const noexcept { return reason_; }

    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const FileError& a, const FileError& b) {
        return a.kind_ == b.kind_ && a.fileName_ == b.fileName_ && a.reason_ == b.reason_;
    }

  private:
    Kind kind_;
    QString fileName_;
    QString reason_;
    std::string description_;
};

// The file access of the application state: whole files in, whole files out.
class FileStore {
  public:
    virtual ~FileStore() = default;

    // The whole content of a regular file. Throws FileError; anything other than a regular
    // file (a folder, a device, a named pipe) is refused before it is read.
    virtual Bytes read(const QString& path) const = 0;
    // Replaces or creates the file in one step: either the whole new content is there
    // afterwards, or the previous file is untouched. Throws FileError.
    virtual void writeAtomically(const QString& path, const Bytes& bytes) = 0;
    // Whether a regular file exists at the path.
    virtual bool fileExists(const QString& path) const = 0;
    // Whether a new file may be put at the path without losing anything: nothing is there, or
    // an empty regular file is.
    virtual bool isFreeForNewFile(const QString& path) const = 0;
};

// The local file system. Writes go through QSaveFile (a temporary file renamed into place); a
// new file is readable by its owner only, an existing file keeps its permissions.
class LocalFileStore final : public FileStore {
  public:
    Bytes read(const QString& path) const override;
    void writeAtomically(const QString& path, const Bytes& bytes) override;
    bool fileExists(const QString& path) const override;
    bool isFreeForNewFile(const QString& path) const override;
};
