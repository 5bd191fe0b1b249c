// The client's copy of the discount rule, for the one place that prices products without the
// database (the basket import). It must give exactly what DISCOUNT_PRICE in the database gives.
#pragma once

#include <string_view>

namespace zentra::catalogue {

struct ClientProfile {
    std::string_view clientId;
    int discountType = 0;  // 0 none, 1 lower, 2 raise
    double discount = 0;   // percent
};

// Type 1 lowers and type 2 raises `price` by `percent`; a zero percent, a special-offer group
// (dirType 1) or any other type keeps it. Rounded to kopecks as the database stores amounts.
double applyDiscount(double price, int dirType, int discountType, double percent);

// Rounds to two decimals the way the database converts a double into NUMERIC(15,2).
double roundToKopecks(double value);

}  // namespace zentra::catalogue
