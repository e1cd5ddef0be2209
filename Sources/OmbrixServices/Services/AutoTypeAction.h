#pragma once

#include <cstdint>
#include <string>

// A key that a sequence names in braces ("{TAB}", "{ENTER}", ...). `delete_` is the forward-delete
// key; the underscore only keeps the name clear of the C++ keyword.
enum class AutoTypeKey { tab, enter, escape, space, backspace, delete_, home, end, up, down, left, right };

// One step of an auto-type run: characters to type, one press of a named key, a pause, or
// emptying the focused field.
class AutoTypeAction {
  public:
    enum class Kind { text, key, delay, clearField };

    static AutoTypeAction text(std::string text);
    static AutoTypeAction key(AutoTypeKey key);
    static AutoTypeAction delay(std::int64_t milliseconds);
    static AutoTypeAction clearField();

    Kind kind() const noexcept { return kind_; }
    // The payloads; asking a step for another case's payload is a programming error.
    const std::string& textValue() const;
    AutoTypeKey keyValue() const;
    std::int64_t delayMilliseconds() const;

    // Overwrites a text step's characters (all of the string's storage) with zeros and empties it.
    // A step list may hold a password in plain; the run wipes it when it ends.
    void wipe() noexcept;

    // Same case and equal payload; texts compare by canonical equivalence.
    friend bool operator==(const AutoTypeAction& a, const AutoTypeAction& b);

  private:
    explicit AutoTypeAction(Kind kind) : kind_(kind) {}

    Kind kind_;
    std::string text_;
    AutoTypeKey key_ = AutoTypeKey::tab;
    std::int64_t milliseconds_ = 0;
};

// Zeroes all of a string's storage (not only its current length) and empties it.
void wipeString(std::string& s) noexcept;
