#pragma once

// The load fuzzer's input format, shared by the harness and the seed writer.
//
// Byte 0 chooses what the rest is:
// - below 0x80: a whole file, opened with the credentials of fixture number (byte 0 modulo the
//   number of fixtures) from the manifest. This reaches the header, key files, key derivation
//   and framing; past the MACs only when the fixture is intact.
// - 0x80 and above: a decrypted payload that the harness seals into a valid file (password
//   "fuzz", AES-KDF of one round) before loading it, so that the inner header, gzip, the XML
//   and the model are fuzzed behind the MACs too. Bit 0: gzip it first. Bit 1: a version 3 file
//   (the payload is the XML; inner stream Salsa20 under versionThreeStreamKey), else version 4
//   (the payload is the inner header followed by the XML).
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "OmbrixCore/Compression/Gzip.h"
#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/BlockStreams.h"
#include "OmbrixCore/Kdbx/KdbxCompositeKey.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"
#include "OmbrixCore/Kdbx/KdbxKeyDerivation.h"
#include "OmbrixCore/Kdbx/Models.h"
#include "OmbrixCore/Kdbx/PayloadCipher.h"
#include "Support/WholePayloads.h"

namespace fuzzinput {

inline constexpr std::uint8_t payloadMode = 0x80;
inline constexpr std::uint8_t gzipBit = 0x01;
inline constexpr std::uint8_t versionThreeBit = 0x02;

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline std::string fixtureDir() {
    return std::string(OMBRIX_FIXTURES_DIR) + "/kdbx/";
}

inline nlohmann::json manifest() {
    std::ifstream in(fixtureDir() + "manifest.json");
    return nlohmann::json::parse(in);
}

// The credentials of every fixture, in the manifest's order.
inline std::vector<KdbxKey> fixtureKeys() {
    std::vector<KdbxKey> keys;
    const nlohmann::json all = manifest();
    for (const nlohmann::json& file : all.at("files")) {
        const nlohmann::json& credentials = file.at("credentials");
        KdbxKey key;
        if (!credentials.at("password").is_null())
            key.password = credentials.at("password").get<std::string>();
        if (!credentials.at("key_file").is_null()) {
            key.keyFileData = readFile(fixtureDir() + credentials.at("key_file").get<std::string>());
        }
        keys.push_back(std::move(key));
    }
    return keys;
}

inline const KdbxKey& sealKey() {
    static const KdbxKey key("fuzz", std::nullopt);
    return key;
}

inline const Bytes& versionThreeStreamKey() {
    static const Bytes key(32, 0x33);
    return key;
}

// A valid file around a decrypted payload; see the top of this file.
inline Bytes seal(ByteView payload, std::uint8_t mode) {
    Bytes body(payload.begin(), payload.end());
    KdbxHeader header;
    header.masterSeed = Bytes(32, 1);
    header.compressionFlags = (mode & gzipBit) != 0 ? 1 : 0;
    if ((mode & versionThreeBit) != 0) {
        header.major = 3;
        header.minor = 1;
        header.cipherUUID = KdbxUUIDs::aes256;
        header.encryptionIV = Bytes(16, 2);
        header.transformSeed = Bytes(32, 3);
        header.transformRounds = 1;
        header.streamStartBytes = Bytes(32, 4);
        header.innerRandomStreamKey = versionThreeStreamKey();
        header.innerRandomStreamID = 2;
        if (header.compressionFlags == 1) body = Gzip::compress(body);
        Bytes plain = *header.streamStartBytes;
        const Bytes blocks = testsupport::writeHashedBlocks(body, 4096);
        plain.insert(plain.end(), blocks.begin(), blocks.end());
        Bytes file = header.serialize();
        const KdbxKeys::DerivedKeys keys = KdbxKeys::derive(KdbxKeys::compositeKey(sealKey()), header);
        const Bytes encrypted =
            testsupport::encryptPayload(plain, KdbxCipher::aes256, keys.master, header.encryptionIV);
        file.insert(file.end(), encrypted.begin(), encrypted.end());
        return file;
    }
    header.cipherUUID = KdbxUUIDs::chacha20;
    header.encryptionIV = Bytes(12, 2);
    header.kdfParameters = KdbxHeader::kdfParametersFor(KdfSettings::aesKdf(1), Bytes(32, 3));
    if (header.compressionFlags == 1) body = Gzip::compress(body);
    const Bytes raw = header.serialize();
    const KdbxKeys::DerivedKeys keys = KdbxKeys::derive(KdbxKeys::compositeKey(sealKey()), header);
    const Bytes encrypted =
        testsupport::encryptPayload(body, KdbxCipher::chacha20, keys.master, header.encryptionIV);
    Bytes file = raw;
    const Bytes hash = KdbxCrypto::sha256(raw);
    const Bytes mac = KdbxCrypto::headerHMAC(raw, *keys.hmac);
    const Bytes blocks = KdbxCrypto::writeHMACBlocks(encrypted, *keys.hmac, 4096);
    for (const Bytes* part : {&hash, &mac, &blocks}) file.insert(file.end(), part->begin(), part->end());
    return file;
}

}  // namespace fuzzinput
