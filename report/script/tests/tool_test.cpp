// The kelvo-script tool as report authors use it: traces on standard output, compile and
// run-time errors on standard error with exit codes 1 and 2, cp1251 or UTF-8 files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_util.h"

namespace fs = std::filesystem;

namespace {

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class ToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kelvo_tool_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return (dir_ / name).string();
    }

    ToolResult tool(const std::string& args) {
        const std::string errFile = (dir_ / "stderr.txt").string();
        const std::string cmd = std::string(KELVO_SCRIPT_TOOL) + " " + args + " 2>" + errFile;
        ToolResult r;
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return r;
        char buf[4096];
        std::size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            r.out.append(buf, n);
        const int status = pclose(p);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = slurp(errFile);
        return r;
    }

    fs::path dir_;
};

const char* kExpectedTrace =
    "LINE NAME=Болт М6 QTY=15\n"
    "LINE NAME=Гайка QTY=37,5\n"
    "SKIP NAME=Shim\n"
    "TOTAL TOTAL=52,5 NAME=Shim***\n";

TEST_F(ToolTest, RunPrintsTheEventTraceForUtf8LfAndCp1251CrLfFiles) {
    const std::string utf8 =
        slurp(fs::path(ZENTRA_SOURCE_DIR_FOR_TESTS) / "report/script/tests/data/order_lines.pas");
    ASSERT_FALSE(utf8.empty());
    std::string crlf;
    for (char c : kt::cp(utf8))
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& file : {write("utf8.pas", utf8), write("cp1251.pas", crlf)}) {
        const ToolResult r = tool("run " + file);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, kExpectedTrace) << file;
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(ToolTest, CompileErrorExitsOneWithTheErrorText) {
    const ToolResult r = tool("run " + write("e.pas", "procedure Main;\nbegin\n  x := 1\nend;\n"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "[Error] (2:3): Неизвестный идентификатор \"x\"\n");
}

TEST_F(ToolTest, RunTimeErrorExitsTwoWithTheMachineStateLines) {
    const ToolResult r =
        tool("run " + write("r.pas",
                            "var a : array of integer; x : integer;\n"
                            "procedure Main;\nbegin\n  NewLine;\n  x := a[-1]\nend;\n"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "NewLine\n");
    EXPECT_EQ(
        r.err.substr(0, r.err.find("Number:")),
        "Выход за пределы массива.\n************* VirtualMachine State *************\n* Command ");
    EXPECT_NE(r.err.find("   * Command Name: GAV\n"), std::string::npos) << r.err;
}

TEST_F(ToolTest, HostVariablesOfEachTypeAndBadValues) {
    const std::string file =
        write("v.pas", std::string("var N : integer; D : double; B : boolean; "
                                   "S : pchar;\n") +
                           "procedure Main; begin SendEvent('V', N, D, B, S) end;\n");
    ToolResult r = tool("run " + file +
                        " --var n:INTEGER=-3 --var D:double=0.25 --var b:boolean=да "
                        "--var S:PCHAR='Итого к оплате'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "V N=-3 D=0,25 B=1 S=Итого к оплате\n");
    r = tool("run " + file + " --var N:INTEGER=abc");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "");
}

TEST_F(ToolTest, TokensAndDisasm) {
    const std::string file = write("t.pas", "procedure Main;\nbegin\n  x := 'Да'\nend;\n");
    ToolResult r = tool("tokens " + file);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "tkReserved\tPROCEDURE\t1\t-1\n"
              "tkIdentifier\tMain\t1\t9\n"
              "tkSymbol\t;\t1\t13\n"
              "tkReserved\tBEGIN\t2\t1\n"
              "tkIdentifier\tx\t3\t3\n"
              "tkSymbol\t:\t3\t5\n"
              "tkLogical\t=\t3\t6\n"
              "tkString\tДа\t3\t8\n"
              "tkReserved\tEND\t4\t1\n"
              "tkSymbol\t;\t4\t4\n");
    const std::string ok =
        write("d.pas", "var x : pchar;\nprocedure Main;\nbegin\n  x := 'Да'\nend;\n");
    r = tool("disasm " + ok + " --no-lib");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0: PUSH 'Да' 4\n1: MOVS 1\n2: HALT\n");
    r = tool("disasm " + file);
    EXPECT_EQ(r.exitCode, 1);
    r = tool("tokens " + write("bad.pas", "x := 1.2.3"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "[Error] (0:4): Недопусптимый символ: \".\"\n");
}

TEST_F(ToolTest, UsageErrors) {
    EXPECT_EQ(tool("").exitCode, 3);
    EXPECT_EQ(tool("run " + (dir_ / "missing.pas").string()).exitCode, 3);
    EXPECT_EQ(tool("frobnicate x").exitCode, 3);
}

TEST_F(ToolTest, LibdirNamesTheFolderOfLibrariesAndIncludeFiles) {
    // a library folder of our own: a copy of the test library and an INCLUDE file
    const fs::path libs = dir_ / "libs";
    fs::create_directories(libs);
    fs::copy_file(fs::path(KELVO_TEST_EXTLIB_DIR) / "KelvoTestExt.lib", libs / "KelvoTestExt.lib");
    std::ofstream(libs / "decl.pas")
        << "var s : pchar;\n"
           "function ExtBracket(S : pchar) : pchar; external; stdcall; 'KelvoTestExt.lib';\n";
    const std::string withInclude = write("inc.pas",
                                          "include 'decl.pas';\nprocedure Main;\nbegin\n"
                                          "  s := ExtBracket('Гайка'); SendEvent('R', s);\nend;\n");
    ToolResult r = tool("run " + withInclude + " --libdir " + libs.string());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "R S=[Гайка]\n");

    // without --libdir the libraries come from the folder of the built programs
    const std::string plain =
        write("plain.pas",
              "var s : pchar;\n"
              "function ExtBracket(S : pchar) : pchar; external; stdcall; 'KelvoTestExt.lib';\n"
              "procedure Main;\nbegin\n  s := ExtBracket('x'); SendEvent('R', s);\nend;\n");
    r = tool("run " + plain);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "R S=[x]\n");

    // a folder without the library: the run-time error and exit code 2
    const fs::path empty = dir_ / "empty";
    fs::create_directories(empty);
    r = tool("run " + plain + " --libdir " + empty.string());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "Библиотека \"kelvotestext.lib\" ненайдена");
}

}  // namespace
