// Little-endian byte reading and writing for the report and print grid files. The reader checks
// every read and every count against the bytes left, so a damaged file ends in FileFormatError
// before anything is allocated for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zentra::report {

// A file or clipboard block that cannot be read: unknown layout, early end, bad count or index.
// The message is UTF-8 and meant for the user.
class FileFormatError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Message for a file whose magic is recognised by no reader.
inline constexpr const char* kUnknownFormatMessage = "Файл неизвестного формата!";

// Throws FileFormatError with "Файл повреждён: " + detail.
[[noreturn]] void throwDamaged(const std::string& detail);

class ByteReader {
  public:
    explicit ByteReader(std::string_view bytes) : data_(bytes) {}

    size_t position() const { return pos_; }
    size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ == data_.size(); }
    void seek(size_t pos);

    uint8_t u8();
    int8_t i8() { return static_cast<int8_t>(u8()); }
    uint16_t u16();
    int16_t i16() { return static_cast<int16_t>(u16()); }
    uint32_t u32();
    int32_t i32() { return static_cast<int32_t>(u32()); }
    double f64();
    std::string_view bytes(size_t n);
    // 16-bit length, then the characters.
    std::string shortText();
    // 32-bit signed length, then the characters.
    std::string longText();
    // A 32-bit record count whose records take at least minRecordSize bytes each; fails when
    // negative or when the bytes left cannot hold that many records.
    size_t count(size_t minRecordSize, const char* what);
    // Fails unless n more bytes are present.
    void need(size_t n);

  private:
    std::string_view data_;
    size_t pos_ = 0;
};

class ByteWriter {
  public:
    void u8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
    void u16(uint16_t v);
    void i16(int16_t v) { u16(static_cast<uint16_t>(v)); }
    void u32(uint32_t v);
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void f64(double v);
    void bytes(std::string_view b) { out_.append(b); }
    // Fails with FileFormatError when the text is longer than 65,535 bytes.
    void shortText(std::string_view text, const char* what);
    void longText(std::string_view text);
    void patchU32(size_t at, uint32_t v);
    size_t size() const { return out_.size(); }
    const std::string& data() const { return out_; }
    std::string take() { return std::move(out_); }

  private:
    std::string out_;
};

}  // namespace zentra::report
