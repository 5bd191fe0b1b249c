#include "binary_io.h"

#include <bit>
#include <cstring>
#include <limits>

namespace zentra::report {

// Builds the one prefix every damage message shares.
void throwDamaged(const std::string& detail) {
    throw FileFormatError("Файл повреждён: " + detail);
}

// Moves to an absolute position inside the data.
void ByteReader::seek(size_t pos) {
    if (pos > data_.size()) throwDamaged("переход за конец данных");
    pos_ = pos;
}

// Fails unless n more bytes are present.
void ByteReader::need(size_t n) {
    if (n > remaining())
        throwDamaged("неожиданный конец данных (смещение " + std::to_string(pos_) + ", нужно " +
                     std::to_string(n) + " байт, осталось " + std::to_string(remaining()) + ")");
}

// One byte.
uint8_t ByteReader::u8() {
    need(1);
    return static_cast<uint8_t>(data_[pos_++]);
}

// Two bytes, low first.
uint16_t ByteReader::u16() {
    need(2);
    auto b = reinterpret_cast<const unsigned char*>(data_.data() + pos_);
    pos_ += 2;
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

// Four bytes, low first.
uint32_t ByteReader::u32() {
    need(4);
    auto b = reinterpret_cast<const unsigned char*>(data_.data() + pos_);
    pos_ += 4;
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// An IEEE double stored little-endian.
double ByteReader::f64() {
    uint64_t lo = u32();
    uint64_t hi = u32();
    return std::bit_cast<double>(lo | hi << 32);
}

// A view of the next n bytes.
std::string_view ByteReader::bytes(size_t n) {
    need(n);
    auto v = data_.substr(pos_, n);
    pos_ += n;
    return v;
}

// Text with a 16-bit length.
std::string ByteReader::shortText() {
    uint16_t n = u16();
    return std::string(bytes(n));
}

// Text with a 32-bit length, checked before the text is copied.
std::string ByteReader::longText() {
    int32_t n = i32();
    if (n < 0) throwDamaged("отрицательная длина текста (" + std::to_string(n) + ")");
    return std::string(bytes(static_cast<size_t>(n)));
}

// A record count that the remaining bytes can actually hold.
size_t ByteReader::count(size_t minRecordSize, const char* what) {
    int32_t n = i32();
    if (n < 0 || (minRecordSize > 0 && static_cast<uint64_t>(n) * minRecordSize > remaining()))
        throwDamaged(std::string("неверное число записей \"") + what + "\" (" + std::to_string(n) +
                     ")");
    return static_cast<size_t>(n);
}

// Two bytes, low first.
void ByteWriter::u16(uint16_t v) {
    out_.push_back(static_cast<char>(v & 0xFF));
    out_.push_back(static_cast<char>(v >> 8));
}

// Four bytes, low first.
void ByteWriter::u32(uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// An IEEE double, little-endian, bit for bit.
void ByteWriter::f64(double v) {
    uint64_t bits = std::bit_cast<uint64_t>(v);
    u32(static_cast<uint32_t>(bits));
    u32(static_cast<uint32_t>(bits >> 32));
}

// Text with a 16-bit length; longer texts cannot be stored and are refused, not cut.
void ByteWriter::shortText(std::string_view text, const char* what) {
    if (text.size() > std::numeric_limits<uint16_t>::max())
        throw FileFormatError(std::string("Текст \"") + what + "\" длиннее 65535 байт (" +
                              std::to_string(text.size()) + ") и не может быть сохранён");
    u16(static_cast<uint16_t>(text.size()));
    out_.append(text);
}

// Text with a 32-bit length.
void ByteWriter::longText(std::string_view text) {
    u32(static_cast<uint32_t>(text.size()));
    out_.append(text);
}

// Overwrites four bytes written earlier (counts known only after the records).
void ByteWriter::patchU32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out_[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace zentra::report
