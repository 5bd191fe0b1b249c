// The formula front end: compiles a cell formula into the formula machine's instruction list
// and evaluates it. Cell references are read through an interface so that the evaluator needs
// no print grid; names it cannot resolve go to the caller's resolver (the report script).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formula_lexer.h"
#include "formula_machine.h"

namespace zentra::script {

// The cells a formula reads (the document grid in a build).
class IFormulaCells {
  public:
    virtual ~IFormulaCells() = default;
    // The 0-based column and row of a reference such as "B7" or "$B$7"; false when the name is
    // not a reference.
    virtual bool CellRef(std::string_view name, int& col, int& row) = 0;
    // The text of the cell covering the position (empty when there is none).
    virtual std::string CellText(int col, int row) = 0;
    // Sum of the numbers of the rectangle's cells (texts that are not numbers count as 0).
    virtual double SumRange(int col1, int row1, int col2, int row2) = 0;
};

class TScriptLexAn {
  public:
    // Name, value to fill; answers whether the name was found.
    using Resolver = std::function<bool(std::string_view name, FormulaValue& value)>;

    TScriptLexAn();

    // The formula text (callers pass the cell text with its "=" replaced by a blank).
    void SetText(std::string_view formula) { text_.assign(formula); }
    // Builds the instruction list; raises FormulaError on the first error.
    void Compile();
    // Compiles and runs; result is empty when the formula leaves no value.
    void Evaluate(FormulaValue& result);
    // Adds or replaces an own variable (names without regard to case).
    void SetVariable(std::string_view name, FormulaValue value);

    const std::vector<FormulaInstr>& Code() const { return code_; }
    std::string LibraryFolder;
    IFormulaCells* Cells = nullptr;
    Resolver OnResolve;
    FormulaLookup* Lookup = nullptr;
    // The last cell reference resolved (-1 when none).
    int LastCol = -1, LastRow = -1;

  private:
    void Emit(FormulaOp op, FormulaValue arg = {});
    void IfForm();
    void Branch();
    void Expression();
    void Term();
    void Factor();
    void Name();
    void Round();
    void Sum();
    void DatabaseLookup(const std::string& name);
    FormulaValue Resolve(const std::string& name);
    void Next();

    std::string text_;
    TFormulaLexer lex_;
    std::vector<FormulaInstr> code_;
    std::vector<std::pair<std::string, FormulaValue>> vars_;
};

}  // namespace zentra::script
