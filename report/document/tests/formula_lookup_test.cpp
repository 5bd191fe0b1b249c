// Database look-ups of cell formulas (=^PROC(...):n) in real builds: TDocument's default look-up
// loads Runtime.lib from the library folder and reads a copy of the demo catalogue through the
// driver library. Expected values come from an own connection of the database layer.
#include <gtest/gtest.h>

#include <filesystem>

#include "database.h"
#include "document.h"
#include "formula_runtime.h"
#include "grid_stream.h"
#include "statement.h"
#include "support/test_support.h"
#include "text/cp1251.h"

using namespace zentra::report;
namespace zt = zentra::text;

namespace {

std::string cp(std::string_view u) {
    return zt::utf8ToCp1251(u);
}
std::string u8(std::string_view c) {
    return zt::cp1251ToUtf8(c);
}

struct Cell {
    std::string text;  // UTF-8
    bool failed = false;
};

class FormulaLookupBuild : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = zentra::testing::copyTemplateDatabase("demo", dir_);
        libdir_ = (zentra::testing::buildDir() / "bin").string() + "/";
        zentra::script::ReleaseFormulaRuntime();
    }
    // Closes the pooled connection before the temporary folder goes.
    void TearDown() override { zentra::script::ReleaseFormulaRuntime(); }

    // The first row of a select over an own connection, as UTF-8 texts ("<null>" for NULL).
    std::vector<std::string> firstRow(const std::string& sql) {
        zentra::db::Database db;
        db.open({path_, "SYSDBA", "masterkey", "UTF8"});
        zentra::db::Statement st(db, sql);
        st.execute();
        std::vector<std::string> out;
        if (!st.fetch()) return out;
        for (int i = 0; i < st.columnCount(); ++i)
            out.push_back(st.value(i).isNull() ? "<null>" : st.value(i).toText());
        return out;
    }

    // Builds a one-line report: A1 "[@P]" (the script's P), B1 the formula (calculated after
    // the build when deferred). Answers B1.
    Cell build(const std::string& formulaUtf8, const std::string& p, bool deferred = false,
               const std::string* folder = nullptr) {
        TDocument doc;
        TKelvoGrid t;
        t.CreateCell(0, 0).Text = "[@P]";
        TCellData& f = t.CreateCell(1, 0);
        f.Text = cp(formulaUtf8);
        if (deferred) t.SetFormatProperty(f, EFormatKind::Options, kOptCalcAfterBuild);
        doc.PrintForm = SaveGridStream(t);
        doc.AddGroup("L", "EVENT_NAME=L\r\n", 1, 1, 2, 1);
        // The host's values reach formulas through the script's own variables of those names.
        doc.ScriptText =
            "var P, defDBDriver, defConnection : pchar;\r\nprocedure Main;\r\n"
            "begin\r\n P := '" +
            p + "'; SendEvent('L', P);\r\nend;\r\n";
        doc.LibraryFolder = folder ? *folder : libdir_;
        doc.ExternalVariables.setVariable("defDBDriver", std::string("Morvane.dll"),
                                          zentra::script::kTypeText);
        doc.ExternalVariables.setVariable(
            "defConnection", "DBName=" + path_ + ",user_name=SYSDBA,password=masterkey",
            zentra::script::kTypeText);
        const BuildResult r = doc.Build();
        EXPECT_EQ(r.Status, BuildStatus::Built) << u8(r.Message);
        const TCellData* c = doc.DocumentGrid().FindCell(1, 0);
        if (!c) return {"<none>", false};
        return {u8(c->Text), (c->Format->Options & kOptFormulaFailed) != 0};
    }

    zentra::testing::TempDir dir_;
    std::string path_, libdir_;
};

