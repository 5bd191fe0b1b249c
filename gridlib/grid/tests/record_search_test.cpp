// The record search over a real in-memory data set, and the walk guard around it.
#include <gtest/gtest.h>

#include "record_search.h"

using namespace zentra;
using namespace zentra::grid;
using data::FieldDef;
using data::FieldKind;
using data::Value;

namespace {

struct Counter : data::DataLink {
    int changed = 0, moves = 0;
    void dataSetChanged(data::DataSet&) override { ++changed; }
    void scrolled(data::DataSet&) override { ++moves; }
};

std::unique_ptr<data::MemoryDataSet> products() {
    auto ds = std::make_unique<data::MemoryDataSet>(
        std::vector<FieldDef>{{"FID", "", FieldKind::Integer},
                              {"FNAME", "", FieldKind::Text, 60},
                              {"FGROUP", "", FieldKind::Text, 20}});
    ds->setInitialRows({{1, "  Болт М6", "крепёж"},
                        {2, "Гайка М6", "крепёж"},
                        {3, "болт М8", "крепёж"},
                        {4, "Шайба", "прочее"},
                        {5, "Болт М10", "прочее"}});
    ds->open();
    return ds;
}

}  // namespace

TEST(FindRecord, MatchingRules) {
    struct Case {
        std::vector<std::string> fields;
        std::vector<std::string> values;
        unsigned options;
        int expectedId;  // 0: not found
    } cases[] = {
        {{"FNAME"}, {"болт"}, kSearchPrefix, 1},                         // trimmed, any case
        {{"FNAME"}, {"болт"}, kSearchPrefix | kSearchCaseSensitive, 3},  // case counts
        {{"FNAME"}, {"М8"}, kSearchPrefix, 0},                           // not at the start
        {{"FNAME"}, {"М8"}, 0, 3},                                       // anywhere
        {{"fname", "FGROUP"}, {"болт", "ПРОЧЕЕ"}, kSearchPrefix, 5},     // all fields must match
        {{"FNAME"}, {"винт"}, kSearchPrefix, 0},
    };
    for (const auto& c : cases) {
        auto ds = products();
        ds->moveTo(3);
        const bool found = findRecord(*ds, c.fields, c.options, true, true, c.values, 2);
        EXPECT_EQ(found, c.expectedId != 0) << c.values[0];
        // Found: stays on the record; not found: back where it started.
        EXPECT_EQ(ds->value(0).toInt(), found ? c.expectedId : 4) << c.values[0];
    }
}

TEST(FindRecord, ContinuesAfterCurrentAndSendsOneChangeNotice) {
    auto ds = products();
    Counter link;
    ds->attach(&link);
    ASSERT_TRUE(findRecord(*ds, {"FNAME"}, {kSearchPrefix}, true, true, {"болт"}, 2));
    EXPECT_EQ(ds->value(0).toInt(), 1);
    EXPECT_EQ(link.moves, 0);    // the walk is silent ...
    EXPECT_EQ(link.changed, 1);  // ... and ends with one notice
    ASSERT_TRUE(findRecord(*ds, {"FNAME"}, {kSearchPrefix}, true, false, {"болт"}, 2));
    EXPECT_EQ(ds->value(0).toInt(), 3);
    ASSERT_TRUE(findRecord(*ds, {"FNAME"}, {kSearchPrefix}, true, false, {"болт"}, 2));
    EXPECT_EQ(ds->value(0).toInt(), 5);
    EXPECT_FALSE(findRecord(*ds, {"FNAME"}, {kSearchPrefix}, true, false, {"болт"}, 2));
    EXPECT_EQ(ds->value(0).toInt(), 5);
    EXPECT_FALSE(ds->controlsDisabled());
    ds->detach(&link);
}

TEST(FindRecord, UnknownFieldThrowsAndRestoresPositionAndControls) {
    auto ds = products();
    ds->moveTo(2);
    EXPECT_THROW(findRecord(*ds, {"NOPE"}, kSearchPrefix, true, true, {"x"}, 2), data::DataError);
    EXPECT_FALSE(ds->controlsDisabled());
    EXPECT_EQ(ds->recNo(), 2);
}

TEST(WalkGuard, RestoresPositionAndControlsOnError) {
    auto ds = products();
    ds->moveTo(1);
    try {
        WalkGuard g(*ds);
        ds->last();
        throw std::runtime_error("walk failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(ds->recNo(), 1);
    EXPECT_FALSE(ds->controlsDisabled());
    {
        WalkGuard g(*ds);
        ds->moveTo(4);
        g.stayHere();
    }
    EXPECT_EQ(ds->recNo(), 4);
}

TEST(FindRecord, EmptyDataSetFindsNothing) {
    data::MemoryDataSet ds({{"FNAME", "", FieldKind::Text, 10}});
    ds.open();
    EXPECT_FALSE(findRecord(ds, {"FNAME"}, kSearchPrefix, true, true, {"a"}, 5));
    EXPECT_FALSE(findRecord(ds, {"FNAME"}, kSearchPrefix, true, false, {"a"}, 5));
    EXPECT_FALSE(ds.controlsDisabled());
}
