// Builds catalogue databases: the empty one delivered with the program, a demo catalogue and
// large catalogues for benchmarks. The contents depend only on the arguments (and the day
// given as "today"), never on chance.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "text/datetime.h"

namespace zentra::db {
class Database;
}

namespace zentra::mkdb {

using Progress = std::function<void(const std::string&)>;

// Schema, procedures, a row for every setting (defaults written, enciphered ones through the
// client's cipher) and the attribute definitions.
void buildEmpty(db::Database& db);

// A realistic catalogue on top of the empty one: a group tree three levels deep with a
// special-offer group and a future-dated group, `products` products with Cyrillic names,
// analogue groups, client groups, attribute values, favourites, news, banners, recipients.
void fillDemo(db::Database& db, text::Date today, int products, const Progress& progress);

// `products` products in about 2,000 groups with five attribute values each.
void fillBig(db::Database& db, text::Date today, int products, const Progress& progress);

// One line per table with its row count.
std::string describe(db::Database& db);

}  // namespace zentra::mkdb
