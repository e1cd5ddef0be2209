#include "OmbrixState/FileStore.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <thread>
#include <utility>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>

namespace {

QString describeErrno(int error) {
    switch (error) {
        case ENOENT:
            return QStringLiteral("dosya ya da klasör bulunamadı");
        case EACCES:
        case EPERM:
            return QStringLiteral("erişim izni yok");
        case EROFS:
            return QStringLiteral("dosya sistemi salt okunur");
        case ENOSPC:
            return QStringLiteral("diskte yer kalmadı");
        case EDQUOT:
            return QStringLiteral("disk kotası doldu");
        case EFBIG:
            return QStringLiteral("dosya, izin verilen en büyük dosya boyutunu aşıyor");
        case EISDIR:
            return QStringLiteral("bu bir klasör");
        case ENOTDIR:
            return QStringLiteral("yolun bir parçası klasör değil");
        case ENAMETOOLONG:
            return QStringLiteral("dosya adı çok uzun");
        case EIO:
            return QStringLiteral("giriş/çıkış hatası (disk ya da bağlantı sorunu)");
        case EBUSY:
        case ETXTBSY:
            return QStringLiteral("dosya kullanımda");
        case EMFILE:
        case ENFILE:
            return QStringLiteral("çok fazla dosya açık");
        case ENOMEM:
            return QStringLiteral("bellek yetersiz");
        case ELOOP:
            return QStringLiteral("çok fazla sembolik bağlantı var");
        case EXDEV:
            return QStringLiteral("dosya başka bir dosya sistemine taşınamaz");
        case ESTALE:
            return QStringLiteral("ağ üzerindeki dosyaya artık ulaşılamıyor");
        case ETIMEDOUT:
            return QStringLiteral("işlem zaman aşımına uğradı");
        case EOPNOTSUPP:
            return QStringLiteral("dosya sistemi bu işlemi desteklemiyor");
        case EINVAL:
            return QStringLiteral("dosya sistemi bu işlemi kabul etmedi");
        case EMLINK:
            return QStringLiteral("klasörde çok fazla bağlantı var");
        default: {
            // Never a bare number: the symbolic name at least tells a helper where to look.
            const char* name = ::strerrorname_np(error);
            return name ? QStringLiteral("beklenmeyen bir sistem hatası (%1)").arg(QString::fromLatin1(name))
                        : QStringLiteral("beklenmeyen bir sistem hatası");
        }
    }
}

QString userName(uid_t uid) {
    if (const passwd* entry = ::getpwuid(uid); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(uid);
}

QString groupName(gid_t gid) {
    if (const group* entry = ::getgrgid(gid); entry && entry->gr_name)
        return QString::fromLocal8Bit(entry->gr_name);
    return QString::number(gid);
}

QString displayName(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

QString sizeText(std::int64_t bytes) {
    return QLocale(QLocale::Turkish).formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int release() { return std::exchange(fd_, -1); }
    // Closes now and says whether the system reported an error (errno holds it).
    bool close() {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

// A name in the same folder that nobody uses, for the new content or for a link to the old.
QString sideName(const QString& folder, const QString& name, const char* role) {
    const quint64 token = QRandomGenerator::global()->generate64();
    // The writer's process is part of the name: a later save removes what one that was cut off
    // left, and never what one still running is writing.
    return folder + QStringLiteral("/.") + name + QStringLiteral(".ombrix-") + QString::fromLatin1(role) +
           QStringLiteral("-") + QString::number(::getpid()) + QStringLiteral("-") +
           QString::number(token, 36);
}

FileStamp stampOf(const struct stat& info, const QByteArray& digest) {
    FileStamp stamp;
    stamp.size = info.st_size;
    stamp.modifiedNs = std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
    stamp.digest = digest;
    return stamp;
}

// Reads an open regular file whole; `stat` is what fstat said of it.
Bytes readWhole(int fd, const struct stat& info, const QString& name) {
    if (info.st_size > LocalFileStore::maxFileSize)
        throw FileError(FileError::Kind::tooLarge, name, sizeText(info.st_size));
    Bytes bytes;
    try {
        bytes.reserve(static_cast<std::size_t>(info.st_size));
        std::uint8_t buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EINTR) continue;
                throw FileError(FileError::Kind::readFailed, name, describeErrno(errno));
            }
            if (n == 0) break;
            // A file that keeps growing while it is read is refused at the same bound.
            if (bytes.size() + static_cast<std::size_t>(n) >
                static_cast<std::size_t>(LocalFileStore::maxFileSize))
                throw FileError(FileError::Kind::tooLarge, name, sizeText(LocalFileStore::maxFileSize));
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
    } catch (const std::bad_alloc&) {
        throw FileError(FileError::Kind::tooLarge, name, QStringLiteral("belleğe sığmıyor"));
    } catch (const std::length_error&) {
        throw FileError(FileError::Kind::tooLarge, name, QStringLiteral("belleğe sığmıyor"));
    }
    return bytes;
}

// Opens a path for reading without following it into a named pipe's wait, and refuses
// anything but a regular file.
int openRegular(const QString& path, const QString& name, struct stat& info) {
    // Non-blocking open, so that a named pipe cannot hold the program before it is refused.
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw FileError(FileError::Kind::readFailed, name, describeErrno(errno));
    Descriptor guard(fd);
    if (::fstat(fd, &info) != 0) throw FileError(FileError::Kind::readFailed, name, describeErrno(errno));
    if (!S_ISREG(info.st_mode)) throw FileError(FileError::Kind::notARegularFile, name);
    return guard.release();
}

// The file a path names: a link is followed, so that the file it leads to is the one replaced
// and the link stays.
QString followedLink(const QString& path) {
    if (QFileInfo(path).isSymLink()) {
        const QString resolved = QFileInfo(path).canonicalFilePath();
        if (!resolved.isEmpty()) return resolved;
    }
    return path;
}

// Held by the save that looks at the file and replaces it.
class LockFileHold final : public FileHold {
  public:
    LockFileHold(int fd, QByteArray path) : fd_(fd), path_(std::move(path)) {}
    ~LockFileHold() override {
        // The name goes while the lock is still held: a save that waited on it finds the name
        // gone, and the next one takes a new file.
        ::unlink(path_.constData());
        ::close(fd_);
    }
    LockFileHold(const LockFileHold&) = delete;
    LockFileHold& operator=(const LockFileHold&) = delete;

  private:
    int fd_;
    QByteArray path_;
};

// What a narrower mode took from whom.
QString narrowingNote(mode_t before, mode_t after) {
    QStringList parts;
    const auto lost = [&](int shift, const QString& whose) {
        const mode_t had = (before >> shift) & 07;
        const mode_t has = (after >> shift) & 07;
        if ((had & ~has) == 0) return;
        parts << (has == 0 ? QStringLiteral("%1 erişimi kaldırıldı")
                           : QStringLiteral("%1 erişimi daraltıldı"))
                     .arg(whose);
    };
    lost(3, QStringLiteral("grubun"));
    lost(0, QStringLiteral("diğerlerinin"));
    if ((before & ~after & (S_ISUID | S_ISGID)) != 0)
        parts << QStringLiteral("setuid/setgid bitleri kaldırıldı");
    if (parts.isEmpty()) parts << QStringLiteral("erişim daraltıldı");
    return parts.join(QStringLiteral(", ")) +
           QStringLiteral(", hiç kimseye eskisinden geniş erişim verilmedi");
}

}  // namespace

FileError::FileError(Kind kind, QString fileName, QString reason)
    : kind_(kind), fileName_(std::move(fileName)), reason_(std::move(reason)) {
    QString text;
    switch (kind_) {
        case Kind::readFailed:
            text = QStringLiteral("“%1” okunamadı: %2.").arg(fileName_, reason_);
            break;
        case Kind::notARegularFile:
            text = QStringLiteral(
                       "“%1” bir dosya değil (klasör, aygıt ya da adlandırılmış boru); lütfen bir "
                       "dosya seçin.")
                       .arg(fileName_);
            break;
        case Kind::tooLarge:
            text =
                QStringLiteral("“%1” açılmadı: dosya çok büyük (%2); bir veritabanı bu kadar büyük olamaz.")
                    .arg(fileName_, reason_);
            break;
        case Kind::writeFailed:
            text =
                QStringLiteral("“%1” kaydedilemedi: %2. Diskteki dosya değişmedi.").arg(fileName_, reason_);
            break;
        case Kind::createFailed:
            text = QStringLiteral("“%1” kaydedilemedi: %2. Diskte yeni bir dosya bırakılmadı.")
                       .arg(fileName_, reason_);
            break;
        case Kind::changedOnDisk:
            text = QStringLiteral(
                       "“%1” diskte başka bir program tarafından değiştirilmiş; üzerine "
                       "yazılmadı. Diskteki dosya değişmedi. Değişikliklerinizi “Farklı Kaydet…” ile "
                       "başka bir adla kaydedin.")
                       .arg(fileName_);
            break;
        case Kind::notDurable:
            text = QStringLiteral(
                       "“%1” yazıldı ama diske işlendiği doğrulanamadı: %2. Değişikliklerinizi "
                       "“Farklı Kaydet…” ile başka bir konuma da kaydedin.")
                       .arg(fileName_, reason_);
            break;
    }
    description_ = text.toStdString();
}

QByteArray FileStamp::digestOf(const Bytes& content) {
    return QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char*>(content.data()), static_cast<qsizetype>(content.size())),
        QCryptographicHash::Sha256);
}

