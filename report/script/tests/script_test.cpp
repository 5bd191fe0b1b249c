// The script object: modules and INCLUDE from the base directory, host variables of each type,
// GetVariableValue, warnings, and positions that do not depend on the library in front.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "rtl_source.h"
#include "test_util.h"
#include "text/cp1251.h"

namespace zs = zentra::script;
namespace fs = std::filesystem;

namespace {

class TempDir {
  public:
    TempDir() {
        path_ = fs::temp_directory_path() /
                ("kelvo_script_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string base() const { return path_.string() + "/"; }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
    }

  private:
    fs::path path_;
    static inline int counter_ = 0;
};

TEST(ScriptModules, EmptyReportScriptIsNotRun) {
    const kt::Outcome o = kt::run("", true);
    EXPECT_FALSE(o.compiled);
    EXPECT_EQ(o.compileError, "[Error] (0:-1): Программа незадана");
    EXPECT_EQ(o.finishCalls, 0);
}

TEST(ScriptModules, IncludeCompilesTheModuleFirstAndItsGlobalsAreVisible) {
    TempDir dir;
    // the included module is UTF-8 with LF line ends; it is converted on reading
    dir.write("util.pas",
              "var Shared : pchar;\n// comment at the end of a line\n"
              "procedure Greet; begin Shared := 'привет' end;\n");
    zs::Script script;
    script.baseDirectory = dir.base();
    script.librarySource = std::string(zs::rtlSource());
    script.source = kt::cp(
        "include 'util.pas';\nvar Mine : pchar;\n"
        "procedure Main; begin Greet; Mine := Shared + '!' end;\n");
    EXPECT_EQ(script.run(), zs::RunStatus::Finished) << kt::u8(script.lastMessage());
    ASSERT_EQ(script.modules().size(), 3u);
    EXPECT_EQ(script.modules()[0].name, "RunTime.s");
    EXPECT_EQ(script.modules()[1].name, "Main");  // entered before its INCLUDEs are read
    EXPECT_TRUE(script.modules()[1].isMain);
    EXPECT_EQ(script.modules()[2].name, "util.pas");
    EXPECT_EQ(script.modules()[2].path, dir.base() + "util.pas");
    std::string text;
    EXPECT_TRUE(script.getVariableValue("", "MINE", text));
    EXPECT_EQ(kt::u8(text), "привет!");
    EXPECT_FALSE(script.getVariableValue("", "Shared", text));  // module globals are not searched
    EXPECT_EQ(text, "");
    EXPECT_FALSE(script.getVariableValue("", "ActiveCol", text));  // nor library globals
}

TEST(ScriptModules, MissingIncludeAndIncludeCycleAreCompileErrors) {
    TempDir dir;
    dir.write("a.pas", "include 'b.pas';\nvar A1 : integer;\n");
    dir.write("b.pas", "include 'a.pas';\nvar B1 : integer;\n");
    struct Case {
        std::string source;
        std::string error;
    };
    for (const Case& c :
         {Case{"include 'nope.pas';\nprocedure Main; begin end;",
               "[Error] (0:7): Файл не найден '" + dir.base() + "nope.pas'"},
          Case{"include 'a.pas';\nprocedure Main; begin end;",
               "[Error] (0:7): Циклическое включение модуля '" + dir.base() + "a.pas'"}}) {
        zs::Script script;
        script.baseDirectory = dir.base();
        script.source = kt::cp(c.source);
        std::string error;
        script.onError = [&](int, const std::string& t, int, int) { error = kt::u8(t); };
        EXPECT_EQ(script.run(), zs::RunStatus::Error);
        EXPECT_TRUE(script.errorState());
        EXPECT_EQ(error, c.error);
    }
}

TEST(ScriptHostVariables, EachTypeReachesTheGlobalOfTheSameName) {
    zs::Script script;
    script.source =
        kt::cp(std::string("var Count : integer; Price : double; Paid : boolean;"
                           " Name : pchar; Any : variant; Other : integer;\n") +
               kt::kSendEventDecl +
               "procedure Main;\nvar Hidden : integer;\nbegin\n"
               "  SendEvent('V', Count, Price, Paid, Name, Any, Other, Hidden)\nend;\n");
    script.hostVariables.setVariable("count", 3LL, zs::kTypeInteger);
    script.hostVariables.setVariable("PRICE", 2.75, zs::kTypeDouble);
    script.hostVariables.setVariable("Paid", true, zs::kTypeBoolean);
    script.hostVariables.setVariable("name", kt::cp("Болт М6"), zs::kTypeText);
    script.hostVariables.setVariable("any", std::string("42"), zs::kTypeVariant);
    script.hostVariables.setVariable("hidden", 9LL, zs::kTypeInteger);  // a local: ignored
    script.hostVariables.setVariable("unknown", 1LL, zs::kTypeInteger);
    script.hostVariables.setVariable("COUNT", 4LL, zs::kTypeInteger);  // replaces "count"
    EXPECT_EQ(script.hostVariables.count(), 7);
    std::vector<std::string> events;
    script.onSendEvent = [&](std::string_view e, std::span<const zs::EventArg> a, std::string&) {
        events.push_back(kt::eventLine(e, a));
    };
    ASSERT_EQ(script.run(), zs::RunStatus::Finished);
    EXPECT_EQ(events, (std::vector<std::string>{
                          "V COUNT=4 PRICE=2,75 PAID=1 NAME=Болт М6 ANY=42 OTHER=0 HIDDEN=0"}));
}

TEST(ScriptHostVariables, AssignKeepsOrderAndReplacesByName) {
    zs::Variables a, b;
    a.setVariable("X", 1LL, zs::kTypeInteger);
    b.setVariable("y", 2LL, zs::kTypeInteger);
    b.setVariable("x", std::string("t"), zs::kTypeText);
    a.assign(b);
    ASSERT_EQ(a.count(), 2);
    EXPECT_EQ(a.get(0).name, "x");
    EXPECT_EQ(a.get(0).type, zs::kTypeText);
    EXPECT_EQ(a.get(1).name, "y");
}

TEST(ScriptVariables, LocalsOfAReportRoutineAreReadable) {
    zs::Script script;
    script.source = kt::cp(
        "var G : double;\nprocedure Fill;\nvar Qty : integer; Items : array of integer;\n"
        "begin Qty := 7; Items[2] := 5 end;\n"
        "procedure Main; begin G := 1.5; Fill end;\n");
    ASSERT_EQ(script.run(), zs::RunStatus::Finished);
    std::string text;
    EXPECT_TRUE(script.getVariableValue("fill", "qty", text));
    EXPECT_EQ(text, "7");
    EXPECT_TRUE(script.getVariableValue("", "g", text));
    EXPECT_EQ(text, "1,5");
    EXPECT_FALSE(script.getVariableValue("fill", "g", text));
    EXPECT_FALSE(script.getVariableValue("main", "qty", text));
}

TEST(ScriptPositions, ErrorsInTheReportScriptDoNotDependOnTheLibraryInFront) {
    const std::string src = "procedure Main;\nbegin\n  x := 1\nend;\n";
    EXPECT_EQ(kt::compileError(src, false), "[Error] (2:3): Неизвестный идентификатор \"x\"");
    EXPECT_EQ(kt::compileError(src, true), "[Error] (2:3): Неизвестный идентификатор \"x\"");
}

TEST(ScriptPositions, LfAndCrLfFilesCompileAlike) {
    const std::string lf =
        "// a comment line\nvar x : integer;\nprocedure Main;\nbegin\n  y := 1\nend;\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(kt::compileError(lf), "[Error] (4:3): Неизвестный идентификатор \"y\"");
    EXPECT_EQ(kt::compileError(crlf), kt::compileError(lf));
}

TEST(ScriptWarnings, EmptySqlGoesToTheErrorHandlerAsKindOne) {
    zs::Script script;
    script.librarySource = std::string(zs::rtlSource());
    script.source =
        kt::cp("var d : pchar;\nprocedure Main;\nbegin\n  execsql connect(d, d) endsql\nend;\n");
    std::vector<std::pair<int, std::string>> got;
    script.onError = [&](int kind, const std::string& t, int col, int line) {
        got.emplace_back(kind, kt::u8(t) + " @" + std::to_string(col) + "," + std::to_string(line));
    };
    EXPECT_TRUE(script.compile());
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].first, 1);
    EXPECT_EQ(got[0].second,
              "[Warning] (3:0): Текст SQL запроса не задан. При выполнение может произойти ошибка. "
              "@-1,3");
    EXPECT_EQ(script.lastMessage(), "");
}

