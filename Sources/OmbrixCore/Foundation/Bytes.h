#pragma once

#include <cstdint>
#include <span>
#include <vector>

// The one byte-buffer type of the whole project: keys, hashes, payloads, file contents.
using Bytes = std::vector<std::uint8_t>;

// Borrowed, read-only view of bytes.
using ByteView = std::span<const std::uint8_t>;
