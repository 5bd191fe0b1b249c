// The external-call step: libraries loaded by dlopen from the library folder, routines called
// through libffi by declared types, the result rules of cell 0, and the run-time messages. The
// routines live in our own test library (build/bin/KelvoTestExt.lib) and in the system's libm.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "external_call.h"
#include "test_util.h"

namespace zs = zentra::script;
namespace fs = std::filesystem;

namespace {

const std::string kExtDir = KELVO_TEST_EXTLIB_DIR;

// Declarations of the test library's routines, as a report author writes them.
const char* kDecls =
    "function ExtMinusOne : integer; external; stdcall; 'KelvoTestExt.lib';\n"
    "function ExtByte(Value : integer) : boolean; external; stdcall; 'KelvoTestExt.lib';\n"
    "function ExtBoolArg(B : boolean) : integer; external; stdcall; 'KelvoTestExt.lib';\n"
    "function ExtMix(A : integer; D : double; S : pchar; B : integer) : double; external; "
    "pascal; 'KelvoTestExt.lib';\n"
    "function ExtHalf(X : double) : double; external; register; 'KelvoTestExt.lib';\n"
    "function ExtBracket(S : pchar) : pchar; external; stdcall; 'KelvoTestExt.lib';\n"
    "function ExtNullText : pchar; external; stdcall; 'KelvoTestExt.lib';\n"
    "function ExtCalls : integer; external; stdcall; 'kelvotestext.LIB';\n"
    "function ExtSafeDiv(A, B : integer) : integer; external; safecall; 'KelvoTestExt.lib';\n"
    "function ExtFail(Message : pchar) : integer; external; stdcall; 'KelvoTestExt.lib';\n"
    "procedure ExtSetEndRunFile(Path : pchar); external; stdcall; 'KelvoTestExt.lib';\n"
    "function ExtNothing : integer; external; stdcall; 'KelvoTestExt.lib';\n"
    "function cos(X : double) : double; external; cdecl; 'libm.so.6';\n"
    "function pow(X, Y : double) : double; external; cdecl; 'libm.so.6';\n"
    "function floor(X : double) : double; external; cdecl; 'libm.so.6';\n"
    "function ExtMany(I1 : integer; D1 : double; I2 : integer; D2 : double; I3 : integer; "
    "D3 : double; I4 : integer; D4 : double; I5 : integer; D5 : double; I6 : integer; "
    "D6 : double; I7 : integer; D7 : double; I8 : integer; D8 : double; I9 : integer; "
    "D9 : double; I10 : integer; D10 : double) : double; external; stdcall; 'KelvoTestExt.lib';\n"
    "function ExtIdentity(X : variant) : double; external; stdcall; 'KelvoTestExt.lib';\n"
    "function ExtWeigh6(A : integer; B : boolean; S : pchar; C, D, E : integer) : double; "
    "external; cdecl; 'KelvoTestExt.lib';\n"
    "function ExtWeigh7(I1, I2, I3, I4, I5, I6, I7 : integer) : integer; external; cdecl; "
    "'KelvoTestExt.lib';\n"
    "function ExtSafeWeigh5(A1, A2, A3, A4, A5 : integer) : integer; external; safecall; "
    "'KelvoTestExt.lib';\n"
    "function ExtSafeWeigh6(A1, A2, A3, A4, A5, A6 : integer) : integer; external; safecall; "
    "'KelvoTestExt.lib';\n"
    "function ExtScribble(S : pchar) : integer; external; stdcall; 'KelvoTestExt.lib';\n";

std::string program(const std::string& vars, const std::string& body) {
    return "var n : integer; d : double; b : boolean; s : pchar; v : variant;\n" + vars +
           std::string(kt::kSendEventDecl) + kDecls + "procedure Main;\nbegin\n" + body +
           "\nend;\n";
}

kt::Outcome runIn(const std::string& libDir, const std::string& source,
                  zs::ExternalCaller* caller = nullptr) {
    return kt::run(source, false, [&](zs::Script& s) {
        s.libraryDirectory = libDir;
        if (caller) s.machine().externals = caller;
    });
}

// The run-time error without the machine-state lines.
std::string message(const kt::Outcome& o) {
    return o.runError.substr(0, o.runError.find("\r************* VirtualMachine State"));
}

std::string callError(const std::string& routine, const std::string& library,
                      const std::string& text) {
    return "Ошибка во время вызова процедуры \"" + routine + "\"\rиз библиотеки \"" + library +
           "\"\r" + std::string(48, '*') + "\r" + text;
}

struct CallCase {
    const char* name;
    const char* body;
    std::vector<std::string> events;
};

class ExternalCallResults : public ::testing::TestWithParam<CallCase> {};

TEST_P(ExternalCallResults, Events) {
    const CallCase& c = GetParam();
    const kt::Outcome o = runIn(kExtDir, program("", c.body));
    ASSERT_TRUE(o.compiled) << o.compileError;
    EXPECT_EQ(o.runError, "");
    EXPECT_EQ(o.events, c.events);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExternalCallResults,
    ::testing::Values(
        // -1 stays -1, so "handle > -1" is false for a failed DialogCreate-like routine
        CallCase{"IntegerMinusOneIsSigned",
                 "n := ExtMinusOne; if n > -1 then SendEvent('BAD', n) else SendEvent('OK', n);",
                 {"OK N=-1"}},
        CallCase{"BooleanResultIsTheLowByte",
                 "n := ExtByte(300); SendEvent('R', n); n := ExtByte(-1); SendEvent('R', n);",
                 {"R N=44", "R N=255"}},
        CallCase{"BooleanArgumentIsTruncatedAnd255",
                 "n := ExtBoolArg(257); SendEvent('R', n); n := ExtBoolArg(2.9); SendEvent('R', n);"
                 "n := ExtBoolArg(true); SendEvent('R', n);",
                 {"R N=1", "R N=2", "R N=1"}},
        CallCase{"DoubleResult", "d := ExtHalf(5); SendEvent('R', d);", {"R D=2,5"}},
        // arguments go in declaration order, each converted by its declared type
        CallCase{"MixedArgumentsInDeclarationOrder",
                 "d := ExtMix(2, 1.25, 'abc', 7); SendEvent('R', d);",
                 {"R D=302019"}},
        CallCase{"ArgumentsConvertByDeclaredType",
                 "d := ExtMix(2.9, '1,25', 12345, -2.7); SendEvent('R', d);",
                 {"R D=502010"}},
        CallCase{"TextRoundTripsCp1251",
                 "s := ExtBracket('Болт М6'); SendEvent('R', s); s := ExtBracket(12.5); "
                 "SendEvent('R', s); s := ExtBracket(''); SendEvent('R', s);",
                 {"R S=[Болт М6]", "R S=[12,5]", "R S=[]"}},
        CallCase{"TextResultIsCopiedBeforeTheNextCall",
                 "s := ExtBracket('a') + ExtBracket('b'); SendEvent('R', s);",
                 {"R S=[a][b]"}},
        CallCase{"SafecallResultThroughTrailingPointer",
                 "n := ExtSafeDiv(7, 2); SendEvent('R', n);",
                 {"R N=3"}},
        CallCase{"SystemMathsLibraryWithCdecl",
                 "d := cos(0); SendEvent('R', d); d := pow(2, 10); SendEvent('R', d); "
                 "d := floor(-2.5); SendEvent('R', d);",
                 {"R D=1", "R D=1024", "R D=-3"}},
        // the declared spelling 'kelvotestext.LIB' finds KelvoTestExt.lib; one load, one count
        CallCase{
            "CaseInsensitiveFileNameAndOneLoadPerRun",
            "n := ExtCalls; n := ExtCalls; SendEvent('R', n); n := ExtCalls; SendEvent('R', n);",
            {"R N=2", "R N=3"}},
        // 1..10 and 100..1000: sum(k*k) + sum(k*100k)/100 = 385 + 385
        CallCase{"TwentyArgumentsSomeOnTheStack",
                 "d := ExtMany(1, 100, 2, 200, 3, 300, 4, 400, 5, 500, 6, 600, 7, 700, 8, 800, 9, "
                 "900, 10, 1000); SendEvent('R', d);",
                 {"R D=770"}},
        CallCase{"CallInALoopReusesTheSite",
                 "n := 0; d := 0; while n < 1000 do begin d := d + ExtHalf(n); n := n + 1; end; "
                 "SendEvent('R', d);",
                 {"R D=249750"}},
        // integer-class arguments of every kind in all six argument registers, then one more
        // than they hold; a safecall result pointer as the sixth register and past them
        CallCase{"SixIntegerClassArgumentsFillTheRegisters",
                 "d := ExtWeigh6(-1, 257, 'abc', 2, 3, 4); SendEvent('R', d);",
                 {"R D=432309"}},
        CallCase{"SevenIntegersPutOneOnTheStack",
                 "n := ExtWeigh7(1, 2, 3, 4, 5, 6, -7); SendEvent('R', n);",
                 {"R N=42"}},
        CallCase{"SafecallResultPointerInTheLastRegisterAndOnTheStack",
                 "n := ExtSafeWeigh5(1, 2, 3, 4, 5); SendEvent('R', n); "
                 "n := ExtSafeWeigh6(1, 2, 3, 4, 5, 6); SendEvent('R', n);",
                 {"R N=55", "R N=91"}},
        CallCase{"ArgumentsComputedOnTheStack",
                 "n := 2; d := ExtMix(n + 1, 1.25, 'ab' + 'c', 7); SendEvent('R', d); "
                 "n := ExtWeigh7(n, n, n, n, n, n, n * 2); SendEvent('R', n);",
                 {"R D=303019", "R N=70"}},
        // a routine writing into its text never reaches the variable or the literal it came from
        CallCase{
            "WritesIntoATextArgumentStayOutOfCellsAndLiterals",
            "s := 'abc'; n := ExtScribble(s); SendEvent('R', n); n := ExtScribble(s); "
            "SendEvent('R', s); d := 0; while d < 2 do begin n := ExtScribble('xyz'); "
            "d := d + 1; end; SendEvent('R', n); n := ExtScribble(s + 'd'); SendEvent('R', n);",
            {"R N=3", "R S=abc", "R N=3", "R N=4"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ErrorCase {
    const char* name;
    const char* vars;
    const char* body;
    std::string expected;
};

class ExternalCallErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ExternalCallErrors, Message) {
    const ErrorCase& c = GetParam();
    const kt::Outcome o = runIn(kExtDir, program(c.vars, c.body));
    ASSERT_TRUE(o.compiled) << o.compileError;
    EXPECT_EQ(o.status, zs::RunStatus::Error);
    EXPECT_EQ(message(o), c.expected);
    EXPECT_NE(o.runError.find("* Command Name: CALL"), std::string::npos) << o.runError;
    EXPECT_EQ(o.finishCalls, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExternalCallErrors,
    ::testing::Values(
        ErrorCase{"MissingLibraryNamedInLowerCase",
                  "function F : integer; external; stdcall; 'NoSuchLib.DLL';\n", "n := F",
                  "Библиотека \"nosuchlib.dll\" ненайдена"},
        ErrorCase{"MissingRoutine", "", "n := ExtNothing",
                  "В библиотеке \"kelvotestext.lib\" ненайдена процедура \"ExtNothing\""},
        ErrorCase{
            "RoutineNamesAreExactLetters",
            "function EXTSTRLEN(S : pchar) : integer; external; stdcall; 'KelvoTestExt.lib';\n",
            "n := EXTSTRLEN('abc')",
            "В библиотеке \"kelvotestext.lib\" ненайдена процедура \"EXTSTRLEN\""},
        ErrorCase{"VariantArgument", "", "v := 5; d := ExtHalf(v)",
                  callError("ExtHalf", "kelvotestext.lib",
                            "Задан неверный тип параметров в процедуре \"ExtHalf\"")},
        ErrorCase{"UndefinedArgument", "", "d := ExtHalf(ExtNullText)",
                  callError("ExtHalf", "kelvotestext.lib",
                            "Задан неверный тип параметров в процедуре \"ExtHalf\"")},
        ErrorCase{"VariantParameterDeclared", "", "d := ExtIdentity(1)",
                  callError("ExtIdentity", "kelvotestext.lib",
                            "Задан неверный тип параметров в процедуре \"ExtIdentity\"")},
        ErrorCase{"TextThatIsNoNumberForADoubleParameter", "", "d := ExtHalf('abc')",
                  callError("ExtHalf", "kelvotestext.lib", "Значение \"abc\" не является числом")},
        ErrorCase{
            "NegativeSafecallStatus", "", "n := ExtSafeDiv(1, 0)",
            callError("ExtSafeDiv", "kelvotestext.lib", "Процедура вернула код ошибки 0x80004005")},
        ErrorCase{"LibraryErrorTextThroughKrLastError", "",
                  "n := ExtFail('Плохая дата 31.02.2026')",
                  callError("ExtFail", "kelvotestext.lib", "Плохая дата 31.02.2026")},
        ErrorCase{"NameLeavingTheLibraryFolderIsRefused",
                  "function F : integer; external; stdcall; '..\\bin\\KelvoTestExt.lib';\n",
                  "n := F",
                  "Библиотека \"..\\bin\\kelvotestext.lib\" ненайдена: имя библиотеки ведёт за "
                  "пределы папки библиотек"},
        ErrorCase{"AbsoluteNameIsRefused",
                  "function cosA(X : double) : double; external; cdecl; "
                  "'/lib/x86_64-linux-gnu/libm.so.6';\n",
                  "d := cosA(0)",
                  "Библиотека \"/lib/x86_64-linux-gnu/libm.so.6\" ненайдена: имя библиотеки ведёт "
                  "за пределы папки библиотек"},
        ErrorCase{"WindowsDrivePathIsRefused",
                  "function F : integer; external; stdcall; 'C:\\Kelvo\\KelvoTestExt.lib';\n",
                  "n := F",
                  "Библиотека \"c:\\kelvo\\kelvotestext.lib\" ненайдена: имя библиотеки ведёт "
                  "за пределы папки библиотек"},
        ErrorCase{"SubfolderInsideTheLibraryFolderIsSearched",
                  "function F : integer; external; stdcall; 'sub\\KelvoTestExt.lib';\n", "n := F",
                  "Библиотека \"sub\\kelvotestext.lib\" ненайдена"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExternalCall, NullTextResultLeavesCellZeroUndefined) {
    zs::Value cell0;
    const kt::Outcome o =
        kt::run(program("", "s := ExtBracket('x'); ExtNullText;"), false, [&](zs::Script& s) {
            s.libraryDirectory = kExtDir;
            s.machine().onFinish = [&] { cell0 = s.machine().data.cell(0).v; };
        });
    EXPECT_EQ(o.runError, "");
    EXPECT_EQ(cell0.type, zs::kTypeUndefined);
    EXPECT_EQ(cell0.store, zs::Store::None);
}

TEST(ExternalCall, LibraryLoadedOncePerRunAndReleasedAtReset) {
    zs::LibraryCaller caller;
    const std::string src = program("",
                                    "n := ExtCalls; d := ExtHalf(1); s := ExtBracket('a'); "
                                    "n := ExtCalls; d := cos(0); SendEvent('R', n);");
    kt::Outcome o = runIn(kExtDir, src, &caller);
    EXPECT_EQ(o.runError, "");
    EXPECT_EQ(o.events, std::vector<std::string>{"R N=4"});
    EXPECT_EQ(caller.loadCount(), 2);  // the test library and libm, once each
    EXPECT_EQ(caller.openCount(), 0);  // released when the run ended
    o = runIn(kExtDir, src, &caller);
    EXPECT_EQ(caller.loadCount(), 4);  // a new run loads again
    EXPECT_EQ(caller.openCount(), 0);
}

TEST(ExternalCall, KrEndRunIsCalledAtResetAlsoAfterAnError) {
    const fs::path marker =
        fs::temp_directory_path() / ("kelvo_endrun_" + std::to_string(::getpid()) + ".txt");
    for (const char* tail : {"", " n := ExtFail('стоп');"}) {
        fs::remove(marker);
        const kt::Outcome o =
            runIn(kExtDir, program("", "ExtSetEndRunFile('" + marker.string() + "');" + tail));
        EXPECT_EQ(o.runError.empty(), *tail == 0) << o.runError;
        EXPECT_TRUE(fs::exists(marker)) << tail;
    }
    fs::remove(marker);
}

TEST(ExternalCall, AFileThatIsNoLibraryGivesTheNotFoundMessageWithTheLoaderReason) {
    const fs::path dir = fs::temp_directory_path() / ("kelvo_badlib_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "Broken.lib") << "not a shared library\n";
    const kt::Outcome o =
        runIn(dir.string() + "/",
              program("function F : integer; external; stdcall; 'Broken.lib';\n", "n := F"));
    EXPECT_EQ(o.status, zs::RunStatus::Error);
    EXPECT_EQ(message(o).substr(0, message(o).find('\r')), "Библиотека \"broken.lib\" ненайдена");
    EXPECT_NE(message(o).find('\r'), std::string::npos) << "the loader's reason follows";
    fs::remove_all(dir);
}

}  // namespace

namespace {

// The fused form of the call tail must report errors at the same instruction as the plain one,
// and give the same results.
TEST(ExternalCall, FusedAndPlainCallTailsAgree) {
    for (const char* body :
         {"d := ExtHalf(3); SendEvent('R', d); n := ExtSafeDiv(1, 0)", "n := ExtNothing",
          "s := ExtBracket('a'); SendEvent('R', s)",
          // arguments from cells and literals, then computed ones
          "n := 4; d := ExtHalf(n); SendEvent('R', d); d := ExtHalf(n + 1); "
          "SendEvent('R', d); n := ExtSafeDiv(n, n - 4)",
          "v := 5; d := ExtHalf(v)", "n := ExtFail('x' + 'y')", "n := ExtFail('x')"}) {
        kt::Outcome fused, plain;
        for (bool fuse : {true, false}) {
            (fuse ? fused : plain) = kt::run(program("", body), false, [&](zs::Script& s) {
                s.libraryDirectory = kExtDir;
                s.machine().limits.fuseSequences = fuse;
            });
        }
        EXPECT_EQ(fused.runError, plain.runError) << body;
        EXPECT_EQ(fused.events, plain.events) << body;
    }
}

// A step limit reached at a call names the same instruction, with the same machine state, in
// both forms: whole calls of constants and calls with computed arguments.
TEST(ExternalCall, StepLimitAtACallNamesTheSameInstructionFusedOrPlain) {
    // two counted points a pass (the call, the jump back); a call before the loop moves the
    // limit from the jump onto the call
    for (const char* body : {"while true do n := ExtMinusOne",
                             "n := ExtMinusOne; while true do n := ExtMinusOne",
                             "while true do begin n := n + 1; d := ExtHalf(n + 1); end;",
                             "n := ExtMinusOne; while true do begin n := n + 1; "
                             "d := ExtHalf(n + 1); end;"}) {
        kt::Outcome fused, plain;
        for (bool fuse : {true, false}) {
            (fuse ? fused : plain) = kt::run(program("", body), false, [&](zs::Script& s) {
                s.libraryDirectory = kExtDir;
                s.machine().limits.fuseSequences = fuse;
                s.machine().limits.maxSteps = 5000;
            });
        }
        ASSERT_TRUE(plain.compiled) << plain.compileError;
        EXPECT_NE(plain.runError.find("Превышено допустимое число шагов программы"),
                  std::string::npos)
            << body << plain.runError;
        EXPECT_EQ(fused.runError, plain.runError) << body;
    }
}

}  // namespace

namespace {

TEST(ExternalCall, AHostCanRefuseAllLibraries) {
    zs::UnavailableExternalCaller none;
    const kt::Outcome o = runIn(kExtDir, program("", "d := ExtHalf(3)"), &none);
    EXPECT_EQ(message(o),
              "Вызовы внешних процедур запрещены: процедура \"ExtHalf\" из библиотеки "
              "\"kelvotestext.lib\"");
}

}  // namespace

namespace {

TEST(ExternalCall, NamesWithASeparatorLoadFromASubfolderOfTheLibraryFolder) {
    const fs::path dir = fs::temp_directory_path() / ("kelvo_sublib_" + std::to_string(::getpid()));
    fs::create_directories(dir / "drivers");
    fs::copy_file(fs::path(kExtDir) / "KelvoTestExt.lib", dir / "drivers" / "KelvoTestExt.lib",
                  fs::copy_options::overwrite_existing);
    const kt::Outcome o = runIn(
        dir.string() + "/", program("function ExtStrLen(S : pchar) : integer; external; stdcall; "
                                    "'drivers\\kelvotestext.lib';\n",
                                    "n := ExtStrLen('abcd'); SendEvent('R', n);"));
    EXPECT_EQ(o.runError, "");
    EXPECT_EQ(o.events, std::vector<std::string>{"R N=4"});
    fs::remove_all(dir);
}

}  // namespace

namespace {

// Forwards to the shared-library caller and asks the machine to stop after a given call.
class StoppingCaller : public zs::ExternalCaller {
  public:
    zs::LibraryCaller libraries;
    zs::Machine* machine = nullptr;
    int stopAfter = 0;
    int calls = 0;
    void call(const zs::ExternalCall& call, zs::Value& result) override {
        libraries.call(call, result);
        if (++calls == stopAfter) machine->stop();
    }
    void releaseLibraries() override { libraries.releaseLibraries(); }
};

// Stop requested while an external routine runs ends the run right after it, from cells and
// literals as from computed arguments.
TEST(ExternalCall, StopDuringACallEndsTheRunAfterIt) {
    for (const char* call : {"ExtBracket(s)", "ExtBracket(s + '')"}) {
        StoppingCaller caller;
        caller.stopAfter = 3;
        const kt::Outcome o =
            kt::run(program("", std::string("s := 'a'; for n := 1 to 10 do begin s := ") + call +
                                    "; SendEvent('R', n, s); end;"),
                    false, [&](zs::Script& s) {
                        s.libraryDirectory = kExtDir;
                        s.machine().externals = &caller;
                        caller.machine = &s.machine();
                    });
        EXPECT_EQ(o.status, zs::RunStatus::Stopped) << call;
        EXPECT_EQ(o.events, (std::vector<std::string>{"R N=1 S=[a]", "R N=2 S=[[a]]"})) << call;
        EXPECT_EQ(caller.calls, 3) << call;
        EXPECT_EQ(caller.libraries.openCount(), 0) << call;
    }
}

class CountingPump : public zs::EventPump {
  public:
    int count = 0;
    void pump() override { ++count; }
};

// A call that takes longer than the pump budget is followed by a pump; quick calls right after
// it are not.
TEST(ExternalCall, ACallLongerThanTheBudgetIsFollowedByAPump) {
    CountingPump pump;
    const kt::Outcome o =
        kt::run(program("function usleep(Us : integer) : integer; external; cdecl; 'libc.so.6';\n",
                        "n := usleep(150000); n := usleep(0); n := usleep(0);"),
                false, [&](zs::Script& s) {
                    s.libraryDirectory = kExtDir;
                    s.machine().pump = &pump;
                    s.machine().limits.pumpInterval = std::chrono::milliseconds(100);
                });
    EXPECT_EQ(o.runError, "");
    EXPECT_EQ(pump.count, 1);
}

// A run started from a SendEvent handler, with its own caller or with the outer run's, calls
// another routine at the same instruction number; the outer run's later calls at that site
// still reach its own routine, resolved again when the inner run released the shared caller.
TEST(ExternalCall, ARunInsideAnEventHandlerLeavesTheOuterCallSitesRight) {
    const std::string loop = "for n := 1 to 2 do begin s := %; SendEvent('R', s); end;";
    auto body = [&](const std::string& call) {
        std::string b = loop;
        b.replace(b.find('%'), 1, call);
        return b;
    };
    const std::string outer = program(
        "function ExtStrLen(S : pchar) : integer; external; stdcall; "
        "'KelvoTestExt.lib';\n",
        body("ExtStrLen('abcd')"));
    const std::string inner = program("", body("ExtBracket('abcd')"));
    for (bool shared : {false, true}) {
        zs::LibraryCaller caller;
        kt::Outcome in;
        bool ranInner = false;
        const kt::Outcome o = kt::run(outer, false, [&](zs::Script& s) {
            s.libraryDirectory = kExtDir;
            s.machine().externals = &caller;
            auto record = s.onSendEvent;
            s.onSendEvent = [&, record](std::string_view e, std::span<const zs::EventArg> a,
                                        std::string& answer) {
                record(e, a, answer);
                if (ranInner) return;
                ranInner = true;
                in = runIn(kExtDir, inner, shared ? &caller : nullptr);
            };
        });
        EXPECT_EQ(o.runError, "") << shared;
        EXPECT_EQ(o.events, (std::vector<std::string>{"R S=4", "R S=4"})) << shared;
        EXPECT_EQ(in.runError, "") << shared;
        EXPECT_EQ(in.events, (std::vector<std::string>{"R S=[abcd]", "R S=[abcd]"})) << shared;
        EXPECT_EQ(caller.openCount(), 0) << shared;
    }
}

// One caller running two programs in turn whose calls of different routines share their
// instruction numbers: each run reaches its own routine.
TEST(ExternalCall, ACallSiteNumberReusedByTheNextRunReachesItsNewRoutine) {
    zs::LibraryCaller caller;
    const std::string strlenDecl =
        "function ExtStrLen(S : pchar) : integer; external; stdcall; 'KelvoTestExt.lib';\n";
    for (int round = 0; round < 2; ++round) {
        kt::Outcome o = runIn(
            kExtDir, program(strlenDecl, "s := ExtStrLen('abc'); SendEvent('R', s);"), &caller);
        EXPECT_EQ(o.events, std::vector<std::string>{"R S=3"});
        o = runIn(kExtDir, program("", "s := ExtBracket('abc'); SendEvent('R', s);"), &caller);
        EXPECT_EQ(o.events, std::vector<std::string>{"R S=[abc]"});
    }
}

// A library file replaced between two runs of one caller is what the next run calls: nothing
// resolved in an earlier run survives its end.
TEST(ExternalCall, ALibraryReplacedBetweenRunsIsLoadedAfresh) {
    const fs::path dir =
        fs::temp_directory_path() / ("kelvo_swaplib_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path lib = dir / "Swap.lib";
    const std::string src =
        program("function ExtStrLen(S : pchar) : integer; external; stdcall; 'Swap.lib';\n",
                "n := ExtStrLen('abcd'); SendEvent('R', n);");
    zs::LibraryCaller caller;
    auto copyTestLibrary = [&] {
        fs::remove(lib);
        fs::copy_file(fs::path(kExtDir) / "KelvoTestExt.lib", lib);
    };
    copyTestLibrary();
    kt::Outcome o = runIn(dir.string() + "/", src, &caller);
    EXPECT_EQ(o.events, std::vector<std::string>{"R N=4"});
    fs::remove(lib);
    std::ofstream(lib) << "no longer a shared library\n";
    o = runIn(dir.string() + "/", src, &caller);
    EXPECT_EQ(message(o).substr(0, message(o).find('\r')), "Библиотека \"swap.lib\" ненайдена");
    copyTestLibrary();
    o = runIn(dir.string() + "/", src, &caller);
    EXPECT_EQ(o.runError, "");
    EXPECT_EQ(o.events, std::vector<std::string>{"R N=4"});
    EXPECT_EQ(caller.loadCount(), 2);
    fs::remove_all(dir);
}

}  // namespace
