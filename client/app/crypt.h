// Enciphered setting values: Blowfish (128-bit key) over the bytes of the text in a stream form
// of whole 8-byte ECB blocks plus one final block that carries the 0..7 remaining bytes and
// their count in its last byte; the result in Base64 for texts stored as settings.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zentra::app {

// The messages are part of the program's behaviour: screens compare against them.
class CryptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
inline constexpr std::string_view kInvalidBase64 = "Invalid Base64 Character";
inline constexpr std::string_view kInvalidFormat = "Invalid file format";

enum class CryptKey {
    Workstation,  // ini-file passwords and members of update packages
    Catalogue,    // TCONST values and the FTP data of order recipients
};

using Key128 = std::array<uint8_t, 16>;
// The key bytes, built from constants when first asked for.
const Key128& cryptKey(CryptKey key);

// Blowfish in ECB mode over whole 8-byte blocks with any key of 4..56 bytes.
std::string blowfishEcb(const uint8_t* key, size_t keyLength, std::string_view data, bool encrypt);

// The stream form without Base64 (update packages use it on raw bytes).
std::string encipherStream(std::string_view plain, CryptKey key);
std::string decipherStream(std::string_view cipher, CryptKey key);  // throws CryptError

// Strict Base64 (standard alphabet, "=" padding, no line breaks).
std::string base64Encode(std::string_view bytes);
std::string base64Decode(std::string_view text);  // throws CryptError(kInvalidBase64)

// CryptText: encipher then Base64, or Base64 then decipher. Texts are bytes (cp1251 in the
// program); the settings services convert from and to UTF-8 around this.
std::string cryptText(std::string_view text, CryptKey key, bool encipher);

}  // namespace zentra::app
