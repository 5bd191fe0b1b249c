#include "clipboard.h"

#include <algorithm>
#include <set>
#include <vector>

#include "binary_io.h"
#include "grid_stream.h"
#include "kelvo_grid.h"

namespace zentra::report {

namespace {

// Smallest entry: the fixed attribute part, an empty data format, two sizes, a bare cell record.
constexpr size_t kMinEntrySize = 20 + 2 + 8 + 5;

struct Entry {
    uint8_t VertAlign = 0, HorzAlign = 0, Options = 0;
    uint32_t FillColor = 0, FrameColor = 0, Frames = 0;
    int16_t Angle = 0;
    std::string DataFormat;
    int32_t Width = 0, Height = 0;
    TCellRecord Cell;
};

[[noreturn]] void badBlock(const std::string& what) {
    throw FileFormatError("Данные в буфере обмена повреждены: " + what);
}

}  // namespace

std::string CopySelection(TKelvoGrid& grid, uint32_t sourceWindow, bool cut) {
    std::vector<TCellPos> positions;
    std::set<std::pair<int, int>> seen;
    for (const TCellPos& p : grid.GetSelectedCells()) {
        if (p.Col > kMaxGridIndex || p.Row > kMaxGridIndex) continue;
        if (!seen.insert({p.Row, p.Col}).second) continue;
        TCellData* c = grid.FindCell(p.Col, p.Row);
        if (c && (c->Col != p.Col || c->Row != p.Row)) continue;  // covered by a join
        positions.push_back(p);
    }
    ByteWriter w;
    int32_t firstCol = 0, firstRow = 0;
    if (!positions.empty()) {
        firstCol = positions[0].Col;
        firstRow = positions[0].Row;
        for (const TCellPos& p : positions) {
            firstCol = std::min(firstCol, p.Col);
            firstRow = std::min(firstRow, p.Row);
        }
    }
    w.u32(static_cast<uint32_t>(positions.size()));
    w.u32(sourceWindow);
    w.i32(firstCol);
    w.i32(firstRow);
    for (const TCellPos& p : positions) {
        TCellData empty;
        empty.Col = empty.LastCol = static_cast<uint16_t>(p.Col);
        empty.Row = empty.LastRow = static_cast<uint16_t>(p.Row);
        empty.Format = &grid.Formats().Default();
        const TCellData* c = grid.StoredCell(p.Col, p.Row);
        if (!c) c = &empty;
        const TCellFormat& f = *c->Format;
        w.u8(f.VertAlign);
        w.u8(f.HorzAlign);
        w.u16(0);
        w.u32(f.FillColor);
        w.u32(f.FrameColor);
        w.u32(f.Frames);
        w.u8(f.Options);
        w.u8(0);
        w.i16(f.Angle);
        w.shortText(f.DataFormat, "формат данных");
        w.i32(grid.DrawnColWidth(p.Col));
        w.i32(grid.DrawnRowHeight(p.Row));
        WriteCellRecord(w, *c);
    }
    if (cut)
        for (const TCellPos& p : positions)
            grid.GetCell(p.Col, p.Row).Reset();
    return w.take();
}

void PasteBlock(TKelvoGrid& grid, std::string_view block, uint32_t ownWindow) {
    ByteReader r(block);
    size_t count = r.count(kMinEntrySize, "записи буфера обмена");
    uint32_t source = r.u32();
    int64_t firstCol = r.i32(), firstRow = r.i32();
    const bool sameGrid = source == ownWindow;
    std::vector<Entry> entries;
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        Entry e;
        e.VertAlign = r.u8();
        e.HorzAlign = r.u8();
        r.u16();
        e.FillColor = r.u32();
        e.FrameColor = r.u32();
        e.Frames = r.u32();
        e.Options = r.u8();
        r.u8();
        e.Angle = r.i16();
        e.DataFormat = r.shortText();
        e.Width = r.i32();
        e.Height = r.i32();
        e.Cell = ReadCellRecord(r);
        if (e.Width < 0 || e.Width > 65535 || e.Height < 0 || e.Height > 65535)
            badBlock("неверный размер столбца или строки");
        if (sameGrid && (e.Cell.FormatIndex < 0 ||
                         static_cast<size_t>(e.Cell.FormatIndex) >= grid.Formats().Count()))
            badBlock("несуществующий формат " + std::to_string(e.Cell.FormatIndex));
        int64_t dc = int64_t(grid.ActiveCol) - firstCol, dr = int64_t(grid.ActiveRow) - firstRow;
        int64_t tc = e.Cell.Col + dc, tr = e.Cell.Row + dr;
        int64_t lc = e.Cell.LastCol + dc, lr = e.Cell.LastRow + dr;
        if (tc < 0 || tr < 0 || lc > kMaxGridIndex || lr > kMaxGridIndex)
            throw FileFormatError("Вставляемые ячейки не помещаются на лист");
        e.Cell.Col = static_cast<uint16_t>(tc);
        e.Cell.Row = static_cast<uint16_t>(tr);
        e.Cell.LastCol = static_cast<uint16_t>(lc);
        e.Cell.LastRow = static_cast<uint16_t>(lr);
        entries.push_back(std::move(e));
    }
    if (!r.atEnd()) badBlock("лишние байты после записей");

    for (const Entry& e : entries) {
        const int col = e.Cell.Col, row = e.Cell.Row;
        if (TCellData* cover = grid.FindCell(col, row);
            cover && (cover->Col != col || cover->Row != row))
            grid.Unjoin(cover->Col, cover->Row);
        grid.DeleteCell(col, row);
        TCellData& c = grid.CreateCell(col, row);
        c.Text = e.Cell.Text;
        c.GroupIndex = e.Cell.GroupIndex;
        if (sameGrid) {
            grid.SetFormatIndex(c, e.Cell.FormatIndex);
        } else {
            grid.SetFormatProperty(c, EFormatKind::VertAlign, e.VertAlign);
            grid.SetFormatProperty(c, EFormatKind::HorzAlign, e.HorzAlign);
            grid.SetFormatProperty(c, EFormatKind::FillColor, e.FillColor);
            grid.SetFormatProperty(c, EFormatKind::FrameColor, e.FrameColor);
            grid.SetFormatProperty(c, EFormatKind::Frames, e.Frames);
            grid.SetFormatProperty(c, EFormatKind::Options, e.Options);
            grid.SetFormatProperty(c, EFormatKind::Angle, e.Angle);
            grid.SetFormatProperty(c, EFormatKind::DataFormat, e.DataFormat);
        }
        if (e.Cell.LastCol != col || e.Cell.LastRow != row)
            grid.Join(col, row, e.Cell.LastCol, e.Cell.LastRow);
        grid.SetColWidth(col, e.Width);
        grid.SetRowHeight(row, e.Height);
    }
    grid.Changed();
}

}  // namespace zentra::report
