// Value lists of pick-list columns: each item keeps the value stored in the field, the text shown
// in the cell and the editor, and the text listed in the drop-down.
#pragma once

#include <string>
#include <vector>

namespace zentra::grid {

struct PickListItem {
    std::string storeValue;
    std::string displayText;
    std::string pickListText;
};

class PickList {
  public:
    PickList() = default;
    PickList(std::initializer_list<PickListItem> items) : items_(items) {}

    void add(PickListItem item);
    void clear();
    void setItems(std::vector<PickListItem> items);
    const std::vector<PickListItem>& items() const { return items_; }
    int size() const { return static_cast<int>(items_.size()); }
    bool empty() const { return items_.empty(); }
    const PickListItem& at(int i) const { return items_.at(static_cast<size_t>(i)); }

    // Index of the first item whose text equals `text` exactly (case-sensitive), or -1.
    int indexOfStoreValue(const std::string& text) const { return lookup(text, Kind::Store); }
    int indexOfDisplayText(const std::string& text) const { return lookup(text, Kind::Display); }
    int indexOfPickListText(const std::string& text) const { return lookup(text, Kind::PickList); }

    // The display text of the item storing `value`; empty when no item stores it.
    std::string displayFor(const std::string& value) const;

  private:
    enum class Kind { Store, Display, PickList };
    int lookup(const std::string& text, Kind kind) const;

    std::vector<PickListItem> items_;
    // Cells of a column mostly repeat a few values, so the last lookup is remembered; any
    // change of the items drops it.
    mutable bool memoValid_ = false;
    mutable std::string memoText_;
    mutable Kind memoKind_ = Kind::Store;
    mutable int memoIndex_ = -1;
};

}  // namespace zentra::grid
