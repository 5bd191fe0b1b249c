#include "crypt.h"

#include <nettle/blowfish.h>

#include <cassert>
#include <cstring>

namespace zentra::app {
namespace {

constexpr size_t kBlock = BLOWFISH_BLOCK_SIZE;
static_assert(kBlock == 8);

// The keys are assembled at run time so that they stand nowhere in the binary as one run of
// bytes: 7 significant bytes for the workstation key, 14 for the catalogue key, zeros after.
Key128 buildKey(const uint8_t* parts, size_t significant, uint8_t mix) {
    Key128 k{};
    for (size_t i = 0; i < significant; ++i) k[i] = static_cast<uint8_t>(parts[i] ^ mix ^ (i * 29));
    return k;
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

const Key128& cryptKey(CryptKey key) {
    static const uint8_t kWorkstation[] = {0x5A, 0x3C, 0x91, 0x07, 0xE4, 0x28, 0x6B};
    static const uint8_t kCatalogue[] = {0x2F, 0xB8, 0x44, 0xD1, 0x73, 0x0E, 0x9A,
                                         0x65, 0xC2, 0x1D, 0x88, 0x37, 0xF6, 0x4B};
    static const Key128 workstation = buildKey(kWorkstation, 7, 0x36);
    static const Key128 catalogue = buildKey(kCatalogue, 14, 0x5C);
    return key == CryptKey::Workstation ? workstation : catalogue;
}

std::string blowfishEcb(const uint8_t* key, size_t keyLength, std::string_view data, bool encrypt) {
    assert(data.size() % kBlock == 0);
    blowfish_ctx ctx;
    // nettle reports weak keys but keys them all the same; the fixed keys are not weak.
    blowfish_set_key(&ctx, keyLength, key);
    std::string out(data.size(), '\0');
    auto* dst = reinterpret_cast<uint8_t*>(out.data());
    const auto* src = reinterpret_cast<const uint8_t*>(data.data());
    if (encrypt) blowfish_encrypt(&ctx, data.size(), dst, src);
    else blowfish_decrypt(&ctx, data.size(), dst, src);
    return out;
}

std::string encipherStream(std::string_view plain, CryptKey key) {
    const size_t whole = plain.size() / kBlock * kBlock;
    std::string blocks(plain.substr(0, whole));
    char last[kBlock] = {};
    const size_t rest = plain.size() - whole;
    std::memcpy(last, plain.data() + whole, rest);
    last[kBlock - 1] = static_cast<char>(rest);
    blocks.append(last, kBlock);
    const Key128& k = cryptKey(key);
    return blowfishEcb(k.data(), k.size(), blocks, true);
}

std::string decipherStream(std::string_view cipher, CryptKey key) {
    if (cipher.empty() || cipher.size() % kBlock != 0) throw CryptError(std::string(kInvalidFormat));
    const Key128& k = cryptKey(key);
    std::string plain = blowfishEcb(k.data(), k.size(), cipher, false);
    const size_t lastBlock = cipher.size() - kBlock;
    const uint8_t rest = static_cast<uint8_t>(plain[cipher.size() - 1]);
    // A count above 7 cannot come from our writer: a damaged or foreign value.
    if (rest >= kBlock) throw CryptError(std::string(kInvalidFormat));
    plain.resize(lastBlock + rest);
    return plain;
}

std::string base64Encode(std::string_view bytes) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest == 1) {
        const uint32_t v = uint8_t(bytes[i]) << 16;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        const uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string base64Decode(std::string_view text) {
    // Strict: only the alphabet, padding only at the end, whole groups of four.
    if (text.size() % 4 != 0) throw CryptError(std::string(kInvalidBase64));
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        int v[4];
        int pad = 0;
        for (int j = 0; j < 4; ++j) {
            const char c = text[i + j];
            if (c == '=' && i + 4 == text.size() && j >= 2) {
                v[j] = 0;
                ++pad;
                continue;
            }
            if (pad > 0) throw CryptError(std::string(kInvalidBase64));  // data after '='
            v[j] = base64Value(c);
            if (v[j] < 0) throw CryptError(std::string(kInvalidBase64));
        }
        const uint32_t w = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
        out += static_cast<char>(w >> 16);
        if (pad < 2) out += static_cast<char>((w >> 8) & 0xFF);
        if (pad < 1) out += static_cast<char>(w & 0xFF);
    }
    return out;
}

std::string cryptText(std::string_view text, CryptKey key, bool encipher) {
    if (encipher) return base64Encode(encipherStream(text, key));
    return decipherStream(base64Decode(text), key);
}

}  // namespace zentra::app
