#include "Ombrix/App/FileStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <new>

#include <QFileInfo>
#include <QSaveFile>

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
        case EDQUOT:
            return QStringLiteral("diskte yer kalmadı");
        case EISDIR:
            return QStringLiteral("bu bir klasör");
        case ENOTDIR:
            return QStringLiteral("yolun bir parçası klasör değil");
        case ENAMETOOLONG:
            return QStringLiteral("dosya adı çok uzun");
        case EIO:
            return QStringLiteral("giriş/çıkış hatası");
        case EBUSY:
        case ETXTBSY:
            return QStringLiteral("dosya kullanımda");
        default:
            return QStringLiteral("sistem hatası (kod %1)").arg(error);
    }
}

QString describeSaveError(const QSaveFile& file, int error) {
    if (error != 0) return describeErrno(error);
    switch (file.error()) {
        case QFileDevice::PermissionsError:
            return QStringLiteral("erişim izni yok");
        case QFileDevice::ResourceError:
            return QStringLiteral("diskte yer kalmadı");
        case QFileDevice::OpenError:
            return QStringLiteral("dosya açılamadı");
        default:
            return QStringLiteral("dosyaya yazılamadı");
    }
}

QString displayName(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

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
            text = QStringLiteral("“%1” belleğe sığmayacak kadar büyük.").arg(fileName_);
            break;
        case Kind::writeFailed:
            text =
                QStringLiteral("“%1” kaydedilemedi: %2. Diskteki dosya değişmedi.").arg(fileName_, reason_);
            break;
    }
    description_ = text.toStdString();
}

Bytes LocalFileStore::read(const QString& path) const {
    const QString name = displayName(path);
    // Non-blocking open, so that a named pipe cannot hold the program before it is refused.
    const Descriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) throw FileError(FileError::Kind::readFailed, name, describeErrno(errno));
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        throw FileError(FileError::Kind::readFailed, name, describeErrno(errno));
    if (!S_ISREG(info.st_mode)) throw FileError(FileError::Kind::notARegularFile, name);

    Bytes bytes;
    try {
        bytes.reserve(static_cast<std::size_t>(info.st_size));
        std::uint8_t buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EINTR) continue;
                throw FileError(FileError::Kind::readFailed, name, describeErrno(errno));
            }
            if (n == 0) break;
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
    } catch (const std::bad_alloc&) {
        throw FileError(FileError::Kind::tooLarge, name);
    } catch (const std::length_error&) {
        throw FileError(FileError::Kind::tooLarge, name);
    }
    return bytes;
}

void LocalFileStore::writeAtomically(const QString& path, const Bytes& bytes) {
    const QString name = displayName(path);
    const QFileInfo info(path);
    const bool existed = info.exists();
    // A file the user made read-only is not replaced behind their back.
    if (existed && !info.isWritable()) {
        throw FileError(FileError::Kind::writeFailed, name, QStringLiteral("dosyaya yazma izni yok"));
    }
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        const int error = errno;
        throw FileError(FileError::Kind::writeFailed, name, describeSaveError(file, error));
    }
    // A database holds secrets: a new one is for its owner's eyes only. QSaveFile carries an
    // existing file's permissions over by itself.
    if (!existed && ::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0) {
        const int error = errno;
        file.cancelWriting();
        throw FileError(FileError::Kind::writeFailed, name, describeErrno(error));
    }
    const auto size = static_cast<qint64>(bytes.size());
    errno = 0;
    if (file.write(reinterpret_cast<const char*>(bytes.data()), size) != size) {
        const int error = errno;
        file.cancelWriting();
        throw FileError(FileError::Kind::writeFailed, name, describeSaveError(file, error));
    }
    errno = 0;
    if (!file.commit()) {
        const int error = errno;
        throw FileError(FileError::Kind::writeFailed, name, describeSaveError(file, error));
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