TEST(ScriptRun, SqlStatementsReachTheExternalCallSeam) {
    // The SQL statement calls Query_Create of Runtime.lib: with an empty library folder the
    // call step reports the missing library.
    TempDir dir;
    const kt::Outcome o = kt::run(
        "var d : pchar; n : integer;\nprocedure Main;\nbegin\n"
        "  execsql connect(d, d) select 1 from t sqlreturns :n endsql\nend;\n",
        true, [&](zs::Script& s) { s.libraryDirectory = dir.base(); });
    ASSERT_TRUE(o.compiled) << o.compileError;
    EXPECT_EQ(o.runError.substr(0, o.runError.find('\r')), "Библиотека \"runtime.lib\" ненайдена");
}

TEST(ScriptRun, ReadScriptFileConvertsUtf8AndRefusesCharactersOutsideCp1251) {
    TempDir dir;
    dir.write("u.pas", "// Итог\n");
    dir.write("c.pas", kt::cp("// Итог\n"));
    dir.write("bad.pas", "// \xE2\x82\xAC\xF0\x9F\x98\x80\n");  // € is in cp1251, the emoji is not
    EXPECT_EQ(zs::readScriptFile(dir.base() + "u.pas"), kt::cp("// Итог\n"));
    EXPECT_EQ(zs::readScriptFile(dir.base() + "c.pas"), kt::cp("// Итог\n"));
    EXPECT_THROW(zs::readScriptFile(dir.base() + "bad.pas"), zentra::text::EncodingError);
}

}  // namespace
