// The real program on a real X server: started with a fresh settings folder, driven through
// XTest as a person at the keyboard would, and looked at from outside as the window manager
// sees it.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MiniWindowManager.h"
#include "Ombrix/App/PreferencesStore.h"
#include "OmbrixCore/Kdbx/KdbxFile.h"
#include "Support/Fixtures.h"
#include "X11TestClient.h"

namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> owned(T* p) {
    return std::unique_ptr<T, decltype(&std::free)>(p, &std::free);
}

// A cheap key derivation (AES-KDF, 5000 rounds); the password needs a letter the US layout
// does not have.
const char* const fixtureFile = "kdbx/v40-aeskdf-chacha20-gzip-password.kdbx";
const char* const fixturePassword = "aes-kdf ile dört";
const char* const fixtureName = "Anahtar Dosyası Kasası (v40-aeskdf-chacha20-gzip-password)";

// The size limits of ICCCM's WM_NORMAL_HINTS.
struct SizeHints {
    QSize minimum;
    QSize maximum;
};

class ProgramWindow {
  public:
    explicit ProgramWindow(X11TestClient& x) : x_(x) {}

    // The mapped top-level window of the process, or none yet.
    std::optional<xcb_window_t> find(qint64 pid) {
        const std::vector<xcb_window_t> all = findAll(pid);
        return all.empty() ? std::nullopt : std::optional(all.front());
    }

    // Every mapped top-level window of the process, from the bottom of the stack to its top.
    std::vector<xcb_window_t> findAll(qint64 pid) {
        std::vector<xcb_window_t> found;
        auto tree = owned(xcb_query_tree_reply(x_.xcb(), xcb_query_tree(x_.xcb(), x_.root()), nullptr));
        if (!tree) return found;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            const xcb_window_t window = children[i];
            auto attributes = owned(xcb_get_window_attributes_reply(
                x_.xcb(), xcb_get_window_attributes(x_.xcb(), window), nullptr));
            if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
            const std::vector<std::uint32_t> pids = cardinals(window, "_NET_WM_PID");
            if (!pids.empty() && pids[0] == static_cast<std::uint32_t>(pid)) found.push_back(window);
        }
        return found;
    }

    QSize size(xcb_window_t window) {
        auto geometry = owned(xcb_get_geometry_reply(x_.xcb(), xcb_get_geometry(x_.xcb(), window), nullptr));
        return geometry ? QSize(geometry->width, geometry->height) : QSize();
    }

    QRect rect(xcb_window_t window) {
        auto geometry = owned(xcb_get_geometry_reply(x_.xcb(), xcb_get_geometry(x_.xcb(), window), nullptr));
        return geometry ? QRect(geometry->x, geometry->y, geometry->width, geometry->height) : QRect();
    }

    std::optional<SizeHints> sizeHints(xcb_window_t window) {
        // flags, x, y, width, height, minimum width and height, maximum width and height, ...
        const std::vector<std::uint32_t> hints = cardinals(window, "WM_NORMAL_HINTS");
        if (hints.size() < 9) return std::nullopt;
        constexpr std::uint32_t minimumSize = 1 << 4, maximumSize = 1 << 5;
        // A size that is not given stays invalid.
        SizeHints result;
        if (hints[0] & minimumSize) result.minimum = QSize(int(hints[5]), int(hints[6]));
        if (hints[0] & maximumSize) result.maximum = QSize(int(hints[7]), int(hints[8]));
        return result;
    }

    QString title(xcb_window_t window) {
        auto reply = owned(xcb_get_property_reply(
            x_.xcb(),
            xcb_get_property(x_.xcb(), 0, window, x_.atom("_NET_WM_NAME"), x_.atom("UTF8_STRING"), 0, 1024),
            nullptr));
        if (!reply) return {};
        return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                 xcb_get_property_value_length(reply.get()));
    }

    // What the screen shows inside the rectangle.
    QImage screenshot(const QRect& area) {
        auto image = owned(xcb_get_image_reply(
            x_.xcb(),
            xcb_get_image(x_.xcb(), XCB_IMAGE_FORMAT_Z_PIXMAP, x_.root(), static_cast<std::int16_t>(area.x()),
                          static_cast<std::int16_t>(area.y()), static_cast<std::uint16_t>(area.width()),
                          static_cast<std::uint16_t>(area.height()), ~0u),
            nullptr));
        if (!image) return {};
        // Depth 24 in 32-bit little-endian pixels: the byte order of QImage::Format_RGB32.
        const QImage view(xcb_get_image_data(image.get()), area.width(), area.height(), area.width() * 4,
                          QImage::Format_RGB32);
        return view.copy();
    }

    // As a window manager's close button: WM_DELETE_WINDOW.
    void askToClose(xcb_window_t window) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = x_.atom("WM_PROTOCOLS");
        message.data.data32[0] = x_.atom("WM_DELETE_WINDOW");
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(x_.xcb(), 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
        x_.sync();
    }

  private:
    std::vector<std::uint32_t> cardinals(xcb_window_t window, const char* property) {
        auto reply = owned(xcb_get_property_reply(
            x_.xcb(),
            xcb_get_property(x_.xcb(), 0, window, x_.atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
            nullptr));
        if (!reply || reply->format != 32) return {};
        const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
        return std::vector<std::uint32_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
    }

    X11TestClient& x_;
};

