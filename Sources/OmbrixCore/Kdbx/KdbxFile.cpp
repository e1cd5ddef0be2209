#include "OmbrixCore/Kdbx/KdbxFile.h"

#include <string>
#include <utility>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "OmbrixCore/Crypto/AESCipher.h"
#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Kdbx/BlockStreams.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxCompositeKey.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"
#include "OmbrixCore/Kdbx/KdbxInnerHeader.h"
#include "OmbrixCore/Kdbx/KdbxKeyDerivation.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLWriter.h"
#include "OmbrixCore/Kdbx/PayloadCipher.h"

namespace {

constexpr std::ptrdiff_t seedLength = 32;
constexpr std::ptrdiff_t saltLength = 32;
constexpr std::ptrdiff_t innerStreamKeyLength = 64;
// A version 3 header without an inner stream identifier means Salsa20, the stream of that era.
constexpr std::uint32_t defaultVersion3InnerStream = 2;

// The keys of one load or save, wiped on every way out.
struct Keys {
    KdbxKeys::DerivedKeys derived;

    Keys(const KdbxKey& key, const KdbxHeader& header) {
        Bytes composite = KdbxKeys::compositeKey(key);
        try {
            derived = KdbxKeys::derive(composite, header);
        } catch (...) {
            secureWipe(composite);
            throw;
        }
        secureWipe(composite);
    }
    ~Keys() {
        secureWipe(derived.master);
        secureWipe(derived.transformed);
        if (derived.hmac) secureWipe(*derived.hmac);
    }
    Keys(const Keys&) = delete;
    Keys& operator=(const Keys&) = delete;

    const Bytes& master() const { return derived.master; }
    // Present for every version 4 header.
    const Bytes& hmac() const { return *derived.hmac; }
};

void release(Bytes& bytes) {
    Bytes().swap(bytes);
}

KdbxDatabase loadKdbx4(const Bytes& file, const KdbxHeader& header, const KdbxKey& key) {
    // Behind the header: its SHA-256, its HMAC, then the HMAC blocks.
    KdbxReader reader(Bytes(file.begin() + static_cast<std::ptrdiff_t>(header.endOffset), file.end()));
    const Bytes storedHash = reader.read(32);
    const Bytes storedHMAC = reader.read(32);
    // Before any key work: a damaged header is reported as such whatever the credentials.
    if (!KdbxCrypto::constantTimeEquals(KdbxCrypto::sha256(header.rawData), storedHash)) {
        throw KdbxError::headerHashMismatch();
    }

    const Keys keys(key, header);
    // The header HMAC is the version 4 test of the credentials.
    if (!KdbxCrypto::constantTimeEquals(KdbxCrypto::headerHMAC(header.rawData, keys.hmac()), storedHMAC)) {
        throw KdbxError::invalidCredentials();
    }
    Bytes encrypted = KdbxCrypto::readHMACBlocks(reader, keys.hmac());
    reader = KdbxReader(Bytes());

    const KdbxCipher cipher = header.cipher();
    Bytes plain = KdbxCrypto::decryptPayload(encrypted, cipher, keys.master(), header.encryptionIV);
    release(encrypted);
    if (header.compressionFlags == 1) plain = Gzip::decompress(plain);

    KdbxReader payload(std::move(plain));
    KdbxInnerHeader inner = KdbxInnerHeader::parse(payload);
    // An identifier this reader does not know is refused, never replaced by a guess.
    const auto stream = KdbxCrypto::makeInnerStream(inner.streamID, inner.streamKey);
    secureWipe(inner.streamKey);
    // The attachments join the kept texts only once the payload is gone, each let go as soon as
    // it is encoded: the file's bytes, their text and the payload never stand side by side.
    KdbxXML::Document document = KdbxXML::parse(payload.rest(), *stream, {header.major, header.minor}, {});
    payload = KdbxReader(Bytes());
#if defined(__GLIBC__)
    // The payload's pages go back to the system now: left in the heap, they would stand beside
    // the attachments' text that is written next.
    malloc_trim(0);
#endif
    KdbxXML::keepBinaries(document.root, std::move(inner.binaries));

    // Last, as the format's readers do: parameters the derivation took but the model cannot
    // hold still fail the load.
    const KdfSettings kdf = header.kdfSettings();
    return KdbxDatabase(std::move(document.meta), std::move(document.root), cipher, kdf, header.compressed(),
                        {header.major, header.minor});
}

KdbxDatabase loadKdbx3(const Bytes& file, const KdbxHeader& header, const KdbxKey& key) {
    const Keys keys(key, header);
    const KdbxCipher cipher = header.cipher();

    // Version 3 has no MAC over its header: a wrong key shows only as a bad padding or wrong
    // start bytes, so every failure here is reported as wrong credentials.
    Bytes plain;
    const ByteView encrypted = ByteView(file).subspan(header.endOffset);
    try {
        plain = KdbxCrypto::decryptPayload(encrypted, cipher, keys.master(), header.encryptionIV);
    } catch (const KdbxError&) {
        throw KdbxError::invalidCredentials();
    } catch (const AESCipher::Error&) {
        throw KdbxError::invalidCredentials();
    }
    const Bytes& start = *header.streamStartBytes;
    if (plain.size() < start.size() ||
        !KdbxCrypto::constantTimeEquals(ByteView(plain).first(start.size()), start)) {
        throw KdbxError::invalidCredentials();
    }
    plain.erase(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(start.size()));

    KdbxReader blocks(std::move(plain));
    Bytes xml = KdbxCrypto::readHashedBlocks(blocks);
    blocks = KdbxReader(Bytes());
    if (header.compressionFlags == 1) xml = Gzip::decompress(xml);

    // Only a missing identifier falls back to Salsa20; an unknown one is refused.
    const auto stream = KdbxCrypto::makeInnerStream(
        header.innerRandomStreamID.value_or(defaultVersion3InnerStream), *header.innerRandomStreamKey);
    KdbxXML::Document document = KdbxXML::parse(xml, *stream, {header.major, header.minor}, {});
    release(xml);
    // Version 3 keeps the header's hash inside the XML; a file without one is accepted.
    if (document.headerHash &&
        !KdbxCrypto::constantTimeEquals(KdbxCrypto::sha256(header.rawData), *document.headerHash)) {
        throw KdbxError::headerHashMismatch();
    }
    return KdbxDatabase(std::move(document.meta), std::move(document.root), cipher,
                        KdfSettings::aesKdf(*header.transformRounds), header.compressed(),
                        {header.major, header.minor});
}

}  // namespace

