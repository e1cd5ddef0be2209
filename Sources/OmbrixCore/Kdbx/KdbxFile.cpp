#include "OmbrixCore/Kdbx/KdbxFile.h"

#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "OmbrixCore/Crypto/AESCipher.h"
#include "OmbrixCore/Crypto/Precondition.h"
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
#include "OmbrixCore/Kdbx/PartChannel.h"
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

// The XML is handed from the writer to gzip in parts of about this size.
constexpr std::size_t partSize = std::size_t{1} << 20;

// Where the inner header at the start of `bytes` ends, when it lies whole inside them: a field is
// an identifier byte, a 32-bit length and that many bytes; the end field closes the header.
// Otherwise `needed` is how long the bytes must grow for the field they end in.
struct InnerHeaderExtent {
    std::optional<std::size_t> end;
    std::uint64_t needed = 0;
};

InnerHeaderExtent innerHeaderExtent(const Bytes& bytes) {
    std::uint64_t pos = 0;
    while (pos + 5 <= bytes.size()) {
        const std::uint8_t id = bytes[pos];
        const std::uint64_t length = std::uint64_t{bytes[pos + 1]} | std::uint64_t{bytes[pos + 2]} << 8 |
                                     std::uint64_t{bytes[pos + 3]} << 16 | std::uint64_t{bytes[pos + 4]} << 24;
        pos += 5 + length;
        if (pos > bytes.size()) return {std::nullopt, pos};
        if (id == static_cast<std::uint8_t>(KdbxInnerHeader::FieldID::end)) return {static_cast<std::size_t>(pos), pos};
    }
    return {std::nullopt, pos + 5};
}

// The last stage of a load, on the caller's thread: the inner header, then the XML, read from
// the parts as they arrive.
// What the last stage of a load reads: the document, and the attachments of the inner header,
// which join the document's kept texts after the stages have ended.
struct Payload {
    KdbxXML::Document document;
    std::vector<KdbxInnerHeader::Binary> binaries;
};

Payload readPayload(PartChannel& parts, KdbxFormatVersion version, std::size_t fileSize) {
    // The inner header (with the attachments) is gathered whole; its fields say where it ends,
    // and how long the field being gathered is: the buffer grows once to hold it instead of
    // doubling past it. A length beyond anything the file could hold is not trusted for that.
    Bytes head;
    for (InnerHeaderExtent extent; !(extent = innerHeaderExtent(head)).end;) {
        std::optional<Bytes> part = parts.pop();
        if (!part) break;
        if (head.empty()) {
            head = std::move(*part);
            continue;
        }
        const std::size_t grown = head.size() + part->size();
        if (grown > head.capacity()) {
            const std::uint64_t wanted = std::max<std::uint64_t>(extent.needed, grown);
            head.reserve(wanted <= std::max<std::uint64_t>(fileSize, grown) ? static_cast<std::size_t>(wanted)
                                                                           : std::max(grown, 2 * head.capacity()));
        }
        head.insert(head.end(), part->begin(), part->end());
    }
    // Read from what arrived: a payload that ended inside the header fails as it always has.
    KdbxReader reader(KdbxReader::Borrowed{}, head);
    KdbxInnerHeader inner = KdbxInnerHeader::parse(reader);
    // The XML that arrived with the header moves on; the header's bytes (the inner stream key
    // among them, the attachments copied out) are wiped and let go before the XML is read.
    Bytes current(reader.rest().begin(), reader.rest().end());
    reader = KdbxReader(Bytes());
    secureWipe(head);
    Bytes().swap(head);
    // An identifier this reader does not know is refused, never replaced by a guess.
    const auto stream = KdbxCrypto::makeInnerStream(inner.streamID, inner.streamKey);
    secureWipe(inner.streamKey);

    ByteView first = current;
    const KdbxXMLNode::Source next = [&]() -> ByteView {
        if (!first.empty()) return std::exchange(first, ByteView());
        std::optional<Bytes> part = parts.pop();
        if (!part) return {};
        current = std::move(*part);
        return current;
    };
    KdbxXML::Document document = KdbxXML::parse(next, *stream, version, {});
    return {std::move(document), std::move(inner.binaries)};
}

