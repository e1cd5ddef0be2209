#include "OmbrixServices/Services/AutoTypeService.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <deque>
#include <utility>

#include "OmbrixCore/Foundation/Precondition.h"
#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixServices/Services/AutoTypeSequence.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Never destroyed, like the application's other shared services.
AutoTypeService* sharedInstance = nullptr;

constexpr milliseconds pollInterval{20};
constexpr milliseconds keyReleaseWait{1000};

// Zeroes the characters of the string (the run keeps its only reference), then empties it.
void wipe(QString& s) {
    if (!s.isEmpty()) secureWipe(s.data(), static_cast<std::size_t>(s.size()) * sizeof(QChar));
    s.clear();
}

// A line break of any convention in a text (notes, a custom field): editors take a new line from
// the Return key, not from the Linefeed keysym.
bool isLineBreak(QStringView character) {
    return character == u"\r\n" || character == u"\n" || character == u"\r";
}

// One micro-step of the typing phase. A stroke is unfolded into the presses, releases and pauses
// of its keys when its turn comes, so that it can be typed again from its start.
struct Op {
    enum class Kind { checkTarget, stroke, press, release, wait, endStroke };
    Kind kind;
    std::uint32_t keycode = 0;
    milliseconds delay{0};
    std::shared_ptr<const AutoTypeService::KeyStroke> stroke{};
    bool mainKey = false;  // the press of the stroke's own key, after its modifiers
};

using Outcome = AutoTypeService::Backend::Outcome;

}  // namespace

struct AutoTypeService::Run {
    enum class Phase { starting, activating, settling, keys, typing };

    std::vector<AutoTypeAction> actions;
    Completion completion;
    Target target;
    Phase phase = Phase::starting;
    Clock::time_point deadline;
    // Set while the user holds a key: the end of the wait for its release.
    std::optional<Clock::time_point> keysDeadline;
    std::size_t nextAction = 0;
    // The text step being typed, as UTF-16 with the bounds of its user-perceived characters.
    QString text;
    std::vector<qsizetype> bounds;
    std::size_t nextCharacter = 0;
    std::deque<Op> ops;
    // The stroke being typed, and since when a key of the user has stood in its way.
    std::shared_ptr<const KeyStroke> stroke;
    std::optional<Clock::time_point> strokeHeldSince;
    // Keys we hold down right now, in the order they went down.
    std::vector<std::uint32_t> pressed;
};

AutoTypeService& AutoTypeService::shared() {
    OMBRIX_PRECONDITION(sharedInstance, "AutoTypeService::shared() before installShared()");
    return *sharedInstance;
}

void AutoTypeService::installShared(std::unique_ptr<Backend> backend) {
    OMBRIX_PRECONDITION(!sharedInstance, "AutoTypeService::installShared() twice");
    sharedInstance = new AutoTypeService(std::move(backend));
}

AutoTypeService::AutoTypeService(std::unique_ptr<Backend> backend, QObject* parent)
    : QObject(parent), m_backend(std::move(backend)) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &AutoTypeService::step);
}

AutoTypeService::~AutoTypeService() {
    if (m_run) finish(AutoTypeError::cancelled(), false);
}

bool AutoTypeService::hasAccessibilityPermission() const {
    return m_backend->canSynthesize();
}

void AutoTypeService::startTrackingFrontmostApplication() {
    if (m_tracking) return;
    m_tracking = true;
    captureTarget();
    m_backend->watchActiveWindow([this] { captureTarget(); });
}

std::optional<AutoTypeService::Target> AutoTypeService::captureTarget() {
    const WindowId front = m_backend->activeWindow();
    if (front != 0 && !m_backend->isOwnWindow(front))
        m_target = Target{front, m_backend->applicationName(front)};
    return m_target;
}

void AutoTypeService::clearTarget() {
    m_target.reset();
}

std::optional<QString> AutoTypeService::frontmostWindowTitle() {
    const WindowId window = m_target ? m_target->window : m_backend->activeWindow();
    if (window == 0) return std::nullopt;
    if (std::optional<QString> title = m_backend->windowTitle(window); title && !title->isEmpty())
        return title;
    QString name = m_backend->applicationName(window);
    if (name.isEmpty() && m_target && m_target->window == window) name = m_target->name;
    if (name.isEmpty()) return std::nullopt;
    return name;
}

void AutoTypeService::perform(std::string_view sequence, const KdbxEntry& entry, Completion completion) {
    perform(AutoTypeSequence::parse(sequence, entry), std::move(completion));
}

