#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QByteArray>
#include <QString>

#include "OmbrixCore/Foundation/Bytes.h"

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

// While it lives, every other Ombrix that wants to save the same file waits: a look at the file
// and its replacement made under it are one step for all of them.
class FileHold {
  public:
    virtual ~FileHold() = default;
};

// The file access of the application state: whole files in, whole files out.
class FileStore {
  public:
    virtual ~FileStore() = default;

    // Waits until no other Ombrix is saving the file at the path, and keeps them waiting until
    // the hold goes. None where the file system takes no lock: saving goes on without. Throws
    // FileError when another one holds it far longer than any save takes.
    virtual std::unique_ptr<FileHold> holdForSaving(const QString& path) {
        (void)path;
        return nullptr;
    }

    // The whole content of a regular file. Throws FileError; anything other than a regular
    // file (a folder, a device, a named pipe) is refused before it is read.
    virtual Bytes read(const QString& path) const = 0;
    // Replaces or creates the file in one step: either the whole new content is there
    // afterwards, or the previous file is untouched. Throws FileError. Returns, in Turkish, what
    // could not be kept of who may reach the file (its owner, group or access list), when
    // something could not: the new file then gives less access, never more.
    virtual std::optional<QString> writeAtomically(const QString& path, const Bytes& bytes) = 0;
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
    // Of the file being replaced (following links), before anything is written.
    std::function<int(const char* path, struct stat* info)> stat;
    std::function<int(const char* path, int mode)> access;
    // Creates the file that takes the new content (O_CREAT | O_EXCL); the descriptor or -1.
    std::function<int(const char* path, mode_t mode)> create;
    std::function<int(int fd, uid_t owner, gid_t group)> fchown;
    std::function<int(int fd, mode_t mode)> fchmod;
    // The extended attributes of the file being replaced, and their copies on the new one.
    std::function<ssize_t(const char* path, char* names, std::size_t size)> listxattr;
    std::function<ssize_t(const char* path, const char* name, void* value, std::size_t size)> getxattr;
    std::function<int(int fd, const char* name, const void* value, std::size_t size)> fsetxattr;
    std::function<int(int fd, const char* name)> fremovexattr;
    std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
    std::function<int(int fd)> fdatasync;
    // Of the folder, after the rename.
    std::function<int(int fd)> fsyncFolder;
    std::function<int(const char* from, const char* to)> rename;
    // A second name for the file being replaced, kept until the new one is durable.
    std::function<int(const char* from, const char* to)> link;

    // The system's own.
    static FileSystemCalls system();
};

// The local file system. A write goes to a new file in the same folder, which is written whole,
// synced and renamed over the old one, and then the folder is synced; every step is checked,
// and on any failure the old file stays as it was and the new one is removed. A new file is
// readable by its owner only; an existing file keeps its permissions, owner, group and extended
// attributes (its access list among them, and no other: a folder's default access list does not
// reach it). What cannot be kept never widens access: where the owner or the group cannot be
// kept, the classes that would now mean other people lose their bits; where the attributes
// cannot be copied, the file is its owner's only. A file system that keeps no owners (FAT) is
// written without them. In a folder with the sticky bit, another user's file is refused before
// anything is made: only its owner may put a new file in its place. A successful save removes
// the side files that an earlier save of the same file left when the program was cut off.
//
// The hold of a save is an advisory lock (flock) on a hidden file beside the database, there only
// while someone holds it.
class LocalFileStore final : public FileStore {
  public:
    // Larger files are refused before their content is read: the engine inflates no payload
    // beyond this size either, and no real database comes near it.
    static constexpr std::int64_t maxFileSize = std::int64_t{1} << 30;
    // How long a save waits for another Ombrix's save of the same file: longer than writing and
    // syncing a large database on a slow stick takes.
    static constexpr int holdWaitSeconds = 60;

    explicit LocalFileStore(FileSystemCalls calls = FileSystemCalls::system());

    std::unique_ptr<FileHold> holdForSaving(const QString& path) override;
    Bytes read(const QString& path) const override;
    std::optional<QString> writeAtomically(const QString& path, const Bytes& bytes) override;
    bool fileExists(const QString& path) const override;
    bool isFreeForNewFile(const QString& path) const override;
    std::optional<FileStamp> stamp(const QString& path) const override;
    std::optional<FileStamp> stampFor(const QString& path, const Bytes& content) const override;

  private:
    std::optional<QString> keepAccess(int fd, const struct stat& old, const QString& target,
                                      const QString& name);
    bool copyAttributes(int fd, const QString& target, bool accessList);
    bool hasAttribute(const QString& target, const char* attribute) const;
    void removeLeftovers(const QString& folder, const QString& fileName);

    FileSystemCalls calls_;
};
