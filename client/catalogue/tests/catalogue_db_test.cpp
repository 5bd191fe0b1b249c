// The catalogue schema, its procedures and the client's statements against real embedded
// databases made by zentra-mkdb.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "conditions.h"
#include "database.h"
#include "discount.h"
#include "error.h"
#include "statement.h"
#include "statements.h"
#include "support/test_support.h"

using namespace zentra;
using namespace zentra::catalogue;
using db::Statement;
using db::Value;
using text::Date;

namespace {

class CatalogueDb : public ::testing::Test {
protected:
    void openTemplate(const std::string& kind) {
        db::ConnectParams p;
        p.database = zentra::testing::copyTemplateDatabase(kind, dir);
        database.open(p);
    }

    long long scalar(const std::string& sql) {
        Statement st(database, sql);
        return st.executeScalar().toInt();
    }

    int addGroup(int parent, const std::string& name, int type = 0, Date begin = Date::fromYmd(2020, 1, 1)) {
        Statement st(database, sql::qInsertDir.select);
        st.setParam("pParent", parent);
        st.setParam("pNAME", name);
        st.setParam("pDirType", type);
        st.setParam("pBEGDATE", begin);
        st.setParam("pENDDATE", Value());
        st.setParam("pVISIBLE", 1);
        st.setParam("pORDER", 0);
        st.setParam("pCOMMENTS", "");
        st.execute();
        EXPECT_TRUE(st.fetch());
        return static_cast<int>(st.value(0).toInt());
    }

    int addProduct(int group, const std::string& code, double price, int clientGroup = 0,
                   int isNew = 0, const std::string& analog = "", int state = 1) {
        Statement st(database, sql::qInsertProduct.select);
        st.setParam("FIDDIRECTORIES", group);
        st.setParam("FNUMBER", code);
        st.setParam("FNAME", "Товар " + code);
        st.setParam("FState", state);
        st.setParam("FPRICE", price);
        st.setParam("FCREATEDATE", Date::today());
        st.setParam("FUPDATEDATE", Date::today());
        st.setParam("FANALOGGROUP", analog);
        st.setParam("FCLIENTGROUPID", clientGroup);
        st.setParam("FCERTIFICATION", "");
        st.setParam("FNEW", isNew);
        st.execute();
        EXPECT_TRUE(st.fetch());
        return static_cast<int>(st.value(0).toInt());
    }

    // Runs the product list select with the given parameters and returns FID -> FPRICE.
    std::map<int, double> products(int pid, const std::string& dirList = "", int type = 0,
                                   double pct = 0, const std::string& extra = "",
                                   const std::string& analog = "") {
        Statement st(database, std::string(sql::kProductsSelect) + extra);
        st.setParam("DIRLIST", dirList);
        st.setParam("PIDDIRECTORIES", pid);
        st.setParam("pDiscountType", type);
        st.setParam("pDiscount", pct);
        st.setParam("PANALOGGROUP", analog);
        st.execute();
        std::map<int, double> out;
        while (st.fetch()) out[static_cast<int>(st.value("FID").toInt())] = st.value("FPRICE").toDouble();
        return out;
    }

    zentra::testing::TempDir dir;
    db::Database database;
};

std::string idsText(std::initializer_list<int> ids) {
    std::string s;
    for (int id : ids) s += (s.empty() ? "" : ",") + std::to_string(id);
    return s;
}

}  // namespace

TEST_F(CatalogueDb, EmptyDatabaseHoldsVersionSettingsAndAttributes) {
    openTemplate("empty");
    Statement st(database, sql::kReadConst);
    st.setParam("pid", 7);
    EXPECT_EQ(st.executeScalar().toText(), "1.0");
    st.setParam("pid", 8);
    EXPECT_EQ(st.executeScalar().toText(), "да");
    st.setParam("pid", 11);  // enciphered: stored as Base64, never as the plain name
    const std::string stored = st.executeScalar().toText();
    EXPECT_FALSE(stored.empty());
    EXPECT_EQ(stored.find("Каталог"), std::string::npos);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TCONST"), 35);  // a row for every setting
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TDIRECTORIES WHERE FID = 0"), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TPRODUCTS"), 0);
    EXPECT_GE(scalar("SELECT COUNT(*) FROM TATTRSETUP WHERE FATTRTYPE = 10 AND FLISTVIEW = 1"), 1);
}

