// The real program on a real X server: started with a fresh settings folder, driven through
// XTest as a person at the keyboard would, and looked at from outside as the window manager
// sees it.
#include <gtest/gtest.h>

#include <QSize>
#include <QString>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "OmbrixCore/Kdbx/KdbxFile.h"
#include "ProgramSession.h"
#include "ProgramWindow.h"
#include "Support/Fixtures.h"
#include "Support/X11/MiniWindowManager.h"
#include "Support/X11/X11TestClient.h"
#include "Typist.h"

TEST(OmbrixProgram, OpensLockedUnlocksToTheFullWindowAndSavesWhenClosed) {
    X11TestClient x;
    ASSERT_TRUE(x.isConnected());
    MiniWindowManager manager;
    ASSERT_TRUE(manager.isRunning());

    // Outlives the program: what it bound stays bound while the program may still read it.
    Typist typist(x);
    // A fresh user: settings and home in a temporary folder, the last database pre-chosen.
    ProgramSession program;
    ASSERT_TRUE(program.isReady());
    ASSERT_TRUE(program.start());

    ProgramWindow windows(x);
    std::optional<xcb_window_t> window;
    ASSERT_TRUE(spinUntil([&] { return (window = windows.find(program.pid())).has_value(); }, 20000))
        << "the main window is mapped";

    // Locked: 480 wide, as high as the lock screen, and not resizable.
    ASSERT_TRUE(spinUntil([&] { return windows.size(*window).width() == 480; }, 10000))
        << "locked width, got " << windows.size(*window).width();
    ASSERT_TRUE(spinUntil(
        [&] {
            const std::optional<SizeHints> hints = windows.sizeHints(*window);
            return hints && hints->minimum == windows.size(*window) && hints->maximum == hints->minimum;
        },
        5000))
        << "minimum and maximum size are the window's size";
    EXPECT_GT(windows.size(*window).height(), 300);
    EXPECT_EQ(windows.title(*window), QStringLiteral("Ombrix"));
    spinFor(300);
    windows.saveScreenshot(*window, "program-lock-screen.png");

    // The recent database is offered; its password field has the keyboard.
    typist.type(QString::fromUtf8(programFixture::password));
    typist.press(Typist::returnKey);

    const bool unlocked = spinUntil([&] { return windows.size(*window) == QSize(1020, 680); }, 20000);
    if (!unlocked) windows.saveScreenshot(*window, "program-unlock-failed.png");
    ASSERT_TRUE(unlocked) << "unlocked size, got " << windows.size(*window).width() << "x"
                          << windows.size(*window).height();
    const std::optional<SizeHints> hints = windows.sizeHints(*window);
    ASSERT_TRUE(hints.has_value());
    EXPECT_EQ(hints->minimum, QSize(720, 460));
    EXPECT_FALSE(hints->maximum.isValid()) << "resizable: no maximum size";
    EXPECT_TRUE(spinUntil([&] {
        return windows.title(*window).startsWith(QString::fromUtf8(programFixture::databaseName));
    })) << windows.title(*window).toStdString();
    spinFor(300);
    windows.saveScreenshot(*window, "program-unlocked.png");

    // Ctrl+I: the entry editor opens as a sheet over the window; Return adds the entry.
    typist.pressWithControl('i');
    ASSERT_TRUE(spinUntil([&] { return windows.findAll(program.pid()).size() == 2; }, 10000))
        << "the editor sheet is mapped";
    spinFor(300);
    windows.saveScreenshot(*window, "program-entry-editor.png");
    typist.type(QStringLiteral("deneme kaydi"));
    typist.press(Typist::returnKey);
    ASSERT_TRUE(spinUntil([&] { return windows.findAll(program.pid()).size() == 1; }, 10000))
        << "the sheet closes";

    // Closing the window saves the new entry and ends the program.
    windows.askToClose(*window);
    ASSERT_TRUE(program.waitForExit(20000));
    EXPECT_EQ(program.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.process().exitCode(), 0);
    const KdbxDatabase saved = KdbxFile::load(testsupport::readFile(program.databasePath().toStdString()),
                                              KdbxKey(std::string(programFixture::password), std::nullopt));
    std::vector<std::string> titles;
    for (const KdbxEntry& entry : saved.root.allEntries()) titles.push_back(entry.title);
    EXPECT_NE(std::find(titles.begin(), titles.end(), "deneme kaydi"), titles.end())
        << "the new entry was saved at quit";
}
