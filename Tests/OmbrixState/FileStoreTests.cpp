#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "OmbrixState/FileStore.h"

namespace {

mode_t modeOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    return info.st_mode & 0777;
}

Bytes bytes(const char* text) {
    return Bytes(text, text + std::strlen(text));
}

}  // namespace

TEST(LocalFileStore, ReadsAndWritesWholeFiles) {
    QTemporaryDir dir;
    LocalFileStore files;
    const QString path = dir.filePath("kasa.kdbx");
    EXPECT_FALSE(files.fileExists(path));
    files.writeAtomically(path, bytes("birinci"));
    EXPECT_TRUE(files.fileExists(path));
    EXPECT_EQ(files.read(path), bytes("birinci"));
    files.writeAtomically(path, bytes("ikinci, daha uzun"));
    EXPECT_EQ(files.read(path), bytes("ikinci, daha uzun"));
    files.writeAtomically(path, {});
    EXPECT_EQ(files.read(path), Bytes{});
    EXPECT_FALSE(files.fileExists(dir.path()));  // a folder is not a file
}

TEST(LocalFileStore, NewFilesAreTheOwnersOnlyAndExistingOnesKeepTheirMode) {
    QTemporaryDir dir;
    LocalFileStore files;
    const QString fresh = dir.filePath("yeni.kdbx");
    files.writeAtomically(fresh, bytes("x"));
    EXPECT_EQ(modeOf(fresh), 0600u);

    const QString shared = dir.filePath("paylaşılan.kdbx");
    files.writeAtomically(shared, bytes("x"));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0640), 0);
    files.writeAtomically(shared, bytes("y"));
    EXPECT_EQ(modeOf(shared), 0640u);
}

TEST(LocalFileStore, RefusesWhatIsNotARegularFile) {
    QTemporaryDir dir;
    LocalFileStore files;
    const QString fifo = dir.filePath("boru");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A named pipe without a writer would block a plain open; it is refused at once.
    for (const QString& path : {fifo, dir.path(), QStringLiteral("/dev/null")}) {
        try {
            files.read(path);
            ADD_FAILURE() << path.toStdString();
        } catch (const FileError& error) {
            EXPECT_EQ(error.kind(), FileError::Kind::notARegularFile) << path.toStdString();
            EXPECT_NE(std::string(error.what()).find("bir dosya değil"), std::string::npos);
        }
    }
}

