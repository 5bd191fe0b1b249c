// Column names and cell references ("B7", "$C$12") of the print grid.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zentra::report {

// Highest column or row index of the sheet (positions are 16-bit).
inline constexpr int kMaxGridIndex = 65535;

// Letters of a 0-based column: "A".."Z", "AA".."ZZ", then "AAA" and on, as far as column 65535.
std::string ColumnName(int col);

// The parts of a parsed reference: 0-based column, 1-based row as written, and the "$" marks.
struct TCellRefParts {
    int Col = 0;
    int Row = 0;
    bool AbsCol = false;
    bool AbsRow = false;
    bool operator==(const TCellRefParts&) const = default;
};

// Parses "letters digits" with optional "$" before either part; case is ignored. Rows lie in
// 1..65534. Answers nothing for any other text.
std::optional<TCellRefParts> ParseCellRef(std::string_view ref);

}  // namespace zentra::report
