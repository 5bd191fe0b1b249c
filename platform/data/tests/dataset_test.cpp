// The same behaviours checked on both data set implementations, then what only the SQL one does.
#include <gtest/gtest.h>

#include <memory>

#include "database.h"
#include "error.h"
#include "sql_dataset.h"
#include "sql_script.h"
#include "statement.h"
#include "statements.h"
#include "support/test_support.h"

using namespace zentra;
using namespace zentra::data;
using text::Date;

namespace {

std::vector<std::vector<Value>> sampleRows() {
    std::vector<std::vector<Value>> rows;
    for (int i = 1; i <= 5; ++i) {
        rows.push_back({Value(i), Value("Товар " + std::to_string(i)), Value(i * 10.5),
                        Value(Date::fromYmd(2026, 1, i))});
    }
    return rows;
}

struct Counter : DataLink {
    int changed = 0, moves = 0, record = 0, state = 0;
    void dataSetChanged(DataSet&) override { ++changed; }
    void scrolled(DataSet&) override { ++moves; }
    void recordChanged(DataSet&, int) override { ++record; }
    void stateChanged(DataSet&) override { ++state; }
};

// Makes a data set of the sample rows, open, with fields FID, FNAME, FPRICE (2 decimals), FDATE.
class Maker {
public:
    virtual ~Maker() = default;
    virtual std::unique_ptr<DataSet> make() = 0;
};

class MemoryMaker : public Maker {
public:
    std::unique_ptr<DataSet> make() override {
        auto ds = std::make_unique<MemoryDataSet>(std::vector<FieldDef>{
            {"FID", "", FieldKind::Integer}, {"FNAME", "", FieldKind::Text, 40},
            {"FPRICE", "", FieldKind::Float, 0, 2}, {"FDATE", "", FieldKind::Date}});
        ds->setInitialRows(sampleRows());
        ds->open();
        return ds;
    }
};

class SqlMaker : public Maker {
public:
    SqlMaker() {
        db::ConnectParams p;
        p.database = dir.file("ds.fdb");
        database.create(p);
        db::runSqlScript(database, R"(
            CREATE TABLE T (FID INTEGER NOT NULL PRIMARY KEY, FNAME VARCHAR(40),
                            FPRICE NUMERIC(15,2), FDATE DATE);
            CREATE GENERATOR G; SET GENERATOR G TO 100;)");
        db::Statement ins(database, "INSERT INTO T VALUES (:A, :B, :C, :D)");
        for (const auto& r : sampleRows()) {
            ins.setParam("A", r[0]);
            ins.setParam("B", r[1]);
            ins.setParam("C", r[2]);
            ins.setParam("D", r[3]);
            ins.execute();
        }
        database.defaultTransaction().commitRetaining();
    }
    std::unique_ptr<DataSet> make() override {
        auto ds = std::make_unique<SqlDataSet>(database);
        ds->setSelectSql("SELECT FID, FNAME, FPRICE, FDATE FROM T ORDER BY FID");
        ds->setModifySql("UPDATE T SET FNAME = :FNAME, FPRICE = :FPRICE, FDATE = :FDATE WHERE FID = :OLD_FID");
        ds->setInsertSql("INSERT INTO T (FID, FNAME, FPRICE, FDATE) VALUES "
                         "(COALESCE(:FID, GEN_ID(G, 1)), :FNAME, :FPRICE, :FDATE) RETURNING FID");
        ds->setDeleteSql("DELETE FROM T WHERE FID = :FID");
        ds->open();
        return ds;
    }
    zentra::testing::TempDir dir;
    db::Database database;
};

class DataSetBehaviour : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam()) maker = std::make_unique<SqlMaker>();
        else maker = std::make_unique<MemoryMaker>();
        ds = maker->make();
    }
    std::unique_ptr<Maker> maker;
    std::unique_ptr<DataSet> ds;
};

}  // namespace

TEST_P(DataSetBehaviour, CursorMovesAndStopsAtTheEnds) {
    EXPECT_EQ(ds->recNo(), 0);
    EXPECT_TRUE(ds->bof());
    EXPECT_FALSE(ds->eof());
    ds->next();
    EXPECT_EQ(ds->value("FID").toInt(), 2);
    EXPECT_EQ(ds->moveBy(10), 3);
    EXPECT_TRUE(ds->eof());
    EXPECT_EQ(ds->value(0).toInt(), 5);
    EXPECT_EQ(ds->moveBy(-2), -2);
    EXPECT_FALSE(ds->eof());
    ds->prior();
    ds->prior();
    ds->prior();
    EXPECT_TRUE(ds->bof());
    EXPECT_EQ(ds->recNo(), 0);
    ds->last();
    EXPECT_EQ(ds->recNo(), 4);
    EXPECT_EQ(ds->recordCount(), 5);
    // Reading another row leaves the cursor where it is.
    EXPECT_EQ(ds->valueAt(1, 1).toText(), "Товар 2");
    EXPECT_EQ(ds->displayTextAt(1, 2), "21,00");
    EXPECT_EQ(ds->recNo(), 4);
    EXPECT_FALSE(ds->moveTo(5));
    EXPECT_TRUE(ds->moveTo(2));
    EXPECT_EQ(ds->displayText(3), "03.01.2026");
}

