#include "cp1251.h"

#include <array>
#include <cassert>

namespace zentra::text {
namespace {

// Code points of bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
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

// Unicode upper case for the letters the code page holds.
char32_t unicodeUpper(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0x0430 && c <= 0x044F) return c - 0x20;
    if (c >= 0x0450 && c <= 0x045F) return c - 0x50;
    if (c == 0x0491) return 0x0490;
    return c;
}

char32_t unicodeLower(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0x0410 && c <= 0x042F) return c + 0x20;
    if (c >= 0x0400 && c <= 0x040F) return c + 0x50;
    if (c == 0x0490) return 0x0491;
    return c;
}

struct Tables {
    std::array<unsigned char, 256> upper{};
    std::array<unsigned char, 256> lower{};
    Tables() {
        for (int b = 0; b < 256; ++b) {
            const char32_t cp = cp1251ToUnicode(static_cast<unsigned char>(b));
            const int u = unicodeToCp1251(unicodeUpper(cp));
            const int l = unicodeToCp1251(unicodeLower(cp));
            upper[b] = static_cast<unsigned char>(u >= 0 ? u : b);
            lower[b] = static_cast<unsigned char>(l >= 0 ? l : b);
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at `pos`; returns false on malformed input.
bool decodeUtf8(std::string_view s, size_t& pos, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        out = b0;
        ++pos;
        return true;
    }
    int len;
    char32_t c;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, c = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, c = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, c = b0 & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (pos + len > s.size()) return false;
    for (int i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) return false;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    out = c;
    pos += len;
    return true;
}

std::string describe(char32_t c) {
    char buf[16];
    snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
    std::string s = buf;
    if (c >= 0x20 && c != 0x7F) {
        s += " \"";
        appendUtf8(s, c);
        s += '"';
    }
    return s;
}

char toByteOrThrow(char32_t c, size_t position) {
    const int b = unicodeToCp1251(c);
    if (b < 0) {
        throw EncodingError("Символ " + describe(c) + " в позиции " +
                            std::to_string(position + 1) +
                            " нельзя сохранить в кодировке Windows-1251");
    }
    return static_cast<char>(b);
}

}  // namespace

char32_t cp1251ToUnicode(unsigned char byte) {
    if (byte < 0x80) return byte;
    if (byte >= 0xC0) return 0x0410 + (byte - 0xC0);
    return kHigh[byte - 0x80];
}

int unicodeToCp1251(char32_t c) {
    if (c < 0x80) return static_cast<int>(c);
    if (c >= 0x0410 && c <= 0x044F) return static_cast<int>(0xC0 + (c - 0x0410));
    for (size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == c) return static_cast<int>(0x80 + i);
    }
    return -1;
}

std::string cp1251ToUtf8(std::string_view in) {
    std::string out;
    out.reserve(in.size() * 2);
    for (unsigned char b : in) appendUtf8(out, cp1251ToUnicode(b));
    return out;
}

std::u16string cp1251ToUtf16(std::string_view in) {
    std::u16string out;
    out.reserve(in.size());
    for (unsigned char b : in) out += static_cast<char16_t>(cp1251ToUnicode(b));
    return out;
}

std::string utf8ToCp1251(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    size_t pos = 0;
    size_t chars = 0;
    while (pos < in.size()) {
        char32_t c;
        if (!decodeUtf8(in, pos, c)) {
            throw EncodingError("Текст не в кодировке UTF-8 (байт " + std::to_string(pos + 1) +
                                ")");
        }
        out += toByteOrThrow(c, chars++);
    }
    return out;
}

std::string utf16ToCp1251(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        char32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        }
        out += toByteOrThrow(c, out.size());
    }
    return out;
}

bool isValidUtf8(std::string_view s) {
    size_t pos = 0;
    char32_t c;
    while (pos < s.size()) {
        if (!decodeUtf8(s, pos, c)) return false;
    }
    return true;
}

bool looksLikeUtf8(std::string_view s) {
    bool multiByte = false;
    for (unsigned char b : s) {
        if (b >= 0x80) {
            multiByte = true;
            break;
        }
    }
    return multiByte && isValidUtf8(s);
}

unsigned char upperByte(unsigned char b) { return tables().upper[b]; }
unsigned char lowerByte(unsigned char b) { return tables().lower[b]; }

std::string upperCp1251(std::string_view s) {
    std::string out(s);
    for (auto& ch : out) ch = static_cast<char>(upperByte(static_cast<unsigned char>(ch)));
    return out;
}

std::string lowerCp1251(std::string_view s) {
    std::string out(s);
    for (auto& ch : out) ch = static_cast<char>(lowerByte(static_cast<unsigned char>(ch)));
    return out;
}

int compareNoCase(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const int x = upperByte(static_cast<unsigned char>(a[i]));
        const int y = upperByte(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

namespace {
std::string mapUtf8(std::string_view in, char32_t (*fn)(char32_t)) {
    std::string out;
    out.reserve(in.size());
    size_t pos = 0;
    while (pos < in.size()) {
        char32_t c;
        const size_t start = pos;
        if (!decodeUtf8(in, pos, c)) {
            // Not UTF-8: keep the byte as it is rather than lose it.
            out += in[start];
            pos = start + 1;
            continue;
        }
        appendUtf8(out, fn(c));
    }
    return out;
}
}  // namespace

std::string upperUtf8(std::string_view s) { return mapUtf8(s, unicodeUpper); }
std::string lowerUtf8(std::string_view s) { return mapUtf8(s, unicodeLower); }

}  // namespace zentra::text
