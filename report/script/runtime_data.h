// Value cells of the script machine and the data segment that holds them. A cell keeps its
// declared type code and, beside it, the kind of storage it really holds (none, number, text), so
// that every read converts explicitly instead of reinterpreting bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "code.h"

namespace zentra::script {

enum class Store : std::uint8_t { None, Number, Text };

// Cell flags.
inline constexpr std::uint8_t kFlagArray = 1;
inline constexpr std::uint8_t kFlagVariant =
    2;  // a Variant variable: takes the stored value's type

// One scalar value: on the operand stack, in a data cell, or as an array element.
struct Value {
    std::uint8_t type = kTypeUndefined;
    std::uint8_t flags = 0;
    Store store = Store::None;
    double num = 0;
    std::string text;  // meaningful only when store == Text

    void setNumber(std::uint8_t t, double v) {
        type = t;
        store = Store::Number;
        num = v;
    }
    void setText(std::uint8_t t, std::string_view s) {
        type = t;
        store = Store::Text;
        text.assign(s);
    }
    // The default content of a new cell of type t: 0, empty text, or nothing.
    void reset(std::uint8_t t);
};

// Number formatting and parsing independent of the process locale. The user-visible form has up
// to 15 significant digits and the given decimal separator ("2,5", "1E20", "-0,001").
std::string formatNumber(double v, char decimalSeparator);
// Literal form read by PUSH and host variables: '.' as the decimal separator, optional sign.
std::optional<double> parseLiteralNumber(std::string_view s);
// A number held in a text at run time: blanks around it, '.' or ',' as the separator.
std::optional<double> parseTextNumber(std::string_view s);

// A data-segment cell: a value, and the element list when it is an array. Invariant: a scalar
// cell of type Integer, Double or Boolean other than cell 0 always holds a number (every store
// converts); the machine's fused forms read such cells without checking.
struct DataCell {
    Value v;
    std::uint8_t declaredType = kTypeUndefined;
    std::vector<Value> elems;  // elements of Text, Variant and untyped arrays
    std::vector<double> nums;  // elements of Integer, Double and Boolean arrays (always numbers)
    bool isArray() const { return v.flags & kFlagArray; }
    bool isNumericArray() const {
        return isArray() && declaredType >= kTypeInteger && declaredType <= kTypeBoolean;
    }
    std::size_t elementCount() const { return isNumericArray() ? nums.size() : elems.size(); }
};

// The data segment: owned cells addressed by index, plus upper-cased names for diagnostics.
class RunTimeData {
  public:
    // Appends a new cell of the type, returns its index.
    int addCell(std::uint8_t type);
    int addArrayCell(std::uint8_t type);
    // Sets a cell from literal text (numbers with '.'); texts are copied.
    void setCellText(int index, std::string_view text);
    // The cell as the user sees it; an array joins its elements with ", ".
    std::string cellText(int index, char decimalSeparator = ',') const;
    DataCell& cell(int index) { return *cells_[static_cast<std::size_t>(index)]; }
    const DataCell& cell(int index) const { return *cells_[static_cast<std::size_t>(index)]; }
    int count() const { return static_cast<int>(cells_.size()); }
    void clear();
    void addName(std::string_view name);
    int indexOfName(std::string_view name) const;

  private:
    std::vector<std::unique_ptr<DataCell>> cells_;
    std::vector<std::string> names_;
};

// Text form of a single value (numbers with the given separator, none as empty text).
std::string valueText(const Value& v, char decimalSeparator = ',');

}  // namespace zentra::script
