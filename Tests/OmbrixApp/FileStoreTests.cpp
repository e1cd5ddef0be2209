#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "Ombrix/App/FileStore.h"

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
