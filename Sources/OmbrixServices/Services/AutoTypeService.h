#pragma once

#include <QObject>
#include <QString>
#include <QStringView>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "OmbrixCore/Kdbx/Models.h"
#include "OmbrixServices/Services/AutoTypeAction.h"
#include "OmbrixServices/Services/AutoTypeError.h"

// Types an entry's data into another application by synthesising key presses. It remembers the
// target (the last window of another application that was active), brings it to the front, waits
// until the user has let go of every key (again before each stroke, should they press one
// meanwhile) and presses the keys of each step with short pauses in between. Every key press is
// sent only after the desktop has been checked, in the same step, that the keyboard focus is
// still in the target, that no other program holds the keyboard and that no key of the user is
// down; otherwise the run stops (or, for a key of the user, waits) and sends nothing more. A run is
// a chain of steps on the main thread's timers: the waits never block the interface. One run at a
// time. Main thread only.
class AutoTypeService : public QObject {
    Q_OBJECT

  public:
    // The built-in default sequence: the default of the preference and of the editors.
    static constexpr std::string_view defaultSequence = "{USERNAME}{TAB}{PASSWORD}{ENTER}";

    using WindowId = std::uint32_t;

    // The window to type into and the name of its application ("Uygulama" is shown when empty).
    struct Target {
        WindowId window = 0;
        QString name;

        bool operator==(const Target&) const = default;
    };

    // One key press: hold the modifier keys in order, press and release the key, let go of the
    // modifiers in reverse order. Key codes are those of the desktop's keyboard.
    struct KeyStroke {
        std::uint32_t keycode = 0;
        std::vector<std::uint32_t> modifierKeys;

        bool operator==(const KeyStroke&) const = default;
    };

    // The desktop as a run needs it: windows, the keyboard and synthesised key presses.
    class Backend {
      public:
        // What came of a step that touches the keyboard.
        enum class Outcome {
            done,
            focusMoved,       // the keyboard focus is not in the window
            keyboardGrabbed,  // another program holds the whole keyboard
            keyHeld,          // a key of the user is down
            failed,           // the request could not be sent
        };

        // The strokes of one user-perceived character. None yet, with a wait, when a spare key
        // code must keep its present meaning a while longer before it can take a new one: ask
        // again after retryAfter.
        struct CharacterStrokes {
            std::vector<KeyStroke> strokes;
            std::chrono::milliseconds retryAfter{0};
        };

        virtual ~Backend() = default;
        // Key presses can be synthesised (an X11 display with the XTEST extension).
        virtual bool canSynthesize() = 0;
        // Calls onChange from the event loop whenever the active window changes.
        virtual void watchActiveWindow(std::function<void()> onChange) = 0;
        // The window that the desktop names active; 0 when none.
        virtual WindowId activeWindow() = 0;
        // The keyboard focus lies in the window or in one of its descendants: key presses go there.
        virtual bool hasFocus(WindowId window) = 0;
        // The window belongs to this process.
        virtual bool isOwnWindow(WindowId window) = 0;
        virtual bool windowExists(WindowId window) = 0;
        // The window is closed for the user: gone, or taken off the screen by its program
        // (withdrawn, not minimised).
        virtual bool isClosed(WindowId window) { return !windowExists(window); }
        // The name of the window's application; empty when it gives none.
        virtual QString applicationName(WindowId window) = 0;
        virtual std::optional<QString> windowTitle(WindowId window) = 0;
        // Asks for the window to be raised and focused; the answer comes later, if at all.
        virtual void activate(WindowId window) = 0;
        // Some key is down right now: a modifier, the hot key's letter (whose grab takes every key
        // press away from the target while it is down) or any other.
        virtual bool keysHeld() = 0;
        // Typing into the window starts: put aside what would change the typed text (Caps Lock,
        // Shift Lock) and start watching for programs that take the keyboard; endRun() gives it
        // back. keyboardGrabbed when another program holds the keyboard already; failed when the
        // locks cannot be put aside.
        virtual Outcome beginTyping(WindowId window) = 0;
        // The strokes that type one user-perceived character in the current layout, binding a
        // spare key code to a character that no key types; none when that is impossible.
        virtual std::optional<CharacterStrokes> strokes(QStringView character) = 0;
        // A named key, and Ctrl with the key that types "a" (select all).
        virtual std::optional<KeyStroke> stroke(AutoTypeKey key) = 0;
        virtual std::optional<KeyStroke> selectAllStroke() = 0;
        // Presses one key, checked in one step with it so that no other program can come in
        // between: only while the keyboard focus lies in the window, no other program holds the
        // keyboard and, when userKeys is true, no key is down but those in `ours` (the run's own).
        // Otherwise nothing is pressed and the outcome says why.
        virtual Outcome pressKey(WindowId window, std::uint32_t keycode,
                                 const std::vector<std::uint32_t>& ours, bool userKeys) = 0;
        // Releases one key; false when the event could not be sent.
        virtual bool releaseKey(std::uint32_t keycode) = 0;
        // A run has ended: undo what it changed on the desktop (the locks it put aside; later, the
        // spare key codes it bound).
        virtual void endRun() = 0;
    };

