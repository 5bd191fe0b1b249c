// Cell formulas: text -> value tables over a small sheet, the error texts of broken formulas,
// ROUND's styles, and look-ups through a recording seam.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "formula_compiler.h"
#include "test_util.h"

using namespace zentra::script;

namespace {

// A sheet of cells keyed "A1".."Z99"; references may carry "$" marks.
class MapCells : public IFormulaCells {
  public:
    std::map<std::pair<int, int>, std::string> cells;
    void Set(const char* ref, std::string text) {
        int c = 0, r = 0;
        ASSERT_TRUE(CellRef(ref, c, r));
        cells[{c, r}] = std::move(text);
    }
    bool CellRef(std::string_view name, int& col, int& row) override {
        std::size_t i = 0;
        if (i < name.size() && name[i] == '$') ++i;
        if (i >= name.size() || name[i] < 'A' || name[i] > 'Z') return false;
        col = name[i++] - 'A';
        if (i < name.size() && name[i] == '$') ++i;
        if (i >= name.size()) return false;
        row = 0;
        for (; i < name.size(); ++i) {
            if (name[i] < '0' || name[i] > '9') return false;
            row = row * 10 + (name[i] - '0');
        }
        --row;
        return row >= 0;
    }
    std::string CellText(int col, int row) override {
        auto it = cells.find({col, row});
        return it == cells.end() ? std::string() : it->second;
    }
    double SumRange(int c1, int r1, int c2, int r2) override {
        double s = 0;
        for (auto& [pos, t] : cells)
            if (pos.first >= c1 && pos.first <= c2 && pos.second >= r1 && pos.second <= r2)
                s += FormulaNumber(FormulaFromCellText(t));
        return s;
    }
};

struct Outcome {
    bool ok = false;
    FormulaValue value;
    std::string error;  // UTF-8
};

Outcome Eval(const std::string& utf8, MapCells* cells = nullptr,
             TScriptLexAn::Resolver resolver = {}, FormulaLookup* lookup = nullptr) {
    TScriptLexAn f;
    f.Cells = cells;
    f.OnResolve = std::move(resolver);
    f.Lookup = lookup;
    std::string text = kt::cp(utf8);
    if (!text.empty() && text[0] == '=') text[0] = ' ';
    f.SetText(text);
    Outcome o;
    try {
        f.Evaluate(o.value);
        o.ok = true;
    } catch (const FormulaError& e) {
        o.error = kt::u8(e.what());
    }
    return o;
}

struct NumberCase {
    const char* formula;
    double expected;
};

TEST(FormulaEvaluate, ArithmeticIfSumRoundTable) {
    MapCells cells;
    cells.Set("A1", "5");
    cells.Set("A2", "x");  // not a number: counts as 0
    cells.Set("B1", "2,5");
    cells.Set("B2", "1.5");  // either separator in cell texts
    cells.Set("C1", "0");
    const NumberCase cases[] = {
        {"=1+2*3", 7},
        {"=10-2-3", 5},
        {"=(1+2)*3", 9},
        {"=8/4/2", 1},
        {"=A2+1", 1},
        {"=A1+B1", 7.5},
        {"=-A1", -5},
        {"=-(2+3)*2", -10},
        {"=-2.5+1", -1.5},
        {"=2*-A1", -10},
        {"=$A$1*2", 10},
        {"=SUM(A1:B2)", 9},
        {"=SUM(B2:A1)", 9},  // corners in any order
        {"=SUM(A1:A9)", 5},  // empty cells count as 0
        {"=SUM(A1;B1;B2)", 9},
        {"=SUM(A1,B1)", 7.5},
        {"=IF(A1>0; 1; 2)", 1},
        {"=IF(C1>0; 1; 2)", 2},
        {"=IF(A1>0; IF(B1>3; 10; 20); 30)", 20},
        {"=IF(A1<0; 1; IF(C1=0; 3; 4))", 3},
        {"=IF(A1>=5 AND B1<=2.5; 1; 0)", 1},
        {"=IF(A1>5 OR C1<>0; 1; 0)", 0},
        {"=6 AND 3", 2},  // whole numbers: bitwise
        {"=ROUND(2.5, 0, rsMid)", 2},
        {"=ROUND(3.5, 0, rsMid)", 4},
        {"=ROUND(2.7, 0, rsMin)", 2},
        {"=ROUND(2.34, 1, rsMax)", 2.4},
        {"=ROUND(2, 0, rsMax)", 2},        // a whole value gains no unit
        {"=ROUND(0.57, 2, rsMin)", 0.57},  // 0.57*100 is 56.99999...: snapped
        {"=ROUND(1.1, 1, rsMax)", 1.1},
        {"=ROUND(1234, -2, rsMid)", 1200},
        {"=ROUND(1250, -2, rsMax)", 1300},
        {"=ROUND(-2.34, 1, rsMax)", -2.3},  // upwards for negatives too
        {"=ROUND(-2.36, 1, rsMin)", -2.3},
        {"=ROUND(2.5, 0, 7)", 0},  // unknown style
        {"=ROUND(A1/3, 2, rsMid)", 1.67},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.formula);
        const Outcome o = Eval(c.formula, &cells);
        ASSERT_TRUE(o.ok) << o.error;
        ASSERT_EQ(o.value.kind, FormulaValue::Kind::Number);
        EXPECT_NEAR(o.value.num, c.expected, 1e-12);
    }
}