// Types lower-case text through XTest on the US layout, binding a spare key code for a letter
// it lacks.
class Typist {
  public:
    explicit Typist(X11TestClient& x) : x_(x) {}
    ~Typist() {
        if (spare_) x_.rebind(*spare_, {0, 0});
    }

    void type(const QString& text) {
        for (const QChar c : text) {
            const xcb_keysym_t keysym = c == QLatin1Char(' ') ? 0x20 : c.unicode();
            std::optional<xcb_keycode_t> key = x_.keycodeFor(keysym);
            if (!key) {
                if (!spare_) spare_ = x_.unboundKeycode();
                if (!spare_) return;
                x_.rebind(*spare_, {keysym, keysym});
                // Clients read the new mapping once its notice has reached them.
                spinFor(300);
                key = spare_;
            }
            x_.tap({*key});
            spinFor(10);
        }
    }

    void press(xcb_keysym_t keysym) {
        if (const std::optional<xcb_keycode_t> key = x_.keycodeFor(keysym)) x_.tap({*key});
    }

    void pressWithControl(xcb_keysym_t keysym) {
        const std::optional<xcb_keycode_t> control = x_.keycodeFor(controlKey);
        const std::optional<xcb_keycode_t> key = x_.keycodeFor(keysym);
        if (control && key) x_.tap({*control, *key});
    }

    static constexpr xcb_keysym_t returnKey = 0xff0d;
    static constexpr xcb_keysym_t controlKey = 0xffe3;

  private:
    X11TestClient& x_;
    std::optional<xcb_keycode_t> spare_;
};

void save(const QImage& image, const char* name) {
    const QString path = QString::fromStdString((testsupport::outputDir() / name).string());
    EXPECT_TRUE(image.save(path)) << name;
}

}  // namespace

TEST(OmbrixProgram, OpensLockedUnlocksToTheFullWindowAndSavesWhenClosed) {
    X11TestClient x;
    ASSERT_TRUE(x.isConnected());
    MiniWindowManager manager;
    ASSERT_TRUE(manager.isRunning());

    // A fresh user: settings and home in a temporary folder, the last database pre-chosen.
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString database = home.filePath(QStringLiteral("kasa.kdbx"));
    ASSERT_TRUE(
        QFile::copy(QString::fromStdString(testsupport::fixturePath(fixtureFile).string()), database));
    const QString config = home.filePath(QStringLiteral(".config"));
    {
        SettingsPreferencesStore store(config + QStringLiteral("/Ombrix/Ombrix.conf"));
        store.setValue(QStringLiteral("recentDatabaseBookmark"), database.toUtf8());
    }

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(OMBRIX_PROGRAM), {});
    ASSERT_TRUE(program.waitForStarted());

    ProgramWindow windows(x);
    std::optional<xcb_window_t> window;
    ASSERT_TRUE(spinUntil([&] { return (window = windows.find(program.processId())).has_value(); }, 20000))
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
    save(windows.screenshot(windows.rect(*window)), "program-lock-screen.png");

    // The recent database is offered; its password field has the keyboard.
    {
        Typist typist(x);
        typist.type(QString::fromUtf8(fixturePassword));
        typist.press(Typist::returnKey);
    }

    const bool unlocked = spinUntil([&] { return windows.size(*window) == QSize(1020, 680); }, 20000);
    if (!unlocked) save(windows.screenshot(windows.rect(*window)), "program-unlock-failed.png");
    ASSERT_TRUE(unlocked) << "unlocked size, got " << windows.size(*window).width() << "x"
                          << windows.size(*window).height();
    const std::optional<SizeHints> hints = windows.sizeHints(*window);
    ASSERT_TRUE(hints.has_value());
    EXPECT_EQ(hints->minimum, QSize(720, 460));
    EXPECT_FALSE(hints->maximum.isValid()) << "resizable: no maximum size";
    EXPECT_TRUE(spinUntil([&] { return windows.title(*window).startsWith(QString::fromUtf8(fixtureName)); }))
        << windows.title(*window).toStdString();
    spinFor(300);
    save(windows.screenshot(windows.rect(*window)), "program-unlocked.png");

    // Ctrl+I: the entry editor opens as a sheet over the window; Return adds the entry.
    {
        Typist typist(x);
        typist.pressWithControl('i');
        ASSERT_TRUE(spinUntil([&] { return windows.findAll(program.processId()).size() == 2; }, 10000))
            << "the editor sheet is mapped";
        spinFor(300);
        save(windows.screenshot(windows.rect(*window)), "program-entry-editor.png");
        typist.type(QStringLiteral("deneme kaydi"));
        typist.press(Typist::returnKey);
        ASSERT_TRUE(spinUntil([&] { return windows.findAll(program.processId()).size() == 1; }, 10000))
            << "the sheet closes";
    }

    // Closing the window saves the new entry and ends the program.
    windows.askToClose(*window);
    ASSERT_TRUE(spinUntil([&] { return program.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    const KdbxDatabase saved = KdbxFile::load(testsupport::readFile(database.toStdString()),
                                              KdbxKey(std::string(fixturePassword), std::nullopt));
    std::vector<std::string> titles;
    for (const KdbxEntry& entry : saved.root.allEntries()) titles.push_back(entry.title);
    EXPECT_NE(std::find(titles.begin(), titles.end(), "deneme kaydi"), titles.end())
        << "the new entry was saved at quit";
}
