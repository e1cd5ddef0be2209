#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixState/DatabaseCodec.h"
#include "OmbrixState/FilePanels.h"
#include "OmbrixState/WorkRunner.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Card.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/Badge.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/ErrorBanner.h"
#include "OmbrixUI/SecretField.h"
#include "OmbrixUI/StrengthMeter.h"
#include "OmbrixUI/SymbolView.h"
#include "OmbrixUI/UnlockView.h"
#include "Support/AppStateFakes.h"
#include "Support/Fixtures.h"
#include "Support/WidgetProbe.h"

namespace {

using namespace fakes;
using Mode = UnlockView::Mode;

// File dialogs that answer from queues; an empty queue is a cancelled dialog.
class ScriptedPanels final : public FilePanels {
  public:
    std::optional<QString> chooseDatabase() override { return take(databases); }
    std::optional<QString> chooseKeyFile() override { return take(keyFiles); }
    std::optional<QString> newDatabaseDestination() override { return take(destinations); }
    std::optional<QString> saveAsDestination(const QString&) override { return std::nullopt; }

    std::deque<QString> databases;
    std::deque<QString> keyFiles;
    std::deque<QString> destinations;

  private:
    static std::optional<QString> take(std::deque<QString>& answers) {
        if (answers.empty()) return std::nullopt;
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Bytes bytesOf(const QByteArray& data) {
    return Bytes(data.begin(), data.end());
}

// The lock screen over a faked application state, shown in an active window.
struct LockScreen {
    explicit LockScreen(const std::optional<QString>& file = std::nullopt) {
        if (file) state->prepare(h.path(*file));
        view = std::make_unique<UnlockView>(*state, panels, metrics);
        view->resize(480, 760);
        view->show();
        QApplication::setActiveWindow(view.get());
        QApplication::processEvents();
    }

    // A vault at `name` that opens with the password and, when given, the key file's bytes.
    void writeVault(const QString& name, const QString& password, std::optional<QByteArray> keyData = {}) {
        // An empty password is no password, as when unlocking.
        const KdbxKey key(
            password.isEmpty() ? std::nullopt : std::optional<std::string>(password.toStdString()),
            keyData ? std::optional<Bytes>(bytesOf(*keyData)) : std::nullopt);
        h.files->writeAtomically(h.path(name), h.codec->save(database(group("Kök")), key));
    }

    // Submits and lets the deferred work run.
    void submit() {
        view->submit();
        settle();
    }
    void settle() {
        for (int turn = 0; turn < 10 && view->isBusy(); ++turn) QApplication::processEvents();
    }

    bool bannerShown() const { return view->errorBanner()->isVisibleTo(view.get()); }

    // Whether a label or button with exactly this text is on screen.
    bool shows(const QString& text) const {
        for (QLabel* label : view->findChildren<QLabel*>())
            if (label->text() == text && label->isVisibleTo(view.get())) return true;
        for (ElidedLabel* label : view->findChildren<ElidedLabel*>())
            if (label->text() == text && label->isVisibleTo(view.get())) return true;
        for (QAbstractButton* button : view->findChildren<QAbstractButton*>())
            if (button->text() == text && button->isVisibleTo(view.get())) return true;
        return false;
    }

    QAbstractButton* button(const QString& textOrTip) const {
        for (QAbstractButton* b : view->findChildren<QAbstractButton*>())
            if ((b->text() == textOrTip || b->toolTip() == textOrTip) && b->isVisibleTo(view.get())) return b;
        ADD_FAILURE() << "no button " << textOrTip.toStdString();
        return nullptr;
    }

    void click(const QString& textOrTip) const {
        if (QAbstractButton* b = button(textOrTip)) QTest::mouseClick(b, Qt::LeftButton);
    }

    Harness h;
    std::unique_ptr<AppState> state = h.makeState();
    ScriptedPanels panels;
    LockScreenMetrics metrics;
    std::unique_ptr<UnlockView> view;
};

// A change of the card's content reaches the outermost layout one level per turn of the loop.
void settleLayout() {
    for (int turn = 0; turn < 8; ++turn) QApplication::processEvents();
}

QString invalidCredentials() {
    return QString::fromUtf8(KdbxError::invalidCredentials().what());
}

}  // namespace

TEST(UnlockView, ModeFollowsTheStateOfTheChosenFile) {
    struct Case {
        std::function<void(LockScreen&)> prepareFile;  // before the view exists
        std::optional<QString> chosen;
        Mode mode;
        const char* note;
    };
    const Case cases[] = {
        {{}, std::nullopt, Mode::choose, "nothing chosen"},
        {{}, "yeni.kdbx", Mode::create, "no file there"},
        {[](LockScreen& s) { writeFile(s.h.path("boş.kdbx"), {}); }, "boş.kdbx", Mode::create, "empty file"},
        {[](LockScreen& s) { s.writeVault("kasa.kdbx", "parola"); }, "kasa.kdbx", Mode::unlock, "a vault"},
        {[](LockScreen& s) { QDir(s.h.dir.path()).mkdir("klasör.kdbx"); }, "klasör.kdbx", Mode::unlock,
         "a folder is never created over"},
    };
    for (const Case& c : cases) {
        LockScreen screen;
        if (c.prepareFile) c.prepareFile(screen);
        if (c.chosen) screen.state->prepare(screen.h.path(*c.chosen));
        EXPECT_EQ(screen.view->mode(), c.mode) << c.note;

        const bool creating = c.mode == Mode::create;
        EXPECT_TRUE(screen.shows(creating ? "Ana parolanı belirle, kasayı mühürleyelim."
                                          : "Parolaların yerel, şifreli ve sende."))
            << c.note;
        if (c.mode == Mode::choose) {
            EXPECT_TRUE(screen.shows("Henüz bir kasa yok")) << c.note;
            EXPECT_TRUE(screen.shows("Veritabanı aç…")) << c.note;
            EXPECT_TRUE(screen.shows("Yeni kasa…")) << c.note;
            EXPECT_FALSE(screen.view->submitButton()->isVisibleTo(screen.view.get())) << c.note;
            continue;
        }
        EXPECT_TRUE(screen.shows(*c.chosen)) << c.note;  // the file name in the path card
        EXPECT_TRUE(screen.shows(screen.h.dir.path())) << c.note;
        EXPECT_EQ(screen.view->submitButton()->text(), creating ? "Kasayı oluştur" : "Kilidi aç") << c.note;
        EXPECT_EQ(screen.view->passwordField()->placeholder(),
                  creating ? "Güçlü bir parola seç" : "Ana parolan")
            << c.note;
        EXPECT_EQ(screen.view->confirmField()->isVisibleTo(screen.view.get()), creating) << c.note;
        EXPECT_TRUE(screen.view->passwordField()->lineEdit()->hasFocus()) << c.note;
        EXPECT_TRUE(screen.shows("İsteğe bağlı — ikinci bir faktör.")) << c.note;
        EXPECT_EQ(screen.button("Başka bir veritabanı aç")->isVisible(), true) << c.note;
        EXPECT_EQ(screen.button("Yeni veritabanı oluştur")->isVisible(), true) << c.note;
    }
}

TEST(UnlockView, LongFileNamesAreShortenedInTheMiddleAndFoldersAtTheStart) {
    LockScreen screen;
    const QString folder = screen.h.path("Belgeler/Şirket/Muhasebe ve Finans/2024 yılı arşivi");
    const QString name = "Çok uzun bir veritabanı adı — ortak hesaplar, kartlar ve abonelikler.kdbx";
    QDir().mkpath(folder);
    screen.state->prepare(folder + "/" + name);
    settleLayout();
    ElidedLabel* fileLabel = nullptr;
    ElidedLabel* folderLabel = nullptr;
    for (ElidedLabel* label : screen.view->findChildren<ElidedLabel*>()) {
        if (label->text() == name) fileLabel = label;
        if (label->text() == folder) folderLabel = label;
    }
    ASSERT_TRUE(fileLabel && folderLabel);
    const QString shownName = fileLabel->displayedText();
    EXPECT_TRUE(shownName.startsWith("Çok uzun") && shownName.endsWith("abonelikler.kdbx") &&
                shownName.contains(u'…'))
        << shownName.toStdString();
    const QString shownFolder = folderLabel->displayedText();
    EXPECT_TRUE(shownFolder.startsWith(u'…') && shownFolder.endsWith("2024 yılı arşivi"))
        << shownFolder.toStdString();
}

TEST(UnlockView, SubmitIsEnabledOnlyWithWhatTheModeNeeds) {
    struct Case {
        bool creating;
        const char* password;
        const char* confirmation;
        bool keyFile;
        bool enabled;
        bool mismatchShown;
        bool meterShown;
        const char* note;
    };
    const Case cases[] = {
        {false, "", "", false, true, false, false, "unlock: the empty password is an attempt too"},
        {false, "p", "", false, true, false, false, "unlock: a password"},
        {false, "", "", true, true, false, false, "unlock: a key file alone"},
        {true, "", "", true, false, false, false, "create: a key file alone is not enough"},
        {true, "abc", "abc", false, true, false, true, "create: matching"},
        {true, "abc ", "abc", false, false, true, true, "create: nothing is trimmed"},
        {true, "abc", "", false, false, false, true, "create: nothing confirmed yet"},
        {true, "", "abc", false, false, true, false, "create: only the confirmation"},
    };
    for (const Case& c : cases) {
        LockScreen screen;
        screen.writeVault("kasa.kdbx", "parola");
        screen.state->prepare(screen.h.path(c.creating ? "yeni.kdbx" : "kasa.kdbx"));
        if (c.keyFile) {
            writeFile(screen.h.path("anahtar.key"), "anahtar");
            screen.panels.keyFiles.push_back(screen.h.path("anahtar.key"));
            screen.click("Dosya seç…");
            EXPECT_TRUE(screen.shows("Kaldır")) << c.note;
            EXPECT_FALSE(screen.shows("İsteğe bağlı — ikinci bir faktör.")) << c.note;
        }
        screen.view->passwordField()->setText(QString::fromUtf8(c.password));
        if (c.creating) screen.view->confirmField()->setText(QString::fromUtf8(c.confirmation));

        EXPECT_EQ(screen.view->canSubmit(), c.enabled) << c.note;
        EXPECT_EQ(screen.view->submitButton()->isEnabled(), c.enabled) << c.note;
        EXPECT_EQ(screen.shows("Parolalar eşleşmiyor."), c.mismatchShown) << c.note;
        EXPECT_EQ(screen.view->findChild<StrengthMeter*>()->isVisibleTo(screen.view.get()), c.meterShown)
            << c.note;
        if (!c.enabled) {
            // Return does nothing either.
            QTest::keyClick(screen.view->passwordField()->lineEdit(), Qt::Key_Return);
            screen.settle();
            EXPECT_TRUE(screen.state->isLocked()) << c.note;
            EXPECT_FALSE(screen.state->lastError()) << c.note;
            EXPECT_EQ(screen.h.codec->loads, 0) << c.note;
        }
    }
}

TEST(UnlockView, KeyFileIsChosenAndRemoved) {
    LockScreen screen;
    screen.writeVault("kasa.kdbx", "parola");
    screen.state->prepare(screen.h.path("kasa.kdbx"));
    screen.click("Dosya seç…");  // cancelled
    EXPECT_FALSE(screen.view->keyFile());

    screen.panels.keyFiles.push_back(screen.h.path("ikinci-faktör.key"));
    screen.click("Dosya seç…");
    EXPECT_EQ(screen.view->keyFile(), screen.h.path("ikinci-faktör.key"));
    bool badgeShown = false;
    for (Badge* b : screen.view->findChildren<Badge*>())
        if (b->text() == "ikinci-faktör.key" && b->isVisibleTo(screen.view.get())) badgeShown = true;
    EXPECT_TRUE(badgeShown);
    EXPECT_FALSE(screen.shows("İsteğe bağlı — ikinci bir faktör."));

    screen.click("Kaldır");
    EXPECT_FALSE(screen.view->keyFile());
    EXPECT_TRUE(screen.shows("Dosya seç…"));
    EXPECT_TRUE(screen.shows("İsteğe bağlı — ikinci bir faktör."));
}

TEST(UnlockView, WrongCredentialsSwingTheBannerAndAskAgain) {
    LockScreen screen;
    screen.writeVault("kasa.kdbx", "doğru");
    writeFile(screen.h.path("anahtar.key"), "anahtar");
    screen.state->prepare(screen.h.path("kasa.kdbx"));
    screen.panels.keyFiles.push_back(screen.h.path("anahtar.key"));
    screen.click("Dosya seç…");
    EXPECT_FALSE(screen.bannerShown());

    screen.view->passwordField()->setText("yanlış");
    screen.click("Kilidi aç");
    screen.settle();
    EXPECT_TRUE(screen.state->isLocked());
    ASSERT_TRUE(screen.bannerShown());
    EXPECT_EQ(screen.view->errorBanner()->message(), invalidCredentials());
    EXPECT_EQ(screen.view->shakeCount(), 1);
    EXPECT_EQ(screen.view->passwordField()->text(), QString());
    EXPECT_TRUE(screen.view->passwordField()->lineEdit()->hasFocus());
    EXPECT_EQ(screen.view->keyFile(), screen.h.path("anahtar.key")) << "the key file stays chosen";

    // The same failure again: no new swing, but the password typed next replaces the wrong one,
    // as after the first failure.
    screen.view->passwordField()->setText("yine yanlış");
    screen.submit();
    EXPECT_EQ(screen.view->shakeCount(), 1);
    EXPECT_TRUE(screen.bannerShown());
    QLineEdit* field = screen.view->passwordField()->lineEdit();
    EXPECT_TRUE(field->hasFocus());
    QTest::keyClicks(field, QStringLiteral("abc"));
    EXPECT_TRUE(screen.view->passwordField()->text() == QStringLiteral("abc")) << "typing starts afresh";

    QTest::mouseClick(screen.view->errorBanner()->dismissButton(), Qt::LeftButton);
    EXPECT_FALSE(screen.state->lastError());
    EXPECT_FALSE(screen.bannerShown());
    EXPECT_FALSE(screen.view->errorBanner()->parentWidget()->isVisibleTo(screen.view.get()))
        << "the banner's place is given back";
}

TEST(UnlockView, RightCredentialsUnlockAndClearTheFields) {
    struct Case {
        const char* password;
        bool keyFile;
        const char* note;
    };
    const Case cases[] = {
        {"parola", false, "password"},
        {"", true, "key file alone"},
        {"parola", true, "password and key file"},
    };
    for (const Case& c : cases) {
        LockScreen screen;
        const std::optional<QByteArray> keyData =
            c.keyFile ? std::optional<QByteArray>("anahtar baytları") : std::nullopt;
        screen.writeVault("kasa.kdbx", QString::fromUtf8(c.password), keyData);
        screen.state->prepare(screen.h.path("kasa.kdbx"));
        if (keyData) {
            writeFile(screen.h.path("anahtar.key"), *keyData);
            screen.panels.keyFiles.push_back(screen.h.path("anahtar.key"));
            screen.click("Dosya seç…");
        }
        screen.view->passwordField()->setText(QString::fromUtf8(c.password));
        QTest::keyClick(screen.view->passwordField()->lineEdit(), Qt::Key_Return);
        screen.settle();
        EXPECT_FALSE(screen.state->isLocked()) << c.note;
        EXPECT_FALSE(screen.state->lastError()) << c.note;
        EXPECT_EQ(screen.view->passwordField()->text(), QString()) << c.note;
        EXPECT_EQ(screen.view->passwordField()->lineEdit()->isUndoAvailable(), false) << c.note;
    }
}

// A database may be locked by the empty password alone: opening it is typing nothing and
// pressing Return. Where the password is another, the same attempt fails as any wrong one.
TEST(UnlockView, AnEmptyMasterPasswordOpensAFileLockedByIt) {
    Harness h;
    AppStateDependencies deps = h.dependencies();
    deps.codec = std::make_shared<KdbxFileCodec>();
    AppState state(deps);
    const QString file = h.path("bos-parola.kdbx");
    ASSERT_TRUE(QFile::copy(
        QString::fromStdString(
            testsupport::fixturePath("kdbx/v41-argon2id-aes256-gzip-empty-password.kdbx").string()),
        file));
    ScriptedPanels panels;
    LockScreenMetrics metrics;
    state.prepare(file);
    UnlockView view(state, panels, metrics);
    view.resize(480, 760);
    view.show();
    QApplication::setActiveWindow(&view);
    QApplication::processEvents();
    ASSERT_EQ(view.mode(), Mode::unlock);

    EXPECT_TRUE(view.submitButton()->isEnabled()) << "\"Kilidi aç\" with nothing typed";
    QTest::keyClick(view.passwordField()->lineEdit(), Qt::Key_Return);
    for (int turn = 0; turn < 10 && view.isBusy(); ++turn) QApplication::processEvents();
    EXPECT_FALSE(state.isLocked()) << state.lastError().value_or(QString()).toStdString();

    LockScreen other;
    other.writeVault("kasa.kdbx", "parola");
    other.state->prepare(other.h.path("kasa.kdbx"));
    EXPECT_TRUE(other.view->submitButton()->isEnabled());
    QTest::keyClick(other.view->passwordField()->lineEdit(), Qt::Key_Return);
    other.settle();
    EXPECT_TRUE(other.state->isLocked());
    EXPECT_TRUE(other.bannerShown()) << "the attempt is answered like any wrong password";
    EXPECT_EQ(other.h.codec->loads, 1);
}

// A field's text and every copy taken of it share one storage; the view wipes it before it
// empties a field, so the password handed over to unlock or create leaves nothing readable
// behind. The copy taken here shares that storage and sees what became of it.
TEST(UnlockView, TypedPasswordsAreWipedWhenTheFieldsLetGoOfThem) {
    struct Case {
        const char* note;
        const char* file;  // an existing vault that opens with "parola", or a new file
        const char* typed;
        // Shown before the password is typed.
        std::optional<QString> error;
        std::function<void(LockScreen&)> act;
        bool wiped;
    };
    const auto submit = [](LockScreen& s) { s.submit(); };
    const Case cases[] = {
        {"unlocked", "kasa.kdbx", "parola", std::nullopt, submit, true},
        {"refused", "kasa.kdbx", "yanlış parola", std::nullopt, submit, true},
        {"another file chosen", "kasa.kdbx", "yarım kalan", std::nullopt,
         [](LockScreen& s) {
             s.panels.databases.push_back(s.h.path("iş.kdbx"));
             s.click("Başka bir veritabanı aç");
         },
         true},
        {"created", "Radir.kdbx", "yeni parola", std::nullopt, submit, true},
        {"refused again with the message shown: the field keeps it", "kasa.kdbx", "yine yanlış",
         invalidCredentials(), submit, false},
    };
    for (const Case& c : cases) {
        LockScreen screen;
        screen.writeVault("kasa.kdbx", "parola");
        screen.writeVault("iş.kdbx", "parola");
        screen.state->prepare(screen.h.path(c.file));
        if (c.error) screen.state->setLastError(*c.error);
        // Each field gets storage of its own, as typing gives it.
        const bool creating = std::string(c.file) == "Radir.kdbx";
        const QString typed = QString::fromUtf8(c.typed);
        screen.view->passwordField()->setText(QString::fromUtf8(c.typed));
        if (creating) screen.view->confirmField()->setText(QString::fromUtf8(c.typed));
        const QString handed = screen.view->passwordField()->text();
        const QString confirmed = screen.view->confirmField()->text();

        c.act(screen);
        const auto wiped = [&](const QString& copy) {
            return copy.size() == typed.size() &&
                   std::all_of(copy.begin(), copy.end(), [](QChar ch) { return ch.isNull(); });
        };
        EXPECT_EQ(wiped(handed), c.wiped) << c.note;
        if (c.wiped) {
            EXPECT_TRUE(screen.view->passwordField()->text().isEmpty()) << c.note;
            if (creating) {
                EXPECT_TRUE(wiped(confirmed)) << c.note << ": confirmation";
            }
        } else {
            EXPECT_TRUE(screen.view->passwordField()->text() == typed) << c.note;
        }
    }
}

TEST(UnlockView, ShowsBusyWhileTheKeyIsDerived) {
    LockScreen screen;
    screen.writeVault("kasa.kdbx", "parola");
    screen.state->prepare(screen.h.path("kasa.kdbx"));
    screen.view->passwordField()->setText("parola");

    screen.view->submit();
    EXPECT_TRUE(screen.view->isBusy());
    EXPECT_FALSE(screen.view->submitButton()->isEnabled());
    ASSERT_TRUE(QApplication::overrideCursor());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_TRUE(screen.state->isLocked()) << "the work waits for the next turn";
    screen.view->submit();  // a second Return meanwhile starts nothing

    screen.settle();
    EXPECT_FALSE(screen.view->isBusy());
    EXPECT_FALSE(QApplication::overrideCursor());
    EXPECT_FALSE(screen.state->isLocked());
    EXPECT_EQ(screen.h.codec->loads, 1);

    // A view that goes away while busy gives the pointer back.
    LockScreen other;
    other.writeVault("kasa.kdbx", "parola");
    other.state->prepare(other.h.path("kasa.kdbx"));
    other.view->passwordField()->setText("parola");
    other.view->submit();
    other.view.reset();
    QApplication::processEvents();
    EXPECT_FALSE(QApplication::overrideCursor());
    EXPECT_TRUE(other.state->isLocked());
}

TEST(UnlockView, CreatesTheVaultWithTheChosenKeyFile) {
    for (const bool withKey : {false, true}) {
        LockScreen screen;
        screen.panels.destinations.push_back(screen.h.path("Radir.kdbx"));
        screen.click("Yeni kasa…");
        ASSERT_EQ(screen.view->mode(), Mode::create) << withKey;
        if (withKey) {
            writeFile(screen.h.path("anahtar.key"), "anahtar baytları");
            screen.panels.keyFiles.push_back(screen.h.path("anahtar.key"));
            screen.click("Dosya seç…");
        }
        screen.view->passwordField()->setText("yeni parola");
        screen.view->confirmField()->setText("yeni parola");
        QTest::keyClick(screen.view->confirmField()->lineEdit(), Qt::Key_Return);
        screen.settle();
        ASSERT_FALSE(screen.state->isLocked()) << withKey;
        EXPECT_EQ(screen.state->databaseURL(), screen.h.path("Radir.kdbx"));
        EXPECT_EQ(screen.view->passwordField()->text(), QString());
        EXPECT_EQ(screen.view->confirmField()->text(), QString());

        // The file opens with exactly the credentials chosen.
        const auto reopened = screen.h.makeState();
        reopened->prepare(screen.h.path("Radir.kdbx"));
        reopened->unlock("yeni parola", std::nullopt);
        EXPECT_EQ(reopened->isLocked(), withKey) << withKey;
        if (withKey) {
            reopened->unlock("yeni parola", screen.h.path("anahtar.key"));
            EXPECT_FALSE(reopened->isLocked());
        }
    }
}

TEST(UnlockView, CreationStopsWhenTheKeyFileCannotBeRead) {
    struct Case {
        std::function<void(const QString&)> spoil;
        const char* reason;
        const char* note;
    };
    const Case cases[] = {
        {[](const QString& path) { QFile::remove(path); }, "dosya ya da klasör bulunamadı", "removed"},
        {[](const QString& path) {
             QFile::remove(path);
             QDir().mkdir(path);
         },
         "bir dosya değil", "a folder now"},
    };
    for (const Case& c : cases) {
        LockScreen screen("Radir.kdbx");
        const QString keyPath = screen.h.path("anahtar.key");
        writeFile(keyPath, "anahtar");
        screen.panels.keyFiles.push_back(keyPath);
        screen.click("Dosya seç…");
        screen.view->passwordField()->setText("yeni parola");
        screen.view->confirmField()->setText("yeni parola");
        c.spoil(keyPath);

        screen.submit();
        EXPECT_TRUE(screen.state->isLocked()) << c.note;
        EXPECT_FALSE(QFile::exists(screen.h.path("Radir.kdbx"))) << c.note;
        EXPECT_EQ(screen.h.files->writes, 0) << c.note;
        ASSERT_TRUE(screen.state->lastError()) << c.note;
        EXPECT_TRUE(screen.state->lastError()->startsWith("Kasa oluşturulmadı: anahtar dosyası okunamadı. "))
            << c.note;
        EXPECT_TRUE(screen.state->lastError()->contains(QString::fromUtf8(c.reason))) << c.note;
        EXPECT_TRUE(screen.bannerShown()) << c.note;
        EXPECT_EQ(screen.view->mode(), Mode::create) << c.note;
        EXPECT_EQ(screen.view->keyFile(), keyPath) << c.note;
        // The password is asked again; the confirmation stays, so the two differ for now.
        EXPECT_EQ(screen.view->passwordField()->text(), QString()) << c.note;
        EXPECT_EQ(screen.view->confirmField()->text(), "yeni parola") << c.note;
        EXPECT_TRUE(screen.shows("Parolalar eşleşmiyor.")) << c.note;
    }
}

TEST(UnlockView, NeverCreatesOverAFileWithContent) {
    // A file that appeared after the creation mode was chosen.
    LockScreen screen("Radir.kdbx");
    ASSERT_EQ(screen.view->mode(), Mode::create);
    screen.view->passwordField()->setText("yeni parola");
    screen.view->confirmField()->setText("yeni parola");
    writeFile(screen.h.path("Radir.kdbx"), "başka bir programın verisi");

    screen.submit();
    EXPECT_TRUE(screen.state->isLocked());
    EXPECT_EQ(contentOf(screen.h.path("Radir.kdbx")), QByteArray("başka bir programın verisi"));
    EXPECT_EQ(screen.state->lastError(),
              "“Radir.kdbx” kaydedilemedi: bu konumda boş olmayan bir dosya var. Diskteki dosya değişmedi.");
    EXPECT_TRUE(screen.bannerShown());
    EXPECT_EQ(screen.view->mode(), Mode::unlock) << "the file is there now: it is opened, not replaced";

    // Choosing that file again as a new database still opens it.
    screen.panels.destinations.push_back(screen.h.path("Radir.kdbx"));
    screen.click("Yeni veritabanı oluştur");
    EXPECT_EQ(screen.view->mode(), Mode::unlock);
    EXPECT_FALSE(screen.state->lastError());
}

TEST(UnlockView, ChoosingAnotherFileStartsAfresh) {
    LockScreen screen;
    screen.writeVault("kasa.kdbx", "parola");
    screen.writeVault("iş.kdbx", "parola");

    screen.click("Veritabanı aç…");  // cancelled
    EXPECT_EQ(screen.view->mode(), Mode::choose);
    EXPECT_FALSE(screen.state->databaseURL());

    screen.panels.databases.push_back(screen.h.path("kasa.kdbx"));
    screen.click("Veritabanı aç…");
    EXPECT_EQ(screen.view->mode(), Mode::unlock);
    EXPECT_TRUE(screen.view->passwordField()->lineEdit()->hasFocus());

    // The same file again keeps what is typed; the error goes.
    screen.view->passwordField()->setText("yazılan");
    screen.panels.keyFiles.push_back(screen.h.path("anahtar.key"));
    screen.click("Dosya seç…");
    screen.state->setLastError(QStringLiteral("Eski hata"));
    screen.panels.databases.push_back(screen.h.path("kasa.kdbx"));
    screen.click("Değiştir");
    EXPECT_EQ(screen.view->passwordField()->text(), QString()) << "emptied by the error before";
    EXPECT_TRUE(screen.view->keyFile());
    EXPECT_FALSE(screen.bannerShown());

    // Another file drops the password and the key file.
    screen.view->passwordField()->setText("yazılan");
    screen.panels.databases.push_back(screen.h.path("iş.kdbx"));
    screen.click("Başka bir veritabanı aç");
    EXPECT_EQ(screen.state->databaseURL(), screen.h.path("iş.kdbx"));
    EXPECT_EQ(screen.view->passwordField()->text(), QString());
    EXPECT_FALSE(screen.view->keyFile());
    EXPECT_TRUE(screen.shows("iş.kdbx"));

    // A new database where none is: creation.
    screen.panels.destinations.push_back(screen.h.path("yeni.kdbx"));
    screen.click("Yeni veritabanı oluştur");
    EXPECT_EQ(screen.view->mode(), Mode::create);
    screen.click("Yeni veritabanı oluştur");  // cancelled
    EXPECT_EQ(screen.state->databaseURL(), screen.h.path("yeni.kdbx"));
}

TEST(UnlockView, ReportsTheCardHeightForTheLockedWindow) {
    LockScreen screen;
    screen.writeVault("kasa.kdbx", "parola");
    screen.state->prepare(screen.h.path("kasa.kdbx"));
    settleLayout();
    const qreal unlockHeight = screen.metrics.cardHeight();
    EXPECT_GT(unlockHeight, 0);
    EXPECT_EQ(unlockHeight, screen.view->card()->height());

    // The card is 440 wide and centred in a 480-wide window.
    auto* panel = screen.view->card()->findChild<Panel*>();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->width(), 440);
    EXPECT_EQ(panel->mapTo(screen.view.get(), QPoint(0, 0)).x(), 20);

