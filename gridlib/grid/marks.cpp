#include "marks.h"

#include <algorithm>

namespace zentra::grid {

Bookmarks::Lookup Bookmarks::find(data::Bookmark b) const {
    if (memoValid_ && memoKey_ == b) return memo_;
    const auto it = std::lower_bound(items_.begin(), items_.end(), b);
    Lookup r;
    r.position = static_cast<size_t>(it - items_.begin());
    r.found = it != items_.end() && *it == b;
    memoKey_ = b;
    memo_ = r;
    memoValid_ = true;
    return r;
}

bool Bookmarks::select(data::Bookmark b, bool on) {
    if (b == data::kNoBookmark) return false;
    const Lookup l = find(b);
    if (l.found == on) return false;
    if (on) {
        items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(l.position), b);
    } else {
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(l.position));
    }
    memoValid_ = false;
    return true;
}

bool Bookmarks::clear() {
    memoValid_ = false;
    if (items_.empty()) return false;
    items_.clear();
    return true;
}

}  // namespace zentra::grid
