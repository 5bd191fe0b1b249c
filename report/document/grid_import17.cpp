// Import of the version 1.7 print grid file. Its cells carry their attributes inline and mark
// joins cell by cell with neighbour flags, which are turned back into join rectangles here.
#include <algorithm>

#include "grid_stream.h"
#include "kelvo_grid.h"

namespace zentra::report {

namespace {

constexpr std::string_view kMagic17 = "FG1.7#RMX#Kelvo";
constexpr size_t kCell17Size = 34;

enum : uint8_t { kJoinLeft = 1, kJoinRight = 2, kJoinUp = 4, kJoinDown = 8, kJoinAny = 15 };

struct JoinCell {
    uint16_t Col, Row, LastCol, LastRow;
};

}  // namespace

// The long-text magic at the start.
bool LooksLikeGrid17(std::string_view bytes) {
    ByteReader r(bytes);
    if (r.remaining() < 4 + kMagic17.size()) return false;
    return r.u32() == kMagic17.size() && r.bytes(kMagic17.size()) == kMagic17;
}

void ImportGrid17(TKelvoGrid& g, std::string_view bytes, TKelvoGrid& progressTarget) {
    ByteReader r(bytes);
    r.seek(4 + kMagic17.size());
    ReadSizes(r, g);
    size_t fontCount = r.count(4, "шрифты");
    if (fontCount > 32767)
        throwDamaged("слишком много шрифтов (" + std::to_string(fontCount) + ")");
    std::vector<std::string> fonts;
    fonts.reserve(fontCount);
    for (size_t i = 0; i < fontCount; ++i) {
        fonts.push_back(r.longText());
        if (fonts.back().size() > 65535) throwDamaged("слишком длинное имя шрифта");
    }
    std::vector<int> fontIndex;  // imported font -> index in the grid's list
    for (const std::string& f : fonts)
        fontIndex.push_back(g.FontNames().IndexOf(f));

    size_t cells = r.count(kCell17Size, "ячейки");
    std::vector<JoinCell> joins;
    {
        TKelvoGrid& t = progressTarget;
        std::string name = ProgressImportName();
        t.Progress(name, 0, 0, static_cast<int>(cells), 0);
        struct End {
            TKelvoGrid& t;
            std::string& n;
            int total;
            ~End() { t.Progress(n, 2, 0, total, total); }
        } end{t, name, static_cast<int>(cells)};
        for (size_t i = 0; i < cells; ++i) {
            if ((i + 1) % 100 == 0)
                t.Progress(name, 1, static_cast<int>(i + 1), static_cast<int>(cells),
                           static_cast<int>(i + 1));
            uint16_t col = r.u16(), row = r.u16();
            uint8_t fontSize = r.u8(), fontStyle = r.u8();
            uint32_t frames = r.u32();
            uint8_t vAlign = r.u8(), hAlign = r.u8(), joinFlags = r.u8(), font = r.u8();
            uint32_t fill = r.u32(), fontColor = r.u32(), frameColor = r.u32();
            uint8_t group = r.u8();
            r.u8();
            int8_t angle = r.i8();
            uint16_t textLen = r.u16(), formatLen = r.u16();
            uint8_t options = r.u8();
            std::string text(r.bytes(textLen));
            std::string dataFormat(r.bytes(formatLen));

            bool continuation = (joinFlags & (kJoinLeft | kJoinUp)) ||
                                ((joinFlags & kJoinAny) == 0 && joinFlags != 0);
            if (continuation) {
                // Part of an earlier join: widen the first join that holds the neighbour.
                for (JoinCell& j : joins) {
                    auto holds = [&j](int c, int rr) {
                        return c >= j.Col && c <= j.LastCol && rr >= j.Row && rr <= j.LastRow;
                    };
                    if (((joinFlags & kJoinLeft) && holds(col - 1, row)) ||
                        ((joinFlags & kJoinUp) && holds(col, row - 1))) {
                        j.LastCol = std::max(j.LastCol, col);
                        j.LastRow = std::max(j.LastRow, row);
                        break;
                    }
                }
                continue;
            }
            if (font >= fontIndex.size())
                throwDamaged("ячейка [" + std::to_string(row) + "," + std::to_string(col) +
                             "] ссылается на несуществующий шрифт " + std::to_string(font));
            if (g.FindCell(col, row))
                throwDamaged("ячейка [" + std::to_string(row) + "," + std::to_string(col) +
                             "] повторяется");
            TCellFormat f;
            f.FontSize = fontSize;
            f.FontStyle = fontStyle;
            f.Frames = frames;
            if (vAlign <= 2) f.VertAlign = vAlign;
            if (hAlign <= 2) f.HorzAlign = hAlign;
            f.FontIndex = static_cast<int16_t>(fontIndex[font]);
            f.FillColor = fill;
            f.FontColor = fontColor;
            f.FrameColor = frameColor;
            f.Angle = angle;
            f.Options = options;
            f.DataFormat = std::move(dataFormat);
            TCellFormat* same = g.Formats().FindEqual(f, nullptr);
            TCellFormat& target = same ? *same : g.Formats().Append(f);

            TCellData& c = g.CreateCell(col, row);
            c.Text = std::move(text);
            c.GroupIndex = group;
            g.SetFormatIndex(c, target.Index);
            if (joinFlags != 0) joins.push_back({col, row, col, row});
        }
    }
    // Join rectangles may not overlap one another or cover other cells.
    size_t placeholders = 0;
    for (const JoinCell& j : joins) {
        placeholders += j.LastRow - j.Row;
        if (placeholders > kMaxLoadedPlaceholders)
            throwDamaged("слишком большие объединения ячеек");
    }
    for (const JoinCell& j : joins) {
        if (j.LastCol == j.Col && j.LastRow == j.Row) continue;
        for (int row = j.Row; row <= j.LastRow; ++row) {
            const auto& cells = g.RowCells(row);
            auto it = std::lower_bound(cells.begin(), cells.end(), int(j.Col) - 0,
                                       [](const auto& c, int v) { return c->LastCol < v; });
            for (; it != cells.end() && (*it)->Col <= j.LastCol; ++it)
                if (!((*it)->Col == j.Col && (*it)->Row == j.Row))
                    throwDamaged("объединения ячеек перекрываются");
        }
        g.Join(j.Col, j.Row, j.LastCol, j.LastRow);
    }

    if (!r.atEnd()) ReadPageSettings(r, g);
    if (!r.atEnd()) {
        ReadHeaderGroups(r, g);
        ReadFixedCols(r, g);
    }
    if (!r.atEnd()) ReadPageBreaks(r, g);
    if (!r.atEnd()) {
        std::string top = r.longText();
        std::string bottom = r.longText();
        if (top.size() > 65535 || bottom.size() > 65535) throwDamaged("слишком длинный колонтитул");
        g.SetTitles(std::move(top), std::move(bottom));
    }
}

}  // namespace zentra::report