TEST_F(CatalogueDb, EveryFixedAndNamedStatementPrepares) {
    openTemplate("demo");
    const std::string_view fixed[] = {
        sql::kReadConst, sql::kInsertConst, sql::kWriteConst, sql::kChildGroups, sql::kTreeLevel,
        sql::kNewFolderCount, sql::kListAttributes, sql::kProductsSelect, sql::kProductsModify,
        sql::kProductsDeleteFavorite, sql::kProductsDelete, sql::kFavoriteAdd,
        sql::kFavoriteDelete, sql::kImportFindProduct, sql::kImportSetQuantity,
        sql::kClearFindResult, sql::kNewsClearStatus, sql::kExportAttribute, sql::kUpdateAttribute};
    for (auto text : fixed) {
        EXPECT_NO_THROW(Statement(database, text)) << text;
    }
    const sql::NamedStatement* named[] = {
        &sql::qOrders, &sql::qFolderProducts, &sql::qGetSum, &sql::qClearProducts,
        &sql::qCopyToRecucle, &sql::qAttrProduct, &sql::qDirImg, &sql::qGetActiveBanner,
        &sql::qNewOrder, &sql::qOrder, &sql::qOrderProducts, &sql::qOrderGetSum,
        &sql::qOrderRecip, &sql::qGetOrderRecip, &sql::qAttr, &sql::qGetDir, &sql::qInsertDir,
        &sql::qUpdateDir, &sql::qClearDirVisible, &sql::qClearPrice, &sql::qGetProduct,
        &sql::qInsertProduct, &sql::qUpdateProduct, &sql::qGetProductImage,
        &sql::qUpdateProdImage, &sql::qUpdateProdText, &sql::qClearTOP100, &sql::qSetTOP100,
        &sql::qNews, &sql::qBanners, &sql::qINSTALLED_UPDATE, &sql::qDeleteqINSALLED_UPDATE,
        &sql::qFindINSTALLED_UPDATE, &sql::qUPDATECHECKED, &sql::qSelectNeededUpdates,
        &sql::qInsertINSTALLED_UPDATE};
    for (const auto* n : named) {
        for (auto text : {n->select, n->modify, n->insert, n->remove}) {
            if (!text.empty()) {
                EXPECT_NO_THROW(Statement(database, text)) << n->name << ": " << text;
            }
        }
    }
    // The texts built around fixed heads run too.
    EXPECT_NO_THROW(Statement(database, std::string(sql::kGroupProductCount) + groupCountCondition(1, "2,3") +
                                            clientGroupCondition("3,5")));
    EXPECT_NO_THROW(Statement(database, std::string(sql::kGroupNewCountHead) + "01.12.2026') " +
                                            groupCountCondition(1, "")));
    EXPECT_NO_THROW(Statement(database, productsRefreshSql(-4, 1, 2.5, "x'y")));
    EXPECT_NO_THROW(Statement(database, "SELECT FID FROM TPRODUCTS WHERE (up(FNAME) like '%ЁЛКА%')"));
}

