#include "record_search.h"

#include "text/cp1251.h"

namespace zentra::grid {

WalkGuard::WalkGuard(data::DataSet& ds) : ds_(ds), start_(ds.bookmark()) {
    ds_.disableControls();
}

WalkGuard::~WalkGuard() {
    try {
        if (restore_ && start_ != data::kNoBookmark && ds_.isOpen()) ds_.gotoBookmark(start_);
    } catch (...) {
        // Going back is a courtesy; the walk's own error, if any, is the one that matters.
    }
    ds_.enableControls();
}

namespace {

std::string trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

}  // namespace

bool findRecord(data::DataSet& ds, const std::vector<std::string>& fieldNames, unsigned options,
                bool fromFirst, bool newSearch, const std::vector<std::string>& values,
                int visibleRows) {
    if (!ds.isOpen()) return false;
    if (values.size() != fieldNames.size()) {
        throw data::DataError("Число значений поиска не равно числу полей");
    }
    const bool caseSensitive = options & kSearchCaseSensitive;
    const bool prefix = options & kSearchPrefix;
    std::vector<int> fields;
    std::vector<std::string> wanted;
    for (size_t i = 0; i < fieldNames.size(); ++i) {
        fields.push_back(ds.requireField(fieldNames[i]));
        wanted.push_back(caseSensitive ? values[i] : text::upperUtf8(values[i]));
    }

    WalkGuard guard(ds);
    if (!newSearch) {
        ds.next();
        if (ds.eof() && ds.bof()) return false;
    }
    if (fromFirst && newSearch) ds.first();
    if (ds.isEmpty()) return false;
    // After next() at the last record eof is set without having moved: nothing more to see.
    if (!newSearch && ds.eof() && ds.bookmark() == guard.start()) return false;

    for (;;) {
        bool all = true;
        for (size_t i = 0; i < fields.size() && all; ++i) {
            std::string t = trimmed(ds.displayText(fields[i]));
            if (!caseSensitive) t = text::upperUtf8(t);
            all = prefix ? t.compare(0, wanted[i].size(), wanted[i]) == 0
                         : t.find(wanted[i]) != std::string::npos;
        }
        if (all) {
            const data::Bookmark found = ds.bookmark();
            ds.moveBy(visibleRows / 2 + 1);
            ds.gotoBookmark(found);
            guard.stayHere();
            return true;
        }
        if (ds.moveBy(1) == 0) break;
    }
    return false;
}

}  // namespace zentra::grid
