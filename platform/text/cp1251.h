// Windows-1251 texts: the one 256-entry table of the project, conversions to and from UTF-8 and
// UTF-16, and per-byte case rules for the Latin and Cyrillic alphabets.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace zentra::text {

// Raised when a text holds a character that Windows-1251 cannot store, or bytes that are not
// UTF-8 where UTF-8 is required. The message names the offending character and its position.
class EncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Unicode code point of one cp1251 byte. Byte 0x98 has no character in the code page; it maps
// to U+0098 so that every byte survives a round trip.
char32_t cp1251ToUnicode(unsigned char byte);

// The cp1251 byte of a code point, or -1 when the code page cannot hold it.
int unicodeToCp1251(char32_t codePoint);

std::string cp1251ToUtf8(std::string_view cp1251);
std::u16string cp1251ToUtf16(std::string_view cp1251);

// Strict conversions: a character outside the code page throws EncodingError.
std::string utf8ToCp1251(std::string_view utf8);
std::string utf16ToCp1251(std::u16string_view utf16);

// True when the bytes form well-formed UTF-8 (shortest forms, no surrogates).
bool isValidUtf8(std::string_view bytes);

// True when the bytes are valid UTF-8 and hold at least one multi-byte sequence, i.e. a file
// that is surely UTF-8 rather than cp1251 (plain ASCII is both and reads the same either way).
bool looksLikeUtf8(std::string_view bytes);

// Per-byte case mapping for cp1251 texts: A-Z, А-Я, Ё and the other Cyrillic letters of the
// code page (Ђ, Ѓ, Є, І, Ї, Ј, Љ, Њ, Ћ, Ќ, Ў, Џ, Ґ, Ѕ). Other bytes are unchanged.
unsigned char upperByte(unsigned char byte);
unsigned char lowerByte(unsigned char byte);
std::string upperCp1251(std::string_view cp1251);
std::string lowerCp1251(std::string_view cp1251);

// Case-insensitive comparison of cp1251 texts by the rules above (<0, 0, >0).
int compareNoCase(std::string_view a, std::string_view b);
inline bool equalsNoCase(std::string_view a, std::string_view b) {
    return compareNoCase(a, b) == 0;
}

// Case rules for UTF-8 texts of the two alphabets (characters outside cp1251 are kept as they
// are). Used where the client holds UTF-8 and must match names the way the code page would.
std::string upperUtf8(std::string_view utf8);
std::string lowerUtf8(std::string_view utf8);

}  // namespace zentra::text
