#include "cell_ref.h"

#include <cassert>

namespace zentra::report {

// Bijective base-26 letters; for columns below 702 this gives the familiar one- and two-letter
// names, and it keeps producing letters for the columns after "ZZ".
std::string ColumnName(int col) {
    assert(col >= 0 && col <= kMaxGridIndex);
    std::string name;
    int n = col + 1;
    while (n > 0) {
        int digit = (n - 1) % 26;
        name.insert(name.begin(), static_cast<char>('A' + digit));
        n = (n - 1) / 26;
    }
    return name;
}

// Scans letters then digits, computing the column number directly from the letters instead of
// comparing against every column name.
std::optional<TCellRefParts> ParseCellRef(std::string_view ref) {
    TCellRefParts parts;
    size_t i = 0;
    if (i < ref.size() && ref[i] == '$') {
        parts.AbsCol = true;
        ++i;
    }
    long col = 0;
    size_t letters = 0;
    for (; i < ref.size(); ++i) {
        char c = ref[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z') break;
        col = col * 26 + (c - 'A' + 1);
        if (col > kMaxGridIndex + 1) return std::nullopt;
        ++letters;
    }
    if (letters == 0) return std::nullopt;
    if (i < ref.size() && ref[i] == '$') {
        parts.AbsRow = true;
        ++i;
    }
    long row = 0;
    size_t digits = 0;
    for (; i < ref.size(); ++i) {
        char c = ref[i];
        if (c < '0' || c > '9') return std::nullopt;  // letters after digits, "$" or anything else
        row = row * 10 + (c - '0');
        if (row > kMaxGridIndex) return std::nullopt;
        ++digits;
    }
    if (digits == 0 || row < 1 || row > kMaxGridIndex - 1) return std::nullopt;
    parts.Col = static_cast<int>(col - 1);
    parts.Row = static_cast<int>(row);
    return parts;
}

}  // namespace zentra::report