TEST_F(FormulaLookupBuild, ReadsTheFieldOfTheFirstRow) {
    const auto two = firstRow(
        "SELECT FIRST 1 FIDPRODUCTS, FIDATTRSETUP, FVALUE, FNAME "
        "FROM GET_ATTRPRODUCT(2, '', '')");
    const auto three = firstRow("SELECT FIRST 1 FVALUE FROM GET_ATTRPRODUCT(3, '', '')");
    const auto none = firstRow("SELECT FIRST 1 FVALUE, FNAME FROM GET_ATTRPRODUCT(999999, '', '')");
    ASSERT_EQ(two.size(), 4u);
    ASSERT_EQ(three.size(), 1u);
    ASSERT_EQ(none.size(), 2u);
    ASSERT_EQ(none[0], "<null>") << "the demo data should have an attribute shown when empty";
    ASSERT_NE(two[2], three[0]);
    struct Case {
        const char* name;
        std::string formula, p;
        bool deferred;
        std::string expected;
    };
    const Case cases[] = {
        {"field given", "=^GET_ATTRPRODUCT(2, '', ''):3", "", false, two[3]},
        // no field number: field 0, the product id the procedure echoes, read as a number
        {"field absent", "=^GET_ATTRPRODUCT(2, '', '')", "", false, "2"},
        {"number field in arithmetic", "=^GET_ATTRPRODUCT(2, '', ''):1 * 10", "", false,
         std::to_string(std::stoi(two[1]) * 10)},
        // the first argument from a cell, bound in written order
        {"argument from a cell", "=^GET_ATTRPRODUCT(A1, 'x', 'y'):2", "3", false, three[0]},
        {"calculated after the build", "=^GET_ATTRPRODUCT(A1, '', ''):2", "2", true, two[2]},
        {"NULL reads as empty text", "=^GET_ATTRPRODUCT(999999, '', ''):2", "", false, ""},
        {"NULL row, other field", "=^GET_ATTRPRODUCT(999999, '', ''):3", "", false, none[1]},
        // a group that does not exist: the select gives no row, the value is empty text
        {"no rows: empty text", "=^GET_DIR_PRODUCTS('', -1, 0, 0, ''):3", "", false, ""},
    };
    for (const Case& c : cases) {
        const Cell cell = build(c.formula, c.p, c.deferred);
        EXPECT_FALSE(cell.failed) << c.name << ": " << cell.text;
        EXPECT_EQ(cell.text, c.expected) << c.name;
    }
    EXPECT_EQ(std::filesystem::path(zentra::script::FormulaRuntimePath()).filename(),
              "Runtime.lib");
}

TEST_F(FormulaLookupBuild, DatabaseErrorsBecomeTheCellsText) {
    struct Case {
        const char* name;
        std::string formula;
        std::string select;      // named in the error
        std::string engineWord;  // a word of the library's own error text
    };
    const Case cases[] = {
        {"procedure does not exist", "=^NO_SUCH_PROC(1, 'a')",
         "SELECT * FROM NO_SUCH_PROC(:PARAM0, :PARAM1)", "NO_SUCH_PROC"},
        {"field number past the last field", "=^GET_ATTRPRODUCT(2, '', ''):40",
         "SELECT * FROM GET_ATTRPRODUCT(:PARAM0, :PARAM1, :PARAM2)", "40"},
        {"too few parameters", "=^GET_ATTRPRODUCT(2)", "SELECT * FROM GET_ATTRPRODUCT(:PARAM0)",
         "GET_ATTRPRODUCT"},
    };
    for (const Case& c : cases) {
        const Cell cell = build(c.formula, "");
        EXPECT_TRUE(cell.failed) << c.name;
        const std::string head = "Ошибка запроса \"" + c.select + "\": ";
        EXPECT_EQ(cell.text.rfind(head, 0), 0u) << c.name << ": " << cell.text;
        // the composed formula follows, its tokens each after one blank
        const auto in = cell.text.rfind(" в функции  ^");
        ASSERT_NE(in, std::string::npos) << c.name << ": " << cell.text;
        EXPECT_NE(cell.text.substr(head.size(), in - head.size()).find(c.engineWord),
                  std::string::npos)
            << c.name << ": " << cell.text;
    }
    // After errors the shared library still answers.
    EXPECT_EQ(build("=^GET_ATTRPRODUCT(2, '', '')", "").text, "2");
}

TEST_F(FormulaLookupBuild, MissingLibraryIsAClearErrorAndOneHandleIsShared) {
    zentra::testing::TempDir empty;
    const std::string folder = empty.path().string() + "/";
    Cell cell = build("=^GET_ATTRPRODUCT(2, '', '')", "", false, &folder);
    EXPECT_TRUE(cell.failed);
    EXPECT_EQ(cell.text, "Библиотека \"Runtime.lib\" ненайдена в папке \"" + folder +
                             "\" в функции  ^GET_ATTRPRODUCT ( 2 , '' , '' )");
    EXPECT_EQ(zentra::script::FormulaRuntimePath(), "");

    // Loaded at the first look-up from that look-up's folder, then shared by every machine,
    // whatever folder later formulas name, until released.
    EXPECT_EQ(build("=^GET_ATTRPRODUCT(2, '', '')", "").text, "2");
    EXPECT_EQ(build("=^GET_ATTRPRODUCT(2, '', '')", "", false, &folder).text, "2");
    zentra::script::ReleaseFormulaRuntime();
    EXPECT_EQ(zentra::script::FormulaRuntimePath(), "");
    EXPECT_TRUE(build("=^GET_ATTRPRODUCT(2, '', '')", "", false, &folder).failed);
}

}  // namespace
