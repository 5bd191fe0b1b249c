// Damaged files: every reader must fail with a clear FileFormatError, allocate nothing the bytes
// cannot justify, and leave the document it was loading into exactly as it was.
#include <gtest/gtest.h>

#include "document/grid_stream.h"
#include "document/kelvo_grid.h"
#include "document/report_file.h"
#include "test_files.h"

using namespace zentra::report;
using namespace zentra::report::testing;

namespace {

// A grid with content of its own, to see that a failed load leaves it alone.
struct Target {
    TKelvoGrid grid;
    std::string before;
    Target() {
        grid.GetCell(1, 1).SetText("keep");
        grid.GetCell(1, 1).Join(2, 2);
        grid.GetCell(0, 5).SetFontSize(20);
        before = SaveGridStream(grid);
    }
    bool unchanged() { return SaveGridStream(grid) == before && grid.CheckInvariants().empty(); }
};

// The sheet block of a stream with one font and one format, from the last column on.
Bytes headAndSizes(int lastCol = 0, int lastRow = 0) {
    Bytes b = GridHead();
    b.i32(lastCol);
    for (int c = 0; c <= lastCol; ++c)
        b.u16(0);
    b.i32(lastRow);
    for (int r = 0; r <= lastRow; ++r)
        b.u16(0);
    return b;
}

std::string withCells(int count, const std::function<void(Bytes&)>& cells) {
    Bytes b = headAndSizes();
    b.i32(count);
    cells(b);
    return GridTail(b).b;
}

std::string tablesWith(const std::function<void(Bytes&)>& tables) {
    Bytes b = headAndSizes();
    b.i32(0).defaultPageSettings();
    tables(b);
    return b.b;
}

struct Damaged {
    const char* what;
    std::string bytes;
    const char* message;  // a fragment the error must contain
};

std::vector<Damaged> damagedGrids() {
    std::vector<Damaged> v;
    auto add = [&v](const char* what, std::string bytes, const char* message) {
        v.push_back({what, std::move(bytes), message});
    };
    add("unknown magic", "\x09\0KelvoGRIX", "Файл неизвестного формата!");
    add("empty", "", "Файл неизвестного формата!");
    {
        Bytes b;
        b.shortText("KelvoGRID").f64(3).shortText("").shortText("").i32(0x7FFFFFFF);
        add("huge font count", b.b, "шрифты");
        Bytes c;
        c.shortText("KelvoGRID").f64(3).shortText("").shortText("").i32(-1);
        add("negative font count", c.b, "шрифты");
        Bytes d;
        d.shortText("KelvoGRID").f64(3).shortText("").shortText("").i32(1).u16(0xFFFF).raw("AR");
        add("font name past the end", d.b, "конец данных");
        Bytes e;
        e.shortText("KelvoGRID").f64(3).shortText("").shortText("").i32(1).shortText("A");
        e.i32(0x10000000);
        add("huge format count", e.b, "форматы");
        Bytes f;
        f.shortText("KelvoGRID").f64(3).shortText("").shortText("").i32(1).shortText("A");
        f.i32(0);
        add("no default format", f.b, "по умолчанию");
        Bytes g;
        g.shortText("KelvoGRID").f64(3).shortText("").shortText("").i32(1).shortText("A");
        g.i32(1).format(0xFFFFFF, 9, 3);
        add("format with a font index past the list", g.b, "шрифт");
    }
    {
        Bytes b = GridHead();
        b.i32(70000);
        add("last column past the sheet", b.b, "последнего столбца");
        Bytes c = GridHead();
        c.i32(-2);
        add("last column below -1", c.b, "последнего столбца");
        Bytes d = GridHead();
        d.i32(65535);
        add("widths past the end", d.b, "конец данных");
    }
    add("huge cell count", withCells(0x7FFFFFFF, [](Bytes&) {}), "ячейки");
    add("cell format index past the list",
        withCells(1, [](Bytes& b) { b.u8(1).i32(5).u16(0).u16(0); }), "формат 5");
    add("negative cell format index", withCells(1, [](Bytes& b) { b.u8(1).i32(-1).u16(0).u16(0); }),
        "формат -1");
    add("cell text past the end",
        withCells(1, [](Bytes& b) { b.u8(2).u16(0).u16(0).u16(0xFFFF).raw("ab"); }),
        "конец данных");
    add("inverted join", withCells(1, [](Bytes& b) { b.u8(4).u16(3).u16(3).u16(2).u16(5); }),
        "раньше");
    add("cell inside a join",
        withCells(2,
                  [](Bytes& b) {
                      b.u8(4).u16(0).u16(0).u16(2).u16(2);
                      b.u8(2).u16(1).u16(1).shortText("x");
                  }),
        "внутри объединения");
    add("overlapping joins",
        withCells(2,
                  [](Bytes& b) {
                      b.u8(4).u16(2).u16(0).u16(2).u16(2);  // column 2, rows 0..2
                      b.u8(4).u16(0).u16(1).u16(3).u16(1);  // row 1, columns 0..3
                  }),
        "перекрывает");
    add("duplicate cell",
        withCells(2,
                  [](Bytes& b) {
                      b.u8(2).u16(1).u16(1).shortText("a");
                      b.u8(2).u16(1).u16(1).shortText("b");
                  }),
        "порядку");
    add("cells out of order",
        withCells(2,
                  [](Bytes& b) {
                      b.u8(2).u16(1).u16(2).shortText("a");
                      b.u8(2).u16(1).u16(1).shortText("b");
                  }),
        "порядку");
    add("huge header group count", tablesWith([](Bytes& b) { b.i32(0x40000000); }),
        "группы заголовков");
    add("huge group list in a header",
        tablesWith([](Bytes& b) { b.i32(1).i32(-1).i32(0x7FFFFFF0).i32(0); }),
        "группы в заголовке");
    add("huge header cell count",
        tablesWith([](Bytes& b) { b.i32(1).i32(-1).i32(0).i32(0x20000000); }), "ячейки заголовка");
    add("huge fixed column count", tablesWith([](Bytes& b) { b.i32(0).i32(0x7FFFFFFF); }),
        "закреплённые");
    add("huge page break count", tablesWith([](Bytes& b) { b.i32(0).i32(0).i32(0x7FFFFFFF); }),
        "разрывы");
    auto objects = [](const std::function<void(Bytes&)>& obj) {
        return tablesWith([&](Bytes& b) {
            b.i32(0).i32(0).i32(0);
            obj(b);
        });
    };
    add("huge object count", objects([](Bytes& b) { b.i32(0x7FFFFFFF); }), "объекты");
    add("unknown object kind", objects([](Bytes& b) { b.i32(1).u8(2).raw(std::string(40, '\0')); }),
        "вид объекта");
    add("unknown picture kind", objects([](Bytes& b) {
            b.i32(1).u8(1).i32(0).i32(0).u16(0).i32(1).i32(1).u8(9).raw(std::string(20, '\0'));
        }),
        "вид рисунка");
    add("bitmap longer than the stream", objects([](Bytes& b) {
            b.i32(1).u8(1).i32(0).i32(0).u16(0).i32(1).i32(1).u8(1);
            b.raw("BM").i32(0x7FFFFFFF).raw(std::string(20, '\0'));
        }),
        "конец данных");
    add("bitmap without its signature", objects([](Bytes& b) {
            b.i32(1).u8(1).i32(0).i32(0).u16(0).i32(1).i32(1).u8(1).raw(std::string(30, 'x'));
        }),
        "BMP");
    add("icon directory past the end", objects([](Bytes& b) {
            b.i32(1).u8(1).i32(0).i32(0).u16(0).i32(1).i32(1).u8(2);
            b.u16(0).u16(1).u16(0xFFFF).raw(std::string(20, '\0'));
        }),
        "конец данных");
    add("metafile of no known kind", objects([](Bytes& b) {
            b.i32(1).u8(1).i32(0).i32(0).u16(0).i32(1).i32(1).u8(3).raw(std::string(60, 'z'));
        }),
        "метафайла");
    // Full-height joins side by side: a few bytes each, but more placeholders than any real
    // report needs; refused instead of allocating them.
    add("joins asking for too many placeholders",
        withCells(20,
                  [](Bytes& b) {
                      for (int c = 0; c < 20; ++c)
                          b.u8(4).u16(c).u16(0).u16(c).u16(65535);
                  }),
        "слишком большие объединения");
    return v;
}

std::vector<Damaged> damagedGrids17() {
    std::vector<Damaged> v;
    auto head = [](int fonts, int cells) {
        Bytes b;
        b.longText("FG1.7#RMX#Kelvo").i32(-1).i32(-1).i32(fonts);
        for (int i = 0; i < fonts; ++i)
            b.longText("Arial");
        b.i32(cells);
        return b;
    };
    auto cell = [](Bytes& b, int col, int row, int join, int font, int textLen,
                   std::string_view text) {
        b.u16(col).u16(row).u8(9).u8(0).i32(0).u8(0).u8(0).u8(join).u8(font);
        b.i32(0).i32(0).i32(0).u8(0).u8(0).u8(0).u16(textLen).u16(0).u8(0).raw(text);
    };
    {
        Bytes b;
        b.longText("FG1.7#RMX#Kelvo").i32(-1).i32(-1).i32(0x7FFFFFFF).longText("Arial");
        v.push_back({"1.7 huge font count", b.b, "шрифты"});
        Bytes c;
        c.longText("FG1.7#RMX#Kelvo").i32(-1).i32(-1).i32(1).i32(-7);
        v.push_back({"1.7 negative font name length", c.b, "отрицательная длина"});
        Bytes d = head(1, 0x7FFFFFFF);
        v.push_back({"1.7 huge cell count", d.b, "ячейки"});
        Bytes e = head(1, 1);
        cell(e, 0, 0, 0, 4, 0, "");
        v.push_back({"1.7 font index past the list", e.b, "шрифт 4"});
        Bytes f = head(1, 1);
        cell(f, 0, 0, 0, 0, 500, "short");
        v.push_back({"1.7 text past the end", f.b, "конец данных"});
        Bytes g = head(1, 4);
        cell(g, 0, 0, 8, 0, 0, "");      // join downwards from (0,0)
        cell(g, 1, 0, 0, 0, 1, "x");     // plain cell at (1,0)
        cell(g, 0, 1, 4 | 2, 0, 0, "");  // (0,1): below (0,0) and joined right
        cell(g, 1, 1, 1, 0, 0, "");      // (1,1): widens the join over (1,0)
        v.push_back({"1.7 join over a plain cell", g.b, "перекрываются"});
    }
    return v;
}

std::vector<Damaged> damagedReports() {
    std::vector<Damaged> v;
    auto section = [](Bytes& b, int64_t size) {
        b.u8(0).raw(std::string(255, '\0')).i32(size).i32(0);
    };
    auto current = [] {
        Bytes b;
        b.i32(17).raw("Kelvo_REPORT(4.2)");
        return b;
    };
    v.push_back({"report magic length huge", Bytes().i32(0x7FFFFFFF).raw("Kelvo").b,
                 "Файл неизвестного формата!"});
    v.push_back({"report magic wrong", Bytes().i32(17).raw("Kelvo_REPORT(4.3)").b,
                 "Файл неизвестного формата!"});
    {
        Bytes b = current();
        section(b, -5);
        v.push_back({"negative section size", b.b, "отрицательный размер"});
        Bytes c = current();
        section(c, 0x7FFFFFFF);
        v.push_back({"section size past the end", c.b, "конец данных"});
        Bytes d = current();
        section(d, 0);
        section(d, 0);
        section(d, 0);
        section(d, 0x7FFFFFFF);
        v.push_back({"huge group count", d.b, "групп"});
        Bytes e = current();
        section(e, 0);
        section(e, 0);
        section(e, 0);
        section(e, 1);
        e.i32(0x7FFFFFF0).raw(std::string(40, 'p'));
        v.push_back({"group text length past the end", e.b, "конец данных"});
        Bytes f;
        f.i32(12).raw("PD#RMX#Kelvo");
        section(f, 0);
        section(f, 0);
        section(f, 0);
        section(f, 1);
        f.longText("").longText("G").i32(0x10000000);
        v.push_back({"older group cell count huge", f.b, "ячеек группы"});
        Bytes g = current();
        section(g, 0);
        section(g, 0);
        section(g, 0);
        section(g, 0);
        section(g, 11);
        g.raw("not a grid!");
        v.push_back({"print form of unknown format", g.b, "Файл неизвестного формата!"});
    }
    return v;
}

void expectGridLoadFails(const Damaged& d) {
    Target t;
    try {
        LoadGridStream(t.grid, d.bytes);
        ADD_FAILURE() << d.what << ": loaded";
    } catch (const FileFormatError& e) {
        EXPECT_NE(std::string(e.what()).find(d.message), std::string::npos)
            << d.what << ": " << e.what();
    }
    EXPECT_TRUE(t.unchanged()) << d.what;
}

}  // namespace

