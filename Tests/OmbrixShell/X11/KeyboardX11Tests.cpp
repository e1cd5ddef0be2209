// A new entry made with the keyboard alone, keys pressed through the X server into the real
// program under a real window manager: the icon chosen in the picker's grid, a custom field added
// with "+", and the text typed after its value landing in the notes, never on a button.
#include <gtest/gtest.h>

#include <QSize>
#include <QString>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "OmbrixCore/Kdbx/KdbxFile.h"
#include "ProgramUnderOpenbox.h"
#include "Support/Fixtures.h"

namespace {

constexpr int startDeadline = 30000;
constexpr int stepDeadline = 20000;
constexpr xcb_keysym_t shiftKey = 0xffe1;
constexpr xcb_keysym_t spaceKey = 0x0020;
constexpr xcb_keysym_t rightKey = 0xff53;

}  // namespace

TEST(OmbrixProgramFromTheKeyboard, TypingAfterANewCustomFieldGoesToTheNotes) {
    ProgramUnderOpenbox session;
    ASSERT_TRUE(session.start(startDeadline));
    ProgramWindow& windows = session.windows;
    Typist& typist = session.typist;
    const ProgramSession& program = session.program;
    Openbox& openbox = session.openbox;
    const xcb_window_t main = session.main;
    ASSERT_TRUE(spinUntil([&] { return windows.size(main).width() == 480 && openbox.active() == main; },
                          stepDeadline));

    typist.type(QString::fromUtf8(programFixture::password));
    typist.press(Typist::returnKey);
    ASSERT_TRUE(spinUntil([&] { return windows.size(main) == QSize(1020, 680); }, stepDeadline))
        << "unlocked";

    // Ctrl+I: the editor, its title first.
    typist.pressWithControl('i');
    std::optional<xcb_window_t> sheet;
    ASSERT_TRUE(spinUntil(
        [&] {
            const std::vector<xcb_window_t> all = windows.findAll(program.pid());
            sheet =
                all.size() == 2 ? std::optional(all.back() == main ? all.front() : all.back()) : std::nullopt;
            return sheet && openbox.active() == *sheet;
        },
        stepDeadline))
        << "the entry editor is mapped and has the keyboard";
    typist.type(QStringLiteral("banka"));

    // Shift+Tab: the icon picker, left of the title. Space opens its grid on the key icon; Right
    // and Return choose the next one, the globe.
    typist.chord({shiftKey, Typist::tabKey});
    typist.press(spaceKey);
    spinFor(500);
    typist.press(rightKey);
    typist.press(Typist::returnKey);
    spinFor(500);

    // Back to the title, then on to "Alan ekle": user name, address, tags, the expiry switch, the
    // password, its two buttons and the two auto-type switches lie between.
    typist.press(Typist::tabKey);
    for (int stop = 0; stop < 10; ++stop) typist.press(Typist::tabKey);
    typist.press(spaceKey);
    spinFor(300);
    // The new field's name, past its lock and delete buttons to its value.
    typist.type(QStringLiteral("pin"));
    for (int stop = 0; stop < 3; ++stop) typist.press(Typist::tabKey);
    typist.type(QStringLiteral("1234"));
    // Tab from the value, and what is typed next, spaces included, is the note.
    typist.press(Typist::tabKey);
    typist.type(QStringLiteral(" not bir"));
    spinFor(300);
    saveImage(windows.screenshot(windows.screenRect(*sheet)), "keyboard-entry-editor.png");
    ASSERT_EQ(windows.findAll(program.pid()).size(), 2u) << "the editor is still open";

    // On to "Vazgeç", then "Oluştur", and Return.
    typist.press(Typist::tabKey);
    typist.press(Typist::tabKey);
    typist.press(Typist::returnKey);
    ASSERT_TRUE(spinUntil([&] { return windows.findAll(program.pid()).size() == 1; }, stepDeadline))
        << "the editor closes";

    // Closing the window saves; the file holds the entry as it was typed.
    ASSERT_TRUE(spinUntil([&] { return openbox.active() == main; }, stepDeadline));
    windows.askToClose(main);
    ASSERT_TRUE(session.program.waitForExit(stepDeadline));
    const KdbxDatabase saved = KdbxFile::load(testsupport::readFile(program.databasePath().toStdString()),
                                              KdbxKey(std::string(programFixture::password), std::nullopt));
    const std::vector<KdbxEntry> entries = saved.root.allEntries();
    const auto entry =
        std::find_if(entries.begin(), entries.end(), [](const KdbxEntry& e) { return e.title == "banka"; });
    ASSERT_NE(entry, entries.end()) << "the entry was created";
    EXPECT_EQ(entry->iconID, 1) << "the globe, chosen from the grid";
    ASSERT_EQ(entry->customFields.count("pin"), 1u);
    EXPECT_TRUE(entry->customFields.at("pin").value() == "1234") << "the custom field's value as typed";
    EXPECT_EQ(entry->notes, " not bir");
}