TEST_F(CatalogueDb, ProductSelectionsByFolder) {
    openTemplate("empty");
    const int a = addGroup(0, "A");
    const int a1 = addGroup(a, "A1");
    const int a11 = addGroup(a1, "A11");
    const int b = addGroup(0, "B");
    const int pa = addProduct(a, "1", 10);
    const int pa1 = addProduct(a1, "2", 20, 0, 1);
    const int pa11 = addProduct(a11, "3", 30);
    const int pb = addProduct(b, "4", 40, 0, 1);

    auto keys = [](const std::map<int, double>& m) {
        std::set<int> s;
        for (const auto& [k, v] : m) s.insert(k);
        return s;
    };
    EXPECT_EQ(keys(products(a)), (std::set<int>{pa}));
    EXPECT_EQ(keys(products(-4, groupListCondition(a, idsText({a1, a11})))),
              (std::set<int>{pa, pa1, pa11}));
    // Lists are read into a temporary table (duplicates allowed); other conditions are used
    // as written.
    EXPECT_EQ(keys(products(-4, " AND FIDDIRECTORIES in (" + idsText({a1, a1, b}) + ")")),
              (std::set<int>{pa1, pb}));
    EXPECT_EQ(keys(products(-4, " AND FIDDIRECTORIES = " + std::to_string(a11))), (std::set<int>{pa11}));
    EXPECT_EQ(keys(products(-4, " AND FIDDIRECTORIES in (" + idsText({a, b}) + ") AND FNEW = 1")),
              (std::set<int>{pb}));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TMP_DIRLIST"), 0);
    EXPECT_EQ(keys(products(-3)), (std::set<int>{pa1, pb}));
    EXPECT_TRUE(products(-1).empty());
    database.executeImmediate("INSERT INTO TFINDRESULT (FIDPRODUCTS)VALUES (" + std::to_string(pb) + ")");
    database.executeImmediate("INSERT INTO TFINDRESULT (FIDPRODUCTS)VALUES (" + std::to_string(pa11) + ")");
    EXPECT_EQ(keys(products(-1)), (std::set<int>{pb, pa11}));
    Statement fav(database, sql::kFavoriteAdd);
    fav.setParam("FIDPRODUCTS", pa1);
    fav.execute();
    EXPECT_EQ(keys(products(-2)), (std::set<int>{pa1}));
    Statement flag(database, std::string(sql::kProductsSelect) + "WHERE FID = " + std::to_string(pa1));
    flag.setParam("DIRLIST", "");
    flag.setParam("PIDDIRECTORIES", -2);
    flag.setParam("pDiscountType", 0);
    flag.setParam("pDiscount", 0.0);
    flag.setParam("PANALOGGROUP", "");
    flag.execute();
    ASSERT_TRUE(flag.fetch());
    EXPECT_EQ(flag.value("FFAVORITE").toInt(), 1);
    EXPECT_EQ(flag.value("DIRNAME").toText(), "A1");
    EXPECT_EQ(flag.columnCount(), 31);
    EXPECT_EQ(flag.column(30).name, "ATTR_10");
}

TEST_F(CatalogueDb, AnaloguesListAndCount) {
    openTemplate("empty");
    const int g = addGroup(0, "G");
    const int p1 = addProduct(g, "1", 10, 0, 0, "AN'1");
    const int p2 = addProduct(g, "2", 10, 0, 0, "AN'1", 0);
    addProduct(g, "3", 10, 0, 0, "AN'1");
    addProduct(g, "4", 10, 0, 0, "");
    EXPECT_EQ(products(g, "", 0, 0, "", "AN'1").size(), 3u);
    Statement st(database, std::string(sql::kProductsSelect) + "WHERE ((FSTATE > 0) OR (FANALOGCOUNT > 0)) ");
    st.setParam("DIRLIST", "");
    st.setParam("PIDDIRECTORIES", g);
    st.setParam("pDiscountType", 0);
    st.setParam("pDiscount", 0.0);
    st.setParam("PANALOGGROUP", "");
    st.execute();
    std::map<int, long long> counts;
    while (st.fetch()) counts[int(st.value("FID").toInt())] = st.value("FANALOGCOUNT").toInt();
    EXPECT_EQ(counts.size(), 4u);  // the unavailable one stays because it has analogues
    EXPECT_EQ(counts[p1], 2);
    EXPECT_EQ(counts[p2], 2);
    // The refresh statement with the analogue group written in as a literal.
    Statement refresh(database, productsRefreshSql(g, 0, 0, "AN'1"));
    refresh.setParam("FID", p1);
    refresh.execute();
    ASSERT_TRUE(refresh.fetch());
    EXPECT_EQ(refresh.value("FANALOGGROUP").toText(), "AN'1");
}

TEST_F(CatalogueDb, ClientGroupConditionNarrowsCountsAndLists) {
    openTemplate("empty");
    const int g = addGroup(0, "G");
    addProduct(g, "1", 1, 3);
    addProduct(g, "2", 1, 5);
    addProduct(g, "3", 1, 4);
    addProduct(g, "4", 1, 0);
    const std::string cond = clientGroupCondition("3,5");
    EXPECT_EQ(scalar(std::string(sql::kGroupProductCount) + groupCountCondition(g, "") + cond), 2);
    EXPECT_EQ(products(g, "", 0, 0, "WHERE (FSTATE > 0) " + cond).size(), 2u);
    EXPECT_EQ(products(g, "", 0, 0, "WHERE (FSTATE > 0) ").size(), 4u);
}

