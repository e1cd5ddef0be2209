// Writes PNGs of the password-generator sheet in both of its modes and of the settings window
// into <test output>/gallery/ for a person to look at. The assertions only check that the
// files exist.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTest>

#include <functional>

#include "GeneratorSheetFixture.h"
#include "OmbrixTheme/AppSwitch.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/HotKeyRecorder.h"
#include "OmbrixUI/SettingsView.h"
#include "Support/Fixtures.h"
#include "Support/GalleryDir.h"

using generatortest::GeneratorFixture;

namespace {

void save(QWidget& window, const QString& name) {
    QApplication::processEvents();
    QTest::qWait(30);  // the scroll area follows its content a few turns later
    window.grab().save(galleryDir() + "/" + name + ".png");
}

}  // namespace

TEST_F(GeneratorFixture, Gallery) {
    struct Shot {
        const char* name;
        bool useMode;
        QSize size;
        std::function<void(PasswordGeneratorView&)> state;
    };
    const Shot shots[] = {
        {"generator-route", false, QSize(460, 580), {}},
        {"generator-hidden-64", false, QSize(460, 580),
         [](PasswordGeneratorView& v) {
             v.setLength(64);
             v.setRevealed(false);
         }},
        {"generator-no-class", false, QSize(460, 700),
         [](PasswordGeneratorView& v) {
             for (AppSwitch* s : v.classSwitches()) s->click();
         }},
        {"generator-random-failure", false, QSize(460, 580),
         [](PasswordGeneratorView& v) {
             v.setRandomSource([](std::span<std::uint8_t>) { return false; });
             v.regenerate();
         }},
        {"generator-use-mode-128", true, QSize(380, 560), [](PasswordGeneratorView& v) { v.setLength(128); }},
    };
    for (const Shot& shot : shots) {
        h.preferences.setGeneratorOptions(PasswordGenerator::Options::defaults());
        PasswordGeneratorView& v = shot.useMode ? open([](const QString&) {}) : open();
        v.resize(shot.size);
        if (shot.state) shot.state(v);
        save(v, shot.name);
        v.done(QDialog::Rejected);
    }
    EXPECT_TRUE(QFile::exists(galleryDir() + "/generator-use-mode-128.png"));
}

TEST(SettingsGallery, Window) {
    fakes::Harness h;
    for (const bool available : {true, false}) {
        SettingsView view(h.preferences, [available] { return available; });
        view.present();
        save(view, available ? "settings-available" : "settings-unavailable");
    }
    SettingsView recording(h.preferences, [] { return false; });
    recording.resize(420, 900);
    recording.present();
    recording.hotKeyRecorder()->click();
    QTest::keyClick(&recording, Qt::Key_K);  // refused: no modifier
    save(recording, "settings-recording-narrow");
    recording.hotKeyRecorder()->setRecording(false);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/settings-recording-narrow.png"));
}
