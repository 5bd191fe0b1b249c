#include "crypt.h"

#include <gtest/gtest.h>

#include "text/cp1251.h"

using namespace zentra::app;

namespace {
std::string fromHex(const char* hex) {
    std::string out;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
        out += static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16));
    }
    return out;
}
}  // namespace

TEST(Crypt, BlowfishPublishedVectors) {
    struct Case {
        const char *key, *plain, *cipher;
    } cases[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"F0E1D2C3B4A5968778695A4B3C2D1E0F", "FEDCBA9876543210", "93142887EE3BE15C"},
    };
    for (const auto& c : cases) {
        const std::string key = fromHex(c.key);
        const auto* k = reinterpret_cast<const uint8_t*>(key.data());
        EXPECT_EQ(blowfishEcb(k, key.size(), fromHex(c.plain), true), fromHex(c.cipher)) << c.key;
        EXPECT_EQ(blowfishEcb(k, key.size(), fromHex(c.cipher), false), fromHex(c.plain)) << c.key;
    }
}

TEST(Crypt, KeysHaveTheirSignificantBytes) {
    const auto& w = cryptKey(CryptKey::Workstation);
    const auto& c = cryptKey(CryptKey::Catalogue);
    for (size_t i = 7; i < 16; ++i) EXPECT_EQ(w[i], 0) << i;
    for (size_t i = 14; i < 16; ++i) EXPECT_EQ(c[i], 0) << i;
    EXPECT_NE(w, c);
}

TEST(Crypt, StreamFormAlwaysEndsWithACountBlock) {
    for (size_t n : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 100u}) {
        const std::string plain(n, 'x');
        const std::string cipher = encipherStream(plain, CryptKey::Catalogue);
        EXPECT_EQ(cipher.size(), n / 8 * 8 + 8) << n;
        EXPECT_EQ(decipherStream(cipher, CryptKey::Catalogue), plain) << n;
    }
    // Empty text: one block, twelve Base64 characters, deciphers to empty text.
    const std::string empty = cryptText("", CryptKey::Catalogue, true);
    EXPECT_EQ(empty.size(), 12u);
    EXPECT_EQ(cryptText(empty, CryptKey::Catalogue, false), "");
    const std::string cyr = zentra::text::utf8ToCp1251("Пароль ёж №5");
    EXPECT_EQ(cryptText(cryptText(cyr, CryptKey::Workstation, true), CryptKey::Workstation, false), cyr);
    // The other key does not read it back.
    const std::string enc = cryptText("secret", CryptKey::Workstation, true);
    try {
        EXPECT_NE(cryptText(enc, CryptKey::Catalogue, false), "secret");
    } catch (const CryptError&) {
    }
}

TEST(Crypt, DamagedValuesGiveTheTwoMessages) {
    auto message = [](const std::string& text) {
        try {
            cryptText(text, CryptKey::Catalogue, false);
            return std::string("no error");
        } catch (const CryptError& e) {
            return std::string(e.what());
        }
    };
    for (const char* bad : {"abc!", "ab c", "QUJD\n", "QUJ", "=QUJ", "QU=J", "QUJDRA==QUJD"}) {
        EXPECT_EQ(message(bad), kInvalidBase64) << bad;
    }
    EXPECT_EQ(message(""), kInvalidFormat);
    EXPECT_EQ(message(base64Encode("12345")), kInvalidFormat);  // not whole blocks
    // A final block whose count byte is above 7 comes from no writer of ours.
    const auto& k = cryptKey(CryptKey::Catalogue);
    std::string forged(8, '\0');
    forged[7] = 9;
    const std::string cipher = blowfishEcb(k.data(), k.size(), forged, true);
    EXPECT_EQ(message(base64Encode(cipher)), kInvalidFormat);
}

TEST(Crypt, Base64MatchesTheStandard) {
    struct Case {
        const char *raw, *b64;
    } cases[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}};
    for (const auto& c : cases) {
        EXPECT_EQ(base64Encode(c.raw), c.b64);
        EXPECT_EQ(base64Decode(c.b64), c.raw);
    }
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    EXPECT_EQ(base64Decode(base64Encode(all)), all);
}
