#pragma once

#include <sys/types.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

#include <QByteArray>
#include <QString>

#include "OmbrixCore/Crypto/Bytes.h"

// A failure to read or write a file, with the Turkish text shown to the user.
class FileError : public std::exception {
  public:
    enum class Kind {
        readFailed,
        notARegularFile,
        tooLarge,
        writeFailed,
        // A file that was not there could not be written; nothing was left at the path.
        createFailed,
        // Another program changed the file since it was opened or last saved; nothing was written.
        changedOnDisk,
        // The new content is in place but the folder could not be synced, and the previous file
        // could not be put back.
        notDurable,
    };

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

// What a file looked like at one moment: enough to tell that someone else changed it since.
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    // SHA-256 of the content.
    QByteArray digest;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;

    // The digest a stamp carries for this content.
    static QByteArray digestOf(const Bytes& content);
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
    // The file as it is now; none when nothing is there or the store cannot tell. Throws
    // FileError when it is there but cannot be read.
    virtual std::optional<FileStamp> stamp(const QString& path) const {
        (void)path;
        return std::nullopt;
    }
    // The same, for a file whose content is known (just read or just written): it is looked
    // at, not read and hashed once more.
    virtual std::optional<FileStamp> stampFor(const QString& path, const Bytes& content) const {
        std::optional<FileStamp> now = stamp(path);
        if (now) now->digest = FileStamp::digestOf(content);
        return now;
    }
};

// The system calls a write goes through. Tests replace them to make each step fail the way a
// full disk or a failing device does; everything else about the write stays the real one.
struct FileSystemCalls {
    std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
    std::function<int(int fd)> fdatasync;
    // Of the folder, after the rename.
    std::function<int(int fd)> fsyncFolder;
    std::function<int(const char* from, const char* to)> rename;

    // The system's own.
    static FileSystemCalls system();
};

// The local file system. A write goes to a new file in the same folder, which is written whole,
// synced and renamed over the old one, and then the folder is synced; every step is checked,
// and on any failure the old file stays as it was and the new one is removed. A new file is
// readable by its owner only; an existing file keeps its permissions, owner and group.
class LocalFileStore final : public FileStore {
  public:
    // Larger files are refused before their content is read: the engine inflates no payload
    // beyond this size either, and no real database comes near it.
    static constexpr std::int64_t maxFileSize = std::int64_t{1} << 30;

    explicit LocalFileStore(FileSystemCalls calls = FileSystemCalls::system());

    Bytes read(const QString& path) const override;
    void writeAtomically(const QString& path, const Bytes& bytes) override;
    bool fileExists(const QString& path) const override;
    bool isFreeForNewFile(const QString& path) const override;
    std::optional<FileStamp> stamp(const QString& path) const override;
    std::optional<FileStamp> stampFor(const QString& path, const Bytes& content) const override;

  private:
    FileSystemCalls calls_;
};
