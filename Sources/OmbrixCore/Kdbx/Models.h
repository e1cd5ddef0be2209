#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "OmbrixCore/Crypto/SecretBytes.h"
#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/CowList.h"
#include "OmbrixCore/Kdbx/SecureString.h"
#include "OmbrixCore/Kdbx/UUID.h"

// A point in time; the file formats store whole seconds.
using Timestamp = std::chrono::sys_seconds;

// The outer payload cipher of a database.
enum class KdbxCipher { aes256, chacha20 };

inline constexpr std::array<KdbxCipher, 2> allKdbxCiphers = {KdbxCipher::aes256, KdbxCipher::chacha20};

// "AES-256-CBC" or "ChaCha20": a display name only; files name the cipher by UUID.
std::string_view rawValue(KdbxCipher cipher);
// The cipher whose raw value is exactly `raw` (no case folding, no trimming).
std::optional<KdbxCipher> kdbxCipherFromRawValue(std::string_view raw);

// The key-derivation choice: Argon2d or Argon2id with their three parameters, or AES-KDF.
class KdfSettings {
  public:
    enum class Kind { argon2d, argon2id, aesKdf };

    static KdfSettings argon2d(std::uint64_t memoryKiB, std::uint64_t iterations, std::uint32_t parallelism);
    static KdfSettings argon2id(std::uint64_t memoryKiB, std::uint64_t iterations, std::uint32_t parallelism);
    static KdfSettings aesKdf(std::uint64_t rounds);
    // The setting of every new database: Argon2id, 256 MiB, 16 passes, 4 lanes.
    static KdfSettings recommended() { return argon2id(262144, 16, 4); }

    Kind kind() const noexcept { return kind_; }
    // Argon2 payload; asking an AES-KDF setting for it is a programming error.
    std::uint64_t memoryKiB() const;
    std::uint64_t iterations() const;
    std::uint32_t parallelism() const;
    // AES-KDF payload; asking an Argon2 setting for it is a programming error.
    std::uint64_t rounds() const;

    // Same kind and equal payload (the fields a kind does not use are always zero).
    friend bool operator==(const KdfSettings&, const KdfSettings&) = default;

  private:
    KdfSettings(Kind kind, std::uint64_t memoryKiB, std::uint64_t iterations, std::uint32_t parallelism,
                std::uint64_t rounds)
        : kind_(kind),
          memoryKiB_(memoryKiB),
          iterations_(iterations),
          parallelism_(parallelism),
          rounds_(rounds) {}

    Kind kind_;
    std::uint64_t memoryKiB_;
    std::uint64_t iterations_;
    std::uint32_t parallelism_;
    std::uint64_t rounds_;
};

struct KdbxFormatVersion {
    std::uint16_t major = 4;
    std::uint16_t minor = 1;

    friend bool operator==(const KdbxFormatVersion&, const KdbxFormatVersion&) = default;
};

struct KdbxMeta {
    std::string databaseName;
    std::string databaseDescription;
    std::string defaultUsername;
    bool recycleBinEnabled = false;
    std::optional<UUID> recycleBinUUID;
    std::int64_t historyMaxItems = 0;
    std::int64_t historyMaxSize = 0;
    std::string generator;

    KdbxMeta() = default;
    KdbxMeta(std::string databaseName, std::string databaseDescription, std::string defaultUsername,
             bool recycleBinEnabled, std::optional<UUID> recycleBinUUID, std::int64_t historyMaxItems,
             std::int64_t historyMaxSize, std::string generator);

    // All eight fields; texts by canonical equivalence.
    friend bool operator==(const KdbxMeta& a, const KdbxMeta& b);
};

struct AutoTypeAssociation {
    std::string window;
    std::optional<std::string> sequence;

    friend bool operator==(const AutoTypeAssociation&, const AutoTypeAssociation&) = default;
};

// The value of one custom field: a plain text, or, for a field stored protected, a SecureString,
// so that a protected value is held masked (never as plain bytes) while the database is open,
// as the password is. A plain value converts from a text, so a field is set as a text is.
class KdbxFieldValue {
  public:
    KdbxFieldValue() = default;
    KdbxFieldValue(std::string text) : plain_(std::move(text)) {}
    KdbxFieldValue(const char* text) : plain_(text) {}
    explicit KdbxFieldValue(SecureString secret) : secret_(std::move(secret)), isSecret_(true) {}
    // A protected value holding `text`.
    static KdbxFieldValue secret(std::string_view text) { return KdbxFieldValue(SecureString(text)); }

    // The text, decoded anew from a secret on each call.
    std::string value() const { return isSecret_ ? secret_.value() : plain_; }
    bool isSecret() const noexcept { return isSecret_; }
    bool empty() const noexcept { return isSecret_ ? secret_.isEmpty() : plain_.empty(); }
    // The text of a plain value, without a copy; empty for a secret (which has no plain text).
    const std::string& plainText() const noexcept { return plain_; }

