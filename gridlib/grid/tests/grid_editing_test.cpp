// Editing cells of a real catalogue database through the grid: what Enter, Esc and the blank
// date text store, read back over a second connection, and a post that the database refuses.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "database.h"
#include "dbgrid_ex.h"
#include "grid_fixture.h"
#include "inplace_edit.h"
#include "sql_dataset.h"
#include "statement.h"
#include "support/test_support.h"

using namespace zentra;
using namespace zentra::grid;
using gridtest::typeText;

namespace {

class GridEditing : public ::testing::Test {
  protected:
    void SetUp() override {
        path = zentra::testing::copyTemplateDatabase("demo", dir);
        db::ConnectParams p;
        p.database = path;
        database.open(p);
        other.open(p);
        ds = std::make_unique<data::SqlDataSet>(database);
        ds->setSelectSql(
            "SELECT FID, FNAME, FCREATEDATE, FNEW FROM TPRODUCTS WHERE FID <= 20 ORDER BY FID");
        ds->setModifySql(
            "UPDATE TPRODUCTS SET FNAME = :FNAME, FCREATEDATE = :FCREATEDATE, FNEW = :FNEW WHERE "
            "FID = :OLD_FID");
        // The host commits each posted row, as the client does.
        ds->afterPost = [this](data::DataSet&) { database.defaultTransaction().commitRetaining(); };
        ds->open();
        grid = std::make_unique<DBGridEx>();
        grid->setErrorSink([this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& ex) {
                errors.push_back(ex.what());
            }
        });
        grid->addColumn("FID");
        grid->addColumn("FNAME").setWidth(200);
        grid->addColumn("FCREATEDATE").columnType = ColumnType::DateTime;
        grid->addColumn("FNEW").columnType = ColumnType::CheckBox;
        grid->setDataSet(ds.get());
        grid->resize(500, 300);
        grid->show();
        grid->activateWindow();
        grid->setFocus();
        QApplication::processEvents();
        ds->moveTo(2);
        fid = static_cast<int>(ds->value(0).toInt());
    }
    void TearDown() override {
        grid.reset();
        ds.reset();
    }

    // The stored value, read over the second connection in a fresh transaction.
    data::Value stored(const char* column) {
        db::Transaction tr(other);
        db::Statement st(other, std::string("SELECT ") + column + " FROM TPRODUCTS WHERE FID = :F",
                         &tr);
        st.setParam("F", fid);
        st.execute();
        EXPECT_TRUE(st.fetch());
        data::Value v = st.value(0);
        st.close();
        tr.commit();
        return v;
    }
    void keyToFocus(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(k), m);
        QApplication::processEvents();
    }

    zentra::testing::TempDir dir;
    std::string path;
    db::Database database, other;
    std::unique_ptr<data::SqlDataSet> ds;
    std::unique_ptr<DBGridEx> grid;
    std::vector<std::string> errors;
    int fid = 0;
};

}  // namespace

TEST_F(GridEditing, EnterPostsAndEscRestores) {
    const std::string original = stored("FNAME").toText();
    grid->setCurrentColumn(1);
    keyToFocus(Qt::Key_Return);
    ASSERT_TRUE(grid->editing());
    EXPECT_EQ(grid->editor()->text().toStdString(), original);
    typeText(grid->editor(), QStringLiteral("Новое имя"));
    keyToFocus(Qt::Key_Return);
    EXPECT_FALSE(grid->editing());
    EXPECT_EQ(ds->state(), data::DataSetState::Browse);
    EXPECT_EQ(stored("FNAME").toText(), "Новое имя");

    keyToFocus(Qt::Key_Return);
    typeText(grid->editor(), QStringLiteral("Не сохранять"));
    keyToFocus(Qt::Key_Escape);
    EXPECT_FALSE(grid->editing());
    EXPECT_EQ(ds->state(), data::DataSetState::Browse);
    EXPECT_EQ(ds->value(1).toText(), "Новое имя");
    EXPECT_EQ(stored("FNAME").toText(), "Новое имя");
    EXPECT_TRUE(errors.empty());
}

TEST_F(GridEditing, BlankDateStoresNullAndTypedDateIsStored) {
    ASSERT_FALSE(stored("FCREATEDATE").isNull());
    grid->setCurrentColumn(2);
    keyToFocus(Qt::Key_Return);
    ASSERT_TRUE(grid->editing());
    ASSERT_FALSE(grid->editor()->inputMask().isEmpty());
    grid->editor()->selectAll();
    QTest::keyClick(grid->editor(), Qt::Key_Delete);
    EXPECT_EQ(grid->editor()->editorText(), QStringLiteral("  .  .    "));
    keyToFocus(Qt::Key_Return);
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(stored("FCREATEDATE").isNull());
    EXPECT_EQ(grid->cellText(grid->column(2), ds->recNo()), QString());

    keyToFocus(Qt::Key_Return);
    grid->editor()->setCursorPosition(0);
    typeText(grid->editor(), QStringLiteral("03022025"));
    keyToFocus(Qt::Key_Return);
    EXPECT_EQ(stored("FCREATEDATE").toDate(), text::Date::fromYmd(2025, 2, 3));
    EXPECT_EQ(grid->cellText(grid->column(2), ds->recNo()), QStringLiteral("03.02.2025"));
}

TEST_F(GridEditing, RefusedPostRestoresTheTextAndReportsTheError) {
    const std::string original = stored("FNAME").toText();
    // Another connection holds the row: our update meets a lock conflict at once.
    db::Transaction holder(other);
    db::Statement lock(other, "UPDATE TPRODUCTS SET FNAME = FNAME WHERE FID = :F", &holder);
    lock.setParam("F", fid);
    lock.execute();

    grid->setCurrentColumn(1);
    keyToFocus(Qt::Key_Return);
    typeText(grid->editor(), QStringLiteral("Не пройдёт"));
    keyToFocus(Qt::Key_Return);
    ASSERT_EQ(errors.size(), 1u);  // told, not swallowed
    EXPECT_FALSE(errors[0].empty());
    EXPECT_FALSE(grid->editing());
    EXPECT_EQ(ds->state(), data::DataSetState::Browse);
    EXPECT_EQ(ds->value(1).toText(), original);
    EXPECT_EQ(grid->cellText(grid->column(1), ds->recNo()).toStdString(), original);
    holder.rollback();
    EXPECT_EQ(stored("FNAME").toText(), original);

    // A bad date is refused the same way, before the database is asked.
    grid->setCurrentColumn(2);
    keyToFocus(Qt::Key_Return);
    grid->editor()->setCursorPosition(0);
    typeText(grid->editor(), QStringLiteral("31022025"));
    keyToFocus(Qt::Key_Return);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[1].find("не является датой"), std::string::npos) << errors[1];
    EXPECT_EQ(ds->state(), data::DataSetState::Browse);
}

TEST_F(GridEditing, CheckBoxToggleIsStoredWhenMovingOn) {
    const int before = static_cast<int>(stored("FNEW").toInt());
    grid->setCurrentColumn(3);
    keyToFocus(Qt::Key_Space);  // a typed character toggles a check box
    EXPECT_EQ(ds->value(3).toInt(), before == 0 ? 1 : 0);
    keyToFocus(Qt::Key_Down);
    EXPECT_EQ(stored("FNEW").toInt(), before == 0 ? 1 : 0);
}
