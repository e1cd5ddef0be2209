// Auto-type over a display link with round trips of 0, 4 and 10 ms: how fast a run types (the
// default sequence, a user name and a password with shifted characters) and how long it holds
// the X server, as another program waiting on the server sees it. The program's connection goes
// through a proxy in front of a virtual X server of our own (Xvfb, on TCP) that delays every
// piece of data by half the round trip in each direction; the target window, a window manager's
// frame around it, and a probe that asks the server for the input focus every half millisecond
// are local clients of that server.
//
// Each round runs four kinds of typing, each first in turn: the program's own; the previous
// release, whose key-press check asked for the input focus, every window from the root down to
// the one under the pointer and the keyboard's keys one request after another, the server grabbed
// all the while, and which read the active window in four requests, one after another; that
// release without its key-press check; and the program without its key-press check. Figures are
// medians of the rounds. The goal: at 4 ms, at most 10 % slower than the previous release typed
// without its check, and the server held for about one round trip per key press.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <xcb/xcb.h>
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-x11.h>
#include "OmbrixServices/Platform/XcbXkb.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "OmbrixServices/Platform/X11AutoTypeBackend.h"
#include "OmbrixServices/Platform/X11Connection.h"
#include "OmbrixServices/Platform/XcbReply.h"
#include "OmbrixServices/Services/AutoTypeService.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

constexpr int defaultRounds = 7;
const std::string username = "kullanici.adi@ornek.com";
const std::string password = "Gizli-Parola-2024!xyz";

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// A virtual X server of our own that also listens on TCP (port 6000 + its display number).
class XServer {
  public:
    XServer() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            if (const int null = ::open("/dev/null", O_WRONLY); null >= 0) ::dup2(null, STDERR_FILENO);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-listen", "tcp", "-ac", "-noreset", "-screen",
                     "0", "800x600x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        pollfd wait{fds[0], POLLIN, 0};
        char c = 0;
        while (number.find('\n') == std::string::npos && ::poll(&wait, 1, 20000) > 0 &&
               ::read(fds[0], &c, 1) == 1)
            number += c;
        ::close(fds[0]);
        if (number.empty()) return;
        display_ = std::atoi(number.c_str());
        ready_ = true;
    }
    ~XServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    bool isReady() const { return ready_; }
    std::string local() const {
        std::string name = ":";
        name += std::to_string(display_);
        return name;
    }
    int tcpPort() const { return 6000 + display_; }

  private:
    pid_t pid_ = -1;
    int display_ = 0;
    bool ready_ = false;
};

// Follows the requests a client sends to the server, to time how long the client holds the server
// grabbed: from the GrabServer request reaching the server to the UngrabServer request reaching it.
class GrabTimer {
  public:
    // The bytes reach the server now.
    void delivered(const std::string& bytes, Clock::time_point now) {
        pending_ += bytes;
        std::size_t at = 0;
        for (;;) {
            if (skip_ > 0) {
                const std::size_t skipped = std::min(skip_, pending_.size() - at);
                skip_ -= skipped;
                at += skipped;
                if (skip_ > 0) break;
            }
            const std::size_t left = pending_.size() - at;
            const auto* b = reinterpret_cast<const unsigned char*>(pending_.data() + at);
            if (!setUp_) {
                // The connection setup: byte order, version, the lengths of the authorisation's
                // name and data, then both, each padded to four bytes.
                if (left < 12) break;
                little_ = b[0] == 'l';
                const std::size_t name = number16(b + 6), data = number16(b + 8);
                skip_ = 12 + (name + 3) / 4 * 4 + (data + 3) / 4 * 4;
                setUp_ = true;
                continue;
            }
            if (left < 4) break;
            std::size_t length = number16(b + 2);
            std::size_t header = 4;
            if (length == 0) {  // BIG-REQUESTS: the length follows
                if (left < 8) break;
                length = number32(b + 4);
                header = 8;
            }
            constexpr unsigned char grabServer = 36, ungrabServer = 37;
            if (b[0] == grabServer) grabbedAt_ = now;
            if (b[0] == ungrabServer && grabbedAt_) {
                std::lock_guard lock(mutex_);
                holds_.push_back(std::chrono::duration<double, std::milli>(now - *grabbedAt_).count());
                grabbedAt_.reset();
            }
            skip_ = std::max(length * 4, header);
        }
        pending_.erase(0, at);
    }

