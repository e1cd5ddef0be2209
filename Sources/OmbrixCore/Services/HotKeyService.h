#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// Claims one system-wide key combination and runs a handler on the main thread whenever the user
// presses it, whatever application is in front. Combinations are stored as a Carbon key code and
// modifier mask (see CarbonKeyTable). At most one is registered at a time; registering again
// replaces it. Failures are silent: the caller sees only isRegistered(). Main thread only.
class HotKeyService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool registered READ isRegistered NOTIFY registrationChanged)

  public:
    struct Registration {
        std::uint32_t keyCode = 0;
        std::uint32_t modifiers = 0;

        bool operator==(const Registration&) const = default;
    };

    // The desktop's key grabs as the service needs them.
    class Backend {
      public:
        virtual ~Backend() = default;
        // Claims the combination and reports every press of it (auto-repeat excluded) with `id`
        // through onPress, from the event loop. False when the system refuses it (another client
        // holds it) or there is no display; nothing is claimed then.
        virtual bool grab(std::uint32_t keyCode, std::uint32_t modifiers, std::uint32_t id,
                          std::function<void(std::uint32_t id)> onPress) = 0;
        // Releases the claimed combination; harmless when there is none.
        virtual void ungrab() = 0;
        // What the key types in the current keyboard layout ("a"); empty when unknown.
        virtual QString keyText(std::uint32_t keyCode) const = 0;
    };

    // The A key with Command and Option as stored: Ctrl+Alt+A here.
    static constexpr std::uint32_t defaultKeyCode = 0;
    static constexpr std::uint32_t defaultModifiers = 0x900;

    // The process-wide instance over the X11 display, created on first use.
    static HotKeyService& shared();

    explicit HotKeyService(std::unique_ptr<Backend> backend, QObject* parent = nullptr);
    // Releases the key: a press can no longer reach a service that is gone.
    ~HotKeyService() override;

    // Replaces any registered combination by this one. Each attempt takes the next identifier, so
    // a press of an earlier registration still waiting in the event queue runs nothing.
    void registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers, std::function<void()> handler);
    // Releases the combination and the handler; harmless when nothing is registered.
    void unregister();

    bool isRegistered() const { return m_registration.has_value(); }
    std::optional<Registration> registration() const { return m_registration; }
    // Identifier of the latest registration attempt (the first is 1); 0 after unregister().
    std::uint32_t currentId() const { return m_currentId; }

    // A combination as Linux users read it: "Ctrl+Alt+A", modifiers in the order Ctrl, Alt,
    // Shift, Super, then the key as the current layout shows it; without a layout to ask (no
    // X11 display) a printable key reads as on a US keyboard; "#code" when still unknown.
    QString displayText(std::uint32_t keyCode, std::uint32_t modifiers) const;
    // The same through the shared instance.
    static QString displayString(std::uint32_t keyCode, std::uint32_t modifiers);

  signals:
    // After every assignment of the registration, also when it stays absent.
    void registrationChanged();

  private:
    void fire(std::uint32_t id);
    QString keyName(std::uint32_t keyCode) const;

    std::unique_ptr<Backend> m_backend;
    std::optional<Registration> m_registration;
    std::function<void()> m_handler;
    std::uint32_t m_nextId = 1;
    std::uint32_t m_currentId = 0;
};