TEST(LocalFileStore, FailuresCarryATurkishReasonAndLeaveNothingBehind) {
    QTemporaryDir dir;
    LocalFileStore files;
    try {
        files.read(dir.filePath("yok.kdbx"));
        ADD_FAILURE();
    } catch (const FileError& error) {
        EXPECT_EQ(error, FileError(FileError::Kind::readFailed, "yok.kdbx", "dosya ya da klasör bulunamadı"));
        EXPECT_STREQ(error.what(), "“yok.kdbx” okunamadı: dosya ya da klasör bulunamadı.");
    }

    const QString inMissingFolder = dir.filePath("yok/kasa.kdbx");
    EXPECT_THROW(files.writeAtomically(inMissingFolder, bytes("x")), FileError);
    EXPECT_FALSE(QFile::exists(inMissingFolder));

    // A path under a file: the existing file is left as it was.
    const QString plain = dir.filePath("düz");
    files.writeAtomically(plain, bytes("önceki"));
    try {
        files.writeAtomically(plain + "/kasa.kdbx", bytes("x"));
        ADD_FAILURE();
    } catch (const FileError& error) {
        EXPECT_EQ(error.kind(), FileError::Kind::writeFailed);
        EXPECT_NE(std::string(error.what()).find("Diskteki dosya değişmedi."), std::string::npos);
    }
    EXPECT_EQ(files.read(plain), bytes("önceki"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(LocalFileStore, AReplacedFileKeepsItsOwnerGroupAndModeAndALinkStaysALink) {
    QTemporaryDir dir;
    LocalFileStore files;
    const QString path = dir.filePath("kasa.kdbx");
    files.writeAtomically(path, bytes("önceki"));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    // Only the superuser may give a file away; anyone may keep a file's own owner and group.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 4321, 8765), 0);
    }
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);

    files.writeAtomically(path, bytes("sonraki"));
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mode & 0777, 0640u);
    EXPECT_NE(after.st_ino, before.st_ino);  // replaced, not rewritten in place

    const QString link = dir.filePath("bağ.kdbx");
    ASSERT_TRUE(QFile::link(path, link));
    files.writeAtomically(link, bytes("bağdan"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(files.read(path), bytes("bağdan"));
}

TEST(LocalFileStore, AFileFarLargerThanAnyDatabaseIsRefusedForItsSizeUnread) {
    QTemporaryDir dir;
    const QString path = dir.filePath("çöp.kdbx");
    QFile junk(path);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    // Sparse: two gibibytes on paper, nothing on the disk; reading it whole would take seconds.
    ASSERT_TRUE(junk.resize(qint64{2} << 30));
    junk.close();

    LocalFileStore files;
    for (const auto& read : {std::function<void()>([&] { files.read(path); }),
                             std::function<void()>([&] { files.stamp(path); })}) {
        try {
            read();
            ADD_FAILURE();
        } catch (const FileError& error) {
            EXPECT_EQ(error.kind(), FileError::Kind::tooLarge);
            EXPECT_NE(std::string(error.what()).find("dosya çok büyük (2"), std::string::npos)
                << error.what();
        }
    }
}

TEST(LocalFileStore, AStampChangesWithTheContentEvenWhenSizeAndTimeStay) {
    QTemporaryDir dir;
    LocalFileStore files;
    const QString path = dir.filePath("kasa.kdbx");
    EXPECT_EQ(files.stamp(path), std::nullopt);
    files.writeAtomically(path, bytes("aaaa"));
    const std::optional<FileStamp> first = files.stamp(path);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size, 4);
    EXPECT_EQ(files.stamp(path), first);

    files.writeAtomically(path, bytes("bbbb"));
    // Put the old modification time back, as a copy tool that keeps times would.
    struct timespec times[2] = {{0, UTIME_OMIT},
                                {first->modifiedNs / 1'000'000'000, first->modifiedNs % 1'000'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    const std::optional<FileStamp> second = files.stamp(path);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->modifiedNs, first->modifiedNs);
    EXPECT_NE(second, first);
}

namespace {

// The system calls of a save with some of them told to answer otherwise.
struct Pretend {
    // What the file being replaced says of its owner and group, when set.
    std::optional<uid_t> owner;
    std::optional<gid_t> group;
    // Errors for the calls, when set.
    std::optional<int> fchownError;
    // Only changing the owner fails; keeping the owner and changing the group works.
    bool onlyGroupMayChange = false;
    std::optional<int> fchmodError;
    std::optional<int> fsetxattrError;
    std::optional<int> accessError;
    std::optional<int> createError;
};

FileSystemCalls pretending(const std::shared_ptr<Pretend>& p) {
    FileSystemCalls calls = FileSystemCalls::system();
    const FileSystemCalls real = FileSystemCalls::system();
    calls.stat = [p, real](const char* path, struct stat* info) {
        const int result = real.stat(path, info);
        if (result == 0 && p->owner) info->st_uid = *p->owner;
        if (result == 0 && p->group) info->st_gid = *p->group;
        return result;
    };
    calls.access = [p, real](const char* path, int mode) {
        if (p->accessError) {
            errno = *p->accessError;
            return -1;
        }
        return real.access(path, mode);
    };
    calls.create = [p, real](const char* path, mode_t mode) {
        if (p->createError) {
            errno = *p->createError;
            return -1;
        }
        return real.create(path, mode);
    };
    calls.fchown = [p, real](int fd, uid_t owner, gid_t group) {
        if (p->fchownError && !(p->onlyGroupMayChange && owner == static_cast<uid_t>(-1))) {
            errno = *p->fchownError;
            return -1;
        }
        // The pretended owner and group are not real ones: the file keeps its own.
        (void)owner;
        (void)group;
        return real.fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(-1));
    };
    calls.fchmod = [p, real](int fd, mode_t mode) {
        if (p->fchmodError) {
            errno = *p->fchmodError;
            return -1;
        }
        return real.fchmod(fd, mode);
    };
    calls.fsetxattr = [p, real](int fd, const char* name, const void* value, std::size_t size) {
        if (p->fsetxattrError) {
            errno = *p->fsetxattrError;
            return -1;
        }
        return real.fsetxattr(fd, name, value, size);
    };
    return calls;
}

// Writes "sonraki" over the file at `path` through a store that pretends what `setUp` says:
// whether it saved (a failure is reported as the case's) and the note it gave.
struct PretendedSave {
    bool saved = false;
    std::optional<QString> note;
};
PretendedSave savePretending(const QString& path, const std::function<void(Pretend&)>& setUp,
                             const char* caseNote) {
    auto pretend = std::make_shared<Pretend>();
    setUp(*pretend);
    LocalFileStore files(pretending(pretend));
    try {
        return {true, files.writeAtomically(path, bytes("sonraki"))};
    } catch (const FileError& error) {
        ADD_FAILURE() << caseNote << ": " << error.what();
        return {};
    }
}

struct statInfo {
    uid_t uid;
    gid_t gid;
    mode_t mode;
};

statInfo statOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    return {info.st_uid, info.st_gid, info.st_mode & 07777};
}

// A POSIX access list as the kernel stores it in system.posix_acl_access.
QByteArray accessList(
    std::initializer_list<std::tuple<std::uint16_t, std::uint16_t, std::uint32_t>> entries) {
    QByteArray value;
    const auto put = [&value](std::uint32_t number, int bytes) {
        for (int i = 0; i < bytes; ++i) value.append(static_cast<char>((number >> (8 * i)) & 0xFF));
    };
    put(2, 4);  // version
    for (const auto& [tag, permissions, id] : entries) {
        put(tag, 2);
        put(permissions, 2);
        put(id, 4);
    }
    return value;
}

constexpr std::uint16_t aclUserObj = 0x01, aclUser = 0x02, aclGroupObj = 0x04, aclGroup = 0x08,
                        aclMask = 0x10, aclOther = 0x20;
constexpr std::uint32_t aclUndefinedId = 0xFFFFFFFF;

std::optional<QByteArray> attribute(const QString& path, const char* name) {
    char value[512];
    const ssize_t size = ::getxattr(QFile::encodeName(path).constData(), name, value, sizeof value);
    if (size < 0) return std::nullopt;
    return QByteArray(value, static_cast<qsizetype>(size));
}

}  // namespace

// A file the user can write stays savable wherever its owner, group or attributes cannot be
// kept; the new file never gives anyone access the old one did not.
TEST(LocalFileStore, AWritableFileStaysSavableAndNeverGivesWiderAccess) {
    const uid_t me = ::geteuid();
    const gid_t myGroup = ::getegid();
    struct Case {
        const char* note;
        mode_t mode;
        std::function<void(Pretend&)> setUp;
        mode_t expectedMode;
        // Words the note must hold; none: no note.
        std::vector<const char*> said;
        // Words it must not hold.
        std::vector<const char*> unsaid = {};
    };
    const std::vector<Case> cases = {
        {"sahipliği olmayan dosya sistemi (FUSE üzerinden FAT)",
         0644,
         [](Pretend& p) {
             p.owner = 4321;
             p.group = 8765;
             p.fchownError = ENOSYS;
             p.fchmodError = ENOSYS;
         },
         0600,
         {}},
        {"kendi dosyası, sahibi aynı", 0640, [](Pretend&) {}, 0640, {}},
        {"başka kullanıcının yazılabilir dosyası",
         0664,
         [myGroup](Pretend& p) {
             p.owner = 4321;
             p.group = myGroup;
             p.fchownError = EPERM;
             p.onlyGroupMayChange = true;
         },
         0664,
         {"sahibi korunamadı"}},
        {"üyesi olunmayan bir grubun dosyası",
         0640,
         [me](Pretend& p) {
             p.owner = me;
             p.group = 8765;
             p.fchownError = EPERM;
         },
         0600,
         {"grubu korunamadı", "grubun erişimi kaldırıldı"},
         {"diğerlerinin"}},
        // Others keep reading and writing: only the group lost anything, and the note says so.
        {"herkese açık dosyanın grubu korunamaz",
         0666,
         [me](Pretend& p) {
             p.owner = me;
             p.group = 8765;
             p.fchownError = EPERM;
         },
         0606,
         {"grubu korunamadı", "grubun erişimi kaldırıldı"},
         {"diğerlerinin", "başkalarının"}},
        // Others had more than the group: members of the old group would become others.
        {"grubu değişince diğerleri grubun izniyle sınırlanır",
         0604,
         [me](Pretend& p) {
             p.owner = me;
             p.group = 8765;
             p.fchownError = EPERM;
         },
         0600,
         {"grubu korunamadı", "diğerlerinin erişimi kaldırıldı"}},
        {"sahibinden geniş grup izni, sahibi değişince",
         0464,
         [myGroup](Pretend& p) {
             p.owner = 4321;
             p.group = myGroup;
             p.fchownError = EPERM;
             p.onlyGroupMayChange = true;
         },
         0444,
         {"sahibi korunamadı", "grubun erişimi daraltıldı"}},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath("kasa.kdbx");
        LocalFileStore plain;
        plain.writeAtomically(path, bytes("önceki"));
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), c.mode), 0) << c.note;

        const PretendedSave save = savePretending(path, c.setUp, c.note);
        if (!save.saved) continue;
        const std::optional<QString>& note = save.note;
        EXPECT_EQ(plain.read(path), bytes("sonraki")) << c.note;
        EXPECT_EQ(statOf(path).mode, c.expectedMode) << c.note;
        if (c.said.empty()) {
            EXPECT_FALSE(note) << c.note << ": " << note->toStdString();
        } else {
            ASSERT_TRUE(note) << c.note;
            EXPECT_TRUE(note->startsWith(QStringLiteral("“kasa.kdbx” kaydedildi, ancak")))
                << note->toStdString();
            for (const char* word : c.said)
                EXPECT_TRUE(note->contains(QString::fromUtf8(word))) << c.note << ": " << note->toStdString();
            for (const char* word : c.unsaid)
                EXPECT_FALSE(note->contains(QString::fromUtf8(word)))
                    << c.note << ": " << note->toStdString();
        }
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).join(" | ").toStdString(),
                  "kasa.kdbx")
            << c.note;
    }
}