    std::vector<double> takeHolds() {
        std::lock_guard lock(mutex_);
        return std::exchange(holds_, {});
    }

  private:
    std::size_t number16(const unsigned char* p) const {
        return little_ ? std::size_t{p[0]} | std::size_t{p[1]} << 8
                       : std::size_t{p[1]} | std::size_t{p[0]} << 8;
    }
    std::size_t number32(const unsigned char* p) const {
        return little_ ? number16(p) | number16(p + 2) << 16 : number16(p + 2) | number16(p) << 16;
    }

    bool setUp_ = false;
    bool little_ = true;
    std::string pending_;
    std::size_t skip_ = 0;
    std::optional<Clock::time_point> grabbedAt_;
    std::mutex mutex_;
    std::vector<double> holds_;
};

// A TCP proxy in front of the server that delays everything by `delay` in each direction, and
// times the server grabs of the clients that go through it.
class LatencyProxy {
  public:
    LatencyProxy(int upstreamPort, microseconds delay) : upstream_(upstreamPort), delay_(delay) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        // A display number of its own above those servers usually take.
        for (int number = 180; number < 400; ++number) {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(static_cast<std::uint16_t>(6000 + number));
            if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                display_ = number;
                break;
            }
        }
        if (display_ < 0 || ::listen(listener_, 8) != 0) return;
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    ~LatencyProxy() {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        if (acceptor_.joinable()) acceptor_.join();
        for (std::thread& t : pumps_) t.join();
    }
    // How long each server grab lasted, in ms, since the last call.
    std::vector<double> takeHolds() {
        std::lock_guard lock(grabsMutex_);
        std::vector<double> holds;
        for (const std::shared_ptr<GrabTimer>& grabs : grabs_) {
            const std::vector<double> more = grabs->takeHolds();
            holds.insert(holds.end(), more.begin(), more.end());
        }
        return holds;
    }

    std::string display() const {
        std::string name = "127.0.0.1:";
        name += std::to_string(display_);
        return name;
    }

  private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;  // empty: the other end closed
    };
    struct Direction {
        std::mutex mutex;
        std::condition_variable ready;
        std::deque<Chunk> chunks;
    };

    void acceptLoop() {
        for (;;) {
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) return;
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(static_cast<std::uint16_t>(upstream_));
            if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                ::close(client);
                ::close(server);
                continue;
            }
            const int yes = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            auto grabs = std::make_shared<GrabTimer>();
            {
                std::lock_guard lock(grabsMutex_);
                grabs_.push_back(grabs);
            }
            for (const bool toServer : {true, false}) {
                const int from = toServer ? client : server;
                const int to = toServer ? server : client;
                auto direction = std::make_shared<Direction>();
                pumps_.emplace_back([this, from, direction] { read(from, *direction); });
                pumps_.emplace_back([this, to, direction, grabs = toServer ? grabs : nullptr] {
                    write(to, *direction, grabs.get());
                });
            }
        }
    }

    void read(int from, Direction& direction) {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::recv(from, buffer, sizeof buffer, 0);
            const Clock::time_point due = Clock::now() + delay_;
            std::lock_guard lock(direction.mutex);
            direction.chunks.push_back(
                {due, got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : ""});
            direction.ready.notify_one();
            if (got <= 0) return;
        }
    }

    void write(int to, Direction& direction, GrabTimer* grabs) {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock lock(direction.mutex);
                direction.ready.wait(lock, [&] { return !direction.chunks.empty(); });
                chunk = std::move(direction.chunks.front());
                direction.chunks.pop_front();
            }
            std::this_thread::sleep_until(chunk.due);
            if (chunk.bytes.empty()) {
                ::shutdown(to, SHUT_WR);
                return;
            }
            for (std::size_t sent = 0; sent < chunk.bytes.size();) {
                const ssize_t n =
                    ::send(to, chunk.bytes.data() + sent, chunk.bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) return;
                sent += static_cast<std::size_t>(n);
            }
            if (grabs) grabs->delivered(chunk.bytes, Clock::now());
        }
    }

    int upstream_;
    microseconds delay_;
    int listener_ = -1;
    int display_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::vector<std::thread> pumps_;
    std::mutex grabsMutex_;
    std::vector<std::shared_ptr<GrabTimer>> grabs_;
};