    screen.state->setLastError(QStringLiteral("Parola ya da anahtar dosyası hatalı."));
    settleLayout();
    EXPECT_GT(screen.metrics.cardHeight(), unlockHeight) << "the banner makes room for itself";
    screen.state->setLastError(std::nullopt);
    settleLayout();
    EXPECT_EQ(screen.metrics.cardHeight(), unlockHeight);

    // Shown in a window of exactly that height, nothing scrolls.
    screen.view->resize(480, qRound(unlockHeight));
    settleLayout();
    EXPECT_EQ(screen.view->card()->height(), qRound(unlockHeight));
    EXPECT_EQ(screen.view->card()->mapTo(screen.view.get(), QPoint(0, 0)).y(), 0);
    EXPECT_FALSE(screen.view->findChild<QScrollArea*>()->verticalScrollBar()->isVisible());
}

// Tab walks the card from the top: "Değiştir" first, then the fields and the buttons; nothing
// that cannot show the keyboard is a stop on the way.
TEST(UnlockView, TabWalksTheCardFromTheTop) {
    LockScreen screen;
    screen.writeVault("kasa.kdbx", "parola");
    screen.state->prepare(screen.h.path("kasa.kdbx"));
    settleLayout();
    const auto focused = [] {
        QWidget* w = QApplication::focusWidget();
        if (!w) return std::string("(hiç)");
        if (auto* edit = qobject_cast<QLineEdit*>(w)) return "alan: " + edit->placeholderText().toStdString();
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            return (button->text().isEmpty() ? button->toolTip() : button->text()).toStdString();
        return std::string(w->metaObject()->className());
    };
    ASSERT_EQ(focused(), "alan: Ana parolan") << "the password has the keyboard at first";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), "Değiştir") << "above the password: the top of the card";

    const std::vector<std::string> expected = {
        "Değiştir",  "alan: Ana parolan",       "Dosya seç…",
        "Kilidi aç", "Başka bir veritabanı aç", "Yeni veritabanı oluştur",
    };
    std::vector<std::string> walked;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        walked.push_back(focused());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(walked, expected);
    EXPECT_EQ(focused(), "Değiştir") << "and round again";
}