// Extended attributes, the access list among them, come along; where they cannot, the file is
// its owner's only.
TEST(LocalFileStore, AttributesAndTheAccessListComeAlongOrTheFileBecomesTheOwnersOnly) {
    QTemporaryDir dir;
    const QString path = dir.filePath("kasa.kdbx");
    LocalFileStore plain;
    plain.writeAtomically(path, bytes("önceki"));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    // The group may read nothing; the mask lets the named user read.
    const QByteArray acl = accessList({{aclUserObj, 6, aclUndefinedId},
                                       {aclUser, 4, 4321},
                                       {aclGroupObj, 0, aclUndefinedId},
                                       {aclMask, 4, aclUndefinedId},
                                       {aclOther, 0, aclUndefinedId}});
    const QByteArray encodedPath = QFile::encodeName(path);
    if (::setxattr(encodedPath.constData(), "system.posix_acl_access", acl.constData(),
                   static_cast<std::size_t>(acl.size()), 0) != 0 ||
        ::setxattr(encodedPath.constData(), "user.ombrix-deneme", "değer", std::strlen("değer"), 0) != 0) {
        GTEST_SKIP() << "this file system takes no access lists or user attributes: " << std::strerror(errno);
    }
    ASSERT_EQ(statOf(path).mode, 0640u);  // the group bits show the mask

    plain.writeAtomically(path, bytes("sonraki"));
    EXPECT_EQ(plain.read(path), bytes("sonraki"));
    EXPECT_EQ(attribute(path, "system.posix_acl_access"), acl);
    EXPECT_EQ(attribute(path, "user.ombrix-deneme"), QByteArray("değer"));
    EXPECT_EQ(statOf(path).mode, 0640u);

    // Attributes that cannot be set: no access list, nobody but the owner.
    auto pretend = std::make_shared<Pretend>();
    pretend->fsetxattrError = EIO;
    LocalFileStore failing(pretending(pretend));
    const std::optional<QString> note = failing.writeAtomically(path, bytes("üçüncü"));
    EXPECT_EQ(plain.read(path), bytes("üçüncü"));
    EXPECT_EQ(attribute(path, "system.posix_acl_access"), std::nullopt);
    EXPECT_EQ(statOf(path).mode, 0600u);
    ASSERT_TRUE(note);
    EXPECT_TRUE(note->contains(QStringLiteral("yalnızca sahibine açık"))) << note->toStdString();
}

