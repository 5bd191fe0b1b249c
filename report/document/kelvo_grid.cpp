#include "kelvo_grid.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <stdexcept>

#include "text/cp1251.h"
#include "text_measurer.h"

namespace zentra::report {

namespace {

constexpr size_t kSheetSize = kMaxGridIndex + 1;
const std::string kEmptyText;

// A position must lie on the sheet.
void checkPos(int col, int row) {
    if (col < 0 || col > kMaxGridIndex || row < 0 || row > kMaxGridIndex)
        throw std::out_of_range("Позиция [" + std::to_string(row) + "," + std::to_string(col) +
                                "] вне листа (0..65535)");
}

// Sizes are 16-bit on the sheet and in the files.
uint16_t checkSize(int v) {
    if (v < 0 || v > 65535)
        throw std::out_of_range("Размер " + std::to_string(v) + " вне диапазона 0..65535");
    return static_cast<uint16_t>(v);
}

// Texts go to files with a 16-bit length; refuse what could never be saved.
void checkShortText(std::string_view text, const char* what) {
    if (text.size() > 65535)
        throw std::length_error(std::string(what) + ": текст длиннее 65535 байт (" +
                                std::to_string(text.size()) + ")");
}

// Binary search of a row for a column: the first cell whose Col is not below it.
template <class RowT>
auto lowerCol(RowT& row, int col) {
    return std::lower_bound(row.begin(), row.end(), col,
                            [](const auto& c, int v) { return c->Col < v; });
}

}  // namespace

std::string ProgressLoadingName() {
    return text::utf8ToCp1251("Загрузка ...");
}
std::string ProgressSavingName() {
    return text::utf8ToCp1251("Сохранение ...");
}
std::string ProgressImportName() {
    return text::utf8ToCp1251("Импорт из V 1.7 ...");
}

// Everything a load replaces and SwapContent exchanges.
struct TKelvoGrid::Content {
    std::vector<Row> rows;  // grows to the highest used row + 1
    size_t cellCount = 0;
    TCellFormatList formats;
    std::vector<TCellFormat> reserved[2]{{TCellFormat{}}, {TCellFormat{}}};
    bool mayHaveUnused = false;  // formats with no user may sit in the list
    TFontList fonts;
    std::vector<uint16_t> widths = std::vector<uint16_t>(kSheetSize, 0);
    std::vector<uint16_t> heights = std::vector<uint16_t>(kSheetSize, 0);
    int lastCol = -1, lastRow = -1;
    std::vector<THeaderGroup> headerGroups;
    std::vector<TFixedCols> fixedCols;
    std::vector<uint16_t> pageBreaks;
    std::vector<TGridObjImg> objects;
    TPageSettings page;
    std::string topTitle, bottomTitle;
    std::vector<std::string> catalogue;
};

// A new grid: one font, one default format, no cells, the default data format catalogue.
TKelvoGrid::TKelvoGrid() : c_(std::make_unique<Content>()) {
    for (const char* line :
         {"Числовой=0.00", "Денежный=# ##0.00р.", "Денежный (показывать суммы <> 0)=#,##0.00;; ",
          "Процентный=0.00%", "Дата=dd.mm.yyyy", "День прописью=dddd", "Месяц прописью=mmmm",
          "Текстовый=255"})
        c_->catalogue.push_back(text::utf8ToCp1251(line));
}

TKelvoGrid::~TKelvoGrid() = default;

// ---------------------------------------------------------------------------------------------
// Cell handle

TCellHandle::TCellHandle(TKelvoGrid& grid, int col, int row)
    : grid_(&grid), col_(static_cast<uint16_t>(col)), row_(static_cast<uint16_t>(row)) {
    checkPos(col, row);
}

// The stored cell at the handle's own position.
TCellData* TCellHandle::Stored() const {
    return grid_->StoredCell(col_, row_);
}

const std::string& TCellHandle::Text() const {
    auto c = Stored();
    return c ? c->Text : kEmptyText;
}
int16_t TCellHandle::GroupIndex() const {
    auto c = Stored();
    return c ? c->GroupIndex : int16_t(-1);
}
int TCellHandle::LastCol() const {
    auto c = Stored();
    return c ? c->LastCol : col_;
}
int TCellHandle::LastRow() const {
    auto c = Stored();
    return c ? c->LastRow : row_;
}
bool TCellHandle::IsJoined() const {
    auto c = Stored();
    return c && c->IsJoined();
}
// Empty: no text, not joined, no group, default format.
bool TCellHandle::IsEmpty() const {
    auto c = Stored();
    return !c ||
           (c->Text.empty() && !c->IsJoined() && c->GroupIndex == -1 && c->Format->Index == 0);
}
const TCellFormat& TCellHandle::Format() const {
    auto c = Stored();
    return c ? *c->Format : grid_->Formats().At(0);
}
int TCellHandle::FormatIndex() const {
    return Format().Index;
}
std::string TCellHandle::FontName() const {
    return grid_->FontNames().NameOf(Format().FontIndex);
}

// Writers create the cell at the handle's position on their first change. A position that a
// join covers belongs to the join's master and cannot get a cell of its own.
TCellData& TCellHandle::Materialise() {
    if (auto c = Stored(); c && !c->IsPlaceholder()) return *c;
    TCellData* cover = grid_->FindCell(col_, row_);
    if (cover && (cover->Col != col_ || cover->Row != row_))
        throw std::logic_error("Ячейка [" + std::to_string(row_ + 1) + "," + ColumnName(col_) +
                               "] закрыта объединением ячеек");
    TCellData& c = grid_->CreateCell(col_, row_);
    return c;
}

void TCellHandle::SetText(std::string_view text) {
    checkShortText(text, "Текст ячейки");
    Materialise().Text.assign(text);
    grid_->Changed();
}
void TCellHandle::SetGroupIndex(int16_t value) {
    Materialise().GroupIndex = value;
    grid_->Changed();
}
void TCellHandle::SetFormatIndex(int index) {
    grid_->SetFormatIndex(Materialise(), index);
    grid_->Changed();
}
#define ZENTRA_FORMAT_SETTER(Name, Kind, Type)                         \
    void TCellHandle::Set##Name(Type v) {                              \
        grid_->SetFormatProperty(Materialise(), EFormatKind::Kind, v); \
        grid_->Changed();                                              \
    }
