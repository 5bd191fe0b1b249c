// The print grid model: a sheet of 65536 x 65536 positions whose stored cells hold text, a
// shared format, a data group index and an optional join. Pure C++; the view, paging and
// exports build on it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cell_format.h"
#include "cell_ref.h"
#include "grid_types.h"

namespace zentra::report {

class ITextMeasurer;
class TKelvoGrid;

// Default drawn sizes for a stored size of 0; a stored size of 1 marks a hidden column or row.
inline constexpr int kDefaultColWidth = 70;
inline constexpr int kDefaultRowHeight = 18;
inline constexpr uint16_t kHiddenSize = 1;

// One stored cell. Join placeholders (one per further row of a join, in the master's column)
// carry Master; every other cell has Master null. Format is never null while the cell exists.
struct TCellData {
    TCellData* Master = nullptr;
    TCellFormat* Format = nullptr;
    uint16_t Row = 0, Col = 0, LastRow = 0, LastCol = 0;
    std::string Text;  // cp1251
    int16_t GroupIndex = -1;

    bool IsJoined() const { return LastCol != Col || LastRow != Row; }
    bool IsPlaceholder() const { return Master != nullptr; }
};

// A cell handle bound to one position. Reading through it never creates a cell; the first write
// creates exactly one cell at its position. Answered by TKelvoGrid::GetCell.
class TCellHandle {
  public:
    TCellHandle(TKelvoGrid& grid, int col, int row);

    int Col() const { return col_; }
    int Row() const { return row_; }
    // The stored cell at the position, or null.
    TCellData* Stored() const;

    const std::string& Text() const;
    int16_t GroupIndex() const;
    int LastCol() const;
    int LastRow() const;
    bool IsJoined() const;
    bool IsEmpty() const;
    const TCellFormat& Format() const;
    int FormatIndex() const;
    TColor FillColor() const { return Format().FillColor; }
    std::string FontName() const;
    int FontSize() const { return Format().FontSize; }
    uint8_t FontStyle() const { return Format().FontStyle; }
    TColor FontColor() const { return Format().FontColor; }
    uint8_t HorzAlign() const { return Format().HorzAlign; }
    uint8_t VertAlign() const { return Format().VertAlign; }
    uint32_t Frames() const { return Format().Frames; }
    TColor FrameColor() const { return Format().FrameColor; }
    uint8_t Options() const { return Format().Options; }
    int Angle() const { return Format().Angle; }
    const std::string& DataFormat() const { return Format().DataFormat; }

    void SetText(std::string_view text);
    void SetGroupIndex(int16_t value);
    void SetFormatIndex(int index);
    void SetFillColor(TColor v);
    void SetFontName(std::string_view name);
    void SetFontSize(int v);
    void SetFontStyle(uint8_t v);
    void SetFontColor(TColor v);
    void SetHorzAlign(uint8_t v);
    void SetVertAlign(uint8_t v);
    void SetFrames(uint32_t v);
    void SetFrameColor(TColor v);
    void SetOptions(uint8_t v);
    void SetAngle(int v);
    void SetDataFormat(std::string_view v);

    void SetRowHeight(int height);
    void SetColWidth(int width);
    // Drawn height of the row (sum over the rows of a join), at 100 % zoom.
    int Height() const;
    // Drawn width of the column (sum over the columns of a join), at 100 % zoom.
    int Width() const;
    // Height the text needs: wrapped lines x line height + 3; 0 for a blank text.
    int TextHeight(ITextMeasurer& measurer) const;

    void Join(int lastCol, int lastRow);
    void Unjoin();
    void Reset();

  private:
    TCellData& Materialise();
    TKelvoGrid* grid_;
    uint16_t col_, row_;
};

// Progress of long work: state 0 start (max = item count), 1 during (min = items done), 2 end.
using TOnProgress =
    std::function<void(std::string_view name, int state, int min, int max, int position)>;

class TKelvoGrid {
  public:
    TKelvoGrid();
    ~TKelvoGrid();
    TKelvoGrid(const TKelvoGrid&) = delete;
    TKelvoGrid& operator=(const TKelvoGrid&) = delete;

    // --- cells ---
    // The cell at the position (a join's master for every position the join covers).
    TCellHandle GetCell(int col, int row);
    TCellHandle GetActiveCell() { return GetCell(ActiveCol, ActiveRow); }
    // The handle of a reference such as "$B$7"; none when it does not parse.
    std::optional<TCellHandle> CellByRef(std::string_view ref);
    // The stored cell at exactly this position (a placeholder too), creating one if none.
    TCellData& CreateCell(int col, int row);
    // The stored cell at exactly this position, or null.
    TCellData* StoredCell(int col, int row) const;
    // The stored cell covering the position, placeholders answered by their master, or null.
    TCellData* FindCell(int col, int row) const;
    // Frees the stored cell at the position; a master is unjoined first, a placeholder (part of
    // a join whose master is elsewhere) is left alone.
    void DeleteCell(int col, int row);
    size_t CellCount() const;
    // Highest row that holds a stored cell, -1 when none.
    int HighestRow() const;
    // Stored cells of a row, ordered by column.
    const std::vector<std::unique_ptr<TCellData>>& RowCells(int row) const;