TEST(ShakeEffect, SwingsTwiceAndComesToRest) {
    for (int n = 0; n <= 3; ++n) EXPECT_NEAR(ShakeEffect::offset(n), 0, 1e-9) << n;
    EXPECT_NEAR(ShakeEffect::offset(0.125), 6, 1e-9);
    EXPECT_NEAR(ShakeEffect::offset(0.375), -6, 1e-9);
    EXPECT_NEAR(ShakeEffect::offset(1.625), 6, 1e-9);
    int swings = 0;
    double previous = 0;
    for (int step = 1; step <= 1000; ++step) {
        const double value = ShakeEffect::offset(step / 1000.0);
        EXPECT_LE(std::abs(value), 6.0 + 1e-9);
        if ((value > 1e-9 && previous < -1e-9) || (value < -1e-9 && previous > 1e-9)) ++swings;
        if (std::abs(value) > 1e-9) previous = value;
    }
    EXPECT_EQ(swings, 3) << "right, left, right, left: three changes of side";
}

TEST(ShakeEffect, DrawsTheBannerInTheCardShiftedSideways) {
    LockScreen screen;
    screen.writeVault("kasa.kdbx", "parola");
    screen.state->prepare(screen.h.path("kasa.kdbx"));
    screen.state->setLastError(QStringLiteral("Parola ya da anahtar dosyası hatalı."));
    settleLayout();
    ErrorBanner* banner = screen.view->errorBanner();
    auto* effect = qobject_cast<ShakeEffect*>(banner->parentWidget()->graphicsEffect());
    ASSERT_TRUE(effect);
    EXPECT_EQ(effect->animatableData(), 1) << "at rest after one swing";

    // The banner's left border, found along its middle row in a picture of the whole view.
    const auto leftEdge = [&] {
        const QImage image = screen.view->grab().toImage();
        const QPoint middle = banner->mapTo(screen.view.get(), QPoint(0, banner->height() / 2));
        const QColor border = probe::over(withOpacity(Palette::danger, 0.35), Palette::surface);
        for (int x = middle.x() - 8; x < middle.x() + 16; ++x)
            if (probe::colorNear(probe::pixel(image, x, middle.y()), border, 24)) return x - middle.x();
        return -100;
    };
    EXPECT_EQ(leftEdge(), 0);
    effect->setAnimatableData(1.125);  // the first swing's far right
    EXPECT_EQ(leftEdge(), 6);
    effect->setAnimatableData(2);
    EXPECT_EQ(leftEdge(), 0);
}

