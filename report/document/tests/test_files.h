// Byte builders for the file tests. They follow the byte tables directly and share no code
// with the writers under test, so a test can compare the writers against them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace zentra::report::testing {

struct Bytes {
    std::string b;
    Bytes& u8(int v) {
        b.push_back(static_cast<char>(v & 0xFF));
        return *this;
    }
    Bytes& u16(int v) {
        u8(v);
        u8(v >> 8);
        return *this;
    }
    Bytes& i32(int64_t v) {
        for (int i = 0; i < 4; ++i)
            u8(static_cast<int>((v >> (8 * i)) & 0xFF));
        return *this;
    }
    Bytes& f64(double d) {
        uint64_t v;
        std::memcpy(&v, &d, 8);
        i32(static_cast<int64_t>(v & 0xFFFFFFFF));
        i32(static_cast<int64_t>(v >> 32));
        return *this;
    }
    Bytes& raw(std::string_view s) {
        b.append(s);
        return *this;
    }
    Bytes& shortText(std::string_view s) {
        u16(static_cast<int>(s.size()));
        return raw(s);
    }
    Bytes& longText(std::string_view s) {
        i32(static_cast<int64_t>(s.size()));
        return raw(s);
    }
    // A 27-byte format record with the given fill colour and font size, no data format.
    Bytes& format(uint32_t fill = 0xFFFFFF, int fontSize = 9, int fontIndex = 0) {
        u8(0)
            .i32(fill)
            .u16(fontIndex)
            .u16(fontSize)
            .u8(0)
            .i32(0)
            .u8(0)
            .u8(0)
            .i32(0)
            .i32(0)
            .u8(0)
            .u16(0);
        return *this;
    }
    Bytes& defaultPageSettings() { return i32(7).i32(0).f64(100).f64(2).f64(2.5).f64(2).f64(2.5); }
};

// Start of a version 3.0 stream up to (not including) the sheet block: one font, `formats`
// default-like format records (format i has fill colour i), standard reserved lists.
Bytes GridHead(int formats = 1);
// The tail after the cell records: page settings and empty tables, no objects.
Bytes& GridTail(Bytes& b);
// A small valid version 3.0 stream: a text cell, a joined cell with a format, a group cell,
// a header group, a fixed column range, a page break and one bitmap object.
std::string SmallGridStream();
// A small version 1.7 file: two fonts, a 2x2 join spelled with neighbour flags, a plain cell,
// then page settings, tables and running titles.
std::string SmallGrid17();
// A small report file of the current layout around SmallGridStream.
std::string SmallReport();
// A 2x1 bitmap file (BMP).
std::string TinyBitmap();

}  // namespace zentra::report::testing
