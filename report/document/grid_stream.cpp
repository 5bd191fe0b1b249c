#include "grid_stream.h"

#include <cmath>

#include "file_io.h"
#include "kelvo_grid.h"

namespace zentra::report {

namespace {

constexpr std::string_view kGridMagic = "KelvoGRID";
constexpr double kGridVersion = 3.0;
constexpr size_t kFormatRecordSize = 27;
constexpr size_t kMinCellRecordSize = 5;
constexpr int kProgressStep = 100;

enum : uint8_t { kCellHasFormat = 1, kCellHasText = 2, kCellHasJoin = 4, kCellHasGroup = 8 };

// Sends progress to the grid for every 100th item only.
struct ProgressReporter {
    TKelvoGrid& grid;
    std::string name;
    int total;
    ProgressReporter(TKelvoGrid& g, std::string n, int t) : grid(g), name(std::move(n)), total(t) {
        grid.Progress(name, 0, 0, total, 0);
    }
    void step(int done) {
        if (done % kProgressStep == 0) grid.Progress(name, 1, done, total, done);
    }
    ~ProgressReporter() { grid.Progress(name, 2, 0, total, total); }
};

void writeFormatList(ByteWriter& w, const TCellFormatList& list) {
    w.u32(static_cast<uint32_t>(list.Count()));
    for (size_t i = 0; i < list.Count(); ++i)
        WriteFormatRecord(w, list.At(i));
}

void writeFormatVector(ByteWriter& w, const std::vector<TCellFormat>& list) {
    w.u32(static_cast<uint32_t>(list.size()));
    for (const TCellFormat& f : list)
        WriteFormatRecord(w, f);
}

std::vector<TCellFormat> readFormatVector(ByteReader& r) {
    size_t n = r.count(kFormatRecordSize, "форматы ячеек");
    std::vector<TCellFormat> out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i)
        out.push_back(ReadFormatRecord(r));
    return out;
}

// Length of a picture stored in its own file format, read from its header and checked
// against the bytes left.
size_t pictureLength(ByteReader& r, uint8_t kind) {
    size_t start = r.position();
    size_t len = 0;
    auto need = [&](size_t n) { r.need(n); };
    switch (kind) {
        case kPictureNone:
            return 0;
        case kPictureBitmap: {
            need(14);
            std::string_view h = r.bytes(14);
            if (h[0] != 'B' || h[1] != 'M') throwDamaged("рисунок BMP без подписи \"BM\"");
            ByteReader hr(h);
            hr.seek(2);
            len = hr.u32();
            if (len < 14) throwDamaged("неверный размер рисунка BMP");
            break;
        }
        case kPictureIcon: {
            need(6);
            ByteReader hr(r.bytes(6));
            hr.u16();
            if (hr.u16() != 1) throwDamaged("значок без подписи ICO");
            size_t count = hr.u16();
            size_t dir = 6 + 16 * count;
            r.seek(start);
            need(dir);
            ByteReader dr(r.bytes(dir));
            dr.seek(6);
            len = dir;
            for (size_t i = 0; i < count; ++i) {
                dr.bytes(8);
                uint64_t size = dr.u32(), offset = dr.u32();
                len = std::max<uint64_t>(len, size + offset);
            }
            break;
        }
        case kPictureMetafile: {
            need(4);
            uint32_t key = ByteReader(r.bytes(4)).u32();
            r.seek(start);
            if (key == 0x9AC6CDD7u) {  // placeable WMF: 22-byte header, then the size in words
                need(32);
                ByteReader hr(r.bytes(32));
                hr.seek(22 + 6);
                len = 22 + static_cast<uint64_t>(hr.u32()) * 2;
            } else if (key == 1) {  // enhanced metafile: the total size sits in its header
                need(52);
                ByteReader hr(r.bytes(52));
                hr.seek(48);
                len = hr.u32();
                if (len < 52) throwDamaged("неверный размер метафайла");
            } else {
                throwDamaged("неизвестный вид метафайла");
            }
            break;
        }
        default:
            throwDamaged("неизвестный вид рисунка (" + std::to_string(kind) + ")");
    }
    r.seek(start);
    r.need(len);
    return len;
}

// The sheet's header, fixed-column and page-break tables.
void writeSheetTables(ByteWriter& w, const TKelvoGrid& g) {
    TPageSettings p = g.GetPageSettings();
    w.i32(p.PaperIndex);
    w.i32(p.Orientation);
    w.f64(p.Scale);
    w.f64(p.MarginLeft);
    w.f64(p.MarginTop);
    w.f64(p.MarginRight);
    w.f64(p.MarginBottom);
    w.u32(static_cast<uint32_t>(g.HeaderGroups().size()));
    for (const THeaderGroup& h : g.HeaderGroups()) {
        w.i32(h.FirstGroup);
        w.u32(static_cast<uint32_t>(h.Groups.size()));
        for (uint8_t b : h.Groups)
            w.u8(b);
        w.u32(static_cast<uint32_t>(h.Cells.size()));
        for (const TCellPos& c : h.Cells) {
            w.i32(c.Col);
            w.i32(c.Row);
        }
    }
    w.u32(static_cast<uint32_t>(g.FixedCols().size()));
    for (const TFixedCols& f : g.FixedCols()) {
        w.u16(f.FirstCol);
        w.u16(f.LastCol);
        w.u16(f.FirstRow);
        w.u16(f.LastRow);
    }
    w.u32(static_cast<uint32_t>(g.PageBreaks().size()));
    for (uint16_t b : g.PageBreaks())
        w.u16(b);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Records

void WriteFormatRecord(ByteWriter& w, const TCellFormat& f) {
    w.u8(f.DataFormat.empty() ? 0 : 1);
    w.u32(f.FillColor);
    w.i16(f.FontIndex);
    w.i16(f.FontSize);
    w.u8(f.FontStyle);
    w.u32(f.FontColor);
    w.u8(f.HorzAlign);
    w.u8(f.VertAlign);
    w.u32(f.Frames);
    w.u32(f.FrameColor);
    w.u8(f.Options);
    w.i16(f.Angle);
    if (!f.DataFormat.empty()) w.shortText(f.DataFormat, "формат данных");
}

TCellFormat ReadFormatRecord(ByteReader& r) {
    TCellFormat f;
    uint8_t flags = r.u8();
    f.FillColor = r.u32();
    f.FontIndex = r.i16();
    f.FontSize = r.i16();
    f.FontStyle = r.u8();
    f.FontColor = r.u32();
    f.HorzAlign = r.u8();
    f.VertAlign = r.u8();
    f.Frames = r.u32();
    f.FrameColor = r.u32();
    f.Options = r.u8();
    f.Angle = r.i16();
    if (flags & 1) f.DataFormat = r.shortText();
    return f;
}

void WriteCellRecord(ByteWriter& w, const TCellData& c) {
    if (c.GroupIndex < -1 || c.GroupIndex > 255)
        throw FileFormatError("Номер группы " + std::to_string(c.GroupIndex) + " ячейки [" +
                              std::to_string(c.Row + 1) + "," + std::to_string(c.Col + 1) +
                              "] не помещается в файл (допустимо -1..255)");
    uint8_t flags = 0;
    if (c.Format->Index != 0) flags |= kCellHasFormat;
    if (!c.Text.empty()) flags |= kCellHasText;
    if (c.IsJoined()) flags |= kCellHasJoin;
    if (c.GroupIndex != -1) flags |= kCellHasGroup;
    w.u8(flags);
    if (flags & kCellHasFormat) w.i32(c.Format->Index);
    w.u16(c.Col);
    w.u16(c.Row);
    if (flags & kCellHasText) w.shortText(c.Text, "текст ячейки");
    if (flags & kCellHasJoin) {
        w.u16(c.LastCol);
        w.u16(c.LastRow);
    }
    if (flags & kCellHasGroup) w.u8(static_cast<uint8_t>(c.GroupIndex));
}

TCellRecord ReadCellRecord(ByteReader& r) {
    TCellRecord rec;
    uint8_t flags = r.u8();
    if (flags & kCellHasFormat) rec.FormatIndex = r.i32();
    rec.Col = rec.LastCol = r.u16();
    rec.Row = rec.LastRow = r.u16();
    if (flags & kCellHasText) rec.Text = r.shortText();
    if (flags & kCellHasJoin) {
        rec.LastCol = r.u16();
        rec.LastRow = r.u16();
        if (rec.LastCol < rec.Col || rec.LastRow < rec.Row)
            throwDamaged("объединение ячейки [" + std::to_string(rec.Row) + "," +
                         std::to_string(rec.Col) + "] кончается раньше, чем начинается");
    }
    if (flags & kCellHasGroup) rec.GroupIndex = r.u8();
    return rec;
}

void PlaceLoadedCell(TKelvoGrid& g, const TCellRecord& rec, size_t& placeholders) {
    std::string at = "[" + std::to_string(rec.Row) + "," + std::to_string(rec.Col) + "]";
    if (rec.FormatIndex < 0 || static_cast<size_t>(rec.FormatIndex) >= g.Formats().Count())
        throwDamaged("ячейка " + at + " ссылается на несуществующий формат " +
                     std::to_string(rec.FormatIndex));
    if (g.FindCell(rec.Col, rec.Row))
        throwDamaged("ячейка " + at + " повторяется или лежит внутри объединения");
    if (rec.LastCol != rec.Col || rec.LastRow != rec.Row) {
        placeholders += rec.LastRow - rec.Row;
        if (placeholders > kMaxLoadedPlaceholders)
            throwDamaged("слишком большие объединения ячеек");
        for (int row = rec.Row; row <= rec.LastRow; ++row)
            for (auto& c : g.RowCells(row)) {
                if (c->Col > rec.LastCol) break;
                if (c->LastCol >= rec.Col)
                    throwDamaged("объединение ячейки " + at + " перекрывает другие ячейки");
            }
    }
    TCellData& c = g.CreateCell(rec.Col, rec.Row);
    c.Text = rec.Text;
    c.GroupIndex = rec.GroupIndex;
    g.SetFormatIndex(c, rec.FormatIndex);
    if (rec.LastCol != rec.Col || rec.LastRow != rec.Row)
        g.Join(rec.Col, rec.Row, rec.LastCol, rec.LastRow);
}

// ---------------------------------------------------------------------------------------------
// Version 3.0

std::string SaveGridStream(TKelvoGrid& g) {
    ByteWriter w;
    w.shortText(kGridMagic, "подпись");
    w.f64(kGridVersion);
    w.shortText(g.TopTitle(), "верхний колонтитул");
    w.shortText(g.BottomTitle(), "нижний колонтитул");
    w.u32(static_cast<uint32_t>(g.FontNames().Count()));
    for (const std::string& f : g.FontNames().Names())
        w.shortText(f, "имя шрифта");
    writeFormatList(w, g.Formats());
    writeFormatVector(w, g.ReservedFormats(0));
    writeFormatVector(w, g.ReservedFormats(1));
    w.u32(1);

    w.i32(g.LastCol());
    for (int c = 0; c <= g.LastCol(); ++c)
        w.u16(g.ColWidth(c));
    w.i32(g.LastRow());
    for (int r = 0; r <= g.LastRow(); ++r)
        w.u16(g.RowHeight(r));
    size_t countAt = w.size();
    w.u32(0);
    uint32_t written = 0;
    {
        ProgressReporter progress(g, ProgressSavingName(), static_cast<int>(g.CellCount()));
        int done = 0;
        const int highest = g.HighestRow();
        for (int r = 0; r <= highest; ++r)
            for (auto& c : g.RowCells(r)) {
                progress.step(++done);
                if (c->IsPlaceholder()) continue;
                bool empty = c->Text.empty() && !c->IsJoined() && c->GroupIndex == -1 &&
                             c->Format->Index == 0;
                if (empty) continue;
                WriteCellRecord(w, *c);
                ++written;
            }
    }
    w.patchU32(countAt, written);
    writeSheetTables(w, g);

    w.u32(static_cast<uint32_t>(g.Objects().size()));
    for (const TGridObjImg& o : g.Objects()) {
        w.u8(1);
        w.i32(o.Left);
        w.i32(o.Top);
        w.i16(o.Reserved);
        w.i32(o.Height);
        w.i32(o.Width);
        w.u8(o.PictureKind);
        if (o.PictureKind != kPictureNone) {
            // The picture must carry its own length, or the stream could not be read back.
            ByteReader check(o.Picture);
            if (pictureLength(check, o.PictureKind) != o.Picture.size())
                throw FileFormatError(
                    "Рисунок на листе повреждён: его размер не совпадает с заголовком");
            w.bytes(o.Picture);
        }
    }
    return w.take();
}

void ReadPageSettings(ByteReader& r, TKelvoGrid& g) {
    r.need(48);
    TPageSettings p;
    p.PaperIndex = r.i32();
    p.Orientation = r.i32();
    p.Scale = r.f64();
    p.MarginLeft = r.f64();
    p.MarginTop = r.f64();
    p.MarginRight = r.f64();
    p.MarginBottom = r.f64();
    g.SetPageSettings(p);
}

void ReadHeaderGroups(ByteReader& r, TKelvoGrid& g) {
    size_t headers = r.count(12, "группы заголовков");
    for (size_t i = 0; i < headers; ++i) {
        THeaderGroup h;
        h.FirstGroup = r.i32();
        size_t n = r.count(1, "группы в заголовке");
        std::string_view b = r.bytes(n);
        h.Groups.assign(b.begin(), b.end());
        size_t k = r.count(8, "ячейки заголовка");
        h.Cells.reserve(k);
        for (size_t j = 0; j < k; ++j) {
            TCellPos pos;
            pos.Col = r.i32();
            pos.Row = r.i32();
            h.Cells.push_back(pos);
        }
        g.HeaderGroups().push_back(std::move(h));
    }
}

void ReadFixedCols(ByteReader& r, TKelvoGrid& g) {
    size_t fixed = r.count(8, "закреплённые столбцы");
    for (size_t i = 0; i < fixed; ++i) {
        TFixedCols f;
        f.FirstCol = r.u16();
        f.LastCol = r.u16();
        f.FirstRow = r.u16();
        f.LastRow = r.u16();
        g.FixedCols().push_back(f);
    }
}

void ReadPageBreaks(ByteReader& r, TKelvoGrid& g) {
    size_t breaks = r.count(2, "разрывы страниц");
    for (size_t i = 0; i < breaks; ++i)
        g.PageBreaks().push_back(r.u16());
}

// Reads last column and widths, last row and heights.
void ReadSizes(ByteReader& r, TKelvoGrid& g) {
    int32_t lastCol = r.i32();
    if (lastCol < -1 || lastCol > kMaxGridIndex)
        throwDamaged("неверный номер последнего столбца (" + std::to_string(lastCol) + ")");
    r.need(2 * static_cast<size_t>(lastCol + 1));
    for (int c = 0; c <= lastCol; ++c)
        g.SetColWidth(c, r.u16());
    int32_t lastRow = r.i32();
    if (lastRow < -1 || lastRow > kMaxGridIndex)
        throwDamaged("неверный номер последней строки (" + std::to_string(lastRow) + ")");
    r.need(2 * static_cast<size_t>(lastRow + 1));
    for (int row = 0; row <= lastRow; ++row) {
        uint16_t h = r.u16();
        if (h != 0) g.SetRowHeight(row, h);
    }
    g.SetLastColRow(lastCol, lastRow);
}

namespace {

void loadVersion3(TKelvoGrid& g, ByteReader& r, TKelvoGrid& target) {
    double version = r.f64();
    if (!std::isfinite(version)) throwDamaged("неверный номер версии");
    std::string top = r.shortText();
    std::string bottom = r.shortText();
    g.SetTitles(std::move(top), std::move(bottom));
    size_t fontCount = r.count(2, "шрифты");
    std::vector<std::string> fonts;
    fonts.reserve(fontCount);
    for (size_t i = 0; i < fontCount; ++i)
        fonts.push_back(r.shortText());
    g.FontNames().Assign(std::move(fonts));

    std::vector<TCellFormat> formats = readFormatVector(r);
    if (formats.empty()) throwDamaged("нет формата ячеек по умолчанию");
    for (size_t i = 0; i < formats.size(); ++i)
        if (formats[i].FontIndex < 0 || static_cast<size_t>(formats[i].FontIndex) >= fontCount)
            throwDamaged("формат " + std::to_string(i) + " ссылается на несуществующий шрифт " +
                         std::to_string(formats[i].FontIndex));
    g.Formats().Assign(formats);
    g.ReservedFormats(0) = readFormatVector(r);
    g.ReservedFormats(1) = readFormatVector(r);
    r.i32();

    ReadSizes(r, g);
    size_t cells = r.count(kMinCellRecordSize, "ячейки");
    {
        ProgressReporter progress(target, ProgressLoadingName(), static_cast<int>(cells));
        size_t placeholders = 0;
        int prevRow = -1, prevCol = -1;
        for (size_t i = 0; i < cells; ++i) {
            TCellRecord rec = ReadCellRecord(r);
            if (rec.Row < prevRow || (rec.Row == prevRow && rec.Col <= prevCol))
                throwDamaged("ячейки записаны не по порядку строк и столбцов");
            prevRow = rec.Row;
            prevCol = rec.Col;
            PlaceLoadedCell(g, rec, placeholders);
            progress.step(static_cast<int>(i) + 1);
        }
    }
    ReadPageSettings(r, g);
    ReadHeaderGroups(r, g);
    ReadFixedCols(r, g);
    ReadPageBreaks(r, g);

    if (version >= 3.0) {
        size_t objects = r.count(20, "объекты");
        for (size_t i = 0; i < objects; ++i) {
            uint8_t kind = r.u8();
            if (kind != 1) throwDamaged("неизвестный вид объекта (" + std::to_string(kind) + ")");
            TGridObjImg o;
            o.Left = r.i32();
            o.Top = r.i32();
            o.Reserved = r.i16();
            o.Height = r.i32();
            o.Width = r.i32();
            o.PictureKind = r.u8();
            o.Picture = std::string(r.bytes(pictureLength(r, o.PictureKind)));
            g.Objects().push_back(std::move(o));
        }
    }
}

}  // namespace

void LoadGridStream(TKelvoGrid& grid, std::string_view bytes) {
    TKelvoGrid fresh;
    ByteReader r(bytes);
    bool current = false;
    if (r.remaining() >= 2 + kGridMagic.size()) {
        ByteReader probe(bytes);
        current = probe.u16() == kGridMagic.size() && probe.bytes(kGridMagic.size()) == kGridMagic;
    }
    if (current) {
        r.seek(2 + kGridMagic.size());
        loadVersion3(fresh, r, grid);
    } else if (LooksLikeGrid17(bytes)) {
        ImportGrid17(fresh, bytes, grid);
    } else {
        throw FileFormatError(kUnknownFormatMessage);
    }
    std::string problem = fresh.CheckInvariants();
    if (!problem.empty()) throwDamaged("нарушена структура листа (" + problem + ")");
    grid.SwapContent(fresh);
    grid.Changed();
}

void SaveGridFile(TKelvoGrid& grid, const std::filesystem::path& path) {
    WriteFileAtomic(path, SaveGridStream(grid));
}

void LoadGridFile(TKelvoGrid& grid, const std::filesystem::path& path) {
    LoadGridStream(grid, ReadWholeFile(path));
}

}  // namespace zentra::report