// The target: a window inside a frame, as a reparenting window manager puts it, named active and
// holding the input focus, with the pointer over it. It reads its keys as a client does.
class Target {
  public:
    explicit Target(const std::string& display) {
        connection_ = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(connection_)) return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        const xcb_window_t root = screen->root;
        const xcb_window_t frame = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, frame, root, 40, 40, 320, 240, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        window_ = xcb_generate_id(connection_);
        const std::uint32_t events = XCB_EVENT_MASK_KEY_PRESS;
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, frame, 0, 20, 320, 220, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &events);
        xcb_map_window(connection_, window_);
        xcb_map_window(connection_, frame);

        // What an EWMH window manager says on the root window.
        const xcb_window_t check = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, check, root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const xcb_atom_t checkAtom = atom("_NET_SUPPORTING_WM_CHECK");
        const xcb_atom_t activeAtom = atom("_NET_ACTIVE_WINDOW");
        for (const xcb_window_t on : {root, check})
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, on, checkAtom, XCB_ATOM_WINDOW, 32, 1,
                                &check);
        std::vector<xcb_atom_t> supported = {activeAtom,
                                             checkAtom,
                                             atom("_NET_WM_NAME"),
                                             atom("_NET_WM_PID"),
                                             atom("_NET_WM_STATE"),
                                             atom("_NET_CLIENT_LIST")};
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root, atom("_NET_SUPPORTED"), XCB_ATOM_ATOM,
                            32, static_cast<std::uint32_t>(supported.size()), supported.data());
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root, activeAtom, XCB_ATOM_WINDOW, 32, 1,
                            &window_);
        XcbReply<xcb_get_input_focus_reply_t>(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window_, XCB_CURRENT_TIME);
        xcb_warp_pointer(connection_, XCB_NONE, root, 0, 0, 0, 0, 200, 160);

        context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        xkb_x11_setup_xkb_extension(connection_, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                    XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr);
        keymap_ = xkb_x11_keymap_new_from_device(context_, connection_,
                                                 xkb_x11_get_core_keyboard_device_id(connection_),
                                                 XKB_KEYMAP_COMPILE_NO_FLAGS);
        state_ = keymap_ ? xkb_state_new(keymap_) : nullptr;
        XcbReply<xcb_get_input_focus_reply_t>(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        ready_ = state_ != nullptr;
        reader_ = std::thread([this] { readKeys(); });
    }
    ~Target() {
        stopping_ = true;
        if (reader_.joinable()) reader_.join();
        xkb_state_unref(state_);
        xkb_keymap_unref(keymap_);
        xkb_context_unref(context_);
        xcb_disconnect(connection_);
    }

    bool isReady() const { return ready_; }
    xcb_window_t window() const { return window_; }
    void clear() {
        std::lock_guard lock(mutex_);
        typed_.clear();
        presses_ = 0;
    }
    std::string typed() {
        std::lock_guard lock(mutex_);
        return typed_;
    }
    int presses() {
        std::lock_guard lock(mutex_);
        return presses_;
    }

  private:
    xcb_atom_t atom(const char* name) {
        XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr));
        return reply ? reply->atom : XCB_NONE;
    }

    void readKeys() {
        pollfd wait{xcb_get_file_descriptor(connection_), POLLIN, 0};
        while (!stopping_) {
            ::poll(&wait, 1, 20);
            while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(connection_)}) {
                if ((event->response_type & 0x7f) != XCB_KEY_PRESS || !state_) continue;
                const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
                xkb_state_update_mask(state_, key->state & 0xff, 0, 0, 0, 0, (key->state >> 13) & 0x3);
                char text[64] = {};
                xkb_state_key_get_utf8(state_, key->detail, text, sizeof text);
                std::lock_guard lock(mutex_);
                typed_ += text;
                ++presses_;
            }
        }
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = XCB_NONE;
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* state_ = nullptr;
    bool ready_ = false;
    std::atomic<bool> stopping_{false};
    std::thread reader_;
    std::mutex mutex_;
    std::string typed_;
    int presses_ = 0;
};

