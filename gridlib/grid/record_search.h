// Walks over a data set: a guard that remembers the position and silences the attached controls
// for the length of a walk, and the record search that auto-search and the find window share.
#pragma once

#include <string>
#include <vector>

#include "dataset.h"

namespace zentra::grid {

// Remembers the current record and disables the data set's controls; on destruction, also when
// the walk throws, goes back to the remembered record (unless told to stay) and enables the
// controls again, which sends the attached controls one change notice.
class WalkGuard {
  public:
    explicit WalkGuard(data::DataSet& ds);
    ~WalkGuard();
    WalkGuard(const WalkGuard&) = delete;
    WalkGuard& operator=(const WalkGuard&) = delete;

    // The walk ends on the record it is on now instead of the remembered one.
    void stayHere() { restore_ = false; }
    data::Bookmark start() const { return start_; }

  private:
    data::DataSet& ds_;
    data::Bookmark start_;
    bool restore_ = true;
};

enum SearchOption : unsigned {
    kSearchCaseSensitive = 1u << 0,
    kSearchPrefix = 1u << 1,
};

// Looks for the next record whose named fields all match their values (one value per name):
// the field's trimmed display text must start with the value (prefix) or contain it, compared
// without case unless case-sensitive. Without `newSearch` the search starts after the current
// record; with `fromFirst` and `newSearch` it starts at the first. A found record stays current
// and is brought to the middle of a view of `visibleRows` rows (the caller's view follows the
// forward move); otherwise the position is restored. Throws DataError for an unknown field.
bool findRecord(data::DataSet& ds, const std::vector<std::string>& fieldNames, unsigned options,
                bool fromFirst, bool newSearch, const std::vector<std::string>& values,
                int visibleRows);

}  // namespace zentra::grid
