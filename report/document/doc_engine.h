// The document engine: answers the report events of a running script by copying template
// areas of the print form (data groups) into the document grid at a moving output position,
// filling in event values, composing and evaluating cell formulas, and recording headers,
// fixed columns and page breaks. Pure C++: the build window and the preview sit on top.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formula_compiler.h"
#include "kelvo_grid.h"
#include "machine.h"
#include "text_measurer.h"

namespace zentra::script {
class Script;
}

namespace zentra::report {

// One piece of a template cell's text.
struct TCellElement {
    enum Kind : uint8_t { Literal = 0, ValueRef = 1, Formula = 2, CellRef = 3 };
    std::string Text;
    Kind Kind_ = Literal;
    int32_t Col = 0, Row = 0;  // CellRef: 0-based column, 1-based row as written
    bool AbsCol = false, AbsRow = false;
};
using TCellElements = std::vector<TCellElement>;

// One template position of a prepared group.
struct TData {
    int RelCol = 0, RelRow = 0;      // from the area's first column and row
    int TemplCol = 0, TemplRow = 0;  // position in the print form
    uint16_t Width = 0, Height = 0;  // raw template column width and row height (0 default)
    int FormatIndex = 0;
    bool Joined = false;
    bool Covered = false;  // inside a join of another cell of the same area: written by it
    int JoinCols = 0, JoinRows = 0;  // extent of the template join beyond the cell
    TCellElements Elements;
    bool IsFormula = false;
    std::string LexError;  // a scanning error in a template formula, reported on output
};

struct TPreparedGroup {
    int Index = 0;
    std::string Name;
    std::string Key;  // event name, trimmed and upper-cased
    std::string Params;
    std::vector<TData> Cells;
    int Width = 0;
    int FirstRow = 0, LastRow = 0;
    std::vector<TGridObjImg> Objects;
    std::pair<int, int> Origin{0, 0}, Corner{0, 0};
};

// A data group of the document as the engine needs it.
struct TGroupArea {
    std::string Name;
    std::string EventName;
    std::string Params;
    int32_t Left = 1, Top = 1, Right = 1, Bottom = 1;  // 1-based, inclusive
};

// Splits a template cell's text into elements ("[@name]" references, or formula tokens with
// cell references apart). Marks formulas and keeps a template formula's scanning error.
void ParseTemplateText(const std::string& text, TData& data);

// An event argument's value as text, the way events read them.
std::string EventArgText(const script::EventArg& arg);

class TPrintDocEngine {
  public:
    TPrintDocEngine(script::Script& script, TKelvoGrid& templ, TKelvoGrid& doc,
                    ITextMeasurer& measurer);

    // Turns the data groups into prepared groups (template cells parsed once per build).
    void PrepareGroups(const std::vector<TGroupArea>& groups);
    // Answers one report event; raises std::runtime_error (cp1251 text) to end the script.
    void HandleEvent(std::string_view name, std::span<const script::EventArg> args,
                     std::string& answer);
    // Evaluates every "=" cell left in the document after the run. keepGoing, when given, is
    // asked after every kFormulasPerCheck formulas (a window lets its messages through there);
    // answering false stops the step, the rest of the cells keep their "=" text. Answers false
    // when stopped so.
    bool CalcDeferred(const std::function<bool()>& keepGoing = {});
    static constexpr int kFormulasPerCheck = 8;
    // Evaluates a formula text (no leading "=") against the document grid; on failure answers
    // false and puts the error text + " в функции " + formula into text.
    bool EvaluateFormula(const std::string& formula, std::string& text);

    const std::vector<TPreparedGroup>& Groups() const { return groups_; }
    int CurCol = 0, CurRow = 0, StartCol = 0, LineHeight = 0;
    bool Aborted = false;
    bool DeferredFormulas = false;
    std::string LibraryFolder;
    // null: look-ups are refused with a clear text (TDocument hands in Runtime.lib's look-up).
    script::FormulaLookup* Lookup = nullptr;

  private:
    enum class Collect { Idle, Collecting, Committed };
    void OutputGroup(const TPreparedGroup& g, std::span<const script::EventArg> args);
    bool ComposeFormula(const TData& d, int col, int row, std::string& formula);
    void CommitHeader(std::span<const script::EventArg> args);
    void CommitFixedCol(std::span<const script::EventArg> args);
    const TPreparedGroup* FindGroup(const std::string& key);
    void ApplyTemplateFormat(TCellData& cell, int templateIndex);

    script::Script& script_;
    TKelvoGrid& templ_;
    TKelvoGrid& doc_;
    ITextMeasurer& measurer_;
    std::vector<TPreparedGroup> groups_;
    const TPreparedGroup* lastFound_ = nullptr;
    Collect header_ = Collect::Idle;
    int headerFirstGroup_ = -1;
    TSelectedCells headerCells_;
    Collect fixed_ = Collect::Idle;
    int fixedFirstRow_ = -1, fixedLastRow_ = -1;
    std::vector<bool> grown_;
};

}  // namespace zentra::report
