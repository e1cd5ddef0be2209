#include "OmbrixCore/Kdbx/UnicodeText.h"

#include <utf8proc.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at data[i], or the length of the maximal ill-formed
// subpart there as a negative number (Unicode 15, table 3-7 and the U+FFFD substitution practice).
long sequenceAt(const std::uint8_t* data, std::size_t size, std::size_t i) {
    const std::uint8_t lead = data[i];
    if (lead < 0x80) return 1;
    std::size_t length;
    std::uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return -1;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (i + k >= size) return -static_cast<long>(k);
        const std::uint8_t b = data[i + k];
        const bool inRange = k == 1 ? (b >= low && b <= high) : (b >= 0x80 && b <= 0xBF);
        if (!inRange) return -static_cast<long>(k);
    }
    return static_cast<long>(length);
}

bool isASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

namespace UnicodeText {

std::string decodeUTF8(ByteView bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const long n = sequenceAt(bytes.data(), bytes.size(), i);
        if (n > 0) {
            out.append(reinterpret_cast<const char*>(bytes.data() + i), static_cast<std::size_t>(n));
            i += static_cast<std::size_t>(n);
        } else {
            out.append(replacementCharacter);
            i += static_cast<std::size_t>(-n);
        }
    }
    return out;
}

std::string decodeUTF8(std::string_view bytes) {
    return decodeUTF8(ByteView(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::string nfc(std::string_view text) {
    if (isASCII(text)) return std::string(text);
    const std::string valid = decodeUTF8(text);
    utf8proc_uint8_t* mapped = nullptr;
    // An explicit length (no NULLTERM) keeps embedded NUL characters.
    const utf8proc_ssize_t length = utf8proc_map(
        reinterpret_cast<const utf8proc_uint8_t*>(valid.data()), static_cast<utf8proc_ssize_t>(valid.size()),
        &mapped, static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
    std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owner(mapped, &std::free);
    // Only an allocation failure can end here; the text is valid UTF-8 by now.
    if (length < 0 || mapped == nullptr) return valid;
    return std::string(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(length));
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (isASCII(a) && isASCII(b)) return false;
    return nfc(a) == nfc(b);
}

Scalar scalarAt(std::string_view text, std::size_t i) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    const long n = sequenceAt(data, text.size(), i);
    if (n <= 0) return {0xFFFD, static_cast<std::size_t>(-n), false};
    char32_t value;
    switch (n) {
        case 1:
            value = data[i];
            break;
        case 2:
            value = (data[i] & 0x1Fu) << 6 | (data[i + 1] & 0x3Fu);
            break;
        case 3:
            value = (data[i] & 0x0Fu) << 12 | (data[i + 1] & 0x3Fu) << 6 | (data[i + 2] & 0x3Fu);
            break;
        default:
            value = (data[i] & 0x07u) << 18 | (data[i + 1] & 0x3Fu) << 12 | (data[i + 2] & 0x3Fu) << 6 |
                    (data[i + 3] & 0x3Fu);
            break;
    }
    return {value, static_cast<std::size_t>(n), true};
}

void appendUTF8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool isWhiteSpace(char32_t c) {
    if (c < 0x80) return (c >= 0x09 && c <= 0x0D) || c == 0x20;
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

std::string_view trimWhiteSpace(std::string_view text) {
    // Most texts start and end with a visible ASCII character: nothing to trim, nothing to decode.
    auto visibleASCII = [](char c) { return c > 0x20 && c < 0x7F; };
    if (text.empty() || (visibleASCII(text.front()) && visibleASCII(text.back()))) return text;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const Scalar s = scalarAt(text, begin);
        if (!isWhiteSpace(s.value)) break;
        begin += s.length;
    }
    // Forward walk: the end is where the last scalar that is not white space stops.
    std::size_t end = begin;
    for (std::size_t i = begin; i < text.size();) {
        const Scalar s = scalarAt(text, i);
        i += s.length;
        if (!isWhiteSpace(s.value)) end = i;
    }
    return text.substr(begin, end - begin);
}

}  // namespace UnicodeText