ZENTRA_FORMAT_SETTER(FillColor, FillColor, TColor)
ZENTRA_FORMAT_SETTER(FontName, FontName, std::string_view)
ZENTRA_FORMAT_SETTER(FontSize, FontSize, int)
ZENTRA_FORMAT_SETTER(FontStyle, FontStyle, uint8_t)
ZENTRA_FORMAT_SETTER(FontColor, FontColor, TColor)
ZENTRA_FORMAT_SETTER(HorzAlign, HorzAlign, uint8_t)
ZENTRA_FORMAT_SETTER(VertAlign, VertAlign, uint8_t)
ZENTRA_FORMAT_SETTER(Frames, Frames, uint32_t)
ZENTRA_FORMAT_SETTER(FrameColor, FrameColor, TColor)
ZENTRA_FORMAT_SETTER(Options, Options, uint8_t)
ZENTRA_FORMAT_SETTER(Angle, Angle, int)
ZENTRA_FORMAT_SETTER(DataFormat, DataFormat, std::string_view)
#undef ZENTRA_FORMAT_SETTER

void TCellHandle::SetRowHeight(int height) {
    grid_->SetRowHeight(row_, height);
}
void TCellHandle::SetColWidth(int width) {
    grid_->SetColWidth(col_, width);
}

// Sum of the drawn heights of the rows the cell covers.
int TCellHandle::Height() const {
    int h = 0;
    for (int r = row_; r <= LastRow(); ++r)
        h += grid_->DrawnRowHeight(r);
    return h;
}

// Sum of the drawn widths of the columns the cell covers.
int TCellHandle::Width() const {
    int w = 0;
    for (int c = col_; c <= LastCol(); ++c)
        w += grid_->DrawnColWidth(c);
    return w;
}

// Counts the lines one source line takes when broken at spaces to fit `width`.
static int wrappedLineCount(std::string_view line, int width, ITextMeasurer& m,
                            const TFontSpec& font) {
    if (line.empty()) return 1;
    int count = 0;
    size_t pos = 0;
    while (pos < line.size()) {
        size_t end = pos, lastSpace = std::string_view::npos;
        while (end < line.size() && m.TextWidth(font, line.substr(pos, end - pos + 1)) <= width) {
            if (line[end] == ' ') lastSpace = end;
            ++end;
        }
        ++count;
        if (end == line.size()) break;
        if (line[end] == ' ') {  // the fitting part ends at a word boundary
            pos = end;
            while (pos < line.size() && line[pos] == ' ')
                ++pos;
        } else if (lastSpace != std::string_view::npos && lastSpace > pos) {
            pos = lastSpace + 1;
            while (pos < line.size() && line[pos] == ' ')
                ++pos;
        } else {
            pos = std::max(end, pos + 1);  // a word wider than the cell breaks between bytes
        }
    }
    return count;
}

