// The grid's small bitmaps (check boxes, record indicators, sort and drop-down glyphs), drawn
// once in code so the grid needs no resource files.
#pragma once

#include <QPixmap>

namespace zentra::grid {

enum class GridBitmap {
    CheckBox,
    UnCheckBox,
    ActiveRec,
    EditRec,
    SortInc,
    SortDec,
    DropImage,
    DropEllipsis,
    DropWindow
};

const QPixmap& gridBitmap(GridBitmap which);

}  // namespace zentra::grid
