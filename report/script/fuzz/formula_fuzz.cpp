// Fuzz target of the cell formula compiler and machine: any text compiles or fails with a
// FormulaError, never crashes or hangs.
#include <cstddef>
#include <cstdint>
#include <string>

#include "formula_compiler.h"

namespace {
// Any reference of letters then digits reads as "7"; the resolver knows one name.
class FuzzCells : public zentra::script::IFormulaCells {
  public:
    bool CellRef(std::string_view n, int& c, int& r) override {
        if (n.size() < 2 || n.size() > 6) return false;
        c = n[0] & 31;
        r = n.back() & 15;
        return n[0] >= 'A' && n[0] <= 'Z' && n.back() >= '0' && n.back() <= '9';
    }
    std::string CellText(int, int) override { return "7"; }
    double SumRange(int c1, int r1, int c2, int r2) override {
        return (c2 - c1 + 1.0) * (r2 - r1 + 1);
    }
};
class FuzzLookup : public zentra::script::FormulaLookup {
  public:
    bool Query(const std::string&, const std::string&, const std::string&, const std::string&,
               const std::vector<std::string>& p, int, std::string& v) override {
        v = p.empty() ? "" : p[0];
        return !p.empty();
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    FuzzCells cells;
    FuzzLookup lookup;
    zentra::script::TScriptLexAn f;
    f.Cells = &cells;
    f.Lookup = &lookup;
    f.OnResolve = [](std::string_view n, zentra::script::FormulaValue& v) {
        if (n != "x") return false;
        v = zentra::script::FormulaValue::Text("3");
        return true;
    };
    f.SetText(std::string(reinterpret_cast<const char*>(data), size));
    try {
        zentra::script::FormulaValue r;
        f.Evaluate(r);
    } catch (const zentra::script::FormulaError&) {
    }
    return 0;
}
