#include "OmbrixCore/Kdbx/Base64.h"

#include <algorithm>

#include <array>
#include <cstdint>

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::int8_t padding = -2;
constexpr std::int8_t invalid = -1;

constexpr std::array<std::int8_t, 256> makeTable() {
    std::array<std::int8_t, 256> table{};
    for (auto& v : table) v = invalid;
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
    table['='] = padding;
    return table;
}

constexpr std::array<std::int8_t, 256> table = makeTable();

std::int8_t valueOf(char c) {
    return table[static_cast<unsigned char>(c)];
}

// Decodes characters that are all in the alphabet or "=": a multiple of 4 long, padding only at
// the very end.
std::optional<Bytes> decodeClean(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t pad = 0;
    if (!text.empty() && text.back() == '=') pad = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
    Bytes out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const std::int8_t v = valueOf(text[i + k]);
            if (v == invalid) return std::nullopt;
            if (v == padding) {
                if (!last || k < 4 - pad) return std::nullopt;
                group <<= 6;
                continue;
            }
            group = group << 6 | static_cast<std::uint32_t>(v);
        }
        out.push_back(static_cast<std::uint8_t>(group >> 16));
        if (!last || pad < 2) out.push_back(static_cast<std::uint8_t>(group >> 8));
        if (!last || pad < 1) out.push_back(static_cast<std::uint8_t>(group));
    }
    return out;
}

}  // namespace

namespace Base64 {

std::string encode(ByteView data) {
    std::string out;
    appendEncoded(out, data);
    return out;
}

void appendEncoded(std::string& out, ByteView data) {
    out.reserve(out.size() + (data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const std::uint32_t group =
            std::uint32_t{data[i]} << 16 | std::uint32_t{data[i + 1]} << 8 | data[i + 2];
        out.push_back(alphabet[group >> 18]);
        out.push_back(alphabet[(group >> 12) & 63]);
        out.push_back(alphabet[(group >> 6) & 63]);
        out.push_back(alphabet[group & 63]);
    }
    const std::size_t rest = data.size() - i;
    if (rest == 0) return;
    std::uint32_t group = std::uint32_t{data[i]} << 16;
    if (rest == 2) group |= std::uint32_t{data[i + 1]} << 8;
    out.push_back(alphabet[group >> 18]);
    out.push_back(alphabet[(group >> 12) & 63]);
    out.push_back(rest == 2 ? alphabet[(group >> 6) & 63] : '=');
    out.push_back('=');
}

std::optional<Bytes> decodeStrict(std::string_view text) {
    return decodeClean(text);
}

std::optional<std::size_t> strictDecodedSize(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    const std::size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
    return text.size() / 4 * 3 - padding;
}

bool decodeStrictInPieces(std::string_view text, std::size_t pieceSize,
                          const std::function<void(ByteView)>& piece) {
    if (!strictDecodedSize(text)) return false;
    const std::size_t step = std::max<std::size_t>(pieceSize / 3, 1) * 4;
    for (std::size_t at = 0; at < text.size(); at += step) {
        const std::string_view part = text.substr(at, step);
        const std::optional<Bytes> bytes = decodeClean(part);
        // Padding ends the whole text, never a piece before its last.
        if (!bytes || (at + step < text.size() && bytes->size() != part.size() / 4 * 3)) return false;
        piece(*bytes);
    }
    return true;
}

std::optional<Bytes> decodeLenient(std::string_view text) {
    bool clean = true;
    for (char c : text) {
        if (valueOf(c) == invalid) {
            clean = false;
            break;
        }
    }
    if (clean) return decodeClean(text);
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        if (valueOf(c) != invalid) kept.push_back(c);
    }
    return decodeClean(kept);
}

}  // namespace Base64