// Lines after wrapping times the height of one line, plus 3.
int TCellHandle::TextHeight(ITextMeasurer& measurer) const {
    std::string_view text = Text();
    size_t b = 0;
    while (b < text.size() && static_cast<unsigned char>(text[b]) <= ' ')
        ++b;
    text.remove_prefix(b);
    if (text.empty()) return 0;
    const TCellFormat& f = Format();
    TFontSpec font{FontName(), f.FontSize, f.FontStyle};
    bool wrap = (f.Options & kOptWordWrap) && f.Angle == 0;
    int width = Width();
    int lines = 0;
    size_t start = 0;
    while (true) {
        size_t brk = text.find_first_of("\r\n", start);
        std::string_view line =
            text.substr(start, brk == std::string_view::npos ? text.npos : brk - start);
        lines += wrap ? wrappedLineCount(line, width, measurer, font) : 1;
        if (brk == std::string_view::npos) break;
        start = brk + 1;
        if (text[brk] == '\r' && start < text.size() && text[start] == '\n') ++start;
        if (start == text.size()) break;  // a final line break opens no new line
    }
    return lines * measurer.LineHeight(font) + 3;
}

void TCellHandle::Join(int lastCol, int lastRow) {
    grid_->Join(col_, row_, lastCol, lastRow);
}

void TCellHandle::Unjoin() {
    if (Stored() && !Stored()->IsPlaceholder()) grid_->Unjoin(col_, row_);
}

// Back to empty: no text, no group, default format, no join.
void TCellHandle::Reset() {
    TCellData* c = Stored();
    if (!c || c->IsPlaceholder()) return;
    grid_->Unjoin(col_, row_);
    c->Text.clear();
    c->GroupIndex = -1;
    grid_->SetFormatIndex(*c, 0);
    grid_->Changed();
}

// ---------------------------------------------------------------------------------------------
// Cell store

TCellHandle TKelvoGrid::GetCell(int col, int row) {
    checkPos(col, row);
    if (TCellData* c = FindCell(col, row)) return TCellHandle(*this, c->Col, c->Row);
    return TCellHandle(*this, col, row);
}

std::optional<TCellHandle> TKelvoGrid::CellByRef(std::string_view ref) {
    auto parts = ParseCellRef(ref);
    if (!parts) return std::nullopt;
    return GetCell(parts->Col, parts->Row - 1);
}

// The row's list, growing the row table as far as that row.
TKelvoGrid::Row& TKelvoGrid::RowAt(int row) {
    assert(row >= 0 && row <= kMaxGridIndex);
    if (static_cast<size_t>(row) >= c_->rows.size()) c_->rows.resize(static_cast<size_t>(row) + 1);
    return c_->rows[static_cast<size_t>(row)];
}

TCellData* TKelvoGrid::StoredCell(int col, int row) const {
    if (row < 0 || col < 0 || static_cast<size_t>(row) >= c_->rows.size()) return nullptr;
    const Row& r = c_->rows[static_cast<size_t>(row)];
    auto it = lowerCol(r, col);
    return it != r.end() && (*it)->Col == col ? it->get() : nullptr;
}

// The stored cell at the column, or else the nearest cell to its left whose join reaches it.
TCellData* TKelvoGrid::FindCell(int col, int row) const {
    if (row < 0 || col < 0 || static_cast<size_t>(row) >= c_->rows.size()) return nullptr;
    const Row& r = c_->rows[static_cast<size_t>(row)];
    auto it =
        std::upper_bound(r.begin(), r.end(), col, [](int v, const auto& c) { return v < c->Col; });
    if (it == r.begin()) return nullptr;
    TCellData* c = std::prev(it)->get();
    if (c->Col != col && c->LastCol < col) return nullptr;
    return c->Master ? c->Master : c;
}

TCellData& TKelvoGrid::CreateCell(int col, int row) {
    checkPos(col, row);
    Row& r = RowAt(row);
    auto it = lowerCol(r, col);
    if (it != r.end() && (*it)->Col == col) return **it;
    auto cell = std::make_unique<TCellData>();
    cell->Col = cell->LastCol = static_cast<uint16_t>(col);
    cell->Row = cell->LastRow = static_cast<uint16_t>(row);
    Attach(*cell, c_->formats.Default());
    TCellData& ref = **r.insert(it, std::move(cell));
    ++c_->cellCount;
    c_->lastCol = std::max(c_->lastCol, col);
    c_->lastRow = std::max(c_->lastRow, row);
    return ref;
}

// Unlinks and frees one stored cell, whatever it is; callers keep joins consistent.
void TKelvoGrid::FreeStored(int col, int row) {
    if (static_cast<size_t>(row) >= c_->rows.size()) return;
    Row& r = c_->rows[static_cast<size_t>(row)];
    auto it = lowerCol(r, col);
    if (it == r.end() || (*it)->Col != col) return;
    Detach(**it);
    r.erase(it);
    --c_->cellCount;
}

void TKelvoGrid::DeleteCell(int col, int row) {
    TCellData* c = StoredCell(col, row);
    if (!c || c->IsPlaceholder()) return;
    if (c->IsJoined()) UnjoinMaster(*c);
    FreeStored(col, row);
    Changed();
}