    // Equal texts, byte for byte, however each is held.
    friend bool operator==(const KdbxFieldValue& a, const KdbxFieldValue& b) {
        return a.value() == b.value();
    }

  private:
    std::string plain_;
    SecureString secret_;
    bool isSecret_ = false;
};

struct KdbxEntry {
    UUID id;
    std::string title;
    std::string username;
    SecureString password;
    std::string url;
    std::string notes;
    // Field names compare byte for byte: two names that differ only in Unicode normalisation
    // are two fields, so that neither is lost on a round trip.
    std::map<std::string, KdbxFieldValue> customFields;
    // The fields stored protected; the reader holds their values as secrets.
    std::set<std::string> protectedCustomFields;
    std::vector<std::string> tags;
    std::optional<std::string> autoTypeSequence;
    bool autoTypeEnabled = true;
    std::vector<AutoTypeAssociation> autoTypeWindowAssociations;
    std::int64_t iconID = 0;
    Timestamp created{};
    Timestamp modified{};
    Timestamp accessed{};
    bool expires = false;
    std::optional<Timestamp> expiryTime;
    CowList<KdbxEntry> historyItems;
    // Each kept text is held once and shared by every copy of the entry until one changes it.
    CowList<std::string> unknownXML;

    KdbxEntry() = default;
    KdbxEntry(UUID id, std::string title, std::string username, SecureString password, std::string url,
              std::string notes, std::map<std::string, KdbxFieldValue> customFields,
              std::set<std::string> protectedCustomFields, std::vector<std::string> tags,
              std::optional<std::string> autoTypeSequence, bool autoTypeEnabled,
              std::vector<AutoTypeAssociation> autoTypeWindowAssociations, std::int64_t iconID,
              Timestamp created, Timestamp modified, Timestamp accessed, bool expires,
              std::optional<Timestamp> expiryTime, CowList<KdbxEntry> historyItems,
              CowList<std::string> unknownXML);

    // Whether the entry has expired now (system clock).
    bool isExpired() const;
    // Whether the entry has expired at `now`: it expires, has an expiry time, and that time lies
    // strictly before `now`.
    bool isExpired(std::chrono::system_clock::time_point now) const;

    // Two entries are equal when their id and modification time are equal; nothing else counts.
    friend bool operator==(const KdbxEntry& a, const KdbxEntry& b) {
        return a.id == b.id && a.modified == b.modified;
    }
};

struct KdbxGroup {
    UUID id;
    std::string name;
    std::string notes;
    std::int64_t iconID = 0;
    CowList<KdbxGroup> groups;
    CowList<KdbxEntry> entries;
    bool isExpanded = true;
    std::optional<std::string> defaultAutoTypeSequence;
    Timestamp created{};
    Timestamp modified{};
    // Each kept text is held once and shared by every copy of the group until one changes it:
    // the root's holds the attachments, which undo snapshots must not copy.
    CowList<std::string> unknownXML;

    KdbxGroup() = default;
    KdbxGroup(UUID id, std::string name, std::string notes, std::int64_t iconID, CowList<KdbxGroup> groups,
              CowList<KdbxEntry> entries, bool isExpanded, std::optional<std::string> defaultAutoTypeSequence,
              Timestamp created, Timestamp modified, CowList<std::string> unknownXML);

    // The group's own entries in order, then each child group's allEntries, depth first.
    // History versions are not included.
    std::vector<KdbxEntry> allEntries() const;

    // id, modified, the entries, the child groups (recursively); nothing else counts.
    friend bool operator==(const KdbxGroup& a, const KdbxGroup& b);
};

struct KdbxDatabase {
    KdbxMeta meta;
    KdbxGroup root;
    KdbxCipher cipher = KdbxCipher::aes256;
    KdfSettings kdf = KdfSettings::recommended();
    bool compressed = true;
    KdbxFormatVersion formatVersion;

    KdbxDatabase() = default;
    KdbxDatabase(KdbxMeta meta, KdbxGroup root, KdbxCipher cipher, KdfSettings kdf, bool compressed,
                 KdbxFormatVersion formatVersion);
};

// The credentials of a database: the password's UTF-8 bytes and the key file's bytes exactly as
// read. An absent password and an empty one are different keys. Both live in buffers that are
// wiped when the key lets them go.
struct KdbxKey {
    std::optional<SecretBytes> password;
    std::optional<SecretBytes> keyFileData;

    KdbxKey() = default;
    KdbxKey(std::optional<SecretBytes> password, std::optional<SecretBytes> keyFileData)
        : password(std::move(password)), keyFileData(std::move(keyFileData)) {}
};