// An access list that cannot come along because the owner or the group cannot be kept leaves
// the file its new owner's only: its group bits are only the list's mask, and a person it
// refused would otherwise fall among those the mode lets in.
TEST(LocalFileStore, AnAccessListThatCannotComeAlongLeavesTheFileTheOwnersOnly) {
    const uid_t me = ::geteuid();
    const gid_t myGroup = ::getegid();
    struct Case {
        const char* note;
        QByteArray acl;
        mode_t modeBefore;  // as the mode shows the list: the group bits are its mask
        std::function<void(Pretend&)> setUp;
    };
    const std::vector<Case> cases = {
        {"başkasının dosyası: grubu hiçbir şey okuyamıyor, maske adı verilen kişiye okuma izni veriyor",
         accessList({{aclUserObj, 6, aclUndefinedId},
                     {aclUser, 6, 4322},
                     {aclGroupObj, 0, aclUndefinedId},
                     {aclMask, 6, aclUndefinedId},
                     {aclOther, 0, aclUndefinedId}}),
         0660,
         [myGroup](Pretend& p) {
             p.owner = 4321;
             p.group = myGroup;
             p.fchownError = EPERM;
             p.onlyGroupMayChange = true;
         }},
        {"üyesi olunmayan grup: adı verilen bir kişiye hiçbir izin yok, diğerleri okuyabiliyor",
         accessList({{aclUserObj, 6, aclUndefinedId},
                     {aclUser, 0, 4322},
                     {aclGroupObj, 4, aclUndefinedId},
                     {aclMask, 4, aclUndefinedId},
                     {aclOther, 4, aclUndefinedId}}),
         0644,
         [me](Pretend& p) {
             p.owner = me;
             p.group = 8765;
             p.fchownError = EPERM;
         }},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath("kasa.kdbx");
        LocalFileStore plain;
        plain.writeAtomically(path, bytes("önceki"));
        const QByteArray encodedPath = QFile::encodeName(path);
        if (::setxattr(encodedPath.constData(), "system.posix_acl_access", c.acl.constData(),
                       static_cast<std::size_t>(c.acl.size()), 0) != 0) {
            GTEST_SKIP() << "this file system takes no access lists: " << std::strerror(errno);
        }
        ASSERT_EQ(statOf(path).mode, c.modeBefore) << c.note;

        const PretendedSave save = savePretending(path, c.setUp, c.note);
        if (!save.saved) continue;
        const std::optional<QString>& note = save.note;
        EXPECT_EQ(plain.read(path), bytes("sonraki")) << c.note;
        EXPECT_EQ(attribute(path, "system.posix_acl_access"), std::nullopt) << c.note;
        EXPECT_EQ(statOf(path).mode, 0600u) << c.note;
        ASSERT_TRUE(note) << c.note;
        EXPECT_TRUE(note->contains(QStringLiteral("erişim listesi")))
            << c.note << ": " << note->toStdString();
        EXPECT_TRUE(note->contains(QStringLiteral("yalnızca sahibine açık")))
            << c.note << ": " << note->toStdString();
        EXPECT_FALSE(note->contains(QStringLiteral("öznitelikleri")))
            << c.note << ": the other attributes came along";
    }
}