size_t TKelvoGrid::CellCount() const {
    return c_->cellCount;
}

int TKelvoGrid::HighestRow() const {
    for (size_t r = c_->rows.size(); r-- > 0;)
        if (!c_->rows[r].empty()) return static_cast<int>(r);
    return -1;
}

const std::vector<std::unique_ptr<TCellData>>& TKelvoGrid::RowCells(int row) const {
    static const Row kNone;
    if (row < 0 || static_cast<size_t>(row) >= c_->rows.size()) return kNone;
    return c_->rows[static_cast<size_t>(row)];
}

// ---------------------------------------------------------------------------------------------
// Formats

TCellFormatList& TKelvoGrid::Formats() {
    return c_->formats;
}
const TCellFormatList& TKelvoGrid::Formats() const {
    return c_->formats;
}
std::vector<TCellFormat>& TKelvoGrid::ReservedFormats(int which) {
    return c_->reserved[which & 1];
}
const std::vector<TCellFormat>& TKelvoGrid::ReservedFormats(int which) const {
    return c_->reserved[which & 1];
}
TFontList& TKelvoGrid::FontNames() {
    return c_->fonts;
}
const TFontList& TKelvoGrid::FontNames() const {
    return c_->fonts;
}

void TKelvoGrid::Attach(TCellData& cell, TCellFormat& f) {
    assert(cell.Format == nullptr);
    ++f.RefCount;
    cell.Format = &f;
}

void TKelvoGrid::Detach(TCellData& cell) {
    assert(cell.Format && cell.Format->RefCount > 0);
    if (--cell.Format->RefCount == 0 && cell.Format->Index != 0) c_->mayHaveUnused = true;
    cell.Format = nullptr;
}

// The copy-on-write step shared by every attribute: a change that makes the format equal to
// another moves the cell there; a format used by this cell alone (and not the default) changes
// in place; otherwise the cell moves to a changed copy. Unused formats then leave the list.
void TKelvoGrid::ChangeFormat(TCellData& cell, const std::function<void(TCellFormat&)>& write) {
    TCellFormat* f = cell.Format;
    assert(f);
    TCellFormat changed;
    changed.CopyAttributes(*f);
    write(changed);
    TCellFormat* equal = c_->formats.FindEqual(changed, f);
    if (!equal && f->RefCount == 1 && f->Index != 0) {
        TCellFormat old;
        old.CopyAttributes(*f);
        write(*f);
        c_->formats.Rehash(*f, old);
    } else {
        // Detached by hand: F is the one format this change can leave unused, so it is removed
        // directly instead of sweeping the whole list.
        --f->RefCount;
        cell.Format = nullptr;
        Attach(cell, equal ? *equal : c_->formats.Append(changed));
        if (f->RefCount == 0 && f->Index != 0) c_->formats.Remove(*f);
    }
    if (c_->mayHaveUnused) {
        c_->formats.RemoveUnused();
        c_->mayHaveUnused = false;
    }
}

void TKelvoGrid::SetFormatProperty(TCellData& cell, EFormatKind kind, int64_t v) {
    switch (kind) {
        case EFormatKind::FillColor:
            return ChangeFormat(cell, [v](TCellFormat& f) { f.FillColor = TColor(v); });
        case EFormatKind::FontSize:
            return ChangeFormat(cell, [v](TCellFormat& f) { f.FontSize = int16_t(v); });
        case EFormatKind::FontStyle:
            return ChangeFormat(cell, [v](TCellFormat& f) { f.FontStyle = uint8_t(v); });
        case EFormatKind::FontColor:
            return ChangeFormat(cell, [v](TCellFormat& f) { f.FontColor = TColor(v); });
        case EFormatKind::HorzAlign:
            return ChangeFormat(cell, [v](TCellFormat& f) { f.HorzAlign = uint8_t(v); });
        case EFormatKind::VertAlign:
            return ChangeFormat(cell, [v](TCellFormat& f) { f.VertAlign = uint8_t(v); });
        case EFormatKind::Frames:
            return ChangeFormat(cell, [v](TCellFormat& f) { f.Frames = uint32_t(v); });
        case EFormatKind::FrameColor:
            return ChangeFormat(cell, [v](TCellFormat& f) { f.FrameColor = TColor(v); });
        case EFormatKind::Options:
            return ChangeFormat(cell, [v](TCellFormat& f) { f.Options = uint8_t(v); });
        case EFormatKind::Angle:
            return ChangeFormat(cell, [v](TCellFormat& f) { f.Angle = int16_t(v); });
        case EFormatKind::FontName:
        case EFormatKind::DataFormat:
            break;
    }
    throw std::invalid_argument("SetFormatProperty: вид свойства требует текстового значения");
}

