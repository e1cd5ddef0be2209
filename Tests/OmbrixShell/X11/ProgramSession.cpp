#include "ProgramSession.h"

#include <QFile>
#include <QProcessEnvironment>

#include "OmbrixState/PreferencesStore.h"
#include "Support/Fixtures.h"
#include "Support/X11/X11TestClient.h"

ProgramSession::ProgramSession(const QVariantMap& preferences) {
    if (!home_.isValid()) return;
    database_ = home_.filePath(QStringLiteral("kasa.kdbx"));
    config_ = home_.filePath(QStringLiteral(".config"));
    if (!QFile::copy(QString::fromStdString(testsupport::fixturePath(programFixture::file).string()),
                     database_))
        return;
    {
        SettingsPreferencesStore store(config_ + QStringLiteral("/Ombrix/Ombrix.conf"));
        store.setValue(QStringLiteral("recentDatabaseBookmark"), database_.toUtf8());
        for (auto it = preferences.begin(); it != preferences.end(); ++it)
            store.setValue(it.key(), it.value());
    }
    ready_ = true;
}

ProgramSession::~ProgramSession() {
    if (isRunning()) {
        program_.kill();
        program_.waitForFinished(10000);
    }
}

bool ProgramSession::start() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home_.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config_);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    program_.setProcessEnvironment(environment);
    program_.setProcessChannelMode(QProcess::ForwardedChannels);
    program_.start(QStringLiteral(OMBRIX_PROGRAM), {});
    return program_.waitForStarted(30000);
}

bool ProgramSession::waitForExit(int timeoutMs) {
    return spinUntil([&] { return program_.state() == QProcess::NotRunning; }, timeoutMs);
}
