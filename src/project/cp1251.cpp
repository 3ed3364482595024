#include "cp1251.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace zorvat {

namespace {

// Code points of the bytes 0x80..0xBF. The bytes 0xC0..0xFF are the 64
// letters А..я, U+0410..U+044F, in order.
constexpr std::array<char16_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

constexpr char32_t kCyrillicA = 0x0410;

char32_t CodePointOf(unsigned char byte) {
    if (byte < 0x80) return byte;
    if (byte < 0xC0) return kHigh[byte - 0x80u];
    return kCyrillicA + (byte - 0xC0u);
}

std::optional<unsigned char> ByteOf(char32_t cp) {
    if (cp < 0x80) return static_cast<unsigned char>(cp);
    if (cp >= kCyrillicA && cp < kCyrillicA + 64) {
        return static_cast<unsigned char>(0xC0 + (cp - kCyrillicA));
    }
    for (std::size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == cp) return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one well-formed UTF-8 sequence at `text[i]`: its code point and
// length, or nullopt (overlong forms, surrogates and values above U+10FFFF
// are not well-formed).
struct Decoded {
    char32_t cp;
    std::size_t length;
};

std::optional<Decoded> DecodeUtf8(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (lead < 0x80) return Decoded{lead, 1};
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1Fu, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0Fu, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07u, min = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - i < length) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (next & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return Decoded{cp, length};
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes)
        AppendUtf8(out, CodePointOf(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToCp1251(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto decoded = DecodeUtf8(text, i);
        if (!decoded) {
            out += '?';
            ++i;
            continue;
        }
        const auto byte = ByteOf(decoded->cp);
        out += byte ? static_cast<char>(*byte) : '?';
        i += decoded->length;
    }
    return out;
}

}  // namespace zorvat
