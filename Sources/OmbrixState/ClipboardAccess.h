#pragma once

#include <QString>

// The clipboard as the application state uses it: secrets that are cleared after the time-out,
// plain texts that stay, and clearing a secret we put there.
class ClipboardAccess {
  public:
    virtual ~ClipboardAccess() = default;

    virtual void copySecret(const QString& text) = 0;
    virtual void copyPlain(const QString& text) = 0;
    // Clears the clipboard if it still holds the last secret we copied.
    virtual void clearNow() = 0;
};

// The process's clipboard service.
class SharedClipboardAccess final : public ClipboardAccess {
  public:
    void copySecret(const QString& text) override;
    void copyPlain(const QString& text) override;
    void clearNow() override;
};
