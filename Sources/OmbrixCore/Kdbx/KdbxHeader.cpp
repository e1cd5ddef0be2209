#include "OmbrixCore/Kdbx/KdbxHeader.h"

#include <algorithm>
#include <limits>
#include <string>

#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"

namespace {

// The first `width` bytes as a little-endian number, or 0 when the data is shorter.
std::uint64_t leadingNumber(const Bytes& data, std::size_t width) {
    if (data.size() < width) return 0;
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = value << 8 | data[i];
    return value;
}

void appendLittleEndian(Bytes& out, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

class FieldWriter {
  public:
    FieldWriter(Bytes& out, bool wideLengths) : out_(out), lengthWidth_(wideLengths ? 4 : 2) {}

    void write(KdbxHeader::FieldID id, const Bytes& data) {
        const std::uint64_t limit = lengthWidth_ == 4 ? std::numeric_limits<std::uint32_t>::max()
                                                      : std::numeric_limits<std::uint16_t>::max();
        if (data.size() > limit)
            throw KdbxError::corruptedData("başlık alanı sürümün uzunluk sınırını aşıyor");
        out_.push_back(static_cast<std::uint8_t>(id));
        appendLittleEndian(out_, data.size(), lengthWidth_);
        out_.insert(out_.end(), data.begin(), data.end());
    }

    void writeNumber(KdbxHeader::FieldID id, std::uint64_t value, std::size_t width) {
        Bytes data;
        appendLittleEndian(data, value, width);
        write(id, data);
    }

  private:
    Bytes& out_;
    std::size_t lengthWidth_;
};

}  // namespace

std::optional<KdbxHeader::FieldID> KdbxHeader::fieldID(std::uint8_t raw) {
    if (raw > static_cast<std::uint8_t>(FieldID::publicCustomData)) return std::nullopt;
    return static_cast<FieldID>(raw);
}

KdbxHeader KdbxHeader::parse(ByteView data) {
    if (data.size() < 12) throw KdbxError::notAKdbxFile();
    // In place: the header is a few hundred bytes at the start of what may be a large file.
    KdbxReader reader(KdbxReader::Borrowed{}, data);
    const std::uint32_t first = reader.u32();
    const std::uint32_t second = reader.u32();
    if (first != signature1 || second != signature2) throw KdbxError::notAKdbxFile();

    KdbxHeader header;
    const std::uint32_t version = reader.u32();
    header.minor = static_cast<std::uint16_t>(version & 0xFFFF);
    header.major = static_cast<std::uint16_t>(version >> 16);
    const bool supported = header.major == 3 || (header.major == 4 && header.minor <= 1);
    if (!supported) throw KdbxError::unsupportedVersion(header.major, header.minor);

    for (;;) {
        // Identifier, length and data are all read before the identifier is looked at, so a
        // field that runs past the end is a short read whatever its identifier.
        const std::uint8_t id = reader.u8();
        const std::uint64_t length = header.major == 3 ? reader.u16() : reader.u32();
        const Bytes field = reader.read(static_cast<std::int64_t>(length));

        const std::optional<FieldID> known = fieldID(id);
        if (!known) continue;  // identifiers 13 to 255 are skipped with their data
        switch (*known) {
            case FieldID::endOfHeader:
                header.endOffset = reader.offset();
                header.rawData.assign(data.begin(),
                                      data.begin() + static_cast<std::ptrdiff_t>(header.endOffset));
                if (header.masterSeed.size() != 32)
                    throw KdbxError::corruptedData("MasterSeed 32 bayt olmalı");
                if (header.major == 3 && (!header.transformSeed || !header.transformRounds ||
                                          !header.streamStartBytes || !header.innerRandomStreamKey)) {
                    throw KdbxError::corruptedData("KDBX 3 başlığında zorunlu alanlar eksik");
                }
                if (header.major >= 4 && !header.kdfParameters) {
                    throw KdbxError::corruptedData("KDBX 4 başlığında KdfParameters yok");
                }
                return header;
            case FieldID::comment:
                header.comment = field;
                break;
            case FieldID::cipherID: {
                const std::optional<UUID> uuid = UUID::fromKdbxBytes(field);
                if (!uuid) throw KdbxError::corruptedData("CipherID 16 bayt değil");
                header.cipherUUID = *uuid;
                break;
            }
            case FieldID::compressionFlags: {
                const auto flags = static_cast<std::uint32_t>(leadingNumber(field, 4));
                if (flags >= 2) {
                    throw KdbxError::corruptedData("bilinmeyen sıkıştırma bayrağı " + std::to_string(flags));
                }
                header.compressionFlags = flags;
                break;
            }
            case FieldID::masterSeed:
                header.masterSeed = field;
                break;
            case FieldID::transformSeed:
                header.transformSeed = field;
                break;
            case FieldID::transformRounds:
                header.transformRounds = leadingNumber(field, 8);
                break;
            case FieldID::encryptionIV:
                header.encryptionIV = field;
                break;
            case FieldID::innerRandomStreamKey:
                header.innerRandomStreamKey = field;
                break;
            case FieldID::streamStartBytes:
                header.streamStartBytes = field;
                break;
            case FieldID::innerRandomStreamID:
                header.innerRandomStreamID = static_cast<std::uint32_t>(leadingNumber(field, 4));
                break;
            case FieldID::kdfParameters:
                header.kdfParameters = VariantDictionary::parse(field);
                break;
            case FieldID::publicCustomData:
                header.publicCustomData = VariantDictionary::parse(field);
                break;
        }
    }
}

Bytes KdbxHeader::serialize() const {
    Bytes out;
    appendLittleEndian(out, signature1, 4);
    appendLittleEndian(out, signature2, 4);
    appendLittleEndian(out, minor, 2);
    appendLittleEndian(out, major, 2);

    const bool version4 = major > 3;
    FieldWriter fields(out, version4);
    if (comment) fields.write(FieldID::comment, *comment);
    fields.write(FieldID::cipherID, cipherUUID.kdbxBytes());
    fields.writeNumber(FieldID::compressionFlags, compressionFlags, 4);
    fields.write(FieldID::masterSeed, masterSeed);
    if (!version4) {
        fields.write(FieldID::transformSeed, transformSeed.value_or(Bytes{}));
        fields.writeNumber(FieldID::transformRounds, transformRounds.value_or(6000), 8);
    }
    fields.write(FieldID::encryptionIV, encryptionIV);
    if (!version4) {
        fields.write(FieldID::innerRandomStreamKey, innerRandomStreamKey.value_or(Bytes{}));
        fields.write(FieldID::streamStartBytes, streamStartBytes.value_or(Bytes{}));
        fields.writeNumber(FieldID::innerRandomStreamID, innerRandomStreamID.value_or(2), 4);
    }
    if (version4 && kdfParameters) fields.write(FieldID::kdfParameters, kdfParameters->serialize());
    if (version4 && publicCustomData && !publicCustomData->isEmpty()) {
        fields.write(FieldID::publicCustomData, publicCustomData->serialize());
    }
    fields.write(FieldID::endOfHeader, Bytes{0x0D, 0x0A, 0x0D, 0x0A});
    return out;
}

KdbxCipher KdbxHeader::cipher() const {
    if (cipherUUID == KdbxUUIDs::aes256) return KdbxCipher::aes256;
    if (cipherUUID == KdbxUUIDs::chacha20) return KdbxCipher::chacha20;
    if (cipherUUID == KdbxUUIDs::twofish) throw KdbxError::unsupportedCipher("Twofish");
    throw KdbxError::unsupportedCipher(cipherUUID.uuidString());
}

KdfSettings KdbxHeader::kdfSettings() const {
    if (major < 4) return KdfSettings::aesKdf(transformRounds.value_or(6000));

    std::optional<UUID> kdf;
    if (kdfParameters) {
        if (const std::optional<VariantValue> entry = kdfParameters->get("$UUID")) {
            if (const std::optional<Bytes> bytes = entry->asData()) kdf = UUID::fromKdbxBytes(*bytes);
        }
    }
    if (!kdf) throw KdbxError::unsupportedKdf("KdfParameters içinde $UUID yok");

    auto number = [&](const char* key) -> std::optional<std::uint64_t> {
        const std::optional<VariantValue> entry = kdfParameters->get(key);
        return entry ? entry->asUInt64() : std::nullopt;
    };
    if (*kdf == KdbxUUIDs::kdfAes) return KdfSettings::aesKdf(number("R").value_or(6000));
    if (*kdf == KdbxUUIDs::kdfArgon2d || *kdf == KdbxUUIDs::kdfArgon2id) {
        const std::uint64_t memoryBytes = number("M").value_or(67108864);
        const std::uint64_t iterations = number("I").value_or(2);
        const std::optional<VariantValue> p = kdfParameters->get("P");
        const std::uint32_t parallelism = (p ? p->asUInt32() : std::nullopt).value_or(2);
        const std::uint64_t memoryKiB = std::max<std::uint64_t>(memoryBytes, 8192) / 1024;
        return *kdf == KdbxUUIDs::kdfArgon2d ? KdfSettings::argon2d(memoryKiB, iterations, parallelism)
                                             : KdfSettings::argon2id(memoryKiB, iterations, parallelism);
    }
    throw KdbxError::unsupportedKdf(kdf->uuidString());
}

VariantDictionary KdbxHeader::kdfParametersFor(const KdfSettings& settings, const Bytes& salt) {
    VariantDictionary parameters;
    if (settings.kind() == KdfSettings::Kind::aesKdf) {
        parameters.set("$UUID", VariantValue::bytes(KdbxUUIDs::kdfAes.kdbxBytes()));
        parameters.set("R", VariantValue::uint64(settings.rounds()));
        parameters.set("S", VariantValue::bytes(salt));
        return parameters;
    }
    // The file stores the memory size in bytes; 2^54 KiB and more would not fit in 64 bits.
    if (settings.memoryKiB() >= (std::uint64_t{1} << 54)) {
        throw KdbxError::unsupportedKdf("Argon2 bellek boyutu 64 bite sığmıyor");
    }
    const UUID& kdf =
        settings.kind() == KdfSettings::Kind::argon2d ? KdbxUUIDs::kdfArgon2d : KdbxUUIDs::kdfArgon2id;
    parameters.set("$UUID", VariantValue::bytes(kdf.kdbxBytes()));
    parameters.set("S", VariantValue::bytes(salt));
    parameters.set("P", VariantValue::uint32(settings.parallelism()));
    parameters.set("M", VariantValue::uint64(settings.memoryKiB() * 1024));
    parameters.set("I", VariantValue::uint64(settings.iterations()));
    parameters.set("V", VariantValue::uint32(0x13));
    return parameters;
}
