#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// Claims one system-wide key combination and runs a handler on the main thread whenever the user
// presses it, whatever application is in front. Combinations are stored as a Carbon key code and
// modifier mask (see CarbonKeyTable). At most one is registered at a time; registering again
// replaces it. Whether the desktop granted it is told by status(): another program may hold the
// combination, in every state of the lock keys or in some of them; registerAgainIfRefused() then
// tries again (that program may have let go of it). Main thread only.
class HotKeyService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool registered READ isRegistered NOTIFY registrationChanged)

  public:
    struct Registration {
        std::uint32_t keyCode = 0;
        std::uint32_t modifiers = 0;

        bool operator==(const Registration&) const = default;
    };

    // How the latest registration stands.
    enum class Status {
        none,         // nothing asked for, or unregistered
        registered,   // claimed in every state of the lock keys
        partlyTaken,  // claimed, but another program holds it in some states of the lock keys
        taken,        // not claimed: another program holds it
        failed,       // refused for another reason: no X11 display, a key the keyboard lacks
    };

    // What the desktop granted of a combination.
    struct Grant {
        // A backend that only knows yes or no.
        Grant(bool granted = false) : granted(granted) {}  // NOLINT: converting on purpose

        // Presses arrive, in some states of the lock keys at least.
        bool granted = false;
        // Not granted because another program holds the combination.
        bool takenByOther = false;
        // When granted: the states of the lock keys in which another program holds it, named
        // by the locks on ("Num Lock", "Caps Lock + Num Lock"; empty: every lock off).
        QStringList lockStatesTaken;
    };

    // The desktop's key grabs as the service needs them.
    class Backend {
      public:
        virtual ~Backend() = default;
        // Claims the combination and reports every press of it (auto-repeat excluded) with `id`
        // through onPress, from the event loop. Says what was granted: nothing is claimed when
        // another program holds the combination in every state or there is no display.
        virtual Grant grab(std::uint32_t keyCode, std::uint32_t modifiers, std::uint32_t id,
                           std::function<void(std::uint32_t id)> onPress) = 0;
        // Releases the claimed combination; harmless when there is none.
        virtual void ungrab() = 0;
        // What the key types in the current keyboard layout ("a"); empty when unknown.
        virtual QString keyText(std::uint32_t keyCode) const = 0;
        // The key code, as stored, of the physical key that a key event names by the desktop's
        // own code (QKeyEvent::nativeScanCode()); none when this desktop cannot tell.
        virtual std::optional<std::uint32_t> keyCodeOfNativeKey(std::uint32_t nativeKeyCode) const {
            (void)nativeKeyCode;
            return std::nullopt;
        }
        // From now on `changed` is called from the event loop whenever what is granted of the
        // claimed combination changes after grab() said it (a lock such as Shift Lock turned on,
        // with which another program holds the combination). Given once, by the service.
        virtual void followGrant(std::function<void(const Grant& grant)> changed) { (void)changed; }
    };

    // The A key with Command and Option as stored: Ctrl+Alt+A here.
    static constexpr std::uint32_t defaultKeyCode = 0;
    static constexpr std::uint32_t defaultModifiers = 0x900;

    // The process-wide instance, over the desktop's backend that the program gave installShared()
    // at start-up. Asking for it before then is a programming error.
    static HotKeyService& shared();
    // Makes the process-wide instance; once, before the first use of shared().
    static void installShared(std::unique_ptr<Backend> backend);

    explicit HotKeyService(std::unique_ptr<Backend> backend, QObject* parent = nullptr);
    // Releases the key: a press can no longer reach a service that is gone.
    ~HotKeyService() override;

    // Replaces any registered combination by this one. Each attempt takes the next identifier, so
    // a press of an earlier registration still waiting in the event queue runs nothing.
    void registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers, std::function<void()> handler);
    // Releases the combination and the handler; harmless when nothing is registered.
    void unregister();

    bool isRegistered() const { return registration_.has_value(); }
    std::optional<Registration> registration() const { return registration_; }
    Status status() const { return status_; }
    // For partlyTaken: the states of the lock keys in which another program holds it, named by
    // the locks on ("Num Lock"; empty: every lock off).
    const QStringList& lockStatesTaken() const { return lockStatesTaken_; }
    // Another program gets the combination as it is pressed with every lock key off (taken, or
    // partly taken with that state among the taken).
    bool isTakenWithoutLocks() const {
        return status_ == Status::taken ||
               (status_ == Status::partlyTaken && lockStatesTaken_.contains(QString()));
    }
    // Registers the latest combination again with its handler when the desktop did not grant all
    // of it; nothing otherwise. The user comes back to the program: the other one may be gone.
    void registerAgainIfRefused();
    // Identifier of the latest registration attempt (the first is 1); 0 after unregister().
    std::uint32_t currentId() const { return currentId_; }

    // A combination as Linux users read it: "Ctrl+Alt+A", modifiers in the order Ctrl, Alt,
    // Shift, Super, then the key as the current layout shows it; without a layout to ask (no
    // X11 display) a printable key reads as on a US keyboard; "#code" when still unknown.
    QString displayText(std::uint32_t keyCode, std::uint32_t modifiers) const;
    // The same through the shared instance.
    static QString displayString(std::uint32_t keyCode, std::uint32_t modifiers);

    // The key code, as stored, of the physical key that a key event names by the desktop's own
    // code, whatever the layout or Shift made it type; none when the desktop cannot tell.
    std::optional<std::uint32_t> keyCodeOfNativeKey(std::uint32_t nativeKeyCode) const;

  signals:
    // After every assignment of the registration, also when it stays absent, and after every
    // other change of the status (a lock turned on in whose state another program holds it).
    void registrationChanged();

  private:
    void fire(std::uint32_t id);
    // The status of a combination that is claimed, from what was granted of it.
    void takeGrant(const Grant& grant);
    QString keyName(std::uint32_t keyCode) const;

    std::unique_ptr<Backend> backend_;
    std::optional<Registration> registration_;
    std::function<void()> handler_;
    Status status_ = Status::none;
    QStringList lockStatesTaken_;
    // The combination last asked for and its handler, kept for another try.
    std::optional<Registration> wanted_;
    std::function<void()> wantedHandler_;
    std::uint32_t nextId_ = 1;
    std::uint32_t currentId_ = 0;
};