    using Completion = std::function<void(std::optional<AutoTypeError> error)>;

    // The process-wide instance, over the desktop's backend that the program gave installShared()
    // at start-up. Asking for it before then is a programming error.
    static AutoTypeService& shared();
    // Makes the process-wide instance; once, before the first use of shared().
    static void installShared(std::unique_ptr<Backend> backend);

    explicit AutoTypeService(std::unique_ptr<Backend> backend, QObject* parent = nullptr);
    // Stops a run that is still going (its keys are released, its completion is not called).
    ~AutoTypeService() override;

    // Read when used, so a change takes effect at the next pause, also in a run under way.
    std::chrono::milliseconds keystrokeDelay{25};        // after every key stroke
    std::chrono::milliseconds activationTimeout{2000};   // longest wait for the target to come to the front
    std::chrono::milliseconds postActivationDelay{120};  // once the target is in front
    std::chrono::milliseconds modifierSettleDelay{20};   // after pressing and before releasing modifiers
    bool waitForKeyRelease = true;                       // wait (at most 1 s) for the user's keys

    // An X11 display with the XTEST extension; never true in a Wayland session.
    bool hasAccessibilityPermission() const;

    // From now on the target follows the active window (other than ours). Once per instance.
    void startTrackingFrontmostApplication();
    // Takes the active window as target unless it is one of ours; returns the target.
    std::optional<Target> captureTarget();
    void clearTarget();
    const std::optional<Target>& targetApplication() const { return target_; }

    // The title of the target's window (or of the active window without a target), else its
    // application's name; none without either.
    std::optional<QString> frontmostWindowTitle();

    // Types the steps into the target and calls completion from the event loop, with none on
    // success. The steps are wiped when the run ends. While a run is going, another is refused
    // (alreadyRunning); an empty list succeeds without touching anything.
    void perform(std::vector<AutoTypeAction> actions, Completion completion);
    // Parses the sequence for the entry and types it.
    void perform(std::string_view sequence, const KdbxEntry& entry, Completion completion);
    bool isRunning() const { return run_ != nullptr; }
    // Stops the run under way, releasing every key it holds and giving back the locks it put
    // aside; it completes with cancelled.
    void cancel();

  private:
    struct Run;
    void step();
    void activating();
    enum class UserKeys { up, waiting, stopped };
    // Whether the user's keys are all up; else waits for the next poll, or stops the run when a
    // key has stayed down too long.
    UserKeys userKeys();
    void waitingForKeys();
    void typing();
    bool expandNext();
    void addStroke(const KeyStroke& stroke);
    bool releaseHeldKeys();
    void wait(std::chrono::milliseconds delay);
    void finish(std::optional<AutoTypeError> error, bool notify = true);
    AutoTypeError activationFailed() const;
    // The keyboard focus left the target: why, as the user reads it.
    AutoTypeError focusLost();

    std::unique_ptr<Backend> backend_;
    std::optional<Target> target_;
    bool tracking_ = false;
    std::unique_ptr<Run> run_;
    QTimer timer_;
};
