#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>

#include <cstring>

#include <QDir>
#include <QFile>
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
