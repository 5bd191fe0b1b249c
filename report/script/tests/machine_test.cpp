// Source text -> event trace, and -> exact run-time error text with the machine-state lines.
// Covers the value rules (explicit conversions, Boolean comparisons), arrays, calls, Stop,
// message pumping on a time budget and the SendEvent answer rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "rtl_source.h"
#include "test_util.h"

namespace zs = zentra::script;

namespace {

// A program with globals `vars`, the event routine, optional routines and a Main body.
std::string program(const std::string& vars, const std::string& body,
                    const std::string& routines = "") {
    return (vars.empty() ? "" : "var " + vars + "\n") + kt::kSendEventDecl + routines +
           "procedure Main;\nbegin\n" + body + "\nend;\n";
}

struct TraceCase {
    const char* name;
    const char* vars;
    const char* body;
    std::vector<std::string> events;
    const char* routines = "";
};

void PrintTo(const TraceCase& c, std::ostream* os) {
    *os << c.name;
}

class TraceTable : public ::testing::TestWithParam<TraceCase> {};

// Every cell of the data segment with its type codes, storage kind and exact number, and every
// element, so that two runs can be compared beyond what the events show.
std::vector<std::string> cellDump(const zs::RunTimeData& data) {
    auto value = [](const zs::Value& v) {
        char num[64];
        std::snprintf(num, sizeof num, "%a", v.num);
        return std::to_string(v.type) + "/" + std::to_string(v.flags) + "/" +
               std::to_string(static_cast<int>(v.store)) + "/" + num + "/" + v.text;
    };
    std::vector<std::string> out;
    for (int i = 0; i < data.count(); ++i) {
        const zs::DataCell& c = data.cell(i);
        std::string line =
            std::to_string(i) + " " + std::to_string(c.declaredType) + " " + value(c.v) + " [";
        for (const zs::Value& e : c.elems)
            line += value(e) + ";";
        for (double d : c.nums) {
            char num[64];
            std::snprintf(num, sizeof num, "%a;", d);
            line += num;
        }
        out.push_back(line + "]");
    }
    return out;
}

TEST_P(TraceTable, PrintsExpectedEvents) {
    const TraceCase& c = GetParam();
    std::vector<std::string> cells[2];
    for (bool fused : {true, false}) {  // fused forms and plain instructions must agree
        const kt::Outcome o =
            kt::run(program(c.vars, c.body, c.routines), false, [&](zs::Script& s) {
                s.machine().limits.fuseSequences = fused;
                // the data segment outlives the run: record it when the run is over
                auto finished = s.machine().onFinish;
                s.machine().onFinish = [&s, &cells, fused, finished] {
                    finished();
                    cells[fused] = cellDump(s.machine().data);
                };
            });
        ASSERT_TRUE(o.compiled) << o.compileError;
        EXPECT_EQ(o.runError, "") << "fused " << fused;
        EXPECT_EQ(o.events, c.events) << "fused " << fused;
        EXPECT_EQ(o.finishCalls, 1);
    }
    ASSERT_FALSE(cells[0].empty());
    EXPECT_EQ(cells[1], cells[0]);  // same values, types and storage kinds, element by element
}

INSTANTIATE_TEST_SUITE_P(
    Machine, TraceTable,
    ::testing::Values(
        TraceCase{"Precedence",
                  "x, y : integer; b : boolean;",
                  "x := 2 + 3 * 4; SendEvent('A', x); x := 2 * 3 + 4; SendEvent('B', x);"
                  "b := 1 + 2 = 3; SendEvent('C', b); x := 0; y := 5;"
                  // one level, left to right: ((x > 1) AND y) > 1 -> (0 AND 5) > 1 -> 0
                  "b := x > 1 AND y > 1; SendEvent('D', b)",
                  {"A X=14", "B X=10", "C B=1", "D B=0"}},
        TraceCase{"IntegerCellsKeepFractions",
                  "x : integer;",
                  "x := 2.5; SendEvent('A', x); x := x + 1; SendEvent('B', x); x := 7 / 2;"
                  "SendEvent('C', x)",
                  {"A X=2,5", "B X=3,5", "C X=3,5"}},
        TraceCase{"ForLoopLimitsAndFractions",
                  "i, n : integer;",
                  "for i := 1 to 3 do SendEvent('I', i); SendEvent('AFTER', i);"
                  // the limit is read before every pass
                  "n := 2; for i := 1 to n do begin SendEvent('J', i); n := 3 end;"
                  // INC truncates: 1 -> 2.5 -> 3 -> 4.5 -> 5
                  "for i := 1 to 5 do begin SendEvent('K', i); i := i + 1.5 end;"
                  "for i := 3 downto 2 do SendEvent('D', i)",
                  {"I I=1", "I I=2", "I I=3", "AFTER I=4", "J I=1", "J I=2", "J I=3", "K I=1",
                   "K I=3", "K I=5", "D I=3", "D I=2"}},
        TraceCase{"BreakAndContinueBindToTheInnermostLoop",
                  "i, j : integer;",
                  "for i := 1 to 3 do begin\n"
                  "  for j := 1 to 3 do begin if j = 2 then break; SendEvent('J', i, j) end;\n"
                  "  if i = 2 then break;\n"
                  "end;\n"
                  "i := 0; while i < 4 do begin i := i + 1; if i = 2 then continue; SendEvent('W', "
                  "i) end;",
                  {"J I=1 J=1", "J I=2 J=1", "W I=1", "W I=3", "W I=4"}},
        TraceCase{"ArraysGrowOnReadAndCount",
                  "a : array of integer; t : array of pchar; x : integer; s : pchar;",
                  "x := a[10]; SendEvent('A', x); x := a.count; SendEvent('N', x);"
                  "t[1] := 'b'; s := t[0] + t[1]; SendEvent('S', s); t[0] := 5; s := t[0]; "
                  "SendEvent('T', s)",
                  {"A X=0", "N X=11", "S S=b", "T S=5"}},
        TraceCase{"NumericArraysConvertLikeVariables",
                  "b : array of boolean; d : array of double; x : double; n : integer;",
                  "b[2] := 1 = 1; x := b[2] + b[0]; SendEvent('B', x); d[1] := '2,5';"
                  "d[0] := d[1] * 2; x := d[0]; SendEvent('D', x); n := d.count + b.count; "
                  "SendEvent('N', n)",
                  {"B X=1", "D X=5", "N N=5"}},
        TraceCase{"FunctionsVarParametersAndDefaultResults",
                  "x : integer; s : pchar;",
                  "x := 1; Bump(x); SendEvent('V', x); x := NoResult; SendEvent('F', x);"
                  "s := NoText + 'z'; SendEvent('T', s); x := Twice(Twice(3)); SendEvent('W', x)",
                  {"V X=11", "F X=0", "T S=z", "W X=12"},
                  "procedure Bump(var v : integer); begin v := v + 10 end;\n"
                  "function NoResult : integer; begin end;\n"
                  "function NoText : pchar; begin end;\n"
                  "function Twice(k : integer) : integer; begin result := k * 2 end;\n"},
        TraceCase{"ComparisonsAreBooleansSoAndOrCombineThem",
                  "s, t : pchar; b : boolean; n : integer;",
                  "s := 'a'; t := 'b';"
                  "if (s = 'a') and (t = 'b') then SendEvent('BOTH') else SendEvent('NOT');"
                  "if (s = 'a') and (t = 'x') then SendEvent('WRONG') else SendEvent('ONE');"
                  "if (s = 'x') or (t = 'b') then SendEvent('OR');"
                  "b := s < t; SendEvent('LT', b); n := 5;"
                  "if n = '5' then SendEvent('NUMTEXT'); if 'abc' <> n then SendEvent('DIFF')",
                  {"BOTH", "ONE", "OR", "LT B=1", "NUMTEXT", "DIFF"}},
        TraceCase{
            "TrueNegation",
            "a, b, x : integer; arr : array of integer;",
            "a := 2; b := 3; x := -(a * b); SendEvent('A', x);"
            "x := -Twice(a); SendEvent('B', x);"
            "arr[1] := 7; x := 1; x := -arr[x]; SendEvent('C', x); x := --4; SendEvent('D', x)",
            {"A X=-6", "B X=-4", "C X=-7", "D X=4"},
            "function Twice(k : integer) : integer; begin result := k * 2 end;\n"},
        TraceCase{
            "ExplicitConversionsAndConcatenation",
            "s : pchar; n : integer; d : double; v : variant;",
            "s := 5; SendEvent('A', s); n := '12'; n := n + 1; SendEvent('B', n);"
            "s := 'n=' + n + ', d=' + 2.5; SendEvent('C', s); d := ' 1,25 '; SendEvent('D', d);"
            "v := 5; v := v + 1; SendEvent('E', v); v := 'a'; v := v + 'b'; SendEvent('F', v)",
            {"A S=5", "B N=13", "C S=n=13, d=2,5", "D D=1,25", "E V=6", "F V=ab"}},
        TraceCase{
            "NumberTextForm",
            "d : double;",
            "d := 0.1 + 0.2; SendEvent('A', d); d := 100000000000 * 1000000000;"
            "SendEvent('B', d); d := 0 - 0.001; SendEvent('C', d); d := 1 / 3; SendEvent('D', d)",
            {"A D=0,3", "B D=1E20", "C D=-0,001", "D D=0,333333333333333"}},
        // texts and fractional or missing indexes defeat the fast forms: the plain ones agree
        TraceCase{
            "GuardsFallBackToPlainForms",
            "v : variant; x : integer; a : array of integer; d : double;",
            "v := '5'; x := v + 1; SendEvent('A', x); x := 1 + v; SendEvent('B', x);"
            "a[2] := 7; d := 2.5; x := a[d]; SendEvent('C', x); x := a[d - 1] + a[d]; "
            "SendEvent('D', x);"
            "x := a[5]; SendEvent('E', x); x := a.count; SendEvent('F', x);"
            "for v := 1 to 2 do SendEvent('V', v); a[d + 1] := v; x := a[3]; SendEvent('G', x)",
            {"A X=51", "B X=6", "C X=7", "D X=7", "E X=0", "F X=6", "V V=1", "V V=2", "G X=3"}},
        // the fast forms compare elements in place; texts and mixed Variant elements go
        // through the plain comparison, so every kind of array sorts the same both ways
        TraceCase{
            "BubbleSortOfEveryArrayKind",
            "a : array of integer; d : array of double; t : array of pchar;"
            "v : array of variant; i, j, n, k : integer; x : double; s : pchar; w : variant;",
            "a[0] := 3; a[1] := -1; a[2] := 7; a[3] := -1; a[4] := 0; n := a.count;\n"
            "for i := 0 to n - 2 do for j := 0 to n - 2 - i do\n"
            "  if a[j] > a[j + 1] then begin k := a[j]; a[j] := a[j + 1]; a[j + 1] := k end;\n"
            "s := ''; for i := 0 to n - 1 do s := s + a[i] + ' '; SendEvent('A', s);\n"
            "d[0] := 2.5; d[1] := -0.25; d[2] := 2.25; d[3] := 10; n := d.count;\n"
            "for i := n - 2 downto 0 do for j := 0 to i do\n"
            "  if d[j + 1] < d[j] then begin x := d[j + 1]; d[j + 1] := d[j]; d[j] := x end;\n"
            "s := ''; for i := 0 to n - 1 do s := s + d[i] + ' '; SendEvent('D', s);\n"
            "t[0] := 'pear'; t[1] := 'apple'; t[2] := 10; t[3] := 9; n := t.count;\n"
            "for i := 0 to n - 2 do for j := 0 to n - 2 - i do\n"
            "  if t[j] > t[j + 1] then begin s := t[j]; t[j] := t[j + 1]; t[j + 1] := s end;\n"
            "s := ''; for i := 0 to n - 1 do s := s + t[i] + ' '; SendEvent('T', s);\n"
            "v[0] := 'b'; v[1] := 10; v[2] := 2.5; v[3] := '9'; v[4] := 'a'; n := v.count;\n"
            "for i := 0 to n - 2 do for j := 0 to n - 2 - i do\n"
            "  if v[j] > v[j + 1] then begin w := v[j]; v[j] := v[j + 1]; v[j + 1] := w end;\n"
            "s := ''; for i := 0 to n - 1 do s := s + v[i] + ' '; SendEvent('V', s)",
            {"A S=-1 -1 0 3 7 ", "D S=-0,25 2,25 2,5 10 ", "T S=10 9 apple pear ",
             "V S=2,5 9 10 a b "}},
        // operands computed from up to three terms: element indexes, loop limits read after
        // every step (from elements, with fractions, changed by the body), typed results
        TraceCase{
            "ComputedIndexesAndLoopLimits",
            "a : array of integer; i, n, k : integer; b1, b2 : boolean; x : double;"
            "w, u, p, q : variant; s : pchar;",
            "n := 3; for i := 0 to n * 2 - 1 do a[i * 2 - 1 + 1] := i - n - 1;\n"
            "k := a.count; s := ''; for i := 0 to k - 1 do s := s + a[i] + ' ';\n"
            "SendEvent('A', s, k);\n"
            "k := 0; for i := 1 to n + 1 do begin k := k + i; n := n - 1 end; SendEvent('K', k, "
            "i);\n"
            "n := 3; x := 0; for i := 0 to a[10] + n - 1.5 do x := x + i; SendEvent('X', x, i);\n"
            "k := 0; for i := n * 2 downto n - 1 do k := k * 10 + i; SendEvent('D', k);\n"
            "n := 11; k := a[n + 1]; n := a.count; SendEvent('G', k, n);\n"
            "b1 := 1 = 1; b2 := 0 = 1; w := b1 + b2; u := b1 * 3 - 1; SendEvent('B', w, u);\n"
            "p := '5'; x := p - 1 + 2; q := '3'; k := 0; for i := 1 to q do k := k + i;\n"
            "SendEvent('T', x, k);\n"
            "x := 0.5; n := 4; k := a[n * x - 1] + a[n - x * 3]; SendEvent('F', k)",
            {"A S=-4 0 -3 0 -2 0 -1 0 0 0 1  K=11", "K K=3 I=3", "X X=3 I=3", "D K=65432",
             "G K=0 N=13", "B W=1 U=2", "T X=6 K=6", "F K=-3"}},
        // exchanges of two elements through a cell run as one fast form; reads past the end
        // grow the array, an index naming the cell itself sees its new value, and a text index
        // concatenates ('1' + 1 is '11')
        TraceCase{
            "ElementExchanges",
            "a : array of integer; d : array of double; i, n, t : integer; x : double;"
            "k : variant; s : pchar;",
            "for i := 0 to 5 do a[i] := i * 10; n := 6;\n"
            "for i := 0 to n / 2 - 1 do begin t := a[i]; a[i] := a[n - 1 - i]; a[n - 1 - i] := t "
            "end;\n"
            "s := ''; for i := 0 to n - 1 do s := s + a[i] + ' '; SendEvent('R', s, t);\n"
            "i := 2; t := a[i]; a[i] := a[i]; a[i] := t; SendEvent('SAME', t);\n"
            "i := 4; t := a[i]; a[i] := a[i + 3]; a[i + 3] := t; n := a.count;\n"
            "s := ''; for i := 0 to n - 1 do s := s + a[i] + ' '; SendEvent('GROW', s, t);\n"
            "t := 1; t := a[t]; a[t] := a[t + 1]; a[t + 1] := t; n := a.count;\n"
            "SendEvent('SELF', t, n);\n"
            "d[0] := 0.5; d[1] := -1.25; i := 0; x := d[i]; d[i] := d[i + 1]; d[i + 1] := x;\n"
            "s := ''; s := s + d[0] + ' ' + d[1]; SendEvent('D', s, x);\n"
            "k := '1'; t := a[k]; a[k] := a[k + 1]; a[k + 1] := t; s := '';\n"
            "s := s + a[1] + ' ' + a[11];"
            "SendEvent('K', s, t)",
            {"R S=50 40 30 20 10 0  T=20", "SAME T=30", "GROW S=50 40 30 20 0 0 0 10  T=10",
             "SELF T=40 N=42", "D S=-1,25 0,5 X=0,5", "K S=0 40 T=40"}},
        TraceCase{"ExitAndTerminate",
                  "x : integer;",
                  "SendEvent('A'); P; SendEvent('B'); Q; SendEvent('NEVER')",
                  {"A", "P", "B", "Q"},
                  "procedure P; begin SendEvent('P'); exit; SendEvent('NEVER') end;\n"
                  "procedure Q; begin SendEvent('Q'); terminate; SendEvent('NEVER') end;\n"}));

struct ErrorCase {
    const char* name;
    const char* vars;
    const char* body;
    const char* message;
    const char* command;
    const char* routines = "";
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class RunErrorTable : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(RunErrorTable, EndsWithExactTextAndState) {
    const ErrorCase& c = GetParam();
    const kt::Outcome o = kt::run(program(c.vars, c.body, c.routines));
    const kt::Outcome plain =
        kt::run(program(c.vars, c.body, c.routines), false,
                [](zs::Script& s) { s.machine().limits.fuseSequences = false; });
    EXPECT_EQ(plain.runError, o.runError);  // same text, same instruction number
    ASSERT_TRUE(o.compiled) << o.compileError;
    EXPECT_EQ(o.status, zs::RunStatus::Error);
    const std::string head =
        std::string(c.message) +
        "\r************* VirtualMachine State *************\r* Command Number: ";
    ASSERT_EQ(o.runError.substr(0, head.size()), head) << o.runError;
    const std::string tail = std::string("   * Command Name: ") + c.command;
    EXPECT_EQ(o.runError.substr(o.runError.size() - tail.size()), tail) << o.runError;
    EXPECT_EQ(o.finishCalls, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Machine, RunErrorTable,
    ::testing::Values(
        ErrorCase{"NegativeIndex", "a : array of integer; x : integer;", "x := a[-1]",
                  "Выход за пределы массива.", "GAV"},
        ErrorCase{"NegativeComputedIndex", "a : array of integer; i, x : integer;",
                  "a[3] := 1; i := 1; x := a[i - 2] + a[i]", "Выход за пределы массива.", "GAV"},
        ErrorCase{"NegativeComputedStoreIndex", "a : array of integer; i : integer;",
                  "a[3] := 1; i := 1; a[i * 2 - 3] := a[i]", "Выход за пределы массива.", "SAV"},
        ErrorCase{"ComputedIndexOverTheCap", "a : array of double; i : integer; x : double;",
                  "i := 100000; x := a[i * i - 1]", "Выход за пределы массива.", "GAV"},
        ErrorCase{"TextInAComputedIndex", "a : array of integer; v : variant; x : integer;",
                  "v := 'x'; a[1] := 1; x := a[v + 1]", "Значение \"x1\" не является числом",
                  "GAV"},
        ErrorCase{"NegativeIndexInAnExchange", "a : array of integer; i, t : integer;",
                  "a[1] := 5; i := 0; t := a[i]; a[i] := a[i - 1]; a[i - 1] := t",
                  "Выход за пределы массива.", "GAV"},
        ErrorCase{"HugeIndexIsCapped", "a : array of integer;", "a[20000000] := 1",
                  "Выход за пределы массива.", "SAV"},
        ErrorCase{"CountCannotBeAssigned", "a : array of integer;", "a.count := 1",
                  "Выход за пределы массива.", "SAV"},
        ErrorCase{"TextIntoANumericArray", "a : array of double;", "a[1] := 'abc'",
                  "Значение \"abc\" не является числом", "SAV"},
        ErrorCase{"DivisionByZero", "x : integer;", "x := 0; x := 1 / x", "Деление на ноль", "DIV"},
        ErrorCase{"TextIsNotANumber", "x : integer;", "x := 'abc'",
                  "Значение \"abc\" не является числом", "MOVS"},
        ErrorCase{"TextAsCondition", "s : pchar;", "s := 'yes'; if s then s := ''",
                  "Значение \"yes\" не является числом", "JZ"},
        ErrorCase{"LogicOutOfRange", "x : double; b : integer;",
                  "x := 100000000000 * 100000000000 * 1000; b := x and 1",
                  "Ошибка в условной операции", "AND"},
        ErrorCase{"IndexOutOfRangeOfIntegers", "a : array of integer; d : double; x : integer;",
                  "d := 100000000000 * 100000000000 * 1000; x := a[d]",
                  "Число вне допустимого диапазона", "GAV"},
        ErrorCase{"DeepRecursion", "", "R",
                  "Переполнение стека возвратов: слишком глубокая рекурсия", "CALL",
                  "procedure R; begin R end;\n"},
        ErrorCase{"ExternalCallIntoAMissingLibrary", "n : integer;", "n := StrLen('abc')",
                  "Библиотека \"absent runtime.lib\" ненайдена", "CALL",
                  "function StrLen(Text : pchar) : integer; external; stdcall; "
                  "'Absent Runtime.LIB';\n"}));

TEST(Machine, ErrorReportsTheInstructionNumber) {
    const kt::Outcome o =
        kt::run(program("a : array of integer; x : integer;", "x := 1; x := a[-1]"));
    // 0 PUSH 1, 1 MOVS, 2 PUSH -1, 3 GAV
    EXPECT_NE(o.runError.find("* Command Number: 3   * Command Name: GAV"), std::string::npos)
        << o.runError;
}

// Runs a compiled script whose event handler can act on the machine.
struct Harness {
    zs::Script script;
    std::vector<std::string> events;
    std::function<void(std::string_view, std::string&)> react;
    int finishes = 0;

    explicit Harness(const std::string& source) {
        script.source = kt::cp(source);
        script.onSendEvent = [this](std::string_view e, std::span<const zs::EventArg> args,
                                    std::string& answer) {
            events.push_back(kt::eventLine(e, args));
            if (react) react(e, answer);
        };
        script.machine().onFinish = [this] { ++finishes; };
    }
};

TEST(MachineStop, EndsTheRunAtOnceEvenInsideANestedRoutine) {
    // Main is not the last routine, and the loop runs inside P called from Main: Stop must not
    // return into Main.
    Harness h(std::string("var i : integer;\n") + kt::kSendEventDecl +
              "procedure P; begin while 1 do begin i := i + 1; SendEvent('TICK', i) end; end;\n"
              "procedure Main; begin P; SendEvent('AFTER') end;\n"
              "procedure Last; begin SendEvent('LAST') end;\n");
    h.react = [&](std::string_view, std::string&) {
        if (h.events.size() == 3) h.script.stop();
    };
    EXPECT_EQ(h.script.run(), zs::RunStatus::Stopped);
    EXPECT_EQ(h.events, (std::vector<std::string>{"TICK I=1", "TICK I=2", "TICK I=3"}));
    EXPECT_EQ(h.finishes, 1);
}

TEST(MachineStop, FromAnotherThreadEndsAnEndlessLoop) {
    Harness h("var i : integer;\nprocedure Main; begin while 1 do i := i + 1 end;\n");
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        h.script.stop();
    });
    EXPECT_EQ(h.script.run(), zs::RunStatus::Stopped);
    stopper.join();
    EXPECT_EQ(h.finishes, 1);
}

TEST(MachinePause, PausedRunKeepsItsStateAndResumesWhereItStopped) {
    Harness h(std::string("var i, s : integer;\n") + kt::kSendEventDecl +
              "procedure Main; begin for i := 1 to 100000 do begin s := s + i;"
              " if i = 5000 then SendEvent('P') end; SendEvent('DONE', s) end;\n");
    h.react = [&](std::string_view e, std::string&) {
        if (e == "P") h.script.machine().pause();
    };
    ASSERT_EQ(h.script.run(), zs::RunStatus::Paused);
    EXPECT_TRUE(h.script.machine().paused());
    EXPECT_EQ(h.finishes, 0);
    EXPECT_EQ(h.script.run(), zs::RunStatus::Refused);
    std::string s;
    ASSERT_TRUE(h.script.getVariableValue("", "i", s));
    const int i = std::stoi(s);
    EXPECT_GE(i, 5000);
    EXPECT_LT(i, 8000);  // held within one check-point interval
    EXPECT_EQ(h.script.machine().resume(), zs::RunStatus::Finished);
    EXPECT_EQ(h.script.machine().resume(), zs::RunStatus::Refused);
    EXPECT_EQ(h.events, (std::vector<std::string>{"P", "DONE S=5000050000"}));
    EXPECT_EQ(h.finishes, 1);
}

class CountingPump : public zs::EventPump {
  public:
    std::function<void()> onPump;
    int count = 0;
    void pump() override {
        ++count;
        if (onPump) onPump();
    }
};

TEST(MachinePump, PumpsOnATimeBudgetNotPerInstruction) {
    Harness h("var i : integer;\nprocedure Main; begin for i := 1 to 200000 do ; end;\n");
    CountingPump pump;
    h.script.machine().pump = &pump;
    h.script.machine().limits.pumpInterval = std::chrono::milliseconds(0);
    EXPECT_EQ(h.script.run(), zs::RunStatus::Finished);
    // 200000 backward jumps, one clock read per 1000 of them
    EXPECT_GE(pump.count, 150);
    EXPECT_LE(pump.count, 201);
}

TEST(MachinePump, StopFromAPumpedMessageAndRefusedSecondRun) {
    Harness h("var i : integer;\nprocedure Main; begin while 1 do i := i + 1 end;\n");
    CountingPump pump;
    zs::RunStatus inner = zs::RunStatus::Finished;
    pump.onPump = [&] {
        inner = h.script.run();  // a run started during a run is refused
        h.script.stop();
    };
    h.script.machine().pump = &pump;
    h.script.machine().limits.pumpInterval = std::chrono::milliseconds(1);
    EXPECT_EQ(h.script.run(), zs::RunStatus::Stopped);
    EXPECT_EQ(inner, zs::RunStatus::Refused);
    EXPECT_EQ(pump.count, 1);
}

TEST(MachineLimits, StepLimitEndsEndlessLoops) {
    Harness h("procedure Main; begin while 1 do ; end;\n");
    h.script.machine().limits.maxSteps = 100000;
    EXPECT_EQ(h.script.run(), zs::RunStatus::Error);
    EXPECT_EQ(
        kt::u8(h.script.machine().lastError().substr(0, h.script.machine().lastError().find('\r'))),
        "Превышено допустимое число шагов программы");
}

// Check points of fused FOR steps and calls are those of the plain sequences: the step limit
// names the same instruction with the same variables, and a run paused there holds the same
// state and finishes alike.
TEST(MachineLimits, FusedAndPlainFormsStopAtTheSameCheckPoint) {
    const char* programs[] = {
        "procedure Main; begin for i := 1 to 100000 do s := s + i end;\n",
        "procedure Main; begin for i := 0 to 100000 do a[i] := i end;\n",
        "procedure Main; begin for i := 100000 downto 0 do s := s + i end;\n",
        "procedure Main; begin for i := 0 to 100000 - s do s := s + 1 end;\n",
        // 3 counted points per pass; the calls before the loop move the limit onto a CALL
        "procedure Main; begin i := 0; while i < 100000 do begin P; i := i + 1 end; end;\n",
        "procedure Main; begin P; i := 0; while i < 100000 do begin P; i := i + 1 end; end;\n",
        "procedure Main; begin P; P; P; P; i := 0; while i < 100000 do begin P; i := i + 1 end; "
        "end;\n",
    };
    for (const char* main : programs) {
        const std::string source = std::string("var i, s : integer; a : array of integer;\n") +
                                   kt::kSendEventDecl + "procedure P; begin s := s + 1 end;\n" +
                                   main;
        struct Outcome {
            std::string error, i, s, pausedI, pausedS, finalI, finalS;
        } out[2];
        for (bool fused : {false, true}) {
            Outcome& r = out[fused];
            Harness h(source);
            h.script.machine().limits.fuseSequences = fused;
            h.script.machine().limits.maxSteps = 20000;
            ASSERT_EQ(h.script.run(), zs::RunStatus::Error) << main;
            r.error = kt::u8(h.script.machine().lastError());
            ASSERT_NE(r.error.find("Превышено допустимое число шагов программы"), std::string::npos)
                << main << h.script.lastMessage();
            h.script.getVariableValue("", "i", r.i);
            h.script.getVariableValue("", "s", r.s);

            Harness p(source);
            p.script.machine().limits.fuseSequences = fused;
            p.script.machine().limits.maxSteps = 0;
            // pause at the 7th check point: the run goes on until then
            CountingPump pump;
            pump.onPump = [&] {
                if (pump.count == 7) p.script.machine().pause();
            };
            p.script.machine().pump = &pump;
            p.script.machine().limits.pumpInterval = std::chrono::milliseconds(0);
            ASSERT_EQ(p.script.run(), zs::RunStatus::Paused) << main;
            p.script.getVariableValue("", "i", r.pausedI);
            p.script.getVariableValue("", "s", r.pausedS);
            ASSERT_EQ(p.script.machine().resume(), zs::RunStatus::Finished) << main;
            p.script.getVariableValue("", "i", r.finalI);
            p.script.getVariableValue("", "s", r.finalS);
        }
        EXPECT_EQ(out[1].error, out[0].error) << main;
        EXPECT_EQ(out[1].i, out[0].i) << main;
        EXPECT_EQ(out[1].s, out[0].s) << main;
        EXPECT_EQ(out[1].pausedI, out[0].pausedI) << main;
        EXPECT_EQ(out[1].pausedS, out[0].pausedS) << main;
        EXPECT_EQ(out[1].finalI, out[0].finalI) << main;
        EXPECT_EQ(out[1].finalS, out[0].finalS) << main;
        EXPECT_NE(out[0].pausedI, out[0].finalI) << main;  // it did stop in the middle
    }
}

TEST(MachineSendEvent, AnswersBecomeIntegersOrCellText) {
    struct Case {
        const char* answer;
        const char* event;
    };
    // PRIME leaves 5 in cell 0; an empty answer to ASK keeps it
    for (const Case& c :
         {Case{"12", "GOT V=12"}, Case{"cell_data:12", "GOT V=12"}, Case{"cell_data:", "GOT V="},
          Case{"", "GOT V=5"}, Case{"-7", "GOT V=-7"}, Case{"12abc", "GOT V="}}) {
        Harness h(std::string("var v : variant;\n") + kt::kSendEventDecl +
                  "procedure Main; begin SendEvent('PRIME'); v := SendEvent('ASK'); "
                  "SendEvent('GOT', v) end;\n");
        h.react = [&](std::string_view e, std::string& answer) {
            answer = e == "PRIME" ? "5" : (e == "ASK" ? c.answer : "");
        };
        ASSERT_EQ(h.script.run(), zs::RunStatus::Finished) << h.script.lastMessage();
        ASSERT_EQ(h.events.size(), 3u);
        EXPECT_EQ(h.events[2], c.event) << c.answer;
    }
}

TEST(MachineSendEvent, IntegerAnswerIsANumberAndTextAnswerIsText) {
    Harness h(std::string("var v : variant; n : integer;\n") + kt::kSendEventDecl +
              "procedure Main; begin v := SendEvent('ASK'); n := v + 1; SendEvent('N', n);"
              "v := SendEvent('ASKTEXT'); v := v + 1; SendEvent('T', v) end;\n");
    h.react = [&](std::string_view e, std::string& answer) {
        answer = e == "ASK" ? "12" : "cell_data:12";
    };
    ASSERT_EQ(h.script.run(), zs::RunStatus::Finished);
    EXPECT_EQ(h.events[1], "N N=13");
    EXPECT_EQ(h.events[3], "T V=121");  // text + number concatenates
}

TEST(Machine, RunningTwiceStartsCleanAndLibraryGlobalsRestart) {
    Harness h(
        "var x : integer;\nprocedure Main; begin ActiveCol := ActiveCol + 1; x := ActiveCol;"
        " SendEvent('COL', x); Deep end;\n"
        "procedure Deep; begin end;\n");
    h.script.source = kt::cp(
        "var x : integer;\nprocedure Deep; begin terminate end;\n"
        "procedure Main; begin ActiveCol := ActiveCol + 1; x := ActiveCol; SendEvent('COL', x); "
        "Deep end;\n");
    h.script.librarySource = std::string(zentra::script::rtlSource());
    EXPECT_EQ(h.script.run(), zs::RunStatus::Finished);
    EXPECT_EQ(h.script.run(), zs::RunStatus::Finished);
    EXPECT_EQ(h.events, (std::vector<std::string>{"COL X=1", "COL X=1"}));
    EXPECT_TRUE(h.script.machine().code.empty());  // nothing compiled survives a run
}

TEST(RunTimeData, CellTextOfArraysAndScalars) {
    zs::RunTimeData d;
    const int i = d.addCell(zs::kTypeInteger);
    const int t = d.addCell(zs::kTypeText);
    const int a = d.addArrayCell(zs::kTypeDouble);
    d.setCellText(i, "-2.5");
    d.setCellText(t, "abc");
    d.cell(a).nums = {1.5, 2};
    EXPECT_EQ(d.cellText(i), "-2,5");
    EXPECT_EQ(d.cellText(t), "abc");
    EXPECT_EQ(d.cellText(a), "1,5, 2");
    EXPECT_EQ(d.cellText(a, '.'), "1.5, 2");
    d.addName("total");
    EXPECT_EQ(d.indexOfName("TOTAL"), 0);
    EXPECT_EQ(d.indexOfName("x"), -1);
}

}  // namespace
