// Writes the load fuzzer's seed corpus into the folder given as the only argument: every fixture
// database as a whole file with its credentials, and its content as a version 4 and a version 3
// payload for the sealing mode (see KdbxFuzzInput.h).
#include <cstdio>
#include <fstream>
#include <string>

#include "KdbxFuzzInput.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxFile.h"
#include "OmbrixCore/Kdbx/KdbxInnerHeader.h"
#include "OmbrixCore/Kdbx/KdbxXMLWriter.h"

namespace {

void write(const std::string& path, std::uint8_t mode, const Bytes& rest) {
    std::ofstream out(path, std::ios::binary);
    out.put(static_cast<char>(mode));
    out.write(reinterpret_cast<const char*>(rest.data()), static_cast<std::streamsize>(rest.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const nlohmann::json files = fuzzinput::manifest().at("files");
    const std::vector<KdbxKey> keys = fuzzinput::fixtureKeys();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string name = files[i].at("file");
        const Bytes file = fuzzinput::readFile(fuzzinput::fixtureDir() + name);
        write(dir + "/file-" + name, static_cast<std::uint8_t>(i), file);

        const KdbxDatabase db = KdbxFile::load(file, keys[i]);
        KdbxInnerHeader inner;
        inner.streamKey = Bytes(64, 0x44);
        inner.binaries = KdbxXML::preservedBinaries(db.root);
        auto chacha = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, inner.streamKey);
        Bytes payload = inner.serialize();
        const Bytes xml4 = KdbxXML::serialize(db, *chacha, 4);
        payload.insert(payload.end(), xml4.begin(), xml4.end());
        write(dir + "/payload4-" + name, fuzzinput::payloadMode | fuzzinput::gzipBit, payload);

        auto salsa = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::salsa20,
                                                 fuzzinput::versionThreeStreamKey());
        const Bytes xml3 = KdbxXML::serialize(db, *salsa, 3);
        write(dir + "/payload3-" + name, fuzzinput::payloadMode | fuzzinput::versionThreeBit, xml3);
    }
    return 0;
}