// Another program waiting on the server: how long each of its requests takes, while it runs.
class Probe {
  public:
    explicit Probe(const std::string& display) : connection_(xcb_connect(display.c_str(), nullptr)) {
        thread_ = std::thread([this] {
            while (!stopping_) {
                const Clock::time_point asked = Clock::now();
                std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
                {
                    std::lock_guard lock(mutex_);
                    waits_.push_back(ms);
                }
                std::this_thread::sleep_for(microseconds{500});
            }
        });
    }
    ~Probe() {
        stopping_ = true;
        thread_.join();
        xcb_disconnect(connection_);
    }
    std::vector<double> waits() {
        std::lock_guard lock(mutex_);
        return waits_;
    }

  private:
    xcb_connection_t* connection_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<double> waits_;
};

using Outcome = AutoTypeService::Backend::Outcome;
using WindowId = AutoTypeService::WindowId;
using KeyStroke = AutoTypeService::KeyStroke;

// The program's backend, but for how it checks a key press (as the previous release did, or not
// at all) and, with `previousReads`, how it reads the active window (as that release did).
class ReferenceBackend final : public AutoTypeService::Backend {
  public:
    ReferenceBackend(X11Connection& c, bool checked, bool previousReads)
        : c_(c),
          real_(createX11AutoTypeBackend([&c] { return &c; })),
          checked_(checked),
          previousReads_(previousReads) {}

    bool canSynthesize() override { return real_->canSynthesize(); }
    void watchActiveWindow(std::function<void()> onChange) override {
        real_->watchActiveWindow(std::move(onChange));
    }
    bool hasFocus(WindowId window) override { return real_->hasFocus(window); }
    bool isOwnWindow(WindowId window) override { return real_->isOwnWindow(window); }
    bool windowExists(WindowId window) override { return real_->windowExists(window); }
    bool isClosed(WindowId window) override { return real_->isClosed(window); }
    QString applicationName(WindowId window) override { return real_->applicationName(window); }
    std::optional<QString> windowTitle(WindowId window) override { return real_->windowTitle(window); }
    void activate(WindowId window) override { real_->activate(window); }
    bool keysHeld() override { return real_->keysHeld(); }
    Outcome beginTyping(WindowId window) override { return real_->beginTyping(window); }
    std::optional<CharacterStrokes> strokes(QStringView character) override {
        return real_->strokes(character);
    }
    std::optional<KeyStroke> stroke(AutoTypeKey key) override { return real_->stroke(key); }
    std::optional<KeyStroke> selectAllStroke() override { return real_->selectAllStroke(); }
    bool releaseKey(std::uint32_t keycode) override { return real_->releaseKey(keycode); }
    void endRun() override { real_->endRun(); }

