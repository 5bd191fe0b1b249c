// Marks and pick lists: the lookups the painter relies on, including their remembered answers.
#include <gtest/gtest.h>

#include "marks.h"
#include "pick_list.h"

using namespace zentra::grid;

TEST(Bookmarks, SortedInsertRemoveAndStaleMemo) {
    Bookmarks m;
    for (zentra::data::Bookmark b : {7u, 3u, 9u, 5u})
        EXPECT_TRUE(m.select(b, true));
    EXPECT_EQ(m.items(), (std::vector<zentra::data::Bookmark>{3, 5, 7, 9}));
    EXPECT_FALSE(m.select(5, true));  // no change, no duplicate
    EXPECT_FALSE(m.select(zentra::data::kNoBookmark, true));
    // Ask once (memoised), change the list, ask again: the answer must follow the change.
    EXPECT_TRUE(m.isSelected(7));
    EXPECT_TRUE(m.select(7, false));
    EXPECT_FALSE(m.isSelected(7));
    EXPECT_EQ(m.find(6).position, 2u);
    EXPECT_FALSE(m.isSelected(6));
    EXPECT_TRUE(m.select(6, true));
    EXPECT_TRUE(m.isSelected(6));
    EXPECT_TRUE(m.clear());
    EXPECT_FALSE(m.isSelected(6));
    EXPECT_FALSE(m.clear());  // nothing to clear: no repaint needed
}

TEST(PickList, ExactCaseSensitiveLookupsAndMemoDroppedOnChange) {
    PickList p{{"1", "Да", "да - есть"}, {"0", "Нет", "нет"}, {"1", "Дубль", "дубль"}};
    struct Case {
        int (PickList::*lookup)(const std::string&) const;
        std::string text;
        int expected;
    } cases[] = {
        {&PickList::indexOfStoreValue, "1", 0},  // first of two equal values
        {&PickList::indexOfStoreValue, "2", -1},
        {&PickList::indexOfDisplayText, "Нет", 1},
        {&PickList::indexOfDisplayText, "нет", -1},  // case counts
        {&PickList::indexOfPickListText, "нет", 1},
        {&PickList::indexOfPickListText, "да", -1},  // no partial matches
    };
    for (const auto& c : cases)
        EXPECT_EQ((p.*c.lookup)(c.text), c.expected) << c.text;
    EXPECT_EQ(p.displayFor("0"), "Нет");
    EXPECT_EQ(p.displayFor("x"), "");
    EXPECT_EQ(p.indexOfStoreValue("2"), -1);
    p.add({"2", "Может быть", "может"});
    EXPECT_EQ(p.indexOfStoreValue("2"), 3);
    p.setItems({{"2", "Два", "два"}});
    EXPECT_EQ(p.indexOfStoreValue("2"), 0);
    EXPECT_EQ(p.displayFor("2"), "Два");
}