// The cause of a refused save is named: a read-only file system, a folder that takes no new
// files.
TEST(LocalFileStore, ARefusedSaveNamesTheReadOnlyFileSystemOrTheFolder) {
    QTemporaryDir dir;
    const QString path = dir.filePath("kasa.kdbx");
    LocalFileStore plain;
    plain.writeAtomically(path, bytes("önceki"));
    struct Case {
        const char* note;
        std::function<void(Pretend&)> setUp;
        QString said;
    };
    const std::vector<Case> cases = {
        {"salt okunur bağlanmış dosya sistemi", [](Pretend& p) { p.accessError = EROFS; },
         QStringLiteral("“kasa.kdbx” kaydedilemedi: dosya sistemi salt okunur. Diskteki dosya değişmedi.")},
        {"yazılamayan klasör", [](Pretend& p) { p.createError = EACCES; },
         QStringLiteral(
             "“kasa.kdbx” kaydedilemedi: “%1” klasörüne yazma izni yok (kaydetmek için klasörde yeni "
             "bir dosya oluşturmak gerekir). Diskteki dosya değişmedi.")
             .arg(dir.path())},
        {"salt okunur dosya", [](Pretend& p) { p.accessError = EACCES; },
         QStringLiteral("“kasa.kdbx” kaydedilemedi: dosyaya yazma izni yok. Diskteki dosya değişmedi.")},
    };
    for (const Case& c : cases) {
        auto pretend = std::make_shared<Pretend>();
        c.setUp(*pretend);
        LocalFileStore files(pretending(pretend));
        try {
            files.writeAtomically(path, bytes("sonraki"));
            ADD_FAILURE() << c.note;
        } catch (const FileError& error) {
            EXPECT_EQ(std::string(error.what()), c.said.toStdString()) << c.note;
        }
        EXPECT_EQ(plain.read(path), bytes("önceki")) << c.note;
    }
}

