// The marked records of a grid: bookmarks kept sorted in the data set's bookmark order, found by
// binary search. Painting asks for every row on screen, usually the same bookmark twice in a row
// (indicator, then cells), so the last answer is remembered until the list changes.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "dataset.h"

namespace zentra::grid {

class Bookmarks {
  public:
    struct Lookup {
        bool found = false;
        size_t position = 0;  // where the bookmark is, or where it would be inserted
    };

    Lookup find(data::Bookmark b) const;
    bool isSelected(data::Bookmark b) const { return find(b).found; }
    // Marks or unmarks; returns whether the list changed. kNoBookmark is never stored.
    bool select(data::Bookmark b, bool on);
    // Returns whether there was anything to clear.
    bool clear();
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const std::vector<data::Bookmark>& items() const { return items_; }

  private:
    std::vector<data::Bookmark> items_;
    mutable bool memoValid_ = false;
    mutable data::Bookmark memoKey_ = data::kNoBookmark;
    mutable Lookup memo_;
};

}  // namespace zentra::grid
