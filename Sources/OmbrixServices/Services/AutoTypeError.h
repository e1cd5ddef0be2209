#pragma once

#include <exception>
#include <string>

// The failures of an auto-type run. The description is the Turkish text shown to the user.
class AutoTypeError : public std::exception {
  public:
    enum class Kind {
        targetActivationFailed,
        accessibilityPermissionMissing,
        noTargetApplication,
        eventCreationFailed,
        alreadyRunning,
        keysHeld,
        cancelled,
        focusMoved,
        keyboardGrabbed,
        targetClosed,
    };

    // `name` is the target application's name, or "Uygulama" when it has none.
    static AutoTypeError targetActivationFailed(std::string name);
    // No X11 display with the XTEST extension (for instance a Wayland session).
    static AutoTypeError accessibilityPermissionMissing();
    static AutoTypeError noTargetApplication();
    static AutoTypeError eventCreationFailed();
    // A run was asked for while another one was still going; the other one goes on.
    static AutoTypeError alreadyRunning();
    // The user held a key when the next character was due (a modifier, or the hot key's letter):
    // the typed characters would have become shortcuts or gone to the grab of the hot key.
    static AutoTypeError keysHeld();
    // The run was stopped by cancel() (the database was locked, the program is ending).
    static AutoTypeError cancelled();
    // The keyboard focus left the target (the user clicked elsewhere, a new window took it)
    // before the next key press, which was not sent.
    static AutoTypeError focusMoved();
    // Another program holds the whole keyboard (a passphrase prompt, an open menu): the next key
    // press would have gone to it, so it was not sent.
    static AutoTypeError keyboardGrabbed();
    // The target window closed (gone, or taken off the screen by its program) before the next
    // key press, which was not sent.
    static AutoTypeError targetClosed();

    Kind kind() const noexcept { return kind_; }
    // Payload of targetActivationFailed; empty for the other cases.
    const std::string& name() const noexcept { return name_; }

    const std::string& description() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

    // Same case and, for targetActivationFailed, canonically equivalent names.
    friend bool operator==(const AutoTypeError& a, const AutoTypeError& b);

  private:
    AutoTypeError(Kind kind, std::string name);

    Kind kind_;
    std::string name_;
    std::string message_;
};