// Side files that a save cut off by the end of its program left are removed by the next
// successful save of that file; those of a program still running, and of other files, stay.
TEST(LocalFileStore, TheNextSaveRemovesWhatACutOffSaveOfThatFileLeft) {
    QTemporaryDir dir;
    LocalFileStore files;
    const QString path = dir.filePath("kasa.kdbx");
    files.writeAtomically(path, bytes("önceki"));

    // A process that has ended.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const QString ended = QString::number(child);
    const QString running = QString::number(::getppid());

    const auto make = [&dir](const QString& name) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        EXPECT_EQ(file.write("parça"), 6);
        file.close();
    };
    const QStringList left = {".kasa.kdbx.ombrix-yeni-" + ended + "-1x2y3z",
                              ".kasa.kdbx.ombrix-eski-" + ended + "-9k8j"};
    const QStringList kept = {".kasa.kdbx.ombrix-yeni-" + running + "-4a5b",
                              ".öteki.kdbx.ombrix-yeni-" + ended + "-7h"};
    for (const QString& name : left + kept) make(name);

    files.writeAtomically(path, bytes("sonraki"));
    QStringList expected = kept;
    expected << "kasa.kdbx";
    expected.sort();
    QStringList found = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    found.sort();
    EXPECT_EQ(found.join(" | ").toStdString(), expected.join(" | ").toStdString());
}

// A folder whose default access list lets a group read what is made in it: the replacement of a
// file takes the old file's access list exactly, and none where it had none, before it takes the
// old file's place; the folder's list never reaches it.
TEST(LocalFileStore, AFoldersDefaultAccessListNeverWidensAReplacedFile) {
    const QByteArray ownList = accessList({{aclUserObj, 6, aclUndefinedId},
                                           {aclUser, 4, 4322},
                                           {aclGroupObj, 0, aclUndefinedId},
                                           {aclMask, 4, aclUndefinedId},
                                           {aclOther, 0, aclUndefinedId}});
    struct Case {
        const char* note;
        mode_t mode;
        // The old file's own list, if any.
        std::optional<QByteArray> own;
        std::function<void(Pretend&)> setUp;
        // The replacement's list afterwards (none: no list) and mode.
        std::optional<QByteArray> expectedList;
        mode_t expectedMode;
    };
    const uid_t me = ::geteuid();
    const std::vector<Case> cases = {
        {"listesiz dosya", 0640, std::nullopt, [](Pretend&) {}, std::nullopt, 0640},
        {"kendi listesi olan dosya", 0640, ownList, [](Pretend&) {}, ownList, 0640},
        {"grubu korunamayan, listesi gelemeyen dosya", 0640, ownList,
         [me](Pretend& p) {
             p.owner = me;
             p.group = 8765;
             p.fchownError = EPERM;
         },
         std::nullopt, 0600},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath("kasa.kdbx");
        LocalFileStore plain;
        plain.writeAtomically(path, bytes("önceki"));
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), c.mode), 0) << c.note;
        if (c.own && ::setxattr(QFile::encodeName(path).constData(), "system.posix_acl_access",
                                c.own->constData(), static_cast<std::size_t>(c.own->size()), 0) != 0) {
            GTEST_SKIP() << "this file system takes no access lists: " << std::strerror(errno);
        }
        // Everything made in the folder from now on: group 4321 may read it.
        const QByteArray folderDefault = accessList({{aclUserObj, 7, aclUndefinedId},
                                                     {aclGroupObj, 0, aclUndefinedId},
                                                     {aclGroup, 4, 4321},
                                                     {aclMask, 7, aclUndefinedId},
                                                     {aclOther, 0, aclUndefinedId}});
        if (::setxattr(QFile::encodeName(dir.path()).constData(), "system.posix_acl_default",
                       folderDefault.constData(), static_cast<std::size_t>(folderDefault.size()), 0) != 0) {
            GTEST_SKIP() << "this file system takes no default access lists: " << std::strerror(errno);
        }

        const PretendedSave save = savePretending(path, c.setUp, c.note);
        if (!save.saved) continue;
        EXPECT_EQ(plain.read(path), bytes("sonraki")) << c.note;
        EXPECT_EQ(attribute(path, "system.posix_acl_access"), c.expectedList) << c.note;
        EXPECT_EQ(statOf(path).mode, c.expectedMode) << c.note;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).join(" | ").toStdString(),
                  "kasa.kdbx")
            << c.note;
    }
}

