// Source text -> instructions (golden disassembly of the main constructs) and -> exact compile
// error texts, including the limits this compiler adds (BREAK outside a loop, no Main, argument
// counts, nesting depth).
#include <gtest/gtest.h>

#include "rtl_source.h"
#include "test_util.h"

namespace zs = zentra::script;

namespace {

std::vector<std::string> lines(std::initializer_list<const char*> l) {
    return {l.begin(), l.end()};
}

TEST(CompilerGolden, ExpressionsPrecedenceAndNegation) {
    // -(a*b) is a true negation, literals are folded, a minus before a string does nothing
    EXPECT_EQ(
        kt::disasm("var a, b, x : integer;\nprocedure Main;\nbegin\n"
                   "  x := 2 + 3 * 4;\n  x := -(a * b);\n  x := -5 + -2.5;\n  x := - 's'\nend;\n"),
        lines({"0: PUSH '2' 1", "1: PUSH '3' 1", "2: PUSH '4' 1", "3: MUL", "4: ADD", "5: MOVS 3",
               "6: PUSH '0' 1", "7: MOVD 1", "8: MOVD 2", "9: MUL", "10: SUB", "11: MOVS 3",
               "12: PUSH '-5' 1", "13: PUSH '-2.5' 2", "14: ADD", "15: MOVS 3", "16: PUSH 's' 4",
               "17: MOVS 3", "18: HALT"}));
}

TEST(CompilerGolden, IfWhileForBreakContinue) {
    EXPECT_EQ(kt::disasm("var i, x : integer;\nprocedure Main;\nbegin\n"
                         "  if x = 1 then x := 2 else x := 3;\n"
                         "  while x < 10 do\n  begin\n    x := x + 1;\n"
                         "    if x = 5 then continue;\n    break\n  end;\n"
                         "  for i := 1 to 3 do x := i;\n  for i := 3 downto 1 do x := i\nend;\n"),
              lines({"0: MOVD 2", "1: PUSH '1' 1", "2: Mach", "3: JZ 7", "4: PUSH '2' 1",
                     "5: MOVS 2", "6: JMP 9", "7: PUSH '3' 1", "8: MOVS 2",
                     // while: condition, body, continue -> start, break -> end
                     "9: MOVD 2", "10: PUSH '10' 1", "11: Min", "12: JZ 25", "13: MOVD 2",
                     "14: PUSH '1' 1", "15: ADD", "16: MOVS 2", "17: MOVD 2", "18: PUSH '5' 1",
                     "19: Mach", "20: JZ 23", "21: JMP 9", "22: JMP 23", "23: JMP 25", "24: JMP 9",
                     // for: limit re-read each pass, exit when limit < variable
                     "25: PUSH '1' 1", "26: MOVS 1", "27: PUSH '3' 1", "28: MOVD 1", "29: Min",
                     "30: JNZ 37", "31: MOVD 1", "32: MOVS 2", "33: MOVD 1", "34: INC",
                     "35: MOVS 1", "36: JMP 27", "37: PUSH '3' 1", "38: MOVS 1", "39: PUSH '1' 1",
                     "40: MOVD 1", "41: Max", "42: JNZ 49", "43: MOVD 1", "44: MOVS 2",
                     "45: MOVD 1", "46: DEC", "47: MOVS 1", "48: JMP 39", "49: HALT"}));
}

TEST(CompilerGolden, CallsVarParametersFunctionsArraysAndSendEvent) {
    // cells: 1 n, 2 a, 3-4 SendEvent's parameters, 5 v, 6 d, 7 k, 8 Twice's result
    EXPECT_EQ(
        kt::disasm(std::string("var n : integer; a : array of pchar;\n") + kt::kSendEventDecl +
                   "procedure Swap(var v : integer; d : integer);\nbegin\n  v := v + d\nend;\n"
                   "function Twice(k : integer) : integer;\nbegin\n  result := k * 2\nend;\n"
                   "procedure Main;\nbegin\n  Swap(n, 1);\n  n := Twice(n);\n  a[n] := 'x';\n"
                   "  n := a.count + a[0];\n  SendEvent('LINE', n)\nend;\n"),
        lines({"0: MOVD 5", "1: MOVD 6", "2: ADD", "3: MOVS 5", "4: RET", "5: PUSH '0' 1",
               "6: MOVS 8", "7: MOVD 7", "8: PUSH '2' 1", "9: MUL", "10: MOVS 8", "11: RET",
               // Swap(n, 1): arguments straight into the parameter cells, then copy-back
               "12: MOVD 1", "13: MOVS 5", "14: PUSH '1' 1", "15: MOVS 6", "16: PUSH '0' 1",
               "17: PUSH '2' 1", "18: PUSH '0' 1", "19: PUSH '21' 1", "20: CALL 0", "21: MOVD 5",
               "22: MOVS 1", "23: MOVD 1", "24: MOVS 7", "25: PUSH '0' 1", "26: PUSH '1' 1",
               "27: PUSH '0' 1", "28: PUSH '30' 1", "29: CALL 5", "30: MOVD 8", "31: MOVS 1",
               "32: MOVD 1", "33: PUSH 'x' 4", "34: SAV 2 -1 4", "35: GAEC 2", "36: PUSH '0' 1",
               "37: GAV 2 -1", "38: ADD", "39: MOVS 1",
               // SendEvent: name, then value + name per further argument, flag 1
               "40: PUSH '5' 1", "41: PUSH 'SendEvent' 4", "42: PUSH 'Runtime.lib' 4",
               "43: PUSH 'LINE' 4", "44: MOVD 1", "45: PUSH 'n' 4", "46: PUSH '1' 1",
               "47: PUSH '2' 1", "48: PUSH '1' 1", "49: PUSH '51' 1", "50: CALL -1", "51: HALT"}));
}

TEST(CompilerGolden, HostValuesAreAssignedAtTheStartOfMain) {
    zs::Script script;
    script.source = kt::cp(
        "var Total : integer; Name : pchar;\nprocedure Main;\nvar Local : integer;\n"
        "begin\n  Total := Total\nend;\n");
    script.hostVariables.setVariable("TOTAL", 7LL, zs::kTypeInteger);
    script.hostVariables.setVariable("local", 1LL, zs::kTypeInteger);  // locals are not filled
    script.hostVariables.setVariable("name", std::string("x"), zs::kTypeText);
    ASSERT_TRUE(script.compile());
    std::vector<std::string> got;
    for (std::size_t i = 0; i < script.machine().code.size(); ++i) {
        got.push_back(zs::disassemble(script.machine().code[i], i));
    }
    EXPECT_EQ(got, lines({"0: PUSH '7' 1", "1: MOVS 1", "2: PUSH 'x' 4", "3: MOVS 2", "4: MOVD 1",
                          "5: MOVS 1", "6: HALT"}));
    EXPECT_EQ(script.machine().entryIndex, 0);
}

// Disassembly of the report script alone when compiled after the library.
std::vector<std::string> withLibrary(const std::string& utf8, std::vector<std::string>* warnings) {
    zs::Script script;
    script.librarySource = std::string(zs::rtlSource());
    script.source = kt::cp(utf8);
    script.onError = [&](int kind, const std::string& text, int, int) {
        if (warnings) warnings->push_back(std::to_string(kind) + " " + kt::u8(text));
    };
    script.compile();
    std::vector<std::string> out;
    for (std::size_t i = 0; i < script.machine().code.size(); ++i) {
        out.push_back(kt::u8(zs::disassemble(script.machine().code[i], i)));
    }
    return out;
}

bool contains(const std::vector<std::string>& v, const std::string& needle) {
    for (const auto& s : v) {
        if (s.find(needle) != std::string::npos) return true;
    }
    return false;
}

TEST(CompilerSql, InlineTextEndsOnlyAtKeywordTokensNotAtStringLiterals) {
    const auto code = withLibrary(
        "var x : pchar; id : integer; d : pchar;\nprocedure Main;\nbegin\n"
        "  for connect(d, 'db') select name from t where kind = 'into' and id = :id into :x do\n"
        "    x := x\nend;\n",
        nullptr);
    EXPECT_TRUE(contains(code, "PUSH ' select name from t where kind = 'into' AND id = :id' 4"));
    for (const char* routine : {"'Query_Create'", "'Param_AsInteger'", "'Query_Execute'",
                                "'Query_EOF'", "'Field_AsPChar'", "'Query_Next'", "'Query_Free'"}) {
        EXPECT_TRUE(contains(code, routine)) << routine;
    }
}

TEST(CompilerSql, StatementFormAndEmptyTextWarning) {
    std::vector<std::string> messages;
    const auto code = withLibrary(
        "var n : double; d : pchar;\nprocedure Main;\nbegin\n"
        "  execsql connect(d, 'db') endsql;\n"
        "  execsql connect(d, 'db') setsql('select 1 from t') sqlreturns :n endsql\nend;\n",
        &messages);
    ASSERT_FALSE(code.empty());
    EXPECT_EQ(messages,
              lines({"1 [Warning] (3:0): Текст SQL запроса не задан. При выполнение может "
                     "произойти ошибка."}));
    EXPECT_TRUE(contains(code, "PUSH 'select 1 from t' 4"));
    EXPECT_TRUE(contains(code, "'Field_AsDouble'"));
    EXPECT_FALSE(contains(code, "'Query_Next'"));  // the statement form reads one row
}

struct ErrorCase {
    const char* source;
    const char* error;
};

class CompileErrorTable : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CompileErrorTable, ReportsExactText) {
    EXPECT_EQ(kt::compileError(GetParam().source), GetParam().error) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(
    Compiler, CompileErrorTable,
    ::testing::Values(
        ErrorCase{"", "[Error] (0:-1): Программа незадана"},
        ErrorCase{"begin end", "[Error] (0:-1): Неизвестный идентификатор \"BEGIN\""},
        ErrorCase{"procedure Main;\nbegin\n  x := 1\nend;",
                  "[Error] (2:3): Неизвестный идентификатор \"x\""},
        ErrorCase{"var x : integer; X : double;",
                  "[Error] (0:16): Идентификатор \"X\" уже существует"},
        ErrorCase{"var x : integer;\nprocedure Main;\nbegin\n  x := ;\nend;",
                  "[Error] (3:8): Ожидалось выражение"},
        ErrorCase{"var x : integer;\nprocedure Main;\nbegin\n  x :=",
                  "[Error] (3:7): Описание выражения вероятно незакончено"},
        ErrorCase{"var x : integer;\nprocedure Main;\nbegin\n  x := (1 + 2\nend;",
                  "[Error] (4:1): Ожидалась закрывающая скобка \")\""},
        ErrorCase{"var x integer;", "[Error] (0:5): Ожидалось \":\" и описание типа переменной"},
        ErrorCase{"const c 5;", "[Error] (0:7): Ожидалось \"=\" и значение константы"},
        ErrorCase{"var x : foo;",
                  "[Error] (0:7): \"FOO\" не является типом данных! Ожидался тип данных."},
        ErrorCase{"procedure P(a, b); begin end;", "[Error] (0:15): Ожидался тип переменной"},
        ErrorCase{"procedure P(a : integer); external; 'lib';",
                  "[Error] (0:35): Ожидалось описание метода вызова внешней процедуры \"P\""},
        ErrorCase{"procedure P(a : integer); external; stdcall; lib;",
                  "[Error] (0:44): Ожидалось описание имени модуля внешней процедуры \"P\""},
        ErrorCase{"procedure P(a : integer); begin end;\nprocedure Main; begin P end;",
                  "[Error] (1:25): Ожидалось описание передачи параметров в вызываемую "
                  "процедуру \"P\""},
        ErrorCase{"procedure P(a, b, c : integer); begin end;\nprocedure Main; begin P(1, 2) end;",
                  "[Error] (1:29): Процедура \"P\" содержит 3 параметра, а описано только 2"},
        ErrorCase{"procedure P(a : integer); begin end;\nprocedure Main; begin P(1, 2) end;",
                  "[Error] (1:26): Ожидалось Символ \")\""},
        ErrorCase{"procedure P(var a : integer); begin end;\nprocedure Main; begin P(5) end;",
                  "[Error] (1:25): Ожидался идентификатор"},
        ErrorCase{"var x : integer;\nprocedure Main; begin x 1 end;",
                  "[Error] (1:25): Ожидался оператор присвоения \":=\""},
        ErrorCase{"var x : integer;\nprocedure Main; begin for x := 1 upto 2 do x := 1 end;",
                  "[Error] (1:34): Ожидалось зарезервированное слово \"TO\" или \"DOWNTO\""},
        ErrorCase{"include x;", "[Error] (0:7): Ожидалось строковое значение: <название модуля>"},
        // a block in the middle of a statement list ends the list
        ErrorCase{"var a, b, c : integer;\nprocedure Main;\nbegin\n  a := 1; begin b := 2 end; c "
                  ":= 3\nend;",
                  "[Error] (3:11): Ожидалось Зарезервированное слово \"END\""},
        ErrorCase{"var a : integer;\nprocedure Main;\nbegin\n  a := 1\n  a := 2\nend;",
                  "[Error] (4:3): Ожидалось Зарезервированное слово \"END\""},
        ErrorCase{"class C of D; endclass;", "[Error] (0:10): Ненайден  базовый класс\"D\"!"},
        ErrorCase{"class 5", "[Error] (0:5): Ожидалось описание класса: <название> of <тип> "},
        ErrorCase{"class C; procedure Foo;",
                  "[Error] (0:22): Ожидалось \"endclass\" в описании класса \"C\""},
        ErrorCase{"var a : array of integer;\nprocedure Main; begin a.size := 1 end;",
                  "[Error] (1:25): Неизвестный идентификатор \"size\""},
        // limits of our own instead of jumps to 0 or running the library's first routine
        ErrorCase{"procedure Main;\nbegin\n  break\nend;",
                  "[Error] (2:3): Оператор BREAK вне цикла"},
        ErrorCase{"procedure Main;\nbegin\n  continue\nend;",
                  "[Error] (2:3): Оператор CONTINUE вне цикла"},
        ErrorCase{"var a : integer;\nprocedure P; begin a := 1 end;",
                  "[Error] (1:31): В программе нет процедуры Main"}));

TEST(CompilerLimits, TooManyArgumentsAndParameters) {
    std::string params, args = "'E'";
    for (int i = 0; i < 257; ++i) {
        params += (i ? "; p" : "p") + std::to_string(i) + " : integer";
    }
    std::string vars = "var ";
    for (int i = 0; i < 256; ++i) {
        vars += (i ? ", v" : "v") + std::to_string(i);
        args += ", v" + std::to_string(i);
    }
    vars += " : integer;\n";
    EXPECT_NE(kt::compileError("procedure P(" + params + "); external; stdcall; 'x.lib';")
                  .find("): Внешняя процедура \"P\" описана с более чем 256 параметрами"),
              std::string::npos);
    const std::string err = kt::compileError(
        vars + kt::kSendEventDecl + "procedure Main;\nbegin\n  SendEvent(" + args + ")\nend;");
    EXPECT_NE(err.find("Слишком много аргументов в вызове \"SendEvent\" (более 256)"),
              std::string::npos)
        << err;
    // 255 further arguments are fine
    args.resize(args.rfind(','));
    EXPECT_EQ(kt::compileError(vars + kt::kSendEventDecl + "procedure Main;\nbegin\n  SendEvent(" +
                               args + ")\nend;"),
              "");
}

TEST(CompilerLimits, DeepNestingIsAnErrorNotAStackOverflow) {
    for (int depth : {150, 100000}) {
        std::string expr = std::string(static_cast<std::size_t>(depth), '(') + "1" +
                           std::string(static_cast<std::size_t>(depth), ')');
        const std::string err =
            kt::compileError("var x : integer;\nprocedure Main;\nbegin\n  x := " + expr + "\nend;");
        if (depth < zs::kMaxNesting / 2) {
            EXPECT_EQ(err, "");
        } else {
            EXPECT_NE(err.find("Слишком глубокая вложенность"), std::string::npos) << err;
        }
    }
    std::string ifs;
    for (int i = 0; i < 5000; ++i)
        ifs += "if 1 then ";
    EXPECT_NE(kt::compileError("var x : integer;\nprocedure Main;\nbegin\n" + ifs + "x := 1\nend;")
                  .find("Слишком глубокая вложенность"),
              std::string::npos);
}

TEST(Compiler, RoutinesSeeThemselvesButNotLaterOnes) {
    EXPECT_EQ(kt::compileError("procedure P; begin P end;\nprocedure Main; begin P end;"), "");
    EXPECT_EQ(kt::compileError("procedure Main; begin Q end;\nprocedure Q; begin end;"),
              "[Error] (0:21): Неизвестный идентификатор \"Q\"");
}

TEST(Compiler, LocalsMayHideGlobalsButNotRepeatParameters) {
    EXPECT_EQ(
        kt::compileError("var x : integer;\nprocedure Main;\nvar x : pchar;\nbegin x := 'a' end;"),
        "");
    EXPECT_EQ(kt::compileError("procedure P(a : integer);\nvar a : integer;\nbegin end;"),
              "[Error] (1:5): Идентификатор \"a\" уже существует");
}

TEST(Compiler, TheLibraryCompilesAndItsRoutinesAreCallable) {
    EXPECT_EQ(kt::compileError("var r : integer;\nprocedure Main;\nbegin\n  NewLine;\n"
                               "  r := GetActiveRow;\n  StartRow(r)\nend;",
                               true),
              "");
}

}  // namespace