TEST_F(CatalogueDb, GroupWithTwoThousandDescendantsListsAndCounts) {
    openTemplate("empty");
    const int top = addGroup(0, "Top");
    std::string descendants;
    int withProducts = 0;
    for (int i = 0; i < 2000; ++i) {
        const int child = addGroup(top, "C" + std::to_string(i));
        descendants += (i ? "," : "") + std::to_string(child);
        if (i % 100 == 99) {
            addProduct(child, "P" + std::to_string(i), 5);
            ++withProducts;
        }
    }
    // The plain IN list of 2001 numbers is what the engine refuses...
    EXPECT_THROW(scalar(std::string(sql::kGroupProductCount) + "AND FIDDIRECTORIES in (" +
                        std::to_string(top) + "," + descendants + ")"),
                 db::DbError);
    // ...and the split conditions work for the count and the list.
    EXPECT_EQ(scalar(std::string(sql::kGroupProductCount) + groupCountCondition(top, descendants)),
              withProducts);
    EXPECT_EQ(products(-4, groupListCondition(top, descendants)).size(),
              static_cast<size_t>(withProducts));
}

TEST_F(CatalogueDb, DiscountRuleMatchesTheClientCopy) {
    openTemplate("empty");
    const int plain = addGroup(0, "Plain");
    const int offer = addGroup(0, "Offer", 1);
    const double prices[] = {0.01, 0.05, 0.15, 1.99, 10.05, 19.99, 123.45, 999.99, 12345.67, 100};
    std::map<int, std::pair<double, int>> byId;
    int n = 0;
    for (double p : prices) {
        byId[addProduct(plain, "p" + std::to_string(++n), p)] = {p, 0};
        byId[addProduct(offer, "o" + std::to_string(++n), p)] = {p, 1};
    }
    for (int type : {0, 1, 2, 5}) {
        for (double pct : {0.0, 3.0, 7.5, 10.0, 12.5, 33.3, 50.0}) {
            const auto got = products(-4, " AND FIDDIRECTORIES in (" + std::to_string(plain) + "," +
                                              std::to_string(offer) + ")",
                                      type, pct);
            ASSERT_EQ(got.size(), byId.size());
            for (const auto& [id, price] : got) {
                const auto [list, dirType] = byId[id];
                EXPECT_DOUBLE_EQ(price, applyDiscount(list, dirType, type, pct))
                    << "list " << list << " type " << type << " pct " << pct << " group " << dirType;
                if (dirType == 1 || type == 0) {
                    EXPECT_DOUBLE_EQ(price, list);
                }
            }
        }
    }
}

