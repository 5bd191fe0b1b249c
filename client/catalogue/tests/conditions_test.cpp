#include "conditions.h"

#include <gtest/gtest.h>

#include "discount.h"

using namespace zentra::catalogue;

TEST(Conditions, ClientGroupFilter) {
    EXPECT_EQ(clientGroupCondition(""), "");
    EXPECT_EQ(clientGroupCondition("3,5"), " AND (FCLIENTGROUPID in (3,5)) ");
    EXPECT_EQ(clientGroupCondition(" 3 , 5 "), " AND (FCLIENTGROUPID in (3,5)) ");
    for (const char* bad : {"3;5", "3,", "1) OR (1=1", "a", ",", "3,,5"}) {
        EXPECT_THROW(clientGroupCondition(bad), std::invalid_argument) << bad;
    }
}

TEST(Conditions, GroupListsSplitPastTheEngineLimit) {
    EXPECT_EQ(groupListCondition(7, "8,9"), " AND   FIDDIRECTORIES in (7,8,9)");
    EXPECT_EQ(groupCountCondition(7, "8,9"), "AND FIDDIRECTORIES in (7,8,9)");
    EXPECT_EQ(groupCountCondition(7, ""), "AND FIDDIRECTORIES = 7");

    std::string many;
    for (int i = 1; i <= 2000; ++i) many += (i > 1 ? "," : "") + std::to_string(1000 + i);
    const std::string cond = groupListCondition(1, many);
    // 2001 numbers: one list of 1500 and one of 501, OR'ed inside brackets.
    EXPECT_EQ(cond.rfind(" AND   (FIDDIRECTORIES in (1,1001,", 0), 0u) << cond.substr(0, 60);
    EXPECT_NE(cond.find(") OR FIDDIRECTORIES in (2500,"), std::string::npos);
    EXPECT_EQ(cond.back(), ')');
    EXPECT_THROW(groupListCondition(1, "2,x"), std::invalid_argument);
}

TEST(Conditions, RefreshStatementQuotesAndUsesAPoint) {
    EXPECT_EQ(productsRefreshSql(-4, 1, 7.5, "A'B").substr(
                  productsRefreshSql(-4, 1, 7.5, "A'B").find("GET_DIR_PRODUCTS")),
              "GET_DIR_PRODUCTS('',-4,1,7.5,'A''B') WHERE FID=:FID");
}

TEST(Discount, RuleByTypeAndGroup) {
    struct Case {
        double price;
        int dirType, type;
        double pct, expected;
    } cases[] = {
        {100, 0, 0, 10, 100},    {100, 0, 1, 10, 90},      {100, 0, 2, 10, 110},
        {100, 1, 1, 10, 100},    {100, 0, 1, 0, 100},      {100, 0, 3, 10, 100},
        {10.05, 0, 1, 10, 9.05}, {0.05, 0, 1, 50, 0.03},   {19.99, 0, 2, 7.5, 21.49},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(applyDiscount(c.price, c.dirType, c.type, c.pct), c.expected)
            << c.price << " " << c.type << " " << c.pct;
    }
}
