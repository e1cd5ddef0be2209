#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

// A cheap key derivation (AES-KDF, 5000 rounds); the password needs a letter the US layout
// does not have. Its entries: "Not" (notes only) in the root group and, in "Genel", "Sunucu
// Girişi" with user name "yönetici".
namespace programFixture {
inline const char* const file = "kdbx/v40-aeskdf-chacha20-gzip-password.kdbx";
inline const char* const password = "aes-kdf ile dört";
inline const char* const databaseName = "Anahtar Dosyası Kasası (v40-aeskdf-chacha20-gzip-password)";
}  // namespace programFixture

// The built program run as a fresh user runs it: home and settings in a temporary folder, a copy
// of the fixture database chosen as the recent one, and the given preferences written before the
// start. A program still running when the session ends is killed.
class ProgramSession {
  public:
    explicit ProgramSession(const QVariantMap& preferences = {});
    ~ProgramSession();
    ProgramSession(const ProgramSession&) = delete;
    ProgramSession& operator=(const ProgramSession&) = delete;

    // The folder, the database copy and the settings are in place.
    bool isReady() const { return ready_; }
    // Starts the program; false when it could not be started.
    bool start();
    bool isRunning() const { return program_.state() != QProcess::NotRunning; }
    // Waits for the program to end by itself, running the event loop meanwhile.
    bool waitForExit(int timeoutMs);

    qint64 pid() const { return program_.processId(); }
    const QProcess& process() const { return program_; }
    // The database file the program works on.
    QString databasePath() const { return database_; }

  private:
    QTemporaryDir home_;
    QString database_;
    QString config_;
    QProcess program_;
    bool ready_ = false;
};