TEST_F(CatalogueDb, BasketSumsEmptyingAndOrders) {
    openTemplate("empty");
    const int g = addGroup(0, "G");
    const int offer = addGroup(0, "Offer", 1);
    const int p1 = addProduct(g, "1", 100);
    const int p2 = addProduct(offer, "2", 50);
    addProduct(g, "3", 7);

    Statement sum(database, sql::qGetSum.select);
    sum.execute();
    ASSERT_TRUE(sum.fetch());
    EXPECT_TRUE(sum.value("QTY").isNull());  // empty basket: null sums

    // Put two products into the basket through the list's modify statement, priced at 10 %.
    Statement modify(database, sql::kProductsModify);
    modify.setParam("FID", p1);
    modify.setParam("FQTY", 3.0);
    modify.setParam("FAMOUNT", 3 * applyDiscount(100, 0, 1, 10));
    modify.execute();
    modify.setParam("FID", p2);
    modify.setParam("FQTY", 2.0);
    modify.setParam("FAMOUNT", 2 * 50.0);
    modify.execute();
    sum.execute();
    ASSERT_TRUE(sum.fetch());
    EXPECT_DOUBLE_EQ(sum.value("QTY").toDouble(), 5);
    EXPECT_DOUBLE_EQ(sum.value("AMOUNT").toDouble(), 370);

    Statement basket(database, sql::qFolderProducts.select);
    basket.setParam("PDISCOUNT_TYPE", 1);
    basket.setParam("PDISCOUNT", 10.0);
    basket.execute();
    std::map<int, double> basketPrices;
    while (basket.fetch()) basketPrices[int(basket.value("FID").toInt())] = basket.value("FPRICE").toDouble();
    EXPECT_EQ(basketPrices, (std::map<int, double>{{p1, 90}, {p2, 50}}));

    Statement newOrder(database, sql::qNewOrder.select);
    newOrder.setParam("pOrderDate", Date::fromYmd(2026, 12, 11));
    newOrder.setParam("pTitle", "Заказ на поставку продукции");
    newOrder.setParam("PCLIENTID", "K-17");
    newOrder.setParam("PDISCOUNT_TYPE", 1);
    newOrder.setParam("PDISCOUNT", 10.0);
    newOrder.execute();
    ASSERT_TRUE(newOrder.fetch());
    const long long order = newOrder.value(0).toInt();
    const std::string number = newOrder.value("FNUMBER").toText();
    EXPECT_FALSE(number.empty());

    Statement head(database, sql::qOrder.select);
    head.setParam("pID", order);
    head.execute();
    ASSERT_TRUE(head.fetch());
    EXPECT_EQ(head.value("FSATUS").toInt(), 0);
    EXPECT_DOUBLE_EQ(head.value("FQTY").toDouble(), 5);
    EXPECT_DOUBLE_EQ(head.value("FAMOUNT").toDouble(), 370);
    EXPECT_EQ(head.value("FCREATEDATE").toDate(), Date::fromYmd(2026, 12, 11));
    EXPECT_EQ(scalar("SELECT FCLIENTID FROM TORDERS WHERE FID = " + std::to_string(order)), 0);  // text, not a number
    Statement lines(database, sql::qOrderProducts.select);
    lines.setParam("pIDORDER", order);
    lines.execute();
    int lineCount = 0;
    while (lines.fetch()) {
        ++lineCount;
        const bool special = lines.value("FIDPRODUCTS").toInt() == p2;
        EXPECT_EQ(lines.value("FISSPEC").toInt(), special ? 1 : 0);
        EXPECT_DOUBLE_EQ(lines.value("FPRICE").toDouble(), special ? 50 : 90);
        EXPECT_EQ(lines.value("FDIRNAME").toText(), special ? "Offer" : "G");
    }
    EXPECT_EQ(lineCount, 2);
    Statement orderSum(database, sql::qOrderGetSum.select);
    orderSum.setParam("pIDORDER", order);
    orderSum.execute();
    ASSERT_TRUE(orderSum.fetch());
    EXPECT_DOUBLE_EQ(orderSum.value("AMOUNT").toDouble(), 370);

    // The caller empties the basket; the sums then read as nothing.
    Statement clear(database, sql::qClearProducts.select);
    clear.execute();
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TPRODUCTS WHERE FQTY <> 0 OR FAMOUNT <> 0"), 0);
    sum.execute();
    ASSERT_TRUE(sum.fetch());
    EXPECT_TRUE(sum.value("AMOUNT").isNull());

    // Copying the order back prices it under today's discount; quantities add up.
    Statement copy(database, sql::qCopyToRecucle.select);
    copy.setParam("IDORDER", order);
    copy.setParam("pDiscountType", 2);
    copy.setParam("pDiscount", 10.0);
    copy.execute();
    copy.execute();
    EXPECT_EQ(scalar("SELECT FQTY FROM TPRODUCTS WHERE FID = " + std::to_string(p1)), 6);
    Statement amount(database, "SELECT FAMOUNT FROM TPRODUCTS WHERE FID = :ID");
    amount.setParam("ID", p1);
    EXPECT_DOUBLE_EQ(amount.executeScalar().toDouble(), 6 * 110.0);
    amount.setParam("ID", p2);
    EXPECT_DOUBLE_EQ(amount.executeScalar().toDouble(), 4 * 50.0);

    // Deleting the order through the order list takes its lines with it.
    Statement del(database, sql::qOrders.remove);
    del.setParam("FID", order);
    del.execute();
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TORDERPRODUCTS"), 0);
}

TEST_F(CatalogueDb, ClearPriceKeepsProductRows) {
    openTemplate("demo");
    const long long before = scalar("SELECT COUNT(*) FROM TPRODUCTS");
    const long long favourites = scalar("SELECT COUNT(*) FROM TFAVORITEPRODUCT");
    ASSERT_GT(favourites, 0);
    Statement(database, sql::qClearDirVisible.select).execute();
    Statement(database, sql::qClearPrice.select).execute();
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TPRODUCTS"), before);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TFAVORITEPRODUCT"), favourites);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TPRODUCTS WHERE FSTATE > 0"), 0);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TDIRECTORIES WHERE FVISIBLE = 1"), 0);
}

