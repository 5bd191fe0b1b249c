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
    "function ExtIdentity(X : variant) : double; external; stdcall; 'KelvoTestExt.lib';\n";

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
                 {"R D=249750"}}),
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
    for (const char* body : {"d := ExtHalf(3); SendEvent('R', d); n := ExtSafeDiv(1, 0)",
                             "n := ExtNothing", "s := ExtBracket('a'); SendEvent('R', s)"}) {
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