FileSystemCalls FileSystemCalls::system() {
    FileSystemCalls calls;
    calls.stat = [](const char* path, struct stat* info) { return ::stat(path, info); };
    calls.access = [](const char* path, int mode) { return ::access(path, mode); };
    calls.create = [](const char* path, mode_t mode) {
        return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    };
    calls.fchown = [](int fd, uid_t owner, gid_t group) { return ::fchown(fd, owner, group); };
    calls.fchmod = [](int fd, mode_t mode) { return ::fchmod(fd, mode); };
    calls.listxattr = [](const char* path, char* names, std::size_t size) {
        return ::listxattr(path, names, size);
    };
    calls.getxattr = [](const char* path, const char* name, void* value, std::size_t size) {
        return ::getxattr(path, name, value, size);
    };
    calls.fsetxattr = [](int fd, const char* name, const void* value, std::size_t size) {
        return ::fsetxattr(fd, name, value, size, 0);
    };
    calls.fremovexattr = [](int fd, const char* name) { return ::fremovexattr(fd, name); };
    calls.write = [](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); };
    calls.fdatasync = [](int fd) { return ::fdatasync(fd); };
    calls.fsyncFolder = [](int fd) { return ::fsync(fd); };
    calls.rename = [](const char* from, const char* to) { return ::rename(from, to); };
    calls.link = [](const char* from, const char* to) { return ::link(from, to); };
    return calls;
}