// Pictures of the lock screen for a person to look at: each mode at the size of the locked
// window, plus one sheet with all of them.
TEST(UnlockViewGallery, LockScreenInEachMode) {
    const QString dir = QString::fromStdString((testsupport::outputDir() / "gallery").string());
    QDir().mkpath(dir);
    struct Shot {
        const char* name;
        std::function<void(LockScreen&)> arrange;
    };
    const Shot shots[] = {
        {"lockscreen-choose", {}},
        {"lockscreen-unlock",
         [](LockScreen& s) {
             s.writeVault("Kişisel kasa.kdbx", "parola");
             s.state->prepare(s.h.path("Kişisel kasa.kdbx"));
         }},
        {"lockscreen-unlock-keyfile-long-names",
         [](LockScreen& s) {
             const QString folder = s.h.path("Belgeler/Şirket/Muhasebe ve Finans/2024 yılı arşivi");
             QDir().mkpath(folder);
             const QString file = folder + "/Çok uzun bir veritabanı adı — ortak hesaplar ve kartlar.kdbx";
             writeFile(file, "MEMKDBX-0");
             s.state->prepare(file);
             s.panels.keyFiles.push_back(s.h.path("yedek-anahtar-dosyası-2024-ikinci-faktör.keyx"));
             s.view->chooseKeyFile();
             s.view->passwordField()->setText("parola");
         }},
        {"lockscreen-create-empty", [](LockScreen& s) { s.state->prepare(s.h.path("Radir.kdbx")); }},
        {"lockscreen-create-typed",
         [](LockScreen& s) {
             s.state->prepare(s.h.path("Radir.kdbx"));
             s.view->passwordField()->setText("Tr0ub4dor&3-kasa");
             s.view->confirmField()->setText("Tr0ub4dor");
             s.view->passwordField()->setRevealed(true);
         }},
        {"lockscreen-unlock-error",
         [](LockScreen& s) {
             s.writeVault("kasa.kdbx", "doğru");
             s.state->prepare(s.h.path("kasa.kdbx"));
             s.view->passwordField()->setText("yanlış");
             s.submit();
         }},
    };
    std::vector<std::pair<QString, QImage>> images;
    for (const Shot& shot : shots) {
        LockScreen screen;
        if (shot.arrange) shot.arrange(screen);
        settleLayout();
        screen.view->resize(480, qRound(screen.metrics.cardHeight()));
        settleLayout();
        QImage image = screen.view->grab().toImage();
        image.save(dir + "/" + shot.name + ".png");
        images.emplace_back(shot.name, image);
    }
    int width = 0, height = 0;
    for (const auto& [name, image] : images) {
        width += image.width() + 8;
        height = qMax(height, image.height() + 18);
    }
    QImage sheet(width, height, QImage::Format_ARGB32);
    sheet.fill(Palette::surface);
    QPainter p(&sheet);
    p.setFont(BrandFont::label());
    p.setPen(Palette::textMuted);
    int x = 0;
    for (const auto& [name, image] : images) {
        p.drawText(QRect(x + 4, 0, image.width(), 18), Qt::AlignVCenter | Qt::AlignLeft, name);
        p.drawImage(x, 18, image);
        x += image.width() + 8;
    }
    p.end();
    sheet.save(dir + "/sheet-lockscreen.png");
    EXPECT_TRUE(QFile::exists(dir + "/lockscreen-unlock-error.png"));
}