TEST(DamagedInput, GridStreams) {
    for (const Damaged& d : damagedGrids())
        expectGridLoadFails(d);
}

TEST(DamagedInput, Version17Files) {
    for (const Damaged& d : damagedGrids17())
        expectGridLoadFails(d);
}

TEST(DamagedInput, ReportFiles) {
    for (const Damaged& d : damagedReports()) {
        try {
            LoadReportStream(d.bytes);
            ADD_FAILURE() << d.what << ": loaded";
        } catch (const FileFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(d.message), std::string::npos)
                << d.what << ": " << e.what();
        }
    }
}

// Every proper prefix of a current stream or report is an early end.
TEST(DamagedInput, EveryTruncationPointFails) {
    for (const std::string& full : {SmallGridStream(), SmallReport()}) {
        bool report = full == SmallReport();
        for (size_t n = 0; n < full.size(); ++n) {
            std::string cut = full.substr(0, n);
            Target t;
            if (report)
                EXPECT_THROW(LoadReportStream(cut), FileFormatError) << n;
            else
                EXPECT_THROW(LoadGridStream(t.grid, cut), FileFormatError) << n;
            ASSERT_TRUE(t.unchanged()) << n;
        }
    }
}

// A 1.7 file may legitimately end after any of its optional sections; elsewhere a cut fails.
TEST(DamagedInput, Version17TruncationLoadsOrFailsCleanly) {
    std::string full = SmallGrid17();
    size_t loaded = 0;
    for (size_t n = 0; n < full.size(); ++n) {
        Target t;
        try {
            LoadGridStream(t.grid, full.substr(0, n));
            ++loaded;
            EXPECT_EQ(t.grid.GetCell(0, 0).Text(), "Шапка") << n;
        } catch (const FileFormatError&) {
            ASSERT_TRUE(t.unchanged()) << n;
        }
    }
    EXPECT_EQ(loaded,
              4u);  // before page settings, before header groups, before breaks, before titles
}
