// The formula machine: runs the short instruction list a cell formula compiles to, over a
// bounded stack of values. Database look-ups go through a replaceable seam so that the machine
// runs without the run-time library (which is loaded only when a look-up needs it).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formula_lexer.h"

namespace zentra::script {

// A formula value: nothing, a number, a Boolean or a text (cp1251).
struct FormulaValue {
    enum class Kind : std::uint8_t { Empty, Number, Boolean, Text };
    Kind kind = Kind::Empty;
    double num = 0;
    std::string text;

    static FormulaValue Number(double v) { return {Kind::Number, v, {}}; }
    static FormulaValue Boolean(bool b) { return {Kind::Boolean, b ? 1.0 : 0.0, {}}; }
    static FormulaValue Text(std::string_view s) { return {Kind::Text, 0, std::string(s)}; }
    bool IsEmpty() const { return kind == Kind::Empty; }
};

// The value as a floating number: numbers as they are, texts that hold a number (either
// decimal separator) as that number, everything else 0.
double FormulaNumber(const FormulaValue& v);
// The value as cell text: numbers with a decimal comma, Booleans as "True"/"False".
std::string FormulaText(const FormulaValue& v);
// A cell text as a value: a number when it reads as one ("." or ","), else the text.
FormulaValue FormulaFromCellText(std::string_view text);

// Rounding styles of ROUND.
enum : int { kRoundMin = 0, kRoundMid = 1, kRoundMax = 2 };
// ROUND(value, digits, style): rsMid to nearest (halves to even), rsMin towards zero, rsMax
// upwards (a unit is added only when a fraction was cut off). Scaled values within ~1e-9 of a
// whole number count as that whole number, so 0.57 scaled by 100 is 57, not 56.999...
double FormulaRound(double value, double digits, double style);

enum class FormulaOp : std::int32_t {
    End = 0,
    Push = 1,
    Add = 3,
    Subtract = 4,
    Multiply = 5,
    Divide = 6,
    And = 7,
    Or = 8,
    Equal = 9,
    NotEqual = 10,
    Less = 11,
    Greater = 12,
    LessEqual = 13,
    GreaterEqual = 14,
    Jump = 15,
    JumpIfFalse = 16,
    Call = 17,
};

struct FormulaInstr {
    FormulaOp op = FormulaOp::End;
    FormulaValue arg;
};

// A database look-up of a formula: the select text ("SELECT * FROM NAME(:PARAM0, ...)"), its
// parameters as texts in written order and the field number. Answers false when no query could
// be created; value is the field's text, empty when the select gave no row.
class FormulaLookup {
  public:
    virtual ~FormulaLookup() = default;
    virtual bool Query(const std::string& driver, const std::string& connection,
                       const std::string& libraryFolder, const std::string& select,
                       const std::vector<std::string>& params, int field, std::string& value) = 0;
};

// Refuses every look-up with a clear text, for hosts that must not reach a database (the
// expression editor's syntax check, fuzzing). Builds use RuntimeFormulaLookup.
class UnavailableFormulaLookup : public FormulaLookup {
  public:
    bool Query(const std::string&, const std::string&, const std::string&, const std::string&,
               const std::vector<std::string>&, int, std::string&) override;
};

class TFormulaMachine {
  public:
    static constexpr std::size_t kStackSize = 100;

    // Runs from instruction 0 until End or past the last instruction; raises FormulaError.
    void Run(const std::vector<FormulaInstr>& code);
    // The bottom value of the stack after a run, or nothing when the stack is empty.
    bool Result(FormulaValue& out) const;

    std::string LibraryFolder;
    std::string Driver;
    std::string Connection;
    FormulaLookup* Lookup = nullptr;  // null: look-ups are refused

  private:
    void Push(FormulaValue v);
    FormulaValue Pop();
    void CallFunction();

    std::vector<FormulaValue> stack_;
};

}  // namespace zentra::script