namespace KdbxFile {

KdbxDatabase load(const Bytes& file, const KdbxKey& key) {
    const KdbxHeader header = KdbxHeader::parse(file);
    return header.major < 4 ? loadKdbx3(file, header, key) : loadKdbx4(file, header, key);
}

Bytes save(const KdbxDatabase& database, const KdbxKey& key) {
    KdbxHeader header;
    header.major = 4;
    const KdbxFormatVersion& read = database.formatVersion;
    header.minor = read.major == 4 && read.minor <= 1 ? read.minor : 1;
    header.cipherUUID = database.cipher == KdbxCipher::chacha20 ? KdbxUUIDs::chacha20 : KdbxUUIDs::aes256;
    header.compressionFlags = database.compressed ? 1 : 0;
    header.masterSeed = KdbxCrypto::randomBytes(seedLength);
    header.encryptionIV = KdbxCrypto::randomBytes(database.cipher == KdbxCipher::chacha20 ? 12 : 16);
    header.kdfParameters = KdbxHeader::kdfParametersFor(database.kdf, KdbxCrypto::randomBytes(saltLength));
    const Bytes headerBytes = header.serialize();

    const Keys keys(key, header);

    Bytes streamKey = KdbxCrypto::randomBytes(innerStreamKeyLength);
    KdbxInnerHeader inner;
    inner.streamID = static_cast<std::uint32_t>(KdbxCrypto::InnerStreamID::chaCha20);
    inner.binaries = KdbxXML::preservedBinaries(database.root);
    const auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, streamKey);
    inner.streamKey = std::move(streamKey);

    const Bytes xml = KdbxXML::serialize(database, *stream, 4);
    Bytes payload = inner.serialize();
    secureWipe(inner.streamKey);
    // Writing a file that loading would refuse would lose the database at the next open.
    if (database.compressed && (payload.size() > maxCompressedPayloadSize ||
                                xml.size() > maxCompressedPayloadSize - payload.size())) {
        throw KdbxError::corruptedData("veritabanı kaydedilemeyecek kadar büyük (sıkıştırılmış içerik " +
                                       std::to_string(maxCompressedPayloadSize >> 20) +
                                       " MiB sınırını aşıyor)");
    }
    payload.insert(payload.end(), xml.begin(), xml.end());
    if (database.compressed) payload = Gzip::compress(payload);

    const Bytes encrypted =
        KdbxCrypto::encryptPayload(payload, database.cipher, keys.master(), header.encryptionIV);
    release(payload);

    Bytes out;
    out.reserve(headerBytes.size() + 64 + encrypted.size() +
                (encrypted.size() / KdbxCrypto::defaultBlockSize + 2) * 36);
    out.insert(out.end(), headerBytes.begin(), headerBytes.end());
    const Bytes hash = KdbxCrypto::sha256(headerBytes);
    out.insert(out.end(), hash.begin(), hash.end());
    const Bytes mac = KdbxCrypto::headerHMAC(headerBytes, keys.hmac());
    out.insert(out.end(), mac.begin(), mac.end());
    const Bytes blocks = KdbxCrypto::writeHMACBlocks(encrypted, keys.hmac(), KdbxCrypto::defaultBlockSize);
    out.insert(out.end(), blocks.begin(), blocks.end());
    return out;
}

}  // namespace KdbxFile
