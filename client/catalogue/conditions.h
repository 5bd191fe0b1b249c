// Pieces of SQL that the catalogue browser appends to its statements. Each is built from
// numbers the client holds and checks them, so no text typed by a user or received from an
// update ends up pasted into SQL.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zentra::catalogue {

// Firebird refuses IN lists longer than this; longer lists are split.
inline constexpr size_t kMaxInListValues = 1500;

// Parses "1,2, 3" into numbers; throws std::invalid_argument on anything else.
std::vector<long long> parseIdList(std::string_view list);

// The client-group condition: " AND (FCLIENTGROUPID in (" + filter + ")) ", or empty text for
// an empty filter. A filter that is not a list of numbers is refused.
std::string clientGroupCondition(std::string_view filter);

// The DIRLIST of GET_DIR_PRODUCTS for a group and its descendants (as CollectSubdirectories
// lists them): " AND   FIDDIRECTORIES in (" + group + "," + descendants + ")". More than 1500
// numbers are split into several IN lists joined by OR inside one pair of brackets.
std::string groupListCondition(long long group, std::string_view descendants);

// The group condition of the product counts: "AND FIDDIRECTORIES in (...)" with the same
// splitting, or "AND FIDDIRECTORIES = " + group when there are no descendants.
std::string groupCountCondition(long long group, std::string_view descendants);

// The refresh statement of the product list: the select's columns from GET_DIR_PRODUCTS
// called with literal values (numbers with a point, the analogue group quoted) for one FID.
std::string productsRefreshSql(long long pidDirectories, int discountType, double discount,
                               std::string_view analogGroup);

}  // namespace zentra::catalogue