LocalFileStore::LocalFileStore(FileSystemCalls calls) : calls_(std::move(calls)) {}

Bytes LocalFileStore::read(const QString& path) const {
    const QString name = displayName(path);
    struct stat info {};
    const Descriptor fd(openRegular(path, name, info));
    return readWhole(fd.get(), info, name);
}

std::optional<FileStamp> LocalFileStore::stamp(const QString& path) const {
    const QString name = displayName(path);
    struct stat info {};
    if (::stat(encoded(path).constData(), &info) != 0 && errno == ENOENT) return std::nullopt;
    const Descriptor fd(openRegular(path, name, info));
    return stampOf(info, FileStamp::digestOf(readWhole(fd.get(), info, name)));
}

std::optional<FileStamp> LocalFileStore::stampFor(const QString& path, const Bytes& content) const {
    struct stat info {};
    if (::stat(encoded(path).constData(), &info) != 0 && errno == ENOENT) return std::nullopt;
    const Descriptor fd(openRegular(path, displayName(path), info));
    return stampOf(info, FileStamp::digestOf(content));
}

std::unique_ptr<FileHold> LocalFileStore::holdForSaving(const QString& path) {
    const QFileInfo file(followedLink(path));
    const QByteArray lockPath = encoded(file.absolutePath() + QStringLiteral("/.") + file.fileName() +
                                        QStringLiteral(".ombrix-kilit"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(holdWaitSeconds);
    for (;;) {
        // Open for writing where allowed: over NFS an exclusive lock needs it. Another user's lock
        // file (a shared database) is locked through a descriptor for reading.
        int opened =
            ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (opened < 0 && (errno == EACCES || errno == EPERM))
            opened = ::open(lockPath.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        // A folder or a file system that takes no lock file: the save goes on without, as it
        // always did.
        if (opened < 0) return nullptr;
        Descriptor fd(opened);
        struct stat held {};
        if (::fstat(fd.get(), &held) != 0 || !S_ISREG(held.st_mode)) return nullptr;
        // The other users of a shared database open it too, whatever the creator's umask.
        if (held.st_uid == ::geteuid()) ::fchmod(fd.get(), 0644);
        while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) return nullptr;
            if (std::chrono::steady_clock::now() >= deadline) {
                throw FileError(FileError::Kind::writeFailed, displayName(path),
                                QStringLiteral("başka bir Ombrix bu dosyayı %1 saniyedir kaydediyor")
                                    .arg(holdWaitSeconds));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        struct stat named {};
        if (::lstat(lockPath.constData(), &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino)
            return std::make_unique<LockFileHold>(fd.release(), lockPath);
        // The save waited for let go and took the name along: the lock is the next file now.
    }
}

std::optional<QString> LocalFileStore::writeAtomically(const QString& path, const Bytes& bytes) {
    const QString name = displayName(path);
    bool existed = false;
    const auto fail = [&name, &existed](int error) {
        return FileError(existed ? FileError::Kind::writeFailed : FileError::Kind::createFailed, name,
                         describeErrno(error));
    };

    const QString target = followedLink(path);
    const QString folder = QFileInfo(target).absolutePath();
    const QString fileName = QFileInfo(target).fileName();

    struct stat old {};
    if (calls_.stat(encoded(target).constData(), &old) == 0) {
        existed = true;
        if (!S_ISREG(old.st_mode))
            throw FileError(FileError::Kind::writeFailed, name,
                            QStringLiteral("bu konumdaki şey bir dosya değil"));
        // A file the user made read-only is not replaced behind their back; on a read-only
        // mount the file system is the reason, and it is named.
        if (calls_.access(encoded(target).constData(), W_OK) != 0) {
            const int error = errno;
            throw FileError(FileError::Kind::writeFailed, name,
                            error == EACCES || error == EPERM ? QStringLiteral("dosyaya yazma izni yok")
                                                              : describeErrno(error));
        }
        // In a folder with the sticky bit (/tmp, a shared folder) only the file's owner, or the
        // folder's, may put another file in its place. The kernel would refuse the rename at the
        // very end, after a second name of the file that nobody could remove had been made.
        struct stat folderInfo {};
        const uid_t me = ::geteuid();
        if (me != 0 && old.st_uid != me && ::stat(encoded(folder).constData(), &folderInfo) == 0 &&
            (folderInfo.st_mode & S_ISVTX) != 0 && folderInfo.st_uid != me) {
            throw FileError(
                FileError::Kind::writeFailed, name,
                QStringLiteral("dosya “%1” kullanıcısına ait ve “%2” klasöründe yapışkan bit var: "
                               "bu klasörde bir dosyanın yerine yenisini yalnızca dosyanın ya da "
                               "klasörün sahibi koyabilir")
                    .arg(userName(old.st_uid), QDir::toNativeSeparators(folder)));
        }
    } else if (errno != ENOENT) {
        throw FileError(FileError::Kind::writeFailed, name, describeErrno(errno));
    }

    // The new content goes to a file of its own in the same folder, so that the rename below
    // replaces the old file in one step.
    QString temporary;
    Descriptor fd;
    for (int attempt = 0; fd.get() < 0; ++attempt) {
        temporary = sideName(folder, fileName, "yeni");
        // Owner-only from its first moment: a database holds secrets.
        const int opened = calls_.create(encoded(temporary).constData(), 0600);
        if (opened >= 0) {
            fd.reset(opened);
        } else if (errno != EEXIST || attempt > 8) {
            const int error = errno;
            // Saving makes a new file beside the old one: a folder that takes no new files is
            // the cause, even where the file itself is writable.
            if (error == EACCES || error == EPERM) {
                throw FileError(existed ? FileError::Kind::writeFailed : FileError::Kind::createFailed, name,
                                QStringLiteral("“%1” klasörüne yazma izni yok (kaydetmek için klasörde yeni "
                                               "bir dosya oluşturmak gerekir)")
                                    .arg(QDir::toNativeSeparators(folder)));
            }
            throw fail(error);
        }
    }
    // Everything from here on removes the new file again when it does not reach its place.
    struct Cleanup {
        QByteArray path;
        bool armed = true;
        ~Cleanup() {
            if (armed) ::unlink(path.constData());
        }
    } cleanup{encoded(temporary)};

    std::optional<QString> note;
    if (existed) note = keepAccess(fd.get(), old, target, name);

    const std::uint8_t* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = calls_.write(fd.get(), next, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            throw fail(errno);
        }
        // A short write is followed by another; one that writes nothing would repeat forever.
        if (written == 0) throw fail(ENOSPC);
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    if (calls_.fdatasync(fd.get()) != 0) throw fail(errno);
    if (!fd.close()) throw fail(errno);

    const Descriptor folderFd(::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() < 0) throw fail(errno);

    // A second name for the old file, so that it can be put back should the folder not reach
    // the disk after the rename. Where the file system has no links, nothing can be put back.
    QByteArray previous;
    if (existed) {
        for (int attempt = 0; attempt < 8 && previous.isEmpty(); ++attempt) {
            const QByteArray candidate = encoded(sideName(folder, fileName, "eski"));
            if (calls_.link(encoded(target).constData(), candidate.constData()) == 0)
                previous = candidate;
            else if (errno != EEXIST)
                break;
        }
    }

    if (calls_.rename(encoded(temporary).constData(), encoded(target).constData()) != 0) {
        const int error = errno;
        if (!previous.isEmpty()) ::unlink(previous.constData());
        throw fail(error);
    }
    cleanup.armed = false;

    if (calls_.fsyncFolder(folderFd.get()) != 0) {
        const int error = errno;
        if (!existed) {
            // A new file that may not survive a crash is taken away again: no file is no loss.
            ::unlink(encoded(target).constData());
            throw fail(error);
        }
        if (!previous.isEmpty() && ::rename(previous.constData(), encoded(target).constData()) == 0)
            throw fail(error);
        if (!previous.isEmpty()) ::unlink(previous.constData());
        throw FileError(FileError::Kind::notDurable, name, describeErrno(error));
    }
    if (!previous.isEmpty()) ::unlink(previous.constData());
    removeLeftovers(folder, fileName);
    return note;
}

// The replacement keeps who owns the file and who may reach it. What cannot be kept is given
// up towards less access, never more, and the returned note says what changed.
std::optional<QString> LocalFileStore::keepAccess(int fd, const struct stat& old, const QString& target,
                                                  const QString& name) {
    struct stat made {};
    if (::fstat(fd, &made) != 0) throw FileError(FileError::Kind::writeFailed, name, describeErrno(errno));
    // A folder's default access list was given to the new file as it was made: the file takes
    // the old one's list below, or none, never the folder's.
    const bool inheritedListStays = calls_.fremovexattr(fd, "system.posix_acl_access") != 0 &&
                                    errno != ENODATA && errno != ENOTSUP && errno != EOPNOTSUPP &&
                                    errno != ENOSYS;
    uid_t owner = made.st_uid;
    gid_t group = made.st_gid;
    bool ownerless = false;
    if (owner != old.st_uid || group != old.st_gid) {
        if (calls_.fchown(fd, old.st_uid, old.st_gid) == 0) {
            owner = old.st_uid;
            group = old.st_gid;
        } else if (errno == ENOSYS || errno == EOPNOTSUPP || errno == ENOTSUP) {
            // The file system keeps no owners (FAT through a FUSE driver): nothing to keep.
            ownerless = true;
        } else if (group != old.st_gid && calls_.fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0) {
            // Not ours to give away; the group still is where we are in it.
            group = old.st_gid;
        }
    }
    const bool ownerChanged = !ownerless && owner != old.st_uid;
    const bool groupChanged = !ownerless && group != old.st_gid;

    const mode_t oldMode = old.st_mode & 07777;
    mode_t mode = oldMode;
    if (ownerChanged || groupChanged) mode &= ~mode_t{S_ISUID | S_ISGID};
    if (ownerChanged) {
        // The previous owner now falls among the group or the others: neither class may give
        // more than the owner had.
        const mode_t ownerBits = (oldMode >> 6) & 07;
        mode &= ~((07 & ~ownerBits) << 3) & ~(07 & ~ownerBits);
    }
    if (groupChanged) {
        // The group bits would now speak for another group; and members of the old group who are
        // not in the new one fall among the others, who may keep only what that group had.
        const mode_t groupBits = (oldMode >> 3) & 07;
        mode &= ~mode_t{070};
        mode &= ~(07 & ~groupBits);
    }
    // The access list speaks of the owner and the owning group: with another one it would speak
    // for the wrong people, so it stays behind. Nor can the mode stand in for it: its group bits
    // are only the list's mask (a group that may read nothing shows as readable when a named
    // person may read), and a person the list refused would fall among those the mode lets in.
    // What is left is the owner.
    const bool keepAccessList = !ownerChanged && !groupChanged;
    const bool accessListLost = !keepAccessList && hasAttribute(target, "system.posix_acl_access");
    if (accessListLost) mode &= 0700;

    // Where the mode cannot be set the new file keeps its own, owner-only one; on a file system
    // that has no modes (FAT) that changes nothing anyone could tell.
    mode_t given = mode;
    if (calls_.fchmod(fd, mode) != 0 && errno != ENOSYS && errno != EOPNOTSUPP && errno != ENOTSUP)
        given = 0600;
    // What the group, the others or the special bits lost (the owner keeps what it had).
    const bool narrowed = (oldMode & ~given & 07077) != 0;

    bool attributesLost = false;
    const bool listReplaced = keepAccessList && hasAttribute(target, "system.posix_acl_access");
    if (!copyAttributes(fd, target, keepAccessList) || (inheritedListStays && !listReplaced)) {
        attributesLost = true;
        calls_.fremovexattr(fd, "system.posix_acl_access");
        // The mode set above may give the group what only the missing list held back: the file
        // is never written wider than the owner's own.
        if (calls_.fchmod(fd, mode & 0700) != 0 && errno != ENOSYS && errno != EOPNOTSUPP && errno != ENOTSUP)
            throw FileError(FileError::Kind::writeFailed, name, describeErrno(errno));
    }

    if (!ownerChanged && !groupChanged && !narrowed && !attributesLost) return std::nullopt;
    QStringList changes;
    if (ownerChanged)
        changes << QStringLiteral("dosyanın sahibi korunamadı (yeni sahibi “%1”)").arg(userName(owner));
    if (groupChanged) changes << QStringLiteral("grubu korunamadı (yeni grubu “%1”)").arg(groupName(group));
    if (attributesLost)
        changes << QStringLiteral(
            "ek öznitelikleri (erişim listesi dahil) aktarılamadı; dosya artık yalnızca sahibine açık");
    else if (accessListLost)
        changes << QStringLiteral("erişim listesi aktarılamadı; dosya artık yalnızca sahibine açık");
    else if (narrowed)
        changes << narrowingNote(oldMode, given);
    return QStringLiteral("“%1” kaydedildi, ancak %2.").arg(name, changes.join(QStringLiteral("; ")));
}

// Copies every extended attribute of the old file to the new one; false when one could not be
// had or set. The access list only when asked.
bool LocalFileStore::copyAttributes(int fd, const QString& target, bool accessList) {
    const QByteArray path = encoded(target);
    QByteArray names;
    for (int attempt = 0;; ++attempt) {
        const ssize_t size = calls_.listxattr(path.constData(), nullptr, 0);
        if (size < 0) return errno == ENOTSUP || errno == EOPNOTSUPP || errno == ENOSYS;
        if (size == 0) return true;
        names.resize(size);
        const ssize_t got = calls_.listxattr(path.constData(), names.data(), static_cast<std::size_t>(size));
        if (got >= 0) {
            names.resize(got);
            break;
        }
        if (errno != ERANGE || attempt > 4) return false;
    }
    bool all = true;
    for (const QByteArray& attribute : names.split('\0')) {
        if (attribute.isEmpty()) continue;
        if (!accessList && attribute == "system.posix_acl_access") continue;
        QByteArray value;
        ssize_t size = -1;
        for (int attempt = 0; attempt < 4; ++attempt) {
            size = calls_.getxattr(path.constData(), attribute.constData(), nullptr, 0);
            if (size < 0) break;
            value.resize(size);
            size = calls_.getxattr(path.constData(), attribute.constData(), value.data(),
                                   static_cast<std::size_t>(value.size()));
            if (size >= 0 || errno != ERANGE) break;
        }
        if (size < 0) {
            // Gone between the list and the read: nothing to carry over.
            if (errno == ENODATA) continue;
            all = false;
            continue;
        }
        value.resize(size);
        if (calls_.fsetxattr(fd, attribute.constData(), value.constData(), static_cast<std::size_t>(size)) ==
            0)
            continue;
        // A security label the system gave the new file already is kept as it is.
        if (attribute.startsWith("security.")) {
            QByteArray own(size + 1, '\0');
            const ssize_t ownSize = ::fgetxattr(fd, attribute.constData(), own.data(), own.size());
            if (ownSize == size && own.left(size) == value) continue;
        }
        all = false;
    }
    return all;
}

bool LocalFileStore::hasAttribute(const QString& target, const char* attribute) const {
    return calls_.getxattr(encoded(target).constData(), attribute, nullptr, 0) >= 0;
}

// Files a save of this name left when it was cut off (the program ended mid-save): the new
// content that never took the file's place, and second names of replaced versions. Those of a
// program still running (another window saving the same file right now) stay.
void LocalFileStore::removeLeftovers(const QString& folder, const QString& fileName) {
    const QDir dir(folder);
    const QString prefix = QStringLiteral(".") + fileName + QStringLiteral(".ombrix-");
    const QStringList found =
        dir.entryList({prefix + QStringLiteral("yeni-*"), prefix + QStringLiteral("eski-*")},
                      QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : found) {
        const QString rest = entry.mid(prefix.size() + 5);
        const int dash = rest.indexOf(u'-');
        bool numeric = false;
        const qint64 pid = dash > 0 ? rest.left(dash).toLongLong(&numeric) : 0;
        const QByteArray entryPath = encoded(dir.filePath(entry));
        if (numeric && pid > 0) {
            const bool own = pid == ::getpid();
            const bool running = !own && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
            if (running) continue;
        } else {
            // Named before the writer's process was part of the name: left alone while recent.
            struct stat info {};
            if (::lstat(entryPath.constData(), &info) != 0) continue;
            if (::time(nullptr) - info.st_mtim.tv_sec < 600) continue;
        }
        ::unlink(entryPath.constData());
    }
}

bool LocalFileStore::fileExists(const QString& path) const {
    return QFileInfo(path).isFile();
}

bool LocalFileStore::isFreeForNewFile(const QString& path) const {
    const QFileInfo info(path);
    // A link counts as something there, even when it leads nowhere.
    if (!info.exists() && !info.isSymLink()) return true;
    return info.isFile() && !info.isSymLink() && info.size() == 0;
}
