// Headless build of an order of 10,000 lines (one event per line, 8 cells: value references,
// one wrapped text and one formula) against the bare script machine running the same script
// with an event handler that does nothing. Prints the median of RUNS runs of each, in ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "document.h"
#include "grid_stream.h"
#include "rtl_source.h"
#include "script.h"
#include "text/cp1251.h"

using namespace zentra::report;
namespace zs = zentra::script;

namespace {

const char* kScript =
    "var N, CODE, NAME, QTY, PRICE, UNITS, NOTE : pchar; I : integer;\r\n"
    "procedure Main;\r\nbegin\r\n"
    "  CODE := 'A-100'; UNITS := 'шт.'; QTY := '3'; PRICE := '12,5';\r\n"
    "  NOTE := 'Длинное примечание к строке заказа, которое переносится по словам';\r\n"
    "  for I := 1 to 10000 do\r\n  begin\r\n"
    "    N := I; NAME := 'Товар';\r\n"
    "    SendEvent('LINE', N, CODE, NAME, QTY, UNITS, PRICE, NOTE);\r\n"
    "    NewLine;\r\n  end;\r\nend;\r\n";

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    const int runs = std::getenv("RUNS") ? std::atoi(std::getenv("RUNS")) : 5;
    TKelvoGrid t;
    const char* texts[] = {"[@N]",     "[@CODE]",  "[@NAME]", "[@QTY]",
                           "[@UNITS]", "[@PRICE]", "=D1*F1",  "[@NOTE]"};
    for (int c = 0; c < 8; ++c) {
        TCellData& cell = t.CreateCell(c, 0);
        cell.Text = zentra::text::utf8ToCp1251(texts[c]);
        if (c == 7) t.SetFormatProperty(cell, EFormatKind::Options, kOptWordWrap);
    }
    t.SetColWidth(7, 200);
    const std::string form = SaveGridStream(t);
    const std::string script = zentra::text::utf8ToCp1251(kScript);

    std::vector<double> engine, bare;
    std::size_t cells = 0;
    for (int i = 0; i < runs; ++i) {
        TDocument doc;
        doc.PrintForm = form;
        doc.AddGroup("LINE", "EVENT_NAME=LINE\r\n", 1, 1, 8, 1);
        doc.ScriptText = script;
        const auto t0 = std::chrono::steady_clock::now();
        const BuildResult r = doc.Build();
        engine.push_back(Ms(std::chrono::steady_clock::now() - t0));
        if (r.Status != BuildStatus::Built) {
            std::fprintf(stderr, "build failed: %s\n",
                         zentra::text::cp1251ToUtf8(r.Message).c_str());
            return 1;
        }
        cells = doc.DocumentGrid().CellCount();

        zs::Script s;
        s.librarySource = std::string(zs::rtlSource());
        s.source = script;
        s.onSendEvent = [](std::string_view, std::span<const zs::EventArg>, std::string&) {};
        const auto t1 = std::chrono::steady_clock::now();
        if (s.run() != zs::RunStatus::Finished) return 1;
        bare.push_back(Ms(std::chrono::steady_clock::now() - t1));
    }
    const double e = Median(engine), b = Median(bare);
    std::printf("engine build (10,000 lines, %zu cells): %.1f ms\n", cells, e);
    std::printf("bare machine, empty handler:          %.1f ms\n", b);
    std::printf("ratio engine / bare:                  %.1f\n", e / b);
    return 0;
}