TEST(FormulaEvaluate, NonNumericResults) {
    MapCells cells;
    cells.Set("A1", "0");
    // IF without else on a false condition leaves nothing.
    EXPECT_TRUE(Eval("=IF(A1>0; 1)", &cells).value.IsEmpty());
    EXPECT_TRUE(Eval("=IF(A1>0; 1)", &cells).ok);
    Outcome o = Eval("='abc'", &cells);
    EXPECT_EQ(o.value.kind, FormulaValue::Kind::Text);
    EXPECT_EQ(o.value.text, "abc");
    o = Eval("=\"x\"=\"x\"");
    EXPECT_EQ(FormulaText(o.value), "True");
    o = Eval("='10'>9");  // texts that look like numbers compare as numbers
    EXPECT_EQ(FormulaText(o.value), "True");
    o = Eval("='b'<'a'");
    EXPECT_EQ(FormulaText(o.value), "False");
    // Russian names resolve through the caller.
    o = Eval("=Итого*2", nullptr, [](std::string_view n, FormulaValue& v) {
        if (n != kt::cp("Итого")) return false;
        v = FormulaValue::Text("21");
        return true;
    });
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_EQ(FormulaText(o.value), "42");
    o = Eval("=Module.Var+1", nullptr, [](std::string_view n, FormulaValue& v) {
        if (n != "Module.Var") return false;
        v = FormulaValue::Number(1.5);
        return true;
    });
    EXPECT_EQ(FormulaText(o.value), "2,5");
}

struct ErrorCase {
    const char* formula;
    const char* message;  // expected part of the message
};

TEST(FormulaEvaluate, BrokenFormulasGiveClearMessages) {
    MapCells cells;
    const ErrorCase cases[] = {
        {"", "Программа расчета незадана"},
        {"   ", "Программа расчета незадана"},
        {"=Nope+1", "Строка(1: 5): Переменная \"Nope\" неопределена"},
        {"=1+", "Описание выражения вероятно незакончено"},
        {"=(1+2", "Ожидалась закрывающая скобка \")\""},
        {"=1/0", "Деление на ноль"},
        {"=1/(A1-A1)", "Деление на ноль"},
        {"=*2", "Ожидалось числовое значение или идентификатор"},
        {"='abc", "Незаконченная строка"},
        {"=1+#", "Недопусптимый символ \"#\""},
        {"=1.2.3", "Недопусптимый символ: \".\""},
        {"=SUM(1;2)", "Ожидалась ссылка на ячейку"},
        {"=SUM(A1:Q)", "Ожидалась ссылка на ячейку"},
        {"=SUM(A1;Zz)", "Переменная \"Zz\" неопределена"},
        {"=ROUND(2.5; 0; rsMid)", "Ожидалось Символ \",\""},
        {"=ROUND(2.5, 99, rsMid)", "от -15 до 15"},
        {"=IF(1; 2", "Ожидалось Закрывающая скобка \")\""},
        {"=^P(1):x", "Ожидалось числовое значение номера возвращаемого поля"},
        {"=IF('maybe'; 1; 2)", "не является логическим"},
        {"=^GETPRICE(1)", "Runtime.lib"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.formula);
        const Outcome o = Eval(c.formula, &cells);
        EXPECT_FALSE(o.ok);
        EXPECT_NE(o.error.find(c.message), std::string::npos) << o.error;
    }
}

