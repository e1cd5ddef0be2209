#pragma once

#include <memory>
#include <string>
#include <string_view>

// An immutable secret text, shared by every copy that holds it. It keeps the text's UTF-8 bytes
// XORed with a random pad of the same length (never the plain bytes) and zeroes both when the
// last copy lets go.
class SecureString {
  public:
    // The empty secret.
    SecureString() = default;
    explicit SecureString(std::string_view text);

    // The text, decoded anew on each call; ill-formed UTF-8 comes back as U+FFFD.
    std::string value() const;
    bool isEmpty() const noexcept;

    // Equality of the texts by canonical equivalence; the pads play no part.
    friend bool operator==(const SecureString& a, const SecureString& b);

  private:
    struct Storage;
    std::shared_ptr<const Storage> storage_;
};