TEST_F(CatalogueDb, DemoCatalogueHasWhatTheScreensNeed) {
    openTemplate("demo");
    EXPECT_GE(scalar("SELECT COUNT(*) FROM TPRODUCTS"), 2000);
    EXPECT_GE(scalar("SELECT COUNT(*) FROM GET_DIR_PRODUCTS('',-3,0,0,'')"), 1);
    EXPECT_GE(scalar("SELECT COUNT(*) FROM GET_DIR_PRODUCTS('',-2,0,0,'')"), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TDIRECTORIES WHERE FDIRTYPE = 1"), 1);
    EXPECT_GE(scalar("SELECT COUNT(*) FROM TDIRECTORIES WHERE FBEGDATE > CURRENT_DATE"), 1);
    EXPECT_GE(scalar("SELECT COUNT(*) FROM TPRODUCTS P WHERE FANALOGGROUP <> '' AND EXISTS "
                     "(SELECT 1 FROM TPRODUCTS Q WHERE Q.FANALOGGROUP = P.FANALOGGROUP AND Q.FID <> P.FID)"),
              100);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM TORDERRECIP"), 2);
    EXPECT_GE(scalar("SELECT COUNT(*) FROM TNEWS"), 3);
    // Three levels: a group whose parent's parent is a top-level group.
    EXPECT_GE(scalar("SELECT COUNT(*) FROM TDIRECTORIES C JOIN TDIRECTORIES B ON B.FID = C.FPARENT "
                     "JOIN TDIRECTORIES A ON A.FID = B.FPARENT WHERE A.FPARENT = 0 AND A.FID <> 0"),
              50);
    // The tree level statement hides the future-dated group and shows the special offer.
    Statement level(database, sql::kTreeLevel);
    level.setParam("FPARENT", 0);
    level.setParam("pBEGDATE", Date::today());
    level.setParam("pENDDATE", Date::today());
    level.execute();
    std::set<std::string> names;
    while (level.fetch()) names.insert(level.value("FNAME").toText());
    EXPECT_TRUE(names.count("Спецпредложение"));
    EXPECT_FALSE(names.count("Новая коллекция"));
    // Attribute columns of the list are filled.
    EXPECT_GE(scalar("SELECT COUNT(*) FROM GET_DIR_PRODUCTS('',-3,0,0,'') WHERE ATTR_1 IS NOT NULL"), 1);
    // The banner rotation moves on to another banner on the next call.
    Statement banner(database, sql::qGetActiveBanner.select);
    banner.execute();
    ASSERT_TRUE(banner.fetch());
    const std::string first = banner.value("FNAME").toText();
    banner.close();
    banner.execute();
    ASSERT_TRUE(banner.fetch());
    EXPECT_NE(banner.value("FNAME").toText(), first);
}

TEST_F(CatalogueDb, AttributesOfAProduct) {
    openTemplate("empty");
    const int g = addGroup(0, "G");
    const int p = addProduct(g, "1", 10);
    Statement upd(database, sql::kUpdateAttribute);
    upd.setParam("PFIDPRODUCTS", p);
    upd.setParam("PFIDATTRSETUP", 2);
    upd.setParam("PFVALUE", "Зубр");
    upd.execute();
    upd.setParam("PFVALUE", "Энкор");  // replaces
    upd.execute();
    Statement attrs(database, sql::qAttrProduct.select);
    attrs.setParam("PFIDPRODUCTS", p);
    attrs.setParam("PFNUMBER", "1");
    attrs.setParam("PFPRICE", "10");
    attrs.execute();
    std::map<long long, std::pair<std::string, long long>> rows;
    while (attrs.fetch()) {
        rows[attrs.value("FIDATTRSETUP").toInt()] = {attrs.value("FVALUE").toText(),
                                                     attrs.value("FFOUNDVALUE").toInt()};
    }
    EXPECT_EQ(rows[2], (std::pair<std::string, long long>{"Энкор", 1}));
    ASSERT_TRUE(rows.count(6));  // shown even when empty
    EXPECT_EQ(rows[6].second, 0);
    EXPECT_FALSE(rows.count(3));
    Statement exportAttr(database, sql::kExportAttribute);
    exportAttr.setParam("PFIDPRODUCTS", p);
    exportAttr.setParam("PNAME", "Производитель");
    exportAttr.execute();
    ASSERT_TRUE(exportAttr.fetch());
    EXPECT_EQ(exportAttr.value("FVALUE").toText(), "Энкор");
}