void AutoTypeService::perform(std::vector<AutoTypeAction> actions, Completion completion) {
    // Outcomes known at once still reach the caller from the event loop, like every other.
    const auto reply = [this, &actions, &completion](std::optional<AutoTypeError> error) {
        for (AutoTypeAction& action : actions) action.wipe();
        QTimer::singleShot(0, this, [completion = std::move(completion), error] {
            if (completion) completion(error);
        });
    };
    if (actions.empty()) return reply(std::nullopt);
    // Also what a held hot key's auto-repeat meets: it never starts a second run.
    if (m_run) return reply(AutoTypeError::alreadyRunning());
    if (!m_backend->canSynthesize()) return reply(AutoTypeError::accessibilityPermissionMissing());

    m_run = std::make_unique<Run>();
    m_run->actions = std::move(actions);
    m_run->completion = std::move(completion);
    m_run->target = m_target.value_or(Target{});
    wait(milliseconds{0});
}

void AutoTypeService::cancel() {
    if (m_run) finish(AutoTypeError::cancelled());
}

void AutoTypeService::wait(milliseconds delay) {
    m_timer.start(std::max(delay, milliseconds{0}));
}

void AutoTypeService::step() {
    if (!m_run) return;
    switch (m_run->phase) {
        case Run::Phase::starting:
        case Run::Phase::activating:
            return activating();
        case Run::Phase::settling:
            m_run->phase = Run::Phase::keys;
            return waitingForKeys();
        case Run::Phase::keys:
            return waitingForKeys();
        case Run::Phase::typing:
            return typing();
    }
}

AutoTypeError AutoTypeService::activationFailed() const {
    const QString& name = m_run->target.name;
    return AutoTypeError::targetActivationFailed(name.isEmpty() ? std::string("Uygulama")
                                                                : name.toStdString());
}

void AutoTypeService::activating() {
    Run& run = *m_run;
    if (run.target.window == 0 || !m_backend->windowExists(run.target.window)) {
        return finish(AutoTypeError::noTargetApplication());
    }
    // In front once the desktop names it active and the keyboard focus has reached it: some
    // window managers set one a moment before the other.
    const auto inFront = [&] {
        return m_backend->activeWindow() == run.target.window && m_backend->hasFocus(run.target.window);
    };
    const bool starting = run.phase == Run::Phase::starting;
    run.phase = Run::Phase::activating;
    bool front = inFront();
    if (starting && !front) {
        m_backend->activate(run.target.window);
        run.deadline = Clock::now() + activationTimeout;
        front = inFront();
    }
    if (front) {
        run.phase = Run::Phase::settling;
        return wait(postActivationDelay);
    }
    if (Clock::now() >= run.deadline) return finish(activationFailed());
    wait(pollInterval);
}

AutoTypeService::UserKeys AutoTypeService::userKeys() {
    Run& run = *m_run;
    if (!waitForKeyRelease || !m_backend->keysHeld()) {
        run.keysDeadline.reset();
        return UserKeys::up;
    }
    // Typing now would turn the characters into shortcuts of the target application, or send
    // them to the hot key's grab instead of the target.
    if (!run.keysDeadline) {
        run.keysDeadline = Clock::now() + keyReleaseWait;
    } else if (Clock::now() >= *run.keysDeadline) {
        finish(AutoTypeError::keysHeld());
        return UserKeys::stopped;
    }
    wait(pollInterval);
    return UserKeys::waiting;
}

void AutoTypeService::waitingForKeys() {
    if (userKeys() != UserKeys::up) return;
    switch (m_backend->beginTyping(m_run->target.window)) {
        case Outcome::done:
            break;
        case Outcome::keyboardGrabbed:
            return finish(AutoTypeError::keyboardGrabbed());
        case Outcome::focusMoved:
            return finish(AutoTypeError::focusMoved());
        case Outcome::keyHeld:
            return finish(AutoTypeError::keysHeld());
        case Outcome::failed:
            return finish(AutoTypeError::eventCreationFailed());
    }
    m_run->phase = Run::Phase::typing;
    typing();
}

void AutoTypeService::addStroke(const KeyStroke& stroke) {
    m_run->ops.push_back({Op::Kind::stroke, 0, milliseconds{0}, std::make_shared<const KeyStroke>(stroke)});
}

