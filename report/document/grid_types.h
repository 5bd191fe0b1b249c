// Plain records the print grid keeps beside its cells: page settings, the document tables that
// the document engine fills, floating pictures and selection rectangles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zentra::report {

// The 48-byte page settings record, stored byte for byte.
struct TPageSettings {
    int32_t PaperIndex = 7;
    int32_t Orientation = 0;  // 0 portrait, 1 landscape
    double Scale = 100;       // percent
    double MarginLeft = 2, MarginTop = 2.5, MarginRight = 2, MarginBottom = 2.5;  // centimetres
    bool operator==(const TPageSettings&) const = default;
};

// A (column, row) pair as the selection and the header tables keep it.
struct TCellPos {
    int32_t Col = 0;
    int32_t Row = 0;
    bool operator==(const TCellPos&) const = default;
};
using TSelectedCells = std::vector<TCellPos>;

// A normalised rectangle of positions (inclusive).
struct TBlock {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TBlock&) const = default;
};

// One collected page header: its first data group, the groups named on commit and its cells.
struct THeaderGroup {
    int32_t FirstGroup = -1;
    std::vector<uint8_t> Groups;
    TSelectedCells Cells;
    bool operator==(const THeaderGroup&) const = default;
};

// Columns repeated on every page, over a range of rows.
struct TFixedCols {
    uint16_t FirstCol = 0, LastCol = 0, FirstRow = 0, LastRow = 0;
    bool operator==(const TFixedCols&) const = default;
};

// Picture kinds of a floating object; the picture is kept in its own file format.
enum : uint8_t { kPictureNone = 0, kPictureBitmap = 1, kPictureIcon = 2, kPictureMetafile = 3 };

// A floating picture over the sheet; positions and sizes in pixels at 100 % zoom.
struct TGridObjImg {
    int32_t Left = 0, Top = 0;
    int16_t Reserved = 0;  // kept and copied, used by nothing
    int32_t Height = 0, Width = 0;
    uint8_t PictureKind = kPictureNone;
    std::string Picture;  // BMP, ICO, EMF or placeable WMF file bytes
    bool operator==(const TGridObjImg&) const = default;
};

// Selection kinds answered by the grid.
enum class ESelectionKind { SingleCell = 0, Rows = 2, Columns = 3, Block = 4 };

}  // namespace zentra::report
