#pragma once

#include <cstdint>
#include <exception>
#include <string>

// The one error type of the KDBX engine. The description is the Turkish text shown to the user.
class KdbxError : public std::exception {
  public:
    enum class Kind {
        unsupportedVersion,
        corruptedData,
        unsupportedCipher,
        unsupportedKdf,
        blockHmacMismatch,
        xmlParseFailure,
        cryptoFailure,
        notAKdbxFile,
        invalidCredentials,
        headerHashMismatch,
        // The key derivation would take far longer, or more memory, than this machine can give.
        kdfTooExpensive,
    };

    static KdbxError unsupportedVersion(std::uint16_t major, std::uint16_t minor);
    static KdbxError corruptedData(std::string detail);
    static KdbxError unsupportedCipher(std::string detail);
    static KdbxError unsupportedKdf(std::string detail);
    static KdbxError blockHmacMismatch(std::int64_t index);
    static KdbxError xmlParseFailure(std::string detail);
    static KdbxError cryptoFailure(std::string detail);
    static KdbxError notAKdbxFile();
    static KdbxError invalidCredentials();
    static KdbxError headerHashMismatch();
    static KdbxError kdfTooExpensive(std::string detail);

    Kind kind() const noexcept { return kind_; }
    // The detail text of the cases that carry one; empty for the others.
    const std::string& detail() const noexcept { return detail_; }
    // Payload of blockHmacMismatch (0 for the other cases).
    std::int64_t index() const noexcept { return index_; }

    const std::string& description() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

    // Same case and equal payload; detail texts compare by canonical equivalence.
    friend bool operator==(const KdbxError& a, const KdbxError& b);

  private:
    KdbxError(Kind kind, std::string detail, std::uint16_t major, std::uint16_t minor, std::int64_t index);

    Kind kind_;
    std::string detail_;
    std::uint16_t major_ = 0;
    std::uint16_t minor_ = 0;
    std::int64_t index_ = 0;
    std::string message_;
};
