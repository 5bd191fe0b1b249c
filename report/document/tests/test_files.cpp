#include "test_files.h"

namespace zentra::report::testing {

Bytes GridHead(int formats) {
    Bytes b;
    b.shortText("KelvoGRID").f64(3.0).shortText("").shortText("");
    b.i32(1).shortText("ARIAL");
    b.i32(formats);
    b.format();
    for (int i = 1; i < formats; ++i)
        b.format(static_cast<uint32_t>(i));
    b.i32(1).format();
    b.i32(1).format();
    b.i32(1);
    return b;
}

Bytes& GridTail(Bytes& b) {
    b.defaultPageSettings();
    b.i32(0).i32(0).i32(0);  // header groups, fixed columns, page breaks
    b.i32(0);                // objects
    return b;
}

std::string TinyBitmap() {
    Bytes b;
    // BITMAPFILEHEADER + BITMAPINFOHEADER + one row of two 24-bit pixels padded to 8 bytes.
    b.raw("BM").i32(14 + 40 + 8).u16(0).u16(0).i32(14 + 40);
    b.i32(40).i32(2).i32(1).u16(1).u16(24).i32(0).i32(8).i32(2835).i32(2835).i32(0).i32(0);
    b.raw(std::string("\x00\x00\xff\xff\xff\xff\x00\x00", 8));
    return b.b;
}

std::string SmallGridStream() {
    Bytes b = GridHead(2);
    b.i32(2).u16(80).u16(0).u16(0);         // last column 2, widths
    b.i32(3).u16(0).u16(25).u16(0).u16(1);  // last row 3, heights (row 3 hidden)
    b.i32(3);
    b.u8(2).u16(0).u16(0).shortText("Итого");                           // text only
    b.u8(1 | 2 | 4).i32(1).u16(1).u16(1).shortText("J").u16(2).u16(2);  // format, text, join
    b.u8(8).u16(0).u16(3).u8(7);                                        // group only
    b.defaultPageSettings();
    b.i32(1).i32(-1).i32(2).u8(0).u8(1).i32(1).i32(0).i32(0);  // one header group
    b.i32(1).u16(0).u16(1).u16(0).u16(3);                      // fixed columns
    b.i32(1).u16(2);                                           // page break at row 2
    std::string bmp = TinyBitmap();
    b.i32(1).u8(1).i32(10).i32(20).u16(0).i32(30).i32(40).u8(1).raw(bmp);
    return b.b;
}

std::string SmallGrid17() {
    Bytes b;
    b.longText("FG1.7#RMX#Kelvo");
    b.i32(1).u16(90).u16(0);  // last column 1, widths
    b.i32(2).u16(0).u16(0).u16(30);
    b.i32(2).longText("Arial").longText("Times New Roman");
    auto cell = [&b](int col, int row, int joinFlags, int font, std::string_view text,
                     std::string_view fmt) {
        b.u16(col).u16(row).u8(12).u8(1).i32(0x01010101).u8(2).u8(1).u8(joinFlags).u8(font);
        b.i32(0xEEEEEE).i32(0x0000FF).i32(0).u8(3).u8(0).u8(0);
        b.u16(static_cast<int>(text.size())).u16(static_cast<int>(fmt.size())).u8(1);
        b.raw(text).raw(fmt);
    };
    b.i32(5);
    cell(0, 0, 2 | 8, 1, "Шапка", "0.00");  // master of a 2x2 join
    cell(1, 0, 1 | 8, 0, "", "");           // right of the master
    cell(0, 1, 4 | 2, 0, "", "");           // below the master
    cell(1, 1, 1 | 4, 0, "", "");           // bottom-right
    cell(0, 2, 0, 0, "строка", "");         // plain cell
    b.defaultPageSettings();
    b.i32(0);                            // header groups
    b.i32(0);                            // fixed columns
    b.i32(1).u16(2);                     // page breaks
    b.longText("Верх").longText("Низ");  // running titles (cp1251 not needed for the check)
    return b.b;
}

std::string SmallReport() {
    auto section = [](Bytes& b, std::string_view name, int64_t size, int index) {
        b.u8(static_cast<int>(name.size())).raw(name).raw(std::string(255 - name.size(), '\0'));
        b.i32(size).i32(index);
    };
    std::string params = "TITLE=Отчёт\r\n";
    std::string script = "begin\r\nend.\r\n";
    std::string form = SmallGridStream();
    Bytes b;
    b.i32(17).raw("Kelvo_REPORT(4.2)");
    section(b, "\xCF\xE0\xF0\xE0\xEC\xE5\xF2\xFB \xE4\xEE\xEA\xF3\xEC\xE5\xED\xF2\xE0",
            static_cast<int64_t>(params.size()), 0);
    b.raw(params);
    section(b, "\xD1\xEA\xF0\xE8\xEF\xF2", static_cast<int64_t>(script.size()), 1);
    b.raw(script);
    section(b, "\xC4\xE8\xE0\xEB\xEE\xE3\xEE\xE2\xEE\xE5 \xEE\xEA\xED\xEE", 0, 2);
    section(b, "\xC3\xF0\xF3\xEF\xEF\xFB", 2, 3);
    b.longText("EVENT_NAME=HEAD\r\n").longText("HEAD").i32(1).i32(1).i32(3).i32(2);
    b.longText("EVENT_NAME=LINE\r\n").longText("LINE").i32(1).i32(3).i32(3).i32(3);
    section(b, "\xCF\xE5\xF7\xE0\xF2\xED\xE0\xFF \xF4\xEE\xF0\xEC\xE0",
            static_cast<int64_t>(form.size()), 4);
    b.raw(form);
    return b.b;
}

}  // namespace zentra::report::testing