    // Four property reads, one after another.
    WindowId activeWindow() override {
        if (!previousReads_) return real_->activeWindow();
        const xcb_atom_t check = c_.atom("_NET_SUPPORTING_WM_CHECK");
        const std::vector<std::uint32_t> wm = c_.uint32Property(c_.root(), check, XCB_ATOM_WINDOW);
        if (wm.empty() || c_.uint32Property(wm.front(), check, XCB_ATOM_WINDOW) != wm) return 0;
        const std::vector<std::uint32_t> supported =
            c_.uint32Property(c_.root(), c_.atom("_NET_SUPPORTED"), XCB_ATOM_ATOM);
        if (std::find(supported.begin(), supported.end(), c_.atom("_NET_ACTIVE_WINDOW")) == supported.end())
            return 0;
        const std::vector<std::uint32_t> active =
            c_.uint32Property(c_.root(), c_.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
        return active.empty() ? 0 : active.front();
    }

    Outcome pressKey(WindowId window, std::uint32_t keycode, const std::vector<std::uint32_t>& ours,
                     bool userKeys) override {
        Outcome outcome = Outcome::done;
        if (checked_) xcb_grab_server(c_.xcb());
        if (checked_) outcome = previousCheck(window, ours, userKeys);
        if (outcome == Outcome::done)
            xcb_test_fake_input(c_.xcb(), XCB_KEY_PRESS, static_cast<std::uint8_t>(keycode), XCB_CURRENT_TIME,
                                XCB_NONE, 0, 0, 0);
        if (checked_) xcb_ungrab_server(c_.xcb());
        c_.flush();
        return outcome;
    }

  private:
    // The input focus, the window under the pointer down from the root, the windows between
    // them and the target, and the keyboard's keys: each request waits for the one before.
    Outcome previousCheck(xcb_window_t window, const std::vector<std::uint32_t>& ours, bool userKeys) {
        XcbReply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(c_.xcb(), xcb_get_input_focus(c_.xcb()), nullptr));
        if (!focus || focus->focus == XCB_NONE) return Outcome::focusMoved;
        const xcb_window_t focused = focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT
                                         ? c_.root()
                                         : static_cast<xcb_window_t>(focus->focus);
        xcb_window_t pointer = c_.root();
        for (int depth = 0; depth < 64; ++depth) {
            XcbReply<xcb_query_pointer_reply_t> reply(
                xcb_query_pointer_reply(c_.xcb(), xcb_query_pointer(c_.xcb(), pointer), nullptr));
            if (!reply || !reply->same_screen || reply->child == XCB_NONE) break;
            pointer = reply->child;
        }
        const xcb_window_t receiver = isWithin(pointer, focused) ? pointer : focused;
        if (!isWithin(receiver, window)) return Outcome::focusMoved;
        c_.processQueuedEvents();
        if (userKeys) {
            XcbReply<xcb_query_keymap_reply_t> keymap(
                xcb_query_keymap_reply(c_.xcb(), xcb_query_keymap(c_.xcb()), nullptr));
            if (!keymap) return Outcome::failed;
            for (int key = 0; key < 256; ++key) {
                const bool down = (keymap->keys[key / 8] & (1u << (key % 8))) != 0;
                if (down &&
                    std::find(ours.begin(), ours.end(), static_cast<std::uint32_t>(key)) == ours.end())
                    return Outcome::keyHeld;
            }
        }
        return Outcome::done;
    }

    bool isWithin(xcb_window_t window, xcb_window_t ancestor) {
        for (int depth = 0; depth < 64 && window != XCB_NONE; ++depth) {
            if (window == ancestor) return true;
            if (window == c_.root()) return false;
            XcbReply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(c_.xcb(), xcb_query_tree(c_.xcb(), window), nullptr));
            if (!tree) return false;
            window = tree->parent;
        }
        return false;
    }

    X11Connection& c_;
    std::unique_ptr<AutoTypeService::Backend> real_;
    bool checked_;
    bool previousReads_;
};

// The desktop every round types on.
struct Desk {
    XServer server;
    std::unique_ptr<Target> target;
    std::map<int, std::unique_ptr<LatencyProxy>> links;  // by round trip, ms

    bool isReady() const { return server.isReady() && target && target->isReady(); }
    LatencyProxy& link(int roundTripMs) {
        std::unique_ptr<LatencyProxy>& proxy = links[roundTripMs];
        if (!proxy) proxy = std::make_unique<LatencyProxy>(server.tcpPort(), microseconds{roundTripMs * 500});
        return *proxy;
    }
};

// Made on first use and gone before the program ends, with its server.
std::unique_ptr<Desk> theDesk;

Desk& desk() {
    if (!theDesk) {
        theDesk = std::make_unique<Desk>();
        if (theDesk->server.isReady()) theDesk->target = std::make_unique<Target>(theDesk->server.local());
    }
    return *theDesk;
}

// The program; the previous release; that release without its key-press check (the speed the
// program must stay within 10 % of); the program without its key-press check.
enum class Kind { program, previousCheck, noCheck, programNoCheck };
constexpr Kind kinds[] = {Kind::program, Kind::previousCheck, Kind::noCheck, Kind::programNoCheck};
constexpr const char* kindNames[] = {"program", "previous release", "previous, no check",
                                     "program, no check"};

