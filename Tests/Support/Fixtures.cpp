#include "Support/Fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

std::filesystem::path fixturesDir() {
    return std::filesystem::path(OMBRIX_TEST_FIXTURES_DIR);
}

std::filesystem::path fixturePath(const std::string& relative) {
    return fixturesDir() / relative;
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read fixture " + path.string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::uint8_t> slowAesKdfFixture(std::uint64_t rounds) {
    std::vector<std::uint8_t> file =
        readFile(fixturePath("kdbx/v31-aeskdf-aes256-salsa20-gzip-password.kdbx"));
    // The outer header: 12 bytes of signature and version, then fields of id, 16-bit length, data.
    for (std::size_t at = 12; at + 3 <= file.size();) {
        const std::uint8_t id = file[at];
        const std::size_t length = file[at + 1] | (file[at + 2] << 8);
        if (id == 0) break;
        if (id == 6 && length == 8) {  // the transform rounds, little-endian
            for (std::size_t i = 0; i < 8; ++i)
                file[at + 3 + i] = static_cast<std::uint8_t>(rounds >> (8 * i));
            return file;
        }
        at += 3 + length;
    }
    return {};
}

std::vector<std::uint8_t> fromHex(const std::string& hex) {
    std::vector<std::uint8_t> out;
    int high = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0) throw std::invalid_argument("odd number of hex digits");
    return out;
}

std::string toHex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (auto b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

std::filesystem::path outputDir() {
    const char* env = std::getenv("OMBRIX_TEST_OUTPUT_DIR");
    std::filesystem::path dir = env && *env ? std::filesystem::path(env)
                                            : std::filesystem::temp_directory_path() / "ombrix-test-output";
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace testsupport
