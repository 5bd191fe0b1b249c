#include "pick_list.h"

namespace zentra::grid {

void PickList::add(PickListItem item) {
    items_.push_back(std::move(item));
    memoValid_ = false;
}

void PickList::clear() {
    items_.clear();
    memoValid_ = false;
}

void PickList::setItems(std::vector<PickListItem> items) {
    items_ = std::move(items);
    memoValid_ = false;
}

int PickList::lookup(const std::string& text, Kind kind) const {
    if (memoValid_ && memoKind_ == kind && memoText_ == text) return memoIndex_;
    int found = -1;
    for (size_t i = 0; i < items_.size() && found < 0; ++i) {
        const PickListItem& it = items_[i];
        const std::string& s = kind == Kind::Store     ? it.storeValue
                               : kind == Kind::Display ? it.displayText
                                                       : it.pickListText;
        if (s == text) found = static_cast<int>(i);
    }
    memoValid_ = true;
    memoKind_ = kind;
    memoText_ = text;
    memoIndex_ = found;
    return found;
}

std::string PickList::displayFor(const std::string& value) const {
    const int i = indexOfStoreValue(value);
    return i < 0 ? std::string() : items_[static_cast<size_t>(i)].displayText;
}

}  // namespace zentra::grid
