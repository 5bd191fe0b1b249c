#include "formula_compiler.h"

#include <cassert>

#include "runtime_data.h"
#include "text/cp1251.h"

namespace zentra::script {
namespace {

// Messages are written in UTF-8 here and used as cp1251.
std::string Cp(std::string_view utf8) {
    return text::utf8ToCp1251(utf8);
}

// The operator of an expression-level token, or End when it is none.
FormulaOp BinaryOp(const Token& t) {
    if (t.kind == tkLogical) return t.text == "&" ? FormulaOp::And : FormulaOp::Or;
    if (t.kind != tkOperator) return FormulaOp::End;
    if (t.text == "+") return FormulaOp::Add;
    if (t.text == "-") return FormulaOp::Subtract;
    if (t.text == "=") return FormulaOp::Equal;
    if (t.text == "<>") return FormulaOp::NotEqual;
    if (t.text == "<") return FormulaOp::Less;
    if (t.text == ">") return FormulaOp::Greater;
    if (t.text == "<=") return FormulaOp::LessEqual;
    if (t.text == ">=") return FormulaOp::GreaterEqual;
    return FormulaOp::End;
}

// Nesting bound of brackets, unary minus and IF: deep nesting would otherwise exhaust the
// native stack before the value stack's own bound is reached.
constexpr int kMaxDepth = 64;

}  // namespace

// The rounding styles are the own variables every evaluator starts with.
TScriptLexAn::TScriptLexAn() {
    SetVariable("rsMin", FormulaValue::Number(kRoundMin));
    SetVariable("rsMid", FormulaValue::Number(kRoundMid));
    SetVariable("rsMax", FormulaValue::Number(kRoundMax));
}

// Adds or replaces an own variable.
void TScriptLexAn::SetVariable(std::string_view name, FormulaValue value) {
    const std::string key = text::lowerCp1251(name);
    for (auto& v : vars_) {
        if (v.first == key) {
            v.second = std::move(value);
            return;
        }
    }
    vars_.emplace_back(key, std::move(value));
}

// Appends an instruction.
void TScriptLexAn::Emit(FormulaOp op, FormulaValue arg) {
    code_.push_back(FormulaInstr{op, std::move(arg)});
}

// Advances; a scanning error is raised with its own formatted text.
void TScriptLexAn::Next() {
    lex_.NextToken();
    if (lex_.Current().kind == tkError) throw FormulaError(lex_.Current().text);
}

namespace {
thread_local int depth = 0;
// Counts one level of nesting for the life of the guard.
struct DepthGuard {
    explicit DepthGuard(const TFormulaLexer& lex) {
        if (++depth > kMaxDepth) {
            --depth;
            lex.Error(Cp("Формула слишком глубоко вложена"));
        }
    }
    ~DepthGuard() { --depth; }
};
}  // namespace

// formula: { IF-form | expression }, each followed by one skipped token, to the end.
void TScriptLexAn::Compile() {
    code_.clear();
    LastCol = LastRow = -1;
    lex_.SetText(text_);
    Next();
    if (lex_.Current().kind == tkEnd) lex_.Error(Cp("Программа расчета незадана"));
    while (lex_.Current().kind != tkEnd) {
        if (lex_.Current().kind == tkIdentifier && lex_.IsToken("IF"))
            IfForm();
        else
            Expression();
        Next();
    }
    Emit(FormulaOp::End);
}

// IF ( expression ; branch [ ; branch ] )
void TScriptLexAn::IfForm() {
    DepthGuard guard(lex_);
    Next();
    lex_.Expect("(", tkOpenBracket);
    Next();
    Expression();
    lex_.Expect(";", tkSymbol);
    const std::size_t toElse = code_.size();
    Emit(FormulaOp::JumpIfFalse);
    Next();
    Branch();
    const std::size_t toEnd = code_.size();
    Emit(FormulaOp::Jump);
    code_[toElse].arg = FormulaValue::Number(static_cast<double>(code_.size()));
    if (lex_.IsToken(";")) {
        Next();
        Branch();
    }
    code_[toEnd].arg = FormulaValue::Number(static_cast<double>(code_.size()));
    lex_.Expect(")", tkCloseBracket);
    Next();
}

// branch: IF-form | expression
void TScriptLexAn::Branch() {
    if (lex_.Current().kind == tkIdentifier && lex_.IsToken("IF"))
        IfForm();
    else
        Expression();
}

// expression: term { binary operator term }, one level, left to right.
void TScriptLexAn::Expression() {
    Term();
    for (;;) {
        const FormulaOp op = BinaryOp(lex_.Current());
        if (op == FormulaOp::End) return;
        Next();
        Term();
        Emit(op);
    }
}

// term: factor { (* | /) factor }
void TScriptLexAn::Term() {
    Factor();
    while (lex_.Current().kind == tkOperator &&
           (lex_.Current().text == "*" || lex_.Current().text == "/")) {
        const FormulaOp op = lex_.Current().text == "*" ? FormulaOp::Multiply : FormulaOp::Divide;
        Next();
        Factor();
        Emit(op);
    }
}

// factor: ( expression ) | - factor | string | number | name
void TScriptLexAn::Factor() {
    DepthGuard guard(lex_);
    const Token& t = lex_.Current();
    switch (t.kind) {
        case tkOpenBracket:
            Next();
            Expression();
            if (lex_.Current().kind != tkCloseBracket)
                lex_.Error(Cp("Ожидалась закрывающая скобка \")\""));
            Next();
            return;
        case tkOperator:
            if (t.text == "-") {
                Next();
                const Token& n = lex_.Current();
                if (n.kind == tkInteger || n.kind == tkReal) {
                    Emit(FormulaOp::Push,
                         FormulaValue::Number(-parseLiteralNumber(n.text).value_or(0)));
                    Next();
                    return;
                }
                Emit(FormulaOp::Push, FormulaValue::Number(0));
                Factor();
                Emit(FormulaOp::Subtract);
                return;
            }
            break;
        case tkString:
            Emit(FormulaOp::Push, FormulaValue::Text(t.text));
            Next();
            return;
        case tkInteger:
        case tkReal:
            // Literals are read locale-free: "." is the one decimal separator of formulas.
            Emit(FormulaOp::Push, FormulaValue::Number(parseLiteralNumber(t.text).value_or(0)));
            Next();
            return;
        case tkIdentifier:
            Name();
            return;
        case tkEnd:
            lex_.Error(Cp("Описание выражения вероятно незакончено"));
        default:
            break;
    }
    lex_.Error(Cp("Ожидалось числовое значение или идентификатор"));
}

// name: identifier [ . identifier ] [ arguments ]
void TScriptLexAn::Name() {
    std::string name = lex_.Current().text;
    Next();
    if (lex_.IsToken(".") && lex_.Current().kind == tkSymbol) {
        Next();
        if (lex_.Current().kind != tkIdentifier)
            lex_.Error(Cp("Ожидалось числовое значение или идентификатор"));
        name += "." + lex_.Current().text;
        Next();
    }
    if (text::equalsNoCase(name, "ROUND")) {
        Round();
        return;
    }
    if (text::equalsNoCase(name, "SUM")) {
        Sum();
        return;
    }
    if (name[0] == '^') {
        DatabaseLookup(name);
        return;
    }
    Emit(FormulaOp::Push, Resolve(name));
}

// ROUND ( value , digits , style )
void TScriptLexAn::Round() {
    lex_.Expect("(", tkOpenBracket);
    Next();
    Expression();
    lex_.Expect(",", tkSymbol);
    Next();
    Expression();
    lex_.Expect(",", tkSymbol);
    Next();
    Expression();
    lex_.Expect(")", tkCloseBracket);
    Next();
    Emit(FormulaOp::Push, FormulaValue::Text("ROUND"));
    Emit(FormulaOp::Call);
}

// SUM ( ref { ; ref } ) or SUM ( ref : ref ), values taken now.
void TScriptLexAn::Sum() {
    lex_.Expect("(", tkOpenBracket);
    Next();
    auto reference = [&]() -> std::string {
        if (lex_.Current().kind != tkIdentifier) lex_.Error(Cp("Ожидалась ссылка на ячейку"));
        std::string ref = lex_.Current().text;
        Next();
        return ref;
    };
    const std::string first = reference();
    if (lex_.IsToken(":") && lex_.Current().kind == tkSymbol) {
        Next();
        const std::string last = reference();
        int c1 = 0, r1 = 0, c2 = 0, r2 = 0;
        if (!Cells || !Cells->CellRef(first, c1, r1))
            lex_.Error(Cp("Ожидалась ссылка на ячейку") + ": " + first);
        if (!Cells->CellRef(last, c2, r2))
            lex_.Error(Cp("Ожидалась ссылка на ячейку") + ": " + last);
        if (c1 > c2) std::swap(c1, c2);
        if (r1 > r2) std::swap(r1, r2);
        Emit(FormulaOp::Push, FormulaValue::Number(Cells->SumRange(c1, r1, c2, r2)));
    } else {
        Emit(FormulaOp::Push, FormulaValue::Number(FormulaNumber(Resolve(first))));
        while (lex_.Current().kind == tkSymbol && (lex_.IsToken(";") || lex_.IsToken(","))) {
            Next();
            Emit(FormulaOp::Push, FormulaValue::Number(FormulaNumber(Resolve(reference()))));
            Emit(FormulaOp::Add);
        }
    }
    lex_.Expect(")", tkCloseBracket);
    Next();
}

// ^NAME ( args ) [ : field ]: a database look-up at run time.
void TScriptLexAn::DatabaseLookup(const std::string& name) {
    lex_.Expect("(", tkOpenBracket);
    Next();
    int count = 0;
    if (lex_.Current().kind != tkCloseBracket) {
        for (;;) {
            Expression();
            ++count;
            if (!(lex_.Current().kind == tkSymbol && lex_.IsToken(","))) break;
            Next();
        }
    }
    lex_.Expect(")", tkCloseBracket);
    Next();
    int field = 0;
    if (lex_.Current().kind == tkSymbol && lex_.IsToken(":")) {
        Next();
        if (lex_.Current().kind != tkInteger)
            lex_.Error(Cp("Ожидалось числовое значение номера возвращаемого поля"));
        field = static_cast<int>(parseLiteralNumber(lex_.Current().text).value_or(0));
        Next();
    }
    std::string bare = name.substr(1);
    while (!bare.empty() && bare.front() == ' ')
        bare.erase(0, 1);
    while (!bare.empty() && bare.back() == ' ')
        bare.pop_back();
    Emit(FormulaOp::Push, FormulaValue::Number(count));
    Emit(FormulaOp::Push, FormulaValue::Text(std::to_string(field)));
    Emit(FormulaOp::Push, FormulaValue::Text(bare));
    Emit(FormulaOp::Call);
}

// Own variables, then cell references, then the caller's resolver.
FormulaValue TScriptLexAn::Resolve(const std::string& name) {
    const std::string key = text::lowerCp1251(name);
    for (const auto& v : vars_)
        if (v.first == key) return v.second;
    int col = 0, row = 0;
    if (Cells && Cells->CellRef(name, col, row)) {
        LastCol = col;
        LastRow = row;
        return FormulaValue::Number(FormulaNumber(FormulaFromCellText(Cells->CellText(col, row))));
    }
    FormulaValue value;
    if (OnResolve && OnResolve(name, value)) return value;
    lex_.Error(Cp("Переменная \"") + name + Cp("\" неопределена"));
}

// Compiles and runs on a fresh machine.
void TScriptLexAn::Evaluate(FormulaValue& result) {
    result = FormulaValue{};
    TFormulaMachine machine;
    machine.LibraryFolder = LibraryFolder;
    machine.Lookup = Lookup;
    FormulaValue v;
    if (OnResolve && OnResolve("defDBDriver", v)) machine.Driver = FormulaText(v);
    v = FormulaValue{};
    if (OnResolve && OnResolve("defConnection", v)) machine.Connection = FormulaText(v);
    Compile();
    machine.Run(code_);
    machine.Result(result);
}

}  // namespace zentra::script
