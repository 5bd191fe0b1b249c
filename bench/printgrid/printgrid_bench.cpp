// Times the print grid on a report-sized sheet: build 10,000 rows x 20 columns with six format
// properties per cell, save it to a file, load it back, and scan every row through GetCell.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "document/grid_stream.h"
#include "document/kelvo_grid.h"

using namespace zentra::report;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = 10000, cols = 20;
    std::filesystem::path path = std::filesystem::temp_directory_path() / "printgrid_bench.sf";
    if (argc > 1) path = argv[1];

    auto t0 = Clock::now();
    TKelvoGrid g;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            TCellHandle h = g.GetCell(c, r);
            h.SetText("R" + std::to_string(r) + "C" + std::to_string(c));
            h.SetFillColor(r % 2 ? 0xF0F0F0 : 0xFFFFFF);
            h.SetFontSize(8 + c % 3);
            h.SetFontStyle(r % 5 == 0 ? kFontBold : 0);
            h.SetHorzAlign(static_cast<uint8_t>(c % 3));
            h.SetFrames(0x01010101);
            h.SetDataFormat(c % 4 == 0 ? "0.00" : "");
        }
    double build = secondsSince(t0);

    t0 = Clock::now();
    SaveGridFile(g, path);
    double save = secondsSince(t0);

    t0 = Clock::now();
    TKelvoGrid loaded;
    LoadGridFile(loaded, path);
    double load = secondsSince(t0);

    t0 = Clock::now();
    size_t bytes = 0, bold = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            TCellHandle h = loaded.GetCell(c, r);
            bytes += h.Text().size();
            bold += (h.FontStyle() & kFontBold) != 0;
        }
    double scan = secondsSince(t0);

    std::printf("cells %zu, formats %zu, file %ju bytes, text %zu bytes, bold %zu\n",
                loaded.CellCount(), loaded.Formats().Count(),
                static_cast<uintmax_t>(std::filesystem::file_size(path)), bytes, bold);
    std::printf("build %.3f s\nsave  %.3f s\nload  %.3f s\nscan  %.3f s\n", build, save, load,
                scan);
    std::filesystem::remove(path);
    return loaded.CellCount() == static_cast<size_t>(rows * cols) ? 0 : 1;
}