    // --- formats and fonts ---
    TCellFormatList& Formats();
    const TCellFormatList& Formats() const;
    std::vector<TCellFormat>& ReservedFormats(int which);  // which: 0 or 1
    const std::vector<TCellFormat>& ReservedFormats(int which) const;
    TFontList& FontNames();
    const TFontList& FontNames() const;
    // Changes one attribute of a stored cell, keeping formats shared and de-duplicated.
    void SetFormatProperty(TCellData& cell, EFormatKind kind, int64_t value);
    void SetFormatProperty(TCellData& cell, EFormatKind kind, std::string_view text);
    // Detaches the cell from its format and attaches it to the format at index.
    void SetFormatIndex(TCellData& cell, int index);
    // Gives this grid (holding only its default format) the formats of another.
    void CopyFormatsFrom(const TKelvoGrid& source);

    // --- sizes ---
    uint16_t ColWidth(int col) const;   // stored value (0 default, 1 hidden)
    uint16_t RowHeight(int row) const;  // stored value
    int DrawnColWidth(int col) const;
    int DrawnRowHeight(int row) const;
    void SetColWidth(int col, int width);
    void SetRowHeight(int row, int height);
    int LastCol() const;
    int LastRow() const;
    // Used by the readers: the stored extent as written in a file.
    void SetLastColRow(int lastCol, int lastRow);
    // Pixel offset of the cell's top-left corner; neighbours share their grid line.
    std::pair<int, int> CellOrigin(int col, int row, double scale = 1.0) const;

    // --- joins ---
    // Joins the rectangle (col,row)..(lastCol,lastRow) on its top-left cell; joins overlapping
    // it are undone first and the other cells inside are removed.
    void Join(int col, int row, int lastCol, int lastRow);
    // Removes everything inside the join of the stored master at (col,row) but the master.
    void Unjoin(int col, int row);

    // --- rows and columns ---
    // Shifts rows row.. down by one; a join spanning the row grows. Refused when the last row
    // of the sheet is in use.
    void InsertRow(int row);
    // Frees the row's cells (masters unjoined first), shifts later rows up; joins shrink.
    void DeleteRow(int row);
    void InsertCol(int col);
    void DeleteCol(int col);

    // --- whole sheet ---
    void Clear();
    // Exchanges the whole document with another grid; handlers stay with their grid.
    void SwapContent(TKelvoGrid& other);
    // For each row, the distinct group indexes of its cells (built on demand for paging).
    std::vector<std::vector<int16_t>> BuildGroupInRows() const;

    // --- selection ---
    int ActiveCol = 0, ActiveRow = 0;
    TCellPos SelStart, SelEnd;           // corners of the selection rectangle, any order
    std::vector<TBlock> SelectedBlocks;  // further selected rectangles
    bool SelExtending = false, SelRows = false, SelCols = false;
    ESelectionKind SelectionKind() const;
    TSelectedCells GetSelectedCells() const;
    std::vector<TBlock> GetSelectedBlocks() const;
    TBlock GetSelectionRect() const;  // 1-based

    // --- document tables, page settings, titles, objects ---
    std::vector<THeaderGroup>& HeaderGroups();
    const std::vector<THeaderGroup>& HeaderGroups() const;
    std::vector<TFixedCols>& FixedCols();
    const std::vector<TFixedCols>& FixedCols() const;
    std::vector<uint16_t>& PageBreaks();
    const std::vector<uint16_t>& PageBreaks() const;
    std::vector<TGridObjImg>& Objects();
    const std::vector<TGridObjImg>& Objects() const;
    TPageSettings GetPageSettings() const;
    void SetPageSettings(const TPageSettings& s);
    const std::string& TopTitle() const;
    const std::string& BottomTitle() const;
    void SetTitles(std::string top, std::string bottom);
    std::vector<std::string>& DataFormatCatalogue();

    // --- events ---
    std::function<void()> OnChange;
    TOnProgress OnProgress;
    void Changed() {
        if (OnChange) OnChange();
    }
    void Progress(std::string_view name, int state, int min, int max, int position) {
        if (OnProgress) OnProgress(name, state, min, max, position);
    }

    // Checks the structural invariants (joins, placeholders, formats); for tests and debugging.
    // Answers an empty text when sound, else what is wrong.
    std::string CheckInvariants() const;

  private:
    struct Content;
    using Row = std::vector<std::unique_ptr<TCellData>>;
    Row& RowAt(int row);
    void Attach(TCellData& cell, TCellFormat& f);
    void Detach(TCellData& cell);
    void ChangeFormat(TCellData& cell, const std::function<void(TCellFormat&)>& write);
    void FreeStored(int col, int row);
    void UnjoinMaster(TCellData& master);
    std::unique_ptr<Content> c_;
};

// Texts the grid reports through OnProgress (cp1251).
std::string ProgressLoadingName();
std::string ProgressSavingName();
std::string ProgressImportName();

}  // namespace zentra::report
