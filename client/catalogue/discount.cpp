#include "discount.h"

#include <cmath>
#include <cstdint>

namespace zentra::catalogue {

double roundToKopecks(double value) {
    // The engine scales by repeated multiplication by ten, then adds or subtracts one half and
    // truncates; doing the same keeps the client's prices equal to the database's to the kopeck.
    double d = value;
    d *= 10.;
    d *= 10.;
    d += d > 0 ? 0.5 : -0.5;
    return static_cast<double>(static_cast<int64_t>(d)) / 100;
}

double applyDiscount(double price, int dirType, int discountType, double percent) {
    if (percent == 0 || dirType == 1) return price;
    if (discountType == 1) return roundToKopecks(price - price * percent / 100);
    if (discountType == 2) return roundToKopecks(price + price * percent / 100);
    return price;
}

}  // namespace zentra::catalogue