TEST_P(DataSetBehaviour, EditPostAndCancel) {
    ds->moveTo(1);
    ds->edit();
    ds->setEditText(2, "1 234,5");
    ds->setValue("FNAME", "Ёлка");
    EXPECT_EQ(ds->state(), DataSetState::Edit);
    EXPECT_EQ(ds->editText(2), "1234,50");
    ds->post();
    EXPECT_EQ(ds->state(), DataSetState::Browse);
    EXPECT_DOUBLE_EQ(ds->value(2).toDouble(), 1234.5);
    EXPECT_EQ(ds->displayText(2), "1\xC2\xA0" "234,50");

    ds->setValue(1, "Отменено");  // starts editing by itself
    EXPECT_EQ(ds->state(), DataSetState::Edit);
    ds->cancel();
    EXPECT_EQ(ds->value(1).toText(), "Ёлка");

    // A bad text is refused and the edit goes on with the user's other values.
    ds->edit();
    ds->setValue(1, "Новое имя");
    EXPECT_THROW(ds->setEditText(2, "12,3,4"), DataError);
    EXPECT_THROW(ds->setEditText(3, "31.02.2026"), DataError);
    EXPECT_THROW(ds->setEditText(0, "1,5"), DataError);
    EXPECT_THROW(ds->setEditText(1, std::string(41, 'x')), DataError);
    EXPECT_EQ(ds->value(1).toText(), "Новое имя");
    ds->setEditText(3, "");
    EXPECT_TRUE(ds->value(3).isNull());
    ds->post();

    // Moving the cursor posts a pending edit.
    ds->setValue(1, "Перенесено");
    ds->next();
    EXPECT_EQ(ds->valueAt(1, 1).toText(), "Перенесено");

    // Stored rows survive reopening; a memory data set starts again from its initial rows.
    if (!GetParam()) return;
    ds->close();
    ds->open();
    ds->moveTo(1);
    EXPECT_EQ(ds->value(1).toText(), "Перенесено");
    EXPECT_TRUE(ds->value(3).isNull());
}

TEST_P(DataSetBehaviour, InsertAppendDeleteAndBookmarks) {
    ds->moveTo(2);
    const Bookmark third = ds->bookmark();
    ds->moveTo(4);
    const Bookmark fifth = ds->bookmark();
    ds->moveTo(1);
    ds->insert();
    ds->setValue(0, 50);
    ds->setValue(1, "Вставлен");
    ds->post();
    EXPECT_EQ(ds->recNo(), 1);
    EXPECT_EQ(ds->recordCount(), 6);
    ds->append();
    ds->setValue(0, 60);
    ds->setValue(1, "В конце");
    ds->post();
    EXPECT_EQ(ds->recNo(), 6);
    ds->moveTo(0);
    const Bookmark first = ds->bookmark();
    ds->remove();  // the first row
    EXPECT_FALSE(ds->bookmarkValid(first));
    EXPECT_FALSE(ds->gotoBookmark(first));
    EXPECT_EQ(ds->value(1).toText(), "Вставлен");  // the cursor stays at the same position
    ASSERT_TRUE(ds->gotoBookmark(third));
    EXPECT_EQ(ds->value(0).toInt(), 3);
    ASSERT_TRUE(ds->gotoBookmark(fifth));
    EXPECT_EQ(ds->value(0).toInt(), 5);
    // bookmarkAt reads any fetched row's bookmark without moving the cursor.
    const int here = ds->recNo();
    EXPECT_EQ(ds->bookmarkAt(here), fifth);
    EXPECT_EQ(ds->bookmarkAt(2), third);
    EXPECT_EQ(ds->bookmarkAt(-1), kNoBookmark);
    EXPECT_EQ(ds->bookmarkAt(ds->fetchedCount()), kNoBookmark);
    EXPECT_EQ(ds->recNo(), here);
    ds->last();
    ds->remove();
    EXPECT_EQ(ds->value(0).toInt(), 5);  // on the new last row
    EXPECT_EQ(ds->recordCount(), 5);
    // Inserting then cancelling leaves nothing behind.
    ds->insert();
    ds->cancel();
    EXPECT_EQ(ds->recordCount(), 5);
}

TEST_P(DataSetBehaviour, HooksCanRefuseAndNotificationsCoalesce) {
    std::vector<std::string> calls;
    ds->beforePost = [&](DataSet& d) {
        calls.push_back("beforePost");
        if (d.value(1).toText().empty()) throw DataError("Не заполнено наименование");
    };
    ds->afterPost = [&](DataSet&) { calls.push_back("afterPost"); };
    ds->beforeDelete = [&](DataSet&) { throw DataError("Удалять нельзя"); };
    ds->edit();
    ds->setValue(1, "");
    EXPECT_THROW(ds->post(), DataError);
    EXPECT_EQ(ds->state(), DataSetState::Edit);
    ds->setValue(1, "Есть имя");
    ds->post();
    EXPECT_EQ(calls, (std::vector<std::string>{"beforePost", "beforePost", "afterPost"}));
    EXPECT_THROW(ds->remove(), DataError);
    EXPECT_EQ(ds->recordCount(), 5);

    Counter c;
    ds->attach(&c);
    ds->next();
    EXPECT_EQ(c.moves, 1);
    ds->disableControls();
    ds->disableControls();
    ds->first();
    ds->setValue(1, "x");
    ds->post();
    ds->last();
    ds->enableControls();
    EXPECT_EQ(c.changed, 0);  // still disabled once
    ds->enableControls();
    EXPECT_EQ(c.changed, 1);
    EXPECT_EQ(c.moves, 1);
    ds->detach(&c);
    ds->first();
    EXPECT_EQ(c.moves, 1);
}

