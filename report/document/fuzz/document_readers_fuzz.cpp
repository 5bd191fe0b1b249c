// Feeds arbitrary bytes to the print grid reader (3.0 and 1.7), the report reader and the
// clipboard reader. Damage must end in FileFormatError; any other exception, crash or leak is a
// finding. What loads must save, and what is saved must load back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "document/binary_io.h"
#include "document/clipboard.h"
#include "document/grid_stream.h"
#include "document/kelvo_grid.h"
#include "document/report_file.h"

using namespace zentra::report;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void roundTripGrid(TKelvoGrid& g) {
    check(g.CheckInvariants().empty());
    std::string saved = SaveGridStream(g);
    TKelvoGrid back;
    LoadGridStream(back, saved);
    check(SaveGridStream(back) == saved);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        TKelvoGrid g;
        LoadGridStream(g, bytes);
        roundTripGrid(g);
    } catch (const FileFormatError&) {
    }
    try {
        TReportFile rep = LoadReportStream(bytes);
        std::string saved = SaveReportStream(rep);
        check(LoadReportStream(saved) == rep);
    } catch (const FileFormatError&) {
    }
    try {
        TKelvoGrid g;
        g.GetCell(1, 1).SetText("x");
        g.GetCell(1, 1).Join(2, 2);
        g.ActiveCol = 2;
        g.ActiveRow = 1;
        PasteBlock(g, bytes, 7);
        roundTripGrid(g);
    } catch (const FileFormatError&) {
    }
    return 0;
}
