// The grid's geometry as plain arithmetic: title band, rows that fit, where columns sit, which
// column is first on screen, fitting widths to the control, and the status-line texts. The
// widget only measures fonts and calls these, so all of it is tested without a window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zentra::grid {

// Behaviour switches, in the bit order the options are stored in (bit 0 first).
enum class GridOption : uint32_t {
    Title,
    Indicator,
    StatusLine,
    ColLines,
    RowLines,
    RowSelect,
    Delete,
    Insert,
    ResizeRow,
    ResizeCol,
    MoveCol,
    MultiSelect,
    ConfirmDelete,  // kept for stored settings; deletion always asks
    PostAfterInsert,
    ColumnColorInSelCell,
    Print,
    CalcSum,
    FitToWidth,
    StayOnTop,
    EditOnEnter,
    AutoSearching,
    NotInternalSetSQL,  // kept for stored settings; nothing depends on it
    EditColumnProp,
};

class GridOptions {
  public:
    constexpr GridOptions() = default;
    constexpr explicit GridOptions(uint32_t bits) : bits_(bits) {}
    static GridOptions defaults();

    constexpr bool has(GridOption o) const { return bits_ & bit(o); }
    constexpr GridOptions& set(GridOption o, bool on = true) {
        bits_ = on ? (bits_ | bit(o)) : (bits_ & ~bit(o));
        return *this;
    }
    constexpr uint32_t bits() const { return bits_; }
    constexpr bool operator==(const GridOptions&) const = default;

  private:
    static constexpr uint32_t bit(GridOption o) { return 1u << static_cast<uint32_t>(o); }
    uint32_t bits_ = 0;
};

inline constexpr int kIndicatorWidth = 12;
inline constexpr int kMinTitleHeight = 20;
inline constexpr int kMinRowHeight = 12;
inline constexpr int kDefaultRowHeight = 18;
inline constexpr int kDefaultColumnWidth = 60;

// One visible column's title: number of caption lines and the text height ("Wy") of its font.
struct TitleMetrics {
    int lines = 1;
    int textHeight = 13;
};

// Height of the column titles: at least 20, else the tallest caption (lines × (text + 4) + 2).
int titleBandHeight(bool showTitles, bool hasColumns, const std::vector<TitleMetrics>& visible);
// The caption line above the titles ("Wy" height + 8), shown only together with the titles.
int captionLineHeight(bool showTitles, bool titleVisible, int textHeight);
int statusAreaHeight(bool statusLine, bool sumShown, int rowHeight);

// Rows of the data area. `fit` is how many whole rows fit (0 when none: nothing is painted);
// `buffer` is what the data link keeps and is never below one.
struct RowFit {
    int fit = 0;
    int buffer = 1;
};
RowFit visibleRows(int controlHeight, int headerHeight, int statusHeight, int hScrollHeight,
                   int rowHeight);

struct ColumnGeom {
    int width = kDefaultColumnWidth;
    bool visible = true;
};

// A column as placed on screen; `left` is its border pixel, shared with the column before,
// `right` its last pixel (left + width − 1), shared with the next.
struct PlacedColumn {
    int index = -1;
    int left = 0;
    int right = 0;
};

// Lays out the visible columns from `first` on, starting at `dataLeft`, while their left edge
// lies inside `controlWidth`. The last entry is the last column that fits.
std::vector<PlacedColumn> placeColumns(const std::vector<ColumnGeom>& cols, int first, int dataLeft,
                                       int controlWidth);

// The column a move to `index` lands on: clamped, then the next visible one to the right (the
// old one when there is none) or the previous visible one to the left.
int landingColumn(const std::vector<ColumnGeom>& cols, int current, int index);

// The first displayed column after making `current` visible. A column left of the first
// displayed one becomes the first displayed; one beyond the right edge scrolls columns away.
int scrollColumnIntoView(const std::vector<ColumnGeom>& cols, int first, int current,
                         int controlWidth);

// Widths scaled so that the visible columns fill `controlWidth`; columns below `fromIndex`
// keep theirs (-1: all are scaled).
std::vector<int> fitWidths(const std::vector<ColumnGeom>& cols, int fromIndex, int indicatorWidth,
                           int vScrollWidth, int controlWidth);

// The top row of the view that keeps `current` on screen with as little movement as possible.
int followCursor(int top, int current, int rows, int rowCount);
// The top row after a search moved to `found`: a record already on screen stays put; otherwise
// it comes to rest in the middle of the view.
int centreOn(int top, int found, int rows, int rowCount);

// Status-line texts (UTF-8).
std::string columnResizeStatus(const std::string& caption, int width, bool hidden);
std::string rowResizeStatus(int height);
std::string columnMoveStatus(const std::string& caption);
std::string recordCountStatus(int count);

}  // namespace zentra::grid
