// The print grid stream (".sf" files and the print form inside report files): version 3.0 is
// written and read, version 1.7 is imported. Loading builds a new document and swaps it in only
// when the whole stream was read, so a damaged stream leaves the grid as it was.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "binary_io.h"
#include "cell_format.h"

namespace zentra::report {

class TKelvoGrid;
struct TCellData;

// Upper bound on the join placeholders one load may create (a few bytes of file could
// otherwise ask for billions of them). 262,144 rows of joins is far beyond any real report.
inline constexpr size_t kMaxLoadedPlaceholders = 1u << 18;

// Writes the grid as a version 3.0 stream. Fails (FileFormatError) with a clear message when
// something cannot be stored, before any file is touched.
std::string SaveGridStream(TKelvoGrid& grid);
// Reads a version 3.0 stream or a version 1.7 file into the grid.
void LoadGridStream(TKelvoGrid& grid, std::string_view bytes);
void SaveGridFile(TKelvoGrid& grid, const std::filesystem::path& path);
void LoadGridFile(TKelvoGrid& grid, const std::filesystem::path& path);

// Pieces shared with the clipboard record.
struct TCellRecord {
    int32_t FormatIndex = 0;
    uint16_t Col = 0, Row = 0, LastCol = 0, LastRow = 0;
    std::string Text;
    int16_t GroupIndex = -1;
};
void WriteCellRecord(ByteWriter& w, const TCellData& cell);
TCellRecord ReadCellRecord(ByteReader& r);
void WriteFormatRecord(ByteWriter& w, const TCellFormat& f);
TCellFormat ReadFormatRecord(ByteReader& r);

// Places a read cell into a grid under construction: the position must be free and not
// covered, the join must overlap nothing and the format index must exist.
void PlaceLoadedCell(TKelvoGrid& grid, const TCellRecord& rec, size_t& placeholders);

// Sections shared by both stream versions.
void ReadSizes(ByteReader& r, TKelvoGrid& g);
void ReadPageSettings(ByteReader& r, TKelvoGrid& g);
void ReadHeaderGroups(ByteReader& r, TKelvoGrid& g);
void ReadFixedCols(ByteReader& r, TKelvoGrid& g);
void ReadPageBreaks(ByteReader& r, TKelvoGrid& g);

// The version 1.7 import (the magic already recognised by the caller is read again here).
bool LooksLikeGrid17(std::string_view bytes);
void ImportGrid17(TKelvoGrid& fresh, std::string_view bytes, TKelvoGrid& progressTarget);

}  // namespace zentra::report