namespace {

template <class Condition>
bool spinUntil(Condition condition, int deadlineMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > deadlineMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

}  // namespace

// The key derivation runs beside the window: the card says what is happening, the window keeps
// answering, and "Vazgeç" (or Escape) stops it within moments, leaving the screen as it was.
TEST(UnlockView, AKeyDerivationShowsItsWorkAndVazgecStopsIt) {
    for (const bool byEscape : {false, true}) {
        Harness h;
        // 2^36 rounds: minutes of work, far inside what the bound lets through; only a stop ends it.
        const Bytes heavy = testsupport::slowAesKdfFixture(std::uint64_t{1} << 36);
        ASSERT_FALSE(heavy.empty());
        h.files->writeAtomically(h.path("ağır.kdbx"), heavy);
        AppStateDependencies deps = h.dependencies();
        deps.codec = std::make_shared<KdbxFileCodec>();
        deps.work = std::make_shared<ThreadWorkRunner>();
        AppState state(deps);
        state.prepare(h.path("ağır.kdbx"));
        ScriptedPanels panels;
        LockScreenMetrics metrics;
        UnlockView view(state, panels, metrics);
        view.resize(480, 760);
        view.show();
        QApplication::setActiveWindow(&view);
        QApplication::processEvents();

        view.passwordField()->setText(QStringLiteral("parola"));
        QTest::keyClick(view.passwordField()->lineEdit(), Qt::Key_Return);
        ASSERT_TRUE(spinUntil([&] { return state.isWorking() && view.workingRow()->isVisible(); }))
            << byEscape;
        EXPECT_EQ(view.workingText()->text(), QStringLiteral("Kilit açılıyor: anahtar türetiliyor…"));
        EXPECT_TRUE(view.cancelButton()->isVisible());
        EXPECT_FALSE(view.submitButton()->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor,
                  Qt::WaitCursor);
        // Still working a moment later: the derivation is real and long.
        QTest::qWait(200);
        ASSERT_TRUE(state.isWorking());

        if (byEscape)
            QTest::keyClick(view.passwordField()->lineEdit(), Qt::Key_Escape);
        else
            QTest::mouseClick(view.cancelButton(), Qt::LeftButton);
        ASSERT_TRUE(spinUntil([&] { return !state.isWorking() && !view.isBusy(); }, 5000)) << byEscape;
        EXPECT_TRUE(state.isLocked());
        EXPECT_FALSE(state.lastError()) << state.lastError()->toStdString();
        EXPECT_FALSE(view.workingRow()->isVisible());
        EXPECT_TRUE(view.submitButton()->isEnabled());
        EXPECT_EQ(view.passwordField()->text(), QStringLiteral("parola"));
        EXPECT_FALSE(QApplication::overrideCursor());
    }
}
