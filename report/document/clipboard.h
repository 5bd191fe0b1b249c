// The grid's private clipboard record ("KelvoGRID"). The model produces and consumes the bytes;
// putting them on the system clipboard is the view's business.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zentra::report {

class TKelvoGrid;

inline constexpr const char* kClipboardFormatName = "KelvoGRID";

// The record for the grid's selection: one entry per selected position that is a cell's own
// position (positions a join covers travel with their master). The count written is the number
// of entries written. `cut` resets every copied cell afterwards.
std::string CopySelection(TKelvoGrid& grid, uint32_t sourceWindow, bool cut);

// Pastes a record at the grid's current cell. Everything is read and checked before the grid
// changes; a damaged or out-of-sheet block fails with FileFormatError and changes nothing.
// A block from the same window keeps its format indexes; one from elsewhere carries its
// attributes over (the font stays the default font).
void PasteBlock(TKelvoGrid& grid, std::string_view block, uint32_t ownWindow);

}  // namespace zentra::report