void TKelvoGrid::SetFormatProperty(TCellData& cell, EFormatKind kind, std::string_view text) {
    if (kind == EFormatKind::FontName) {
        int index = c_->fonts.IndexOf(text);
        return ChangeFormat(cell, [index](TCellFormat& f) { f.FontIndex = int16_t(index); });
    }
    if (kind == EFormatKind::DataFormat) {
        checkShortText(text, "Формат данных");
        std::string value(text);
        return ChangeFormat(cell, [&value](TCellFormat& f) { f.DataFormat = value; });
    }
    throw std::invalid_argument("SetFormatProperty: вид свойства требует числового значения");
}

void TKelvoGrid::SetFormatIndex(TCellData& cell, int index) {
    if (index < 0 || static_cast<size_t>(index) >= c_->formats.Count())
        throw std::out_of_range("Нет формата ячейки с номером " + std::to_string(index));
    TCellFormat& target = c_->formats.At(static_cast<size_t>(index));
    if (cell.Format == &target) return;
    Detach(cell);
    Attach(cell, target);
}

void TKelvoGrid::CopyFormatsFrom(const TKelvoGrid& source) {
    assert(c_->formats.Count() == 1 && "formats are copied into a grid without formats");
    c_->formats.CopyFrom(source.c_->formats);
    c_->mayHaveUnused = c_->formats.Count() > 1;
}

// ---------------------------------------------------------------------------------------------
// Sizes

uint16_t TKelvoGrid::ColWidth(int col) const {
    checkPos(col, 0);
    return c_->widths[static_cast<size_t>(col)];
}
uint16_t TKelvoGrid::RowHeight(int row) const {
    checkPos(0, row);
    return c_->heights[static_cast<size_t>(row)];
}
int TKelvoGrid::DrawnColWidth(int col) const {
    uint16_t w = ColWidth(col);
    return w == 0 ? kDefaultColWidth : w;
}
int TKelvoGrid::DrawnRowHeight(int row) const {
    uint16_t h = RowHeight(row);
    return h == 0 ? kDefaultRowHeight : h;
}

void TKelvoGrid::SetColWidth(int col, int width) {
    checkPos(col, 0);
    c_->widths[static_cast<size_t>(col)] = checkSize(width);
    c_->lastCol = std::max(c_->lastCol, col);
}

// The last row is raised to the row plus one, but never past the sheet's last row.
void TKelvoGrid::SetRowHeight(int row, int height) {
    checkPos(0, row);
    c_->heights[static_cast<size_t>(row)] = checkSize(height);
    if (row > c_->lastRow) c_->lastRow = std::min(row + 1, kMaxGridIndex);
}

int TKelvoGrid::LastCol() const {
    return c_->lastCol;
}
int TKelvoGrid::LastRow() const {
    return c_->lastRow;
}

void TKelvoGrid::SetLastColRow(int lastCol, int lastRow) {
    assert(lastCol >= -1 && lastCol <= kMaxGridIndex && lastRow >= -1 && lastRow <= kMaxGridIndex);
    c_->lastCol = lastCol;
    c_->lastRow = lastRow;
}

