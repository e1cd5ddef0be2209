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
#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Foundation/Precondition.h"
#include "OmbrixCore/Kdbx/Base64.h"
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
#include "OmbrixCore/Kdbx/Pipeline.h"

namespace {

// Loads and saves pass parts of a megabyte and more between threads, each of which glibc serves
// from a heap of its own. Left to itself, glibc raises the size above which it maps memory
// afresh (and gives it back on release) to the largest block released so far, after which such
// parts stay in those heaps: every save and load then added to the size of the process. Fixing
// that size (which also stops its adjustment) gives every large part back as it is released.
void keepLargeBlocksOutOfTheHeaps() {
#if defined(__GLIBC__)
    static const bool once = [] { return mallopt(M_MMAP_THRESHOLD, 1 << 20) == 1; }();
    (void)once;
#endif
}

constexpr std::ptrdiff_t seedLength = 32;
constexpr const char* notBase64 = "korunan ek dosya base64 değil";
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

// The XML is handed from the writer to gzip in parts of about this size, and the file is
// decrypted in parts of this size.
constexpr std::size_t partSize = std::size_t{1} << 20;

// What the last stage of a load reads: the document, and the attachments of the inner header,
// which join the document's kept texts after the stages have ended.
struct Payload {
    KdbxXML::Document document;
    std::vector<KdbxInnerHeader::Binary> binaries;
};

// The stage that inflates the gzip member arriving in `in`.
void gunzip(PartChannel& in, PartChannel& out) {
    Gzip::Decompressor decompressor([&](ByteView part) {
        Bytes copy = out.spare();
        copy.assign(part.begin(), part.end());
        out.push(std::move(copy));
    });
    PartReader reader(in);
    for (ByteView part = reader.next(); !part.empty(); part = reader.next()) decompressor.write(part);
    decompressor.finish();
}

// The XML of a payload read part by part on the XML reader's own thread (see KdbxXMLNode::Source).
KdbxXML::Document readXML(PartReader& reader, InnerStreamCipher& stream, KdbxFormatVersion version) {
    return KdbxXML::parse([&reader] { return reader.next(); }, stream, version, {});
}

// The last stage of a version 4 load: the inner header, then the XML behind it.
Payload readPayload(PartChannel& parts, KdbxFormatVersion version) {
    PartReader reader(parts);
    // The inner stream key passes through the parts read here: they are wiped as they go.
    reader.wipeWhatIsRead(true);
    KdbxInnerHeader inner = KdbxInnerHeader::read(reader);
    reader.wipeWhatIsRead(false);
    // An identifier this reader does not know is refused, never replaced by a guess.
    const auto stream = KdbxCrypto::makeInnerStream(inner.streamID, inner.streamKey);
    secureWipe(inner.streamKey);
    KdbxXML::Document document = readXML(reader, *stream, version);
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

    // Three stages, each on its own core: the blocks verified and decrypted, the gzip member
    // inflated, the payload read (here). The pipeline is declared after the reader, keys, header
    // and cipher that its stages use, so that it has joined them before those go.
    // The cipher is made here, on the caller's thread, before any stage starts. One the file
    // does not allow (wrong IV length) fails after the blocks have been verified.
    std::optional<KdbxCrypto::PayloadCipherStream> decryptor;
    std::exception_ptr cipherError;
    try {
        decryptor.emplace(cipher, keys.master(), header.encryptionIV,
                          KdbxCrypto::PayloadCipherStream::Direction::decrypt);
    } catch (const KdbxError&) {
        cipherError = std::current_exception();
    } catch (const AESCipher::Error&) {
        cipherError = std::current_exception();
    }
    Pipeline pipeline;
    pipeline.then([&](PartChannel*, PartChannel& out) {
        for (std::uint64_t index = 0;; ++index) {
            const Bytes data = KdbxCrypto::readHMACBlock(reader, index, keys.hmac());
            if (data.empty()) break;
            if (cipherError) continue;
            try {
                Bytes plain = out.spare();
                plain.reserve(data.size() + 16);
                decryptor->update(data, plain);
                if (!plain.empty()) out.push(std::move(plain));
            } catch (const AESCipher::Error&) {
                cipherError = std::current_exception();
            }
        }
        if (cipherError) std::rethrow_exception(cipherError);
        Bytes last;
        decryptor->finish(last);
        if (!last.empty()) out.push(std::move(last));
    });
    if (header.compressionFlags == 1)
        pipeline.then([](PartChannel* in, PartChannel& out) { gunzip(*in, out); });
    Payload payload = pipeline.finish([&](PartChannel& in) {
        return readPayload(in, {header.major, header.minor});
    });
#if defined(__GLIBC__)
    // The pages of the parts go back to the system now: left in the heap, they would stand
    // beside the attachments' text that is written next.
    malloc_trim(0);
#endif
    // The attachments join the kept texts only once the payload is gone, each let go as soon as
    // it is encoded: the file's bytes, their text and the payload never stand side by side.
    KdbxXML::keepBinaries(payload.document.root, std::move(payload.binaries));

    // Last, as the format's readers do: parameters the derivation took but the model cannot
    // hold still fail the load.
    const KdfSettings kdf = header.kdfSettings();
    return KdbxDatabase(std::move(payload.document.meta), std::move(payload.document.root), cipher, kdf,
                        header.compressed(), {header.major, header.minor});
}

// The first stage of a version 3 load: the payload decrypted part by part, its start bytes
// checked and left out.
void decryptVersion3(const Bytes& file, const KdbxHeader& header, KdbxCrypto::PayloadCipherStream& decryptor,
                     PartChannel& out) {
    const Bytes& start = *header.streamStartBytes;
    Bytes head;
    bool checked = false;
    const auto deliver = [&](Bytes plain) {
        if (!checked) {
            head.insert(head.end(), plain.begin(), plain.end());
            if (head.size() < start.size()) return;
            if (!KdbxCrypto::constantTimeEquals(ByteView(head).first(start.size()), start)) {
                throw KdbxError::invalidCredentials();
            }
            checked = true;
            plain.assign(head.begin() + static_cast<std::ptrdiff_t>(start.size()), head.end());
            Bytes().swap(head);
        }
        if (!plain.empty()) out.push(std::move(plain));
    };
    const ByteView encrypted = ByteView(file).subspan(header.endOffset);
    for (std::size_t offset = 0; offset < encrypted.size(); offset += partSize) {
        Bytes plain = out.spare();
        const ByteView piece = encrypted.subspan(offset, std::min(partSize, encrypted.size() - offset));
        plain.reserve(piece.size() + 16);
        decryptor.update(piece, plain);
        deliver(std::move(plain));
    }
    Bytes last;
    decryptor.finish(last);
    deliver(std::move(last));
    if (!checked) throw KdbxError::invalidCredentials();
}

KdbxDatabase loadKdbx3(const Bytes& file, const KdbxHeader& header, const KdbxKey& key) {
    const Keys keys(key, header);
    const KdbxCipher cipher = header.cipher();
    // Made on the caller's thread before the stages start. An IV the cipher does not take is a
    // sign of a wrong key like any other failure of decryption; a cipher that cannot be made
    // (no memory, a library fault) is a fault of this process and keeps its own error.
    std::optional<KdbxCrypto::PayloadCipherStream> decryptor;
    try {
        decryptor.emplace(cipher, keys.master(), header.encryptionIV,
                          KdbxCrypto::PayloadCipherStream::Direction::decrypt);
    } catch (const KdbxError&) {
        throw KdbxError::invalidCredentials();
    }

    // The stages of version 4 and one more: decryption, the hashed blocks, gzip, the XML (here).
    // Declared after the keys and cipher its first stage uses.
    Pipeline pipeline;
    pipeline.then([&](PartChannel*, PartChannel& out) {
        // Version 3 has no MAC over its header: a wrong key shows only as a bad padding or wrong
        // start bytes, so every failure here is reported as wrong credentials.
        try {
            decryptVersion3(file, header, *decryptor, out);
        } catch (const KdbxError&) {
            throw KdbxError::invalidCredentials();
        } catch (const AESCipher::Error&) {
            throw KdbxError::invalidCredentials();
        }
    });
    pipeline.then([](PartChannel* in, PartChannel& out) {
        PartReader reader(*in);
        KdbxCrypto::readHashedBlocks(reader, [&](Bytes data) { out.push(std::move(data)); });
    });
    if (header.compressionFlags == 1)
        pipeline.then([](PartChannel* in, PartChannel& out) { gunzip(*in, out); });
    KdbxXML::Document document = pipeline.finish([&](PartChannel& in) {
        // Only a missing identifier falls back to Salsa20; an unknown one is refused.
        const auto stream = KdbxCrypto::makeInnerStream(
            header.innerRandomStreamID.value_or(defaultVersion3InnerStream), *header.innerRandomStreamKey);
        PartReader reader(in);
        return readXML(reader, *stream, {header.major, header.minor});
    });
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
    keepLargeBlocksOutOfTheHeaps();
    const KdbxHeader header = KdbxHeader::parse(file);
    return header.major < 4 ? loadKdbx3(file, header, key) : loadKdbx4(file, header, key);
}

Bytes save(const KdbxDatabase& database, const KdbxKey& key) {
    keepLargeBlocksOutOfTheHeaps();
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
    const auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, streamKey);
    inner.streamKey = std::move(streamKey);
    // The stream fields and the end field; the attachments are written between them one at a
    // time, as they are decoded from their kept text.
    Bytes innerBytes = inner.serialize();
    secureWipe(inner.streamKey);
    constexpr std::size_t endFieldSize = 5;

