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

// Runs a reader; damage (FileFormatError) ends the attempt. Anything thrown after a successful
// read is a finding and escapes to the fuzzer.
template <class Read>
bool readOrDamaged(Read read) {
    try {
        read();
        return true;
    } catch (const FileFormatError&) {
        return false;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    TKelvoGrid grid;
    if (readOrDamaged([&] { LoadGridStream(grid, bytes); })) roundTripGrid(grid);

    TReportFile rep;
    if (readOrDamaged([&] { rep = LoadReportStream(bytes); })) {
        std::string saved = SaveReportStream(rep);
        check(LoadReportStream(saved) == rep);
    }

    TKelvoGrid target;
    target.GetCell(1, 1).SetText("x");
    target.GetCell(1, 1).Join(2, 2);
    target.ActiveCol = 2;
    target.ActiveRow = 1;
    std::string before = SaveGridStream(target);
    if (readOrDamaged([&] { PasteBlock(target, bytes, 7); }))
        roundTripGrid(target);
    else
        check(SaveGridStream(target) == before);
    return 0;
}