KdbxDatabase loadKdbx4(const Bytes& file, const KdbxHeader& header, const KdbxKey& key) {
    // Behind the header: its SHA-256, its HMAC, then the HMAC blocks.
    // Read in place: the caller keeps the file for the whole load.
    KdbxReader reader(KdbxReader::Borrowed{}, ByteView(file).subspan(header.endOffset));
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
    const KdbxCipher cipher = header.cipher();

    // Three stages, each on its own core, passing parts along: the blocks verified and
    // decrypted, the gzip member inflated, the payload read. Each stage reports its errors only
    // when the stages before it ended without one, so a load fails exactly as it would if every
    // stage had run over the whole payload before the next began.
    PartChannel decrypted;
    PartChannel inflated;
    const bool compressed = header.compressionFlags == 1;
    Stage blocks(nullptr, decrypted, [&] {
        // A cipher that cannot start (wrong IV length) fails after the blocks have been verified.
        std::optional<KdbxCrypto::PayloadCipherStream> decryptor;
        std::exception_ptr cipherError;
        try {
            decryptor.emplace(cipher, keys.master(), header.encryptionIV,
                              KdbxCrypto::PayloadCipherStream::Direction::decrypt);
        } catch (...) {
            cipherError = std::current_exception();
        }
        for (std::uint64_t index = 0;; ++index) {
            const Bytes data = KdbxCrypto::readHMACBlock(reader, index, keys.hmac());
            if (data.empty()) break;
            if (cipherError) continue;
            try {
                Bytes plain;
                plain.reserve(data.size() + 16);
                decryptor->update(data, plain);
                if (!plain.empty()) decrypted.push(std::move(plain));
            } catch (...) {
                cipherError = std::current_exception();
            }
        }
        if (cipherError) std::rethrow_exception(cipherError);
        Bytes last;
        decryptor->finish(last);
        if (!last.empty()) decrypted.push(std::move(last));
    });
    std::optional<Stage> gunzip;
    if (compressed) {
        gunzip.emplace(&decrypted, inflated, [&] {
            Gzip::Decompressor decompressor(
                [&](ByteView part) { inflated.push(Bytes(part.begin(), part.end())); });
            while (std::optional<Bytes> part = decrypted.pop()) decompressor.write(*part);
            decompressor.finish();
        });
    }

    std::optional<Payload> document;
    std::exception_ptr readError;
    PartChannel& payload = compressed ? inflated : decrypted;
    try {
        document = readPayload(payload, {header.major, header.minor}, file.size());
    } catch (const PartChannel::UpstreamFailed&) {
        // The stage before failed: its error is reported below.
    } catch (...) {
        readError = std::current_exception();
    }
    // Whatever is left is not read; the stages before run on to their end.
    payload.abandon();
    if (gunzip) gunzip->join();
    decrypted.abandon();
    blocks.join();
    blocks.rethrow();
    if (gunzip) gunzip->rethrow();
    if (readError) std::rethrow_exception(readError);
    // The reader is told of a failed stage only when that stage has an error of its own.
    OMBRIX_PRECONDITION(document.has_value(), "payload stage ended without a document or an error");
#if defined(__GLIBC__)
    // The pages of the parts go back to the system now: left in the heap, they would stand
    // beside the attachments' text that is written next.
    malloc_trim(0);
#endif
    // The attachments join the kept texts only once the payload is gone, each let go as soon as
    // it is encoded: the file's bytes, their text and the payload never stand side by side.
    KdbxXML::keepBinaries(document->document.root, std::move(document->binaries));

    // Last, as the format's readers do: parameters the derivation took but the model cannot
    // hold still fail the load.
    const KdfSettings kdf = header.kdfSettings();
    return KdbxDatabase(std::move(document->document.meta), std::move(document->document.root), cipher, kdf,
                        header.compressed(), {header.major, header.minor});
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

    Bytes innerBytes = inner.serialize();
    secureWipe(inner.streamKey);

    Bytes out;
    out.insert(out.end(), headerBytes.begin(), headerBytes.end());
    const Bytes hash = KdbxCrypto::sha256(headerBytes);
    out.insert(out.end(), hash.begin(), hash.end());
    const Bytes mac = KdbxCrypto::headerHMAC(headerBytes, keys.hmac());
    out.insert(out.end(), mac.begin(), mac.end());

    // The payload goes through every stage in parts as the XML writer produces it: gzip (on
    // several cores), the cipher, the HMAC blocks, straight into the file's bytes.
    KdbxCrypto::HMACBlockWriter blocks(keys.hmac(), KdbxCrypto::defaultBlockSize, out);
    KdbxCrypto::PayloadCipherStream encryptor(database.cipher, keys.master(), header.encryptionIV,
                                              KdbxCrypto::PayloadCipherStream::Direction::encrypt);
    Bytes sealed;
    const auto seal = [&](ByteView part) {
        sealed.clear();
        encryptor.update(part, sealed);
        blocks.write(sealed);
    };
    std::optional<Gzip::Compressor> gzip;
    if (database.compressed) gzip.emplace(seal);
    std::uint64_t payloadSize = 0;
    const auto write = [&](ByteView part) {
        payloadSize += part.size();
        // Writing a file that loading would refuse would lose the database at the next open.
        if (database.compressed && payloadSize > maxCompressedPayloadSize) {
            throw KdbxError::corruptedData("veritabanı kaydedilemeyecek kadar büyük (sıkıştırılmış içerik " +
                                           std::to_string(maxCompressedPayloadSize >> 20) +
                                           " MiB sınırını aşıyor)");
        }
        if (gzip) {
            gzip->write(part);
        } else {
            seal(part);
        }
    };
    write(innerBytes);
    secureWipe(innerBytes);
    KdbxXML::serialize(
        database, *stream,
        [&](std::string_view text) { write(ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())); },
        partSize);
    if (gzip) gzip->finish();
    sealed.clear();
    encryptor.finish(sealed);
    blocks.write(sealed);
    blocks.finish();
    return out;
}

}  // namespace KdbxFile