std::pair<int, int> TKelvoGrid::CellOrigin(int col, int row, double scale) const {
    checkPos(col, row);
    double x = 0, y = 0;
    for (int c = 0; c < col; ++c)
        x += (DrawnColWidth(c) - 1) * scale;
    for (int r = 0; r < row; ++r)
        y += (DrawnRowHeight(r) - 1) * scale;
    return {static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
}

// ---------------------------------------------------------------------------------------------
// Joins

void TKelvoGrid::UnjoinMaster(TCellData& m) {
    assert(!m.IsPlaceholder());
    const int col = m.Col, row = m.Row, lastCol = m.LastCol, lastRow = m.LastRow;
    for (int r = row; r <= lastRow; ++r) {
        if (static_cast<size_t>(r) >= c_->rows.size()) break;
        Row& cells = c_->rows[static_cast<size_t>(r)];
        auto it = lowerCol(cells, col);
        while (it != cells.end() && (*it)->Col <= lastCol) {
            if (it->get() == &m) {
                ++it;
                continue;
            }
            Detach(**it);
            it = cells.erase(it);
            --c_->cellCount;
        }
    }
    m.LastCol = m.Col;
    m.LastRow = m.Row;
}

void TKelvoGrid::Unjoin(int col, int row) {
    TCellData* m = StoredCell(col, row);
    if (!m || m->IsPlaceholder()) return;
    UnjoinMaster(*m);
    Changed();
}

void TKelvoGrid::Join(int col, int row, int lastCol, int lastRow) {
    checkPos(col, row);
    checkPos(lastCol, lastRow);
    if (lastCol < col || lastRow < row)
        throw std::invalid_argument("Объединение: последняя ячейка левее или выше первой");
    // Undo every join that overlaps the rectangle: each keeps a stored cell in its first column
    // on every row it covers, so scanning the rectangle's rows finds them all.
    std::vector<TCellData*> masters;
    for (int r = row; r <= lastRow && static_cast<size_t>(r) < c_->rows.size(); ++r) {
        for (auto& c : c_->rows[static_cast<size_t>(r)]) {
            if (c->Col > lastCol) break;
            if (c->IsJoined() && c->LastCol >= col) {
                TCellData* m = c->Master ? c->Master : c.get();
                if (std::find(masters.begin(), masters.end(), m) == masters.end())
                    masters.push_back(m);
            }
        }
    }
    for (TCellData* m : masters)
        UnjoinMaster(*m);
    TCellData& master = CreateCell(col, row);
    for (int r = row; r <= lastRow && static_cast<size_t>(r) < c_->rows.size(); ++r) {
        Row& cells = c_->rows[static_cast<size_t>(r)];
        auto it = lowerCol(cells, col);
        while (it != cells.end() && (*it)->Col <= lastCol) {
            if (it->get() == &master) {
                ++it;
                continue;
            }
            Detach(**it);
            it = cells.erase(it);
            --c_->cellCount;
        }
    }
    master.LastCol = static_cast<uint16_t>(lastCol);
    master.LastRow = static_cast<uint16_t>(lastRow);
    for (int r = row + 1; r <= lastRow; ++r) {
        TCellData& p = CreateCell(col, r);
        p.Master = &master;
        p.LastCol = master.LastCol;
        p.LastRow = master.LastRow;
    }
    Changed();
}

// ---------------------------------------------------------------------------------------------
// Rows and columns

void TKelvoGrid::InsertRow(int row) {
    checkPos(0, row);
    if (HighestRow() == kMaxGridIndex || c_->lastRow == kMaxGridIndex)
        throw std::out_of_range("Нельзя вставить строку: последняя строка листа (65536) занята");
    // Joins that span the new row from above grow over it.
    const size_t above = std::min(static_cast<size_t>(row), c_->rows.size());
    for (size_t r = 0; r < above; ++r)
        for (auto& c : c_->rows[r])
            if (c->LastRow >= row) ++c->LastRow;
    if (static_cast<size_t>(row) < c_->rows.size()) {
        c_->rows.insert(c_->rows.begin() + row, Row{});
        for (size_t r = static_cast<size_t>(row) + 1; r < c_->rows.size(); ++r)
            for (auto& c : c_->rows[r]) {
                ++c->Row;
                ++c->LastRow;
            }
        for (size_t r = 0; r < above; ++r)
            for (auto& c : c_->rows[r])
                if (!c->IsPlaceholder() && c->LastRow >= row) {
                    TCellData& p = CreateCell(c->Col, row);
                    p.Master = c.get();
                    p.LastCol = c->LastCol;
                    p.LastRow = c->LastRow;
                }
    }
    auto& h = c_->heights;
    std::move_backward(h.begin() + row, h.end() - 1, h.end());
    h[static_cast<size_t>(row)] = 0;
    if (c_->lastRow >= row) ++c_->lastRow;
    for (auto& b : c_->pageBreaks)
        if (b >= row) ++b;
    Changed();
}

void TKelvoGrid::DeleteRow(int row) {
    checkPos(0, row);
    if (static_cast<size_t>(row) < c_->rows.size()) {
        // Masters in the row are unjoined before they are freed; placeholders in the row only
        // shorten the join of their master above.
        std::vector<int> cols;
        for (auto& c : c_->rows[static_cast<size_t>(row)])
            if (!c->IsPlaceholder()) cols.push_back(c->Col);
        for (int col : cols) {
            TCellData* m = StoredCell(col, row);
            if (m->IsJoined()) UnjoinMaster(*m);
        }
        for (size_t r = 0; r < static_cast<size_t>(row); ++r)
            for (auto& c : c_->rows[r])
                if (c->LastRow >= row) --c->LastRow;
        while (!c_->rows[static_cast<size_t>(row)].empty()) {
            Detach(*c_->rows[static_cast<size_t>(row)].back());
            c_->rows[static_cast<size_t>(row)].pop_back();
            --c_->cellCount;
        }
        c_->rows.erase(c_->rows.begin() + row);
        for (size_t r = static_cast<size_t>(row); r < c_->rows.size(); ++r)
            for (auto& c : c_->rows[r]) {
                --c->Row;
                --c->LastRow;
            }
    }
    auto& h = c_->heights;
    std::move(h.begin() + row + 1, h.end(), h.begin() + row);
    h.back() = 0;
    if (c_->lastRow >= row) --c_->lastRow;
    auto& pb = c_->pageBreaks;
    pb.erase(std::remove(pb.begin(), pb.end(), static_cast<uint16_t>(row)), pb.end());
    for (auto& b : pb)
        if (b > row) --b;
    Changed();
}

void TKelvoGrid::InsertCol(int col) {
    checkPos(col, 0);
    bool full = c_->lastCol == kMaxGridIndex;
    for (auto& r : c_->rows)
        if (!r.empty() && r.back()->LastCol == kMaxGridIndex) full = true;
    if (full) throw std::out_of_range("Нельзя вставить столбец: последний столбец листа занят");
    // Cells at or right of the column move; joins reaching it from the left grow.
    for (auto& r : c_->rows)
        for (auto& c : r) {
            if (c->Col >= col) {
                ++c->Col;
                ++c->LastCol;
            } else if (c->LastCol >= col) {
                ++c->LastCol;
            }
        }
    auto& w = c_->widths;
    std::move_backward(w.begin() + col, w.end() - 1, w.end());
    w[static_cast<size_t>(col)] = 0;
    if (c_->lastCol >= col) ++c_->lastCol;
    Changed();
}

void TKelvoGrid::DeleteCol(int col) {
    checkPos(col, 0);
    // Cells in the column: masters unjoined, then freed (their placeholders sit in the same
    // column and go with the unjoin).
    for (size_t r = 0; r < c_->rows.size(); ++r) {
        TCellData* c = StoredCell(col, static_cast<int>(r));
        if (!c || c->IsPlaceholder()) continue;
        if (c->IsJoined()) UnjoinMaster(*c);
        FreeStored(col, static_cast<int>(r));
    }
    for (auto& r : c_->rows)
        for (auto& c : r) {
            assert(c->Col != col);
            if (c->Col > col) {
                --c->Col;
                --c->LastCol;
            } else if (c->LastCol >= col) {
                --c->LastCol;
            }
        }
    auto& w = c_->widths;
    std::move(w.begin() + col + 1, w.end(), w.begin() + col);
    w.back() = 0;
    if (c_->lastCol >= col) --c_->lastCol;
    Changed();
}

// ---------------------------------------------------------------------------------------------
// Whole sheet

// Empties the sheet; fonts, titles, page settings and the catalogue stay.
void TKelvoGrid::Clear() {
    c_->rows.clear();
    c_->cellCount = 0;
    c_->formats.Reset();
    c_->reserved[0] = {TCellFormat{}};
    c_->reserved[1] = {TCellFormat{}};
    c_->mayHaveUnused = false;
    std::fill(c_->widths.begin(), c_->widths.end(), 0);
    std::fill(c_->heights.begin(), c_->heights.end(), 0);
    c_->lastCol = c_->lastRow = -1;
    c_->headerGroups.clear();
    c_->fixedCols.clear();
    c_->pageBreaks.clear();
    c_->objects.clear();
    ActiveCol = ActiveRow = 0;
    SelStart = SelEnd = {};
    SelectedBlocks.clear();
    SelExtending = SelRows = SelCols = false;
}

void TKelvoGrid::SwapContent(TKelvoGrid& other) {
    std::swap(c_, other.c_);
    std::swap(ActiveCol, other.ActiveCol);
    std::swap(ActiveRow, other.ActiveRow);
    std::swap(SelStart, other.SelStart);
    std::swap(SelEnd, other.SelEnd);
    std::swap(SelectedBlocks, other.SelectedBlocks);
}

std::vector<std::vector<int16_t>> TKelvoGrid::BuildGroupInRows() const {
    std::vector<std::vector<int16_t>> out(c_->rows.size());
    for (size_t r = 0; r < c_->rows.size(); ++r)
        for (auto& c : c_->rows[r])
            if (std::find(out[r].begin(), out[r].end(), c->GroupIndex) == out[r].end())
                out[r].push_back(c->GroupIndex);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Selection

ESelectionKind TKelvoGrid::SelectionKind() const {
    if (SelRows) return ESelectionKind::Rows;
    if (SelCols) return ESelectionKind::Columns;
    if (SelExtending) return ESelectionKind::Block;
    return ESelectionKind::SingleCell;
}

static TBlock normalised(TCellPos a, TCellPos b) {
    return {std::min(a.Col, b.Col), std::min(a.Row, b.Row), std::max(a.Col, b.Col),
            std::max(a.Row, b.Row)};
}

TSelectedCells TKelvoGrid::GetSelectedCells() const {
    TSelectedCells out;
    auto walk = [&out](TBlock b) {
        for (int32_t r = std::max(b.Top, 0); r <= b.Bottom; ++r)
            for (int32_t c = std::max(b.Left, 0); c <= b.Right; ++c)
                out.push_back({c, r});
    };
    walk(normalised(SelStart, SelEnd));
    for (const TBlock& b : SelectedBlocks)
        walk(normalised({b.Left, b.Top}, {b.Right, b.Bottom}));
    return out;
}

std::vector<TBlock> TKelvoGrid::GetSelectedBlocks() const {
    std::vector<TBlock> out;
    for (const TBlock& b : SelectedBlocks)
        out.push_back(normalised({b.Left, b.Top}, {b.Right, b.Bottom}));
    out.push_back(normalised(SelStart, SelEnd));
    return out;
}

TBlock TKelvoGrid::GetSelectionRect() const {
    TBlock b = normalised(SelStart, SelEnd);
    return {b.Left + 1, b.Top + 1, b.Right + 1, b.Bottom + 1};
}

// ---------------------------------------------------------------------------------------------
// Tables, titles, page settings

std::vector<THeaderGroup>& TKelvoGrid::HeaderGroups() {
    return c_->headerGroups;
}
const std::vector<THeaderGroup>& TKelvoGrid::HeaderGroups() const {
    return c_->headerGroups;
}
std::vector<TFixedCols>& TKelvoGrid::FixedCols() {
    return c_->fixedCols;
}
const std::vector<TFixedCols>& TKelvoGrid::FixedCols() const {
    return c_->fixedCols;
}
std::vector<uint16_t>& TKelvoGrid::PageBreaks() {
    return c_->pageBreaks;
}
const std::vector<uint16_t>& TKelvoGrid::PageBreaks() const {
    return c_->pageBreaks;
}
std::vector<TGridObjImg>& TKelvoGrid::Objects() {
    return c_->objects;
}
const std::vector<TGridObjImg>& TKelvoGrid::Objects() const {
    return c_->objects;
}
TPageSettings TKelvoGrid::GetPageSettings() const {
    return c_->page;
}
void TKelvoGrid::SetPageSettings(const TPageSettings& s) {
    c_->page = s;
}
const std::string& TKelvoGrid::TopTitle() const {
    return c_->topTitle;
}
const std::string& TKelvoGrid::BottomTitle() const {
    return c_->bottomTitle;
}
void TKelvoGrid::SetTitles(std::string top, std::string bottom) {
    checkShortText(top, "Верхний колонтитул");
    checkShortText(bottom, "Нижний колонтитул");
    c_->topTitle = std::move(top);
    c_->bottomTitle = std::move(bottom);
}
std::vector<std::string>& TKelvoGrid::DataFormatCatalogue() {
    return c_->catalogue;
}

// ---------------------------------------------------------------------------------------------
// Invariants

std::string TKelvoGrid::CheckInvariants() const {
    size_t count = 0;
    std::vector<int32_t> refs(c_->formats.Count(), 0);
    for (size_t i = 0; i < c_->formats.Count(); ++i)
        if (c_->formats.At(i).Index != static_cast<int>(i)) return "format index out of step";
    for (size_t r = 0; r < c_->rows.size(); ++r) {
        const Row& row = c_->rows[r];
        for (size_t i = 0; i < row.size(); ++i) {
            const TCellData& c = *row[i];
            ++count;
            std::string at = "cell [" + std::to_string(c.Col) + "," + std::to_string(r) + "] ";
            if (c.Row != r) return at + "has wrong Row";
            if (i > 0 && row[i - 1]->Col >= c.Col) return at + "out of column order";
            if (i > 0 && row[i - 1]->LastCol >= c.Col) return at + "overlaps a join on its left";
            if (!c.Format || c.Format->Index < 0 ||
                static_cast<size_t>(c.Format->Index) >= refs.size() ||
                &c_->formats.At(static_cast<size_t>(c.Format->Index)) != c.Format)
                return at + "has a format outside the list";
            ++refs[static_cast<size_t>(c.Format->Index)];
            if (c.LastCol < c.Col || c.LastRow < c.Row) return at + "has an inverted join";
            if (c.Master) {
                const TCellData& m = *c.Master;
                if (StoredCell(m.Col, m.Row) != &m) return at + "has a master that is not stored";
                if (m.Col != c.Col || m.Row >= c.Row || m.LastRow < c.Row ||
                    m.LastCol != c.LastCol || m.LastRow != c.LastRow)
                    return at + "disagrees with its master";
            } else {
                for (int pr = c.Row + 1; pr <= c.LastRow; ++pr) {
                    TCellData* p = StoredCell(c.Col, pr);
                    if (!p || p->Master != &c) return at + "misses a placeholder";
                }
            }
        }
    }
    if (count != c_->cellCount) return "cell count out of step";
    for (size_t i = 0; i < refs.size(); ++i)
        if (refs[i] != c_->formats.At(i).RefCount) return "RefCount of format " + std::to_string(i);
    return {};
}

}  // namespace zentra::report