TEST_P(DataSetBehaviour, FieldVisibilityIsToldToTheControlsOnlyWhenItChanges) {
    EXPECT_TRUE(ds->field(1).visible);  // fields start shown
    EXPECT_TRUE(ds->isSequenced());
    Counter c;
    ds->attach(&c);
    struct Step {
        int field;
        bool visible;
        int changedAfter;  // dataSetChanged calls so far
    } steps[] = {{1, false, 1}, {1, false, 1}, {2, false, 2}, {1, true, 3}, {1, true, 3}};
    for (const Step& s : steps) {
        ds->setFieldVisible(s.field, s.visible);
        EXPECT_EQ(ds->field(s.field).visible, s.visible);
        EXPECT_EQ(c.changed, s.changedAfter) << s.field << " " << s.visible;
    }
    // While the controls are disabled the change waits for enabling, like any other.
    ds->disableControls();
    ds->setFieldVisible(3, false);
    EXPECT_EQ(c.changed, 3);
    ds->enableControls();
    EXPECT_EQ(c.changed, 4);
    EXPECT_EQ(c.moves, 0);
    ds->detach(&c);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, DataSetBehaviour, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Sql" : "Memory"; });

TEST(SqlDataSet, FailedPostKeepsTheEditAndKeysComeFromTheDatabase) {
    SqlMaker m;
    auto ds = m.make();
    ds->append();
    ds->setValue(1, "Ключ из генератора");
    ds->post();
    EXPECT_EQ(ds->value(0).toInt(), 101);
    ds->append();
    ds->setValue(0, 2);  // already taken
    ds->setValue(1, "Дубль");
    try {
        ds->post();
        FAIL();
    } catch (const db::DbError& e) {
        EXPECT_EQ(e.engineCode(), db::DbError::kUniqueKeyViolation);
    }
    EXPECT_EQ(ds->state(), DataSetState::Insert);
    EXPECT_EQ(ds->value(1).toText(), "Дубль");
    ds->setValue(0, 77);
    ds->post();
    db::Statement count(m.database, "SELECT COUNT(*) FROM T");
    EXPECT_EQ(count.executeScalar().toInt(), 7);
}

TEST(SqlDataSet, ProductListEditsTheBasketAndRefreshes) {
    zentra::testing::TempDir dir;
    db::Database database;
    db::ConnectParams p;
    p.database = zentra::testing::copyTemplateDatabase("demo", dir);
    database.open(p);
    db::Transaction trMain(database);
    SqlDataSet products(database, &trMain);
    products.setSelectSql(std::string(catalogue::sql::kProductsSelect) + "WHERE (FSTATE > 0) ");
    products.setModifySql(std::string(catalogue::sql::kProductsModify));
    products.setRefreshSql(
        std::string(catalogue::sql::kProductColumns) +
        "GET_DIR_PRODUCTS('',-3,1,10,'') WHERE FID=:FID");
    products.setParam("DIRLIST", "");
    products.setParam("PIDDIRECTORIES", -3);
    products.setParam("pDiscountType", 1);
    products.setParam("pDiscount", 10.0);
    products.setParam("PANALOGGROUP", "");
    products.afterPost = [&](DataSet&) { trMain.commitRetaining(); };
    products.open();
    ASSERT_GT(products.recordCount(), 0);
    EXPECT_EQ(products.fieldCount(), 31);
    EXPECT_EQ(products.field(products.fieldIndex("FPRICE")).decimals, 2);
    products.moveTo(0);
    const double price = products.value("FPRICE").toDouble();
    products.setValue("FQTY", 3.0);
    products.setValue("FAMOUNT", 3 * price);
    products.post();
    const int64_t id = products.value("FID").toInt();
    // Committed at once: another transaction sees it.
    db::Statement sum(database, catalogue::sql::qGetSum.select);
    sum.execute();
    ASSERT_TRUE(sum.fetch());
    EXPECT_DOUBLE_EQ(sum.value("QTY").toDouble(), 3);
    sum.close();
    dynamic_cast<SqlDataSet&>(products).refresh();
    EXPECT_EQ(products.value("FID").toInt(), id);
    EXPECT_DOUBLE_EQ(products.value("FQTY").toDouble(), 3);
    // Deleting is not offered by this list: a clear error, nothing lost.
    EXPECT_THROW(products.remove(), DataError);
    EXPECT_EQ(products.value("FID").toInt(), id);
}