struct Round {
    double charsPerSecond = 0;
    double pressesPerChar = 0;
    double msPerChar = 0;
    std::vector<double> holdsMs;  // each server grab of the run
    double holdMedianMs = 0;
    double holdMaxMs = 0;
    double waitMaxMs = 0;  // the longest another program waited for an answer
};

std::optional<Round> typeOnce(Kind kind, int roundTripMs) {
    Desk& d = desk();
    std::unique_ptr<X11Connection> connection = X11Connection::open(d.link(roundTripMs).display().c_str());
    if (!connection || !connection->keyboard()) return std::nullopt;
    std::unique_ptr<AutoTypeService::Backend> backend =
        kind == Kind::program ? createX11AutoTypeBackend([c = connection.get()] { return c; })
                              : std::make_unique<ReferenceBackend>(*connection, kind == Kind::previousCheck,
                                                                   kind != Kind::programNoCheck);
    AutoTypeService service(std::move(backend));
    if (!service.captureTarget() || service.targetApplication()->window != d.target->window())
        return std::nullopt;
    d.target->clear();

    const std::vector<AutoTypeAction> actions = {
        AutoTypeAction::text(username), AutoTypeAction::key(AutoTypeKey::tab), AutoTypeAction::text(password),
        AutoTypeAction::key(AutoTypeKey::enter)};
    const double characters = static_cast<double>(username.size() + password.size() + 2);
    bool done = false;
    std::optional<AutoTypeError> error;
    d.link(roundTripMs).takeHolds();
    Probe probe(d.server.local());
    QElapsedTimer timer;
    timer.start();
    service.perform(actions, [&](std::optional<AutoTypeError> e) {
        done = true;
        error = std::move(e);
    });
    while (!done && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const std::vector<double> waits = probe.waits();
    if (!done || error) {
        std::fprintf(stderr, "%s: %s\n", kindNames[static_cast<int>(kind)],
                     error ? error->description().c_str() : "no end");
        return std::nullopt;
    }
    // Everything typed has arrived once a round trip on the target's own connection is done.
    const std::string expected = username + "\t" + password + "\r";
    for (int i = 0; i < 200 && d.target->typed().size() < expected.size(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds{5});
    if (d.target->typed() != expected) {
        std::fprintf(stderr, "%s: the target got other text\n", kindNames[static_cast<int>(kind)]);
        return std::nullopt;
    }
    Round round;
    round.charsPerSecond = characters / (ms / 1000);
    round.msPerChar = ms / characters;
    round.pressesPerChar = d.target->presses() / characters;
    const std::vector<double> holds = d.link(roundTripMs).takeHolds();
    round.holdsMs = holds;
    round.holdMedianMs = median(holds);
    round.holdMaxMs = holds.empty() ? 0 : *std::max_element(holds.begin(), holds.end());
    round.waitMaxMs = waits.empty() ? 0 : *std::max_element(waits.begin(), waits.end());
    return round;
}

struct Medians {
    double charsPerSecond, msPerChar, pressesPerChar;
};
std::map<std::pair<int, int>, Medians> results;  // (round trip, kind)

void AutoTypeOverADisplayLink(benchmark::State& state) {
    const int roundTripMs = static_cast<int>(state.range(0));
    if (!desk().isReady()) {
        state.SkipWithError("no Xvfb to type on");
        return;
    }
    const char* fromEnvironment = std::getenv("OMBRIX_BENCH_ROUNDS");
    const int rounds = fromEnvironment ? std::max(1, std::atoi(fromEnvironment)) : defaultRounds;
    const std::string loadBefore = loadAverage();
    std::vector<Round> byKind[std::size(kinds)];
    for (auto _ : state) {
        for (int i = 0; i < rounds; ++i) {
            // Each round starts with another kind, so that none is always first or last.
            for (std::size_t k = 0; k < std::size(kinds); ++k) {
                const std::size_t kind = (k + static_cast<std::size_t>(i)) % std::size(kinds);
                const std::optional<Round> round = typeOnce(kinds[kind], roundTripMs);
                if (!round) {
                    state.SkipWithError("a run failed");
                    return;
                }
                byKind[kind].push_back(*round);
            }
        }
    }
    const auto of = [&](std::size_t kind, double Round::*figure) {
        std::vector<double> values;
        for (const Round& r : byKind[kind]) values.push_back(r.*figure);
        return median(values);
    };
    for (std::size_t k = 0; k < std::size(kinds); ++k) {
        results[{roundTripMs, static_cast<int>(k)}] =
            Medians{of(k, &Round::charsPerSecond), of(k, &Round::msPerChar), of(k, &Round::pressesPerChar)};
    }
    state.counters["program_chars_per_s"] = of(0, &Round::charsPerSecond);
    state.counters["previous_chars_per_s"] = of(1, &Round::charsPerSecond);
    state.counters["nocheck_chars_per_s"] = of(2, &Round::charsPerSecond);
    state.counters["program_nocheck_chars_per_s"] = of(3, &Round::charsPerSecond);
    state.counters["program_vs_nocheck"] = of(0, &Round::charsPerSecond) / of(2, &Round::charsPerSecond);
    state.counters["program_vs_program_nocheck"] =
        of(0, &Round::charsPerSecond) / of(3, &Round::charsPerSecond);
    // The 99th percentile of every grab of every round of a kind.
    const auto holdP99 = [&](std::size_t kind) {
        std::vector<double> all;
        for (const Round& r : byKind[kind]) all.insert(all.end(), r.holdsMs.begin(), r.holdsMs.end());
        return percentile(all, 0.99);
    };
    state.counters["program_hold_median_ms"] = of(0, &Round::holdMedianMs);
    state.counters["program_hold_p99_ms"] = holdP99(0);
    state.counters["program_hold_max_ms"] = of(0, &Round::holdMaxMs);
    state.counters["previous_hold_median_ms"] = of(1, &Round::holdMedianMs);
    state.counters["previous_hold_p99_ms"] = holdP99(1);
    state.counters["previous_hold_max_ms"] = of(1, &Round::holdMaxMs);
    state.counters["program_wait_max_ms"] = of(0, &Round::waitMaxMs);
    state.counters["previous_wait_max_ms"] = of(1, &Round::waitMaxMs);
    state.counters["nocheck_wait_max_ms"] = of(2, &Round::waitMaxMs);
    state.SetLabel("load " + loadBefore + " -> " + loadAverage());
}
BENCHMARK(AutoTypeOverADisplayLink)->Arg(0)->Arg(4)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond);

// Round trips each kind waits for per character, from how much slower it types over the slower
// links than over the direct one; and what a key-press check adds per key press, from a kind with
// its check against the same kind without it.
void printRoundTrips() {
    if (results.empty()) return;
    const auto perCharacter = [](int kind, int roundTripMs) -> std::optional<double> {
        const auto base = results.find({0, kind});
        const auto slow = results.find({roundTripMs, kind});
        if (base == results.end() || slow == results.end()) return std::nullopt;
        return (slow->second.msPerChar - base->second.msPerChar) / roundTripMs;
    };
    std::printf("\nround trips waited for, from the time per character at 0 ms and the slower links:\n");
    for (const int rtt : {4, 10}) {
        for (int k = 0; k < static_cast<int>(std::size(kinds)); ++k) {
            if (const std::optional<double> rt = perCharacter(k, rtt))
                std::printf("  at %2d ms, %-18s %.2f a character\n", rtt, kindNames[k], *rt);
        }
        const auto pressesPerChar = results.find({0, 0});
        for (const auto& [checked, unchecked] : {std::pair{0, 3}, std::pair{1, 2}}) {
            const std::optional<double> with = perCharacter(checked, rtt),
                                        without = perCharacter(unchecked, rtt);
            if (!with || !without || pressesPerChar == results.end()) continue;
            std::printf("  at %2d ms, the check of the %s: %.2f a key press (%.2f presses a character)\n",
                        rtt, kindNames[checked], (*with - *without) / pressesPerChar->second.pressesPerChar,
                        pressesPerChar->second.pressesPerChar);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The connections are the benchmark's own; Qt needs no display of its own.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printRoundTrips();
    theDesk.reset();
    return 0;
}