namespace {

// What a save made by another user, in a child process, found: the error texts of its attempts
// ("-" for one that saved), or why the child could not be set up.
struct OtherUsersSaves {
    std::optional<std::string> setupFailed;
    std::vector<std::string> outcomes;
};

OtherUsersSaves saveAsAnotherUser(const QString& path, uid_t uid, gid_t gid, int attempts) {
    int ends[2];
    if (::pipe(ends) != 0) return {std::string("no pipe"), {}};
    const pid_t child = ::fork();
    if (child < 0) return {std::string("no fork"), {}};
    if (child == 0) {
        ::close(ends[0]);
        const auto say = [&](const std::string& text) {
            const std::string line = text + "\n";
            if (::write(ends[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) ::_exit(3);
        };
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
            say(std::string("SETUP cannot become uid ") + std::to_string(uid));
            ::_exit(0);
        }
        if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0) {
            say(std::string("SETUP the file is out of reach: ") + std::strerror(errno));
            ::_exit(0);
        }
        LocalFileStore files;
        for (int i = 0; i < attempts; ++i) {
            try {
                files.writeAtomically(path, bytes("sonraki"));
                say("-");
            } catch (const FileError& error) {
                say(error.what());
            }
        }
        ::_exit(0);
    }
    ::close(ends[1]);
    std::string all;
    char buffer[512];
    for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;)
        all.append(buffer, static_cast<std::size_t>(n));
    ::close(ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    OtherUsersSaves result;
    for (const QString& line : QString::fromStdString(all).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(QStringLiteral("SETUP ")))
            result.setupFailed = line.mid(6).toStdString();
        else
            result.outcomes.push_back(line.toStdString());
    }
    return result;
}

}  // namespace

// In a shared folder with the sticky bit (such as /tmp), the kernel lets only the owner of a file
// (or of the folder) put another file in its place, even where the file itself is writable. Such
// a save is refused before anything is made, with the reason, and leaves nothing behind.
TEST(LocalFileStore, AStickyFolderRefusesAnotherUsersFileAndLeavesNothingBehind) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: only root can make a file that belongs to another user and then save it "
                        "as a third one";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray folder = QFile::encodeName(dir.path());
    ASSERT_EQ(::chmod(folder.constData(), 01777), 0);
    const QString path = dir.filePath("kasa.kdbx");
    LocalFileStore plain;
    plain.writeAtomically(path, bytes("önceki"));
    // Another user's database that everyone may write.
    const uid_t owner = 4321;
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), owner, owner), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0666), 0);

    const OtherUsersSaves saves = saveAsAnotherUser(path, 4322, 4322, 3);
    if (saves.setupFailed) GTEST_SKIP() << *saves.setupFailed;
    ASSERT_EQ(saves.outcomes.size(), 3u);
    for (const std::string& outcome : saves.outcomes) {
        EXPECT_NE(outcome.find("“kasa.kdbx” kaydedilemedi: "), std::string::npos) << outcome;
        EXPECT_NE(outcome.find("yapışkan"), std::string::npos) << outcome;
        EXPECT_NE(outcome.find("4321"), std::string::npos) << "names the owner: " << outcome;
        EXPECT_NE(outcome.find("Diskteki dosya değişmedi."), std::string::npos) << outcome;
    }
    EXPECT_EQ(plain.read(path), bytes("önceki"));
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
    EXPECT_EQ(after.st_nlink, 1u) << "a second name of the file stayed behind";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).join(" | ").toStdString(),
              "kasa.kdbx");
}
