#include "OmbrixServices/Services/AutoTypeService.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <deque>
#include <utility>

#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Foundation/Precondition.h"
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
    : QObject(parent), backend_(std::move(backend)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &AutoTypeService::step);
}

AutoTypeService::~AutoTypeService() {
    if (run_) finish(AutoTypeError::cancelled(), false);
}

bool AutoTypeService::hasAccessibilityPermission() const {
    return backend_->canSynthesize();
}

void AutoTypeService::startTrackingFrontmostApplication() {
    if (tracking_) return;
    tracking_ = true;
    captureTarget();
    backend_->watchActiveWindow([this] { captureTarget(); });
}

std::optional<AutoTypeService::Target> AutoTypeService::captureTarget() {
    const WindowId front = backend_->activeWindow();
    if (front != 0 && !backend_->isOwnWindow(front))
        target_ = Target{front, backend_->applicationName(front)};
    return target_;
}

void AutoTypeService::clearTarget() {
    target_.reset();
}

std::optional<QString> AutoTypeService::frontmostWindowTitle() {
    const WindowId window = target_ ? target_->window : backend_->activeWindow();
    if (window == 0) return std::nullopt;
    if (std::optional<QString> title = backend_->windowTitle(window); title && !title->isEmpty())
        return title;
    QString name = backend_->applicationName(window);
    if (name.isEmpty() && target_ && target_->window == window) name = target_->name;
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
    if (run_) return reply(AutoTypeError::alreadyRunning());
    if (!backend_->canSynthesize()) return reply(AutoTypeError::accessibilityPermissionMissing());

    run_ = std::make_unique<Run>();
    run_->actions = std::move(actions);
    run_->completion = std::move(completion);
    run_->target = target_.value_or(Target{});
    wait(milliseconds{0});
}

void AutoTypeService::cancel() {
    if (run_) finish(AutoTypeError::cancelled());
}

void AutoTypeService::wait(milliseconds delay) {
    timer_.start(std::max(delay, milliseconds{0}));
}

void AutoTypeService::step() {
    if (!run_) return;
    switch (run_->phase) {
        case Run::Phase::starting:
        case Run::Phase::activating:
            return activating();
        case Run::Phase::settling:
            run_->phase = Run::Phase::keys;
            return waitingForKeys();
        case Run::Phase::keys:
            return waitingForKeys();
        case Run::Phase::typing:
            return typing();
    }
}

AutoTypeError AutoTypeService::activationFailed() const {
    const QString& name = run_->target.name;
    return AutoTypeError::targetActivationFailed(name.isEmpty() ? std::string("Uygulama")
                                                                : name.toStdString());
}

AutoTypeError AutoTypeService::focusLost() {
    // A window that closes hands the focus on: that is not another window taking it.
    if (backend_->isClosed(run_->target.window)) return AutoTypeError::targetClosed();
    return AutoTypeError::focusMoved();
}

void AutoTypeService::activating() {
    Run& run = *run_;
    if (run.target.window == 0 || !backend_->windowExists(run.target.window)) {
        return finish(AutoTypeError::noTargetApplication());
    }
    // In front once the desktop names it active and the keyboard focus has reached it: some
    // window managers set one a moment before the other.
    const auto inFront = [&] {
        return backend_->activeWindow() == run.target.window && backend_->hasFocus(run.target.window);
    };
    const bool starting = run.phase == Run::Phase::starting;
    run.phase = Run::Phase::activating;
    bool front = inFront();
    if (starting && !front) {
        backend_->activate(run.target.window);
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
    Run& run = *run_;
    if (!waitForKeyRelease || !backend_->keysHeld()) {
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
    switch (backend_->beginTyping(run_->target.window)) {
        case Outcome::done:
            break;
        case Outcome::keyboardGrabbed:
            return finish(AutoTypeError::keyboardGrabbed());
        case Outcome::focusMoved:
            return finish(focusLost());
        case Outcome::keyHeld:
            return finish(AutoTypeError::keysHeld());
        case Outcome::failed:
            return finish(AutoTypeError::eventCreationFailed());
    }
    run_->phase = Run::Phase::typing;
    typing();
}

void AutoTypeService::addStroke(const KeyStroke& stroke) {
    run_->ops.push_back({Op::Kind::stroke, 0, milliseconds{0}, std::make_shared<const KeyStroke>(stroke)});
}

// Lets go of every key the run holds, the last pressed first; false when a release could not be
// sent (the others are still tried).
bool AutoTypeService::releaseHeldKeys() {
    bool sent = true;
    std::vector<std::uint32_t> pressed = std::move(run_->pressed);
    run_->pressed.clear();
    for (auto it = pressed.rbegin(); it != pressed.rend(); ++it) sent = backend_->releaseKey(*it) && sent;
    return sent;
}

// Turns the next character or step into micro-steps. False when nothing is left or the run failed.
bool AutoTypeService::expandNext() {
    Run& run = *run_;
    std::deque<Op>& ops = run.ops;
    if (run.nextCharacter + 1 < run.bounds.size()) {
        const qsizetype from = run.bounds[run.nextCharacter];
        const qsizetype to = run.bounds[run.nextCharacter + 1];
        ++run.nextCharacter;
        const QStringView character = QStringView(run.text).sliced(from, to - from);
        std::vector<KeyStroke> strokes;
        if (isLineBreak(character)) {
            if (std::optional<KeyStroke> enter = backend_->stroke(AutoTypeKey::enter))
                strokes.push_back(*enter);
        } else if (std::optional<Backend::CharacterStrokes> found = backend_->strokes(character)) {
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
            const std::optional<KeyStroke> stroke = backend_->stroke(action.keyValue());
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
            const std::optional<KeyStroke> selectAll = backend_->selectAllStroke();
            const std::optional<KeyStroke> backspace = backend_->stroke(AutoTypeKey::backspace);
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
        if (!run_) return;
        Run& run = *run_;
        if (run.ops.empty()) {
            if (!expandNext()) {
                if (run_) finish(std::nullopt);
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
                if (backend_->activeWindow() != run.target.window) return finish(focusLost());
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
                switch (backend_->pressKey(run.target.window, op.keycode, run.pressed, waitForKeyRelease)) {
                    case Outcome::done:
                        run.pressed.push_back(op.keycode);
                        if (op.mainKey) run.strokeHeldSince.reset();
                        break;
                    case Outcome::focusMoved:
                        return finish(focusLost());
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
                if (!backend_->releaseKey(op.keycode)) return finish(AutoTypeError::eventCreationFailed());
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
    timer_.stop();
    std::unique_ptr<Run> run = std::move(run_);
    // Every key this run holds goes up, whatever stopped it.
    for (auto it = run->pressed.rbegin(); it != run->pressed.rend(); ++it) backend_->releaseKey(*it);
    run->pressed.clear();
    backend_->endRun();
    // The steps and the text being typed may hold the password in plain.
    for (AutoTypeAction& action : run->actions) action.wipe();
    run->actions.clear();
    wipe(run->text);
    if (!notify || !run->completion) return;
    Completion completion = std::move(run->completion);
    run.reset();
    QTimer::singleShot(0, this, [completion = std::move(completion), error] { completion(error); });
}
