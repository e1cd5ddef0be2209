#include "OmbrixCore/Kdbx/Models.h"

#include <utility>

#include "OmbrixCore/Foundation/Precondition.h"
#include "OmbrixCore/Kdbx/UnicodeText.h"

std::string_view rawValue(KdbxCipher cipher) {
    switch (cipher) {
        case KdbxCipher::aes256:
            return "AES-256-CBC";
        case KdbxCipher::chacha20:
            return "ChaCha20";
    }
    return {};
}

std::optional<KdbxCipher> kdbxCipherFromRawValue(std::string_view raw) {
    for (KdbxCipher cipher : allKdbxCiphers) {
        if (rawValue(cipher) == raw) return cipher;
    }
    return std::nullopt;
}

KdfSettings KdfSettings::argon2d(std::uint64_t memoryKiB, std::uint64_t iterations,
                                 std::uint32_t parallelism) {
    return KdfSettings(Kind::argon2d, memoryKiB, iterations, parallelism, 0);
}

KdfSettings KdfSettings::argon2id(std::uint64_t memoryKiB, std::uint64_t iterations,
                                  std::uint32_t parallelism) {
    return KdfSettings(Kind::argon2id, memoryKiB, iterations, parallelism, 0);
}

KdfSettings KdfSettings::aesKdf(std::uint64_t rounds) {
    return KdfSettings(Kind::aesKdf, 0, 0, 0, rounds);
}

std::uint64_t KdfSettings::memoryKiB() const {
    OMBRIX_PRECONDITION(kind_ != Kind::aesKdf, "KdfSettings: AES-KDF has no memory parameter");
    return memoryKiB_;
}

std::uint64_t KdfSettings::iterations() const {
    OMBRIX_PRECONDITION(kind_ != Kind::aesKdf, "KdfSettings: AES-KDF has no iterations parameter");
    return iterations_;
}

std::uint32_t KdfSettings::parallelism() const {
    OMBRIX_PRECONDITION(kind_ != Kind::aesKdf, "KdfSettings: AES-KDF has no parallelism parameter");
    return parallelism_;
}

std::uint64_t KdfSettings::rounds() const {
    OMBRIX_PRECONDITION(kind_ == Kind::aesKdf, "KdfSettings: Argon2 has no rounds parameter");
    return rounds_;
}

KdbxMeta::KdbxMeta(std::string databaseName, std::string databaseDescription, std::string defaultUsername,
                   bool recycleBinEnabled, std::optional<UUID> recycleBinUUID, std::int64_t historyMaxItems,
                   std::int64_t historyMaxSize, std::string generator)
    : databaseName(std::move(databaseName)),
      databaseDescription(std::move(databaseDescription)),
      defaultUsername(std::move(defaultUsername)),
      recycleBinEnabled(recycleBinEnabled),
      recycleBinUUID(recycleBinUUID),
      historyMaxItems(historyMaxItems),
      historyMaxSize(historyMaxSize),
      generator(std::move(generator)) {}

bool operator==(const KdbxMeta& a, const KdbxMeta& b) {
    return UnicodeText::canonicallyEqual(a.databaseName, b.databaseName) &&
           UnicodeText::canonicallyEqual(a.databaseDescription, b.databaseDescription) &&
           UnicodeText::canonicallyEqual(a.defaultUsername, b.defaultUsername) &&
           a.recycleBinEnabled == b.recycleBinEnabled && a.recycleBinUUID == b.recycleBinUUID &&
           a.historyMaxItems == b.historyMaxItems && a.historyMaxSize == b.historyMaxSize &&
           UnicodeText::canonicallyEqual(a.generator, b.generator);
}

KdbxEntry::KdbxEntry(UUID id, std::string title, std::string username, SecureString password, std::string url,
                     std::string notes, std::map<std::string, KdbxFieldValue> customFields,
                     std::set<std::string> protectedCustomFields, std::vector<std::string> tags,
                     std::optional<std::string> autoTypeSequence, bool autoTypeEnabled,
                     std::vector<AutoTypeAssociation> autoTypeWindowAssociations, std::int64_t iconID,
                     Timestamp created, Timestamp modified, Timestamp accessed, bool expires,
                     std::optional<Timestamp> expiryTime, CowList<KdbxEntry> historyItems,
                     CowList<std::string> unknownXML)
    : id(id),
      title(std::move(title)),
      username(std::move(username)),
      password(std::move(password)),
      url(std::move(url)),
      notes(std::move(notes)),
      customFields(std::move(customFields)),
      protectedCustomFields(std::move(protectedCustomFields)),
      tags(std::move(tags)),
      autoTypeSequence(std::move(autoTypeSequence)),
      autoTypeEnabled(autoTypeEnabled),
      autoTypeWindowAssociations(std::move(autoTypeWindowAssociations)),
      iconID(iconID),
      created(created),
      modified(modified),
      accessed(accessed),
      expires(expires),
      expiryTime(expiryTime),
      historyItems(std::move(historyItems)),
      unknownXML(std::move(unknownXML)) {}

bool KdbxEntry::isExpired() const {
    return isExpired(std::chrono::system_clock::now());
}

bool KdbxEntry::isExpired(std::chrono::system_clock::time_point now) const {
    return expires && expiryTime.has_value() && *expiryTime < now;
}

KdbxGroup::KdbxGroup(UUID id, std::string name, std::string notes, std::int64_t iconID,
                     CowList<KdbxGroup> groups, CowList<KdbxEntry> entries, bool isExpanded,
                     std::optional<std::string> defaultAutoTypeSequence, Timestamp created,
                     Timestamp modified, CowList<std::string> unknownXML)
    : id(id),
      name(std::move(name)),
      notes(std::move(notes)),
      iconID(iconID),
      groups(std::move(groups)),
      entries(std::move(entries)),
      isExpanded(isExpanded),
      defaultAutoTypeSequence(std::move(defaultAutoTypeSequence)),
      created(created),
      modified(modified),
      unknownXML(std::move(unknownXML)) {}

namespace {

void collectEntries(const KdbxGroup& group, std::vector<KdbxEntry>& out) {
    out.insert(out.end(), group.entries.begin(), group.entries.end());
    for (const KdbxGroup& child : group.groups) collectEntries(child, out);
}

}  // namespace

std::vector<KdbxEntry> KdbxGroup::allEntries() const {
    std::vector<KdbxEntry> out;
    collectEntries(*this, out);
    return out;
}

bool operator==(const KdbxGroup& a, const KdbxGroup& b) {
    return a.id == b.id && a.modified == b.modified && a.entries == b.entries && a.groups == b.groups;
}

KdbxDatabase::KdbxDatabase(KdbxMeta meta, KdbxGroup root, KdbxCipher cipher, KdfSettings kdf, bool compressed,
                           KdbxFormatVersion formatVersion)
    : meta(std::move(meta)),
      root(std::move(root)),
      cipher(cipher),
      kdf(kdf),
      compressed(compressed),
      formatVersion(formatVersion) {}
