#include "layout.h"

#include <algorithm>
#include <cmath>

namespace zentra::grid {

GridOptions GridOptions::defaults() {
    GridOptions o;
    for (GridOption g :
         {GridOption::Title, GridOption::Indicator, GridOption::StatusLine, GridOption::ColLines,
          GridOption::RowLines, GridOption::RowSelect, GridOption::Delete, GridOption::Insert,
          GridOption::ResizeRow, GridOption::ResizeCol, GridOption::MoveCol,
          GridOption::ConfirmDelete, GridOption::PostAfterInsert, GridOption::Print,
          GridOption::CalcSum, GridOption::EditColumnProp}) {
        o.set(g);
    }
    return o;
}

int titleBandHeight(bool showTitles, bool hasColumns, const std::vector<TitleMetrics>& visible) {
    if (!showTitles) return 0;
    int h = kMinTitleHeight;
    if (!hasColumns) return h;
    for (const TitleMetrics& t : visible) {
        h = std::max(h, std::max(1, t.lines) * (t.textHeight + 4) + 2);
    }
    return h;
}

int captionLineHeight(bool showTitles, bool titleVisible, int textHeight) {
    return showTitles && titleVisible ? textHeight + 8 : 0;
}

int statusAreaHeight(bool statusLine, bool sumShown, int rowHeight) {
    if (!statusLine) return 0;
    return sumShown ? 2 * rowHeight : rowHeight;
}

RowFit visibleRows(int controlHeight, int headerHeight, int statusHeight, int hScrollHeight,
                   int rowHeight) {
    RowFit r;
    if (rowHeight <= 0) return r;
    const int room = controlHeight - headerHeight - statusHeight - hScrollHeight;
    r.fit = room > 0 ? room / rowHeight : 0;
    r.buffer = std::max(1, r.fit);
    return r;
}

std::vector<PlacedColumn> placeColumns(const std::vector<ColumnGeom>& cols, int first, int dataLeft,
                                       int controlWidth) {
    std::vector<PlacedColumn> out;
    int x = dataLeft;
    for (int i = std::max(0, first); i < static_cast<int>(cols.size()); ++i) {
        const ColumnGeom& c = cols[static_cast<size_t>(i)];
        if (!c.visible) continue;
        if (x >= controlWidth) break;
        out.push_back({i, x, x + c.width - 1});
        x += c.width - 1;
    }
    return out;
}

int landingColumn(const std::vector<ColumnGeom>& cols, int current, int index) {
    const int n = static_cast<int>(cols.size());
    if (n == 0) return -1;
    index = std::clamp(index, 0, n - 1);
    auto visible = [&](int i) { return cols[static_cast<size_t>(i)].visible; };
    if (index >= current) {
        for (int i = index; i < n; ++i) {
            if (visible(i)) return i;
        }
        // Nothing visible to the right: stay, unless the old column itself is not usable.
        if (current >= 0 && current < n && visible(current)) return current;
        for (int i = index; i >= 0; --i) {
            if (visible(i)) return i;
        }
        return current >= 0 && current < n ? current : 0;
    }
    for (int i = index; i >= 0; --i) {
        if (visible(i)) return i;
    }
    return current >= 0 && current < n ? current : index;
}

int scrollColumnIntoView(const std::vector<ColumnGeom>& cols, int first, int current,
                         int controlWidth) {
    const int n = static_cast<int>(cols.size());
    if (n == 0 || current < 0 || current >= n) return std::clamp(first, 0, std::max(0, n - 1));
    first = std::clamp(first, 0, n - 1);
    if (current < first) return current;
    // Left and right edge of the current column relative to the data area, with `first` first.
    auto edges = [&](int from, int& left, int& right) {
        left = 0;
        for (int i = from; i < current; ++i) {
            if (cols[static_cast<size_t>(i)].visible)
                left += cols[static_cast<size_t>(i)].width - 1;
        }
        right = left + cols[static_cast<size_t>(current)].width - 1;
    };
    int left = 0, right = 0;
    edges(first, left, right);
    if (right <= controlWidth && first == 0) return first;
    const int width = cols[static_cast<size_t>(current)].width;
    while (left != 0 && right + width >= controlWidth && first < n - 1 && first < current) {
        ++first;
        edges(first, left, right);
    }
    return first;
}

std::vector<int> fitWidths(const std::vector<ColumnGeom>& cols, int fromIndex, int indicatorWidth,
                           int vScrollWidth, int controlWidth) {
    std::vector<int> out;
    out.reserve(cols.size());
    long total = indicatorWidth + vScrollWidth;
    for (const ColumnGeom& c : cols) {
        if (c.visible) total += c.width;
    }
    for (size_t i = 0; i < cols.size(); ++i) {
        const ColumnGeom& c = cols[i];
        const bool scaled = c.visible && (fromIndex < 0 || static_cast<int>(i) >= fromIndex);
        if (scaled && total > 0) {
            out.push_back(
                static_cast<int>(std::lround(double(controlWidth) * c.width / double(total))));
        } else {
            out.push_back(c.width);
        }
    }
    return out;
}

int followCursor(int top, int current, int rows, int rowCount) {
    rows = std::max(1, rows);
    if (current < 0) return 0;
    if (current < top) top = current;
    if (current > top + rows - 1) top = current - rows + 1;
    // No empty rows below the last record while there are records above the view.
    const int maxTop = std::max(std::max(0, rowCount - rows), current - rows + 1);
    return std::clamp(top, 0, maxTop);
}

int centreOn(int top, int found, int rows, int rowCount) {
    rows = std::max(1, rows);
    const int ahead = std::min(found + rows / 2 + 1, std::max(found, rowCount - 1));
    if (ahead > top + rows - 1) top = ahead - rows + 1;
    if (found < top) top = found;
    return std::clamp(top, 0, std::max(0, rowCount - rows));
}

std::string columnResizeStatus(const std::string& caption, int width, bool hidden) {
    if (hidden) return "Столбец " + caption + " невидим";
    return "ширина столбца " + caption + " - " + std::to_string(width);
}

std::string rowResizeStatus(int height) {
    std::string s = "высота строки - " + std::to_string(height);
    if (height == kMinRowHeight) s += " (минимальный размер строки)";
    return s;
}

std::string columnMoveStatus(const std::string& caption) {
    return "перемещается столбец " + caption;
}

std::string recordCountStatus(int count) {
    return "записей: " + std::to_string(count);
}

}  // namespace zentra::grid
