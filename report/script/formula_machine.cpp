#include "formula_machine.h"

#include <cassert>
#include <cfenv>
#include <cmath>
#include <cstdint>

#include "runtime_data.h"
#include "text/cp1251.h"

namespace zentra::script {
namespace {

// Messages are written in UTF-8 here and raised as cp1251.
FormulaError Fail(std::string_view utf8, std::string_view tail = {}) {
    return FormulaError(text::utf8ToCp1251(utf8) + std::string(tail));
}

// The number a value holds for comparisons, if it holds one.
bool NumericForm(const FormulaValue& v, double& out) {
    switch (v.kind) {
        case FormulaValue::Kind::Number:
        case FormulaValue::Kind::Boolean:
            out = v.num;
            return true;
        case FormulaValue::Kind::Text:
            if (auto d = parseTextNumber(v.text)) {
                out = *d;
                return true;
            }
            return false;
        case FormulaValue::Kind::Empty:
            return false;
    }
    return false;
}

// Three-way comparison: numbers when both sides hold one (an empty side then counts as 0),
// otherwise the texts byte by byte.
int Compare(const FormulaValue& a, const FormulaValue& b) {
    double x = 0, y = 0;
    const bool na = NumericForm(a, x), nb = NumericForm(b, y);
    if ((na || a.IsEmpty()) && (nb || b.IsEmpty()) && (na || nb)) {
        if (!na) x = 0;
        if (!nb) y = 0;
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const std::string ta = FormulaText(a), tb = FormulaText(b);
    return ta < tb ? -1 : (ta > tb ? 1 : 0);
}

// Truth of a condition: Booleans, numbers other than 0, the texts "true"/"false"; empty is
// false. Any other text is refused instead of guessed.
bool Truth(const FormulaValue& v) {
    switch (v.kind) {
        case FormulaValue::Kind::Empty:
            return false;
        case FormulaValue::Kind::Number:
        case FormulaValue::Kind::Boolean:
            return v.num != 0;
        case FormulaValue::Kind::Text: {
            if (auto d = parseTextNumber(v.text)) return *d != 0;
            if (text::equalsNoCase(v.text, "true")) return true;
            if (text::equalsNoCase(v.text, "false") || v.text.empty()) return false;
            throw Fail("Значение не является логическим: \"", v.text + "\"");
        }
    }
    return false;
}

// Whole numbers that fit a 64-bit integer, for the bitwise forms of AND and OR.
bool WholeNumber(const FormulaValue& v, std::int64_t& out) {
    if (v.kind != FormulaValue::Kind::Number) return false;
    if (!(std::fabs(v.num) < 9.0e18) || v.num != std::trunc(v.num)) return false;
    out = static_cast<std::int64_t>(v.num);
    return true;
}

}  // namespace

// Numbers as they are, numeric texts as their number, everything else 0.
double FormulaNumber(const FormulaValue& v) {
    if (v.kind == FormulaValue::Kind::Number) return v.num;
    if (v.kind == FormulaValue::Kind::Text) return parseTextNumber(v.text).value_or(0);
    return 0;
}

// Cell text of a value.
std::string FormulaText(const FormulaValue& v) {
    switch (v.kind) {
        case FormulaValue::Kind::Empty:
            return {};
        case FormulaValue::Kind::Number:
            return formatNumber(v.num, ',');
        case FormulaValue::Kind::Boolean:
            return v.num != 0 ? "True" : "False";
        case FormulaValue::Kind::Text:
            return v.text;
    }
    return {};
}

// A number when the text reads as one, else the text itself.
FormulaValue FormulaFromCellText(std::string_view text) {
    if (auto d = parseTextNumber(text)) return FormulaValue::Number(*d);
    return FormulaValue::Text(text);
}

// ROUND with the three styles; whole-number snapping keeps binary fractions from losing a unit.
double FormulaRound(double value, double digits, double style) {
    if (!std::isfinite(digits) || std::fabs(digits) > 15)
        throw Fail("ROUND: число знаков должно лежать в пределах от -15 до 15");
    const int d = static_cast<int>(std::trunc(digits));
    double p = 1;
    for (int i = 0; i < std::abs(d); ++i)
        p *= 10;
    double scaled = d >= 0 ? value * p : value / p;
    const double nearest = std::nearbyint(scaled);
    if (std::fabs(scaled - nearest) <= 1e-9 * std::max(1.0, std::fabs(scaled))) scaled = nearest;
    double kept = 0;
    const int how =
        style == std::trunc(style) && std::fabs(style) < 16 ? static_cast<int>(style) : -1;
    if (how == kRoundMid) {
        const int mode = std::fegetround();
        std::fesetround(FE_TONEAREST);
        kept = std::nearbyint(scaled);
        std::fesetround(mode);
    } else if (how == kRoundMin) {
        kept = std::trunc(scaled);
    } else if (how == kRoundMax) {
        kept = std::trunc(scaled);
        if (kept != scaled && scaled > 0) kept += 1;
    } else {
        return 0;
    }
    return d >= 0 ? kept / p : kept * p;
}

// Hosts without database access (syntax checks, fuzzing) refuse look-ups by name.
bool UnavailableFormulaLookup::Query(const std::string&, const std::string&, const std::string&,
                                     const std::string& select, const std::vector<std::string>&,
                                     int, std::string&) {
    throw Fail("Поиск в базе данных из формулы здесь недоступен: Runtime.lib не подключена (",
               select + ")");
}

// Pushes a value; the stack holds at most kStackSize values.
void TFormulaMachine::Push(FormulaValue v) {
    if (stack_.size() >= kStackSize)
        throw Fail("Формула слишком сложна: стек вычисления переполнен (более 100 значений)");
    stack_.push_back(std::move(v));
}

// Pops a value; an empty stack is a fault of the compiled code, reported, never undefined.
FormulaValue TFormulaMachine::Pop() {
    if (stack_.empty()) throw Fail("Ошибка вычисления формулы: стек вычисления пуст");
    FormulaValue v = std::move(stack_.back());
    stack_.pop_back();
    return v;
}

// Runs the list; every jump target was patched by the compiler and is checked here again.
void TFormulaMachine::Run(const std::vector<FormulaInstr>& code) {
    stack_.clear();
    std::size_t pc = 0;
    std::size_t steps = 0;
    while (pc < code.size()) {
        // Jumps only go forward in compiled code; a bound still guards hand-made lists.
        if (++steps > code.size() * 4 + 16) throw Fail("Ошибка вычисления формулы: зацикливание");
        const FormulaInstr& in = code[pc++];
        switch (in.op) {
            case FormulaOp::End:
                return;
            case FormulaOp::Push:
                Push(in.arg);
                break;
            case FormulaOp::Add:
            case FormulaOp::Subtract:
            case FormulaOp::Multiply:
            case FormulaOp::Divide: {
                const double b = FormulaNumber(Pop());
                const double a = FormulaNumber(Pop());
                double r = 0;
                if (in.op == FormulaOp::Add) r = a + b;
                if (in.op == FormulaOp::Subtract) r = a - b;
                if (in.op == FormulaOp::Multiply) r = a * b;
                if (in.op == FormulaOp::Divide) {
                    if (b == 0) throw Fail("Деление на ноль");
                    r = a / b;
                }
                Push(FormulaValue::Number(r));
                break;
            }
            case FormulaOp::And:
            case FormulaOp::Or: {
                const FormulaValue b = Pop(), a = Pop();
                std::int64_t x = 0, y = 0;
                if (WholeNumber(a, x) && WholeNumber(b, y)) {
                    Push(FormulaValue::Number(
                        static_cast<double>(in.op == FormulaOp::And ? (x & y) : (x | y))));
                } else {
                    const bool l = Truth(a), r = Truth(b);
                    Push(FormulaValue::Boolean(in.op == FormulaOp::And ? (l && r) : (l || r)));
                }
                break;
            }
            case FormulaOp::Equal:
            case FormulaOp::NotEqual:
            case FormulaOp::Less:
            case FormulaOp::Greater:
            case FormulaOp::LessEqual:
            case FormulaOp::GreaterEqual: {
                const FormulaValue b = Pop(), a = Pop();
                const int c = Compare(a, b);
                bool r = false;
                switch (in.op) {
                    case FormulaOp::Equal:
                        r = c == 0;
                        break;
                    case FormulaOp::NotEqual:
                        r = c != 0;
                        break;
                    case FormulaOp::Less:
                        r = c < 0;
                        break;
                    case FormulaOp::Greater:
                        r = c > 0;
                        break;
                    case FormulaOp::LessEqual:
                        r = c <= 0;
                        break;
                    default:
                        r = c >= 0;
                        break;
                }
                Push(FormulaValue::Boolean(r));
                break;
            }
            case FormulaOp::Jump:
            case FormulaOp::JumpIfFalse: {
                if (in.op == FormulaOp::JumpIfFalse && Truth(Pop())) break;
                const double t = in.arg.num;
                if (!(t >= 0 && t <= static_cast<double>(code.size())))
                    throw Fail("Ошибка вычисления формулы: неверный адрес перехода");
                pc = static_cast<std::size_t>(t);
                break;
            }
            case FormulaOp::Call:
                CallFunction();
                break;
        }
    }
}

// Op 17: ROUND, or a database look-up by the function's name.
void TFormulaMachine::CallFunction() {
    const FormulaValue name = Pop();
    if (name.kind == FormulaValue::Kind::Text && name.text == "ROUND") {
        const double style = FormulaNumber(Pop());
        const double digits = FormulaNumber(Pop());
        const double value = FormulaNumber(Pop());
        Push(FormulaValue::Number(FormulaRound(value, digits, style)));
        return;
    }
    const int field = static_cast<int>(FormulaNumber(Pop()));
    const double count = FormulaNumber(Pop());
    if (!(count >= 0 && count <= static_cast<double>(stack_.size())))
        throw Fail("Ошибка вычисления формулы: неверное число параметров запроса");
    std::vector<std::string> params(static_cast<std::size_t>(count));
    for (std::size_t i = params.size(); i-- > 0;) {
        // Numbers go to the query in the machine-readable form, never the regional one.
        const FormulaValue a = Pop();
        params[i] =
            a.kind == FormulaValue::Kind::Number ? formatNumber(a.num, '.') : FormulaText(a);
    }
    std::string select = "SELECT * FROM " + name.text + "(";
    for (std::size_t i = 0; i < params.size(); ++i)
        select += (i ? ", :PARAM" : ":PARAM") + std::to_string(i);
    select += ")";
    UnavailableFormulaLookup refuse;
    FormulaLookup& lookup = Lookup ? *Lookup : refuse;
    std::string value;
    // A query that cannot be created still leaves one (empty) value, so the stack stays sound.
    if (!lookup.Query(Driver, Connection, LibraryFolder, select, params, field, value)) {
        Push(FormulaValue{});
        return;
    }
    Push(FormulaFromCellText(value));
}

// The bottom value of the stack.
bool TFormulaMachine::Result(FormulaValue& out) const {
    if (stack_.empty()) return false;
    out = stack_.front();
    return true;
}

}  // namespace zentra::script
