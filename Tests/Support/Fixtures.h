#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Folder of the test fixtures kept in the repository (Tests/fixtures).
std::filesystem::path fixturesDir();

// A fixture file below Tests/fixtures, e.g. fixturePath("kdbx/keyfile-raw32.key").
std::filesystem::path fixturePath(const std::string& relative);

// The whole file as bytes; fails the calling test (via abort message) when unreadable.
std::vector<std::uint8_t> readFile(const std::filesystem::path& path);

// The version 3.1 fixture "kdbx/v31-aeskdf-aes256-salsa20-gzip-password.kdbx" with its AES-KDF
// asking for `rounds` rounds instead, for tests of a derivation that takes long; empty when its
// header holds no rounds field.
std::vector<std::uint8_t> slowAesKdfFixture(std::uint64_t rounds);

// Bytes from a hex text ("00ff..."); whitespace is ignored.
std::vector<std::uint8_t> fromHex(const std::string& hex);

// Lower-case hex text of bytes.
std::string toHex(const std::vector<std::uint8_t>& bytes);

// Folder for files a test leaves for a person to look at (screenshots, gallery PNGs);
// created on first use, inside the build tree.
std::filesystem::path outputDir();

}  // namespace testsupport