    Bytes out;
    // The attachments pass into the file's bytes whole, compressed or not: room for them (their
    // kept base64 is four thirds of their size) is made at once instead of by doubling, which
    // would stand an old and a new copy of them side by side.
    std::size_t attachmentText = 0;
    for (const std::string& text : database.root.unknownXML) {
        if (text.starts_with("<" + std::string(KdbxPreserve::binaries))) attachmentText += text.size();
    }
    const std::size_t estimate = headerBytes.size() + 64 + innerBytes.size() + attachmentText / 4 * 3;
    out.reserve(estimate + estimate / KdbxCrypto::defaultBlockSize * 36 + (std::size_t{1} << 20));
    out.insert(out.end(), headerBytes.begin(), headerBytes.end());
    const Bytes hash = KdbxCrypto::sha256(headerBytes);
    out.insert(out.end(), hash.begin(), hash.end());
    const Bytes mac = KdbxCrypto::headerHMAC(headerBytes, keys.hmac());
    out.insert(out.end(), mac.begin(), mac.end());

    // The payload goes through every stage in parts as the XML writer produces it: gzip (on
    // several cores), the cipher, the HMAC blocks, straight into the file's bytes.
    // Declared in the order the bytes flow back from the file: the compressor last, because its
    // threads call seal(), which uses the three before it; destroyed first, it ends its threads
    // (on an error too) before any of them goes.
    KdbxCrypto::HMACBlockWriter blocks(keys.hmac(), KdbxCrypto::defaultBlockSize, out);
    KdbxCrypto::PayloadCipherStream encryptor(database.cipher, keys.master(), header.encryptionIV,
                                              KdbxCrypto::PayloadCipherStream::Direction::encrypt);
    // A quarter megabyte at a time: a large attachment written whole would stand a second time
    // beside the file's bytes as ciphertext.
    constexpr std::size_t sealSize = std::size_t{256} << 10;
    Bytes sealed;
    const auto seal = [&](ByteView part) {
        for (std::size_t at = 0; at < part.size(); at += sealSize) {
            sealed.clear();
            encryptor.update(part.subspan(at, std::min(sealSize, part.size() - at)), sealed);
            blocks.write(sealed);
        }
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
    write(ByteView(innerBytes).first(innerBytes.size() - endFieldSize));
    KdbxXML::forEachPreservedBinaryText(database.root, [&](std::uint8_t flags, std::string_view text) {
        const std::optional<std::size_t> decoded = Base64::strictDecodedSize(text);
        if (!decoded) throw KdbxError::corruptedData(notBase64);
        const std::uint64_t size = std::uint64_t{*decoded} + 1;
        if (size > 0xFFFFFFFFu)
            throw KdbxError::corruptedData("iç başlık alanı 32 bitlik uzunluk sınırını aşıyor");
        const std::uint8_t field[6] = {static_cast<std::uint8_t>(KdbxInnerHeader::FieldID::binary),
                                       static_cast<std::uint8_t>(size),
                                       static_cast<std::uint8_t>(size >> 8),
                                       static_cast<std::uint8_t>(size >> 16),
                                       static_cast<std::uint8_t>(size >> 24),
                                       flags};
        write(ByteView(field, sizeof field));
        // Decoded as it is written: the attachment's bytes never stand whole beside the file's.
        if (!Base64::decodeStrictInPieces(text, Gzip::Compressor::defaultPieceSize, write))
            throw KdbxError::corruptedData(notBase64);
    });
    write(ByteView(innerBytes).last(endFieldSize));
    secureWipe(innerBytes);
    KdbxXML::serialize(
        database, *stream,
        [&](std::string_view text) {
            write(ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        },
        partSize);
    if (gzip) gzip->finish();
    sealed.clear();
    encryptor.finish(sealed);
    blocks.write(sealed);
    blocks.finish();
#if defined(__GLIBC__)
    // The parts of this save (the XML, the pieces compressed on gzip's threads, the blocks) go
    // back to the system: left in the heaps of those threads, every save would add to the size
    // of the process.
    malloc_trim(0);
#endif
    return out;
}

}  // namespace KdbxFile