TEST(FormulaEvaluate, DeepAndLongFormulasAreBounded) {
    // 60 additions stay within the stack (each adds after its operand)
    std::string longSum = "=1";
    for (int i = 0; i < 60; ++i)
        longSum += "+1";
    EXPECT_NEAR(Eval(longSum).value.num, 61, 0);
    // Right-nested brackets need one value per level: beyond the bound it fails clearly.
    std::string deep = "=";
    for (int i = 0; i < 200; ++i)
        deep += "1+(";
    deep += "1";
    for (int i = 0; i < 200; ++i)
        deep += ")";
    const Outcome o = Eval(deep);
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.error.find("вложена"), std::string::npos) << o.error;
    // 150 pushed values without an operator overflow the 100-value stack
    std::string many = "=";
    for (int i = 0; i < 150; ++i)
        many += "1 ; ";
    many += "1";
    // "1 ;" : the ";" after each expression is skipped, every 1 stays on the stack
    const Outcome m = Eval(many);
    EXPECT_FALSE(m.ok);
    EXPECT_NE(m.error.find("стек"), std::string::npos) << m.error;
}

// Records each look-up and answers from a table keyed by the first parameter.
class TableLookup : public FormulaLookup {
  public:
    bool create = true;
    std::vector<std::string> selects;
    std::vector<std::vector<std::string>> params;
    std::vector<int> fields;
    std::string driver, connection;
    bool Query(const std::string& d, const std::string& c, const std::string&,
               const std::string& select, const std::vector<std::string>& p, int field,
               std::string& value) override {
        driver = d;
        connection = c;
        selects.push_back(select);
        params.push_back(p);
        fields.push_back(field);
        if (!create) return false;
        value = p.empty() ? "" : (p[0] == "7" ? "12,5" : "none");
        return true;
    }
};

TEST(FormulaEvaluate, LookupBuildsSelectAndBindsLocaleFree) {
    MapCells cells;
    cells.Set("A1", "7");
    TableLookup lookup;
    auto resolver = [](std::string_view n, FormulaValue& v) {
        if (n == "defDBDriver")
            v = FormulaValue::Text("drv");
        else if (n == "defConnection")
            v = FormulaValue::Text("db.fdb");
        else
            return false;
        return true;
    };
    Outcome o = Eval("=^GETPRICE(A1, 'X'):2 * 2", &cells, resolver, &lookup);
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_DOUBLE_EQ(o.value.num, 25);
    ASSERT_EQ(lookup.selects.size(), 1u);
    EXPECT_EQ(lookup.selects[0], "SELECT * FROM GETPRICE(:PARAM0, :PARAM1)");
    EXPECT_EQ(lookup.params[0], (std::vector<std::string>{"7", "X"}));
    EXPECT_EQ(lookup.fields[0], 2);
    EXPECT_EQ(lookup.driver, "drv");
    EXPECT_EQ(lookup.connection, "db.fdb");
    // Fractions are bound with ".", never the regional comma.
    o = Eval("=^P(2.5)", &cells, resolver, &lookup);
    EXPECT_EQ(lookup.params.back(), std::vector<std::string>{"2.5"});
    EXPECT_EQ(lookup.selects.back(), "SELECT * FROM P(:PARAM0)");
    EXPECT_EQ(lookup.fields.back(), 0);
    // A query that cannot be created leaves an empty value: the sum goes on soundly.
    lookup.create = false;
    o = Eval("=^P(1)+1", &cells, resolver, &lookup);
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_DOUBLE_EQ(o.value.num, 1);
}

TEST(FormulaMachineDirect, HandMadeListsCannotUnderflowOrJumpAway) {
    TFormulaMachine m;
    std::vector<FormulaInstr> code{{FormulaOp::Add, {}}};
    EXPECT_THROW(m.Run(code), FormulaError);
    code = {{FormulaOp::Jump, FormulaValue::Number(1e9)}};
    EXPECT_THROW(m.Run(code), FormulaError);
    code = {{FormulaOp::Jump, FormulaValue::Number(0)}};
    EXPECT_THROW(m.Run(code), FormulaError);  // a loop is cut off
    code = {{FormulaOp::Call, FormulaValue{}}};
    EXPECT_THROW(m.Run(code), FormulaError);
}

}  // namespace