// Lets go of every key the run holds, the last pressed first; false when a release could not be
// sent (the others are still tried).
bool AutoTypeService::releaseHeldKeys() {
    bool sent = true;
    std::vector<std::uint32_t> pressed = std::move(m_run->pressed);
    m_run->pressed.clear();
    for (auto it = pressed.rbegin(); it != pressed.rend(); ++it) sent = m_backend->releaseKey(*it) && sent;
    return sent;
}

// Turns the next character or step into micro-steps. False when nothing is left or the run failed.
bool AutoTypeService::expandNext() {
    Run& run = *m_run;
    std::deque<Op>& ops = run.ops;
    if (run.nextCharacter + 1 < run.bounds.size()) {
        const qsizetype from = run.bounds[run.nextCharacter];
        const qsizetype to = run.bounds[run.nextCharacter + 1];
        ++run.nextCharacter;
        const QStringView character = QStringView(run.text).sliced(from, to - from);
        std::vector<KeyStroke> strokes;
        if (isLineBreak(character)) {
            if (std::optional<KeyStroke> enter = m_backend->stroke(AutoTypeKey::enter))
                strokes.push_back(*enter);
        } else if (std::optional<Backend::CharacterStrokes> found = m_backend->strokes(character)) {
            if (found->strokes.empty() && found->retryAfter > milliseconds{0}) {
                // The character's turn comes again after the wait.
                --run.nextCharacter;
                ops.push_back({Op::Kind::wait, 0, found->retryAfter});
                return true;
            }
            strokes = std::move(found->strokes);
        }
        if (strokes.empty()) {
            finish(AutoTypeError::eventCreationFailed());
            return false;
        }
        ops.push_back({Op::Kind::checkTarget});
        for (const KeyStroke& stroke : strokes) addStroke(stroke);
        ops.push_back({Op::Kind::wait, 0, keystrokeDelay});
        return true;
    }
    wipe(run.text);
    run.bounds.clear();
    run.nextCharacter = 0;

    if (run.nextAction >= run.actions.size()) return false;
    const AutoTypeAction& action = run.actions[run.nextAction++];
    switch (action.kind()) {
        case AutoTypeAction::Kind::text: {
            const std::string& utf8 = action.textValue();
            run.text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
            {
                // The finder shares the text; it must be gone before the text is wiped.
                QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, run.text);
                run.bounds.push_back(0);
                for (qsizetype end = finder.toNextBoundary(); end > run.bounds.back();
                     end = finder.toNextBoundary()) {
                    run.bounds.push_back(end);
                }
            }
            return true;  // an empty text types nothing and does not pause
        }
        case AutoTypeAction::Kind::key: {
            const std::optional<KeyStroke> stroke = m_backend->stroke(action.keyValue());
            if (!stroke) {
                finish(AutoTypeError::eventCreationFailed());
                return false;
            }
            ops.push_back({Op::Kind::checkTarget});
            addStroke(*stroke);
            ops.push_back({Op::Kind::wait, 0, keystrokeDelay});
            return true;
        }
        case AutoTypeAction::Kind::delay: {
            const std::int64_t ms =
                std::min(action.delayMilliseconds(), AutoTypeSequence::maximumDelayMilliseconds);
            if (ms > 0) ops.push_back({Op::Kind::wait, 0, milliseconds{ms}});
            return true;
        }
        case AutoTypeAction::Kind::clearField: {
            const std::optional<KeyStroke> selectAll = m_backend->selectAllStroke();
            const std::optional<KeyStroke> backspace = m_backend->stroke(AutoTypeKey::backspace);
            if (!selectAll || !backspace) {
                finish(AutoTypeError::eventCreationFailed());
                return false;
            }
            ops.push_back({Op::Kind::checkTarget});
            addStroke(*selectAll);
            ops.push_back({Op::Kind::wait, 0, keystrokeDelay});
            ops.push_back({Op::Kind::checkTarget});
            addStroke(*backspace);
            ops.push_back({Op::Kind::wait, 0, keystrokeDelay});
            return true;
        }
    }
    return true;
}

void AutoTypeService::typing() {
    for (;;) {
        if (!m_run) return;
        Run& run = *m_run;
        if (run.ops.empty()) {
            if (!expandNext()) {
                if (m_run) finish(std::nullopt);
                return;
            }
            continue;
        }
        const Op op = run.ops.front();
        run.ops.pop_front();
        switch (op.kind) {
            case Op::Kind::checkTarget:
                // The desktop names another window active (the user clicked elsewhere): stop
                // rather than type a password into it.
                if (m_backend->activeWindow() != run.target.window)
                    return finish(AutoTypeError::focusMoved());
                // A key the user pressed meanwhile (the hot key once more): check again once it
                // is up. No key of ours is down between two strokes.
                if (const UserKeys keys = userKeys(); keys != UserKeys::up) {
                    if (keys == UserKeys::waiting) run.ops.push_front(op);
                    return;
                }
                break;
            case Op::Kind::stroke: {
                run.stroke = op.stroke;
                const KeyStroke& stroke = *op.stroke;
                std::vector<Op> steps;
                for (std::uint32_t modifier : stroke.modifierKeys)
                    steps.push_back({Op::Kind::press, modifier});
                if (!stroke.modifierKeys.empty()) steps.push_back({Op::Kind::wait, 0, modifierSettleDelay});
                steps.push_back({Op::Kind::press, stroke.keycode, milliseconds{0}, nullptr, true});
                steps.push_back({Op::Kind::release, stroke.keycode});
                if (!stroke.modifierKeys.empty()) steps.push_back({Op::Kind::wait, 0, modifierSettleDelay});
                for (auto it = stroke.modifierKeys.rbegin(); it != stroke.modifierKeys.rend(); ++it) {
                    steps.push_back({Op::Kind::release, *it});
                }
                steps.push_back({Op::Kind::endStroke});
                run.ops.insert(run.ops.begin(), steps.begin(), steps.end());
                break;
            }
            case Op::Kind::press:
                switch (m_backend->pressKey(run.target.window, op.keycode, run.pressed, waitForKeyRelease)) {
                    case Outcome::done:
                        run.pressed.push_back(op.keycode);
                        if (op.mainKey) run.strokeHeldSince.reset();
                        break;
                    case Outcome::focusMoved:
                        return finish(AutoTypeError::focusMoved());
                    case Outcome::keyboardGrabbed:
                        return finish(AutoTypeError::keyboardGrabbed());
                    case Outcome::keyHeld: {
                        // A key of the user went down in the middle of the stroke (in the pause
                        // after a modifier, say): with it the key would type a shortcut. The
                        // stroke's keys go up and the whole stroke comes again once every key is
                        // up; the key itself has not been pressed yet.
                        const Clock::time_point now = Clock::now();
                        if (!run.strokeHeldSince) run.strokeHeldSince = now;
                        if (now - *run.strokeHeldSince >= keyReleaseWait)
                            return finish(AutoTypeError::keysHeld());
                        if (!releaseHeldKeys()) return finish(AutoTypeError::eventCreationFailed());
                        while (!run.ops.empty()) {
                            const Op::Kind kind = run.ops.front().kind;
                            run.ops.pop_front();
                            if (kind == Op::Kind::endStroke) break;
                        }
                        run.ops.push_front({Op::Kind::stroke, 0, milliseconds{0}, run.stroke});
                        run.ops.push_front({Op::Kind::checkTarget});
                        return wait(pollInterval);
                    }
                    case Outcome::failed:
                        // Perhaps half sent: it goes up with the others.
                        run.pressed.push_back(op.keycode);
                        return finish(AutoTypeError::eventCreationFailed());
                }
                break;
            case Op::Kind::release: {
                const auto it = std::find(run.pressed.rbegin(), run.pressed.rend(), op.keycode);
                if (it != run.pressed.rend()) run.pressed.erase(std::next(it).base());
                if (!m_backend->releaseKey(op.keycode)) return finish(AutoTypeError::eventCreationFailed());
                break;
            }
            case Op::Kind::wait:
                if (op.delay > milliseconds{0}) return wait(op.delay);
                break;
            case Op::Kind::endStroke:
                run.stroke.reset();
                break;
        }
    }
}

void AutoTypeService::finish(std::optional<AutoTypeError> error, bool notify) {
    m_timer.stop();
    std::unique_ptr<Run> run = std::move(m_run);
    // Every key this run holds goes up, whatever stopped it.
    for (auto it = run->pressed.rbegin(); it != run->pressed.rend(); ++it) m_backend->releaseKey(*it);
    run->pressed.clear();
    m_backend->endRun();
    // The steps and the text being typed may hold the password in plain.
    for (AutoTypeAction& action : run->actions) action.wipe();
    run->actions.clear();
    wipe(run->text);
    if (!notify || !run->completion) return;
    Completion completion = std::move(run->completion);
    run.reset();
    QTimer::singleShot(0, this, [completion = std::move(completion), error] { completion(error); });
}
